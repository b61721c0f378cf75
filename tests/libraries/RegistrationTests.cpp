// Library registration and the record accessors: failures first, then what a
// registration files, links and keeps, then documents edited by hand.
#include "tests/libraries/LibrariesTestSupport.h"

#include "utilities/UtilitiesPrivate.h"

using vt::CFRef;
using namespace vt::test::libraries;

namespace {

const std::string kRegister = "VTDocumentRegisterLibrary";

class Registration : public LibrariesTest {};

CFRef<CFStringRef> Describe(CFStringRef parentID, CFStringRef libraryID,
                            CFStringRef title = nullptr) {
    CFRef<CFMutableDictionaryRef> error;
    CFRef<CFStringRef> id(
        VTLibraryDescriptionCreateMinimal(nullptr, parentID, libraryID, title, error.Out()));
    EXPECT_TRUE(id) << Said(error.get());
    return id;
}

// The key object under which the Libraries table files the ID, or NULL.
CFTypeRef TableKeyFor(CFStringRef libraryID) {
    CFDictionaryRef table = TableOf(kVTTopLevelKeyLibraries);
    CFIndex count = CFDictionaryGetCount(table);
    std::vector<const void *> keys(static_cast<size_t>(count));
    CFDictionaryGetKeysAndValues(table, keys.data(), nullptr);
    for (const void *key : keys)
        if (CFEqual(key, libraryID)) return key;
    return nullptr;
}

} // namespace

TEST_F(Registration, RefusesMissingDescriptionsAndTables) {
    CFRef<CFMutableDictionaryRef> error(VTDocumentRegisterLibrary(nullptr, nullptr, nullptr));
    EXPECT_EQ(Said(error.get()), kRegister + ":: Required input parameter is NULL.");
    EXPECT_EQ(Code(error.get()), -50);

    // No document yet: a reserved parent still gives a description.
    CFRef<CFStringRef> id = Describe(kVTRootModuleIDUser, kVTUserLibraryID);
    CFRef<CFStringRef> out;
    error.Reset(VTDocumentRegisterLibrary(nullptr, id.get(), out.Out()));
    EXPECT_EQ(Said(error.get()), kRegister + ": Can't find container.");
    EXPECT_EQ(Code(error.get()), -4960);
    EXPECT_FALSE(out);

    // A "Libraries" value that is no dictionary is no table either.
    ASSERT_TRUE(CreateDocument());
    VTPrivate_DocumentValueSet(kVTTopLevelKeyLibraries, CFSTR("not a table"));
    error.Reset(VTDocumentRegisterLibrary(nullptr, id.get(), nullptr));
    EXPECT_EQ(Said(error.get()), kRegister + ": Can't find container.");
    EXPECT_NE(VTPrivate_GetLibraryDescription(nullptr, id.get(), nullptr), nullptr);

    CFRef<CFMutableDictionaryRef> table(NewDictionary());
    VTPrivate_SetLibraries(table.get());
    EXPECT_EQ(VTPrivate_GetLibraries(), table.get());
    error.Reset(VTDocumentRegisterLibrary(nullptr, CFSTR("no such description"), nullptr));
    EXPECT_EQ(Said(error.get()), kRegister + ":: Library description not found.");
    EXPECT_EQ(Code(error.get()), -4960);

    // Registered once; the same description ID names nothing afterwards.
    error.Reset(VTDocumentRegisterLibrary(nullptr, id.get(), nullptr));
    EXPECT_FALSE(error) << Said(error.get());
    CFDictionaryRef record = RecordOf(kVTUserLibraryID);
    error.Reset(VTDocumentRegisterLibrary(nullptr, id.get(), out.Out()));
    EXPECT_EQ(Said(error.get()), kRegister + ":: Library description not found.");
    EXPECT_FALSE(out);
    EXPECT_EQ(RecordOf(kVTUserLibraryID), record);
    EXPECT_EQ(CFDictionaryGetCount(table.get()), 1);
}

