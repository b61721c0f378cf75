// File-system operations on URLs: folder creation, copying, listing, path
// data, path resolution and URL registration.
#include <Vantrell/Vantrell.h>
#include <gtest/gtest.h>

#include "platform/values/Cast.h"
#include "platform/values/Holder.h"
#include "support/TestSupport.h"
#include "utilities/UtilitiesPrivate.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

using vt::CFRef;
using vt::test::StringOf;
namespace fs = std::filesystem;

namespace {

CFRef<CFStringRef> String(const std::string &text) {
    return CFRef<CFStringRef>(
        CFStringCreateWithCString(nullptr, text.c_str(), kCFStringEncodingUTF8));
}

CFRef<CFURLRef> URL(const std::string &path, bool isDirectory) {
    return CFRef<CFURLRef>(CFURLCreateWithFileSystemPath(nullptr, String(path).get(),
                                                         kCFURLPOSIXPathStyle, isDirectory));
}

std::string Captured(const std::function<void()> &body) {
    testing::internal::CaptureStderr();
    body();
    return testing::internal::GetCapturedStderr();
}

std::vector<std::string> Names(CFArrayRef entries) {
    std::vector<std::string> names;
    for (CFIndex i = 0; i < CFArrayGetCount(entries); ++i)
        names.push_back(
            StringOf(CFURLGetString(vt::cf::Cast<CFURLRef>(CFArrayGetValueAtIndex(entries, i)))));
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(URLFiles, FolderCreationMakesOneMissingFolder) {
    vt::test::TempFolder temp;
    std::string folder = temp.Join("new");
    EXPECT_EQ(VTU_URLCreateFolderWithURL(nullptr, URL(folder, true).get()), nullptr);
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_TRUE(VTPrivate_URLResourceExists(nullptr, URL(folder, true).get()));
    EXPECT_EQ(VTU_URLTargetExists(nullptr, nullptr), nullptr);

    // Something already there is left alone.
    ASSERT_TRUE(vt::test::WriteFile(folder + "/file", "text"));
    EXPECT_EQ(VTU_URLCreateFolderWithURL(nullptr, URL(folder, true).get()), nullptr);
    EXPECT_EQ(VTU_URLCreateFolderWithURL(nullptr, URL(folder + "/file", true).get()), nullptr);
    EXPECT_EQ(vt::test::ReadFile(folder + "/file"), "text");
    EXPECT_EQ(VTU_URLCreateFolderWithURL(nullptr, nullptr), nullptr);

    // A URL without the trailing "/" still gives a folder, not a one-byte file.
    EXPECT_EQ(VTU_URLCreateFolderWithURL(nullptr, URL(temp.Join("plain"), false).get()), nullptr);
    EXPECT_TRUE(fs::is_directory(temp.Join("plain")));

    // Missing parents are not made: the failure is returned and shown.
    CFRef<CFMutableDictionaryRef> error;
    std::string err = Captured([&] {
        error.Reset(
            VTU_URLCreateFolderWithURL(nullptr, URL(temp.Join("no/such/folder"), true).get()));
    });
    ASSERT_TRUE(error);
    EXPECT_EQ(VTU_ErrorGetCode(error.get()), kCFURLResourceNotFoundError);
    EXPECT_EQ(StringOf(VTErrorGetDescription(error.get())), "Problem creating directory");
    EXPECT_NE(err.find("VTU_URLCreateFolderWithURL"), std::string::npos) << err;
    EXPECT_NE(err.find("Problem creating directory"), std::string::npos) << err;
    EXPECT_FALSE(vt::test::Exists(temp.Join("no")));
}

TEST(URLFiles, CopyFileToFolderNamesKeepsAndOverwrites) {
    vt::test::TempFolder temp;
    ASSERT_TRUE(vt::test::WriteFile(temp.Join("source.scpt"), "new contents"));
    ASSERT_TRUE(vt::test::MakeFolders(temp.Join("target")));
    CFRef<CFURLRef> source = URL(temp.Join("source.scpt"), false);
    CFRef<CFURLRef> folder = URL(temp.Join("target"), true);

    EXPECT_EQ(VTU_URLCopyFileToFolder(nullptr, source.get(), folder.get(), nullptr, nullptr),
              nullptr);
    EXPECT_EQ(vt::test::ReadFile(temp.Join("target/source.scpt")), "new contents");
    EXPECT_EQ(VTU_URLCopyFileToFolder(nullptr, source.get(), folder.get(), CFSTR("Other Name.scpt"),
                                      kCFBooleanFalse),
              nullptr);
    EXPECT_EQ(vt::test::ReadFile(temp.Join("target/Other Name.scpt")), "new contents");

    ASSERT_TRUE(vt::test::WriteFile(temp.Join("target/kept.scpt"), "old"));
    EXPECT_EQ(VTU_URLCopyFileToFolder(nullptr, source.get(), folder.get(), CFSTR("kept.scpt"),
                                      kCFBooleanTrue),
              nullptr);
    EXPECT_EQ(vt::test::ReadFile(temp.Join("target/kept.scpt")), "old");
    EXPECT_EQ(
        VTU_URLCopyFileToFolder(nullptr, source.get(), folder.get(), CFSTR("kept.scpt"), nullptr),
        nullptr);
    EXPECT_EQ(vt::test::ReadFile(temp.Join("target/kept.scpt")), "new contents");

    CFRef<CFMutableDictionaryRef> error(
        VTU_URLCopyFileToFolder(nullptr, nullptr, folder.get(), nullptr, nullptr));
    EXPECT_EQ(VTU_ErrorGetCode(error.get()), -50);
    error.Reset(VTU_URLCopyFileToFolder(nullptr, URL(temp.Join("missing"), false).get(),
                                        folder.get(), nullptr, nullptr));
    EXPECT_EQ(VTU_ErrorGetCode(error.get()), kCFURLResourceNotFoundError);
    EXPECT_EQ(StringOf(VTErrorGetDescription(error.get())), "Can't create data from resource.");
    error.Reset(VTU_URLCopyFileToFolder(nullptr, source.get(),
                                        URL(temp.Join("nowhere"), true).get(), nullptr, nullptr));
    EXPECT_EQ(VTU_ErrorGetCode(error.get()), kCFURLResourceNotFoundError);
    EXPECT_EQ(StringOf(VTErrorGetDescription(error.get())), "Can't write data to resource.");
}

// A name that is not UTF-8 has no string form: the copy keeps its bytes
// rather than an escaped spelling that may name another file.
TEST(URLFiles, CopyFileToFolderKeepsNamesThatAreNotUTF8) {
    vt::test::TempFolder temp;
    const std::string name = "bad\xff name";
    ASSERT_TRUE(vt::test::WriteFile(temp.Join(name), "new contents"));
    ASSERT_TRUE(vt::test::MakeFolders(temp.Join("target")));
    ASSERT_TRUE(vt::test::WriteFile(temp.Join("target/bad%FF name"), "someone else's"));
    std::string sourcePath = temp.Join(name);
    CFRef<CFURLRef> source(CFURLCreateFromFileSystemRepresentation(
        nullptr, reinterpret_cast<const UInt8 *>(sourcePath.data()), CFIndex(sourcePath.size()),
        false));
    ASSERT_TRUE(source);
    CFRef<CFURLRef> folder = URL(temp.Join("target"), true);

    EXPECT_EQ(VTU_URLCopyFileToFolder(nullptr, source.get(), folder.get(), nullptr, nullptr),
              nullptr);
    EXPECT_EQ(vt::test::ReadFile(temp.Join("target/" + name)), "new contents");
    EXPECT_EQ(vt::test::ReadFile(temp.Join("target/bad%FF name")), "someone else's");

    // Keeping an existing target looks at the same name.
    ASSERT_TRUE(vt::test::WriteFile(temp.Join("target/" + name), "kept"));
    EXPECT_EQ(VTU_URLCopyFileToFolder(nullptr, source.get(), folder.get(), nullptr, kCFBooleanTrue),
              nullptr);
    EXPECT_EQ(vt::test::ReadFile(temp.Join("target/" + name)), "kept");
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(temp.Join("target")))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"bad%FF name", name}));
}

