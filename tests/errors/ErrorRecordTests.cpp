// Error records: what the constructors store, the shared code numbers, and
// the exact text the display writes.
#include <Vantrell/Vantrell.h>
#include <gtest/gtest.h>

#include "errors/ErrorsPrivate.h"
#include "platform/values/Holder.h"
#include "support/TestSupport.h"

#include <string>

using vt::CFRef;
using vt::test::StringOf;

namespace {

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
    EXPECT_EQ(StringOf(VTErrorGetDomain(record.get())), "ErrorDomainOSStatus");
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
    EXPECT_EQ(StringOf(VTErrorGetDomain(record.get())), "ErrorDomainPOSIX");
    EXPECT_EQ(StringOf(VTErrorGetDescription(record.get())), "open: file.txt (2)");
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

    EXPECT_EQ(StringOf(VTErrorGetDescription(first.get())), "Required input parameter is NULL.");
    EXPECT_EQ(StringOf(VTErrorGetDescription(second.get())),
              "VTFileGetValue:: Required input parameter is NULL.");
    EXPECT_EQ(StringOf(VTErrorGetDescription(core.get())), "Can't find container.");
    EXPECT_EQ(StringOf(VTErrorGetDescription(coreFormat.get())),
              "VTLibraryGetValue: Can't find container.");
    for (auto *record : {first.get(), second.get(), core.get(), coreFormat.get()})
        EXPECT_EQ(StringOf(VTErrorGetDomain(record)), "ErrorDomainOSStatus");
}

