// Strings: storage, encodings, constants, copies, editing and argument safety.
#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>

#include "platform/values/Holder.h"
#include "platform/strings/StringInternal.h"

#include <string>
#include <vector>

using vt::CFRef;

VT_CONSTANT_STRING(kVTTestConstant, "Größe");

namespace {

CFRef<CFStringRef> Make(const char *utf8) {
    return CFRef<CFStringRef>(CFStringCreateWithCString(nullptr, utf8, kCFStringEncodingUTF8));
}

CFRef<CFStringRef> FromBytes(std::vector<uint8_t> bytes, CFStringEncoding encoding) {
    return CFRef<CFStringRef>(
        CFStringCreateWithBytes(nullptr, bytes.data(), CFIndex(bytes.size()), encoding, false));
}

std::u16string Units(CFStringRef string) {
    std::u16string units(size_t(CFStringGetLength(string)), u'\0');
    std::vector<UniChar> buffer(units.size());
    CFStringGetCharacters(string, CFRangeMake(0, CFIndex(units.size())), buffer.data());
    std::copy(buffer.begin(), buffer.end(), units.begin());
    return units;
}

std::string UTF8(CFStringRef string) {
    return vt::cf::StringToUTF8(string);
}

} // namespace

TEST(String, LengthsAndIndexesCountUTF16Units) {
    auto text = Make("a\xF0\x9F\x98\x80"
                     "b\xC3\xA9");
    ASSERT_TRUE(text);
    EXPECT_EQ(CFStringGetLength(text.get()), 5);
    EXPECT_EQ(Units(text.get()), u"a\U0001F600b\u00e9");
    EXPECT_EQ(CFStringGetCharacterAtIndex(text.get(), 1), 0xD83D);
    EXPECT_EQ(CFStringGetCharacterAtIndex(text.get(), 2), 0xDE00);
    EXPECT_EQ(CFStringGetCharacterAtIndex(text.get(), 5), 0);
    EXPECT_EQ(CFStringGetCharacterAtIndex(text.get(), -1), 0);
    UniChar two[2] = {0, 0};
    CFStringGetCharacters(text.get(), CFRangeMake(3, 2), two);
    EXPECT_EQ(two[0], u'b');
    EXPECT_EQ(two[1], 0xE9);
    CFStringGetCharacters(text.get(), CFRangeMake(4, 2), two); // out of range: untouched
    EXPECT_EQ(two[0], u'b');
    EXPECT_EQ(CFStringGetLength(CFSTR("Gr\u00f6\u00dfe \U0001F600")), 8);
}

TEST(String, EncodingsRoundTripThroughExternalRepresentation) {
    auto text = Make("A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    const CFStringEncoding encodings[] = {
        kCFStringEncodingUTF8,    kCFStringEncodingUTF16, kCFStringEncodingUTF16BE,
        kCFStringEncodingUTF16LE, kCFStringEncodingUTF32, kCFStringEncodingUTF32BE,
        kCFStringEncodingUTF32LE,
    };
    for (CFStringEncoding encoding : encodings) {
        CFRef<CFDataRef> data(
            CFStringCreateExternalRepresentation(nullptr, text.get(), encoding, 0));
        ASSERT_TRUE(data) << encoding;
        CFRef<CFStringRef> back(
            CFStringCreateFromExternalRepresentation(nullptr, data.get(), encoding));
        EXPECT_TRUE(CFEqual(back.get(), text.get())) << encoding;
    }
    CFRef<CFDataRef> utf16(
        CFStringCreateExternalRepresentation(nullptr, CFSTR("\u00e9"), kCFStringEncodingUTF16, 0));
    ASSERT_EQ(CFDataGetLength(utf16.get()), 4);
    EXPECT_EQ(CFDataGetBytePtr(utf16.get())[0], 0xFF); // byte order mark, host order
    EXPECT_EQ(CFDataGetBytePtr(utf16.get())[2], 0xE9);

    EXPECT_EQ(Units(FromBytes({0xFE, 0xFF, 0x00, 0xE9}, kCFStringEncodingUTF16).get()), u"\u00e9");
    EXPECT_EQ(Units(FromBytes({0xFF, 0xFE, 0xE9, 0x00}, kCFStringEncodingUTF16).get()), u"\u00e9");
    EXPECT_EQ(Units(FromBytes({0xE9, 0x00}, kCFStringEncodingUTF16).get()), u"\u00e9");
    EXPECT_EQ(Units(FromBytes({0xFE, 0xFF, 0x00, 0x41}, kCFStringEncodingUTF16BE).get()),
              u"\ufeffA");
    EXPECT_EQ(Units(FromBytes({0, 0, 0xFE, 0xFF, 0, 1, 0xF6, 0}, kCFStringEncodingUTF32).get()),
              u"\U0001F600");
    EXPECT_EQ(Units(FromBytes({0xE9, 0x41}, kCFStringEncodingISOLatin1).get()), u"\u00e9A");
    EXPECT_EQ(Units(FromBytes({0xEF, 0xBB, 0xBF, 0x41}, kCFStringEncodingUTF8).get()), u"A");
    EXPECT_EQ(Units(FromBytes({0x41, 0x00, 0x42}, kCFStringEncodingASCII).get()),
              std::u16string(u"A\0B", 3));
}

