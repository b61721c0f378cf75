// Event descriptors built from values and URLs.
#include <Vantrell/Vantrell.h>
#include <gtest/gtest.h>

#include "appleevent/AppleEventPrivate.h"
#include "appleevent/AppleEventTestSupport.h"
#include "support/TestSupport.h"

#include <cstring>

using vt::CFRef;

namespace {

// The status, the type code and the bytes, in one comparable text.
template <class Value>
std::string Build(OSStatus (*builder)(Value, AEDesc *), Value value) {
    AEDesc desc;
    AEInitializeDesc(&desc);
    OSStatus status = builder(value, &desc);
    const char code[4] = {char(desc.descriptorType >> 24), char(desc.descriptorType >> 16),
                          char(desc.descriptorType >> 8), char(desc.descriptorType)};
    return std::to_string(status) + " " + std::string(code, 4) + ":" + vt::test::TakeBytes(desc);
}

CFRef<CFStringRef> String(const char *text) {
    return CFRef<CFStringRef>(CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8));
}

} // namespace

TEST(AppleEventBuilders, BooleansStringsAndData) {
    EXPECT_EQ(Build(VTCreateDescWithCFBoolean, kCFBooleanTrue), std::string("0 bool:\1"));
    EXPECT_EQ(Build(VTCreateDescWithCFBoolean, kCFBooleanFalse), std::string("0 bool:\0", 8));
    EXPECT_EQ(Build(VTCreateDescWithCFBoolean, CFBooleanRef(nullptr)), std::string("0 bool:\0", 8));
    EXPECT_EQ(Build(VTCreateDescWithCFBoolean, reinterpret_cast<CFBooleanRef>(CFSTR("no"))),
              std::string("0 bool:\1"));

    EXPECT_EQ(Build(VTCreateUTF8DescWithCFString, CFSTR("abc")), "0 utf8:abc");
    EXPECT_EQ(Build(VTCreateUTF8DescWithCFString, CFSTR("")), "0 utf8:");
    const char *accented = "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80";
    EXPECT_EQ(Build(VTCreateUTF8DescWithCFString, String(accented).get()),
              std::string("0 utf8:") + accented);
    const UniChar withNul[] = {'a', 0, 'b'};
    CFRef<CFStringRef> nul(CFStringCreateWithCharacters(nullptr, withNul, 3));
    EXPECT_EQ(Build(VTCreateUTF8DescWithCFString, nul.get()), "0 utf8:a");

    const UniChar units[] = {'h', 0xE9, 0xD83D, 0xDE00};
    EXPECT_EQ(Build(VTCreateUnicodeDescWithCFString, String("h\xC3\xA9\xF0\x9F\x98\x80").get()),
              "0 utxt:" + std::string(reinterpret_cast<const char *>(units), sizeof units));

    CFRef<CFDataRef> data(CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>("\0\1"), 2));
    EXPECT_EQ(Build(VTCreateDescWithCFData, data.get()), std::string("0 data:\0\1", 9));
}

TEST(AppleEventBuilders, URLsAsTextPathsAndFileReferences) {
    vt::test::TempFolder folder;
    const std::string file = folder.Join("my file");
    ASSERT_TRUE(vt::test::WriteFile(file, "x"));
    CFRef<CFURLRef> url = vt::test::FileURL(file);

    CFRef<CFURLRef> relative(CFURLCreateWithString(nullptr, CFSTR("sub/a%20b"), url.get()));
    EXPECT_EQ(Build(VTCreateUTF8TextDescWithURL, relative.get()), "0 utf8:sub/a%20b");
    EXPECT_EQ(Build(VTCreateAEDescWithURLString, relative.get()), "0 url :sub/a%20b");
    CFRef<CFURLRef> escaped(
        CFURLCreateWithString(nullptr, CFSTR("file:///tmp/a%20b/c%C3%A9"), nullptr));
    EXPECT_EQ(Build(VTCreatePOSIXPathDescWithURL, escaped.get()), "0 utf8:/tmp/a b/c\xC3\xA9");

    const std::string fsref = Build(VTCreateFSRefDescWithFileURL, url.get());
    ASSERT_EQ(fsref.substr(0, 7), "0 fsrf:");
    ASSERT_EQ(fsref.size(), 7 + sizeof(FSRef));
    FSRef ref;
    std::memcpy(&ref, fsref.data() + 7, sizeof ref);
    CFRef<CFURLRef> fromRef(CFURLCreateFromFSRef(nullptr, &ref));
    EXPECT_EQ(vt::test::PathOf(fromRef.get()), vt::test::Canonical(file));

    const std::string alias = Build(VTCreateAliasDescWithFileURL, url.get());
    ASSERT_EQ(alias.substr(0, 7), "0 alis:");
    CFRef<CFDataRef> aliasData(CFDataCreate(
        nullptr, reinterpret_cast<const UInt8 *>(alias.data() + 7), CFIndex(alias.size() - 7)));
    CFRef<CFURLRef> back(VTAliasDataCopyURL(nullptr, aliasData.get(), nullptr));
    EXPECT_EQ(vt::test::PathOf(back.get()), vt::test::Canonical(file));
}

TEST(AppleEventBuilders, MissingArgumentsAndFilesFail) {
    vt::test::TempFolder folder;
    CFRef<CFURLRef> url = vt::test::FileURL(folder.Path());
    for (auto builder :
         {VTCreateFSRefDescWithFileURL, VTCreateUTF8TextDescWithURL, VTCreatePOSIXPathDescWithURL,
          VTCreateAliasDescWithFileURL, VTCreateAEDescWithURLString}) {
        EXPECT_EQ(builder(url.get(), nullptr), paramErr);
        EXPECT_EQ(Build(builder, CFURLRef(nullptr)), "-50 null:");
        EXPECT_EQ(Build(builder, reinterpret_cast<CFURLRef>(CFSTR("/tmp"))), "-50 null:");
    }
    for (auto builder : {VTCreateUTF8DescWithCFString, VTCreateUnicodeDescWithCFString}) {
        EXPECT_EQ(builder(CFSTR("a"), nullptr), paramErr);
        EXPECT_EQ(Build(builder, CFStringRef(nullptr)), "-50 null:");
    }
    EXPECT_EQ(VTCreateDescWithCFBoolean(kCFBooleanTrue, nullptr), paramErr);
    EXPECT_EQ(Build(VTCreateDescWithCFData, CFDataRef(nullptr)), "-50 null:");
    EXPECT_EQ(Build(VTCreateDescWithCFData, reinterpret_cast<CFDataRef>(CFSTR("\0\1"))),
              "-50 null:");
    AEDesc desc;
    AEInitializeDesc(&desc);
    EXPECT_EQ(VTCreateAEDescWithURL(&desc, url.get()), paramErr);
    EXPECT_EQ(desc.descriptorType, OSType(typeNull));

    CFRef<CFURLRef> missing = vt::test::FileURL(folder.Join("missing"));
    EXPECT_EQ(Build(VTCreateFSRefDescWithFileURL, missing.get()), "-43 null:");
    EXPECT_EQ(Build(VTCreateAliasDescWithFileURL, missing.get()), "-43 null:");
}
