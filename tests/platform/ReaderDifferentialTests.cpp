// The scanner against expat: on the same bytes both must agree on accepting,
// on the value and, through the public entry point, on the error text with
// its line and column. The raw scanner is held to the same verdicts; it may
// only defer on the forms it leaves to expat.
#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>

#include "platform/plist/PropertyListInternal.h"
#include "platform/plist/Scanner.h"
#include "platform/strings/StringInternal.h"
#include "platform/values/Holder.h"
#include "tests/support/TestSupport.h"

#include <string>
#include <vector>

using vt::CFRef;
using vt::plist::ParseError;
using vt::plist::ScanStatus;

namespace {

std::string Nested(int depth, const char *open = "<array>", const char *close = "</array>") {
    std::string text = "<plist>";
    for (int i = 0; i < depth; ++i)
        text += open;
    text += "<true/>";
    for (int i = 0; i < depth; ++i)
        text += close;
    return text + "</plist>";
}

// NaN reals are not CFEqual to themselves; the writer's text still compares.
bool SameValue(CFPropertyListRef a, CFPropertyListRef b) {
    if (CFEqual(a, b)) return true;
    std::string x, y;
    return vt::plist::AppendXML(a, x) && vt::plist::AppendXML(b, y) && x == y;
}

std::string PublicError(const std::string &bytes, CFPropertyListRef *value, CFOptionFlags options) {
    CFRef<CFDataRef> data(CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(bytes.data()),
                                       CFIndex(bytes.size())));
    CFStringRef error = nullptr;
    *value = CFPropertyListCreateFromXMLData(nullptr, data.get(), options, &error);
    std::string text = error ? vt::cf::StringToUTF8(error) : "";
    if (error) CFRelease(error);
    return text;
}

struct Case {
    std::string input;
    bool mayDefer = false; // a form the raw scanner leaves to expat
};

// Checks one input every way; returns whether expat accepted it.
bool Agree(const Case &c, CFOptionFlags options = kCFPropertyListMutableContainersAndLeaves) {
    ParseError expatError;
    CFRef<CFPropertyListRef> expected(vt::plist::CreateFromXMLBytesWithExpat(
        nullptr, c.input.data(), c.input.size(), options, &expatError));

    CFPropertyListRef raw = nullptr;
    ParseError fault;
    ScanStatus status =
        vt::plist::ScanXML(nullptr, c.input.data(), c.input.size(), options, &raw, &fault);
    CFRef<CFPropertyListRef> scanned(raw);
    if (expected) {
        if (!(c.mayDefer && status == ScanStatus::Defer)) {
            EXPECT_EQ(status, ScanStatus::Value) << "raw scanner refused: " << Describe(fault);
            if (scanned) {
                EXPECT_TRUE(SameValue(expected.get(), scanned.get()));
            }
        }
    } else {
        EXPECT_NE(status, ScanStatus::Value)
            << "raw scanner accepted what expat refuses: " << Describe(expatError);
        if (status == ScanStatus::Fault) {
            EXPECT_GT(fault.line, 0);
        }
    }

    CFPropertyListRef published = nullptr;
    std::string message = PublicError(c.input, &published, options);
    CFRef<CFPropertyListRef> held(published);
    EXPECT_EQ(bool(held), bool(expected));
    if (held && expected) {
        EXPECT_TRUE(SameValue(expected.get(), held.get()));
    }
    if (!expected) {
        EXPECT_EQ(message, Describe(expatError));
    }
    return bool(expected);
}

} // namespace

