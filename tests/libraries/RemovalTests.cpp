// Library removal: refusals first, then what a removal takes with it and
// what it leaves, then loops and IDs borrowed from the records being removed.
#include "tests/libraries/LibrariesTestSupport.h"

#include "tables/TablesPrivate.h"

#include <algorithm>

using vt::CFRef;
using namespace vt::test::libraries;

namespace {

using Strings = std::vector<std::string>;

class Removal : public LibrariesTest {
  protected:
    void SetUp() override {
        LibrariesTest::SetUp();
        ASSERT_TRUE(CreateDocument());
        ASSERT_TRUE(Register(kVTRootModuleIDUser, kVTUserLibraryID, CFSTR("UserLibrary")));
    }

    // A library under parentID with a folder of its own (or the shared one).
    CFRef<CFStringRef> Library(CFStringRef parentID, const char *id,
                               const std::string &folder = "") {
        std::string path = work_.Join(folder.empty() ? id : folder);
        EXPECT_TRUE(vt::test::MakeFolders(path));
        CFRef<CFURLRef> url(NewFolderURL(path));
        CFRef<CFStringRef> libraryID(NewString(id));
        return Register(parentID, libraryID.get(), nullptr, url.get());
    }

    static CFStringRef Field(CFStringRef libraryID, CFStringRef key) {
        return vt::cf::Cast<CFStringRef>(CFDictionaryGetValue(RecordOf(libraryID), key));
    }

    static Strings Keys(CFStringRef table) {
        CFRef<CFMutableArrayRef> keys(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
        CFDictionaryApplyFunction(
            TableOf(table),
            [](const void *key, const void *, void *array) {
                CFArrayAppendValue(static_cast<CFMutableArrayRef>(array), key);
            },
            keys.get());
        Strings texts = Texts(keys.get());
        std::sort(texts.begin(), texts.end());
        return texts;
    }
};

bool Has(const Strings &texts, CFStringRef text) {
    return std::find(texts.begin(), texts.end(), Text(text)) != texts.end();
}

} // namespace

TEST_F(Removal, RefusesNullReservedAndUnknownIDs) {
    CFRef<CFMutableDictionaryRef> error(VTDocumentRemoveLibrary(nullptr, nullptr));
    EXPECT_EQ(Said(error.get()), "VTDocumentRemoveLibrary:: Required input parameter is NULL.");
    EXPECT_EQ(Code(error.get()), -50);
    error.Reset(VTPrivate_DeleteOneLibrary(nullptr, nullptr));
    EXPECT_EQ(Said(error.get()), "Required input parameter is NULL.");
    Strings before = Keys(kVTTopLevelKeyLibraries);
    error.Reset(VTDocumentRemoveLibrary(nullptr, CFSTR("nope")));
    EXPECT_EQ(Said(error.get()), "VTLibraryGetValue: Can't find container.");
    EXPECT_EQ(Code(error.get()), -4960);
    EXPECT_EQ(Keys(kVTTopLevelKeyLibraries), before);

    // The reserved library stays; its descendants go and leave its children.
    CFRef<CFStringRef> child = Library(kVTUserLibraryID, "child");
    Library(child.get(), "grandchild");
    error.Reset(VTDocumentRemoveLibrary(nullptr, kVTUserLibraryID));
    EXPECT_EQ(Said(error.get()), "Can't delete library with reserved status.");
    EXPECT_EQ(Code(error.get()), -50);
    EXPECT_EQ(Keys(kVTTopLevelKeyLibraries), Strings{"info.module.library.id.user"});
    EXPECT_EQ(Texts(CFDictionaryGetValue(RecordOf(kVTUserLibraryID), kVTKeyChildren)), Strings{});
}

TEST_F(Removal, TakesDescendantsPropertiesAndFolderButKeepsFileEntries) {
    CFRef<CFStringRef> parent = Library(kVTUserLibraryID, "parent");
    CFRef<CFStringRef> kid = Library(parent.get(), "kid");
    CFRef<CFStringRef> folders[] = {
        CFRef<CFStringRef>::Retain(Field(parent.get(), kVTFileInfoKeyURLMapID)),
        CFRef<CFStringRef>::Retain(Field(kid.get(), kVTFileInfoKeyURLMapID))};
    CFRef<CFStringRef> properties[] = {
        CFRef<CFStringRef>::Retain(Field(parent.get(), kVTLibraryKeyPropertyID)),
        CFRef<CFStringRef>::Retain(Field(kid.get(), kVTLibraryKeyPropertyID))};
    std::vector<CFRef<CFStringRef>> files;
    for (int i = 0; i < 5; ++i) {
        CFRef<CFURLRef> url(NewFolderURL(work_.Join("parent/f" + std::to_string(i))));
        files.emplace_back(VTLibraryRegisterURL(nullptr, parent.get(), url.get(), nullptr));
        ASSERT_TRUE(files.back());
    }
    EXPECT_FALSE(CFRef<CFMutableDictionaryRef>(
        VTLibraryRegisterFileID(nullptr, kVTUserLibraryID, files[0].get())));
    CFRef<CFArrayRef> heldFiles =
        CFRef<CFArrayRef>::Retain(Array(CFDictionaryGetValue(RecordOf(parent.get()), kVTKeyFiles)));

    CFRef<CFMutableDictionaryRef> error(VTDocumentRemoveLibrary(nullptr, parent.get()));
    EXPECT_FALSE(error) << Said(error.get());
    EXPECT_EQ(Keys(kVTTopLevelKeyLibraries), Strings{"info.module.library.id.user"});
    EXPECT_EQ(Texts(CFDictionaryGetValue(RecordOf(kVTUserLibraryID), kVTKeyChildren)), Strings{});
    EXPECT_EQ(CFArrayGetCount(heldFiles.get()), 0);
    for (const auto &id : properties)
        EXPECT_FALSE(VTPrivate_PropertyExists(id.get()));
    Strings entries = Keys(kVTTopLevelKeyFiles);
    for (const auto &id : folders) {
        EXPECT_FALSE(Has(entries, id.get()));
        EXPECT_FALSE(VTPrivate_MapContainsID(id.get()));
    }
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_TRUE(VTPrivate_MapContainsID(files[i].get()));
        EXPECT_EQ(Texts(VTFileGetValue(nullptr, files[i].get(), kVTKeyOwners, nullptr)),
                  i == 0 ? Strings{"info.module.library.id.user"} : Strings{});
    }
}

