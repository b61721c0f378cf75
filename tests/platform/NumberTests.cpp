// Numbers and booleans: canonical types, lossy conversions, cross-type
// equality and ordering, descriptions.
#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

#include "ValuesTestSupport.h"

using vt::CFRef;
using vt::test::Describe;

namespace {

struct Int128 {
    SInt64 high;
    UInt64 low;
    bool operator==(const Int128 &) const = default;
};

template <class T>
CFRef<CFNumberRef> Make(CFNumberType type, T value) {
    return CFRef<CFNumberRef>(CFNumberCreate(nullptr, type, &value));
}

// Reads `number` as outType: {conversion was exact, value stored}.
template <class Out>
std::pair<bool, Out> Get(CFNumberRef number, CFNumberType outType) {
    Out out{};
    bool exact = CFNumberGetValue(number, outType, &out);
    return {exact, out};
}

template <class A, class B>
CFComparisonResult Compare(CFNumberType ta, A a, CFNumberType tb, B b) {
    return CFNumberCompare(Make(ta, a).get(), Make(tb, b).get(), nullptr);
}

constexpr double kTwo63 = 9223372036854775808.0;

} // namespace

TEST(Number, CreateReportsCanonicalTypeAndSize) {
    EXPECT_EQ(CFNumberGetType(Make(kCFNumberCharType, char(5)).get()), kCFNumberSInt8Type);
    EXPECT_EQ(CFNumberGetType(Make(kCFNumberIntType, 5).get()), kCFNumberSInt32Type);
    EXPECT_EQ(CFNumberGetType(Make(kCFNumberNSIntegerType, 5L).get()), kCFNumberSInt64Type);
    EXPECT_EQ(CFNumberGetType(Make(kCFNumberFloatType, 1.5f).get()), kCFNumberFloat32Type);
    EXPECT_EQ(CFNumberGetType(Make(kCFNumberCGFloatType, 1.5).get()), kCFNumberFloat64Type);
    EXPECT_EQ(CFNumberGetByteSize(Make(kCFNumberShortType, short(5)).get()), 2);
    EXPECT_TRUE(CFNumberIsFloatType(Make(kCFNumberFloatType, 1.5f).get()));
    int value = 1;
    EXPECT_EQ(CFNumberCreate(nullptr, CFNumberType(99), &value), nullptr);
    EXPECT_EQ(CFNumberCreate(nullptr, kCFNumberIntType, nullptr), nullptr);
}

TEST(Number, GetValueReportsLossAndStoresNearestValue) {
    using std::pair;
    EXPECT_EQ(Get<int32_t>(Make(kCFNumberDoubleType, 3.7).get(), kCFNumberSInt32Type),
              pair(false, 3));
    EXPECT_EQ(Get<int32_t>(Make(kCFNumberDoubleType, -3.7).get(), kCFNumberIntType),
              pair(false, -3));
    EXPECT_EQ(Get<int32_t>(kCFNumberNaN, kCFNumberIntType), pair(false, 0));
    EXPECT_EQ(Get<int8_t>(Make(kCFNumberIntType, 300).get(), kCFNumberSInt8Type),
              pair(false, int8_t(127)));
    EXPECT_EQ(Get<int8_t>(Make(kCFNumberIntType, -300).get(), kCFNumberCharType),
              pair(false, int8_t(-128)));
    EXPECT_EQ(Get<int64_t>(Make(kCFNumberDoubleType, 1e30).get(), kCFNumberSInt64Type),
              pair(false, INT64_MAX));
    EXPECT_EQ(Get<int64_t>(kCFNumberNegativeInfinity, kCFNumberSInt64Type), pair(false, INT64_MIN));

    auto two53 = int64_t(1) << 53;
    EXPECT_EQ(Get<double>(Make(kCFNumberSInt64Type, two53).get(), kCFNumberDoubleType),
              pair(true, 9007199254740992.0));
    EXPECT_FALSE(
        Get<double>(Make(kCFNumberSInt64Type, two53 + 1).get(), kCFNumberDoubleType).first);
    EXPECT_EQ(Get<double>(Make(kCFNumberSInt64Type, INT64_MAX).get(), kCFNumberDoubleType),
              pair(false, kTwo63));

    EXPECT_EQ(Get<float>(Make(kCFNumberDoubleType, 0.5).get(), kCFNumberFloatType),
              pair(true, 0.5f));
    EXPECT_EQ(Get<float>(Make(kCFNumberDoubleType, 0.1).get(), kCFNumberFloatType),
              pair(false, 0.1f));
    EXPECT_EQ(Get<float>(Make(kCFNumberDoubleType, 1e300).get(), kCFNumberFloatType),
              pair(false, std::numeric_limits<float>::infinity()));
    EXPECT_TRUE(Get<float>(Make(kCFNumberIntType, 16777216).get(), kCFNumberFloatType).first);
    EXPECT_FALSE(Get<float>(Make(kCFNumberIntType, 16777217).get(), kCFNumberFloatType).first);
}

