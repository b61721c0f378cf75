// The XML reader: what it accepts, how it refuses hostile input, nesting
// limits, mutability options and key sharing.
#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>

#include "platform/values/Holder.h"
#include "platform/plist/PropertyListInternal.h"

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

using vt::CFRef;

namespace {

CFPropertyListRef Parse(const std::string &text, CFOptionFlags options = 0,
                        vt::plist::ParseError *error = nullptr) {
    return vt::plist::CreateFromXMLBytes(nullptr, text.data(), text.size(), options, error);
}

// The writer's text for the value, without the document lines around it.
std::string Body(CFPropertyListRef value) {
    std::string out;
    if (!vt::plist::AppendXML(value, out)) return "(not written)";
    size_t start = out.find("<plist version=\"1.0\">\n") + 22;
    return out.substr(start, out.size() - start - 9);
}

std::string Nested(int depth) {
    std::string text = "<plist>";
    for (int i = 0; i < depth; ++i)
        text += "<array>";
    for (int i = 0; i < depth; ++i)
        text += "</array>";
    return text + "</plist>";
}

} // namespace

TEST(PropertyListReader, AcceptsEveryFormThePlatformReaderAccepts) {
    struct Case {
        const char *input;
        const char *body;
    };
    const Case cases[] = {
        {"<?xml version=\"1.0\"?>\n<!-- c --><plist version=\"1.0\"><?pi x?><array> <!-- c -->\n"
         " <string>a</string>\n<?pi?></array></plist>\n<!-- after -->",
         "<array>\n\t<string>a</string>\n</array>\n"},
        {"<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
         "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\"><plist><dict><key><![CDATA[k<]]>"
         "</key><string><![CDATA[a&b]]>c</string></dict></plist>",
         "<dict>\n\t<key>k&lt;</key>\n\t<string>a&amp;bc</string>\n</dict>\n"},
        {"<string>&lt;&gt;&amp;&quot;&apos;&#65;&#x42;&#x1F600;</string>",
         "<string>&lt;&gt;&amp;\"'AB\U0001F600</string>\n"},
        {"<dict><key/><string/></dict>", "<dict>\n\t<key></key>\n\t<string></string>\n</dict>\n"},
        {"<plist version=\"9\" a=\"b\"><string x=\"1\">a</string></plist>", "<string>a</string>\n"},
        {"<dict><key>a</key><integer>1</integer><key>b</key><true/><key>a</key>"
         "<integer>2</integer></dict>",
         "<dict>\n\t<key>a</key>\n\t<integer>2</integer>\n\t<key>b</key>\n\t<true/>\n</dict>\n"},
        {"<array><integer>-9223372036854775808</integer><integer>18446744073709551615</integer>"
         "<integer>0x7f</integer><integer>-0X10</integer><integer>+5</integer>"
         "<integer> 7\n</integer></array>",
         "<array>\n\t<integer>-9223372036854775808</integer>\n"
         "\t<integer>18446744073709551615</integer>\n\t<integer>127</integer>\n"
         "\t<integer>-16</integer>\n\t<integer>5</integer>\n\t<integer>7</integer>\n</array>\n"},
        {"<array><real>1e3</real><real>-2.5</real><real>NaN</real><real>inf</real>"
         "<real>+infinity</real><real>-infinity</real><real>0x1p4</real><real>.5</real>"
         "<real>1e400</real></array>",
         "<array>\n\t<real>1000</real>\n\t<real>-2.5</real>\n\t<real>nan</real>\n"
         "\t<real>+infinity</real>\n\t<real>+infinity</real>\n\t<real>-infinity</real>\n"
         "\t<real>16</real>\n\t<real>0.5</real>\n\t<real>+infinity</real>\n</array>\n"},
        {"<array><true/><false></false></array>", "<array>\n\t<true/>\n\t<false/>\n</array>\n"},
        {"<date>2024-02-29T12:34:56Z</date>", "<date>2024-02-29T12:34:56Z</date>\n"},
        {"<date>1969-12-31T23:00:00Z</date>", "<date>1969-12-31T23:00:00Z</date>\n"},
        {"<date>1900-03-01T12:34:56Z</date>", "<date>1900-03-01T12:34:56Z</date>\n"},
        {"<date>0000-01-01T00:00:00Z</date>", "<date>0000-01-01T00:00:00Z</date>\n"},
        {"<date>9999-12-31T23:59:59Z</date>", "<date>9999-12-31T23:59:59Z</date>\n"},
        {"<data>\n  AA EC\n\t/w==\n</data>", "<data>\nAAEC/w==\n</data>\n"},
        {"<data>AAE</data>", "<data>\nAAE=\n</data>\n"},
        {"<data>\n</data>", "<data>\n</data>\n"},
        {"<data/>", "<data>\n</data>\n"},
        {"<data></data>", "<data>\n</data>\n"},
        {"<plist><array/></plist>", "<array/>\n"},
        {"<dict/>", "<dict/>\n"},
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><string>caf\xe9</string>",
         "<string>caf\u00e9</string>\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.input);
        vt::plist::ParseError error;
        CFRef<CFPropertyListRef> value(Parse(c.input, 0, &error));
        EXPECT_EQ(error.message, "");
        EXPECT_EQ(Body(value.get()), c.body);
    }
}