TEST_F(Registration, DescriptionWithoutUsableUUIDRegistersNothing) {
    ASSERT_TRUE(CreateDocument());
    CFRef<CFStringRef> id = Describe(kVTRootModuleIDUser, nullptr);
    CFRef<CFNumberRef> number(VTU_NumberCreateWithCFIndex(nullptr, 7));
    CFRef<CFMutableDictionaryRef> error(
        VTLibraryDescriptionSetValue(nullptr, id.get(), kVTKeyUUID, number.get()));
    ASSERT_FALSE(error);
    CFRef<CFStringRef> out;
    error.Reset(VTDocumentRegisterLibrary(nullptr, id.get(), out.Out()));
    EXPECT_FALSE(error);
    EXPECT_FALSE(out);
    EXPECT_EQ(CFDictionaryGetCount(TableOf(kVTTopLevelKeyLibraries)), 0);
    EXPECT_EQ(CFDictionaryGetCount(TableOf(kVTTopLevelKeyProperties)), 0);
    // The description stays, whole, in the store.
    EXPECT_NE(VTLibraryDescriptionGetValue(nullptr, id.get(), kVTLibraryDescriptionKeyProperties,
                                           nullptr),
              nullptr);
}

TEST_F(Registration, ContainersOfTheWrongTypeAreConsumedAndIgnored) {
    ASSERT_TRUE(CreateDocument());
    CFRef<CFStringRef> id = Describe(kVTRootModuleIDUser, kVTUserLibraryID);
    CFRef<CFNumberRef> number(VTU_NumberCreateWithCFIndex(nullptr, 5));
    for (CFStringRef key : {kVTLibraryDescriptionKeyProperties, kVTKeyFolderInfo,
                            kVTFileInfoKeyURLMapID, kVTKeyParentID}) {
        CFRef<CFMutableDictionaryRef> error(
            VTLibraryDescriptionSetValue(nullptr, id.get(), key, number.get()));
        ASSERT_FALSE(error);
    }
    CFRef<CFMutableDictionaryRef> error(VTDocumentRegisterLibrary(nullptr, id.get(), nullptr));
    EXPECT_FALSE(error) << Said(error.get());
    CFDictionaryRef record = RecordOf(kVTUserLibraryID);
    ASSERT_NE(record, nullptr);
    for (CFStringRef consumed : {kVTLibraryDescriptionKeyProperties, kVTKeyFolderInfo,
                                 kVTLibraryKeyPropertyID, kVTKeyUUID})
        EXPECT_FALSE(CFDictionaryContainsKey(record, consumed)) << StringOf(consumed);
    EXPECT_EQ(CFDictionaryGetCount(TableOf(kVTTopLevelKeyProperties)), 0);
    EXPECT_EQ(CFDictionaryGetCount(TableOf(kVTTopLevelKeyFiles)), 0);
    EXPECT_EQ(VTLibraryGetURLMapID(nullptr, kVTUserLibraryID, nullptr), nullptr);
}

