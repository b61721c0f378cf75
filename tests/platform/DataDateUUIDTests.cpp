// Data, dates and UUIDs.
#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "ValuesTestSupport.h"

using vt::CFRef;
using vt::test::Describe;

namespace {

const UInt8 *U(const char *text) {
    return reinterpret_cast<const UInt8 *>(text);
}

std::string Bytes(CFDataRef data) {
    return std::string(reinterpret_cast<const char *>(CFDataGetBytePtr(data)),
                       size_t(CFDataGetLength(data)));
}

CFRef<CFMutableDataRef> MutableData(const char *text) {
    CFRef<CFMutableDataRef> data(CFDataCreateMutable(nullptr, 0));
    CFDataAppendBytes(data.get(), U(text), CFIndex(strlen(text)));
    return data;
}

} // namespace

TEST(Data, EditingChecksRangesAndHandlesSelfReferences) {
    CFRef<CFMutableDataRef> data = MutableData("hello");
    CFDataReplaceBytes(data.get(), CFRangeMake(1, 3), U("ipp"), 3);
    CFDataReplaceBytes(data.get(), CFRangeMake(5, 0), U("!"), 1);
    CFDataDeleteBytes(data.get(), CFRangeMake(0, 1));
    EXPECT_EQ(Bytes(data.get()), "ippo!");

    // Out of range, negative or overflowing: nothing happens.
    CFDataReplaceBytes(data.get(), CFRangeMake(4, 2), U("x"), 1);
    CFDataReplaceBytes(data.get(), CFRangeMake(-1, 1), U("x"), 1);
    CFDataReplaceBytes(data.get(), CFRangeMake(0, 1), nullptr, 1);
    CFDataDeleteBytes(data.get(), CFRangeMake(2, INT64_MAX));
    CFDataAppendBytes(data.get(), U("x"), -1);
    CFDataSetLength(data.get(), -4);
    CFDataIncreaseLength(data.get(), INT64_MAX);
    EXPECT_EQ(Bytes(data.get()), "ippo!");
    UInt8 out[2] = {'-', '-'};
    CFDataGetBytes(data.get(), CFRangeMake(4, 2), out);
    EXPECT_EQ(out[0], '-');

    // The data's own bytes as the source, across reallocations.
    for (int i = 0; i < 6; ++i)
        CFDataAppendBytes(data.get(), CFDataGetBytePtr(data.get()), CFDataGetLength(data.get()));
    EXPECT_EQ(CFDataGetLength(data.get()), 5 * 64);
    EXPECT_EQ(Bytes(data.get()).substr(315), "ippo!");
    CFDataReplaceBytes(data.get(), CFRangeMake(0, CFDataGetLength(data.get())),
                       CFDataGetBytePtr(data.get()) + 1, 3);
    EXPECT_EQ(Bytes(data.get()), "ppo");

    CFDataSetLength(data.get(), 6); // growth is zero-filled
    EXPECT_EQ(Bytes(data.get()), std::string("ppo\0\0\0", 6));
    CFDataSetLength(data.get(), 1);
    EXPECT_EQ(Bytes(data.get()), "p");
}

TEST(Data, ImmutableDataRefusesEditsAndCopiesAreIndependent) {
    CFRef<CFDataRef> data(CFDataCreate(nullptr, U("abc"), 3));
    auto *asMutable = const_cast<CFMutableDataRef>(data.get());
    CFDataAppendBytes(asMutable, U("d"), 1);
    CFDataSetLength(asMutable, 10);
    EXPECT_EQ(CFDataGetMutableBytePtr(asMutable), nullptr);
    EXPECT_EQ(Bytes(data.get()), "abc");

    EXPECT_EQ(CFRef<CFDataRef>(CFDataCreateCopy(nullptr, data.get())).get(), data.get());
    CFRef<CFMutableDataRef> mutableCopy(CFDataCreateMutableCopy(nullptr, 0, data.get()));
    CFRef<CFDataRef> frozen(CFDataCreateCopy(nullptr, mutableCopy.get()));
    CFDataAppendBytes(mutableCopy.get(), U("d"), 1);
    EXPECT_EQ(Bytes(mutableCopy.get()), "abcd");
    EXPECT_EQ(Bytes(frozen.get()), "abc");
}

TEST(Data, NoCopyFreesOnlyWithARealDeallocator) {
    UInt8 onStack[3] = {1, 2, 3};
    CFRef<CFDataRef> borrowed(CFDataCreateWithBytesNoCopy(nullptr, onStack, 3, kCFAllocatorNull));
    EXPECT_EQ(CFDataGetBytePtr(borrowed.get()), onStack);
    borrowed.Reset(); // freeing stack memory would be an ASan error

    auto *heap = static_cast<UInt8 *>(std::malloc(4));
    std::memcpy(heap, "wxyz", 4);
    CFRef<CFDataRef> adopted(CFDataCreateWithBytesNoCopy(nullptr, heap, 4, kCFAllocatorMalloc));
    EXPECT_EQ(Bytes(adopted.get()), "wxyz");
    adopted.Reset(); // not freeing heap would be a leak report

    EXPECT_EQ(CFDataCreateWithBytesNoCopy(nullptr, nullptr, 2, kCFAllocatorNull), nullptr);
    CFRef<CFMutableDataRef> hinted(CFDataCreateMutable(nullptr, INT64_MAX)); // only a hint
    CFDataAppendBytes(hinted.get(), onStack, 3);
    EXPECT_EQ(CFDataGetLength(hinted.get()), 3);
}