TEST(PropertyListReader, RefusesHostileInputNamingLineAndColumn) {
    struct Case {
        std::string input;
        const char *message; // a part of the message; empty for expat's own
        CFIndex line;
    };
    const std::string lol = "<!DOCTYPE plist [<!ENTITY a \"aaaaaaaa\"><!ENTITY b \"&a;&a;&a;\">]>"
                            "<string>&b;</string>";
    const Case cases[] = {
        {"<plist><array></dict></plist>", "", 1},
        {"<plist>\n<array>\n<string>abc", "", 3},
        {"", "", 1},
        {"<string>\xff\xfe</string>", "", 1},
        {"<string>\xed\xa0\x80</string>", "", 1}, // a UTF-16 surrogate
        {lol, "internal subset", 1},
        {"<!DOCTYPE plist SYSTEM \"file:///etc/passwd\">\n<string>&ext;</string>",
         "undefined entity &ext;", 2},
        {"<string>&nope;</string>", "", 1},
        {"<integer>18446744073709551616</integer>", "out of range", 1},
        {"<integer>-9223372036854775809</integer>", "out of range", 1},
        {"<integer>12a</integer>", "bad <integer>", 1},
        {"<integer>0x</integer>", "bad <integer>", 1},
        {"<real>1.5x</real>", "bad <real>", 1},
        {"<integer/>", "empty <integer>", 1},
        {"<real/>", "empty <real>", 1},
        {"<date/>", "empty <date>", 1},
        {"<data>AA*A</data>", "bad base64", 1},
        {"<data>AAA==</data>", "bad base64", 1},
        {"<data>AA==AA</data>", "bad base64", 1},
        {"<data>A</data>", "bad base64", 1},
        {"<date>2024-13-01T00:00:00Z</date>", "bad <date>", 1},
        {"<date>2023-02-29T00:00:00Z</date>", "bad <date>", 1},
        {"<date>2024-02-30T00:00:00Z</date>", "bad <date>", 1},
        {"<date>2024-01-01 00:00:00Z</date>", "bad <date>", 1},
        {"<date>2024-01-01T00:00:00</date>", "bad <date>", 1},
        {"<dict>\n<key>a</key>\n</dict>", "key without a value", 3},
        {"<dict><key>a</key><key>b</key></dict>", "key without a value", 1},
        {"<dict><string>a</string></dict>", "value without a key", 1},
        {"<array><key>a</key></array>", "<key> outside a dictionary", 1},
        {"<array>x</array>", "unexpected text", 1},
        {"<plist>x<string/></plist>", "unexpected text", 1},
        {"<true>yes</true>", "unexpected text", 1},
        {"<plist><string/></plist><string/>", "", 1},
        {"<plist><string/><string/></plist>", "more than one value", 1},
        {"<plist>\n<array>\n  <foo/></array></plist>", "unknown element <foo>", 3},
        {"<string><b/></string>", "unexpected element <b>", 1},
        {"<plist><array><plist/></array></plist>", "only as the document element", 1},
        {"<plist version=\"1.0\"/>", "no value", 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.input);
        CFRef<CFDataRef> data(CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(c.input.data()),
                                           CFIndex(c.input.size())));
        CFStringRef errorString = nullptr;
        EXPECT_EQ(CFPropertyListCreateFromXMLData(nullptr, data.get(), 0, &errorString), nullptr);
        ASSERT_NE(errorString, nullptr);
        char text[512];
        CFStringGetCString(errorString, text, sizeof text, kCFStringEncodingUTF8);
        CFRelease(errorString);
        std::string prefix = "line " + std::to_string(c.line) + ", column ";
        EXPECT_EQ(std::string(text).rfind(prefix, 0), 0u) << text;
        EXPECT_NE(std::string(text).find(c.message), std::string::npos) << text;
    }
    vt::plist::ParseError error;
    EXPECT_EQ(Parse("<plist>\n<array>\n  <foo/></array></plist>", 0, &error), nullptr);
    EXPECT_EQ(error.column, 3);
}

TEST(PropertyListReader, AcceptsNestingTo512AndRefusesDeeper) {
    CFRef<CFPropertyListRef> deepest(Parse(Nested(512)));
    EXPECT_TRUE(deepest);
    vt::plist::ParseError error;
    EXPECT_EQ(Parse(Nested(513), 0, &error), nullptr);
    EXPECT_NE(error.message.find("nesting"), std::string::npos);
    EXPECT_EQ(Parse(Nested(100000), 0, &error), nullptr);
}

