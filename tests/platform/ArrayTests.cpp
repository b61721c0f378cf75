// Arrays: editing, callbacks, range queries, sorting, copies, descriptions.
#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/values/Holder.h"
#include "ValuesTestSupport.h"

using vt::CFRef;
using vt::test::Describe;
using vt::test::Num;

namespace {

using Longs = std::vector<long>;

Longs LongsOf(CFArrayRef array) {
    Longs out;
    for (CFIndex i = 0; i < CFArrayGetCount(array); ++i)
        out.push_back(vt::test::LongOf(CFArrayGetValueAtIndex(array, i)));
    return out;
}

CFRef<CFMutableArrayRef> LongArray(std::initializer_list<long> values) {
    CFRef<CFMutableArrayRef> array(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    for (long v : values)
        CFArrayAppendValue(array.get(), Num(v).get());
    return array;
}

CFComparisonResult CompareNumbers(const void *a, const void *b, void *) {
    return CFNumberCompare(static_cast<CFNumberRef>(a), static_cast<CFNumberRef>(b), nullptr);
}

// Orders raw integers by tens only, so that ties show whether a sort is stable.
CFComparisonResult CompareTens(const void *a, const void *b, void *) {
    auto x = reinterpret_cast<intptr_t>(a) / 10, y = reinterpret_cast<intptr_t>(b) / 10;
    return x < y ? kCFCompareLessThan : x > y ? kCFCompareGreaterThan : kCFCompareEqualTo;
}

const void *Raw(intptr_t v) {
    return reinterpret_cast<const void *>(v);
}

} // namespace

TEST(Array, EditingKeepsOrderAndChecksIndexes) {
    CFRef<CFMutableArrayRef> array = LongArray({1, 2, 3});
    CFArrayInsertValueAtIndex(array.get(), 0, Num(0).get());
    CFArrayInsertValueAtIndex(array.get(), 4, Num(4).get());
    CFArraySetValueAtIndex(array.get(), 2, Num(20).get());
    CFArraySetValueAtIndex(array.get(), 5, Num(5).get()); // idx == count appends
    CFArrayRemoveValueAtIndex(array.get(), 0);
    CFArrayExchangeValuesAtIndices(array.get(), 0, 4);
    EXPECT_EQ(LongsOf(array.get()), (Longs{5, 20, 3, 4, 1}));

    // Out-of-range edits do nothing.
    CFArrayInsertValueAtIndex(array.get(), 6, Num(9).get());
    CFArraySetValueAtIndex(array.get(), -1, Num(9).get());
    CFArrayRemoveValueAtIndex(array.get(), 5);
    CFArrayReplaceValues(array.get(), CFRangeMake(4, 2), nullptr, 0);
    CFArrayReplaceValues(array.get(), CFRangeMake(0, 1), nullptr, 2);
    EXPECT_EQ(LongsOf(array.get()), (Longs{5, 20, 3, 4, 1}));
    EXPECT_EQ(CFArrayGetValueAtIndex(array.get(), 5), nullptr);

    CFRef<CFNumberRef> seven = Num(7), eight = Num(8), nine = Num(9);
    const void *three[] = {seven.get(), eight.get(), nine.get()};
    CFArrayReplaceValues(array.get(), CFRangeMake(1, 2), three, 3);
    EXPECT_EQ(LongsOf(array.get()), (Longs{5, 7, 8, 9, 4, 1}));
    CFArrayReplaceValues(array.get(), CFRangeMake(0, 5), nullptr, 0); // shrinks to {1}
    CFRef<CFArrayRef> fixed(CFArrayCreate(nullptr, three, 3, &kCFTypeArrayCallBacks));
    CFArrayAppendArray(array.get(), fixed.get(), CFRangeMake(1, 2));
    CFArrayAppendArray(array.get(), array.get(), CFRangeMake(0, 3)); // reads itself while growing
    CFArrayAppendArray(array.get(), fixed.get(), CFRangeMake(2, 2));
    EXPECT_EQ(LongsOf(array.get()), (Longs{1, 8, 9, 1, 8, 9}));
    // Appending an array to itself while its storage moves: doubling it four
    // times outgrows any capacity it had, past the values copied on the stack.
    CFRef<CFMutableArrayRef> doubling = LongArray({1, 2, 3});
    Longs expected{1, 2, 3};
    for (int round = 0; round < 4; ++round) {
        CFArrayAppendArray(doubling.get(), doubling.get(),
                           CFRangeMake(0, CFArrayGetCount(doubling.get())));
        expected.insert(expected.end(), expected.begin(), expected.end());
    }
    EXPECT_EQ(LongsOf(doubling.get()), expected);

    CFArrayRemoveAllValues(array.get());
    EXPECT_EQ(CFArrayGetCount(array.get()), 0);
}

TEST(Array, TypeCallBacksRetainAndRelease) {
    CFRef<CFNumberRef> value = Num(1000);
    {
        CFRef<CFMutableArrayRef> array(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
        CFArrayAppendValue(array.get(), value.get());
        CFArrayAppendValue(array.get(), value.get());
        CFArraySetValueAtIndex(array.get(), 0, value.get()); // replaced by itself
        EXPECT_EQ(CFGetRetainCount(value.get()), 3);
        CFArrayReplaceValues(array.get(), CFRangeMake(0, 2), nullptr, 0);
        EXPECT_EQ(CFGetRetainCount(value.get()), 1);
        CFArrayAppendValue(array.get(), value.get());
        CFRef<CFArrayRef> copy(CFArrayCreateCopy(nullptr, array.get()));
        EXPECT_EQ(CFGetRetainCount(value.get()), 3);
    }
    EXPECT_EQ(CFGetRetainCount(value.get()), 1);
}

TEST(Array, NullCallBacksHoldRawPointersByIdentity) {
    CFRef<CFMutableArrayRef> array(CFArrayCreateMutable(nullptr, 0, nullptr));
    for (intptr_t i = 1; i <= 5; ++i)
        CFArrayAppendValue(array.get(), Raw(i));
    CFArrayAppendValue(array.get(), nullptr);
    EXPECT_EQ(CFArrayGetFirstIndexOfValue(array.get(), CFRangeMake(0, 6), nullptr), 5);

    CFRef<CFNumberRef> a = Num(5), b = Num(5);
    CFArrayAppendValue(array.get(), a.get());
    EXPECT_EQ(CFGetRetainCount(a.get()), 1);
    EXPECT_FALSE(CFArrayContainsValue(array.get(), CFRangeMake(0, 7), b.get()));
    EXPECT_TRUE(CFArrayContainsValue(array.get(), CFRangeMake(0, 7), a.get()));
    CFRef<CFMutableArrayRef> copy(CFArrayCreateMutableCopy(nullptr, 0, array.get()));
    EXPECT_EQ(CFGetRetainCount(a.get()), 1);
}

namespace {

int gRetains = 0, gReleases = 0;
const void *CountingRetain(CFAllocatorRef, const void *value) {
    ++gRetains;
    return value;
}
void CountingRelease(CFAllocatorRef, const void *) {
    ++gReleases;
}
Boolean SameTens(const void *a, const void *b) {
    return CompareTens(a, b, nullptr) == 0;
}

} // namespace

TEST(Array, CustomCallBacksAreCopiedAndUsed) {
    gRetains = gReleases = 0;
    auto *callBacks = new CFArrayCallBacks{0, CountingRetain, CountingRelease, nullptr, SameTens};
    CFRef<CFMutableArrayRef> array(CFArrayCreateMutable(nullptr, 0, callBacks));
    delete callBacks; // the array keeps its own copy
    for (intptr_t v : {11, 25, 19})
        CFArrayAppendValue(array.get(), Raw(v));
    EXPECT_EQ(gRetains, 3);
    EXPECT_EQ(CFArrayGetCountOfValue(array.get(), CFRangeMake(0, 3), Raw(15)), 2);
    EXPECT_EQ(CFArrayGetLastIndexOfValue(array.get(), CFRangeMake(0, 3), Raw(10)), 2);
    CFRef<CFMutableArrayRef> copy(CFArrayCreateMutableCopy(nullptr, 0, array.get()));
    EXPECT_EQ(gRetains, 6);
    CFArrayRemoveValueAtIndex(copy.get(), 0);
    EXPECT_EQ(gReleases, 1);
    copy.Reset();
    array.Reset();
    EXPECT_EQ(gReleases, 6);
}

TEST(Array, RangeQueriesRespectTheRange) {
    CFRef<CFMutableArrayRef> array = LongArray({1, 2, 1, 3, 1});
    CFRef<CFNumberRef> one = Num(1);
    EXPECT_EQ(CFArrayGetCountOfValue(array.get(), CFRangeMake(1, 3), one.get()), 1);
    EXPECT_EQ(CFArrayGetFirstIndexOfValue(array.get(), CFRangeMake(1, 4), one.get()), 2);
    EXPECT_EQ(CFArrayGetLastIndexOfValue(array.get(), CFRangeMake(0, 4), one.get()), 2);

    // Ranges reaching outside the array find nothing.
    EXPECT_EQ(CFArrayGetCountOfValue(array.get(), CFRangeMake(3, 5), one.get()), 0);
    EXPECT_EQ(CFArrayGetFirstIndexOfValue(array.get(), CFRangeMake(-1, 3), one.get()), kCFNotFound);
    EXPECT_FALSE(CFArrayContainsValue(array.get(), CFRangeMake(4, INT64_MAX), one.get()));

    long sum = 0;
    auto add = [](const void *v, void *total) {
        *static_cast<long *>(total) += vt::test::LongOf(v);
    };
    CFArrayApplyFunction(array.get(), CFRangeMake(1, 3), add, &sum);
    EXPECT_EQ(sum, 6);
}

TEST(Array, SortIsStableAndLimitedToTheRange) {
    CFRef<CFMutableArrayRef> part = LongArray({5, 4, 3, 2, 1});
    CFArraySortValues(part.get(), CFRangeMake(1, 3), CompareNumbers, nullptr);
    EXPECT_EQ(LongsOf(part.get()), (Longs{5, 2, 3, 4, 1}));

    CFRef<CFMutableArrayRef> raw(CFArrayCreateMutable(nullptr, 0, nullptr));
    std::vector<intptr_t> expected;
    for (int i = 0; i < 40; ++i)
        expected.push_back((i * 7 % 5) * 10 + i % 10);
    for (intptr_t v : expected)
        CFArrayAppendValue(raw.get(), Raw(v));
    CFArraySortValues(raw.get(), CFRangeMake(0, 40), CompareTens, nullptr);
    std::stable_sort(expected.begin(), expected.end(),
                     [](intptr_t a, intptr_t b) { return a / 10 < b / 10; });
    for (CFIndex i = 0; i < 40; ++i)
        EXPECT_EQ(CFArrayGetValueAtIndex(raw.get(), i), Raw(expected[size_t(i)]));
}

TEST(Array, ImmutableArraysRefuseEditsAndCopyCheaply) {
    CFRef<CFArrayRef> fixed(CFArrayCreateCopy(nullptr, LongArray({1, 2}).get()));
    auto *asMutable = const_cast<CFMutableArrayRef>(fixed.get());
    CFArrayAppendValue(asMutable, Num(3).get());
    CFArraySetValueAtIndex(asMutable, 0, Num(3).get());
    CFArrayRemoveAllValues(asMutable);
    CFArraySortValues(asMutable, CFRangeMake(0, 2), CompareNumbers, nullptr);
    EXPECT_EQ(LongsOf(fixed.get()), (Longs{1, 2}));

    EXPECT_EQ(CFRef<CFArrayRef>(CFArrayCreateCopy(nullptr, fixed.get())).get(), fixed.get());
    CFRef<CFMutableArrayRef> editable(CFArrayCreateMutableCopy(nullptr, 0, fixed.get()));
    CFArrayAppendValue(editable.get(), Num(3).get());
    EXPECT_FALSE(CFEqual(editable.get(), fixed.get()));
    CFArrayRemoveValueAtIndex(editable.get(), 2);
    EXPECT_TRUE(CFEqual(editable.get(), fixed.get()));
}

TEST(Array, WrongTypesAndNullAreSafe) {
    auto notArray = reinterpret_cast<CFMutableArrayRef>(
        const_cast<void *>(static_cast<const void *>(CFSTR("not an array"))));
    CFArrayAppendValue(notArray, Num(1).get());
    EXPECT_EQ(CFArrayGetValueAtIndex(notArray, 0), nullptr);
    EXPECT_EQ(CFArrayCreateCopy(nullptr, notArray), nullptr);
    EXPECT_EQ(CFArrayCreate(nullptr, nullptr, 2, &kCFTypeArrayCallBacks), nullptr);
    CFRef<CFMutableArrayRef> array = LongArray({1});
    CFArrayAppendArray(array.get(), notArray, CFRangeMake(0, 1));
    CFArraySortValues(array.get(), CFRangeMake(0, 1), nullptr, nullptr);
    EXPECT_EQ(LongsOf(array.get()), (Longs{1}));
}

TEST(Array, DescriptionNestsContainers) {
    CFRef<CFMutableArrayRef> outer = LongArray({-50});
    CFArrayAppendValue(outer.get(), LongArray({1, 2}).get());
    CFArrayAppendValue(outer.get(), CFSTR("text"));
    CFArrayAppendValue(outer.get(), LongArray({}).get());
    EXPECT_EQ(Describe(outer.get()), "(\n    -50,\n    (\n        1,\n        2\n    ),\n"
                                     "    text,\n    ()\n)");
}