TEST(URLFiles, DirectoryContentsLeaveOutFolderSettings) {
    vt::test::TempFolder temp;
    ASSERT_TRUE(vt::test::MakeFolders(temp.Join("full/sub")));
    ASSERT_TRUE(vt::test::MakeFolders(temp.Join("empty")));
    for (const char *name : {"full/.DS_Store", "full/a.scpt", "full/b c.scpt", "full/.ds_store"})
        ASSERT_TRUE(vt::test::WriteFile(temp.Join(name), "x"));

    CFRef<CFMutableArrayRef> entries(
        VTU_URLCopyDirectoryContents(nullptr, URL(temp.Join("full"), true).get()));
    ASSERT_TRUE(entries);
    EXPECT_EQ(Names(entries.get()),
              (std::vector<std::string>{".ds_store", "a.scpt", "b%20c.scpt", "sub/"}));
    entries.Reset(VTU_URLCopyDirectoryContents(nullptr, URL(temp.Join("empty"), true).get()));
    ASSERT_TRUE(entries);
    EXPECT_EQ(CFArrayGetCount(entries.get()), 0);
    EXPECT_EQ(VTU_URLCopyDirectoryContents(nullptr, URL(temp.Join("missing"), true).get()),
              nullptr);
    EXPECT_EQ(VTU_URLCopyDirectoryContents(nullptr, nullptr), nullptr);
}

