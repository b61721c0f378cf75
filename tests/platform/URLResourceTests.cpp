// File resources and file-system references through URLs.
#include <CoreFoundation/CoreFoundation.h>
#include <CoreServices/CoreServices.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "ValuesTestSupport.h"
#include "platform/values/Cast.h"
#include "support/TestSupport.h"

using vt::CFRef;
using vt::test::StringOf;

namespace {

CFRef<CFURLRef> PathURL(const std::string &path, bool isDirectory = false) {
    CFRef<CFStringRef> string(
        CFStringCreateWithCString(nullptr, path.c_str(), kCFStringEncodingUTF8));
    return CFRef<CFURLRef>(
        CFURLCreateWithFileSystemPath(nullptr, string.get(), kCFURLPOSIXPathStyle, isDirectory));
}

CFRef<CFURLRef> TextURL(const char *text) {
    CFRef<CFStringRef> string(CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8));
    return CFRef<CFURLRef>(CFURLCreateWithString(nullptr, string.get(), nullptr));
}

CFRef<CFDataRef> Data(const std::string &bytes) {
    return CFRef<CFDataRef>(CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(bytes.data()),
                                         CFIndex(bytes.size())));
}

// The property and the error code it came with.
std::pair<CFRef<CFTypeRef>, SInt32> Property(CFURLRef url, CFStringRef key) {
    SInt32 code = 12345;
    CFRef<CFTypeRef> value(CFURLCreatePropertyFromResource(nullptr, url, key, &code));
    return {std::move(value), code};
}

SInt32 Write(CFURLRef url, const std::string &bytes, CFDictionaryRef properties = nullptr) {
    SInt32 code = 12345;
    Boolean ok = CFURLWriteDataAndPropertiesToResource(url, Data(bytes).get(), properties, &code);
    EXPECT_EQ(bool(ok), code == 0);
    return code;
}

std::pair<std::string, SInt32> Read(CFURLRef url) {
    CFDataRef data = nullptr;
    SInt32 code = 12345;
    Boolean ok =
        CFURLCreateDataAndPropertiesFromResource(nullptr, url, &data, nullptr, nullptr, &code);
    EXPECT_EQ(bool(ok), code == 0);
    EXPECT_EQ(data != nullptr, code == 0);
    CFRef<CFDataRef> held(data);
    if (!data) return {"", code};
    return {std::string(reinterpret_cast<const char *>(CFDataGetBytePtr(data)),
                        size_t(CFDataGetLength(data))),
            code};
}

std::vector<std::string> ListingTexts(CFTypeRef listing) {
    std::vector<std::string> texts;
    auto array = vt::cf::Cast<CFArrayRef>(listing);
    for (CFIndex i = 0; i < CFArrayGetCount(array); ++i)
        texts.push_back(
            StringOf(CFURLGetString(vt::cf::Cast<CFURLRef>(CFArrayGetValueAtIndex(array, i)))));
    return texts;
}

long NumberOf(CFTypeRef number) {
    return vt::test::LongOf(number);
}

mode_t ModeOf(const std::string &path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

} // namespace

