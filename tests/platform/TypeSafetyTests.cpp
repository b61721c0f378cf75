// A document read from disk can hold any value anywhere: every function that
// needs one type must refuse NULL and every other type without touching
// memory. Each value below is passed where every other type is expected.
#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>

#include "platform/values/Holder.h"

#include <vector>

using vt::CFRef;

namespace {

struct Values {
    CFRef<CFStringRef> string{CFStringCreateWithCString(nullptr, "text", kCFStringEncodingUTF8)};
    CFRef<CFMutableStringRef> mutableString{CFStringCreateMutable(nullptr, 0)};
    CFRef<CFNumberRef> number;
    CFRef<CFDataRef> data{CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>("ab"), 2)};
    CFRef<CFDateRef> date{CFDateCreate(nullptr, 1.0)};
    CFRef<CFMutableArrayRef> array{CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks)};
    CFRef<CFMutableDictionaryRef> dictionary{CFDictionaryCreateMutable(
        nullptr, 0, &kCFCopyStringDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks)};
    CFRef<CFUUIDRef> uuid{CFUUIDCreate(nullptr)};

    Values() {
        int value = 7;
        number.Reset(CFNumberCreate(nullptr, kCFNumberIntType, &value));
        CFArrayAppendValue(array.get(), string.get());
        CFDictionarySetValue(dictionary.get(), string.get(), number.get());
    }

    std::vector<CFTypeRef> All() const {
        return {nullptr,    string.get(),      mutableString.get(), number.get(), data.get(),
                date.get(), array.get(),       dictionary.get(),    uuid.get(),   kCFBooleanTrue,
                kCFNull,    kCFAllocatorMalloc};
    }
};

bool Is(CFTypeRef value, CFTypeID type) {
    return value && CFGetTypeID(value) == type;
}

} // namespace

