// Error records: what the constructors store, the shared code numbers, and
// the exact text the display writes.
#include <Vantrell/Vantrell.h>
#include <gtest/gtest.h>

#include "errors/ErrorsPrivate.h"
#include "platform/values/Holder.h"

#include <string>

using vt::CFRef;

namespace {

std::string Text(CFStringRef str) {
    if (!str) return "<none>";
    char buffer[512];
    return CFStringGetCString(str, buffer, sizeof buffer, kCFStringEncodingUTF8) ? buffer : "<?>";
}

std::string CapturedShow(CFDictionaryRef record, CFStringRef heading, const char *name) {
    testing::internal::CaptureStderr();
    VTErrorShow(record, heading, name);
    return testing::internal::GetCapturedStderr();
}

} // namespace

TEST(ErrorRecords, BareCreateHasOnlyDefaultDomainAndCoreCode) {
    CFRef<CFMutableDictionaryRef> record(VTErrorCreate(nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(record);
    EXPECT_EQ(CFDictionaryGetCount(record.get()), 2);
    EXPECT_EQ(Text(VTErrorGetDomain(record.get())), "ErrorDomainOSStatus");
    EXPECT_EQ(VTErrorGetNumber(record.get()), VTErrorGetCoreErr());
    EXPECT_EQ(VTU_ErrorGetCode(record.get()), -4960);
    EXPECT_EQ(VTErrorGetDescription(record.get()), nullptr);
}

TEST(ErrorRecords, CreateExpandsFormatAndKeepsCallerValues) {
    CFRef<CFNumberRef> code(VTU_NumberCreateWithCFIndex(nullptr, -43));
    CFRef<CFMutableDictionaryRef> record(VTErrorCreate(kCFAllocatorMalloc, kVTErrorDomainPOSIX,
                                                       code.get(), CFSTR("%s: %@ (%d)"), "open",
                                                       CFSTR("file.txt"), 2));
    ASSERT_TRUE(record);
    EXPECT_EQ(VTErrorGetNumber(record.get()), code.get());
    EXPECT_EQ(Text(VTErrorGetDomain(record.get())), "ErrorDomainPOSIX");
    EXPECT_EQ(Text(VTErrorGetDescription(record.get())), "open: file.txt (2)");
    EXPECT_EQ(CFGetAllocator(record.get()), kCFAllocatorMalloc);
}

TEST(ErrorRecords, ConvenienceConstructorsShareTheCodeNumbers) {
    CFRef<CFMutableDictionaryRef> first(VTErrorCreateNULLParam(nullptr));
    CFRef<CFMutableDictionaryRef> second(VTErrorCreateNULLParamFormat(nullptr, "VTFileGetValue"));
    CFRef<CFMutableDictionaryRef> core(VTErrorCreateCore(nullptr, CFSTR("Can't find container.")));
    CFRef<CFMutableDictionaryRef> coreFormat(
        VTErrorCreateCoreFormat(nullptr, CFSTR("%s: Can't find container."), "VTLibraryGetValue"));
    ASSERT_TRUE(first && second && core && coreFormat);

    EXPECT_EQ(VTErrorGetNumber(first.get()), VTErrorGetParamErr());
    EXPECT_EQ(VTErrorGetNumber(second.get()), VTErrorGetParamErr());
    EXPECT_EQ(VTErrorGetNumber(core.get()), VTErrorGetCoreErr());
    EXPECT_EQ(VTErrorGetNumber(coreFormat.get()), VTErrorGetCoreErr());
    EXPECT_EQ(VTU_ErrorGetCode(first.get()), -50);

    EXPECT_EQ(Text(VTErrorGetDescription(first.get())), "Required input parameter is NULL.");
    EXPECT_EQ(Text(VTErrorGetDescription(second.get())),
              "VTFileGetValue:: Required input parameter is NULL.");
    EXPECT_EQ(Text(VTErrorGetDescription(core.get())), "Can't find container.");
    EXPECT_EQ(Text(VTErrorGetDescription(coreFormat.get())),
              "VTLibraryGetValue: Can't find container.");
    for (auto *record : {first.get(), second.get(), core.get(), coreFormat.get()})
        EXPECT_EQ(Text(VTErrorGetDomain(record)), "ErrorDomainOSStatus");
}

TEST(ErrorRecords, HostTextsWithConversionsAreStoredVerbatim) {
    // A path such as "/tmp/%s%@%d" must never be expanded against arguments
    // that were not passed.
    CFRef<CFMutableDictionaryRef> core(VTErrorCreateCore(nullptr, CFSTR("/tmp/%s%@%d%n")));
    ASSERT_TRUE(core);
    EXPECT_EQ(Text(VTErrorGetDescription(core.get())), "/tmp/%s%@%d%n");

    CFRef<CFMutableDictionaryRef> twoConversions(
        VTErrorCreateCoreFormat(nullptr, CFSTR("%s: %@ failed"), "VTOperation"));
    ASSERT_TRUE(twoConversions);
    EXPECT_EQ(Text(VTErrorGetDescription(twoConversions.get())), "%s: %@ failed");

    CFRef<CFMutableDictionaryRef> percent(
        VTErrorCreateCoreFormat(nullptr, CFSTR("%s: 100%% done"), "VTOperation"));
    EXPECT_EQ(Text(VTErrorGetDescription(percent.get())), "VTOperation: 100% done");
    CFRef<CFMutableDictionaryRef> percentOnly(
        VTErrorCreateCoreFormat(nullptr, CFSTR("100%% done"), "VTOperation"));
    EXPECT_EQ(Text(VTErrorGetDescription(percentOnly.get())), "100%% done");

    CFRef<CFMutableDictionaryRef> noText(VTErrorCreateCore(nullptr, nullptr));
    ASSERT_TRUE(noText);
    EXPECT_EQ(VTErrorGetDescription(noText.get()), nullptr);
}

TEST(ErrorRecords, GetCodeWithoutARecordOrCode) {
    EXPECT_EQ(VTU_ErrorGetCode(nullptr), -2727);
    CFRef<CFMutableDictionaryRef> empty(CFDictionaryCreateMutable(
        nullptr, 0, &kCFCopyStringDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    EXPECT_EQ(VTU_ErrorGetCode(empty.get()), -2727);
    // Not a dictionary at all: still no crash, still no code.
    EXPECT_EQ(VTU_ErrorGetCode(reinterpret_cast<CFDictionaryRef>(CFSTR("code"))), -2727);
    EXPECT_EQ(VTErrorGetNumber(nullptr), nullptr);
    EXPECT_EQ(VTErrorGetDomain(nullptr), nullptr);
    EXPECT_EQ(VTErrorGetDescription(nullptr), nullptr);
}

TEST(ErrorRecords, ShowWritesHeadingAndLabelledLines) {
    CFRef<CFMutableDictionaryRef> record(VTErrorCreateNULLParamFormat(nullptr, "VTFileGetValue"));
    EXPECT_EQ(CapturedShow(record.get(), CFSTR("%s"), "VTFileGetValue"),
              "VTFileGetValue\n"
              "\tdomain: ErrorDomainOSStatus\n"
              "\tnumber: -50\n"
              "\tdescription: VTFileGetValue:: Required input parameter is NULL.\n\n");

    CFRef<CFMutableDictionaryRef> bare(VTErrorCreate(nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(CapturedShow(bare.get(), nullptr, nullptr),
              "\tdomain: ErrorDomainOSStatus\n\tnumber: -4960\n\n");

    EXPECT_EQ(CapturedShow(nullptr, CFSTR("%s"), "heading"), "");

    CFRef<CFMutableDictionaryRef> empty(CFDictionaryCreateMutable(
        nullptr, 0, &kCFCopyStringDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    EXPECT_EQ(CapturedShow(empty.get(), nullptr, nullptr),
              "\tdomain: (null)\n\tnumber: (null)\n\n");
}

TEST(ErrorRecords, ShowIfDisplaysVerbatimWithDefaultDomain) {
    testing::internal::CaptureStderr();
    VTErrorPrivate_ShowIf(kCFAllocatorMalloc, nullptr, -43, "%s", "/Users/a%20b/%41");
    VTErrorPrivate_ShowIf(kCFAllocatorMalloc, nullptr, -50, nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "\tdomain: ErrorDomainOSStatus\n\tnumber: -43\n\tdescription: /Users/a%20b/%41\n\n"
              "\tdomain: ErrorDomainOSStatus\n\tnumber: -50\n\n");
}

TEST(ErrorRecords, NumberHelpersReportFailures) {
    CFRef<CFNumberRef> number(VTU_NumberCreateWithCFIndex(nullptr, INT64_MIN));
    ASSERT_TRUE(number);
    EXPECT_EQ(CFNumberGetType(number.get()), kCFNumberSInt64Type);
    EXPECT_EQ(VTU_NumberGetCFIndexValue(number.get()), INT64_MIN);

    testing::internal::CaptureStderr();
    EXPECT_EQ(VTU_NumberGetCFIndexValue(nullptr), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "\tdomain: ErrorDomainOSStatus\n\tnumber: -50\n"
              "\tdescription: VTU_NumberGetCFIndexValue:: Required input parameter is NULL.\n\n");

    double real = -7.75;
    CFRef<CFNumberRef> fraction(CFNumberCreate(nullptr, kCFNumberDoubleType, &real));
    testing::internal::CaptureStderr();
    EXPECT_EQ(VTU_NumberGetCFIndexValue(fraction.get()), -7);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "\tdomain: ErrorDomainOSStatus\n\tnumber: -4960\n"
              "\tdescription: VTU_NumberGetCFIndexValue:: CFNumberGet value failed.\n\n");
}
