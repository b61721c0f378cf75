// Library removal: refusals first, then what a removal takes with it and
// what it leaves, then loops and IDs borrowed from the records being removed.
#include "tests/libraries/LibrariesTestSupport.h"

#include "tables/TablesPrivate.h"

#include <algorithm>

using vt::CFRef;
using namespace vt::test::libraries;

namespace {

using Strings = std::vector<std::string>;
using Record = CFRef<CFMutableDictionaryRef>;

class Removal : public LibrariesTest {
  protected:
    void SetUp() override {
        LibrariesTest::SetUp();
        ASSERT_TRUE(CreateDocument());
        ASSERT_TRUE(Register(kVTRootModuleIDUser, kVTUserLibraryID, CFSTR("UserLibrary")));
    }

    // A library under parentID with a folder of its own (or the named one).
    CFRef<CFStringRef> Library(CFStringRef parentID, const char *id, const char *folder = "") {
        std::string path = work_.Join(*folder ? folder : id);
        EXPECT_TRUE(vt::test::MakeFolders(path));
        CFRef<CFURLRef> url(NewFolderURL(path));
        CFRef<CFStringRef> libraryID(NewString(id));
        return Register(parentID, libraryID.get(), nullptr, url.get());
    }

    // A file of the library, registered by URL.
    CFRef<CFStringRef> File(CFStringRef libraryID, const std::string &name) {
        CFRef<CFURLRef> url(NewFolderURL(work_.Join(name)));
        return CFRef<CFStringRef>(VTLibraryRegisterURL(nullptr, libraryID, url.get(), nullptr));
    }

    static CFRef<CFStringRef> Field(CFStringRef libraryID, CFStringRef key) {
        return CFRef<CFStringRef>::Retain(
            vt::cf::Cast<CFStringRef>(CFDictionaryGetValue(RecordOf(libraryID), key)));
    }
    static Strings Owners(CFStringRef fileID) {
        return Texts(VTFileGetValue(nullptr, fileID, kVTKeyOwners, nullptr));
    }
    // The library IDs, sorted.
    static Strings Libraries() {
        Strings ids = Texts(CFRef<CFArrayRef>(VTDocumentCopyLibraryIDs(nullptr, nullptr)).get());
        std::sort(ids.begin(), ids.end());
        return ids;
    }
    // Whether the folder's file entry and its map entry are there.
    static bool FolderKept(CFStringRef mapID) {
        bool entry = CFDictionaryContainsKey(TableOf(kVTTopLevelKeyFiles), mapID);
        EXPECT_EQ(entry, bool(VTPrivate_MapContainsID(mapID)));
        return entry;
    }
};

const Strings kUser{"info.module.library.id.user"};

} // namespace

TEST_F(Removal, RefusesNullReservedAndUnknownIDs) {
    Record error(VTDocumentRemoveLibrary(nullptr, nullptr));
    EXPECT_EQ(Said(error.get()), "VTDocumentRemoveLibrary:: Required input parameter is NULL.");
    EXPECT_EQ(Code(error.get()), -50);
    error.Reset(VTDocumentRemoveLibrary(nullptr, CFSTR("nope")));
    EXPECT_EQ(Said(error.get()), "VTLibraryGetValue: Can't find container.");
    EXPECT_EQ(Code(error.get()), -4960);

    // The reserved library stays; its descendants go and leave its children.
    CFRef<CFStringRef> child = Library(kVTUserLibraryID, "child");
    Library(child.get(), "grandchild");
    error.Reset(VTDocumentRemoveLibrary(nullptr, kVTUserLibraryID));
    EXPECT_EQ(Said(error.get()), "Can't delete library with reserved status.");
    EXPECT_EQ(Code(error.get()), -50);
    EXPECT_EQ(Libraries(), kUser);
    EXPECT_EQ(Texts(CFDictionaryGetValue(RecordOf(kVTUserLibraryID), kVTKeyChildren)), Strings{});
}

