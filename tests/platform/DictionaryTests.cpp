// Dictionaries: Add/Set/Replace, insertion order, key copying, callbacks,
// large tables with removals, copies, descriptions, deep release.
#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ValuesTestSupport.h"

using vt::CFRef;
using vt::test::Describe;
using vt::test::LongOf;
using vt::test::Num;
using vt::test::StringOf;

namespace {

using Strings = std::vector<std::string>;

CFRef<CFMutableDictionaryRef>
NewDict(const CFDictionaryKeyCallBacks *keys = &kCFCopyStringDictionaryKeyCallBacks,
        CFIndex hint = 0) {
    return CFRef<CFMutableDictionaryRef>(
        CFDictionaryCreateMutable(nullptr, hint, keys, &kCFTypeDictionaryValueCallBacks));
}

// "key=value" for each entry, in enumeration order.
Strings Entries(CFDictionaryRef dict) {
    std::vector<const void *> keys(static_cast<size_t>(CFDictionaryGetCount(dict)));
    std::vector<const void *> values(keys.size());
    CFDictionaryGetKeysAndValues(dict, keys.data(), values.data());
    Strings out;
    for (size_t i = 0; i < keys.size(); ++i)
        out.push_back(StringOf(keys[i]) + "=" + std::to_string(LongOf(values[i])));
    return out;
}

} // namespace

TEST(Dictionary, AddSetReplaceAndInsertionOrder) {
    // A capacity hint is a starting size, not a limit.
    CFRef<CFMutableDictionaryRef> dict = NewDict(&kCFCopyStringDictionaryKeyCallBacks, 1);
    CFDictionaryAddValue(dict.get(), CFSTR("b"), Num(1).get());
    CFDictionaryAddValue(dict.get(), CFSTR("a"), Num(2).get());
    CFDictionaryAddValue(dict.get(), CFSTR("b"), Num(3).get());     // present: ignored
    CFDictionaryReplaceValue(dict.get(), CFSTR("c"), Num(4).get()); // absent: ignored
    CFDictionarySetValue(dict.get(), CFSTR("c"), Num(5).get());
    EXPECT_EQ(Entries(dict.get()), (Strings{"b=1", "a=2", "c=5"}));

    CFDictionarySetValue(dict.get(), CFSTR("b"), Num(6).get()); // keeps its place
    CFDictionaryReplaceValue(dict.get(), CFSTR("a"), Num(7).get());
    CFDictionaryRemoveValue(dict.get(), CFSTR("c"));
    CFDictionaryRemoveValue(dict.get(), CFSTR("zz"));
    CFDictionaryAddValue(dict.get(), CFSTR("c"), Num(8).get()); // re-added: goes last
    EXPECT_EQ(Entries(dict.get()), (Strings{"b=6", "a=7", "c=8"}));

    Strings applied;
    auto collect = [](const void *key, const void *, void *out) {
        static_cast<Strings *>(out)->push_back(StringOf(key));
    };
    CFDictionaryApplyFunction(dict.get(), collect, &applied);
    EXPECT_EQ(applied, (Strings{"b", "a", "c"}));

    CFRef<CFStringRef> dynamicKey(CFStringCreateWithCString(nullptr, "c", kCFStringEncodingUTF8));
    EXPECT_EQ(LongOf(CFDictionaryGetValue(dict.get(), dynamicKey.get())), 8);
    const void *value = nullptr;
    EXPECT_TRUE(CFDictionaryGetValueIfPresent(dict.get(), CFSTR("a"), &value));
    EXPECT_EQ(LongOf(value), 7);
    EXPECT_EQ(CFDictionaryGetCountOfValue(dict.get(), Num(8).get()), 1);

    CFDictionaryRemoveAllValues(dict.get());
    EXPECT_FALSE(CFDictionaryContainsKey(dict.get(), CFSTR("a")));
    CFDictionarySetValue(dict.get(), CFSTR("z"), Num(1).get());
    EXPECT_EQ(Entries(dict.get()), (Strings{"z=1"}));
}

