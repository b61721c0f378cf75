// Folder creation inside a library's folder: refusals, literal names, and
// folders that cannot be made.
#include "tests/libraries/LibrariesTestSupport.h"

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

    // How many items lie anywhere under tree_.
    size_t ItemCount() const {
        auto items = fs::recursive_directory_iterator(tree_.Path());
        return size_t(std::distance(fs::begin(items), fs::end(items)));
    }

    vt::test::TempFolder tree_;
};

} // namespace

TEST_F(LibraryFolders, RefusesMissingArgumentsBadNamesAndUnknownLibraries) {
    const UniChar withNul[] = {'a', 0, 'b'};
    CFRef<CFStringRef> nul(CFStringCreateWithCharacters(nullptr, withNul, 3));
    const std::string missing = kName + ":: Required input parameter is NULL.";
    const std::string invalid = kName + ":: Folder name not valid.";
    const struct {
        CFStringRef library, name;
        std::string said;
    } rows[] = {
        {kVTUserLibraryID, nullptr, missing},
        {nullptr, CFSTR("x"), missing},
        {kVTUserLibraryID, CFSTR(""), invalid},
        {kVTUserLibraryID, CFSTR("."), invalid},
        {kVTUserLibraryID, CFSTR(".."), invalid},
        {kVTUserLibraryID, CFSTR("../x"), invalid},
        {kVTUserLibraryID, nul.get(), invalid},
        {CFSTR("lib.unknown"), CFSTR("x"), "VTLibraryGetValue: Can't find container."},
    };
    for (const auto &row : rows) {
        CFRef<CFMutableDictionaryRef> error;
        CFRef<CFURLRef> url(
            VTU_URLCreateFolderInParent(nullptr, row.library, row.name, error.Out()));
        EXPECT_FALSE(url) << row.said;
        EXPECT_EQ(Said(error.get()), row.said);
        EXPECT_EQ(Code(error.get()), row.said == rows[7].said ? -4960 : -50) << row.said;
    }
    // A library without a folder: no URL, no record.
    ASSERT_TRUE(Register(kVTUserLibraryID, CFSTR("lib.nofolder")));
    CFRef<CFMutableDictionaryRef> error;
    CFRef<CFURLRef> url(
        VTU_URLCreateFolderInParent(nullptr, CFSTR("lib.nofolder"), CFSTR("x"), error.Out()));
    EXPECT_FALSE(url || error);
    EXPECT_EQ(ItemCount(), 1u);
}

TEST_F(LibraryFolders, NamesAreTakenLiterallyAsOneComponent) {
    for (const std::string name : {"a b%c", "..%2Fx"}) {
        CFRef<CFStringRef> text(NewString(name));
        CFRef<CFMutableDictionaryRef> error;
        CFRef<CFURLRef> first(
            VTU_URLCreateFolderInParent(nullptr, kVTUserLibraryID, text.get(), error.Out()));
        EXPECT_FALSE(error) << Said(error.get());
        EXPECT_TRUE(first && CFURLHasDirectoryPath(first.get()));
        EXPECT_EQ(vt::test::PathOf(first.get()), Folder() + "/" + name);
        EXPECT_TRUE(fs::is_directory(Folder() + "/" + name)) << name;
        CFRef<CFURLRef> again(
            VTU_URLCreateFolderInParent(nullptr, kVTUserLibraryID, text.get(), nullptr));
        EXPECT_TRUE(again && CFEqual(first.get(), again.get())) << name;
    }
    EXPECT_EQ(ItemCount(), 3u); // lib and its two folders
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

    // The library's folder is gone: the URL with the record, or nothing.
    fs::remove_all(Folder());
    url.Reset(VTU_URLCreateFolderInParent(nullptr, kVTUserLibraryID, CFSTR("new"), error.Out()));
    EXPECT_EQ(vt::test::PathOf(url.get()), Folder() + "/new");
    EXPECT_EQ(Said(error.get()), "Problem creating directory");
    url.Reset(VTU_URLCreateFolderInParent(nullptr, kVTUserLibraryID, CFSTR("new"), nullptr));
    EXPECT_FALSE(url);
}