TEST(URLFiles, PathDataGivesTheFormsAskedFor) {
    CFRef<CFURLRef> url = URL("/Library/Scripts/Modules/a b.scpt", false);
    CFStringRef hfs = nullptr;
    VTU_URLCopyPathData(nullptr, url.get(), nullptr, &hfs, nullptr);
    CFRef<CFStringRef> hfsHeld(hfs);
    EXPECT_EQ(StringOf(hfs), "Root:Library:Scripts:Modules:a b.scpt");

    CFStringRef posix = nullptr;
    CFDataRef bookmark = reinterpret_cast<CFDataRef>(CFSTR("sentinel"));
    VTU_URLCopyPathData(nullptr, url.get(), &posix, nullptr, &bookmark);
    CFRef<CFStringRef> posixHeld(posix);
    EXPECT_EQ(StringOf(posix), "/Library/Scripts/Modules/a b.scpt");
    // This platform has no bookmark functions to find by name.
    EXPECT_EQ(bookmark, nullptr);

    // No URL: nothing is touched.
    const CFStringRef untouched = CFSTR("untouched");
    posix = untouched;
    VTU_URLCopyPathData(nullptr, nullptr, &posix, nullptr, nullptr);
    EXPECT_EQ(posix, untouched);
}

TEST(URLFiles, RegisterURLWithoutLaunchServicesIsUnavailable) {
    CFRef<CFURLRef> url = URL("/Library/Scripts", true);
    std::string err = Captured([&] { EXPECT_EQ(VTPrivate_RegisterURL(url.get(), true), -600); });
    EXPECT_NE(err.find("CoreServices proc is NULL"), std::string::npos) << err;
    EXPECT_EQ(VTPrivate_RegisterURL(nullptr, false), -600);
}

TEST(URLFiles, ResolvingExpandsTildeLinksAndDots) {
    vt::test::TempFolder temp;
    std::string home = fs::canonical(temp.Path()).string();
    vt::test::ScopedEnvironment homeVariable("HOME", home);
    ASSERT_TRUE(vt::test::MakeFolders(temp.Join("real/inner")));
    fs::create_directory_symlink(temp.Join("real"), temp.Join("link"));

    CFRef<CFStringRef> resolved(
        VTPrivate_CreateStringByResolvingFileSystemPath(nullptr, CFSTR("~")));
    EXPECT_EQ(StringOf(resolved.get()), home);
    resolved.Reset(VTPrivate_CreateStringByResolvingFileSystemPath(
        nullptr, CFSTR("~/link/inner/../inner/./")));
    EXPECT_EQ(StringOf(resolved.get()), home + "/real/inner");
    // A pattern resolves its first match in sorted order.
    ASSERT_TRUE(vt::test::WriteFile(temp.Join("real/b.txt"), ""));
    ASSERT_TRUE(vt::test::WriteFile(temp.Join("real/a.txt"), ""));
    resolved.Reset(VTPrivate_CreateStringByResolvingFileSystemPath(nullptr, CFSTR("~/link/*.txt")));
    EXPECT_EQ(StringOf(resolved.get()), home + "/real/a.txt");

    // Paths longer than 1024 bytes resolve too.
    std::string deep = home;
    while (deep.size() < 1500)
        deep += "/" + std::string(60, 'd');
    ASSERT_TRUE(vt::test::MakeFolders(deep));
    resolved.Reset(
        VTPrivate_CreateStringByResolvingFileSystemPath(nullptr, String(deep + "/.").get()));
    EXPECT_EQ(StringOf(resolved.get()), deep);

    CFRef<CFURLRef> folder(
        VTU_URLCreateByResolvingFileSystemPath(nullptr, CFSTR("~/link"), kCFBooleanTrue));
    ASSERT_TRUE(folder);
    EXPECT_TRUE(CFURLHasDirectoryPath(folder.get()));
    CFRef<CFStringRef> path(CFURLCopyFileSystemPath(folder.get(), kCFURLPOSIXPathStyle));
    EXPECT_EQ(StringOf(path.get()), home + "/real");
    folder.Reset(VTU_URLCreateByResolvingFileSystemPath(nullptr, CFSTR("~/link"), kCFBooleanFalse));
    ASSERT_TRUE(folder);
    EXPECT_FALSE(CFURLHasDirectoryPath(folder.get()));
    EXPECT_EQ(VTU_URLCreateByResolvingFileSystemPath(nullptr, CFSTR("~"), nullptr), nullptr);
    EXPECT_EQ(VTU_URLCreateByResolvingFileSystemPath(nullptr, nullptr, kCFBooleanTrue), nullptr);
}

TEST(URLFiles, ResolvingFailuresAreWrittenToStandardError) {
    vt::test::TempFolder temp;
    CFRef<CFStringRef> pattern = String(temp.Join("nothing-*"));
    std::string err = Captured([&] {
        EXPECT_EQ(VTPrivate_CreateStringByResolvingFileSystemPath(nullptr, pattern.get()), nullptr);
    });
    EXPECT_EQ(err, "Problem resolving path: 3\n"); // GLOB_NOMATCH

    // glob finds the dangling link itself; realpath cannot follow it.
    fs::create_symlink(temp.Join("gone"), temp.Join("dangling"));
    CFRef<CFStringRef> dangling = String(temp.Join("dangling"));
    err = Captured([&] {
        EXPECT_EQ(VTPrivate_CreateStringByResolvingFileSystemPath(nullptr, dangling.get()),
                  nullptr);
    });
    EXPECT_EQ(err.rfind("Problem resolving path: ", 0), 0u) << err;
    EXPECT_EQ(VTPrivate_CreateStringByResolvingFileSystemPath(nullptr, nullptr), nullptr);
}
