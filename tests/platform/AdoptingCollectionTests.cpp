// Containers that take over the references they are given: no extra retain
// on the children, the dropped half of a repeated key released, and the
// mutability asked for.
#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>

#include "platform/values/CollectionInternal.h"
#include "platform/values/Holder.h"

using vt::CFRef;

namespace {

CFStringRef Text(const char *text) {
    return CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
}

} // namespace

TEST(AdoptingCollections, ArraysTakeTheirElementsAsGiven) {
    for (bool isMutable : {false, true}) {
        SCOPED_TRACE(isMutable);
        CFStringRef a = Text("a"), b = Text("b");
        const void *values[] = {a, b};
        CFRef<CFArrayRef> array(vt::cf::ArrayCreateAdopting(nullptr, values, 2, isMutable));
        ASSERT_TRUE(array);
        EXPECT_EQ(CFGetRetainCount(a), 1);
        EXPECT_EQ(CFArrayGetCount(array.get()), 2);
        EXPECT_EQ(CFArrayGetValueAtIndex(array.get(), 1), b);
        CFArrayAppendValue((CFMutableArrayRef)array.get(), kCFBooleanTrue);
        EXPECT_EQ(CFArrayGetCount(array.get()), isMutable ? 3 : 2);
        CFRef<CFArrayRef> empty(vt::cf::ArrayCreateAdopting(nullptr, nullptr, 0, isMutable));
        EXPECT_EQ(CFArrayGetCount(empty.get()), 0);
    }
    // A refused count adopts nothing.
    CFRef<CFStringRef> kept(Text("kept"));
    const void *one[] = {kept.get()};
    EXPECT_EQ(vt::cf::ArrayCreateAdopting(nullptr, one, -1, false), nullptr);
    EXPECT_EQ(CFGetRetainCount(kept.get()), 1);
}

TEST(AdoptingCollections, DictionariesKeepTheFirstPlaceAndTheLastValue) {
    for (bool isMutable : {false, true}) {
        SCOPED_TRACE(isMutable);
        CFRef<CFStringRef> dropped(Text("first"));
        CFRetain(dropped.get()); // one reference for the dictionary
        CFStringRef k1 = Text("k"), k2 = Text("other"), k3 = Text("k"), last = Text("last");
        CFStringRef middle = Text("middle");
        const void *items[] = {k1, dropped.get(), k2, middle, k3, last};
        CFRef<CFDictionaryRef> dict(vt::cf::DictionaryCreateAdopting(nullptr, items, 3, isMutable));
        ASSERT_TRUE(dict);
        EXPECT_EQ(CFDictionaryGetCount(dict.get()), 2);
        EXPECT_EQ(CFGetRetainCount(dropped.get()), 1); // released by the dictionary
        EXPECT_EQ(CFDictionaryGetValue(dict.get(), CFSTR("k")), last);
        EXPECT_EQ(CFGetRetainCount(last), 1);
        const void *keys[2];
        CFDictionaryGetKeysAndValues(dict.get(), keys, nullptr);
        EXPECT_EQ(keys[0], k1); // the first key object keeps its place
        EXPECT_EQ(keys[1], k2);
        CFDictionarySetValue((CFMutableDictionaryRef)dict.get(), CFSTR("new"), kCFBooleanTrue);
        EXPECT_EQ(CFDictionaryGetCount(dict.get()), isMutable ? 3 : 2);
    }
}

// A mutable container made whole keeps its elements in its own allocation
// until it first grows; every edit after that must move, keep and free them
// correctly (the sanitizers catch a wrong free).
TEST(AdoptingCollections, MutableOnesGrowShrinkAndEmptyAfterAdopting) {
    CFRef<CFStringRef> extra(Text("extra"));
    const void *values[] = {Text("a"), Text("b")};
    CFRef<CFArrayRef> held(vt::cf::ArrayCreateAdopting(nullptr, values, 2, true));
    ASSERT_TRUE(held);
    auto array = (CFMutableArrayRef)held.get();
    for (int i = 0; i < 20; ++i)
        CFArrayAppendValue(array, extra.get());
    EXPECT_EQ(CFArrayGetCount(array), 22);
    EXPECT_TRUE(CFEqual(CFArrayGetValueAtIndex(array, 1), CFSTR("b")));
    CFArrayRemoveAllValues(array);
    EXPECT_EQ(CFArrayGetCount(array), 0);
    CFArrayAppendValue(array, extra.get());
    EXPECT_EQ(CFGetRetainCount(extra.get()), 2);

    // Emptied while still inline, then filled again.
    const void *pair[] = {Text("c"), Text("d")};
    CFRef<CFArrayRef> inlineHeld(vt::cf::ArrayCreateAdopting(nullptr, pair, 2, true));
    auto inlineArray = (CFMutableArrayRef)inlineHeld.get();
    CFArrayRemoveAllValues(inlineArray);
    CFArrayInsertValueAtIndex(inlineArray, 0, extra.get());
    EXPECT_EQ(CFArrayGetCount(inlineArray), 1);

    const void *items[] = {Text("k1"), Text("v1"), Text("k2"), Text("v2")};
    CFRef<CFDictionaryRef> dictHeld(vt::cf::DictionaryCreateAdopting(nullptr, items, 2, true));
    ASSERT_TRUE(dictHeld);
    auto dict = (CFMutableDictionaryRef)dictHeld.get();
    CFDictionaryRemoveValue(dict, CFSTR("k1"));
    for (int i = 0; i < 40; ++i) {
        CFRef<CFStringRef> key(CFStringCreateWithFormat(nullptr, nullptr, CFSTR("key %d"), i));
        CFDictionarySetValue(dict, key.get(), extra.get());
    }
    EXPECT_EQ(CFDictionaryGetCount(dict), 41);
    EXPECT_TRUE(CFEqual(CFDictionaryGetValue(dict, CFSTR("k2")), CFSTR("v2")));
    CFDictionaryRemoveAllValues(dict);
    CFDictionarySetValue(dict, CFSTR("again"), extra.get());
    EXPECT_EQ(CFDictionaryGetCount(dict), 1);
}
