// String comparison, search, replacement, case mapping, splitting and joining.
#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>

#include "platform/values/Holder.h"
#include "platform/strings/StringInternal.h"

#include <string>

using vt::CFRef;

namespace {

CFRef<CFMutableStringRef> Mutable(CFStringRef text) {
    return CFRef<CFMutableStringRef>(CFStringCreateMutableCopy(nullptr, 0, text));
}

std::string UTF8(CFStringRef string) {
    return vt::cf::StringToUTF8(string);
}

bool SameRange(CFRange a, CFRange b) {
    return a.location == b.location && a.length == b.length;
}

} // namespace

TEST(StringCompare, OrdersByUTF16CodeUnits) {
    // U+FF5E is below U+1F600 as a code point, but above its lead surrogate.
    EXPECT_EQ(CFStringCompare(CFSTR("\uff5e"), CFSTR("\U0001F600"), 0), kCFCompareGreaterThan);
    EXPECT_EQ(CFStringCompare(CFSTR("\U0001F600"), CFSTR("\uff5e"), 0), kCFCompareLessThan);
    EXPECT_EQ(CFStringCompare(CFSTR("\uff5e"), CFSTR("\U0001F600"), kCFCompareCaseInsensitive),
              kCFCompareGreaterThan);
    EXPECT_EQ(CFStringCompare(CFSTR("Zebra"), CFSTR("ant"), 0), kCFCompareLessThan);
    EXPECT_EQ(CFStringCompare(CFSTR("ab"), CFSTR("a"), 0), kCFCompareGreaterThan);
    EXPECT_EQ(CFStringCompare(CFSTR(""), CFSTR("a"), 0), kCFCompareLessThan);
    EXPECT_EQ(CFStringCompare(CFSTR("a\u00e9"), CFSTR("az"), 0), kCFCompareGreaterThan);
    EXPECT_EQ(CFStringCompare(CFSTR("az"), CFSTR("a\u00e9"), 0), kCFCompareLessThan);
    EXPECT_EQ(CFStringCompare(nullptr, nullptr, 0), kCFCompareEqualTo);
    EXPECT_EQ(CFStringCompareWithOptions(CFSTR("xxabc"), CFSTR("ABC"), CFRangeMake(2, 3),
                                         kCFCompareCaseInsensitive),
              kCFCompareEqualTo);
    EXPECT_EQ(CFStringCompareWithOptions(CFSTR("xxabc"), CFSTR("abc"), CFRangeMake(1, 3), 0),
              kCFCompareGreaterThan);
}

TEST(StringCompare, CaseInsensitiveAndNonliteralEquivalence) {
    EXPECT_EQ(CFStringCompare(CFSTR("HeLLo"), CFSTR("hello"), kCFCompareCaseInsensitive),
              kCFCompareEqualTo);
    EXPECT_EQ(CFStringCompare(CFSTR("a_"), CFSTR("A["), kCFCompareCaseInsensitive),
              kCFCompareGreaterThan);
    EXPECT_EQ(CFStringCompare(CFSTR("Stra\u00dfe"), CFSTR("STRASSE"), kCFCompareCaseInsensitive),
              kCFCompareEqualTo);
    EXPECT_EQ(CFStringCompare(CFSTR("\u00c9COLE"), CFSTR("\u00e9cole"), kCFCompareCaseInsensitive),
              kCFCompareEqualTo);
    EXPECT_EQ(CFStringCompare(CFSTR("\u212a"), CFSTR("k"), kCFCompareCaseInsensitive),
              kCFCompareEqualTo);

    EXPECT_NE(CFStringCompare(CFSTR("caf\u00e9"), CFSTR("cafe\u0301"), 0), kCFCompareEqualTo);
    EXPECT_NE(CFStringCompare(CFSTR("caf\u00e9"), CFSTR("cafe\u0301"), kCFCompareCaseInsensitive),
              kCFCompareEqualTo);
    EXPECT_EQ(CFStringCompare(CFSTR("caf\u00e9"), CFSTR("cafe\u0301"), kCFCompareNonliteral),
              kCFCompareEqualTo);
    EXPECT_EQ(CFStringCompare(CFSTR("CAF\u00c9"), CFSTR("cafe\u0301"),
                              kCFCompareNonliteral | kCFCompareCaseInsensitive),
              kCFCompareEqualTo);
    // Marks of different classes are equivalent in either order.
    EXPECT_EQ(CFStringCompare(CFSTR("a\u0323\u0301"), CFSTR("a\u0301\u0323"), kCFCompareNonliteral),
              kCFCompareEqualTo);
    EXPECT_EQ(CFStringCompare(CFSTR("\uac00"), CFSTR("\u1100\u1161"), kCFCompareNonliteral),
              kCFCompareEqualTo);
    EXPECT_EQ(CFStringCompare(CFSTR("caf\u00e9"), CFSTR("cafe\u0302"), kCFCompareNonliteral),
              kCFCompareLessThan);
}