TEST(Number, SInt128CarriesUnsignedValuesAboveInt64) {
    using std::pair;
    CFRef<CFNumberRef> max = Make(kCFNumberSInt128Type, Int128{0, UINT64_MAX});
    EXPECT_EQ(CFNumberGetType(max.get()), kCFNumberSInt128Type);
    EXPECT_EQ(CFNumberGetByteSize(max.get()), 16);
    EXPECT_EQ(Get<Int128>(max.get(), kCFNumberSInt128Type), pair(true, Int128{0, UINT64_MAX}));
    EXPECT_EQ(Get<int64_t>(max.get(), kCFNumberSInt64Type), pair(false, INT64_MAX));
    EXPECT_EQ(Describe(max.get()), "18446744073709551615");

    // Values that fit in 64 bits are stored as ordinary integers.
    CFRef<CFNumberRef> minusFive = Make(kCFNumberSInt128Type, Int128{-1, uint64_t(-5)});
    EXPECT_EQ(CFNumberGetType(minusFive.get()), kCFNumberSInt64Type);
    EXPECT_EQ(Get<int64_t>(minusFive.get(), kCFNumberSInt64Type), pair(true, int64_t(-5)));
    EXPECT_EQ(Get<Int128>(minusFive.get(), kCFNumberSInt128Type),
              pair(true, Int128{-1, uint64_t(-5)}));
    EXPECT_EQ(Get<Int128>(Make(kCFNumberDoubleType, 2.5).get(), kCFNumberSInt128Type),
              pair(false, Int128{0, 2}));

    const Int128 tooBig{1, 0}, tooSmall{-1, 5};
    EXPECT_EQ(CFNumberCreate(nullptr, kCFNumberSInt128Type, &tooBig), nullptr);
    EXPECT_EQ(CFNumberCreate(nullptr, kCFNumberSInt128Type, &tooSmall), nullptr);
}

TEST(Number, EqualityAndHashAreByValueAcrossTypes) {
    CFRef<CFNumberRef> one8 = Make(kCFNumberSInt8Type, int8_t(1));
    CFRef<CFNumberRef> oneDouble = Make(kCFNumberDoubleType, 1.0);
    CFRef<CFNumberRef> oneFloat = Make(kCFNumberFloatType, 1.0f);
    EXPECT_TRUE(CFEqual(one8.get(), oneDouble.get()));
    EXPECT_TRUE(CFEqual(oneFloat.get(), one8.get()));
    EXPECT_EQ(CFHash(one8.get()), CFHash(oneDouble.get()));
    EXPECT_EQ(CFHash(oneFloat.get()), CFHash(oneDouble.get()));
    EXPECT_FALSE(CFEqual(one8.get(), Make(kCFNumberDoubleType, 1.5).get()));

    CFRef<CFNumberRef> uint64Max = Make(kCFNumberSInt128Type, Int128{0, UINT64_MAX});
    EXPECT_FALSE(CFEqual(Make(kCFNumberSInt64Type, int64_t(-1)).get(), uint64Max.get()));
    // The double nearest UINT64_MAX is 2^64.
    EXPECT_FALSE(CFEqual(uint64Max.get(), Make(kCFNumberDoubleType, 18446744073709551615.0).get()));

    CFRef<CFNumberRef> zero = Make(kCFNumberIntType, 0);
    CFRef<CFNumberRef> minusZero = Make(kCFNumberDoubleType, -0.0);
    EXPECT_TRUE(CFEqual(zero.get(), minusZero.get()));
    EXPECT_EQ(CFHash(zero.get()), CFHash(minusZero.get()));
    CFRef<CFNumberRef> nan = Make(kCFNumberDoubleType, std::nan(""));
    EXPECT_TRUE(CFEqual(nan.get(), kCFNumberNaN));
    EXPECT_EQ(CFHash(nan.get()), CFHash(kCFNumberNaN));
}