TEST_F(Registration, RootLibraryBecomesARecordAndAPropertySet) {
    ASSERT_TRUE(CreateDocument());
    CFRef<CFStringRef> id = Describe(kVTRootModuleIDUser, kVTUserLibraryID, CFSTR("UserLibrary"));
    CFRef<CFStringRef> out;
    CFRef<CFMutableDictionaryRef> error(VTDocumentRegisterLibrary(nullptr, id.get(), out.Out()));
    ASSERT_FALSE(error) << Said(error.get());
    ASSERT_TRUE(out);
    EXPECT_EQ(StringOf(out.get()), "info.module.library.id.user");
    // The caller's copy is its own: releasing it never touches the document.
    EXPECT_NE(static_cast<CFTypeRef>(out.get()), TableKeyFor(kVTUserLibraryID));
    EXPECT_NE(static_cast<CFTypeRef>(out.get()), static_cast<CFTypeRef>(kVTUserLibraryID));

    CFDictionaryRef record = RecordOf(kVTUserLibraryID);
    ASSERT_NE(record, nullptr);
    for (CFStringRef consumed :
         {kVTKeyUUID, kVTLibraryDescriptionKeyProperties, kVTKeyFolderInfo, kVTFileInfoKeyURLMapID})
        EXPECT_FALSE(CFDictionaryContainsKey(record, consumed)) << StringOf(consumed);
    EXPECT_EQ(StringOf(CFDictionaryGetValue(record, kVTKeyKind)), "Library");
    EXPECT_EQ(StringOf(CFDictionaryGetValue(record, kVTKeyParentID)), "info.module.root.id.user");
    EXPECT_EQ(StringOf(CFDictionaryGetValue(record, kVTLibraryKeyPropertyID)),
              "3b909884a598890c06c6699b5b0b2570");
    EXPECT_EQ(CFDictionaryGetCount(record),
              6); // Kind, ParentID, Flags, Files, Children, PropertyID

    CFDictionaryRef properties = Dictionary(CFDictionaryGetValue(
        TableOf(kVTTopLevelKeyProperties), CFSTR("3b909884a598890c06c6699b5b0b2570")));
    ASSERT_NE(properties, nullptr);
    EXPECT_EQ(StringOf(CFDictionaryGetValue(properties, kVTKeyKind)), "Properties");
    EXPECT_EQ(StringOf(CFDictionaryGetValue(properties, kVTKeyTitle)), "UserLibrary");
    // No folder was given: no file entry, no map entry.
    EXPECT_EQ(CFDictionaryGetCount(TableOf(kVTTopLevelKeyFiles)), 0);
    EXPECT_EQ(CFDictionaryGetCount(TableOf(kVTTopLevelKeyMap)), 0);
    EXPECT_TRUE(VTPrivate_LibraryIDIsRegistered(kVTUserLibraryID));
    EXPECT_EQ(VTPrivate_GetLibraryDescription(nullptr, id.get(), nullptr), nullptr);
}

TEST_F(Registration, ChildJoinsItsParentAndItsFolderEntry) {
    ASSERT_TRUE(CreateDocument());
    vt::test::TempFolder folders;
    std::string parentPath = folders.Join("Modules"), childPath = folders.Join("Modules/Tools");
    ASSERT_TRUE(vt::test::MakeFolders(childPath));
    CFRef<CFURLRef> parentURL(NewFolderURL(parentPath)), childURL(NewFolderURL(childPath));

    CFRef<CFStringRef> parent =
        Register(kVTRootModuleIDUser, kVTUserLibraryID, nullptr, parentURL.get(), 1);
    ASSERT_TRUE(parent);
    CFDictionaryRef parentRecord = RecordOf(kVTUserLibraryID);
    CFTypeRef parentMapID = CFDictionaryGetValue(parentRecord, kVTFileInfoKeyURLMapID);
    CFDictionaryRef parentEntry =
        Dictionary(CFDictionaryGetValue(TableOf(kVTTopLevelKeyFiles), parentMapID));
    ASSERT_NE(parentEntry, nullptr);
    EXPECT_EQ(StringOf(CFDictionaryGetValue(parentEntry, kVTKeyKind)), "FolderInfo");
    EXPECT_EQ(Texts(CFDictionaryGetValue(parentEntry, kVTKeyOwners)),
              std::vector<std::string>{"info.module.library.id.user"});
    EXPECT_EQ(StringOf(CFDictionaryGetValue(parentEntry, kVTFileInfoKeyPOSIXPath)), parentPath);

    // The child's folder appears after the parent's entry was made: the
    // child's registration refreshes the parent's listing.
    CFRef<CFStringRef> child =
        Register(kVTUserLibraryID, CFSTR("lib.tools"), CFSTR("Tools"), childURL.get());
    ASSERT_TRUE(child);
    EXPECT_EQ(Texts(CFDictionaryGetValue(RecordOf(kVTUserLibraryID), kVTKeyChildren)),
              std::vector<std::string>{"lib.tools"});
    EXPECT_EQ(Texts(CFDictionaryGetValue(parentEntry, CFSTR("kCFURLFileDirectoryContents"))),
              std::vector<std::string>{"Tools/"});

    CFDictionaryRef childRecord = RecordOf(CFSTR("lib.tools"));
    CFTypeRef childMapID = CFDictionaryGetValue(childRecord, kVTFileInfoKeyURLMapID);
    CFDictionaryRef childEntry =
        Dictionary(CFDictionaryGetValue(TableOf(kVTTopLevelKeyFiles), childMapID));
    ASSERT_NE(childEntry, nullptr);
    EXPECT_EQ(StringOf(CFDictionaryGetValue(childEntry, kVTKeyKind)), "FolderInfo");
    EXPECT_EQ(Texts(CFDictionaryGetValue(childEntry, kVTKeyOwners)),
              std::vector<std::string>{"lib.tools"});
    EXPECT_FALSE(CFDictionaryContainsKey(childEntry, kVTFileInfoKeyPOSIXPath));
    EXPECT_EQ(StringOf(CFDictionaryGetValue(TableOf(kVTTopLevelKeyMap), childMapID)),
              StringOf(CFURLGetString(childURL.get())));
}

