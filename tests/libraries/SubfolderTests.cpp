// Subfolder registration: refusals first, then a real folder tree.
#include "tests/libraries/LibrariesTestSupport.h"

#include "utilities/UtilitiesPrivate.h"

#include <filesystem>

using vt::CFRef;
using namespace vt::test::libraries;

namespace {

const std::string kAuto = "info.module.library.id.auto.";
// MD5 of the names in URL form.
const std::string kBeta = kAuto + "0b87d66b88c72957dfea8c9605016442";   // "Beta"
const std::string kBlank = kAuto + "4c85f5eb3a20b8ad41bddfdd57ff6347";  // "a%20b"
const std::string kAlpha = kAuto + "6132295fcf5570fb8b0a944ef322a598";  // "Alpha"
const std::string kShared = kAuto + "a6156ea9d66fef24e87e841fbabf7cca"; // "Shared"
const std::string kZed = kAuto + "039c82509dd13bb913d4c1d881ca14aa";    // "Zed"

class Subfolders : public LibrariesTest {
  protected:
    void SetUp() override {
        LibrariesTest::SetUp();
        ASSERT_TRUE(CreateDocument());
        ASSERT_TRUE(Register(kVTRootModuleIDUser, kVTUserLibraryID));
    }

    // Registers a library for tree_/relative under the user library.
    CFRef<CFStringRef> Library(CFStringRef id, const std::string &relative) {
        EXPECT_TRUE(vt::test::MakeFolders(tree_.Join(relative)));
        CFRef<CFURLRef> url(NewFolderURL(tree_.Join(relative)));
        return Register(kVTUserLibraryID, id, nullptr, url.get());
    }

    static CFIndex LibraryCount() { return CFDictionaryGetCount(TableOf(kVTTopLevelKeyLibraries)); }

    // The map ID of tree_/relative's URL.
    std::string MapIDOf(const std::string &relative, bool folder) {
        CFRef<CFStringRef> path(NewString(tree_.Join(relative)));
        CFRef<CFURLRef> url(
            CFURLCreateWithFileSystemPath(nullptr, path.get(), kCFURLPOSIXPathStyle, folder));
        CFRef<CFStringRef> id(VTU_StringCreateHashedWithMD5(nullptr, CFURLGetString(url.get())));
        return StringOf(id.get());
    }

    static CFTypeRef Field(const std::string &libraryID, CFStringRef key, bool property = false) {
        CFRef<CFStringRef> id(NewString(libraryID));
        return property ? VTLibraryPropertyGetValue(nullptr, id.get(), key, nullptr)
                        : VTLibraryGetValue(nullptr, id.get(), key, nullptr);
    }

    vt::test::TempFolder tree_;
};

} // namespace

TEST_F(Subfolders, RefusalsChangeNothing) {
    CFRef<CFMutableDictionaryRef> error(VTLibraryRegisterSubfolders(nullptr, nullptr));
    EXPECT_EQ(Said(error.get()), "Required input parameter is NULL.");
    EXPECT_EQ(Code(error.get()), -50);

    error.Reset(VTLibraryRegisterSubfolders(nullptr, CFSTR("lib.unknown")));
    EXPECT_EQ(Said(error.get()), "VTLibraryGetValue: Can't find container.");

    // No folder, and a folder that is gone: nothing to list.
    ASSERT_TRUE(vt::test::MakeFolders(tree_.Join("gone/Sub")));
    ASSERT_TRUE(Register(kVTUserLibraryID, CFSTR("lib.nofolder")));
    ASSERT_TRUE(Library(CFSTR("lib.gone"), "gone"));
    std::filesystem::remove_all(tree_.Join("gone"));
    CFIndex before = LibraryCount();
    for (CFStringRef id : {CFSTR("lib.nofolder"), CFSTR("lib.gone")}) {
        error.Reset(VTLibraryRegisterSubfolders(nullptr, id));
        EXPECT_EQ(Said(error.get()), "<no record>");
    }
    EXPECT_EQ(LibraryCount(), before);
}