TEST(Data, EqualityHashAndDescriptionFollowContent) {
    CFRef<CFDataRef> a(CFDataCreate(nullptr, U("\x0a\x0b\x0c"), 3));
    CFRef<CFMutableDataRef> b = MutableData("\x0a\x0b\x0c");
    EXPECT_TRUE(CFEqual(a.get(), b.get()));
    EXPECT_EQ(CFHash(a.get()), CFHash(b.get()));
    CFDataAppendBytes(b.get(), U("x"), 1);
    EXPECT_FALSE(CFEqual(a.get(), b.get()));
    EXPECT_EQ(Describe(a.get()), "<0a0b0c>");
    CFRef<CFDataRef> empty(CFDataCreate(nullptr, nullptr, 0));
    EXPECT_EQ(Describe(empty.get()), "<>");
    EXPECT_NE(CFDataGetBytePtr(empty.get()), nullptr);
    EXPECT_EQ(CFDataGetLength(reinterpret_cast<CFDataRef>(CFSTR("abc"))), 0);
}

TEST(Date, ValueComparisonAndDescription) {
    CFRef<CFDateRef> a(CFDateCreate(nullptr, 100.5));
    CFRef<CFDateRef> b(CFDateCreate(nullptr, 100.5));
    CFRef<CFDateRef> c(CFDateCreate(nullptr, 200.0));
    EXPECT_TRUE(CFEqual(a.get(), b.get()));
    EXPECT_EQ(CFHash(a.get()), CFHash(b.get()));
    EXPECT_FALSE(CFEqual(a.get(), c.get()));
    EXPECT_EQ(CFDateCompare(a.get(), c.get(), nullptr), kCFCompareLessThan);
    EXPECT_EQ(CFDateCompare(a.get(), b.get(), nullptr), kCFCompareEqualTo);
    EXPECT_DOUBLE_EQ(CFDateGetTimeIntervalSinceDate(c.get(), a.get()), 99.5);

    auto at = [](double t) { return Describe(CFRef<CFDateRef>(CFDateCreate(nullptr, t)).get()); };
    EXPECT_EQ(at(0), "2001-01-01 00:00:00 +0000");
    EXPECT_EQ(at(-0.5), "2000-12-31 23:59:59 +0000");
    EXPECT_EQ(at(-kCFAbsoluteTimeIntervalSince1970), "1970-01-01 00:00:00 +0000");
    // 2024-02-29 12:34:56 UTC is 1709210096 in Unix time.
    EXPECT_EQ(at(1709210096 - kCFAbsoluteTimeIntervalSince1970), "2024-02-29 12:34:56 +0000");

    // Any machine running this is past 2024.
    EXPECT_GT(CFAbsoluteTimeGetCurrent(), 1704067200 - kCFAbsoluteTimeIntervalSince1970);
    EXPECT_EQ(CFDateGetAbsoluteTime(reinterpret_cast<CFDateRef>(kCFNull)), 0.0);
    EXPECT_EQ(CFDateCompare(nullptr, a.get(), nullptr), kCFCompareEqualTo);
}

TEST(UUID, StringFormParseAndBytes) {
    CFUUIDBytes bytes = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef,
                         0xfe, 0xdc, 0xba, 0x98, 0x76, 0x54, 0x32, 0x10};
    CFRef<CFUUIDRef> uuid(CFUUIDCreateFromUUIDBytes(nullptr, bytes));
    CFRef<CFStringRef> text(CFUUIDCreateString(nullptr, uuid.get()));
    EXPECT_TRUE(CFEqual(text.get(), CFSTR("01234567-89AB-CDEF-FEDC-BA9876543210")));
    EXPECT_EQ(Describe(uuid.get()), "01234567-89AB-CDEF-FEDC-BA9876543210");

    CFRef<CFUUIDRef> lower(
        CFUUIDCreateFromString(nullptr, CFSTR("01234567-89ab-cdef-fedc-ba9876543210")));
    ASSERT_TRUE(lower);
    EXPECT_TRUE(CFEqual(lower.get(), uuid.get()));
    CFUUIDBytes back = CFUUIDGetUUIDBytes(lower.get());
    EXPECT_EQ(std::memcmp(&back, &bytes, sizeof bytes), 0);

    for (CFStringRef bad : {CFSTR(""), CFSTR("01234567-89AB-CDEF-FEDC-BA987654321"),
                            CFSTR("01234567-89AB-CDEF-FEDC-BA98765432100"),
                            CFSTR("0123456789AB-CDEF-FEDC-BA9876543210-"),
                            CFSTR("01234567-89AB-CDEF-FEDC-BA987654321G"),
                            CFSTR("01234567+89AB-CDEF-FEDC-BA9876543210"),
                            CFSTR("01234567-89AB-CDEF-FEDC-BA987654321\xc3\xa9")})
        EXPECT_EQ(CFUUIDCreateFromString(nullptr, bad), nullptr);
    EXPECT_EQ(CFUUIDCreateFromString(nullptr, reinterpret_cast<CFStringRef>(uuid.get())), nullptr);
    CFUUIDBytes none = CFUUIDGetUUIDBytes(nullptr);
    EXPECT_EQ(none.byte0 | none.byte15, 0);
}

TEST(UUID, CreateIsRandomVersion4) {
    CFRef<CFUUIDRef> a(CFUUIDCreate(nullptr));
    CFRef<CFUUIDRef> b(CFUUIDCreate(nullptr));
    EXPECT_FALSE(CFEqual(a.get(), b.get()));
    CFUUIDBytes bytes = CFUUIDGetUUIDBytes(a.get());
    EXPECT_EQ(bytes.byte6 >> 4, 4);
    EXPECT_EQ(bytes.byte8 & 0xc0, 0x80);
}