TEST_F(Registration, RegisteringAgainKeepsFilesAndChildrenAndMovesTheParentLink) {
    ASSERT_TRUE(CreateDocument());
    ASSERT_TRUE(Register(kVTRootModuleIDUser, kVTUserLibraryID));
    ASSERT_TRUE(Register(kVTRootModuleIDLocal, kVTLocalLibraryID));
    ASSERT_TRUE(Register(kVTUserLibraryID, CFSTR("lib.c"), CFSTR("First")));
    ASSERT_TRUE(Register(CFSTR("lib.c"), CFSTR("lib.g")));
    CFMutableArrayRef files = VTLibraryGetFiles(nullptr, CFSTR("lib.c"), nullptr);
    ASSERT_NE(files, nullptr);
    CFArrayAppendValue(files, CFSTR("file.1"));
    CFArrayAppendValue(files, CFSTR("file.2"));

    // Under a new parent, with a file of its own, one of them known already.
    CFRef<CFStringRef> again = Describe(kVTLocalLibraryID, CFSTR("lib.c"), CFSTR("Second"));
    auto descriptionFiles = vt::cf::CastMutable<CFMutableArrayRef>(
        VTLibraryDescriptionGetValue(nullptr, again.get(), kVTKeyFiles, nullptr));
    ASSERT_NE(descriptionFiles, nullptr);
    CFArrayAppendValue(descriptionFiles, CFSTR("file.2"));
    CFArrayAppendValue(descriptionFiles, CFSTR("file.3"));
    CFRef<CFMutableDictionaryRef> error(VTDocumentRegisterLibrary(nullptr, again.get(), nullptr));
    ASSERT_FALSE(error) << Said(error.get());

    CFDictionaryRef record = RecordOf(CFSTR("lib.c"));
    EXPECT_EQ(StringOf(CFDictionaryGetValue(record, kVTKeyParentID)),
              "info.module.library.id.local");
    EXPECT_EQ(Texts(CFDictionaryGetValue(record, kVTKeyFiles)),
              (std::vector<std::string>{"file.1", "file.2", "file.3"}));
    EXPECT_EQ(Texts(CFDictionaryGetValue(record, kVTKeyChildren)),
              std::vector<std::string>{"lib.g"});
    EXPECT_EQ(Texts(CFDictionaryGetValue(RecordOf(kVTUserLibraryID), kVTKeyChildren)),
              std::vector<std::string>{});
    EXPECT_EQ(Texts(CFDictionaryGetValue(RecordOf(kVTLocalLibraryID), kVTKeyChildren)),
              std::vector<std::string>{"lib.c"});
    EXPECT_EQ(StringOf(VTPropertyGetValue(nullptr,
                                          VTLibraryGetPropertyID(nullptr, CFSTR("lib.c"), nullptr),
                                          kVTKeyTitle, nullptr)),
              "Second");

    // The same parent once more: still one entry in its "Children".
    ASSERT_TRUE(Register(kVTLocalLibraryID, CFSTR("lib.c")));
    EXPECT_EQ(Texts(CFDictionaryGetValue(RecordOf(kVTLocalLibraryID), kVTKeyChildren)),
              std::vector<std::string>{"lib.c"});
    EXPECT_EQ(Texts(CFDictionaryGetValue(RecordOf(CFSTR("lib.c")), kVTKeyChildren)),
              std::vector<std::string>{"lib.g"});
}