TEST(String, InvalidOrUnsupportedBytesAreRejected) {
    const std::vector<std::vector<uint8_t>> badUTF8 = {
        {0xFF},
        {0x80},
        {0xC0, 0xAF},
        {0xC1, 0xBF},
        {0xE0, 0x80, 0xAF},
        {0xED, 0xA0, 0x80},
        {0xE2, 0x82},
        {0xF0, 0x8F, 0xBF, 0xBF},
        {0xF4, 0x90, 0x80, 0x80},
        {0x41, 0xC3},
    };
    for (const auto &bytes : badUTF8)
        EXPECT_FALSE(FromBytes(bytes, kCFStringEncodingUTF8));
    EXPECT_FALSE(FromBytes({0x41, 0x80}, kCFStringEncodingASCII));
    EXPECT_FALSE(FromBytes({0x41}, kCFStringEncodingUTF16LE));
    EXPECT_FALSE(FromBytes({0, 0x11, 0, 0}, kCFStringEncodingUTF32BE));
    EXPECT_FALSE(FromBytes({0, 0, 0xD8, 0}, kCFStringEncodingUTF32BE));
    EXPECT_FALSE(FromBytes({0x41}, kCFStringEncodingMacRoman));
    EXPECT_FALSE(FromBytes({0x41}, 0x12345));
    const UInt8 byte = 'a';
    EXPECT_EQ(CFStringCreateWithBytes(nullptr, &byte, -1, kCFStringEncodingUTF8, false), nullptr);
    EXPECT_EQ(CFStringCreateWithBytes(nullptr, nullptr, 3, kCFStringEncodingUTF8, false), nullptr);
    EXPECT_EQ(CFStringCreateWithCString(nullptr, nullptr, kCFStringEncodingUTF8), nullptr);
    EXPECT_EQ(CFStringCreateWithCString(nullptr, "\xC3", kCFStringEncodingUTF8), nullptr);
    EXPECT_EQ(CFStringCreateWithCharacters(nullptr, nullptr, 2), nullptr);
    EXPECT_EQ(CFStringGetLength(FromBytes({}, kCFStringEncodingUTF8).get()), 0);
}

