// Library access: property sets, the files of a library, and the ID
// listings. Failures first, then the round trips, then hand-edited documents.
#include "tests/libraries/LibrariesTestSupport.h"

#include "utilities/UtilitiesPrivate.h"

#include <algorithm>

using vt::CFRef;
using namespace vt::test::libraries;

namespace {

using Strings = std::vector<std::string>;

class Access : public LibrariesTest {
  protected:
    void SetUp() override {
        LibrariesTest::SetUp();
        ASSERT_TRUE(CreateDocument());
        user_ = Register(kVTRootModuleIDUser, kVTUserLibraryID, CFSTR("UserLibrary"));
        ASSERT_TRUE(user_);
    }

    CFURLRef NewFileURL(const std::string &name) {
        CFRef<CFStringRef> path(NewString(work_.Join(name)));
        return CFURLCreateWithFileSystemPath(nullptr, path.get(), kCFURLPOSIXPathStyle, false);
    }

    static CFIndex CountOf(CFStringRef table) {
        CFDictionaryRef dictionary = TableOf(table);
        return dictionary ? CFDictionaryGetCount(dictionary) : -1;
    }

    static Strings OwnersOf(CFStringRef fileID) {
        return Texts(VTFileGetValue(nullptr, fileID, kVTKeyOwners, nullptr));
    }

    static Strings FilesOf(CFStringRef libraryID) {
        return Texts(CFDictionaryGetValue(RecordOf(libraryID), kVTKeyFiles));
    }

    CFRef<CFStringRef> user_;
};

} // namespace

TEST_F(Access, RefusesMissingArgumentsAndUnknownLibrariesOrFiles) {
    CFRef<CFURLRef> url(NewFileURL("a.scpt"));
    const std::string null = "Required input parameter is NULL.";
    CFRef<CFMutableDictionaryRef> error(VTLibraryRegisterFileID(nullptr, user_.get(), nullptr));
    EXPECT_EQ(Said(error.get()), null);
    error.Reset(VTLibraryUnregisterFileID(nullptr, nullptr, CFSTR("x")));
    EXPECT_EQ(Said(error.get()), null);
    error.Reset(VTLibraryUnregisterURL(nullptr, user_.get(), nullptr));
    EXPECT_EQ(Said(error.get()), null);
    EXPECT_FALSE(VTLibraryRegisterURL(nullptr, nullptr, url.get(), error.Out()));
    EXPECT_EQ(Said(error.get()), null);
    EXPECT_EQ(Code(error.get()), -50);
    error.Reset(VTLibraryPropertySetValue(nullptr, user_.get(), kVTKeyTitle, nullptr));
    EXPECT_FALSE(error);
    EXPECT_EQ(Text(VTLibraryPropertyGetValue(nullptr, user_.get(), kVTKeyTitle, nullptr)),
              "UserLibrary");
    for (const char *query : {"VTDocumentCopyLibraryIDsWithTitle",
                              "VTDocumentCopyLibraryIDsWithTitleContainingSubstring"}) {
        auto copy = std::string(query).find("Substring") != std::string::npos
                        ? VTDocumentCopyLibraryIDsWithTitleContainingSubstring
                        : VTDocumentCopyLibraryIDsWithTitle;
        EXPECT_FALSE(CFRef<CFArrayRef>(copy(nullptr, nullptr, error.Out())));
        EXPECT_EQ(Said(error.get()), std::string(query) + ":: " + null);
        EXPECT_EQ(Code(error.get()), -50);
    }

    // An unknown library gains nothing: no map entry, no file entry, no owner.
    CFIndex mapCount = CountOf(kVTTopLevelKeyMap);
    EXPECT_FALSE(
        CFRef<CFStringRef>(VTLibraryRegisterURL(nullptr, CFSTR("nope"), url.get(), error.Out())));
    EXPECT_EQ(Said(error.get()), "VTLibraryGetValue: Can't find container.");
    EXPECT_EQ(CountOf(kVTTopLevelKeyMap), mapCount);
    EXPECT_EQ(CountOf(kVTTopLevelKeyFiles), 0);
    CFRef<CFStringRef> fileID(VTLibraryRegisterURL(nullptr, user_.get(), url.get(), nullptr));
    ASSERT_TRUE(fileID);
    error.Reset(VTLibraryRegisterFileID(nullptr, CFSTR("nope"), fileID.get()));
    EXPECT_EQ(Said(error.get()), "VTLibraryGetValue: Can't find container.");
    EXPECT_EQ(OwnersOf(fileID.get()), Strings{"info.module.library.id.user"});

    // A file ID neither the Files table nor the map knows is not recorded.
    error.Reset(VTLibraryRegisterFileID(nullptr, user_.get(), CFSTR("unknown")));
    EXPECT_EQ(Said(error.get()), "VTLibraryRegisterFileID: Can't find container.");
    EXPECT_EQ(Code(error.get()), -4960);
    EXPECT_EQ(FilesOf(user_.get()), Strings{Text(fileID.get())});

    // Missing tables.
    VTPrivate_DocumentValueSet(kVTTopLevelKeyFiles, CFSTR("no table"));
    EXPECT_FALSE(CFRef<CFArrayRef>(VTDocumentCopyFileIDs(nullptr, error.Out())));
    EXPECT_EQ(Said(error.get()), "VTDocumentCopyFileIDs: Can't find container.");
    VTPrivate_DocumentValueSet(kVTTopLevelKeyLibraries, CFSTR("no table"));
    EXPECT_FALSE(
        CFRef<CFArrayRef>(VTDocumentCopyLibraryIDsWithTitle(nullptr, CFSTR("x"), error.Out())));
    EXPECT_EQ(Said(error.get()), "VTDocumentCopyLibraryIDs:: Can't find libraries container.");
}

