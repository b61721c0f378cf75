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