TEST(String, GetBytesStopsOrSubstitutesAndMeasures) {
    auto text = Make("a\xC3\xA9\xF0\x9F\x98\x80"
                     "b"); // a é 😀 b: 5 units
    CFRange all = CFRangeMake(0, 5);
    UInt8 buffer[16] = {};
    CFIndex used = -1;
    EXPECT_EQ(
        CFStringGetBytes(text.get(), all, kCFStringEncodingASCII, 0, false, buffer, 16, &used), 1);
    EXPECT_EQ(used, 1);
    EXPECT_EQ(
        CFStringGetBytes(text.get(), all, kCFStringEncodingASCII, '?', false, buffer, 16, &used),
        5);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer), size_t(used)), "a???b");
    EXPECT_EQ(CFStringGetBytes(text.get(), all, kCFStringEncodingISOLatin1, '?', false, buffer, 16,
                               &used),
              5);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer), size_t(used)), "a\xE9??b");
    EXPECT_EQ(CFStringGetBytes(text.get(), all, kCFStringEncodingUTF8, 0, false, nullptr, 0, &used),
              5);
    EXPECT_EQ(used, 8);
    // A character that does not fit is left out whole.
    EXPECT_EQ(CFStringGetBytes(text.get(), all, kCFStringEncodingUTF8, 0, false, buffer, 5, &used),
              2);
    EXPECT_EQ(used, 3);
    EXPECT_EQ(CFStringGetBytes(text.get(), all, kCFStringEncodingUTF16, 0, true, nullptr, 0, &used),
              5);
    EXPECT_EQ(used, 12);
    EXPECT_EQ(
        CFStringGetBytes(text.get(), all, kCFStringEncodingUTF32BE, 0, false, nullptr, 0, &used),
        5);
    EXPECT_EQ(used, 16);
    EXPECT_EQ(CFStringGetBytes(text.get(), CFRangeMake(3, 5), kCFStringEncodingUTF8, 0, false,
                               buffer, 16, &used),
              0);
    EXPECT_EQ(used, 0);

    const UniChar lone[] = {'x', 0xD800, 'y'};
    CFRef<CFStringRef> broken(CFStringCreateWithCharacters(nullptr, lone, 3));
    EXPECT_EQ(CFStringGetBytes(broken.get(), CFRangeMake(0, 3), kCFStringEncodingUTF8, 0, false,
                               buffer, 16, &used),
              1);
    EXPECT_EQ(CFStringGetBytes(broken.get(), CFRangeMake(0, 3), kCFStringEncodingUTF8, '?', false,
                               buffer, 16, &used),
              3);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer), size_t(used)), "x?y");
    EXPECT_EQ(CFStringCreateExternalRepresentation(nullptr, broken.get(), kCFStringEncodingUTF8, 0),
              nullptr);
    EXPECT_EQ(vt::cf::StringToUTF8(broken.get()), "x\xEF\xBF\xBDy");

    EXPECT_EQ(CFStringGetMaximumSizeForEncoding(10, kCFStringEncodingUTF8), 30);
    EXPECT_EQ(CFStringGetMaximumSizeForEncoding(10, kCFStringEncodingUTF16), 20);
    EXPECT_EQ(CFStringGetMaximumSizeForEncoding(10, kCFStringEncodingMacRoman), kCFNotFound);
}

TEST(String, CStringsAndPointers) {
    auto ascii = Make("plain");
    auto accented = Make("caf\xC3\xA9");
    char buffer[8];
    EXPECT_TRUE(CFStringGetCString(accented.get(), buffer, 6, kCFStringEncodingUTF8));
    EXPECT_STREQ(buffer, "caf\xC3\xA9");
    EXPECT_FALSE(CFStringGetCString(accented.get(), buffer, 5, kCFStringEncodingUTF8));
    EXPECT_FALSE(CFStringGetCString(accented.get(), buffer, 8, kCFStringEncodingASCII));
    EXPECT_TRUE(CFStringGetCString(accented.get(), buffer, 8, kCFStringEncodingISOLatin1));
    EXPECT_STREQ(buffer, "caf\xE9");

    ASSERT_NE(CFStringGetCStringPtr(ascii.get(), kCFStringEncodingUTF8), nullptr);
    EXPECT_STREQ(CFStringGetCStringPtr(ascii.get(), kCFStringEncodingASCII), "plain");
    EXPECT_EQ(CFStringGetCStringPtr(accented.get(), kCFStringEncodingUTF8), nullptr);
    EXPECT_STREQ(CFStringGetCStringPtr(CFSTR("Gr\u00f6\u00dfe"), kCFStringEncodingUTF8),
                 "Gr\u00f6\u00dfe");
    EXPECT_EQ(CFStringGetCStringPtr(CFSTR("Gr\u00f6\u00dfe"), kCFStringEncodingASCII), nullptr);
    CFRef<CFMutableStringRef> mutableText(CFStringCreateMutableCopy(nullptr, 0, ascii.get()));
    CFStringAppendCString(mutableText.get(), "!", kCFStringEncodingASCII);
    EXPECT_STREQ(CFStringGetCStringPtr(mutableText.get(), kCFStringEncodingUTF8), "plain!");

    char path[16];
    EXPECT_EQ(CFStringGetMaximumSizeOfFileSystemRepresentation(accented.get()), 13);
    EXPECT_TRUE(CFStringGetFileSystemRepresentation(accented.get(), path, sizeof path));
    EXPECT_FALSE(CFStringGetFileSystemRepresentation(accented.get(), path, 5));
    CFRef<CFStringRef> back(CFStringCreateWithFileSystemRepresentation(nullptr, "caf\xC3\xA9"));
    EXPECT_TRUE(CFEqual(back.get(), accented.get()));
}