TEST(ReaderDifferential, AgreesOnEveryConstructAndEveryFault) {
    const std::string bom = "\xEF\xBB\xBF";
    const Case cases[] = {
        // Prolog: declarations, DOCTYPE forms, comments and processing
        // instructions before and after the root.
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><true/></plist>"},
        {"<?xml version='1.0' encoding='utf-8' standalone='yes' ?><string>a</string>"},
        {"<?xml version = \"1.0\"\n encoding\t=\"US-ASCII\"?><string>a</string>"},
        {"<?xml version=\"1.0\" encoding=\"US-ASCII\"?><string>caf\xC3\xA9</string>"},
        {"<?xml version=\"1.0\" standalone=\"maybe\"?><true/>"},
        {"<?xml encoding=\"UTF-8\"?><true/>"},
        {"<?xml version=\"1.0\"encoding=\"UTF-8\"?><true/>"},
        {"<?xml version=\"1.0\" encoding=\"UTF-8\" version=\"1.0\"?><true/>"},
        {"<?xml?><true/>"},
        {" <?xml version=\"1.0\"?><true/>"},
        {"<true/><?xml version=\"1.0\"?>"},
        {"<?XML version=\"1.0\"?><true/>"},
        {"<?xml-stylesheet href=\"a\"?><true/>"},
        {bom + "<?xml version=\"1.0\"?><true/>"},
        {bom + "<true/>"},
        {bom + "<?xml version=\"1.0\" encoding=\"us-ascii\"?><true/>"},
        {bom + "<?xml version=\"1.0\" encoding=\"UTF-8\"?><true/>"},
        {bom + bom + "<true/>"},
        {"<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
         "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist><true/></plist>"},
        {"<!DOCTYPE plist SYSTEM 'x.dtd' ><true/>"},
        {"<!DOCTYPE plist><true/>"},
        {"<!DOCTYPE\nplist\n>\n<true/>"},
        {"<!DOCTYPE plist PUBLIC \"a{b\" \"c\"><true/>"},
        {"<!DOCTYPE plist PUBLIC \"a\"><true/>"},
        {"<!DOCTYPE plist SYSTEM\"x\"><true/>"},
        {"<!DOCTYPE plist OTHER \"x\"><true/>"},
        {"<!DOCTYPE plist [<!ENTITY a \"b\">]><string>&a;</string>"},
        {"<!DOCTYPE plist []><true/>"},
        {"<!DOCTYPE plist><!DOCTYPE plist><true/>"},
        {"<true/><!DOCTYPE plist>"},
        {"<!DOCTYPE plist SYSTEM \"x\">\n<string>&ext;</string>"},
        {"<!-- a - b --><?pi data ?><?pi?><true/><!--after--><?pi?> \n"},
        {"<!-- a -- b --><true/>"},
        {"<?xml version=\"1.0\" standalone=\"yes\" encoding=\"UTF-8\"?><true/>"},
        {"<!DOCTYPE plist PUBLIC 'a' 'b'><true/>"},
        {"<!-- caf\xC3\xA9 --><!-- \x01 --><true/>"},
        {"<?pi a?b ? >?><plist a=\"x>y\" b=\"&#0;\"/>"},
        {"<plist a=\"&#0;\"><true/></plist>"},
        {"<string><![CDATA[a]]]]>b]]></string>"},
        {"<!-- a ---><true/>"},
        {"<!----><true/>"},
        {"<?pi?x?><true/>"},
        {"<?pi\x01?><true/>"},
        {"<?1pi?><true/>"},
        {"<?pi-x.y:z data?><true/>"},
        {"<?xmlx data?><true/>"},
        {"<?XmL?><true/>"},
        // Attributes and whitespace inside tags.
        {"<plist version=\"1.0\" a='b' ><string x = \"1\"\t\n>a</string ></plist >"},
        {"<plist version=\"1.0\" version=\"2\"><true/></plist>"},
        {"<plist a=\"1\"b=\"2\"><true/></plist>"},
        {"<plist a=\"<\"><true/></plist>"},
        {"<plist a=\"&amp;&#65;&#x42;&lt;\"><true/></plist>"},
        {"<plist a=\"&nope;\"><true/></plist>"},
        {"<plist a=\"x\ty\r\nz\"><true/></plist>"},
        {"<plist a><true/></plist>"},
        {"<plist a=b><true/></plist>"},
        {"<plist 1a=\"b\"><true/></plist>"},
        {"<plist a=\"b\"/>"},
        {"<plist a:b-c.d_e=\"\"><true/></plist>"},
        {"<plist \xC3\xA9=\"1\"><true/></plist>", true},
        {"<true  />"},
        {"<true/ >"},
        {"< true/>"},
        {"<true></ true>"},
        {"<plist><true/></plist\n>"},
        // Text: references, CDATA, line ends, UTF-8.
        {"<string>&lt;&gt;&amp;&quot;&apos;&#65;&#x42;&#x1F600;&#0065;&#xe9;</string>"},
        {"<string>&#X41;</string>"},
        {"<string>&#x;</string>"},
        {"<string>&#;</string>"},
        {"<string>&#0;</string>"},
        {"<string>&#x8;</string>"},
        {"<string>&#9;&#10;&#13;</string>"},
        {"<string>&#xD800;</string>"},
        {"<string>&#xDFFF;</string>"},
        {"<string>&#xFFFE;</string>"},
        {"<string>&#xFFFF;</string>"},
        {"<string>&#xFFFD;&#xFDD0;&#x1FFFF;&#x10FFFF;</string>"},
        {"<string>&#x110000;</string>"},
        {"<string>&#99999999999999999999;</string>"},
        {"<string>&amp</string>"},
        {"<string>& amp;</string>"},
        {"<string>&nope;</string>"},
        {"<string>a&amp;</string>"},
        {"<string>&amp;b</string>"},
        {"<string>&#65;&#66;&#67;</string>"},
        {"<string><![CDATA[a<b&c]]]></string>"},
        {"<string><![CDATA[]]></string>"},
        {"<string>x<![CDATA[\r\n]]>y</string>"},
        {"<string><![CDATA[a]]></string><![CDATA[b]]>"},
        {"<![CDATA[a]]><true/>"},
        {"<string><![CDATA[a</string>"},
        {"<string><![cdata[a]]></string>"},
        {"<string>a]]>b</string>"},
        {"<string>a]]b]></string>"},
        {"<string>]</string>"},
        {"<string>a\r\nb\rc\n\rd\r\r</string>"},
        {"<dict>\r\n<key>a\r</key>\r\n<string>x</string>\r</dict>"},
        {"<string>a<!-- c -->b<?pi?>c</string>"},
        {"<string>caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xEF\xB7\x90</string>"},
        {"<string>\xC3</string>"},
        {"<string>\xC0\xAF</string>"},
        {"<string>\xE0\x80\xAF</string>"},
        {"<string>\xED\xA0\x80</string>"},
        {"<string>\xEF\xBF\xBE</string>"},
        {"<string>\xEF\xBF\xBF</string>"},
        {"<string>\xEF\xBF\xBD</string>"},
        {"<string>\xF4\x90\x80\x80</string>"},
        {"<string>\xF5\x80\x80\x80</string>"},
        {"<string>\xF0\x8F\xBF\xBF</string>"},
        {"<string>\x80</string>"},
        {"<string>a\x01</string>"},
        {"<string>a\x7F</string>"},
        {"<string>a\x00</string>"},
        {"<string>\xC3\xA9\xC3\xA9\n\xC3\xA9\xC3\xA9\x01</string>"},
        // Whitespace-only text, empty elements, every leaf.
        {"<plist>\n\t<dict>\n\t\t<key>a</key>\n\t\t<array>\n\t\t</array>\n\t</dict>\n</plist>\n"},
        {"<array>&#32;&#x9;<![CDATA[ \n]]></array>"},
        {"<array>&#65;</array>"},
        {"<array><![CDATA[x]]></array>"},
        {"<plist>&#32;<true/></plist>"},
        {"<true> </true>"},
        {"<true>&#65;</true>"},
        {"<true><![CDATA[ ]]></true>"},
        {"<true>x</true>"},
        {"<false>\n</false>"},
        {"<string/>"},
        {"<dict/>"},
        {"<array/>"},
        {"<plist/>"},
        {"<key/>"},
        {"<dict><key/><string/><key>b</key><data/><key>c</key><date>2024-02-29T12:34:56Z</date>"
         "<key>d</key><integer> -0x10 </integer><key>e</key><real>1e3</real>"
         "<key>f</key><true/><key>g</key><false/><key>a</key><integer>2</integer></dict>"},
        {"<array><integer>18446744073709551615</integer><integer>18446744073709551616</integer>"
         "</array>"},
        {"<array><integer>&#49;2</integer><real><![CDATA[2.5]]></real></array>"},
        {"<array><real>NaN</real><real>-inf</real><real>0x1p4</real></array>"},
        {"<array><real>1.5x</real></array>"},
        {"<data>AA\r\nEC/w==</data>"},
        {"<data>AA&#61;=</data>"},
        {"<data>A</data>"},
        {"<date>2024-02-30T00:00:00Z</date>"},
        {"<date>2024-02-29T12:34:56Z </date>"},
        // Structure.
        {""},
        {"   "},
        {"x<true/>"},
        {"<true/>x"},
        {"<true/><true/>"},
        {"<plist><true/><true/></plist>"},
        {"<plist><array></dict></plist>"},
        {"<plist><array></arrays></plist>"},
        {"<plist><array></arr></plist>"},
        {"<plist>\n<array>\n<string>abc"},
        {"<plist><array>"},
        {"<plist"},
        {"<plist version=\"1.0"},
        {"<string>a<"},
        {"<string>a</"},
        {"<string>a</string"},
        {"<string>a&am"},
        {"<string>a<!-- "},
        {"<string>a<?pi "},
        {"<string>a<!"},
        {"<string>a<![CDA"},
        {"<string>a<!DOCTYPE plist></string>"},
        {"<foo/>"},
        {"<plist><stringx>a</stringx></plist>"},
        {"<plist><str\xC3\xA9ng>a</str\xC3\xA9ng></plist>"},
        {"<string><b/></string>"},
        {"<string>a<string>b</string></string>"},
        {"<plist><array><plist/></array></plist>"},
        {"<dict><key>a</key></dict>"},
        {"<dict><string>a</string></dict>"},
        {"<array><key>a</key></array>"},
        {Nested(512)},
        {Nested(513)},
        {Nested(511, "<dict><key>k</key>", "</dict>")},
        {Nested(512, "<dict><key>k</key>", "</dict>")},
        {Nested(100000)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.input.substr(0, 200)));
        Agree(c);
    }
    // The options only change mutability, never the verdict or the value.
    for (CFOptionFlags options : {kCFPropertyListImmutable, kCFPropertyListMutableContainers}) {
        SCOPED_TRACE(options);
        Agree({"<dict><key>a</key><array><string>s</string><data>AA==</data><dict/></array>"
               "<key>a</key><true/></dict>"},
              options);
    }
}