TEST_F(Subfolders, MakesOneChildPerNewSubfolderWithItsItems) {
    // The folder entry is made here, before the subfolders exist.
    ASSERT_TRUE(Library(CFSTR("lib"), "lib"));
    ASSERT_TRUE(vt::test::MakeFolders(tree_.Join("lib/Beta/Inner")));
    ASSERT_TRUE(vt::test::MakeFolders(tree_.Join("lib/a b")));
    ASSERT_TRUE(vt::test::WriteFile(tree_.Join("lib/Beta/b.txt"), "b"));
    ASSERT_TRUE(vt::test::WriteFile(tree_.Join("lib/Beta/.DS_Store"), ""));
    ASSERT_TRUE(vt::test::WriteFile(tree_.Join("lib/plain.txt"), "p"));
    CFIndex before = LibraryCount();

    CFRef<CFMutableDictionaryRef> error(VTLibraryRegisterSubfolders(nullptr, CFSTR("lib")));
    EXPECT_EQ(Said(error.get()), "<no record>");
    // Listing order (bytes: "B" before "a"), the same on every run.
    EXPECT_EQ(Texts(Field("lib", kVTKeyChildren)), (std::vector<std::string>{kBeta, kBlank}));
    EXPECT_EQ(LibraryCount(), before + 2);

    EXPECT_EQ(StringOf(Field(kBeta, kVTKeyParentID)), "lib");
    EXPECT_EQ(StringOf(Field(kBeta, kVTFileInfoKeyURLMapID)), MapIDOf("lib/Beta", true));
    EXPECT_EQ(Texts(Field(kBeta, kVTKeyFiles)),
              (std::vector<std::string>{MapIDOf("lib/Beta/Inner", true),
                                        MapIDOf("lib/Beta/b.txt", false)}));
    EXPECT_EQ(StringOf(Field(kBeta, kVTKeyTitle, true)), "Beta");
    EXPECT_EQ(StringOf(Field(kBlank, kVTKeyTitle, true)), "a%20b");
    // The plain file of the library's folder is nobody's file.
    CFRef<CFStringRef> plainID(NewString(MapIDOf("lib/plain.txt", false)));
    EXPECT_FALSE(CFDictionaryContainsKey(TableOf(kVTTopLevelKeyMap), plainID.get()));

    // The library's folder entry lists the folder as it is after the pass.
    CFTypeRef libMapID = Field("lib", kVTFileInfoKeyURLMapID);
    CFDictionaryRef entry =
        Dictionary(CFDictionaryGetValue(TableOf(kVTTopLevelKeyFiles), libMapID));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(Texts(CFDictionaryGetValue(entry, CFSTR("kCFURLFileDirectoryContents"))),
              (std::vector<std::string>{"Beta/", "a%20b/", "plain.txt"}));

    // Known folders are skipped: nothing new from the library or its child.
    CFRef<CFStringRef> beta(NewString(kBeta));
    for (CFStringRef id : {CFSTR("lib"), CFSTR("lib"), beta.get()}) {
        error.Reset(VTLibraryRegisterSubfolders(nullptr, id));
        EXPECT_EQ(Said(error.get()), "<no record>");
    }
    EXPECT_EQ(LibraryCount(), before + 2);
}

TEST_F(Subfolders, RegisteredAutoIDSkipsOnlyThatSubfolder) {
    ASSERT_TRUE(vt::test::MakeFolders(tree_.Join("other/Shared")));
    for (const char *name : {"Alpha", "Shared", "Zed"})
        ASSERT_TRUE(vt::test::MakeFolders(tree_.Join(std::string("lib/") + name)));
    ASSERT_TRUE(Library(CFSTR("other"), "other"));
    ASSERT_TRUE(Library(CFSTR("lib"), "lib"));
    CFRef<CFMutableDictionaryRef> error(VTLibraryRegisterSubfolders(nullptr, CFSTR("other")));
    ASSERT_EQ(Said(error.get()), "<no record>");

    error.Reset(VTLibraryRegisterSubfolders(nullptr, CFSTR("lib")));
    EXPECT_EQ(Said(error.get()),
              "VTLibraryRegisterSubfolders: Library already registered for subfolder.");
    EXPECT_EQ(Code(error.get()), -4960);
    EXPECT_EQ(Texts(Field("lib", kVTKeyChildren)), (std::vector<std::string>{kAlpha, kZed}));
    EXPECT_EQ(StringOf(Field(kShared, kVTKeyParentID)), "other");
}