TEST(String, StorageDoesNotChangeEqualityOrHash) {
    const UniChar wideASCII[] = {'K', 'i', 'n', 'd'};
    CFRef<CFStringRef> fromUnits(CFStringCreateWithCharacters(nullptr, wideASCII, 4));
    CFRef<CFMutableStringRef> edited(CFStringCreateMutable(nullptr, 0));
    CFStringAppend(edited.get(), CFSTR("\u00e9Kind"));
    CFStringDelete(edited.get(), CFRangeMake(0, 1)); // UTF-16 storage, ASCII text
    auto fromText = Make("Kind");
    CFStringRef kinds[] = {CFSTR("Kind"), fromText.get(), fromUnits.get(), edited.get(),
                           __CFStringMakeConstantString("Kind")};
    for (CFStringRef other : kinds) {
        EXPECT_TRUE(CFEqual(kinds[0], other));
        EXPECT_EQ(CFHash(kinds[0]), CFHash(other));
        EXPECT_EQ(CFStringCompare(kinds[0], other, 0), kCFCompareEqualTo);
    }
    auto dynamic = Make("Gr\xC3\xB6\xC3\x9F"
                        "e");
    EXPECT_TRUE(CFEqual(CFSTR("Gr\u00f6\u00dfe"), dynamic.get()));
    EXPECT_TRUE(CFEqual(kVTTestConstant, dynamic.get()));
    EXPECT_EQ(CFHash(CFSTR("Gr\u00f6\u00dfe")), CFHash(dynamic.get()));
    EXPECT_FALSE(CFEqual(CFSTR("Kind"), CFSTR("Kinds")));
    EXPECT_NE(CFHash(CFSTR("Kind")), CFHash(CFSTR("kind")));
    // Every length up to past two steps of eight, in both storages and from
    // bytes alone.
    std::string text = "abcdefghijklmnopqrstu";
    for (size_t n = 0; n <= text.size(); ++n) {
        auto narrow = Make(text.substr(0, n).c_str());
        CFRef<CFMutableStringRef> wide(CFStringCreateMutable(nullptr, 0));
        CFStringAppend(wide.get(), CFSTR("\u00e9"));
        CFStringAppend(wide.get(), narrow.get());
        CFStringDelete(wide.get(), CFRangeMake(0, 1));
        EXPECT_EQ(CFHash(narrow.get()), CFHash(wide.get())) << n;
        EXPECT_EQ(CFHash(narrow.get()), vt::cf::StringHashASCII(text.data(), n)) << n;
    }
    EXPECT_TRUE(vt::cf::StringIsASCII(edited.get()));
    EXPECT_FALSE(vt::cf::StringIsASCII(dynamic.get()));
}