TEST(StringCompare, FindHonoursDirectionAnchoringAndEquivalence) {
    CFStringRef text = CFSTR("abcabc");
    EXPECT_TRUE(SameRange(CFStringFind(text, CFSTR("bc"), 0), CFRangeMake(1, 2)));
    EXPECT_TRUE(SameRange(CFStringFind(text, CFSTR("bc"), kCFCompareBackwards), CFRangeMake(4, 2)));
    EXPECT_TRUE(SameRange(CFStringFind(text, CFSTR("bc"), kCFCompareAnchored),
                          CFRangeMake(kCFNotFound, 0)));
    EXPECT_TRUE(SameRange(CFStringFind(text, CFSTR("bc"), kCFCompareAnchored | kCFCompareBackwards),
                          CFRangeMake(4, 2)));
    EXPECT_TRUE(
        SameRange(CFStringFind(text, CFSTR("ABC"), kCFCompareCaseInsensitive | kCFCompareBackwards),
                  CFRangeMake(3, 3)));
    EXPECT_EQ(CFStringFind(text, CFSTR(""), 0).location, kCFNotFound);
    EXPECT_EQ(CFStringFind(text, CFSTR("abcabcd"), 0).location, kCFNotFound);

    CFRange found;
    EXPECT_TRUE(CFStringFindWithOptions(text, CFSTR("a"), CFRangeMake(1, 5), 0, &found));
    EXPECT_TRUE(SameRange(found, CFRangeMake(3, 1)));
    EXPECT_FALSE(CFStringFindWithOptions(text, CFSTR("a"), CFRangeMake(1, 2), 0, &found));
    EXPECT_FALSE(CFStringFindWithOptions(text, CFSTR("a"), CFRangeMake(4, 3), 0, &found));

    CFStringRef decomposed = CFSTR("cafe\u0301 and caf\u00e9");
    EXPECT_TRUE(SameRange(CFStringFind(decomposed, CFSTR("caf\u00e9"), kCFCompareNonliteral),
                          CFRangeMake(0, 5)));
    EXPECT_TRUE(SameRange(
        CFStringFind(decomposed, CFSTR("e\u0301"), kCFCompareNonliteral | kCFCompareBackwards),
        CFRangeMake(13, 1)));
    // "e" is only the start of "é", not a match of its own.
    EXPECT_EQ(CFStringFind(CFSTR("caf\u00e9"), CFSTR("e"), kCFCompareNonliteral).location,
              kCFNotFound);
    EXPECT_TRUE(SameRange(CFStringFind(CFSTR("die Gr\u00f6\u00dfe!"), CFSTR("GR\u00d6SSE"),
                                       kCFCompareCaseInsensitive),
                          CFRangeMake(4, 5)));
    EXPECT_TRUE(SameRange(
        CFStringFind(CFSTR("x\U0001F600y\U0001F600"), CFSTR("\U0001F600"), kCFCompareBackwards),
        CFRangeMake(4, 2)));

    EXPECT_TRUE(CFStringHasPrefix(text, CFSTR("abc")));
    EXPECT_FALSE(CFStringHasPrefix(text, CFSTR("bc")));
    EXPECT_FALSE(CFStringHasPrefix(text, CFSTR("")));
    EXPECT_TRUE(CFStringHasSuffix(text, CFSTR("cabc")));
    EXPECT_FALSE(CFStringHasSuffix(text, CFSTR("ab")));
    EXPECT_FALSE(CFStringHasSuffix(CFSTR("c"), CFSTR("abc")));
}