TEST_F(Removal, SharedFolderGoesWithItsLastOwner) {
    CFRef<CFStringRef> first = Library(kVTUserLibraryID, "first", "shared");
    CFRef<CFStringRef> second = Library(kVTUserLibraryID, "second", "shared");
    CFRef<CFStringRef> mapID =
        CFRef<CFStringRef>::Retain(Field(first.get(), kVTFileInfoKeyURLMapID));
    ASSERT_EQ(Text(mapID.get()), Text(Field(second.get(), kVTFileInfoKeyURLMapID)));

    // A library holding few of the table's files is released file by file.
    std::vector<CFRef<CFStringRef>> files;
    for (int i = 0; i < 6; ++i) {
        CFRef<CFURLRef> url(NewFolderURL(work_.Join("shared/f" + std::to_string(i))));
        files.emplace_back(
            VTLibraryRegisterURL(nullptr, i ? second.get() : first.get(), url.get(), nullptr));
    }
    CFRef<CFMutableDictionaryRef> error(VTDocumentRemoveLibrary(nullptr, first.get()));
    EXPECT_FALSE(error) << Said(error.get());
    EXPECT_EQ(Texts(VTFileGetValue(nullptr, files[0].get(), kVTKeyOwners, nullptr)), Strings{});
    EXPECT_EQ(Texts(VTFileGetValue(nullptr, files[1].get(), kVTKeyOwners, nullptr)),
              Strings{"second"});
    EXPECT_TRUE(VTPrivate_MapContainsID(mapID.get()));
    EXPECT_EQ(Texts(VTFileGetValue(nullptr, mapID.get(), kVTKeyOwners, nullptr)),
              Strings{"second"});
    error.Reset(VTDocumentRemoveLibrary(nullptr, second.get()));
    EXPECT_FALSE(error) << Said(error.get());
    EXPECT_FALSE(VTPrivate_MapContainsID(mapID.get()));
    EXPECT_FALSE(Has(Keys(kVTTopLevelKeyFiles), mapID.get()));
}

TEST_F(Removal, EndsOnLoopsAndKeepsBorrowedIDsAlive) {
    CFRef<CFStringRef> a = Library(kVTUserLibraryID, "a");
    CFRef<CFStringRef> b = Library(a.get(), "b");
    CFRef<CFStringRef> c = Library(b.get(), "c");
    // A hand-edited tree: c lists its ancestors and itself among its children.
    CFRef<CFMutableArrayRef> loop(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    for (CFStringRef id : {a.get(), c.get(), b.get()})
        CFArrayAppendValue(loop.get(), id);
    ASSERT_FALSE(CFRef<CFMutableDictionaryRef>(
        VTLibrarySetValue(nullptr, c.get(), kVTKeyChildren, loop.get())));
    // b's "ParentID" is the only holder of its string: removing b frees it
    // before a, the library it names, is deleted.
    {
        CFRef<CFStringRef> fresh(NewString("a"));
        ASSERT_FALSE(CFRef<CFMutableDictionaryRef>(
            VTLibrarySetValue(nullptr, b.get(), kVTKeyParentID, fresh.get())));
    }
    CFRef<CFMutableDictionaryRef> error(
        VTDocumentRemoveLibrary(nullptr, Field(b.get(), kVTKeyParentID)));
    EXPECT_FALSE(error) << Said(error.get());
    EXPECT_EQ(Keys(kVTTopLevelKeyLibraries), Strings{"info.module.library.id.user"});

    // An owner's ID borrowed from the array the call edits.
    CFRef<CFStringRef> d = Library(kVTUserLibraryID, "d");
    CFRef<CFURLRef> url(NewFolderURL(work_.Join("d/file")));
    CFRef<CFStringRef> fileID(VTLibraryRegisterURL(nullptr, d.get(), url.get(), nullptr));
    CFMutableArrayRef owners = vt::cf::CastMutable<CFMutableArrayRef>(
        VTFileGetValue(nullptr, fileID.get(), kVTKeyOwners, nullptr));
    ASSERT_NE(owners, nullptr);
    {
        CFRef<CFStringRef> fresh(NewString("d"));
        CFArraySetValueAtIndex(owners, 0, fresh.get());
    }
    error.Reset(VTLibraryUnregisterFileID(
        nullptr, vt::cf::Cast<CFStringRef>(CFArrayGetValueAtIndex(owners, 0)), fileID.get()));
    EXPECT_FALSE(error) << Said(error.get());
    EXPECT_EQ(Texts(CFDictionaryGetValue(RecordOf(d.get()), kVTKeyFiles)), Strings{});
}