TEST_F(Registration, RefusesParentChainsThatLeadBackToTheLibrary) {
    ASSERT_TRUE(CreateDocument());
    ASSERT_TRUE(Register(kVTRootModuleIDUser, kVTUserLibraryID));
    ASSERT_TRUE(Register(kVTUserLibraryID, CFSTR("lib.a")));
    ASSERT_TRUE(Register(CFSTR("lib.a"), CFSTR("lib.b")));
    CFDictionaryRef before = RecordOf(CFSTR("lib.a"));

    // lib.a under its own grandchild; lib.a under itself, set after creation.
    CFRef<CFStringRef> underGrandchild = Describe(CFSTR("lib.b"), CFSTR("lib.a"));
    CFRef<CFStringRef> underItself = Describe(kVTUserLibraryID, CFSTR("lib.a"));
    CFRef<CFMutableDictionaryRef> error(
        VTLibraryDescriptionSetValue(nullptr, underItself.get(), kVTKeyParentID, CFSTR("lib.a")));
    ASSERT_FALSE(error);
    // And a root ID slipped in as the library's ID.
    CFRef<CFStringRef> rootAsLibrary = Describe(kVTUserLibraryID, CFSTR("lib.r"));
    error.Reset(VTLibraryDescriptionSetValue(nullptr, rootAsLibrary.get(), kVTKeyUUID,
                                             kVTRootModuleIDExternal));
    ASSERT_FALSE(error);

    for (CFStringRef id : {underGrandchild.get(), underItself.get(), rootAsLibrary.get()}) {
        CFRef<CFStringRef> out;
        error.Reset(VTDocumentRegisterLibrary(nullptr, id, out.Out()));
        EXPECT_EQ(Said(error.get()), kRegister + ":: Parent library id not valid.");
        EXPECT_EQ(Code(error.get()), -4960);
        EXPECT_FALSE(out);
        // Nothing changed, and the description is still there to fix.
        EXPECT_NE(VTPrivate_GetLibraryDescription(nullptr, id, nullptr), nullptr);
    }
    EXPECT_EQ(RecordOf(CFSTR("lib.a")), before);
    EXPECT_EQ(StringOf(CFDictionaryGetValue(before, kVTKeyParentID)),
              "info.module.library.id.user");
    EXPECT_EQ(Texts(CFDictionaryGetValue(RecordOf(CFSTR("lib.b")), kVTKeyChildren)),
              std::vector<std::string>{});
    EXPECT_EQ(CFDictionaryGetCount(TableOf(kVTTopLevelKeyLibraries)), 3);
    EXPECT_EQ(CFDictionaryGetCount(TableOf(kVTTopLevelKeyProperties)), 3);
}

TEST_F(Registration, TableFailuresAreReportedYetTheLibraryIsFiled) {
    ASSERT_TRUE(CreateDocument());
    VTPrivate_DocumentValueSet(kVTTopLevelKeyProperties, CFSTR("not a table"));
    CFRef<CFStringRef> id = Describe(kVTRootModuleIDUser, kVTUserLibraryID);
    CFRef<CFStringRef> out;
    CFRef<CFMutableDictionaryRef> error(VTDocumentRegisterLibrary(nullptr, id.get(), out.Out()));
    EXPECT_EQ(Said(error.get()), "VTPrivate_SetOneProperty: Can't find container.");
    EXPECT_EQ(StringOf(out.get()), "info.module.library.id.user");
    CFDictionaryRef record = RecordOf(kVTUserLibraryID);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(StringOf(CFDictionaryGetValue(record, kVTLibraryKeyPropertyID)),
              "3b909884a598890c06c6699b5b0b2570");
    EXPECT_EQ(VTPrivate_GetLibraryDescription(nullptr, id.get(), nullptr), nullptr);
}