TEST(StringCompare, FindAndReplaceCountsAndFollowsDirection) {
    auto s = Mutable(CFSTR("aaaa"));
    EXPECT_EQ(CFStringFindAndReplace(s.get(), CFSTR("aa"), CFSTR("b"), CFRangeMake(0, 4), 0), 2);
    EXPECT_EQ(UTF8(s.get()), "bb");
    s = Mutable(CFSTR("aaa"));
    EXPECT_EQ(CFStringFindAndReplace(s.get(), CFSTR("aa"), CFSTR("b"), CFRangeMake(0, 3), 0), 1);
    EXPECT_EQ(UTF8(s.get()), "ba");
    s = Mutable(CFSTR("aaa"));
    EXPECT_EQ(CFStringFindAndReplace(s.get(), CFSTR("aa"), CFSTR("b"), CFRangeMake(0, 3),
                                     kCFCompareBackwards),
              1);
    EXPECT_EQ(UTF8(s.get()), "ab");
    s = Mutable(CFSTR("x.x.x.x"));
    EXPECT_EQ(
        CFStringFindAndReplace(s.get(), CFSTR("."), CFSTR("\u00e9\u00e9"), CFRangeMake(1, 3), 0),
        2);
    EXPECT_EQ(UTF8(s.get()), "x\xC3\xA9\xC3\xA9x\xC3\xA9\xC3\xA9x.x");
    s = Mutable(CFSTR("One one ONE"));
    EXPECT_EQ(CFStringFindAndReplace(s.get(), CFSTR("one"), s.get(), CFRangeMake(0, 11),
                                     kCFCompareCaseInsensitive),
              3);
    EXPECT_EQ(UTF8(s.get()), "One one ONE One one ONE One one ONE");
    s = Mutable(CFSTR("none"));
    EXPECT_EQ(CFStringFindAndReplace(s.get(), CFSTR("x"), CFSTR("y"), CFRangeMake(0, 4), 0), 0);
    EXPECT_EQ(CFStringFindAndReplace(s.get(), CFSTR("n"), CFSTR("y"), CFRangeMake(0, 5), 0), 0);
    EXPECT_EQ(UTF8(s.get()), "none");
    EXPECT_EQ(CFStringFindAndReplace(const_cast<CFMutableStringRef>(CFSTR("none")), CFSTR("n"),
                                     CFSTR("y"), CFRangeMake(0, 4), 0),
              0);
}

TEST(StringCompare, CaseMapping) {
    auto s = Mutable(CFSTR("Hello World"));
    CFStringUppercase(s.get(), nullptr);
    EXPECT_EQ(UTF8(s.get()), "HELLO WORLD");
    CFStringLowercase(s.get(), nullptr);
    EXPECT_EQ(UTF8(s.get()), "hello world");
    s = Mutable(CFSTR("\u00c9COLE \U00010400"));
    CFStringLowercase(s.get(), nullptr);
    EXPECT_EQ(UTF8(s.get()), "\xC3\xA9"
                             "cole \xF0\x90\x90\xA8");
    CFStringUppercase(s.get(), nullptr);
    EXPECT_EQ(UTF8(s.get()), "\xC3\x89"
                             "COLE \xF0\x90\x90\x80");
}