TEST(String, ConstantStringsAreInternedAndImmortal) {
    CFStringRef a = __CFStringMakeConstantString("Interned");
    CFStringRef b = __CFStringMakeConstantString("Interned");
    EXPECT_EQ(a, b);
    EXPECT_NE(a, __CFStringMakeConstantString("Other"));
    EXPECT_GT(CFGetRetainCount(a), 1000000);
    CFRelease(a);
    CFRelease(a);
    EXPECT_EQ(CFStringGetLength(a), 8);
    CFStringRef accented = __CFStringMakeConstantString("\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(Units(accented), u"\u00e9t\u00e9");
    EXPECT_EQ(Units(__CFStringMakeConstantString("\xE9t\xE9")), u"\u00e9t\u00e9"); // not UTF-8
    EXPECT_EQ(__CFStringMakeConstantString(nullptr), nullptr);

    CFStringRef constant = CFSTR("\u00e9t\u00e9 \U0001F600");
    EXPECT_EQ(CFGetTypeID(constant), CFStringGetTypeID());
    EXPECT_EQ(Units(constant), u"\u00e9t\u00e9 \U0001F600");
    EXPECT_EQ(CFStringGetCharacterAtIndex(constant, 5), 0xDE00);
    CFRef<CFStringRef> copy(CFStringCreateCopy(nullptr, constant));
    EXPECT_EQ(copy.get(), constant);
    CFRef<CFStringRef> description(CFCopyDescription(constant));
    EXPECT_TRUE(CFEqual(description.get(), constant));
    EXPECT_EQ(CFStringGetLength(kVTTestConstant), 5);
}

TEST(String, CopiesShareImmutableStringsAndSnapshotMutableOnes) {
    auto text = Make("snapshot");
    CFRef<CFStringRef> same(CFStringCreateCopy(nullptr, text.get()));
    EXPECT_EQ(same.get(), text.get());
    EXPECT_EQ(CFGetRetainCount(text.get()), 2);
    CFRef<CFStringRef> whole(CFStringCreateWithSubstring(nullptr, text.get(), CFRangeMake(0, 8)));
    EXPECT_EQ(whole.get(), text.get());
    CFRef<CFStringRef> part(CFStringCreateWithSubstring(nullptr, text.get(), CFRangeMake(4, 4)));
    EXPECT_EQ(UTF8(part.get()), "shot");
    EXPECT_EQ(CFStringCreateWithSubstring(nullptr, text.get(), CFRangeMake(5, 4)), nullptr);
    EXPECT_EQ(CFStringCreateWithSubstring(nullptr, text.get(), CFRangeMake(-1, 1)), nullptr);

    CFRef<CFMutableStringRef> editable(CFStringCreateMutableCopy(nullptr, 0, text.get()));
    CFRef<CFStringRef> frozen(CFStringCreateCopy(nullptr, editable.get()));
    EXPECT_NE(frozen.get(), static_cast<CFStringRef>(editable.get()));
    CFStringAppend(editable.get(), CFSTR(" more"));
    CFStringAppend(const_cast<CFMutableStringRef>(frozen.get()), CFSTR(" more"));
    EXPECT_EQ(UTF8(frozen.get()), "snapshot");
    EXPECT_EQ(UTF8(editable.get()), "snapshot more");
    CFRef<CFStringRef> description(CFCopyDescription(editable.get()));
    EXPECT_EQ(UTF8(description.get()), "snapshot more");
    EXPECT_EQ(
        CFGetAllocator(CFRef<CFStringRef>(CFStringCreateMutable(kCFAllocatorMalloc, 0)).get()),
        kCFAllocatorMalloc);
}

TEST(String, MutableEditing) {
    CFRef<CFMutableStringRef> s(CFStringCreateMutable(nullptr, 0));
    CFStringAppend(s.get(), CFSTR("hello"));
    CFStringAppendCString(s.get(), " w\xC3\xB6rld", kCFStringEncodingUTF8);
    CFStringAppendCString(s.get(), "\xFF", kCFStringEncodingUTF8); // invalid: ignored
    EXPECT_EQ(UTF8(s.get()), "hello w\xC3\xB6rld");
    const UniChar smile[] = {0xD83D, 0xDE00};
    CFStringAppendCharacters(s.get(), smile, 2);
    CFStringInsert(s.get(), 0, CFSTR(">"));
    CFStringInsert(s.get(), 100, CFSTR("ignored"));
    EXPECT_EQ(Units(s.get()), u">hello w\u00f6rld\U0001F600");
    CFStringDelete(s.get(), CFRangeMake(1, 6));
    CFStringDelete(s.get(), CFRangeMake(3, 100));
    EXPECT_EQ(Units(s.get()), u">w\u00f6rld\U0001F600");
    CFStringReplace(s.get(), CFRangeMake(2, 1), CFSTR("o"));
    EXPECT_EQ(Units(s.get()), u">world\U0001F600");
    CFStringAppend(s.get(), s.get());
    EXPECT_EQ(Units(s.get()), u">world\U0001F600>world\U0001F600");
    CFStringReplaceAll(s.get(), CFSTR("ab"));
    CFStringInsert(s.get(), 1, s.get());
    EXPECT_EQ(UTF8(s.get()), "aabb");

    CFRef<CFMutableStringRef> grown(CFStringCreateMutable(nullptr, 0));
    std::string expected;
    for (int i = 0; i < 500; ++i) {
        CFStringAppendCString(grown.get(), "x", kCFStringEncodingASCII);
        expected += 'x';
        if (i == 300) {
            CFStringAppend(grown.get(), CFSTR("\u00e9"));
            expected += "\xC3\xA9";
        }
    }
    EXPECT_EQ(UTF8(grown.get()), expected);
    EXPECT_EQ(CFStringGetLength(grown.get()), 501);
}

TEST(String, EditingImmutableStringsDoesNothing) {
    auto text = Make("fixed");
    auto target = const_cast<CFMutableStringRef>(text.get());
    CFStringAppend(target, CFSTR("x"));
    CFStringAppendCString(target, "x", kCFStringEncodingUTF8);
    CFStringInsert(target, 0, CFSTR("x"));
    CFStringDelete(target, CFRangeMake(0, 1));
    CFStringReplaceAll(target, CFSTR("x"));
    CFStringAppendFormat(target, nullptr, CFSTR("%d"), 1);
    CFStringUppercase(target, nullptr);
    EXPECT_EQ(UTF8(text.get()), "fixed");
    auto constant = const_cast<CFMutableStringRef>(CFSTR("constant"));
    CFStringAppend(constant, CFSTR("x"));
    CFStringLowercase(constant, nullptr);
    EXPECT_EQ(UTF8(constant), "constant");
}

TEST(String, NullAndWrongTypeArgumentsAreSafe) {
    CFIndex one = 1;
    CFRef<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberCFIndexType, &one));
    const CFTypeRef wrongs[] = {nullptr, kCFBooleanTrue, number.get()};
    for (CFTypeRef wrong : wrongs) {
        auto str = static_cast<CFStringRef>(wrong);
        auto mut = static_cast<CFMutableStringRef>(const_cast<void *>(wrong));
        char buffer[4] = "abc";
        CFIndex used = 7;
        EXPECT_EQ(CFStringGetLength(str), 0);
        EXPECT_EQ(CFStringGetCharacterAtIndex(str, 0), 0);
        EXPECT_FALSE(CFStringGetCString(str, buffer, 4, kCFStringEncodingUTF8));
        EXPECT_EQ(CFStringGetCStringPtr(str, kCFStringEncodingUTF8), nullptr);
        EXPECT_EQ(CFStringGetBytes(str, CFRangeMake(0, 0), kCFStringEncodingUTF8, 0, false, nullptr,
                                   0, &used),
                  0);
        EXPECT_EQ(used, 0);
        EXPECT_EQ(CFStringCreateCopy(nullptr, str), nullptr);
        EXPECT_EQ(CFStringCreateMutableCopy(nullptr, 0, str), nullptr);
        EXPECT_EQ(CFStringCreateWithSubstring(nullptr, str, CFRangeMake(0, 0)), nullptr);
        EXPECT_EQ(CFStringCreateExternalRepresentation(nullptr, str, kCFStringEncodingUTF8, 0),
                  nullptr);
        EXPECT_EQ(CFStringCreateFromExternalRepresentation(nullptr, static_cast<CFDataRef>(wrong),
                                                           kCFStringEncodingUTF8),
                  nullptr);
        EXPECT_EQ(CFStringCreateArrayBySeparatingStrings(nullptr, str, CFSTR(",")), nullptr);
        EXPECT_EQ(
            CFStringCreateByCombiningStrings(nullptr, static_cast<CFArrayRef>(wrong), CFSTR(",")),
            nullptr);
        EXPECT_EQ(CFStringCreateWithFormat(nullptr, nullptr, str), nullptr);
        EXPECT_EQ(CFStringGetIntValue(str), 0);
        EXPECT_EQ(CFStringGetDoubleValue(str), 0.0);
        EXPECT_FALSE(CFStringHasPrefix(str, CFSTR("")));
        EXPECT_FALSE(CFStringHasSuffix(CFSTR("abc"), str));
        EXPECT_EQ(CFStringFind(str, CFSTR("a"), 0).location, kCFNotFound);
        EXPECT_EQ(CFStringFind(CFSTR("a"), str, 0).location, kCFNotFound);
        EXPECT_EQ(CFStringCompare(str, CFSTR("a"), 0), kCFCompareLessThan);
        EXPECT_EQ(CFStringCompare(CFSTR("a"), str, kCFCompareCaseInsensitive),
                  kCFCompareGreaterThan);
        EXPECT_FALSE(CFStringGetFileSystemRepresentation(str, buffer, 4));
        EXPECT_TRUE(vt::cf::StringToUTF8(str).empty());
        EXPECT_FALSE(vt::cf::StringIsASCII(str));
        CFStringAppend(mut, CFSTR("x"));
        CFStringAppendCharacters(mut, nullptr, 1);
        CFStringDelete(mut, CFRangeMake(0, 1));
        CFStringReplace(mut, CFRangeMake(0, 0), CFSTR("x"));
        CFStringLowercase(mut, nullptr);
        EXPECT_EQ(CFStringFindAndReplace(mut, CFSTR("a"), CFSTR("b"), CFRangeMake(0, 0), 0), 0);
        CFStringGetCharacters(str, CFRangeMake(0, 1), nullptr);
    }
    CFRef<CFMutableStringRef> target(CFStringCreateMutable(nullptr, 0));
    CFStringAppend(target.get(), static_cast<CFStringRef>(static_cast<CFTypeRef>(number.get())));
    CFStringInsert(target.get(), 0, nullptr);
    CFStringReplaceAll(target.get(),
                       static_cast<CFStringRef>(static_cast<CFTypeRef>(kCFBooleanTrue)));
    EXPECT_EQ(CFStringGetLength(target.get()), 0);
    EXPECT_EQ(CFStringCreateMutable(nullptr, -1), nullptr);
}

