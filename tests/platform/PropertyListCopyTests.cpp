// Round trips through XML, deep copies and error objects.
#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>

#include "platform/values/Holder.h"

#include <cmath>
#include <cstdint>

using vt::CFRef;

namespace {

// A dictionary holding one value of every property-list type, nested.
CFMutableDictionaryRef MakeSample() {
    CFMutableDictionaryRef dict = CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFRef<CFMutableArrayRef> array(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    SInt64 integers[] = {INT64_MIN, -1, 0, INT64_MAX};
    for (SInt64 value : integers) {
        CFRef<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberSInt64Type, &value));
        CFArrayAppendValue(array.get(), number.get());
    }
    struct {
        SInt64 high;
        UInt64 low;
    } big = {0, UINT64_MAX};
    CFRef<CFNumberRef> wide(CFNumberCreate(nullptr, kCFNumberSInt128Type, &big));
    CFArrayAppendValue(array.get(), wide.get());
    for (double value : {0.1, -0.0, 1e300, 5e-324, double(INFINITY)}) {
        CFRef<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberFloat64Type, &value));
        CFArrayAppendValue(array.get(), number.get());
    }
    CFRef<CFStringRef> text(
        CFStringCreateWithCString(nullptr, "\u00e9 & <\U0001F600>", kCFStringEncodingUTF8));
    CFArrayAppendValue(array.get(), text.get());
    CFArrayAppendValue(array.get(), CFSTR(""));
    UInt8 bytes[256];
    for (int i = 0; i < 256; ++i)
        bytes[i] = UInt8(i);
    CFRef<CFDataRef> data(CFDataCreate(nullptr, bytes, 256));
    CFArrayAppendValue(array.get(), data.get());
    CFRef<CFDateRef> date(CFDateCreate(nullptr, 757382400.0));
    CFArrayAppendValue(array.get(), date.get());
    CFArrayAppendValue(array.get(), kCFBooleanFalse);
    CFDictionarySetValue(dict, CFSTR("array"), array.get());
    CFRef<CFMutableDictionaryRef> empty(CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    CFDictionarySetValue(dict, CFSTR("empty"), empty.get());
    CFDictionarySetValue(dict, CFSTR("\U0001F600"), kCFBooleanTrue);
    return dict;
}

} // namespace

TEST(PropertyListRoundTrip, EveryValueTypeReadsBackEqual) {
    CFRef<CFMutableDictionaryRef> sample(MakeSample());
    CFRef<CFDataRef> xml(CFPropertyListCreateXMLData(nullptr, sample.get()));
    ASSERT_TRUE(xml);
    CFRef<CFPropertyListRef> back(
        CFPropertyListCreateFromXMLData(nullptr, xml.get(), kCFPropertyListImmutable, nullptr));
    ASSERT_TRUE(back);
    EXPECT_TRUE(CFEqual(back.get(), sample.get()));
    CFRef<CFDataRef> again(CFPropertyListCreateXMLData(nullptr, back.get()));
    EXPECT_TRUE(CFEqual(again.get(), xml.get()));

    // -0.0 keeps its sign (CFEqual would not tell).
    auto array = (CFArrayRef)CFDictionaryGetValue((CFDictionaryRef)back.get(), CFSTR("array"));
    double zero = 1;
    CFNumberGetValue((CFNumberRef)CFArrayGetValueAtIndex(array, 6), kCFNumberFloat64Type, &zero);
    EXPECT_TRUE(zero == 0 && std::signbit(zero));
}