TEST_F(Access, RegistersAndUnregistersFilesOnBothSides) {
    CFRef<CFStringRef> other = Register(kVTUserLibraryID, CFSTR("other"), CFSTR("Other"));
    CFRef<CFURLRef> url(NewFileURL("a.scpt"));
    CFRef<CFMutableDictionaryRef> error;
    CFRef<CFStringRef> fileID(VTLibraryRegisterURL(nullptr, user_.get(), url.get(), error.Out()));
    CFRef<CFStringRef> again(VTLibraryRegisterURL(nullptr, user_.get(), url.get(), nullptr));
    EXPECT_FALSE(error) << Said(error.get());
    ASSERT_TRUE(fileID);
    CFRef<CFStringRef> md5(VTU_StringCreateHashedWithMD5(nullptr, CFURLGetString(url.get())));
    EXPECT_EQ(Text(fileID.get()), Text(md5.get()));
    EXPECT_EQ(Text(again.get()), Text(md5.get()));
    EXPECT_FALSE(
        CFRef<CFMutableDictionaryRef>(VTLibraryRegisterFileID(nullptr, other.get(), fileID.get())));
    EXPECT_FALSE(
        CFRef<CFMutableDictionaryRef>(VTLibraryRegisterFileID(nullptr, other.get(), fileID.get())));
    EXPECT_EQ(FilesOf(user_.get()), Strings{Text(fileID.get())});
    EXPECT_EQ(FilesOf(other.get()), Strings{Text(fileID.get())});
    EXPECT_EQ(OwnersOf(fileID.get()), (Strings{"info.module.library.id.user", "other"}));

    CFRef<CFURLRef> never(NewFileURL("never.scpt"));
    EXPECT_FALSE(
        CFRef<CFMutableDictionaryRef>(VTLibraryUnregisterURL(nullptr, user_.get(), never.get())));
    EXPECT_FALSE(
        CFRef<CFMutableDictionaryRef>(VTLibraryUnregisterURL(nullptr, user_.get(), url.get())));
    EXPECT_EQ(FilesOf(user_.get()), Strings{});
    EXPECT_EQ(OwnersOf(fileID.get()), Strings{"other"});

    // An unknown library still leaves the owners it was in.
    CFRef<CFArrayRef> ids(VTDocumentCopyFileIDs(nullptr, nullptr));
    EXPECT_EQ(Texts(ids.get()), Strings{Text(fileID.get())});
    CFMutableArrayRef owners = vt::cf::CastMutable<CFMutableArrayRef>(
        VTFileGetValue(nullptr, fileID.get(), kVTKeyOwners, nullptr));
    ASSERT_NE(owners, nullptr);
    CFArrayAppendValue(owners, CFSTR("ghost"));
    error.Reset(VTLibraryUnregisterFileID(nullptr, CFSTR("ghost"), fileID.get()));
    EXPECT_EQ(Said(error.get()), "Can't find container.");
    EXPECT_EQ(OwnersOf(fileID.get()), Strings{"other"});
    // The entry stays with its last owner gone.
    error.Reset(VTLibraryUnregisterFileID(nullptr, other.get(), fileID.get()));
    EXPECT_FALSE(error) << Said(error.get());
    EXPECT_EQ(OwnersOf(fileID.get()), Strings{});
    EXPECT_EQ(Texts(CFRef<CFArrayRef>(VTDocumentCopyFileIDs(nullptr, nullptr)).get()),
              Strings{Text(fileID.get())});
}