TEST_F(Removal, TakesDescendantsPropertiesAndFoldersButKeepsFileEntries) {
    CFRef<CFStringRef> parent = Library(kVTUserLibraryID, "parent");
    CFRef<CFStringRef> kid = Library(parent.get(), "kid");
    CFRef<CFStringRef> owned[] = {
        Field(parent.get(), kVTFileInfoKeyURLMapID), Field(kid.get(), kVTFileInfoKeyURLMapID),
        Field(parent.get(), kVTLibraryKeyPropertyID), Field(kid.get(), kVTLibraryKeyPropertyID)};
    std::vector<CFRef<CFStringRef>> files;
    for (int i = 0; i < 5; ++i)
        files.push_back(File(parent.get(), "f" + std::to_string(i)));
    EXPECT_FALSE(Record(VTLibraryRegisterFileID(nullptr, kVTUserLibraryID, files[0].get())));
    CFRef<CFArrayRef> held =
        CFRef<CFArrayRef>::Retain(Array(CFDictionaryGetValue(RecordOf(parent.get()), kVTKeyFiles)));

    Record error(VTDocumentRemoveLibrary(nullptr, parent.get()));
    EXPECT_FALSE(error) << Said(error.get());
    EXPECT_EQ(Libraries(), kUser);
    EXPECT_EQ(Texts(CFDictionaryGetValue(RecordOf(kVTUserLibraryID), kVTKeyChildren)), Strings{});
    EXPECT_EQ(CFArrayGetCount(held.get()), 0);
    EXPECT_FALSE(FolderKept(owned[0].get()));
    EXPECT_FALSE(FolderKept(owned[1].get()));
    EXPECT_FALSE(VTPrivate_PropertyExists(owned[2].get()));
    EXPECT_FALSE(VTPrivate_PropertyExists(owned[3].get()));
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_TRUE(FolderKept(files[i].get()));
        EXPECT_EQ(Owners(files[i].get()), i == 0 ? kUser : Strings{});
    }
}

TEST_F(Removal, SharedFolderGoesWithItsLastOwner) {
    CFRef<CFStringRef> first = Library(kVTUserLibraryID, "first", "shared");
    CFRef<CFStringRef> second = Library(kVTUserLibraryID, "second", "shared");
    CFRef<CFStringRef> mapID = Field(first.get(), kVTFileInfoKeyURLMapID);
    ASSERT_EQ(StringOf(mapID.get()), StringOf(Field(second.get(), kVTFileInfoKeyURLMapID).get()));
    // A library holding few of the table's files is released file by file.
    std::vector<CFRef<CFStringRef>> files;
    for (int i = 0; i < 6; ++i)
        files.push_back(File(i ? second.get() : first.get(), "f" + std::to_string(i)));

    EXPECT_FALSE(Record(VTDocumentRemoveLibrary(nullptr, first.get())));
    EXPECT_TRUE(FolderKept(mapID.get()));
    EXPECT_EQ(Owners(mapID.get()), Strings{"second"});
    EXPECT_EQ(Owners(files[0].get()), Strings{});
    EXPECT_EQ(Owners(files[1].get()), Strings{"second"});
    EXPECT_FALSE(Record(VTDocumentRemoveLibrary(nullptr, second.get())));
    EXPECT_FALSE(FolderKept(mapID.get()));
}