TEST(String, ValidUTF8FastPathsForThePropertyListCode) {
    const char text[] = "r\xC3\xA9sum\xC3\xA9 \xF0\x9F\x98\x80";
    CFRef<CFStringRef> immutable(
        vt::cf::StringCreateWithValidUTF8(nullptr, text, sizeof text - 1, false));
    CFRef<CFStringRef> editable(
        vt::cf::StringCreateWithValidUTF8(nullptr, text, sizeof text - 1, true));
    CFRef<CFStringRef> empty(vt::cf::StringCreateWithValidUTF8(nullptr, nullptr, 0, false));
    EXPECT_TRUE(CFEqual(immutable.get(), Make(text).get()));
    EXPECT_TRUE(CFEqual(editable.get(), immutable.get()));
    EXPECT_EQ(CFStringGetLength(empty.get()), 0);
    CFStringAppend(const_cast<CFMutableStringRef>(editable.get()), CFSTR("!"));
    CFStringAppend(const_cast<CFMutableStringRef>(immutable.get()), CFSTR("!"));
    EXPECT_EQ(vt::cf::StringToUTF8(editable.get()), std::string(text) + "!");
    EXPECT_EQ(vt::cf::StringToUTF8(immutable.get()), text);
    std::string out = "<";
    vt::cf::StringAppendUTF8(CFSTR("\u00e9"), out);
    vt::cf::StringAppendUTF8(CFSTR("key"), out);
    EXPECT_EQ(out, "<\xC3\xA9key");
    EXPECT_TRUE(vt::cf::StringIsASCII(CFSTR("key")));
    EXPECT_FALSE(vt::cf::StringIsASCII(immutable.get()));
}

TEST(String, NumericValues) {
    EXPECT_EQ(CFStringGetIntValue(CFSTR("  -42xyz")), -42);
    EXPECT_EQ(CFStringGetIntValue(CFSTR("+17")), 17);
    EXPECT_EQ(CFStringGetIntValue(CFSTR("abc")), 0);
    EXPECT_EQ(CFStringGetIntValue(CFSTR("99999999999")), INT32_MAX);
    EXPECT_EQ(CFStringGetIntValue(CFSTR("-99999999999")), INT32_MIN);
    EXPECT_EQ(CFStringGetIntValue(CFSTR("-2147483648")), INT32_MIN);
    EXPECT_DOUBLE_EQ(CFStringGetDoubleValue(CFSTR(" 3.5e2 ")), 350.0);
    EXPECT_DOUBLE_EQ(CFStringGetDoubleValue(CFSTR("-0.25")), -0.25);
    EXPECT_DOUBLE_EQ(CFStringGetDoubleValue(CFSTR("x1")), 0.0);
}