TEST(Dictionary, StringKeysAreCopiedOnInsertion) {
    CFRef<CFMutableStringRef> key(CFStringCreateMutable(nullptr, 0));
    CFStringAppendCString(key.get(), "name", kCFStringEncodingUTF8);
    CFRef<CFMutableDictionaryRef> dict = NewDict();
    CFDictionarySetValue(dict.get(), key.get(), Num(1).get());
    CFStringAppendCString(key.get(), "-changed", kCFStringEncodingUTF8);
    EXPECT_EQ(LongOf(CFDictionaryGetValue(dict.get(), CFSTR("name"))), 1);
    EXPECT_FALSE(CFDictionaryContainsKey(dict.get(), key.get()));
    EXPECT_EQ(CFGetRetainCount(key.get()), 1);

    // An immutable key is shared, not duplicated; other key types are retained.
    CFRef<CFStringRef> fixed(CFStringCreateWithCString(nullptr, "fixed", kCFStringEncodingUTF8));
    CFRef<CFNumberRef> numberKey = Num(42);
    CFDictionarySetValue(dict.get(), fixed.get(), Num(2).get());
    CFDictionarySetValue(dict.get(), numberKey.get(), Num(3).get());
    EXPECT_EQ(CFGetRetainCount(fixed.get()), 2);
    EXPECT_EQ(CFGetRetainCount(numberKey.get()), 2);
    dict.Reset();
    EXPECT_EQ(CFGetRetainCount(fixed.get()), 1);
    EXPECT_EQ(CFGetRetainCount(numberKey.get()), 1);

    // Plain type callbacks retain the mutable key itself.
    CFRef<CFMutableDictionaryRef> plain = NewDict(&kCFTypeDictionaryKeyCallBacks);
    CFDictionarySetValue(plain.get(), key.get(), Num(1).get());
    EXPECT_EQ(CFGetRetainCount(key.get()), 2);
}

TEST(Dictionary, NullCallBacksUseRawPointers) {
    CFRef<CFMutableDictionaryRef> dict(CFDictionaryCreateMutable(nullptr, 0, nullptr, nullptr));
    static int slots[3];
    CFDictionarySetValue(dict.get(), &slots[0], &slots[1]);
    CFDictionarySetValue(dict.get(), &slots[1], nullptr);
    CFDictionarySetValue(dict.get(), nullptr, &slots[2]);
    EXPECT_EQ(CFDictionaryGetValue(dict.get(), &slots[0]), &slots[1]);
    EXPECT_EQ(CFDictionaryGetValue(dict.get(), nullptr), &slots[2]);
    EXPECT_TRUE(CFDictionaryContainsValue(dict.get(), nullptr));

    CFRef<CFNumberRef> a = Num(5), b = Num(5);
    CFDictionarySetValue(dict.get(), a.get(), a.get());
    EXPECT_EQ(CFGetRetainCount(a.get()), 1);
    EXPECT_FALSE(CFDictionaryContainsKey(dict.get(), b.get()));

    // Emptied key by key, the table starts afresh.
    const void *keys[] = {&slots[0], &slots[1], nullptr, a.get()};
    for (const void *key : keys)
        CFDictionaryRemoveValue(dict.get(), key);
    EXPECT_EQ(CFDictionaryGetCount(dict.get()), 0);
    CFDictionarySetValue(dict.get(), &slots[2], &slots[0]);
    EXPECT_EQ(CFDictionaryGetValue(dict.get(), &slots[2]), &slots[0]);
}