// A library's folder entry must outlive every library whose "URLMapID"
// names it, whatever was unregistered or re-registered in between.
TEST_F(Removal, NoLibraryIsLeftWithADanglingFolderOrOwner) {
    // Unregistering its own folder does not give the folder entry up.
    CFRef<CFStringRef> first = Library(kVTUserLibraryID, "first", "shared");
    CFRef<CFStringRef> second = Library(kVTUserLibraryID, "second", "shared");
    CFRef<CFStringRef> mapID = Field(first.get(), kVTFileInfoKeyURLMapID);
    CFRef<CFURLRef> shared(NewFolderURL(work_.Join("shared")));
    EXPECT_FALSE(Record(VTLibraryUnregisterURL(nullptr, first.get(), shared.get())));
    EXPECT_EQ(Owners(mapID.get()), (Strings{"first", "second"}));
    EXPECT_FALSE(Record(VTDocumentRemoveLibrary(nullptr, second.get())));
    EXPECT_TRUE(FolderKept(mapID.get()));
    EXPECT_EQ(StringOf(VTFileGetURL(mapID.get())), StringOf(CFURLGetString(shared.get())));
    // A file that is not its folder is still given up.
    CFRef<CFStringRef> file = File(first.get(), "f");
    EXPECT_FALSE(Record(VTLibraryUnregisterFileID(nullptr, first.get(), file.get())));
    EXPECT_EQ(Owners(file.get()), Strings{});

    // Registered again on another folder, a library leaves the old folder's
    // owners, so its removal leaves no owner naming it.
    CFRef<CFStringRef> moved = Library(kVTUserLibraryID, "moved", "old");
    CFRef<CFStringRef> oldFolder = Field(moved.get(), kVTFileInfoKeyURLMapID);
    Library(kVTUserLibraryID, "moved", "new");
    EXPECT_EQ(Owners(oldFolder.get()), Strings{});
    EXPECT_FALSE(Record(VTDocumentRemoveLibrary(nullptr, moved.get())));
    CFRef<CFArrayRef> ids(VTDocumentCopyFileIDs(nullptr, nullptr));
    for (CFIndex i = 0; i < CFArrayGetCount(ids.get()); ++i) {
        auto id = vt::cf::Cast<CFStringRef>(CFArrayGetValueAtIndex(ids.get(), i));
        for (const std::string &owner : Owners(id))
            EXPECT_NE(owner, "moved") << StringOf(id);
    }
}

TEST_F(Removal, EndsOnLoopsAndKeepsBorrowedIDsAlive) {
    CFRef<CFStringRef> a = Library(kVTUserLibraryID, "a");
    CFRef<CFStringRef> b = Library(a.get(), "b");
    CFRef<CFStringRef> c = Library(b.get(), "c");
    // A hand-edited tree: c lists its ancestors and itself among its children.
    CFStringRef loop[] = {a.get(), c.get(), b.get()};
    CFRef<CFArrayRef> children(
        CFArrayCreate(nullptr, reinterpret_cast<const void **>(loop), 3, &kCFTypeArrayCallBacks));
    ASSERT_FALSE(Record(VTLibrarySetValue(nullptr, c.get(), kVTKeyChildren, children.get())));
    // b's "ParentID" is the only holder of its string: removing b frees it
    // before a, the library it names, is deleted.
    ASSERT_FALSE(Record(VTLibrarySetValue(nullptr, b.get(), kVTKeyParentID,
                                          CFRef<CFStringRef>(NewString("a")).get())));
    Record error(VTDocumentRemoveLibrary(nullptr, vt::cf::Cast<CFStringRef>(CFDictionaryGetValue(
                                                      RecordOf(b.get()), kVTKeyParentID))));
    EXPECT_FALSE(error) << Said(error.get());
    EXPECT_EQ(Libraries(), kUser);

    // An owner's ID borrowed from the very array the call edits.
    CFRef<CFStringRef> d = Library(kVTUserLibraryID, "d");
    CFRef<CFStringRef> fileID = File(d.get(), "d/file");
    CFMutableArrayRef owners = vt::cf::CastMutable<CFMutableArrayRef>(
        VTFileGetValue(nullptr, fileID.get(), kVTKeyOwners, nullptr));
    ASSERT_NE(owners, nullptr);
    CFArraySetValueAtIndex(owners, 0, CFRef<CFStringRef>(NewString("d")).get());
    error.Reset(VTLibraryUnregisterFileID(
        nullptr, vt::cf::Cast<CFStringRef>(CFArrayGetValueAtIndex(owners, 0)), fileID.get()));
    EXPECT_FALSE(error) << Said(error.get());
    EXPECT_EQ(Texts(CFDictionaryGetValue(RecordOf(d.get()), kVTKeyFiles)), Strings{});
}