TEST(TypeSafety, EveryTypedFunctionRefusesOtherTypes) {
    Values values;
    for (CFTypeRef value : values.All()) {
        SCOPED_TRACE(value ? CFGetTypeID(value) : 0);
        if (!Is(value, CFStringGetTypeID())) {
            auto str = static_cast<CFStringRef>(value);
            auto mstr = static_cast<CFMutableStringRef>(const_cast<void *>(value));
            char buffer[16] = "unchanged";
            EXPECT_EQ(CFStringGetLength(str), 0);
            EXPECT_FALSE(CFStringGetCString(str, buffer, sizeof buffer, kCFStringEncodingUTF8));
            EXPECT_EQ(CFStringGetCStringPtr(str, kCFStringEncodingUTF8), nullptr);
            EXPECT_EQ(CFStringCreateCopy(nullptr, str), nullptr);
            EXPECT_EQ(CFStringCreateMutableCopy(nullptr, 0, str), nullptr);
            EXPECT_FALSE(CFStringHasPrefix(str, CFSTR("t")));
            EXPECT_FALSE(CFStringHasSuffix(CFSTR("t"), str));
            EXPECT_EQ(CFStringFind(str, CFSTR("t"), 0).location, kCFNotFound);
            EXPECT_FALSE(CFStringGetFileSystemRepresentation(str, buffer, sizeof buffer));
            EXPECT_EQ(CFStringCreateWithFormat(nullptr, nullptr, str), nullptr);
            CFStringAppend(mstr, CFSTR("x"));
            CFStringDelete(mstr, CFRangeMake(0, 1));
            EXPECT_EQ(CFStringFindAndReplace(mstr, CFSTR("a"), CFSTR("b"), CFRangeMake(0, 1), 0),
                      0);
        }
        if (!Is(value, CFNumberGetTypeID())) {
            auto number = static_cast<CFNumberRef>(value);
            SInt64 out = 42;
            EXPECT_FALSE(CFNumberGetValue(number, kCFNumberSInt64Type, &out));
            EXPECT_FALSE(CFNumberIsFloatType(number));
            EXPECT_EQ(CFNumberGetByteSize(number), 0);
        }
        if (!Is(value, CFBooleanGetTypeID())) {
            EXPECT_FALSE(CFBooleanGetValue(static_cast<CFBooleanRef>(value)));
        }
        if (!Is(value, CFDataGetTypeID())) {
            auto data = static_cast<CFDataRef>(value);
            EXPECT_EQ(CFDataGetLength(data), 0);
            EXPECT_EQ(CFDataGetBytePtr(data), nullptr);
            CFDataAppendBytes(static_cast<CFMutableDataRef>(const_cast<void *>(value)),
                              reinterpret_cast<const UInt8 *>("x"), 1);
        }
        if (!Is(value, CFArrayGetTypeID())) {
            auto array = static_cast<CFArrayRef>(value);
            auto marray = static_cast<CFMutableArrayRef>(const_cast<void *>(value));
            EXPECT_EQ(CFArrayGetCount(array), 0);
            EXPECT_EQ(CFArrayGetValueAtIndex(array, 0), nullptr);
            EXPECT_FALSE(CFArrayContainsValue(array, CFRangeMake(0, 1), CFSTR("text")));
            EXPECT_EQ(CFArrayGetFirstIndexOfValue(array, CFRangeMake(0, 1), CFSTR("text")),
                      kCFNotFound);
            CFArrayAppendValue(marray, CFSTR("x"));
            CFArrayRemoveValueAtIndex(marray, 0);
            EXPECT_EQ(CFArrayCreateMutableCopy(nullptr, 0, array), nullptr);
        }
        if (!Is(value, CFDictionaryGetTypeID())) {
            auto dict = static_cast<CFDictionaryRef>(value);
            auto mdict = static_cast<CFMutableDictionaryRef>(const_cast<void *>(value));
            EXPECT_EQ(CFDictionaryGetCount(dict), 0);
            EXPECT_EQ(CFDictionaryGetValue(dict, CFSTR("text")), nullptr);
            EXPECT_FALSE(CFDictionaryContainsKey(dict, CFSTR("text")));
            const void *found = reinterpret_cast<const void *>(0x1);
            EXPECT_FALSE(CFDictionaryGetValueIfPresent(dict, CFSTR("text"), &found));
            CFDictionarySetValue(mdict, CFSTR("k"), CFSTR("v"));
            CFDictionaryAddValue(mdict, CFSTR("k"), CFSTR("v"));
            CFDictionaryRemoveValue(mdict, CFSTR("k"));
            CFDictionaryGetKeysAndValues(dict, nullptr, nullptr);
            EXPECT_EQ(CFDictionaryCreateMutableCopy(nullptr, 0, dict), nullptr);
        }
        if (!Is(value, CFDateGetTypeID())) {
            EXPECT_EQ(CFDateGetAbsoluteTime(static_cast<CFDateRef>(value)), 0.0);
        }
        if (!Is(value, CFUUIDGetTypeID())) {
            EXPECT_EQ(CFUUIDCreateString(nullptr, static_cast<CFUUIDRef>(value)), nullptr);
        }
    }
    // The values themselves were left alone.
    EXPECT_EQ(CFStringGetLength(values.mutableString.get()), 0);
    EXPECT_EQ(CFArrayGetCount(values.array.get()), 1);
    EXPECT_EQ(CFDictionaryGetCount(values.dictionary.get()), 1);
    EXPECT_EQ(CFDataGetLength(values.data.get()), 2);
}

TEST(TypeSafety, PropertyListFunctionsRefuseValuesThatAreNotPropertyLists) {
    Values values;
    CFRef<CFMutableDictionaryRef> holder(CFDictionaryCreateMutable(
        nullptr, 0, &kCFCopyStringDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    for (CFTypeRef bad : {static_cast<CFTypeRef>(values.uuid.get()), CFTypeRef(kCFNull),
                          CFTypeRef(kCFAllocatorMalloc)}) {
        CFDictionarySetValue(holder.get(), CFSTR("inner"), bad);
        for (CFTypeRef value : {bad, static_cast<CFTypeRef>(holder.get())}) {
            EXPECT_EQ(CFPropertyListCreateXMLData(nullptr, value), nullptr);
            EXPECT_EQ(CFPropertyListCreateDeepCopy(nullptr, value,
                                                   kCFPropertyListMutableContainersAndLeaves),
                      nullptr);
            EXPECT_FALSE(CFPropertyListIsValid(value, kCFPropertyListXMLFormat_v1_0));
        }
    }
    EXPECT_EQ(CFPropertyListCreateXMLData(nullptr, nullptr), nullptr);
    CFStringRef message = nullptr;
    EXPECT_EQ(CFPropertyListCreateFromXMLData(
                  nullptr, static_cast<CFDataRef>(CFTypeRef(values.string.get())),
                  kCFPropertyListImmutable, &message),
              nullptr);
    if (message) CFRelease(message);
}