TEST(Dictionary, LargeTablesWithRemovalsStayConsistent) {
    constexpr long kKeys = 100000;
    CFRef<CFMutableDictionaryRef> dict = NewDict(&kCFTypeDictionaryKeyCallBacks);
    for (long i = 0; i < kKeys; ++i)
        CFDictionarySetValue(dict.get(), Num(i).get(), Num(-i).get());
    for (long i = 0; i < kKeys; i += 3)
        CFDictionaryRemoveValue(dict.get(), Num(i).get());
    // Removed keys come back at the end; others are overwritten in place.
    for (long i = 0; i < kKeys; i += 6)
        CFDictionaryAddValue(dict.get(), Num(i).get(), Num(i).get());
    for (long i = 1; i < kKeys; i += 3)
        CFDictionarySetValue(dict.get(), Num(i).get(), Num(i).get());

    long expectedCount = 0, wrong = 0;
    for (long i = 0; i < kKeys; ++i) {
        const void *value = CFDictionaryGetValue(dict.get(), Num(i).get());
        bool removed = i % 6 == 3;
        if (removed ? value != nullptr : (!value || LongOf(value) != (i % 3 == 2 ? -i : i)))
            ++wrong;
        expectedCount += removed ? 0 : 1;
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(CFDictionaryGetCount(dict.get()), expectedCount);
    std::vector<const void *> keys(static_cast<size_t>(expectedCount));
    CFDictionaryGetKeysAndValues(dict.get(), keys.data(), nullptr);
    EXPECT_EQ(LongOf(keys.front()), 1);
    EXPECT_EQ(LongOf(keys.back()), (kKeys - 1) / 6 * 6);

    // Lookups are by value: a double key finds the integer entry.
    const double real = 5.0;
    CFRef<CFNumberRef> realKey(CFNumberCreate(nullptr, kCFNumberDoubleType, &real));
    EXPECT_EQ(LongOf(CFDictionaryGetValue(dict.get(), realKey.get())), -5);
}

namespace {

int gReleases = 0;
void CountingRelease(CFAllocatorRef, const void *) {
    ++gReleases;
}
CFHashCode HashByTens(const void *key) {
    return CFHashCode(reinterpret_cast<intptr_t>(key) / 10);
}
Boolean EqualByTens(const void *a, const void *b) {
    return reinterpret_cast<intptr_t>(a) / 10 == reinterpret_cast<intptr_t>(b) / 10;
}
const void *Raw(intptr_t v) {
    return reinterpret_cast<const void *>(v);
}

} // namespace

TEST(Dictionary, CustomCallBacksAreCopiedAndUsed) {
    gReleases = 0;
    auto *keyCallBacks =
        new CFDictionaryKeyCallBacks{0, nullptr, CountingRelease, nullptr, EqualByTens, HashByTens};
    CFRef<CFMutableDictionaryRef> dict = NewDict(keyCallBacks);
    delete keyCallBacks; // the dictionary keeps its own copy
    CFDictionarySetValue(dict.get(), Raw(11), Num(1).get());
    CFDictionarySetValue(dict.get(), Raw(25), Num(2).get());
    CFDictionaryAddValue(dict.get(), Raw(19), Num(3).get()); // same tens as 11
    EXPECT_EQ(CFDictionaryGetCount(dict.get()), 2);
    EXPECT_EQ(LongOf(CFDictionaryGetValue(dict.get(), Raw(14))), 1);
    CFRef<CFDictionaryRef> copy(CFDictionaryCreateCopy(nullptr, dict.get()));
    EXPECT_EQ(LongOf(CFDictionaryGetValue(copy.get(), Raw(29))), 2);
    CFDictionaryRemoveValue(dict.get(), Raw(20));
    EXPECT_EQ(gReleases, 1);
    dict.Reset();
    copy.Reset();
    EXPECT_EQ(gReleases, 4);
}

TEST(Dictionary, ImmutableDictionariesAndCopies) {
    CFRef<CFNumberRef> one = Num(1), two = Num(2), three = Num(3);
    const void *keys[] = {CFSTR("k1"), CFSTR("k2"), CFSTR("k1")};
    const void *values[] = {one.get(), two.get(), three.get()};
    CFRef<CFDictionaryRef> fixed(CFDictionaryCreate(nullptr, keys, values, 3,
                                                    &kCFTypeDictionaryKeyCallBacks,
                                                    &kCFTypeDictionaryValueCallBacks));
    // A repeated key keeps its first place and takes the last value.
    EXPECT_EQ(Entries(fixed.get()), (Strings{"k1=3", "k2=2"}));

    auto *asMutable = const_cast<CFMutableDictionaryRef>(fixed.get());
    CFDictionarySetValue(asMutable, CFSTR("k3"), Num(3).get());
    CFDictionaryRemoveValue(asMutable, CFSTR("k2"));
    CFDictionaryRemoveAllValues(asMutable);
    EXPECT_EQ(Entries(fixed.get()), (Strings{"k1=3", "k2=2"}));

    EXPECT_EQ(CFRef<CFDictionaryRef>(CFDictionaryCreateCopy(nullptr, fixed.get())).get(),
              fixed.get());
    CFRef<CFMutableDictionaryRef> editable(CFDictionaryCreateMutableCopy(nullptr, 0, fixed.get()));
    CFDictionaryRemoveValue(editable.get(), CFSTR("k1"));
    CFDictionarySetValue(editable.get(), CFSTR("k1"), Num(3).get());
    EXPECT_EQ(Entries(editable.get()), (Strings{"k2=2", "k1=3"}));
    EXPECT_TRUE(CFEqual(editable.get(), fixed.get())); // order does not matter
    // Every entry of one found in the other is not enough: counts differ.
    CFDictionarySetValue(editable.get(), CFSTR("k3"), Num(3).get());
    EXPECT_FALSE(CFEqual(editable.get(), fixed.get()));
    EXPECT_FALSE(CFEqual(fixed.get(), editable.get()));
    CFDictionaryRemoveValue(editable.get(), CFSTR("k3"));
    CFDictionarySetValue(editable.get(), CFSTR("k1"), Num(4).get());
    EXPECT_FALSE(CFEqual(editable.get(), fixed.get()));
    CFRef<CFDictionaryRef> frozen(CFDictionaryCreateCopy(nullptr, editable.get()));
    EXPECT_EQ(Entries(frozen.get()), (Strings{"k2=2", "k1=4"}));
}

TEST(Dictionary, WrongTypesAndNullAreSafe) {
    auto notDict = reinterpret_cast<CFMutableDictionaryRef>(
        const_cast<void *>(static_cast<const void *>(CFSTR("not a dictionary"))));
    CFDictionarySetValue(notDict, CFSTR("a"), Num(1).get());
    EXPECT_EQ(CFDictionaryGetValue(notDict, CFSTR("a")), nullptr);
    EXPECT_EQ(CFDictionaryCreateCopy(nullptr, notDict), nullptr);
    EXPECT_EQ(CFDictionaryCreate(nullptr, nullptr, nullptr, 1, nullptr, nullptr), nullptr);

    CFRef<CFMutableDictionaryRef> dict = NewDict();
    CFDictionarySetValue(dict.get(), CFSTR("a"), Num(1).get());
    EXPECT_EQ(CFDictionaryGetValue(dict.get(), kCFBooleanTrue), nullptr);
    EXPECT_EQ(Entries(dict.get()), (Strings{"a=1"}));
}

TEST(Dictionary, DescriptionNestsInInsertionOrder) {
    CFRef<CFMutableDictionaryRef> dict = NewDict(), inner = NewDict();
    CFDictionarySetValue(dict.get(), CFSTR("zeta"), Num(1).get());
    CFDictionarySetValue(inner.get(), CFSTR("flag"), kCFBooleanTrue);
    const void *element = inner.get();
    CFRef<CFArrayRef> list(CFArrayCreate(nullptr, &element, 1, &kCFTypeArrayCallBacks));
    CFDictionarySetValue(dict.get(), CFSTR("alpha"), list.get());
    CFDictionarySetValue(dict.get(), CFSTR("none"), NewDict().get());
    EXPECT_EQ(Describe(dict.get()), "{\n    zeta = 1;\n    alpha = (\n        {\n"
                                    "            flag = true;\n        }\n    );\n"
                                    "    none = {};\n}");
}

TEST(Dictionary, ReleasingDeepNestingDoesNotRecurse) {
    // Far deeper than any document: recursion this deep would overflow the stack.
    constexpr int kDepth = 200000;
    CFRef<CFMutableDictionaryRef> root = NewDict();
    CFMutableDictionaryRef tip = root.get();
    for (int i = 0; i < kDepth; ++i) {
        CFRef<CFMutableDictionaryRef> child = NewDict();
        CFRef<CFMutableArrayRef> wrapper(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
        CFArrayAppendValue(wrapper.get(), child.get());
        CFDictionarySetValue(tip, CFSTR("next"), wrapper.get());
        tip = child.get();
    }
    CFRef<CFNumberRef> deepest = Num(7);
    CFDictionarySetValue(tip, CFSTR("leaf"), deepest.get());
    root.Reset();
    EXPECT_EQ(CFGetRetainCount(deepest.get()), 1);
}
