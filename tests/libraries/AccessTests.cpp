// Library access: refusals first, then files registered on both sides, then
// hand-edited records and the title queries.
#include "tests/libraries/LibrariesTestSupport.h"

#include "utilities/UtilitiesPrivate.h"

#include <algorithm>

using vt::CFRef;
using namespace vt::test::libraries;

namespace {

using Strings = std::vector<std::string>;
using Record = CFRef<CFMutableDictionaryRef>;

class Access : public LibrariesTest {
  protected:
    void SetUp() override {
        LibrariesTest::SetUp();
        ASSERT_TRUE(CreateDocument());
        user_ = Register(kVTRootModuleIDUser, kVTUserLibraryID, CFSTR("UserLibrary"));
        ASSERT_TRUE(user_);
        CFRef<CFStringRef> path(NewString(work_.Join("a.scpt")));
        url_.Reset(CFURLCreateWithFileSystemPath(nullptr, path.get(), kCFURLPOSIXPathStyle, false));
    }

    static Strings Owners(CFStringRef fileID) {
        return Texts(VTFileGetValue(nullptr, fileID, kVTKeyOwners, nullptr));
    }
    static Strings Files(CFStringRef libraryID) {
        return Texts(CFDictionaryGetValue(RecordOf(libraryID), kVTKeyFiles));
    }

    CFRef<CFStringRef> user_;
    CFRef<CFURLRef> url_;
};

const Strings kUser{"info.module.library.id.user"};

} // namespace

TEST_F(Access, RefusesMissingArgumentsUnknownLibrariesAndUnknownFiles) {
    Record error(VTLibraryUnregisterURL(nullptr, user_.get(), nullptr));
    EXPECT_EQ(Said(error.get()), "Required input parameter is NULL.");
    EXPECT_FALSE(CFRef<CFArrayRef>(
        VTDocumentCopyLibraryIDsWithTitleContainingSubstring(nullptr, nullptr, error.Out())));
    EXPECT_EQ(Said(error.get()),
              "VTDocumentCopyLibraryIDsWithTitleContainingSubstring:: Required input parameter "
              "is NULL.");
    EXPECT_EQ(Code(error.get()), -50);
    EXPECT_FALSE(Record(VTLibraryPropertySetValue(nullptr, user_.get(), kVTKeyTitle, nullptr)));
    EXPECT_EQ(StringOf(VTLibraryPropertyGetValue(nullptr, user_.get(), kVTKeyTitle, nullptr)),
              "UserLibrary");

    // An unknown library gains nothing: no map entry, no file entry, no owner.
    EXPECT_FALSE(
        CFRef<CFStringRef>(VTLibraryRegisterURL(nullptr, CFSTR("nope"), url_.get(), error.Out())));
    EXPECT_EQ(Said(error.get()), "VTLibraryGetValue: Can't find container.");
    EXPECT_EQ(CFDictionaryGetCount(TableOf(kVTTopLevelKeyMap)), 0);
    EXPECT_EQ(CFDictionaryGetCount(TableOf(kVTTopLevelKeyFiles)), 0);
    CFRef<CFStringRef> fileID(VTLibraryRegisterURL(nullptr, user_.get(), url_.get(), nullptr));
    error.Reset(VTLibraryRegisterFileID(nullptr, CFSTR("nope"), fileID.get()));
    EXPECT_EQ(Said(error.get()), "VTLibraryGetValue: Can't find container.");
    EXPECT_EQ(Owners(fileID.get()), kUser);
    // Nor does a library gain a file ID that neither the Files table nor the map knows.
    error.Reset(VTLibraryRegisterFileID(nullptr, user_.get(), CFSTR("unknown")));
    EXPECT_EQ(Said(error.get()), "VTLibraryRegisterFileID: Can't find container.");
    EXPECT_EQ(Files(user_.get()), Strings{StringOf(fileID.get())});

    VTPrivate_DocumentValueSet(kVTTopLevelKeyFiles, CFSTR("no table"));
    EXPECT_FALSE(CFRef<CFArrayRef>(VTDocumentCopyFileIDs(nullptr, error.Out())));
    EXPECT_EQ(Said(error.get()), "VTDocumentCopyFileIDs: Can't find container.");
    VTPrivate_DocumentValueSet(kVTTopLevelKeyLibraries, CFSTR("no table"));
    EXPECT_FALSE(
        CFRef<CFArrayRef>(VTDocumentCopyLibraryIDsWithTitle(nullptr, CFSTR("x"), error.Out())));
    EXPECT_EQ(Said(error.get()), "VTDocumentCopyLibraryIDs:: Can't find libraries container.");
}