TEST_F(Registration, HandEditedDocumentsDoNotCrashRegistrationOrAccessors) {
    ASSERT_TRUE(CreateDocument());
    ASSERT_TRUE(Register(kVTRootModuleIDUser, kVTUserLibraryID));
    auto libraries = vt::cf::CastMutable<CFMutableDictionaryRef>(
        VTPrivate_DocumentValueGet(kVTTopLevelKeyLibraries));
    ASSERT_NE(libraries, nullptr);
    CFDictionarySetValue(libraries, CFSTR("lib.string"), CFSTR("not a record"));
    CFMutableDictionaryRef user = VTPrivate_GetOneLibrary(kVTUserLibraryID);
    CFDictionarySetValue(user, kVTKeyChildren, CFSTR("not a list"));
    CFDictionarySetValue(user, kVTKeyFiles, CFSTR("not a list"));
    CFDictionarySetValue(user, kVTFileInfoKeyURLMapID, CFSTR("no such map entry"));

    // A record of the wrong type is no record.
    EXPECT_FALSE(VTPrivate_LibraryIDIsRegistered(CFSTR("lib.string")));
    EXPECT_EQ(VTPrivate_GetOneLibrary(CFSTR("lib.string")), nullptr);
    CFRef<CFMutableDictionaryRef> error;
    EXPECT_EQ(VTLibraryGetValue(nullptr, CFSTR("lib.string"), kVTKeyKind, error.Out()), nullptr);
    EXPECT_EQ(Said(error.get()), "VTLibraryGetValue: Can't find container.");
    EXPECT_EQ(VTLibraryDescriptionCreateMinimal(nullptr, CFSTR("lib.string"), nullptr, nullptr,
                                                error.Out()),
              nullptr);
    EXPECT_EQ(Said(error.get()),
              "VTLibraryDescriptionCreateMinimal:: Parent library id not valid.");

    // A parent whose lists are of the wrong type is left as it is.
    ASSERT_TRUE(Register(kVTUserLibraryID, CFSTR("lib.child")));
    EXPECT_EQ(StringOf(CFDictionaryGetValue(RecordOf(kVTUserLibraryID), kVTKeyChildren)),
              "not a list");
    error.Reset();
    EXPECT_EQ(VTLibraryGetFiles(nullptr, kVTUserLibraryID, error.Out()), nullptr);
    EXPECT_FALSE(error);

    // Registering over a record of the wrong type replaces it.
    ASSERT_TRUE(Register(kVTUserLibraryID, CFSTR("lib.string")));
    EXPECT_TRUE(VTPrivate_LibraryIDIsRegistered(CFSTR("lib.string")));

    // An immutable record (as a host might store) is made editable on use.
    CFRef<CFMutableDictionaryRef> draft(NewDictionary());
    CFDictionarySetValue(draft.get(), kVTKeyKind, kVTKindLibrary);
    CFRef<CFDictionaryRef> fixed(CFDictionaryCreateCopy(nullptr, draft.get()));
    CFDictionarySetValue(libraries, CFSTR("lib.fixed"), fixed.get());
    error.Reset(VTLibrarySetValue(nullptr, CFSTR("lib.fixed"), kVTKeyNotes, CFSTR("edited")));
    EXPECT_FALSE(error);
    EXPECT_EQ(StringOf(VTLibraryGetValue(nullptr, CFSTR("lib.fixed"), kVTKeyNotes, nullptr)),
              "edited");
}