TEST(StringCompare, CaseMappingIsFullAndContextSensitive) {
    struct Case {
        const char *text;
        bool upper;
        CFStringRef locale;
        const char *expected;
    };
    const CFStringRef tr = CFSTR("tr_TR");
    const Case cases[] = {
        // One character may become several.
        {"stra\u00dfe", true, nullptr, "STRASSE"},
        {"\ufb01ne \u0149", true, nullptr, "FINE \u02bcN"},
        {"\u0390", true, nullptr, "\u0399\u0308\u0301"},
        // Root rules keep the dot of capital I with dot as a combining mark.
        {"\u0130stanbul", false, nullptr, "i\u0307stanbul"},
        // Capital sigma lowercases to the final form at the end of a word.
        {"\u039f\u0394\u039f\u03a3 \u03a3\u039f\u03a6\u039f\u03a3", false, nullptr,
         "\u03bf\u03b4\u03bf\u03c2 \u03c3\u03bf\u03c6\u03bf\u03c2"},
        // Turkish dotted and dotless i, even in an all-ASCII string.
        {"istanbul", true, tr, "\u0130STANBUL"},
        {"DIYARBAKIR", false, CFSTR("tr"), "d\u0131yarbak\u0131r"},
        {"\u0130stanbul", false, tr, "istanbul"},
        {"istanbul", true, CFSTR("az-AZ"), "\u0130STANBUL"},
        // Anything but a locale identifier string means the root rules.
        {"istanbul", true, CFSTR("de_DE"), "ISTANBUL"},
        {"istanbul", true, CFSTR("t\u00fcr"), "ISTANBUL"},
        {"istanbul", true, static_cast<CFStringRef>(static_cast<const void *>(kCFBooleanTrue)),
         "ISTANBUL"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        CFRef<CFStringRef> text(CFStringCreateWithCString(nullptr, c.text, kCFStringEncodingUTF8));
        auto s = Mutable(text.get());
        if (c.upper)
            CFStringUppercase(s.get(), c.locale);
        else
            CFStringLowercase(s.get(), c.locale);
        EXPECT_EQ(UTF8(s.get()), c.expected);
    }

    // An unpaired surrogate passes through; the letters around it still map.
    const UniChar units[] = {'a', 0xD800, 0x00DF};
    CFRef<CFMutableStringRef> lone(CFStringCreateMutable(nullptr, 0));
    CFStringAppendCharacters(lone.get(), units, 3);
    CFStringUppercase(lone.get(), nullptr);
    ASSERT_EQ(CFStringGetLength(lone.get()), 4);
    const UniChar expected[] = {'A', 0xD800, 'S', 'S'};
    for (CFIndex i = 0; i < 4; ++i)
        EXPECT_EQ(CFStringGetCharacterAtIndex(lone.get(), i), expected[i]);
}

TEST(StringCompare, SeparateAndCombine) {
    CFRef<CFArrayRef> parts(
        CFStringCreateArrayBySeparatingStrings(nullptr, CFSTR("a, b, , \u00e9"), CFSTR(", ")));
    ASSERT_TRUE(parts);
    ASSERT_EQ(CFArrayGetCount(parts.get()), 4);
    EXPECT_TRUE(CFEqual(CFArrayGetValueAtIndex(parts.get(), 2), CFSTR("")));
    EXPECT_TRUE(CFEqual(CFArrayGetValueAtIndex(parts.get(), 3), CFSTR("\u00e9")));
    CFRef<CFStringRef> joined(CFStringCreateByCombiningStrings(nullptr, parts.get(), CFSTR("+")));
    EXPECT_EQ(UTF8(joined.get()), "a+b++\xC3\xA9");

    CFRef<CFArrayRef> whole(
        CFStringCreateArrayBySeparatingStrings(nullptr, CFSTR("abc"), CFSTR(",")));
    ASSERT_EQ(CFArrayGetCount(whole.get()), 1);
    EXPECT_TRUE(CFEqual(CFArrayGetValueAtIndex(whole.get(), 0), CFSTR("abc")));
    CFRef<CFArrayRef> empty(CFStringCreateArrayBySeparatingStrings(nullptr, CFSTR(""), CFSTR(",")));
    ASSERT_EQ(CFArrayGetCount(empty.get()), 1);

    const void *mixed[] = {CFSTR("a"), kCFBooleanTrue};
    CFRef<CFArrayRef> notStrings(CFArrayCreate(nullptr, mixed, 2, &kCFTypeArrayCallBacks));
    EXPECT_EQ(CFStringCreateByCombiningStrings(nullptr, notStrings.get(), CFSTR(",")), nullptr);
    CFRef<CFArrayRef> none(CFArrayCreate(nullptr, nullptr, 0, &kCFTypeArrayCallBacks));
    CFRef<CFStringRef> nothing(CFStringCreateByCombiningStrings(nullptr, none.get(), CFSTR(",")));
    EXPECT_EQ(CFStringGetLength(nothing.get()), 0);
}