TEST_F(Access, ValuesOfTheWrongTypeCountAsAbsent) {
    CFRef<CFMutableDictionaryRef> error;
    CFRef<CFNumberRef> number(VTU_NumberCreateWithCFIndex(nullptr, 3));
    CFRef<CFURLRef> url(NewFileURL("a.scpt"));
    CFRef<CFStringRef> fileID(VTLibraryRegisterURL(nullptr, user_.get(), url.get(), nullptr));
    ASSERT_TRUE(fileID);
    ASSERT_FALSE(CFRef<CFMutableDictionaryRef>(
        VTFileSetValue(nullptr, fileID.get(), kVTKeyOwners, number.get())));
    for (CFStringRef key : {kVTKeyFiles, kVTLibraryKeyPropertyID})
        ASSERT_FALSE(CFRef<CFMutableDictionaryRef>(
            VTLibrarySetValue(nullptr, user_.get(), key, number.get())));

    EXPECT_EQ(VTLibraryPropertyGetValue(nullptr, user_.get(), kVTKeyTitle, nullptr), nullptr);
    EXPECT_FALSE(
        CFRef<CFMutableDictionaryRef>(VTLibraryRegisterFileID(nullptr, user_.get(), fileID.get())));
    EXPECT_EQ(OwnersOf(fileID.get()), Strings{"info.module.library.id.user"});
    error.Reset(VTLibraryUnregisterFileID(nullptr, user_.get(), fileID.get()));
    EXPECT_EQ(Said(error.get()), "Can't find container.");
    CFRef<CFArrayRef> ids(
        VTDocumentCopyLibraryIDsWithTitle(nullptr, CFSTR("UserLibrary"), nullptr));
    EXPECT_EQ(Texts(ids.get()), Strings{});
}

TEST_F(Access, TitleQueriesMatchExactlyOrBySubstring) {
    CFRef<CFMutableDictionaryRef> error(
        VTLibraryPropertySetValue(nullptr, user_.get(), kVTKeyNotes, CFSTR("n")));
    EXPECT_FALSE(error) << Said(error.get());
    EXPECT_EQ(Text(VTLibraryPropertyGetValue(nullptr, user_.get(), kVTKeyNotes, nullptr)), "n");
    Register(kVTRootModuleIDLocal, kVTLocalLibraryID, CFSTR("LocalLibrary"));
    CFRef<CFStringRef> precomposed(NewString("Caf\u00e9 Scripts"));
    Register(kVTUserLibraryID, CFSTR("cafe"), precomposed.get());
    Register(kVTUserLibraryID, CFSTR("plain"), CFSTR("Plain"));

    auto sorted = [](CFArrayRef ids) {
        Strings texts = Texts(ids);
        std::sort(texts.begin(), texts.end());
        return texts;
    };
    struct Row {
        bool substring;
        std::string wanted;
        Strings ids;
    } rows[] = {
        {false, "UserLibrary", {"info.module.library.id.user"}},
        {false, "userlibrary", {}},
        {false, "User", {}},
        {true, "library", {"info.module.library.id.local", "info.module.library.id.user"}},
        {true, "CAFE\u0301", {"cafe"}},
        {true, "absent", {}},
    };
    for (const Row &row : rows) {
        CFRef<CFStringRef> wanted(NewString(row.wanted));
        CFRef<CFArrayRef> ids(
            row.substring ? VTDocumentCopyLibraryIDsWithTitleContainingSubstring(
                                nullptr, wanted.get(), nullptr)
                          : VTDocumentCopyLibraryIDsWithTitle(nullptr, wanted.get(), nullptr));
        EXPECT_EQ(sorted(ids.get()), row.ids) << row.wanted;
    }
    CFRef<CFArrayRef> all(VTDocumentCopyLibraryIDs(nullptr, nullptr));
    EXPECT_EQ(sorted(all.get()), (Strings{"cafe", "info.module.library.id.local",
                                          "info.module.library.id.user", "plain"}));
    CFRef<CFArrayRef> files(VTDocumentCopyFileIDs(nullptr, error.Out()));
    ASSERT_TRUE(files) << Said(error.get());
    EXPECT_EQ(CFArrayGetCount(files.get()), 0);
}