TEST_F(Registration, RecordAccessorsCheckArgumentsAndCopyValues) {
    ASSERT_TRUE(CreateDocument());
    ASSERT_TRUE(Register(kVTRootModuleIDUser, kVTUserLibraryID));
    CFRef<CFMutableDictionaryRef> error;

    // Missing arguments and unknown libraries.
    error.Reset(VTLibrarySetValue(nullptr, nullptr, kVTKeyNotes, CFSTR("v")));
    EXPECT_EQ(Said(error.get()), "Required input parameter is NULL.");
    error.Reset(VTLibrarySetValue(nullptr, kVTUserLibraryID, nullptr, CFSTR("v")));
    EXPECT_EQ(Code(error.get()), -50);
    error.Reset(VTLibrarySetValue(nullptr, CFSTR("unknown"), kVTKeyNotes, CFSTR("v")));
    EXPECT_EQ(Said(error.get()), "VTLibrarySetValue: Can't find container.");
    EXPECT_EQ(Code(error.get()), -4960);
    EXPECT_EQ(VTLibraryGetValue(nullptr, kVTUserLibraryID, nullptr, error.Out()), nullptr);
    EXPECT_EQ(Said(error.get()), "Required input parameter is NULL.");
    EXPECT_EQ(VTLibraryCopyValue(nullptr, nullptr, kVTKeyKind, error.Out()), nullptr);
    EXPECT_EQ(Code(error.get()), -50);
    using Getter = CFTypeRef (*)(CFStringRef, CFMutableDictionaryRef *);
    Getter getters[] = {
        [](CFStringRef id, CFMutableDictionaryRef *out) -> CFTypeRef {
            return VTLibraryGetValue(nullptr, id, kVTKeyKind, out);
        },
        [](CFStringRef id, CFMutableDictionaryRef *out) -> CFTypeRef {
            return VTLibraryCopyValue(nullptr, id, kVTKeyKind, out);
        },
        [](CFStringRef id, CFMutableDictionaryRef *out) -> CFTypeRef {
            return VTLibraryGetURLMapID(nullptr, id, out);
        },
        [](CFStringRef id, CFMutableDictionaryRef *out) -> CFTypeRef {
            return VTLibraryGetPropertyID(nullptr, id, out);
        },
        [](CFStringRef id, CFMutableDictionaryRef *out) -> CFTypeRef {
            return VTLibraryGetFiles(nullptr, id, out);
        },
    };
    for (Getter get : getters) {
        EXPECT_EQ(get(CFSTR("unknown"), error.Out()), nullptr);
        EXPECT_EQ(Said(error.get()), "VTLibraryGetValue: Can't find container.");
        EXPECT_EQ(get(CFSTR("unknown"), nullptr), nullptr);
    }

    // Values that could never be saved are refused; nothing is stored.
    CFRef<CFURLRef> url(NewFolderURL("/tmp"));
    for (CFTypeRef bad : {CFTypeRef(nullptr), CFTypeRef(url.get())}) {
        error.Reset(VTLibrarySetValue(nullptr, kVTUserLibraryID, kVTKeyNotes, bad));
        EXPECT_EQ(Said(error.get()), "VTLibrarySetValue:: Value is not a property-list type.");
        EXPECT_EQ(Code(error.get()), -50);
        EXPECT_FALSE(CFDictionaryContainsKey(RecordOf(kVTUserLibraryID), kVTKeyNotes));
    }

    // A stored string is the record's own; a copied value is the caller's.
    CFRef<CFMutableStringRef> notes(CFStringCreateMutableCopy(nullptr, 0, CFSTR("draft")));
    error.Reset(VTLibrarySetValue(nullptr, kVTUserLibraryID, kVTKeyNotes, notes.get()));
    ASSERT_FALSE(error);
    CFStringAppend(notes.get(), CFSTR(" changed later"));
    EXPECT_EQ(StringOf(VTLibraryGetValue(nullptr, kVTUserLibraryID, kVTKeyNotes, nullptr)),
              "draft");
    CFRef<CFTypeRef> copy(VTLibraryCopyValue(nullptr, kVTUserLibraryID, kVTKeyNotes, nullptr));
    EXPECT_EQ(StringOf(copy.get()), "draft");
    EXPECT_NE(copy.get(), VTLibraryGetValue(nullptr, kVTUserLibraryID, kVTKeyNotes, nullptr));
    error.Reset();
    EXPECT_EQ(VTLibraryCopyValue(nullptr, kVTUserLibraryID, CFSTR("Absent"), error.Out()), nullptr);
    EXPECT_FALSE(error);

    // Typed getters.
    EXPECT_EQ(StringOf(VTLibraryGetPropertyID(nullptr, kVTUserLibraryID, nullptr)),
              "3b909884a598890c06c6699b5b0b2570");
    EXPECT_EQ(VTLibraryGetURLMapID(nullptr, kVTUserLibraryID, nullptr), nullptr);
    CFMutableArrayRef files = VTLibraryGetFiles(nullptr, kVTUserLibraryID, nullptr);
    ASSERT_NE(files, nullptr);
    CFArrayAppendValue(files, CFSTR("file.x"));
    EXPECT_EQ(Texts(CFDictionaryGetValue(RecordOf(kVTUserLibraryID), kVTKeyFiles)),
              std::vector<std::string>{"file.x"});
}