TEST_F(Access, RegistersAndUnregistersFilesOnBothSides) {
    CFRef<CFStringRef> other = Register(kVTUserLibraryID, CFSTR("other"));
    CFRef<CFStringRef> fileID(VTLibraryRegisterURL(nullptr, user_.get(), url_.get(), nullptr));
    CFRef<CFStringRef> again(VTLibraryRegisterURL(nullptr, user_.get(), url_.get(), nullptr));
    for (int twice = 0; twice < 2; ++twice)
        EXPECT_FALSE(Record(VTLibraryRegisterFileID(nullptr, other.get(), fileID.get())));
    CFRef<CFStringRef> md5(VTU_StringCreateHashedWithMD5(nullptr, CFURLGetString(url_.get())));
    EXPECT_EQ(StringOf(fileID.get()), StringOf(md5.get()));
    EXPECT_EQ(StringOf(again.get()), StringOf(md5.get()));
    EXPECT_EQ(StringOf(VTFileGetURL(fileID.get())), StringOf(CFURLGetString(url_.get())));
    EXPECT_EQ(Files(user_.get()), Strings{StringOf(fileID.get())});
    EXPECT_EQ(Files(other.get()), Strings{StringOf(fileID.get())});
    EXPECT_EQ(Owners(fileID.get()), (Strings{kUser[0], "other"}));

    CFRef<CFStringRef> path(NewString(work_.Join("never.scpt")));
    CFRef<CFURLRef> never(
        CFURLCreateWithFileSystemPath(nullptr, path.get(), kCFURLPOSIXPathStyle, false));
    EXPECT_FALSE(Record(VTLibraryUnregisterURL(nullptr, user_.get(), never.get())));
    EXPECT_FALSE(Record(VTLibraryUnregisterURL(nullptr, user_.get(), url_.get())));
    EXPECT_EQ(Files(user_.get()), Strings{});
    EXPECT_EQ(Owners(fileID.get()), Strings{"other"});

    // An unknown library still leaves the owners it was in; the entry stays
    // when its last owner goes.
    CFArrayAppendValue(vt::cf::CastMutable<CFMutableArrayRef>(
                           VTFileGetValue(nullptr, fileID.get(), kVTKeyOwners, nullptr)),
                       CFSTR("ghost"));
    Record error(VTLibraryUnregisterFileID(nullptr, CFSTR("ghost"), fileID.get()));
    EXPECT_EQ(Said(error.get()), "Can't find container.");
    EXPECT_FALSE(Record(VTLibraryUnregisterFileID(nullptr, other.get(), fileID.get())));
    EXPECT_EQ(Owners(fileID.get()), Strings{});
    EXPECT_EQ(Texts(CFRef<CFArrayRef>(VTDocumentCopyFileIDs(nullptr, nullptr)).get()),
              Strings{StringOf(fileID.get())});
    // A file taken out can come back.
    again.Reset(VTLibraryRegisterURL(nullptr, user_.get(), url_.get(), nullptr));
    EXPECT_EQ(Files(user_.get()), Strings{StringOf(fileID.get())});
}

TEST_F(Access, ValuesOfTheWrongTypeCountAsAbsent) {
    CFRef<CFStringRef> fileID(VTLibraryRegisterURL(nullptr, user_.get(), url_.get(), nullptr));
    CFRef<CFNumberRef> number(VTU_NumberCreateWithCFIndex(nullptr, 3));
    ASSERT_FALSE(Record(VTFileSetValue(nullptr, fileID.get(), kVTKeyOwners, number.get())));
    for (CFStringRef key : {kVTKeyFiles, kVTLibraryKeyPropertyID})
        ASSERT_FALSE(Record(VTLibrarySetValue(nullptr, user_.get(), key, number.get())));

    EXPECT_EQ(VTLibraryPropertyGetValue(nullptr, user_.get(), kVTKeyTitle, nullptr), nullptr);
    EXPECT_FALSE(Record(VTLibraryRegisterFileID(nullptr, user_.get(), fileID.get())));
    EXPECT_EQ(Owners(fileID.get()), kUser);
    Record error(VTLibraryUnregisterFileID(nullptr, user_.get(), fileID.get()));
    EXPECT_EQ(Said(error.get()), "Can't find container.");
    CFRef<CFArrayRef> ids(
        VTDocumentCopyLibraryIDsWithTitle(nullptr, CFSTR("UserLibrary"), nullptr));
    EXPECT_EQ(Texts(ids.get()), Strings{});
}

TEST_F(Access, TitleQueriesMatchExactlyOrBySubstring) {
    Register(kVTRootModuleIDLocal, kVTLocalLibraryID, CFSTR("LocalLibrary"));
    CFRef<CFStringRef> precomposed(NewString("Caf\u00e9 Scripts"));
    Register(kVTUserLibraryID, CFSTR("cafe"), precomposed.get());
    struct Row {
        bool substring;
        std::string wanted;
        Strings ids;
    } rows[] = {
        {false, "UserLibrary", kUser},
        {false, "userlibrary", {}},
        {false, "User", {}},
        {true, "library", {"info.module.library.id.local", kUser[0]}},
        {true, "CAFE\u0301", {"cafe"}},
    };
    for (const Row &row : rows) {
        CFRef<CFStringRef> wanted(NewString(row.wanted));
        CFRef<CFArrayRef> ids(
            row.substring ? VTDocumentCopyLibraryIDsWithTitleContainingSubstring(
                                nullptr, wanted.get(), nullptr)
                          : VTDocumentCopyLibraryIDsWithTitle(nullptr, wanted.get(), nullptr));
        Strings found = Texts(ids.get());
        std::sort(found.begin(), found.end());
        EXPECT_EQ(found, row.ids) << row.wanted;
    }
    CFRef<CFArrayRef> files(VTDocumentCopyFileIDs(nullptr, nullptr));
    ASSERT_TRUE(files);
    EXPECT_EQ(CFArrayGetCount(files.get()), 0);
}
