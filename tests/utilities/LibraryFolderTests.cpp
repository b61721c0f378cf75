// Folder creation inside a library's folder: refusals, literal names, and
// folders that cannot be made.
#include "tests/libraries/LibrariesTestSupport.h"

#include <algorithm>
#include <filesystem>

using vt::CFRef;
using namespace vt::test::libraries;
namespace fs = std::filesystem;

namespace {

const std::string kName = "VTU_URLCreateFolderInParent";

class LibraryFolders : public LibrariesTest {
  protected:
    void SetUp() override {
        LibrariesTest::SetUp();
        ASSERT_TRUE(CreateDocument());
        ASSERT_TRUE(vt::test::MakeFolders(Folder()));
        CFRef<CFURLRef> url(NewFolderURL(Folder()));
        ASSERT_TRUE(Register(kVTRootModuleIDUser, kVTUserLibraryID, nullptr, url.get()));
    }

    std::string Folder() const { return tree_.Join("lib"); }

    // Everything under tree_, to show that nothing was created.
    std::vector<std::string> Contents() const {
        std::vector<std::string> paths;
        for (const auto &item : fs::recursive_directory_iterator(tree_.Path()))
            paths.push_back(item.path().string());
        std::sort(paths.begin(), paths.end());
        return paths;
    }

    vt::test::TempFolder tree_;
};

} // namespace

TEST_F(LibraryFolders, RefusesMissingArgumentsBadNamesAndUnknownLibraries) {
    std::vector<std::string> before = Contents();
    struct Row {
        CFStringRef library;
        CFStringRef name;
        std::string said;
        CFIndex code;
    };
    const UniChar withNul[] = {'a', 0, 'b'};
    CFRef<CFStringRef> nul(CFStringCreateWithCharacters(nullptr, withNul, 3));
    const Row rows[] = {
        {kVTUserLibraryID, nullptr, kName + ":: Required input parameter is NULL.", -50},
        {nullptr, CFSTR("x"), kName + ":: Required input parameter is NULL.", -50},
        {kVTUserLibraryID, CFSTR(""), kName + ":: Folder name not valid.", -50},
        {kVTUserLibraryID, CFSTR("."), kName + ":: Folder name not valid.", -50},
        {kVTUserLibraryID, CFSTR(".."), kName + ":: Folder name not valid.", -50},
        {kVTUserLibraryID, CFSTR("../x"), kName + ":: Folder name not valid.", -50},
        {kVTUserLibraryID, CFSTR("a/b"), kName + ":: Folder name not valid.", -50},
        {kVTUserLibraryID, nul.get(), kName + ":: Folder name not valid.", -50},
        {CFSTR("lib.unknown"), CFSTR("x"), "VTLibraryGetValue: Can't find container.", -4960},
    };
    for (const Row &row : rows) {
        CFRef<CFMutableDictionaryRef> error;
        CFRef<CFURLRef> url(
            VTU_URLCreateFolderInParent(nullptr, row.library, row.name, error.Out()));
        EXPECT_FALSE(url) << row.said;
        EXPECT_EQ(Said(error.get()), row.said);
        EXPECT_EQ(Code(error.get()), row.code) << row.said;
    }
    // A library without a folder: no URL, no record.
    ASSERT_TRUE(Register(kVTUserLibraryID, CFSTR("lib.nofolder")));
    CFRef<CFMutableDictionaryRef> error;
    CFRef<CFURLRef> url(
        VTU_URLCreateFolderInParent(nullptr, CFSTR("lib.nofolder"), CFSTR("x"), error.Out()));
    EXPECT_FALSE(url);
    EXPECT_FALSE(error);
    EXPECT_EQ(Contents(), before);
}

TEST_F(LibraryFolders, NamesAreTakenLiterallyAsOneComponent) {
    for (const std::string name : {"a b%c", "..%2Fx", "..."}) {
        CFRef<CFStringRef> text(NewString(name));
        CFRef<CFMutableDictionaryRef> error;
        CFRef<CFURLRef> first(
            VTU_URLCreateFolderInParent(nullptr, kVTUserLibraryID, text.get(), error.Out()));
        ASSERT_TRUE(first) << name;
        EXPECT_FALSE(error) << Said(error.get());
        EXPECT_TRUE(CFURLHasDirectoryPath(first.get()));
        EXPECT_EQ(vt::test::PathOf(first.get()), Folder() + "/" + name);
        EXPECT_TRUE(fs::is_directory(Folder() + "/" + name)) << name;
        // Again: the same URL, and still one folder of that name.
        CFRef<CFURLRef> second(
            VTU_URLCreateFolderInParent(nullptr, kVTUserLibraryID, text.get(), nullptr));
        EXPECT_TRUE(second && CFEqual(first.get(), second.get())) << name;
    }
    EXPECT_EQ(Contents().size(), 4u); // lib and its three folders
}

TEST_F(LibraryFolders, FolderThatCannotBeMadeIsAFailure) {
    ASSERT_TRUE(vt::test::WriteFile(Folder() + "/taken", "file"));
    CFRef<CFMutableDictionaryRef> error;
    CFRef<CFURLRef> url(
        VTU_URLCreateFolderInParent(nullptr, kVTUserLibraryID, CFSTR("taken"), error.Out()));
    EXPECT_FALSE(url);
    EXPECT_EQ(Said(error.get()), "Problem creating directory");
    EXPECT_EQ(Code(error.get()), kCFURLResourceAccessViolationError);
    url.Reset(VTU_URLCreateFolderInParent(nullptr, kVTUserLibraryID, CFSTR("taken"), nullptr));
    EXPECT_FALSE(url);
    EXPECT_TRUE(fs::is_regular_file(Folder() + "/taken"));

    // The library's folder is gone: the URL with the record, or nothing.
    fs::remove_all(Folder());
    url.Reset(VTU_URLCreateFolderInParent(nullptr, kVTUserLibraryID, CFSTR("new"), error.Out()));
    EXPECT_EQ(vt::test::PathOf(url.get()), Folder() + "/new");
    EXPECT_EQ(Said(error.get()), "Problem creating directory");
    url.Reset(VTU_URLCreateFolderInParent(nullptr, kVTUserLibraryID, CFSTR("new"), nullptr));
    EXPECT_FALSE(url);
    EXPECT_FALSE(fs::exists(Folder()));
}
