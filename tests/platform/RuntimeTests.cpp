// The object runtime: retain counts, immortal constants, type dispatch.
#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>

#include "platform/values/Holder.h"

using vt::CFRef;

TEST(Runtime, RetainCountsAndReleaseOfOwnedValues) {
    CFRef<CFStringRef> str(CFStringCreateWithCString(nullptr, "abc", kCFStringEncodingUTF8));
    ASSERT_TRUE(str);
    EXPECT_EQ(CFGetRetainCount(str.get()), 1);
    CFRetain(str.get());
    EXPECT_EQ(CFGetRetainCount(str.get()), 2);
    CFRelease(str.get());
    EXPECT_EQ(CFGetRetainCount(str.get()), 1);
}

TEST(Runtime, NullArgumentsAreHarmless) {
    EXPECT_EQ(CFRetain(nullptr), nullptr);
    CFRelease(nullptr);
    EXPECT_EQ(CFGetTypeID(nullptr), 0u);
    EXPECT_FALSE(CFEqual(nullptr, nullptr));
    EXPECT_FALSE(CFEqual(CFSTR("a"), nullptr));
    EXPECT_EQ(CFHash(nullptr), 0u);
    EXPECT_EQ(CFCopyDescription(nullptr), nullptr);
    EXPECT_EQ(CFGetRetainCount(nullptr), 0);
}

TEST(Runtime, ConstantsAreImmortalAndTyped) {
    CFStringRef constant = CFSTR("immortal");
    for (int i = 0; i < 5; ++i)
        CFRelease(constant);
    EXPECT_EQ(CFStringGetLength(constant), 8);
    EXPECT_EQ(CFGetTypeID(constant), CFStringGetTypeID());
    EXPECT_EQ(CFGetTypeID(kCFBooleanTrue), CFBooleanGetTypeID());
    EXPECT_EQ(CFGetTypeID(kCFAllocatorMalloc), CFAllocatorGetTypeID());
    EXPECT_EQ(CFGetTypeID(kCFNull), CFNullGetTypeID());
    CFRef<CFStringRef> name(CFCopyTypeIDDescription(CFDictionaryGetTypeID()));
    ASSERT_TRUE(name);
    EXPECT_TRUE(CFEqual(name.get(), CFSTR("CFDictionary")));
}

TEST(Runtime, AllocatorIsRemembered) {
    CFRef<CFStringRef> made(
        CFStringCreateWithCString(kCFAllocatorMalloc, "x", kCFStringEncodingUTF8));
    EXPECT_EQ(CFGetAllocator(made.get()), kCFAllocatorMalloc);
    CFRef<CFStringRef> byDefault(CFStringCreateWithCString(nullptr, "x", kCFStringEncodingUTF8));
    EXPECT_EQ(CFGetAllocator(byDefault.get()), kCFAllocatorSystemDefault);
}

TEST(Runtime, EqualityAcrossTypesIsFalse) {
    CFIndex one = 1;
    CFRef<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberCFIndexType, &one));
    EXPECT_FALSE(CFEqual(number.get(), kCFBooleanTrue));
    EXPECT_FALSE(CFEqual(number.get(), CFSTR("1")));
    EXPECT_TRUE(CFEqual(kCFBooleanTrue, kCFBooleanTrue));
}

TEST(Runtime, ShowWritesDescriptionAndLineBreak) {
    testing::internal::CaptureStderr();
    CFShow(CFSTR("hello"));
    CFShow(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "hello\n(null)\n");
}