TEST(URLResource, ExistenceAndSortedEscapedListings) {
    vt::test::TempFolder temp;
    const std::string dir = temp.Join("d");
    ASSERT_TRUE(vt::test::MakeFolders(dir + "/sub"));
    ASSERT_TRUE(vt::test::MakeFolders(dir + "/empty"));
    for (const char *name : {"b", "a b", "%", "caf\xc3\xa9", "Z#?"})
        ASSERT_TRUE(vt::test::WriteFile(dir + "/" + name, "x"));
    ASSERT_EQ(symlink("sub", (dir + "/link").c_str()), 0);

    EXPECT_EQ(Property(PathURL(dir + "/b").get(), kCFURLFileExists).first.get(), kCFBooleanTrue);
    EXPECT_EQ(Property(PathURL(dir, true).get(), kCFURLFileExists).first.get(), kCFBooleanTrue);
    auto [missing, missingCode] = Property(PathURL(dir + "/nope").get(), kCFURLFileExists);
    EXPECT_EQ(missing.get(), kCFBooleanFalse);
    EXPECT_EQ(missingCode, 0);

    // A folder URL without the trailing "/" lists the same, relative to the folder.
    for (bool isDirectory : {true, false}) {
        CFRef<CFURLRef> folder = PathURL(dir, isDirectory);
        auto [listing, code] = Property(folder.get(), kCFURLFileDirectoryContents);
        ASSERT_TRUE(listing);
        EXPECT_EQ(code, 0);
        std::vector<std::string> expected = {"%25",       "Z%23%3F", "a%20b", "b",
                                             "caf%C3%A9", "empty/",  "link/", "sub/"};
        EXPECT_EQ(ListingTexts(listing.get()), expected);
        auto first = vt::cf::Cast<CFURLRef>(
            CFArrayGetValueAtIndex(vt::cf::Cast<CFArrayRef>(listing.get()), 2));
        ASSERT_NE(first, nullptr);
        CFRef<CFStringRef> path(CFURLCopyFileSystemPath(first, kCFURLPOSIXPathStyle));
        EXPECT_EQ(StringOf(path.get()), dir + "/a b");
        EXPECT_EQ(StringOf(CFURLGetString(CFURLGetBaseURL(first))), "file://" + dir + "/");
    }
    auto [empty, emptyCode] =
        Property(PathURL(dir + "/empty", true).get(), kCFURLFileDirectoryContents);
    ASSERT_TRUE(empty);
    EXPECT_EQ(CFArrayGetCount(vt::cf::Cast<CFArrayRef>(empty.get())), 0);

    auto [none, noneCode] =
        Property(PathURL(dir + "/nope", true).get(), kCFURLFileDirectoryContents);
    EXPECT_FALSE(none);
    EXPECT_EQ(noneCode, kCFURLResourceNotFoundError);
    auto [ofFile, ofFileCode] =
        Property(PathURL(dir + "/b", true).get(), kCFURLFileDirectoryContents);
    EXPECT_FALSE(ofFile);
    EXPECT_EQ(ofFileCode, kCFURLResourceNotFoundError);
}

TEST(URLResource, WholeFilesAndTheirProperties) {
    vt::test::TempFolder temp;
    CFRef<CFURLRef> url = PathURL(temp.Join("f i\xc3\xa9.bin"));
    std::string bytes("a\0b\xff", 4);
    EXPECT_EQ(Write(url.get(), bytes), 0);
    EXPECT_EQ(vt::test::ReadFile(temp.Join("f i\xc3\xa9.bin")), bytes);
    EXPECT_EQ(Read(url.get()), std::make_pair(bytes, SInt32(0)));
    EXPECT_EQ(Write(url.get(), ""), 0);
    EXPECT_EQ(Read(url.get()), std::make_pair(std::string(), SInt32(0)));
    std::string big(300000, 'q');
    EXPECT_EQ(Write(url.get(), big), 0);
    EXPECT_EQ(Read(url.get()).first, big);

    EXPECT_EQ(NumberOf(Property(url.get(), kCFURLFileLength).first.get()), 300000);
    CFRef<CFStringRef> sameKey(
        CFStringCreateWithCString(nullptr, "kCFURLFileLength", kCFStringEncodingUTF8));
    EXPECT_EQ(NumberOf(Property(url.get(), sameKey.get()).first.get()), 300000);
    auto [time, timeCode] = Property(url.get(), kCFURLFileLastModificationTime);
    auto date = vt::cf::Cast<CFDateRef>(time.get());
    ASSERT_NE(date, nullptr);
    EXPECT_NEAR(CFDateGetAbsoluteTime(date), CFAbsoluteTimeGetCurrent(), 60);

    // Writing the permission bits alongside the data.
    SInt32 mode = 0640;
    CFRef<CFNumberRef> modeNumber(CFNumberCreate(nullptr, kCFNumberSInt32Type, &mode));
    const void *keys[] = {kCFURLFilePOSIXMode};
    const void *values[] = {modeNumber.get()};
    CFRef<CFDictionaryRef> properties(CFDictionaryCreate(nullptr, keys, values, 1,
                                                         &kCFTypeDictionaryKeyCallBacks,
                                                         &kCFTypeDictionaryValueCallBacks));
    EXPECT_EQ(Write(url.get(), "new", properties.get()), 0);
    EXPECT_EQ(ModeOf(temp.Join("f i\xc3\xa9.bin")), 0640u);
    EXPECT_EQ(NumberOf(Property(url.get(), kCFURLFilePOSIXMode).first.get()), 0640);

    // Any other key is refused before anything is written.
    const void *badKeys[] = {kCFURLFileLength};
    CFRef<CFDictionaryRef> bad(CFDictionaryCreate(nullptr, badKeys, values, 1,
                                                  &kCFTypeDictionaryKeyCallBacks,
                                                  &kCFTypeDictionaryValueCallBacks));
    EXPECT_EQ(Write(url.get(), "other", bad.get()), kCFURLUnknownPropertyKeyError);
    EXPECT_EQ(Read(url.get()).first, "new");

    // All properties of a file: no listing, and no failure for its absence.
    CFDictionaryRef all = nullptr;
    SInt32 code = 1;
    EXPECT_TRUE(CFURLCreateDataAndPropertiesFromResource(nullptr, url.get(), nullptr, &all, nullptr,
                                                         &code));
    CFRef<CFDictionaryRef> heldAll(all);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(CFDictionaryGetValue(all, kCFURLFileExists), kCFBooleanTrue);
    EXPECT_EQ(NumberOf(CFDictionaryGetValue(all, kCFURLFileLength)), 3);
    EXPECT_FALSE(CFDictionaryContainsKey(all, kCFURLFileDirectoryContents));
    // Asked for by name, the listing of a file fails.
    const void *wanted[] = {kCFURLFileDirectoryContents, kCFURLFileExists};
    CFRef<CFArrayRef> desired(CFArrayCreate(nullptr, wanted, 2, &kCFTypeArrayCallBacks));
    CFDictionaryRef some = nullptr;
    EXPECT_FALSE(CFURLCreateDataAndPropertiesFromResource(nullptr, url.get(), nullptr, &some,
                                                          desired.get(), &code));
    CFRef<CFDictionaryRef> heldSome(some);
    EXPECT_EQ(code, kCFURLResourceNotFoundError);
    EXPECT_EQ(CFDictionaryGetValue(some, kCFURLFileExists), kCFBooleanTrue);
}

