// Value utilities: MD5-derived IDs, one-level copies, suffix trimming and
// array membership.
#include <Vantrell/Vantrell.h>
#include <gtest/gtest.h>

#include "platform/values/Cast.h"
#include "platform/values/Holder.h"
#include "utilities/UtilitiesPrivate.h"

#include <string>
#include "support/TestSupport.h"

using vt::CFRef;
using vt::test::StringOf;

namespace {

std::string Hash(CFStringRef str) {
    CFRef<CFStringRef> hashed(VTU_StringCreateHashedWithMD5(nullptr, str));
    return StringOf(hashed.get());
}

std::string Trim(CFStringRef str, CFStringRef suffix) {
    CFRef<CFMutableStringRef> trimmed(
        VTU_StringCreateMutableCopyTrimmingSuffix(nullptr, str, suffix));
    return StringOf(trimmed.get());
}

} // namespace

TEST(ValueUtilities, MD5IsTheDigestOfTheUTF8Bytes) {
    EXPECT_EQ(Hash(CFSTR("abc")), "900150983cd24fb0d6963f7d28e17f72");
    // Multi-byte UTF-8, including a character outside the BMP.
    CFRef<CFStringRef> accented(CFStringCreateWithCString(
        nullptr, "Caf\xC3\xA9 \xE2\x98\x95 \xF0\x9F\x98\x80", kCFStringEncodingUTF8));
    EXPECT_EQ(Hash(accented.get()), "fac5537330c60f6532b3277f4ebee4b6");
    // A lone surrogate cannot be encoded: "?" stands for it.
    const UniChar lone[] = {'a', 0xD800, 'b'};
    CFRef<CFStringRef> broken(CFStringCreateWithCharacters(nullptr, lone, 3));
    EXPECT_EQ(Hash(broken.get()), "0166d849f21a9d699d896ea2a79a375f");
    // A trailing slash makes a different ID; the same text the same one.
    EXPECT_EQ(Hash(CFSTR("file:///tmp/a")), "f1b127e31a0063f3cdbee7dbedc9d7de");
    EXPECT_EQ(Hash(CFSTR("file:///tmp/a/")), "d850829a683b6e64faf35df9dbbe3c93");
    CFRef<CFMutableStringRef> same(CFStringCreateMutableCopy(nullptr, 0, CFSTR("abc")));
    EXPECT_EQ(Hash(same.get()), Hash(CFSTR("abc")));

    EXPECT_EQ(VTU_StringCreateHashedWithMD5(nullptr, CFSTR("")), nullptr);
    EXPECT_EQ(VTU_StringCreateHashedWithMD5(nullptr, nullptr), nullptr);
    EXPECT_EQ(VTU_StringCreateHashedWithMD5(nullptr, reinterpret_cast<CFStringRef>(kCFBooleanTrue)),
              nullptr);
    CFRef<CFStringRef> withMalloc(VTU_StringCreateHashedWithMD5(kCFAllocatorMalloc, CFSTR("abc")));
    ASSERT_TRUE(withMalloc);
    EXPECT_EQ(CFGetAllocator(withMalloc.get()), kCFAllocatorMalloc);
}

TEST(ValueUtilities, CopyTypeCopiesOneLevelKeepingTypes) {
    CFRef<CFMutableDictionaryRef> inner(CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    const void *elements[] = {inner.get(), inner.get()};
    CFRef<CFArrayRef> array(CFArrayCreate(nullptr, elements, 2, &kCFTypeArrayCallBacks));
    CFRef<CFTypeRef> arrayCopy(VTU_CopyType(nullptr, array.get(), nullptr));
    ASSERT_TRUE(arrayCopy);
    EXPECT_NE(arrayCopy.get(), array.get());
    // The copy is mutable and independent of the original.
    auto mutableArray = vt::cf::CastMutable<CFMutableArrayRef>(arrayCopy.get());
    ASSERT_NE(mutableArray, nullptr);
    EXPECT_EQ(CFArrayGetValueAtIndex(mutableArray, 0), inner.get());
    CFArrayAppendValue(mutableArray, CFSTR("x"));
    EXPECT_EQ(CFArrayGetCount(array.get()), 2);

    double real = 2.75;
    CFRef<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberFloat64Type, &real));
    CFRef<CFTypeRef> numberCopy(VTU_CopyType(nullptr, number.get(), nullptr));
    ASSERT_TRUE(numberCopy);
    EXPECT_NE(numberCopy.get(), number.get());
    EXPECT_EQ(CFNumberGetType(vt::cf::Cast<CFNumberRef>(numberCopy.get())), kCFNumberFloat64Type);
    EXPECT_TRUE(CFEqual(numberCopy.get(), number.get()));

    CFRef<CFTypeRef> boolean(VTU_CopyType(nullptr, kCFBooleanFalse, nullptr));
    EXPECT_EQ(boolean.get(), kCFBooleanFalse);

    CFRef<CFTypeRef> string(VTU_CopyType(nullptr, CFSTR("text"), nullptr));
    ASSERT_TRUE(string);
    auto mutableString = vt::cf::CastMutable<CFMutableStringRef>(string.get());
    ASSERT_NE(mutableString, nullptr);
    CFStringAppend(mutableString, CFSTR("!"));
    EXPECT_EQ(StringOf(mutableString), "text!");
}