TEST(PropertyListReader, MutabilityOptionsReachEveryLevel) {
    // The reader and the deep copy build values the same way, so one table
    // checks both.
    const std::string text = "<dict><key>k</key><array><string>s</string><data>AA==</data>"
                             "<dict/></array></dict>";
    CFRef<CFPropertyListRef> source(Parse(text, kCFPropertyListImmutable));
    ASSERT_TRUE(source);
    for (bool copied : {false, true})
        for (CFOptionFlags option : {kCFPropertyListImmutable, kCFPropertyListMutableContainers,
                                     kCFPropertyListMutableContainersAndLeaves}) {
            SCOPED_TRACE((copied ? "deep copy, option " : "reader, option ") +
                         std::to_string(option));
            CFRef<CFPropertyListRef> root(
                copied ? CFPropertyListCreateDeepCopy(nullptr, source.get(), option)
                       : Parse(text, option));
            ASSERT_TRUE(root);
            auto dict = (CFMutableDictionaryRef)root.get();
            auto array = (CFMutableArrayRef)CFDictionaryGetValue(dict, CFSTR("k"));
            auto str = (CFMutableStringRef)CFArrayGetValueAtIndex(array, 0);
            auto data = (CFMutableDataRef)CFArrayGetValueAtIndex(array, 1);
            auto inner = (CFMutableDictionaryRef)CFArrayGetValueAtIndex(array, 2);
            const void *key = nullptr;
            CFDictionaryGetKeysAndValues(dict, &key, nullptr);

            bool containers = option != kCFPropertyListImmutable;
            bool leaves = option == kCFPropertyListMutableContainersAndLeaves;
            CFDictionarySetValue(dict, CFSTR("new"), kCFBooleanTrue);
            EXPECT_EQ(CFDictionaryGetCount(dict), containers ? 2 : 1);
            CFArrayAppendValue(array, kCFBooleanTrue);
            EXPECT_EQ(CFArrayGetCount(array), containers ? 4 : 3);
            CFDictionarySetValue(inner, CFSTR("x"), kCFBooleanTrue);
            EXPECT_EQ(CFDictionaryGetCount(inner), containers ? 1 : 0);
            CFStringAppend(str, CFSTR("+"));
            EXPECT_EQ(CFStringGetLength(str), leaves ? 2 : 1);
            CFDataAppendBytes(data, reinterpret_cast<const UInt8 *>("z"), 1);
            EXPECT_EQ(CFDataGetLength(data), leaves ? 2 : 1);
            CFStringAppend((CFMutableStringRef)key, CFSTR("+"));
            EXPECT_EQ(CFStringGetLength((CFStringRef)key), 1); // keys never change
        }
}

// A text is shared from its second sighting on: keys always, string values
// only when the leaves are immutable.
TEST(PropertyListReader, EqualKeysAndImmutableStringsShareOneObject) {
    std::string text = "<array>";
    for (int i = 0; i < 1000; ++i)
        text += "<dict><key>Kind</key><string>Owner</string><key>K\u00e9y</key><true/></dict>";
    text += "</array>";
    for (CFOptionFlags options : {kCFPropertyListImmutable, kCFPropertyListMutableContainers,
                                  kCFPropertyListMutableContainersAndLeaves}) {
        SCOPED_TRACE(options);
        CFRef<CFPropertyListRef> root(Parse(text, options));
        ASSERT_TRUE(root);
        auto entry = [&](CFIndex i) {
            return (CFDictionaryRef)CFArrayGetValueAtIndex((CFArrayRef)root.get(), i);
        };
        const void *second[2], *secondValues[2], *keys[2], *values[2];
        CFDictionaryGetKeysAndValues(entry(1), second, secondValues);
        bool shareValues = options != kCFPropertyListMutableContainersAndLeaves;
        for (CFIndex i = 0; i < 1000; ++i) {
            CFDictionaryGetKeysAndValues(entry(i), keys, values);
            EXPECT_TRUE(CFEqual(keys[0], second[0]) && CFEqual(keys[1], second[1]));
            EXPECT_TRUE(CFEqual(values[0], CFSTR("Owner")));
            if (i <= 1) continue;
            EXPECT_TRUE(keys[0] == second[0] && keys[1] == second[1]);
            EXPECT_EQ(values[0] == secondValues[0], shareValues);
        }
        // A mutable leaf stays a string of its own that can change.
        if (!shareValues) {
            CFStringAppend((CFMutableStringRef)secondValues[0], CFSTR("!"));
            CFDictionaryGetKeysAndValues(entry(2), keys, values);
            EXPECT_TRUE(CFEqual(values[0], CFSTR("Owner")));
        }
    }
}