TEST(ReaderDifferential, AgreesWhenEscapesAndLineEndsFallAnywhere) {
    // Escapes, characters, CR LF pairs and tags at every offset of a leaf,
    // and the same documents cut at every byte.
    const std::vector<std::string> pieces = {"&amp;",    "&#x1F600;",    "\r\n",     "\r",
                                             "\xC3\xA9", "<![CDATA[]]>", "<!--c-->", "]]"};
    int accepted = 0;
    for (const std::string &piece : pieces)
        for (size_t at = 0; at <= 4; ++at) {
            std::string text = "abcd";
            text.insert(at, piece);
            std::string document = "<dict>\r\n<key>" + text + "</key>\r<string>" + text +
                                   "</string>\r\n<key>x</key><string>" + piece + "</string></dict>";
            SCOPED_TRACE(testing::PrintToString(document));
            accepted += Agree({document});
            for (size_t cut = 0; cut < document.size(); cut += 3)
                EXPECT_FALSE(Agree({document.substr(0, cut)}));
        }
    EXPECT_EQ(accepted, int(pieces.size()) * 5); // all of them are well-formed
}

TEST(ReaderDifferential, ExistingReaderInputsAgree) {
    // The documents the reader tests use, in every mutability.
    const char *inputs[] = {
        "<?xml version=\"1.0\"?>\n<!-- c --><plist version=\"1.0\"><?pi x?><array> <!-- c -->\n"
        " <string>a</string>\n<?pi?></array></plist>\n<!-- after -->",
        "<plist><dict><key><![CDATA[k<]]></key><string><![CDATA[a&b]]>c</string></dict></plist>",
        "<plist version=\"9\" a=\"b\"><string x=\"1\">a</string></plist>",
        "<array><integer>-9223372036854775808</integer><integer>0x7f</integer>"
        "<integer>+5</integer><integer> 7\n</integer></array>",
        "<array><real>+infinity</real><real>.5</real><real>1e400</real></array>",
        "<data>\n  AA EC\n\t/w==\n</data>",
        "<data>AAE</data>",
        "<integer>-9223372036854775809</integer>",
        "<integer>0x</integer>",
        "<integer/>",
        "<real/>",
        "<date/>",
        "<data>AA*A</data>",
        "<data>AA==AA</data>",
        "<date>2024-01-01T00:00:00</date>",
        "<dict>\n<key>a</key>\n</dict>",
        "<dict><key>a</key><key>b</key></dict>",
        "<plist>x<string/></plist>",
        "<plist><string/></plist><string/>",
        "<plist>\n<array>\n  <foo/></array></plist>",
        "<plist version=\"1.0\"/>",
    };
    for (const char *input : inputs)
        for (CFOptionFlags options : {kCFPropertyListImmutable, kCFPropertyListMutableContainers,
                                      kCFPropertyListMutableContainersAndLeaves}) {
            SCOPED_TRACE(input);
            Agree({input}, options);
        }
}