TEST(ErrorRecords, HostTextsWithConversionsAreStoredVerbatim) {
    // A path such as "/tmp/%s%@%d" must never be expanded against arguments
    // that were not passed.
    CFRef<CFMutableDictionaryRef> core(VTErrorCreateCore(nullptr, CFSTR("/tmp/%s%@%d%n")));
    ASSERT_TRUE(core);
    EXPECT_EQ(StringOf(VTErrorGetDescription(core.get())), "/tmp/%s%@%d%n");

    CFRef<CFMutableDictionaryRef> twoConversions(
        VTErrorCreateCoreFormat(nullptr, CFSTR("%s: %@ failed"), "VTOperation"));
    ASSERT_TRUE(twoConversions);
    EXPECT_EQ(StringOf(VTErrorGetDescription(twoConversions.get())), "%s: %@ failed");

    CFRef<CFMutableDictionaryRef> percent(
        VTErrorCreateCoreFormat(nullptr, CFSTR("%s: 100%% done"), "VTOperation"));
    EXPECT_EQ(StringOf(VTErrorGetDescription(percent.get())), "VTOperation: 100% done");
    CFRef<CFMutableDictionaryRef> percentOnly(
        VTErrorCreateCoreFormat(nullptr, CFSTR("100%% done"), "VTOperation"));
    EXPECT_EQ(StringOf(VTErrorGetDescription(percentOnly.get())), "100%% done");

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

TEST(ErrorRecords, AccessorsAnswerOnlyTheirDeclaredType) {
    // A host may hand in any dictionary: a value of another type under a key
    // must never come back typed as the accessor's result.
    CFIndex seven = 7;
    CFRef<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberCFIndexType, &seven));
    CFRef<CFMutableDictionaryRef> wrong(CFDictionaryCreateMutable(
        nullptr, 0, &kCFCopyStringDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    CFDictionarySetValue(wrong.get(), CFSTR("domain"), number.get());
    CFDictionarySetValue(wrong.get(), CFSTR("code"), CFSTR("-50"));
    CFDictionarySetValue(wrong.get(), CFSTR("description"), number.get());
    auto notARecord = reinterpret_cast<CFDictionaryRef>(CFSTR("description"));
    for (CFDictionaryRef record : {static_cast<CFDictionaryRef>(wrong.get()), notARecord}) {
        EXPECT_EQ(VTErrorGetNumber(record), nullptr);
        EXPECT_EQ(VTErrorGetDomain(record), nullptr);
        EXPECT_EQ(VTErrorGetDescription(record), nullptr);
        EXPECT_EQ(VTU_ErrorGetCode(record), -2727);
    }
    // The display still shows what the record holds.
    EXPECT_EQ(CapturedShow(wrong.get(), nullptr, nullptr),
              "\tdomain: 7\n\tnumber: -50\n\tdescription: 7\n\n");
    EXPECT_EQ(CapturedShow(notARecord, CFSTR("%s"), "heading"), "");

    // A string where a number belongs reads as no number at all.
    testing::internal::CaptureStderr();
    EXPECT_EQ(VTU_NumberGetCFIndexValue(reinterpret_cast<CFNumberRef>(CFSTR("12"))), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Required input parameter is NULL."),
              std::string::npos);
}

TEST(ErrorRecords, ConstructorsTreatWrongTypedArgumentsAsAbsent) {
    CFIndex seven = 7;
    CFRef<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberCFIndexType, &seven));
    CFRef<CFMutableDictionaryRef> record(VTErrorCreate(
        nullptr, reinterpret_cast<CFStringRef>(number.get()),
        reinterpret_cast<CFNumberRef>(CFSTR("-50")), reinterpret_cast<CFStringRef>(number.get())));
    ASSERT_TRUE(record);
    EXPECT_EQ(CFDictionaryGetCount(record.get()), 2);
    EXPECT_EQ(StringOf(CFDictionaryGetValue(record.get(), CFSTR("domain"))), "ErrorDomainOSStatus");
    EXPECT_EQ(CFDictionaryGetValue(record.get(), CFSTR("code")), VTErrorGetCoreErr());

    CFRef<CFMutableDictionaryRef> core(
        VTErrorCreateCore(nullptr, reinterpret_cast<CFStringRef>(number.get())));
    CFRef<CFMutableDictionaryRef> coreFormat(
        VTErrorCreateCoreFormat(nullptr, reinterpret_cast<CFStringRef>(number.get()), "VTName"));
    for (CFDictionaryRef made : {static_cast<CFDictionaryRef>(core.get()),
                                 static_cast<CFDictionaryRef>(coreFormat.get())}) {
        ASSERT_TRUE(made);
        EXPECT_EQ(CFDictionaryGetValue(made, CFSTR("description")), nullptr);
        EXPECT_EQ(VTErrorGetNumber(made), VTErrorGetCoreErr());
    }
}

TEST(ErrorRecords, RecordsAndDescriptionsUseTheCallersAllocator) {
    EXPECT_EQ(CFGetAllocator(VTErrorGetParamErr()), kCFAllocatorMalloc);
    EXPECT_EQ(CFGetAllocator(VTErrorGetCoreErr()), kCFAllocatorMalloc);
    for (CFAllocatorRef allocator : {kCFAllocatorMalloc, kCFAllocatorSystemDefault}) {
        CFRef<CFMutableDictionaryRef> made[] = {
            CFRef<CFMutableDictionaryRef>(
                VTErrorCreate(allocator, nullptr, nullptr, CFSTR("%d"), 1)),
            CFRef<CFMutableDictionaryRef>(VTErrorCreateNULLParam(allocator)),
            CFRef<CFMutableDictionaryRef>(VTErrorCreateNULLParamFormat(allocator, "VTName")),
            CFRef<CFMutableDictionaryRef>(VTErrorCreateCore(allocator, CFSTR("text"))),
            CFRef<CFMutableDictionaryRef>(
                VTErrorCreateCoreFormat(allocator, CFSTR("%s: text"), "VTName")),
        };
        for (const auto &record : made) {
            ASSERT_TRUE(record);
            EXPECT_EQ(CFGetAllocator(record.get()), allocator);
            EXPECT_EQ(CFGetAllocator(VTErrorGetDescription(record.get())), allocator);
        }
    }
}