TEST_F(Registration, RecordsSurviveSaveAndLoad) {
    ASSERT_TRUE(CreateDocument());
    ASSERT_TRUE(Register(kVTRootModuleIDUser, kVTUserLibraryID, CFSTR("UserLibrary")));
    ASSERT_TRUE(Register(kVTUserLibraryID, CFSTR("lib.c"), CFSTR("Child")));
    CFRef<CFMutableDictionaryRef> error(VantrellSaveDocument(nullptr));
    ASSERT_FALSE(error) << Said(error.get());
    ASSERT_EQ(VTPrivate_DocumentLoad(nullptr), kCFBooleanTrue);
    EXPECT_TRUE(VTPrivate_LibraryIDIsRegistered(CFSTR("lib.c")));
    EXPECT_EQ(Texts(VTLibraryGetValue(nullptr, kVTUserLibraryID, kVTKeyChildren, nullptr)),
              std::vector<std::string>{"lib.c"});
    // The loaded document takes further registrations in place.
    ASSERT_TRUE(Register(CFSTR("lib.c"), CFSTR("lib.d")));
    EXPECT_EQ(Texts(VTLibraryGetValue(nullptr, CFSTR("lib.c"), kVTKeyChildren, nullptr)),
              std::vector<std::string>{"lib.d"});
}

TEST_F(Registration, ChildrenNeverHoldAnIDTwiceWhateverEditedThem) {
    ASSERT_TRUE(CreateDocument());
    ASSERT_TRUE(Register(kVTRootModuleIDUser, kVTUserLibraryID));
    for (CFStringRef id : {CFSTR("lib.a"), CFSTR("lib.b"), CFSTR("lib.c")})
        ASSERT_TRUE(Register(kVTUserLibraryID, id));
    auto children = [] {
        return Texts(RecordOf(kVTUserLibraryID)
                         ? CFDictionaryGetValue(RecordOf(kVTUserLibraryID), kVTKeyChildren)
                         : nullptr);
    };
    ASSERT_EQ(children(), (std::vector<std::string>{"lib.a", "lib.b", "lib.c"}));

    // A deleted library's ID stays among its parent's children; registering
    // that ID anew does not list it twice.
    auto libraries = vt::cf::CastMutable<CFMutableDictionaryRef>(
        VTPrivate_DocumentValueGet(kVTTopLevelKeyLibraries));
    ASSERT_NE(libraries, nullptr);
    CFDictionaryRemoveValue(libraries, CFSTR("lib.b"));
    ASSERT_TRUE(Register(kVTUserLibraryID, CFSTR("lib.b")));
    EXPECT_EQ(children(), (std::vector<std::string>{"lib.a", "lib.b", "lib.c"}));

    // The host edits the array in place, then replaces it.
    auto list = vt::cf::CastMutable<CFMutableArrayRef>(
        VTLibraryGetValue(nullptr, kVTUserLibraryID, kVTKeyChildren, nullptr));
    ASSERT_NE(list, nullptr);
    CFArrayRemoveValueAtIndex(list, 0);
    ASSERT_TRUE(Register(kVTUserLibraryID, CFSTR("lib.a")));
    EXPECT_EQ(children(), (std::vector<std::string>{"lib.b", "lib.c", "lib.a"}));
    CFArraySetValueAtIndex(list, 0, CFSTR("lib.d"));
    CFArrayAppendValue(list, CFSTR("lib.e"));
    ASSERT_TRUE(Register(kVTUserLibraryID, CFSTR("lib.d")));
    ASSERT_TRUE(Register(kVTUserLibraryID, CFSTR("lib.b")));
    EXPECT_EQ(children(), (std::vector<std::string>{"lib.d", "lib.c", "lib.a", "lib.e", "lib.b"}));

    const void *only[] = {CFSTR("lib.c")};
    CFRef<CFArrayRef> replacement(CFArrayCreate(nullptr, only, 1, &kCFTypeArrayCallBacks));
    CFRef<CFMutableDictionaryRef> error(
        VTLibrarySetValue(nullptr, kVTUserLibraryID, kVTKeyChildren, replacement.get()));
    ASSERT_FALSE(error);
    ASSERT_TRUE(Register(kVTUserLibraryID, CFSTR("lib.c")));
    ASSERT_TRUE(Register(kVTUserLibraryID, CFSTR("lib.a")));
    EXPECT_EQ(children(), (std::vector<std::string>{"lib.c", "lib.a"}));
}
