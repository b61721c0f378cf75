// Documents declared in single-byte encodings that expat does not know itself,
// and the encodings the reader still refuses.
#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>

#include "platform/plist/PropertyListInternal.h"
#include "platform/strings/StringInternal.h"
#include "platform/values/Cast.h"
#include "platform/values/Holder.h"

#include <string>

using vt::CFRef;

namespace {

std::string Document(const std::string &encoding, const std::string &body) {
    return "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>\n<plist version=\"1.0\">\n" +
           body + "\n</plist>\n";
}

CFPropertyListRef Parse(const std::string &text, vt::plist::ParseError *error = nullptr) {
    return vt::plist::CreateFromXMLBytes(nullptr, text.data(), text.size(), 0, error);
}

} // namespace

TEST(PropertyListEncoding, ReadsSingleByteEncodingsToTheirCharacters) {
    struct Case {
        const char *encoding;
        const char *key;   // in the declared encoding
        const char *value; // in the declared encoding
        const char *keyUTF8;
        const char *valueUTF8;
    };
    const Case cases[] = {
        // The 0x80-0x9F range is where windows-1252 differs from ISO-8859-1.
        {"windows-1252", "\x80uro", "\x93quoted\x94 \x8a\x9c caf\xe9", "\u20acuro",
         "\u201cquoted\u201d \u0160\u0153 caf\u00e9"},
        {"Windows-1252", "na\xefve", "\x85", "na\u00efve", "\u2026"},
        // ISO-8859-15 replaces ¤ ¦ ¨ ´ ¸ ¼ ½ ¾ of ISO-8859-1.
        {"ISO-8859-15", "\xa4", "\xa6\xa8\xb4\xb8\xbc\xbd\xbe \xe9t\xe9", "\u20ac",
         "\u0160\u0161\u017d\u017e\u0152\u0153\u0178 \u00e9t\u00e9"},
        {"macintosh", "\x80pfel", "\x8e\x8f \xa5 \xd0 \xd2\xd3 \xdb", "\u00c4pfel",
         "\u00e9\u00e8 \u2022 \u2013 \u201c\u201d \u20ac"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.encoding);
        std::string body =
            std::string("<dict><key>") + c.key + "</key><string>" + c.value + "</string></dict>";
        vt::plist::ParseError error;
        CFRef<CFPropertyListRef> value(Parse(Document(c.encoding, body), &error));
        ASSERT_TRUE(value) << vt::plist::Describe(error);
        auto dictionary = vt::cf::Cast<CFDictionaryRef>(value.get());
        ASSERT_TRUE(dictionary);
        ASSERT_EQ(CFDictionaryGetCount(dictionary), 1);
        const void *key = nullptr, *string = nullptr;
        CFDictionaryGetKeysAndValues(dictionary, &key, &string);
        EXPECT_EQ(vt::cf::StringToUTF8(vt::cf::Cast<CFStringRef>(key)), c.keyUTF8);
        EXPECT_EQ(vt::cf::StringToUTF8(vt::cf::Cast<CFStringRef>(string)), c.valueUTF8);
    }
}

TEST(PropertyListEncoding, RefusesEncodingsItCannotMapWithAPosition) {
    struct Case {
        std::string encoding;
        std::string body;
        const char *message;
        CFIndex line;
    };
    const Case cases[] = {
        // Multi-byte and stateful encodings, and names iconv does not know.
        {"Shift_JIS", "<string>\x93\xfa\x96\x7b</string>", "unknown encoding", 1},
        {"EUC-JP", "<string>abc</string>", "unknown encoding", 1},
        {"UTF-7", "<string>a+AOk-</string>", "unknown encoding", 1},
        {"x-no-such-charset", "<string>abc</string>", "unknown encoding", 1},
        // Single-byte but not ASCII-compatible: the markup would change meaning.
        {"IBM037", "<string>abc</string>", "unknown encoding", 1},
        // A byte windows-1252 leaves undefined is an error where it stands.
        {"windows-1252", "<string>a\x81</string>", "not well-formed", 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.encoding);
        vt::plist::ParseError error;
        EXPECT_EQ(Parse(Document(c.encoding, c.body), &error), nullptr);
        EXPECT_EQ(error.line, c.line);
        EXPECT_GT(error.column, 0);
        EXPECT_NE(error.message.find(c.message), std::string::npos) << error.message;
    }

    // The platform entry point carries the same position in its text.
    std::string text = Document("Shift_JIS", "<string>\x93\xfa</string>");
    CFRef<CFDataRef> data(
        CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(text.data()), CFIndex(text.size())));
    CFStringRef errorString = nullptr;
    EXPECT_EQ(CFPropertyListCreateFromXMLData(nullptr, data.get(), 0, &errorString), nullptr);
    ASSERT_NE(errorString, nullptr);
    std::string message = vt::cf::StringToUTF8(errorString);
    CFRelease(errorString);
    EXPECT_EQ(message.rfind("line 1, column ", 0), 0u) << message;
    EXPECT_NE(message.find("unknown encoding"), std::string::npos) << message;
}