// Every value reads back as written while the table of shared texts grows
// through all its sizes and fills: the first texts are shared from their
// second sighting on, the last ones, past the table's bound, are not.
TEST(PropertyListReader, ManyRepeatedTextsReadBackWhateverIsShared) {
    constexpr int kTexts = 10000, kRepeats = 4;
    std::string text = "<array>";
    for (int i = 0; i < kTexts; ++i)
        for (int repeat = 0; repeat < kRepeats; ++repeat)
            text += "<string>text " + std::to_string(i) + "</string>";
    CFRef<CFPropertyListRef> root(Parse(text + "</array>"));
    ASSERT_TRUE(root);
    auto array = (CFArrayRef)root.get();
    ASSERT_EQ(CFArrayGetCount(array), kTexts * kRepeats);
    auto at = [&](int i, int repeat) {
        return CFArrayGetValueAtIndex(array, i * kRepeats + repeat);
    };
    for (int i = 0; i < kTexts; ++i) {
        CFRef<CFStringRef> expected(
            CFStringCreateWithFormat(nullptr, nullptr, CFSTR("text %d"), i));
        for (int repeat = 0; repeat < kRepeats; ++repeat)
            ASSERT_TRUE(CFEqual(at(i, repeat), expected.get())) << i;
    }
    EXPECT_NE(at(0, 0), at(0, 1));
    EXPECT_EQ(at(0, 1), at(0, 3));
    EXPECT_EQ(at(999, 1), at(999, 2));
    EXPECT_NE(at(kTexts - 1, 1), at(kTexts - 1, 2));
}

TEST(PropertyListReader, CreateWithDataReportsACocoaError) {
    CFRef<CFDataRef> good(CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>("<true/>"), 7));
    CFPropertyListFormat format = kCFPropertyListOpenStepFormat;
    CFErrorRef error = nullptr;
    EXPECT_EQ(CFPropertyListCreateWithData(nullptr, good.get(), 0, &format, &error),
              kCFBooleanTrue);
    EXPECT_EQ(format, kCFPropertyListXMLFormat_v1_0);
    EXPECT_EQ(error, nullptr);

    CFRef<CFDataRef> bad(CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>("<true>"), 6));
    EXPECT_EQ(CFPropertyListCreateWithData(nullptr, bad.get(), 0, &format, &error), nullptr);
    CFRef<CFErrorRef> held(error);
    EXPECT_TRUE(CFEqual(CFErrorGetDomain(error), CFSTR("NSCocoaErrorDomain")));
    EXPECT_EQ(CFErrorGetCode(error), 3840);
    CFRef<CFDictionaryRef> info(CFErrorCopyUserInfo(error));
    auto description = (CFStringRef)CFDictionaryGetValue(info.get(), kCFErrorDescriptionKey);
    EXPECT_TRUE(CFStringHasPrefix(description, CFSTR("line 1, column ")));

    EXPECT_EQ(CFPropertyListCreateWithData(nullptr, nullptr, 0, nullptr, nullptr), nullptr);
    EXPECT_EQ(CFPropertyListCreateFromXMLData(nullptr, (CFDataRef)CFSTR("<true/>"), 0, nullptr),
              nullptr);
}

TEST(PropertyListReader, ReadsFilesInPiecesLikeBytes) {
    // Pieces of 64 KiB split characters, entities and tags somewhere.
    std::string text = "<plist version=\"1.0\">\n<array>\n";
    for (int i = 0; i < 20000; ++i)
        text += "\t<string>R\u00e9sum\u00e9 &amp; " + std::to_string(i) + "</string>\n";
    auto parseFile = [](const std::string &content, vt::plist::ParseError *error) {
        char path[] = "/tmp/plist-reader-XXXXXX";
        int fd = mkstemp(path);
        EXPECT_EQ(write(fd, content.data(), content.size()), ssize_t(content.size()));
        close(fd);
        CFPropertyListRef value = vt::plist::CreateFromXMLFile(nullptr, path, 0, error);
        unlink(path);
        return value;
    };
    CFRef<CFPropertyListRef> fromBytes(Parse(text + "</array></plist>"));
    CFRef<CFPropertyListRef> fromFile(parseFile(text + "</array></plist>", nullptr));
    ASSERT_TRUE(fromFile);
    EXPECT_TRUE(CFEqual(fromBytes.get(), fromFile.get()));

    vt::plist::ParseError error;
    EXPECT_EQ(parseFile(text + "<foo/>", &error), nullptr);
    EXPECT_EQ(error.line, 20003);
    EXPECT_EQ(vt::plist::CreateFromXMLFile(nullptr, "/nonexistent/x.plist", 0, &error), nullptr);
    EXPECT_EQ(error.line, 0);
    EXPECT_FALSE(error.message.empty());
}