TEST(Number, CompareOrdersExactlyNearTwoToThe63) {
    const auto kDouble = kCFNumberDoubleType, kInt64 = kCFNumberSInt64Type;
    const Int128 unsigned63{0, uint64_t(1) << 63};
    EXPECT_EQ(Compare(kInt64, INT64_MAX, kDouble, kTwo63), kCFCompareLessThan);
    EXPECT_EQ(Compare(kDouble, kTwo63, kInt64, INT64_MAX), kCFCompareGreaterThan);
    EXPECT_EQ(Compare(kCFNumberSInt128Type, unsigned63, kDouble, kTwo63), kCFCompareEqualTo);
    EXPECT_EQ(Compare(kInt64, INT64_MAX, kCFNumberSInt128Type, unsigned63), kCFCompareLessThan);
    EXPECT_EQ(Compare(kInt64, INT64_MIN, kDouble, -kTwo63), kCFCompareEqualTo);
    auto two53 = int64_t(1) << 53;
    EXPECT_EQ(Compare(kInt64, two53 + 1, kDouble, double(two53)), kCFCompareGreaterThan);
    EXPECT_EQ(Compare(kInt64, int64_t(0), kDouble, -0.5), kCFCompareGreaterThan);
    EXPECT_EQ(Compare(kInt64, int64_t(-1), kDouble, -0.5), kCFCompareLessThan);
    EXPECT_EQ(CFNumberCompare(kCFNumberNaN, kCFNumberNegativeInfinity, nullptr),
              kCFCompareLessThan);
}

TEST(Number, DescriptionIsShortestDecimalText) {
    EXPECT_EQ(Describe(Make(kCFNumberIntType, -50).get()), "-50");
    EXPECT_EQ(Describe(Make(kCFNumberDoubleType, 3.5).get()), "3.5");
    EXPECT_EQ(Describe(Make(kCFNumberDoubleType, 0.1).get()), "0.1");
    EXPECT_EQ(Describe(Make(kCFNumberFloatType, 0.1f).get()), "0.1");
    EXPECT_EQ(Describe(Make(kCFNumberDoubleType, 1e300).get()), "1e+300");
    EXPECT_EQ(Describe(Make(kCFNumberSInt64Type, INT64_MIN).get()), "-9223372036854775808");
    EXPECT_EQ(Describe(kCFNumberPositiveInfinity), "+infinity");
    EXPECT_EQ(Describe(kCFNumberNegativeInfinity), "-infinity");
    CFRelease(kCFNumberNaN); // immortal
    EXPECT_EQ(Describe(kCFNumberNaN), "nan");
}

TEST(Number, WrongTypesAndNullAreSafe) {
    int value = 9;
    EXPECT_FALSE(CFNumberGetValue(nullptr, kCFNumberIntType, &value));
    EXPECT_FALSE(
        CFNumberGetValue(reinterpret_cast<CFNumberRef>(kCFBooleanTrue), kCFNumberIntType, &value));
    EXPECT_FALSE(
        CFNumberGetValue(reinterpret_cast<CFNumberRef>(CFSTR("12")), kCFNumberIntType, &value));
    EXPECT_EQ(value, 9);
    CFRef<CFNumberRef> number = Make(kCFNumberIntType, 1);
    EXPECT_FALSE(CFNumberGetValue(number.get(), CFNumberType(42), &value));
    EXPECT_FALSE(CFNumberGetValue(number.get(), kCFNumberIntType, nullptr));
    EXPECT_EQ(CFNumberGetType(reinterpret_cast<CFNumberRef>(CFSTR("1"))), CFNumberType(0));
}

TEST(Boolean, SharedValuesByIdentity) {
    EXPECT_TRUE(CFBooleanGetValue(kCFBooleanTrue));
    EXPECT_FALSE(CFBooleanGetValue(kCFBooleanFalse));
    EXPECT_FALSE(CFBooleanGetValue(nullptr));
    EXPECT_FALSE(
        CFBooleanGetValue(reinterpret_cast<CFBooleanRef>(Make(kCFNumberIntType, 1).get())));
    EXPECT_FALSE(CFEqual(kCFBooleanTrue, kCFBooleanFalse));
    CFRelease(kCFBooleanTrue); // immortal
    EXPECT_EQ(CFRetain(kCFBooleanTrue), kCFBooleanTrue);
    EXPECT_EQ(Describe(kCFBooleanTrue), "true");
    EXPECT_EQ(Describe(kCFBooleanFalse), "false");
}