TEST(URLResource, FoldersAreCreatedOneAtATimeAndDestroyed) {
    vt::test::TempFolder temp;
    CFRef<CFURLRef> folder = PathURL(temp.Join("new dir"), true);
    EXPECT_EQ(Write(folder.get(), "ignored"), 0);
    struct stat st {};
    ASSERT_EQ(stat(temp.Join("new dir").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(Write(folder.get(), "ignored"), 0);
    SInt32 code = 1;
    EXPECT_TRUE(CFURLWriteDataAndPropertiesToResource(folder.get(), nullptr, nullptr, &code));

    // No missing parents.
    EXPECT_EQ(Write(PathURL(temp.Join("a/b"), true).get(), ""), kCFURLResourceNotFoundError);
    EXPECT_FALSE(vt::test::Exists(temp.Join("a")));
    // A file where the folder would go.
    ASSERT_TRUE(vt::test::WriteFile(temp.Join("plain"), "x"));
    EXPECT_EQ(Write(PathURL(temp.Join("plain"), true).get(), ""),
              kCFURLResourceAccessViolationError);

    ASSERT_TRUE(vt::test::WriteFile(temp.Join("new dir/f"), "x"));
    EXPECT_FALSE(CFURLDestroyResource(folder.get(), &code));
    EXPECT_EQ(code, kCFURLUnknownError);
    EXPECT_TRUE(CFURLDestroyResource(PathURL(temp.Join("new dir/f")).get(), &code));
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(CFURLDestroyResource(folder.get(), nullptr));
    EXPECT_FALSE(vt::test::Exists(temp.Join("new dir")));
    EXPECT_FALSE(CFURLDestroyResource(folder.get(), &code));
    EXPECT_EQ(code, kCFURLResourceNotFoundError);
}

TEST(URLResource, ErrorCodes) {
    vt::test::TempFolder temp;
    ASSERT_TRUE(vt::test::WriteFile(temp.Join("file"), "x"));
    // A path through a regular file, and a missing parent.
    EXPECT_EQ(Write(PathURL(temp.Join("file/x")).get(), "y"), kCFURLResourceNotFoundError);
    EXPECT_EQ(Write(PathURL(temp.Join("missing/x")).get(), "y"), kCFURLResourceNotFoundError);
    EXPECT_EQ(Read(PathURL(temp.Join("missing")).get()).second, kCFURLResourceNotFoundError);
    // Even root may not create items in sysfs.
    if (vt::test::Exists("/sys/kernel")) {
        EXPECT_EQ(Write(PathURL("/sys/vantrell-test").get(), "y"),
                  kCFURLResourceAccessViolationError);
        EXPECT_EQ(Write(PathURL("/sys/vantrell-test", true).get(), ""),
                  kCFURLResourceAccessViolationError);
    }
    // A folder read as a file, or written over by one.
    EXPECT_EQ(Read(PathURL(temp.Path(), true).get()).second, kCFURLUnknownError);
    EXPECT_EQ(Write(PathURL(temp.Path()).get(), "y"), kCFURLUnknownError);

    EXPECT_EQ(Read(TextURL("http://example.com/x").get()).second, kCFURLUnknownSchemeError);
    EXPECT_EQ(Read(TextURL("relative/x").get()).second, kCFURLUnknownSchemeError);
    EXPECT_EQ(Read(TextURL("file://elsewhere/x").get()).second, kCFURLRemoteHostUnavailableError);
    EXPECT_EQ(Read(TextURL(("file://localhost" + temp.Join("file")).c_str()).get()).first, "x");
    EXPECT_EQ(Read(TextURL("file:///tmp/a%00b").get()).second, kCFURLImproperArgumentsError);

    CFRef<CFURLRef> url = PathURL(temp.Join("file"));
    auto [unknown, unknownCode] = Property(url.get(), CFSTR("NoSuchKey"));
    EXPECT_FALSE(unknown);
    EXPECT_EQ(unknownCode, kCFURLUnknownPropertyKeyError);
    auto [length, lengthCode] = Property(PathURL(temp.Join("gone")).get(), kCFURLFileLength);
    EXPECT_FALSE(length);
    EXPECT_EQ(lengthCode, kCFURLResourceNotFoundError);

    // NULL and wrong types; NULL error pointers are allowed.
    SInt32 code = 1;
    auto notURL = reinterpret_cast<CFURLRef>(CFSTR("file:///tmp"));
    for (CFURLRef bad : {static_cast<CFURLRef>(nullptr), notURL}) {
        EXPECT_FALSE(CFURLCreatePropertyFromResource(nullptr, bad, kCFURLFileExists, &code));
        EXPECT_EQ(code, kCFURLImproperArgumentsError);
        EXPECT_FALSE(CFURLDestroyResource(bad, &code));
        EXPECT_EQ(code, kCFURLImproperArgumentsError);
        EXPECT_FALSE(CFURLWriteDataAndPropertiesToResource(bad, Data("x").get(), nullptr, nullptr));
        CFDataRef data = reinterpret_cast<CFDataRef>(1);
        EXPECT_FALSE(
            CFURLCreateDataAndPropertiesFromResource(nullptr, bad, &data, nullptr, nullptr, &code));
        EXPECT_EQ(data, nullptr);
        EXPECT_FALSE(CFURLGetFSRef(bad, nullptr));
    }
    EXPECT_FALSE(CFURLCreatePropertyFromResource(nullptr, url.get(), nullptr, &code));
    EXPECT_EQ(code, kCFURLImproperArgumentsError);
    EXPECT_FALSE(CFURLWriteDataAndPropertiesToResource(url.get(), nullptr, nullptr, &code));
    EXPECT_EQ(code, kCFURLImproperArgumentsError);
    EXPECT_FALSE(CFURLWriteDataAndPropertiesToResource(
        url.get(), reinterpret_cast<CFDataRef>(CFSTR("x")), nullptr, &code));
    EXPECT_FALSE(CFURLWriteDataAndPropertiesToResource(
        url.get(), Data("x").get(), reinterpret_cast<CFDictionaryRef>(CFSTR("x")), &code));
    EXPECT_EQ(code, kCFURLImproperArgumentsError);
    EXPECT_FALSE(CFURLCreateDataAndPropertiesFromResource(
        nullptr, url.get(), nullptr, nullptr, reinterpret_cast<CFArrayRef>(CFSTR("x")), &code));
    EXPECT_EQ(code, kCFURLImproperArgumentsError);
    EXPECT_EQ(vt::test::ReadFile(temp.Join("file")), "x");
}

TEST(FSRef, RoundTripsAndFailsOnceTheItemIsGoneOrReplaced) {
    vt::test::TempFolder temp;
    ASSERT_TRUE(vt::test::MakeFolders(temp.Join("dir x")));
    ASSERT_TRUE(vt::test::WriteFile(temp.Join("dir x/f"), "1"));

    FSRef folderRef, fileRef;
    Boolean isDirectory = false;
    const std::string viaDots = temp.Join("dir x/../dir x");
    ASSERT_EQ(
        FSPathMakeRef(reinterpret_cast<const UInt8 *>(viaDots.c_str()), &folderRef, &isDirectory),
        noErr);
    EXPECT_TRUE(isDirectory);
    UInt8 path[4096];
    ASSERT_EQ(FSRefMakePath(&folderRef, path, sizeof path), noErr);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(path)), temp.Join("dir x"));
    CFRef<CFURLRef> folderURL(CFURLCreateFromFSRef(nullptr, &folderRef));
    EXPECT_EQ(StringOf(CFURLGetString(folderURL.get())), "file://" + temp.Path() + "/dir%20x/");

    CFRef<CFURLRef> fileURL = PathURL(temp.Join("dir x/f"));
    ASSERT_TRUE(CFURLGetFSRef(fileURL.get(), &fileRef));
    CFRef<CFURLRef> back(CFURLCreateFromFSRef(nullptr, &fileRef));
    EXPECT_TRUE(CFEqual(back.get(), fileURL.get()));
    FSRef again;
    ASSERT_TRUE(CFURLGetFSRef(fileURL.get(), &again));
    EXPECT_EQ(std::memcmp(&again, &fileRef, sizeof again), 0);
    EXPECT_FALSE(CFURLGetFSRef(PathURL(temp.Join("nothing")).get(), &again));
    EXPECT_FALSE(CFURLGetFSRef(TextURL("http://h/").get(), &again));

    // Replaced by another file under the same name.
    ASSERT_TRUE(vt::test::WriteFile(temp.Join("dir x/g"), "2"));
    ASSERT_EQ(rename(temp.Join("dir x/g").c_str(), temp.Join("dir x/f").c_str()), 0);
    EXPECT_EQ(FSRefMakePath(&fileRef, path, sizeof path), fnfErr);
    EXPECT_EQ(CFURLCreateFromFSRef(nullptr, &fileRef), nullptr);
    // Removed.
    ASSERT_TRUE(CFURLGetFSRef(fileURL.get(), &fileRef));
    ASSERT_EQ(unlink(temp.Join("dir x/f").c_str()), 0);
    EXPECT_EQ(FSRefMakePath(&fileRef, path, sizeof path), fnfErr);

    // Invalid references and arguments.
    FSRef zeroed{};
    EXPECT_EQ(FSRefMakePath(&zeroed, path, sizeof path), paramErr);
    EXPECT_EQ(CFURLCreateFromFSRef(nullptr, &zeroed), nullptr);
    for (size_t i : {size_t(0), size_t(9), size_t(20), size_t(33), size_t(79)}) {
        FSRef damaged = folderRef;
        damaged.hidden[i] ^= 0x40;
        EXPECT_NE(FSRefMakePath(&damaged, path, sizeof path), noErr) << i;
    }
    EXPECT_EQ(FSRefMakePath(&folderRef, path, UInt32(temp.Join("dir x").size())), paramErr);
    EXPECT_EQ(FSRefMakePath(nullptr, path, sizeof path), paramErr);
    EXPECT_EQ(FSRefMakePath(&folderRef, nullptr, sizeof path), paramErr);
    EXPECT_EQ(CFURLCreateFromFSRef(nullptr, nullptr), nullptr);
    EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8 *>("/no/such/item"), &zeroed, nullptr),
              fnfErr);
    EXPECT_EQ(FSPathMakeRef(nullptr, &zeroed, nullptr), paramErr);
    EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8 *>("/"), nullptr, nullptr), paramErr);
}