TEST(ReaderDifferential, OtherEncodingsGoToExpat) {
    // The scanner must not read these as UTF-8: it defers, and the public
    // reader gives expat's characters.
    const std::string latin1 =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><string>caf\xe9</string>";
    const std::string utf16 = std::string("\xFF\xFE<\0t\0r\0u\0e\0/\0>\0", 16);
    const std::string declared =
        "<?xml version=\"1.0\" encoding=\"windows-1252\"?><string>\x80</string>";
    for (const std::string &input : {latin1, utf16, declared}) {
        SCOPED_TRACE(testing::PrintToString(input));
        CFPropertyListRef raw = nullptr;
        EXPECT_NE(vt::plist::ScanXML(nullptr, input.data(), input.size(), 0, &raw, nullptr),
                  ScanStatus::Value);
        EXPECT_TRUE(Agree({input, true}));
    }
}

TEST(ReaderDifferential, FilesReadMappedAgreeWithTheStreamingReader) {
    // Large enough that pages are dropped during the scan, with an error at
    // the very end that sends expat back over the dropped pages.
    std::string body =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<array>\n";
    for (int i = 0; body.size() < (size_t(5) << 20); ++i)
        body += "\t<dict><key>Kind</key><string>R\xC3\xA9sum\xC3\xA9 &amp; " + std::to_string(i) +
                "</string></dict>\r\n";
    vt::test::TempFolder folder;
    const std::string good = folder.Join("good.plist"), bad = folder.Join("bad.plist"),
                      empty = folder.Join("empty.plist");
    ASSERT_TRUE(vt::test::WriteFile(good, body + "</array></plist>\n"));
    ASSERT_TRUE(vt::test::WriteFile(bad, body + "</array><foo/></plist>\n"));
    ASSERT_TRUE(vt::test::WriteFile(empty, ""));
    for (const std::string &path : {good, bad, empty}) {
        SCOPED_TRACE(path);
        ParseError mappedError, streamedError;
        CFRef<CFPropertyListRef> mapped(vt::plist::CreateFromXMLFile(
            nullptr, path.c_str(), kCFPropertyListMutableContainersAndLeaves, &mappedError));
        CFRef<CFPropertyListRef> streamed(vt::plist::CreateFromXMLFileWithExpat(
            nullptr, path.c_str(), kCFPropertyListMutableContainersAndLeaves, &streamedError));
        EXPECT_EQ(bool(mapped), path == good);
        EXPECT_EQ(bool(mapped), bool(streamed));
        if (mapped && streamed) {
            EXPECT_TRUE(CFEqual(mapped.get(), streamed.get()));
        }
        EXPECT_EQ(Describe(mappedError), Describe(streamedError));
    }
}