TEST(PropertyListDeepCopy, CopiesEqualValuesWithTheAskedMutability) {
    CFRef<CFMutableDictionaryRef> sample(MakeSample());
    for (CFOptionFlags option : {kCFPropertyListImmutable, kCFPropertyListMutableContainers,
                                 kCFPropertyListMutableContainersAndLeaves}) {
        SCOPED_TRACE(option);
        CFRef<CFPropertyListRef> copy(CFPropertyListCreateDeepCopy(nullptr, sample.get(), option));
        ASSERT_TRUE(copy);
        EXPECT_TRUE(CFEqual(copy.get(), sample.get()));
        auto dict = (CFMutableDictionaryRef)copy.get();
        auto array = (CFMutableArrayRef)CFDictionaryGetValue(dict, CFSTR("array"));
        EXPECT_NE(array, CFDictionaryGetValue(sample.get(), CFSTR("array")));
        auto text = (CFMutableStringRef)CFArrayGetValueAtIndex(array, 10);
        CFArrayAppendValue(array, kCFBooleanTrue);
        CFStringAppend(text, CFSTR("!"));
        bool containers = option != kCFPropertyListImmutable;
        bool leaves = option == kCFPropertyListMutableContainersAndLeaves;
        EXPECT_EQ(CFArrayGetCount(array), containers ? 16 : 15);
        EXPECT_EQ(CFStringGetLength(text), leaves ? 9 : 8);
        // The source is untouched by edits to the copy.
        auto original = (CFArrayRef)CFDictionaryGetValue(sample.get(), CFSTR("array"));
        EXPECT_EQ(CFArrayGetCount(original), 15);
        EXPECT_EQ(CFStringGetLength((CFStringRef)CFArrayGetValueAtIndex(original, 10)), 8);
    }

    CFRef<CFUUIDRef> uuid(CFUUIDCreate(nullptr));
    CFDictionarySetValue(sample.get(), CFSTR("uuid"), uuid.get());
    EXPECT_EQ(CFPropertyListCreateDeepCopy(nullptr, sample.get(), 0), nullptr);
    EXPECT_EQ(CFPropertyListCreateDeepCopy(nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(CFPropertyListCreateDeepCopy(nullptr, kCFNull, 0), nullptr);
}

TEST(PropertyListError, ErrorObjectsKeepDomainCodeAndDetails) {
    const void *keys[] = {kCFErrorDescriptionKey};
    const void *values[] = {CFSTR("it broke")};
    CFRef<CFDictionaryRef> info(CFDictionaryCreate(nullptr, keys, values, 1,
                                                   &kCFTypeDictionaryKeyCallBacks,
                                                   &kCFTypeDictionaryValueCallBacks));
    CFRef<CFErrorRef> error(CFErrorCreate(nullptr, CFSTR("Domain"), 7, info.get()));
    CFRef<CFErrorRef> same(CFErrorCreate(nullptr, CFSTR("Domain"), 7, info.get()));
    CFRef<CFErrorRef> bare(CFErrorCreate(nullptr, kCFErrorDomainCocoa, 3840, nullptr));
    EXPECT_EQ(CFGetTypeID(error.get()), CFErrorGetTypeID());
    EXPECT_TRUE(CFEqual(CFErrorGetDomain(error.get()), CFSTR("Domain")));
    EXPECT_EQ(CFErrorGetCode(error.get()), 7);
    CFRef<CFStringRef> description(CFErrorCopyDescription(error.get()));
    EXPECT_TRUE(CFEqual(description.get(), CFSTR("it broke")));
    EXPECT_TRUE(CFEqual(error.get(), same.get()));
    EXPECT_EQ(CFHash(error.get()), CFHash(same.get()));
    EXPECT_FALSE(CFEqual(error.get(), bare.get()));

    CFRef<CFDictionaryRef> none(CFErrorCopyUserInfo(bare.get()));
    EXPECT_EQ(CFDictionaryGetCount(none.get()), 0);
    CFRef<CFStringRef> fallback(CFErrorCopyDescription(bare.get()));
    EXPECT_GT(CFStringFind(fallback.get(), CFSTR("NSCocoaErrorDomain error 3840"), 0).length, 0);
    CFRef<CFStringRef> shown(CFCopyDescription(error.get()));
    EXPECT_TRUE(CFStringHasPrefix(shown.get(), CFSTR("Error Domain=Domain Code=7")));

    EXPECT_EQ(CFErrorCreate(nullptr, nullptr, 1, nullptr), nullptr);
    EXPECT_EQ(CFErrorCreate(nullptr, CFSTR("D"), 1, (CFDictionaryRef)CFSTR("x")), nullptr);
    EXPECT_EQ(CFErrorGetDomain((CFErrorRef)CFSTR("x")), nullptr);
    EXPECT_EQ(CFErrorCopyUserInfo((CFErrorRef)kCFBooleanTrue), nullptr);
}