TEST(ValueUtilities, CopyTypeReportsMissingAndForeignValues) {
    EXPECT_EQ(VTU_CopyType(nullptr, nullptr, nullptr), nullptr);

    CFMutableDictionaryRef error = nullptr;
    EXPECT_EQ(VTU_CopyType(nullptr, nullptr, &error), nullptr);
    CFRef<CFMutableDictionaryRef> missing(error);
    EXPECT_EQ(VTU_ErrorGetCode(missing.get()), -50);

    error = nullptr;
    EXPECT_EQ(VTU_CopyType(nullptr, kCFNull, &error), nullptr);
    CFRef<CFMutableDictionaryRef> foreign(error);
    EXPECT_EQ(VTU_ErrorGetCode(foreign.get()), -4960);
    EXPECT_EQ(StringOf(VTErrorGetDescription(foreign.get())),
              "VTU_CopyType:: Not a property list type.");

    // Success leaves the out-argument alone.
    error = nullptr;
    CFRef<CFTypeRef> copy(VTU_CopyType(nullptr, CFSTR("x"), &error));
    EXPECT_TRUE(copy);
    EXPECT_EQ(error, nullptr);
}

TEST(ValueUtilities, TrimmingRemovesOneTrailingSuffix) {
    EXPECT_EQ(Trim(CFSTR("/tmp/folder/"), CFSTR("/")), "/tmp/folder");
    EXPECT_EQ(Trim(CFSTR("/tmp/folder//"), CFSTR("/")), "/tmp/folder/");
    EXPECT_EQ(Trim(CFSTR("name.scpt"), CFSTR(".SCPT")), "name.scpt");
    EXPECT_EQ(Trim(CFSTR("name.scpt"), CFSTR(".scpt")), "name");
    EXPECT_EQ(Trim(CFSTR("abc"), CFSTR("xabc")), "abc");
    EXPECT_EQ(Trim(CFSTR("abc"), CFSTR("")), "abc");
    EXPECT_EQ(Trim(CFSTR("abc"), CFSTR("abc")), "");
    EXPECT_EQ(VTU_StringCreateMutableCopyTrimmingSuffix(nullptr, nullptr, CFSTR("/")), nullptr);
    EXPECT_EQ(VTU_StringCreateMutableCopyTrimmingSuffix(nullptr, CFSTR("a"), nullptr), nullptr);
    // The result is a mutable copy even when nothing was trimmed.
    CFRef<CFMutableStringRef> copy(
        VTU_StringCreateMutableCopyTrimmingSuffix(nullptr, CFSTR("keep"), CFSTR("/")));
    ASSERT_TRUE(copy);
    CFStringAppend(copy.get(), CFSTR("s"));
    EXPECT_EQ(StringOf(copy.get()), "keeps");
}

TEST(ValueUtilities, ArrayMembershipComparesByValue) {
    CFRef<CFMutableArrayRef> array(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    CFRef<CFMutableStringRef> id(CFStringCreateMutableCopy(nullptr, 0, CFSTR("info.module.x")));
    CFArrayAppendValue(array.get(), id.get());
    EXPECT_TRUE(VTU_ArrayContainsValue(array.get(), CFSTR("info.module.x")));
    EXPECT_FALSE(VTU_ArrayContainsValue(array.get(), CFSTR("info.module.X")));
    EXPECT_FALSE(VTU_ArrayContainsValue(nullptr, CFSTR("info.module.x")));
    EXPECT_FALSE(VTU_ArrayContainsValue(array.get(), nullptr));
    EXPECT_FALSE(VTU_ArrayContainsValue(reinterpret_cast<CFArrayRef>(CFSTR("x")), CFSTR("x")));
}
