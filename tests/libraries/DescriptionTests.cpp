// Library descriptions: the ID tests, the description store, making a
// description and editing it before registration.
#include "tests/libraries/LibrariesTestSupport.h"

#include "tables/TablesPrivate.h"
#include "utilities/UtilitiesPrivate.h"

#include <regex>

using vt::CFRef;
using namespace vt::test::libraries;

namespace {

const char *const kCreate = "VTLibraryDescriptionCreateMinimal";

bool IsUUIDString(CFTypeRef value) {
    return std::regex_match(StringOf(value), std::regex("[0-9A-F]{32}"));
}

class Descriptions : public LibrariesTest {};

} // namespace

TEST_F(Descriptions, CreateMinimalRefusesMissingAndInvalidIDs) {
    ASSERT_TRUE(CreateDocument());
    struct Row {
        CFStringRef parent;
        CFStringRef library;
        CFIndex code;
        std::string said;
    } rows[] = {
        {nullptr, nullptr, -50, std::string(kCreate) + ":: Required input parameter is NULL."},
        {CFSTR("nobody.registered.this"), nullptr, -4960,
         std::string(kCreate) + ":: Parent library id not valid."},
        // A library is never its own parent.
        {kVTUserLibraryID, kVTUserLibraryID, -4960,
         std::string(kCreate) + ":: Parent library id not valid."},
        // Root IDs stand above libraries; none is a library itself.
        {kVTUserLibraryID, CFSTR("info.module.root.id.local"), -4960,
         std::string(kCreate) + ":: Parent library id not valid."},
        {kVTRootModuleIDExternal, kVTRootModuleIDExternal, -4960,
         std::string(kCreate) + ":: Parent library id not valid."},
    };
    for (const Row &row : rows) {
        CFRef<CFMutableDictionaryRef> error;
        CFRef<CFStringRef> id(VTLibraryDescriptionCreateMinimal(nullptr, row.parent, row.library,
                                                                nullptr, error.Out()));
        EXPECT_FALSE(id) << row.said;
        EXPECT_EQ(Code(error.get()), row.code) << row.said;
        EXPECT_EQ(Said(error.get()), row.said);
        // Without an out-argument the record is dropped, not leaked.
        EXPECT_EQ(
            VTLibraryDescriptionCreateMinimal(nullptr, row.parent, row.library, nullptr, nullptr),
            nullptr);
    }
    // An ID or a title that is no string gives no description, and says so.
    CFRef<CFNumberRef> number(VTU_NumberCreateWithCFIndex(nullptr, 3));
    auto notAString = static_cast<CFStringRef>(static_cast<CFTypeRef>(number.get()));
    for (int which = 0; which < 2; ++which) {
        CFRef<CFMutableDictionaryRef> error;
        CFRef<CFStringRef> id(VTLibraryDescriptionCreateMinimal(
            nullptr, kVTUserLibraryID, which == 0 ? notAString : nullptr,
            which == 1 ? notAString : nullptr, error.Out()));
        EXPECT_FALSE(id);
        EXPECT_EQ(Said(error.get()),
                  std::string(kCreate) + ":: Problem creating library description.");
        EXPECT_EQ(Code(error.get()), -4960);
    }
    // Nothing was stored: the store was never even made.
    CFRef<CFMutableDictionaryRef> error;
    EXPECT_EQ(VTLibraryDescriptionGetValue(nullptr, CFSTR("x"), kVTKeyKind, error.Out()), nullptr);
    EXPECT_EQ(Said(error.get()), "Library description container is NULL.");
}

TEST_F(Descriptions, StoreReportsItsAbsenceThenUnknownIDsQuietly) {
    CFRef<CFMutableDictionaryRef> error;
    EXPECT_EQ(VTPrivate_GetLibraryDescription(nullptr, nullptr, error.Out()), nullptr);
    EXPECT_EQ(Code(error.get()), -50);
    EXPECT_EQ(VTPrivate_GetLibraryDescription(nullptr, CFSTR("x"), error.Out()), nullptr);
    EXPECT_EQ(Said(error.get()), "Library description container is NULL.");
    EXPECT_EQ(Code(error.get()), -4960);
    error.Reset(VTLibraryDescriptionContainerSetValue(nullptr, CFSTR("x"), kVTKeyFolderInfo,
                                                      kVTKeyTitle, CFSTR("v")));
    EXPECT_EQ(Said(error.get()), "Library description container is NULL.");
    error.Reset(VTLibraryDescriptionSetValue(nullptr, CFSTR("x"), kVTKeyTitle, CFSTR("v")));
    EXPECT_EQ(Said(error.get()), "Can't find container.");
    EXPECT_EQ(Code(error.get()), -4960);

    // Once the store exists an unknown ID is simply not found.
    CFRef<CFStringRef> made(VTLibraryDescriptionCreateMinimal(nullptr, kVTRootModuleIDExternal,
                                                              nullptr, nullptr, nullptr));
    ASSERT_TRUE(made);
    CFMutableDictionaryRef untouched = NewDictionary();
    CFMutableDictionaryRef slot = untouched;
    EXPECT_EQ(VTLibraryDescriptionGetValue(nullptr, CFSTR("unknown"), kVTKeyKind, &slot), nullptr);
    EXPECT_EQ(slot, untouched);
    CFRelease(untouched);
    EXPECT_EQ(VTLibraryDescriptionContainerSetValue(nullptr, CFSTR("unknown"), kVTKeyFolderInfo,
                                                    kVTKeyTitle, CFSTR("v")),
              nullptr);
    error.Reset(VTLibraryDescriptionSetValue(nullptr, CFSTR("unknown"), kVTKeyTitle, CFSTR("v")));
    EXPECT_EQ(Said(error.get()), "Can't find container.");

    // Removal drops only the one description; NULL and unknown IDs are harmless.
    VTPrivate_RemoveLibraryDescription(nullptr);
    VTPrivate_RemoveLibraryDescription(CFSTR("unknown"));
    EXPECT_NE(VTPrivate_GetLibraryDescription(nullptr, made.get(), nullptr), nullptr);
    VTPrivate_RemoveLibraryDescription(made.get());
    error.Reset();
    EXPECT_EQ(VTPrivate_GetLibraryDescription(nullptr, made.get(), error.Out()), nullptr);
    EXPECT_FALSE(error);
}

TEST_F(Descriptions, FreshDescriptionHoldsTheEightKeys) {
    // No document at all: a reserved parent needs no registration.
    CFRef<CFMutableDictionaryRef> error;
    CFRef<CFStringRef> id(VTLibraryDescriptionCreateMinimal(nullptr, kVTRootModuleIDExternal,
                                                            nullptr, nullptr, error.Out()));
    ASSERT_TRUE(id) << Said(error.get());
    EXPECT_TRUE(IsUUIDString(id.get())) << StringOf(id.get());

    CFDictionaryRef description = VTPrivate_GetLibraryDescription(nullptr, id.get(), nullptr);
    ASSERT_NE(description, nullptr);
    EXPECT_EQ(CFDictionaryGetCount(description), 8);
    EXPECT_EQ(StringOf(CFDictionaryGetValue(description, kVTKeyKind)), "Library");
    EXPECT_EQ(StringOf(CFDictionaryGetValue(description, kVTKeyParentID)),
              "info.module.root.id.external");
    CFTypeRef uuid = CFDictionaryGetValue(description, kVTKeyUUID);
    EXPECT_TRUE(IsUUIDString(uuid)) << StringOf(uuid);
    EXPECT_FALSE(CFEqual(uuid, id.get()));

    CFDictionaryRef properties =
        Dictionary(CFDictionaryGetValue(description, kVTLibraryDescriptionKeyProperties));
    ASSERT_NE(properties, nullptr);
    EXPECT_EQ(CFDictionaryGetCount(properties), 2);
    EXPECT_EQ(StringOf(CFDictionaryGetValue(properties, kVTKeyKind)), "Properties");
    EXPECT_EQ(StringOf(CFDictionaryGetValue(properties, kVTKeyTitle)), "untitled");

    auto flags = vt::cf::Cast<CFNumberRef>(CFDictionaryGetValue(description, kVTKeyFlags));
    ASSERT_NE(flags, nullptr);
    EXPECT_FALSE(CFNumberIsFloatType(flags));
    EXPECT_EQ(VTU_NumberGetCFIndexValue(flags), 0);

    CFDictionaryRef folderInfo = Dictionary(CFDictionaryGetValue(description, kVTKeyFolderInfo));
    ASSERT_NE(folderInfo, nullptr);
    EXPECT_EQ(CFDictionaryGetCount(folderInfo), 1);
    EXPECT_EQ(StringOf(CFDictionaryGetValue(folderInfo, kVTKeyKind)), "FolderInfo");
    for (CFStringRef list : {kVTKeyFiles, kVTKeyChildren}) {
        CFArrayRef array = Array(CFDictionaryGetValue(description, list));
        ASSERT_NE(array, nullptr) << StringOf(list);
        EXPECT_EQ(CFArrayGetCount(array), 0);
        // Registration appends to both in place.
        EXPECT_NE(vt::cf::CastMutable<CFMutableArrayRef>(array), nullptr);
    }
}

TEST_F(Descriptions, GivenIDTitleAndParentAreStoredAsTheirOwnCopies) {
    ASSERT_TRUE(CreateDocument());
    CFRef<CFStringRef> parent = Register(kVTRootModuleIDUser, kVTUserLibraryID);
    ASSERT_TRUE(parent);

    CFRef<CFMutableStringRef> parentID(CFStringCreateMutableCopy(nullptr, 0, kVTUserLibraryID));
    CFRef<CFMutableStringRef> libraryID(CFStringCreateMutableCopy(nullptr, 0, CFSTR("my.lib")));
    CFRef<CFMutableStringRef> title(CFStringCreateMutableCopy(nullptr, 0, CFSTR("Tools")));
    CFRef<CFStringRef> id(VTLibraryDescriptionCreateMinimal(nullptr, parentID.get(),
                                                            libraryID.get(), title.get(), nullptr));
    ASSERT_TRUE(id);
    // The host changes its own strings afterwards; the description must not.
    CFStringAppend(parentID.get(), CFSTR("!"));
    CFStringAppend(libraryID.get(), CFSTR("!"));
    CFStringAppend(title.get(), CFSTR("!"));
    EXPECT_EQ(StringOf(VTLibraryDescriptionGetValue(nullptr, id.get(), kVTKeyParentID, nullptr)),
              "info.module.library.id.user");
    EXPECT_EQ(StringOf(VTLibraryDescriptionGetValue(nullptr, id.get(), kVTKeyUUID, nullptr)),
              "my.lib");
    EXPECT_EQ(StringOf(VTLibraryDescriptionContainerGetValue(
                  nullptr, id.get(), kVTLibraryDescriptionKeyProperties, kVTKeyTitle, nullptr)),
              "Tools");
}

TEST_F(Descriptions, SetAndGetValueCheckTheirArguments) {
    CFRef<CFStringRef> id(
        VTLibraryDescriptionCreateMinimal(nullptr, kVTRootModuleIDUser, nullptr, nullptr, nullptr));
    ASSERT_TRUE(id);
    CFRef<CFMutableDictionaryRef> error;
    const std::string refused = "VTLibraryDescriptionSetValue:: Value is not a property-list type.";

    // Missing arguments.
    error.Reset(VTLibraryDescriptionSetValue(nullptr, nullptr, kVTKeyTitle, CFSTR("v")));
    EXPECT_EQ(Said(error.get()), "Required input parameter is NULL.");
    error.Reset(VTLibraryDescriptionSetValue(nullptr, id.get(), nullptr, CFSTR("v")));
    EXPECT_EQ(Code(error.get()), -50);
    error.Reset(VTLibraryDescriptionSetValue(nullptr, id.get(), kVTKeyTitle, nullptr));
    EXPECT_EQ(Said(error.get()), "Required input parameter is NULL.");
    EXPECT_EQ(VTLibraryDescriptionGetValue(nullptr, id.get(), nullptr, error.Out()), nullptr);
    EXPECT_EQ(Code(error.get()), -50);

    // Values that could never be saved are refused, and nothing changes.
    CFRef<CFURLRef> url(NewFolderURL("/tmp"));
    CFRef<CFMutableDictionaryRef> numericKeys(CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    CFRef<CFNumberRef> one(VTU_NumberCreateWithCFIndex(nullptr, 1));
    CFDictionarySetValue(numericKeys.get(), one.get(), CFSTR("one"));
    for (CFTypeRef bad : {CFTypeRef(url.get()), CFTypeRef(numericKeys.get())}) {
        error.Reset(VTLibraryDescriptionSetValue(nullptr, id.get(), CFSTR("Extra"), bad));
        EXPECT_EQ(Code(error.get()), -50);
        EXPECT_EQ(Said(error.get()), refused);
        EXPECT_EQ(VTLibraryDescriptionGetValue(nullptr, id.get(), CFSTR("Extra"), nullptr),
                  nullptr);
    }

    // A stored value is the description's own copy: later edits by the host
    // stay with the host.
    CFRef<CFMutableArrayRef> tags(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    CFArrayAppendValue(tags.get(), CFSTR("a"));
    error.Reset(VTLibraryDescriptionSetValue(nullptr, id.get(), CFSTR("Tags"), tags.get()));
    ASSERT_FALSE(error) << Said(error.get());
    CFArrayAppendValue(tags.get(), CFSTR("b"));
    EXPECT_EQ(Texts(VTLibraryDescriptionGetValue(nullptr, id.get(), CFSTR("Tags"), nullptr)),
              std::vector<std::string>{"a"});

    // An absent key reads as NULL without a record.
    error.Reset();
    EXPECT_EQ(VTLibraryDescriptionGetValue(nullptr, id.get(), CFSTR("Absent"), error.Out()),
              nullptr);
    EXPECT_FALSE(error);
}

TEST_F(Descriptions, ContainerValuesGoIntoPresentContainersOnly) {
    CFRef<CFStringRef> id(
        VTLibraryDescriptionCreateMinimal(nullptr, kVTRootModuleIDUser, nullptr, nullptr, nullptr));
    ASSERT_TRUE(id);
    CFRef<CFMutableDictionaryRef> error;

    // Missing ID, container key or key: nothing happens and nothing is said.
    EXPECT_EQ(VTLibraryDescriptionContainerSetValue(nullptr, id.get(), kVTKeyFolderInfo, nullptr,
                                                    CFSTR("v")),
              nullptr);
    EXPECT_EQ(
        VTLibraryDescriptionContainerSetValue(nullptr, id.get(), nullptr, kVTKeyTitle, CFSTR("v")),
        nullptr);
    EXPECT_EQ(VTLibraryDescriptionContainerGetValue(nullptr, nullptr, kVTKeyFolderInfo, kVTKeyKind,
                                                    error.Out()),
              nullptr);
    EXPECT_FALSE(error);
    EXPECT_EQ(CFDictionaryGetCount(Dictionary(
                  VTLibraryDescriptionGetValue(nullptr, id.get(), kVTKeyFolderInfo, nullptr))),
              1);

    // A NULL or unsavable value is refused under the setter's name.
    CFRef<CFURLRef> url(NewFolderURL("/tmp"));
    for (CFTypeRef bad : {CFTypeRef(nullptr), CFTypeRef(url.get())}) {
        error.Reset(VTLibraryDescriptionContainerSetValue(nullptr, id.get(), kVTKeyFolderInfo,
                                                          CFSTR("Where"), bad));
        EXPECT_EQ(Code(error.get()), -50);
        EXPECT_EQ(Said(error.get()),
                  "VTLibraryDescriptionContainerSetValue:: Value is not a property-list type.");
    }

    // Into "Properties" and, through the folder-info setter, "FolderInfo".
    error.Reset(VTLibraryDescriptionContainerSetValue(
        nullptr, id.get(), kVTLibraryDescriptionKeyProperties, kVTKeyNotes, CFSTR("n")));
    EXPECT_FALSE(error);
    error.Reset(VTPrivate_LibraryDescriptionFolderInfoSetValue(
        nullptr, id.get(), kVTFileInfoKeyPOSIXPath, CFSTR("/p")));
    EXPECT_FALSE(error);
    EXPECT_EQ(StringOf(VTLibraryDescriptionContainerGetValue(
                  nullptr, id.get(), kVTLibraryDescriptionKeyProperties, kVTKeyNotes, nullptr)),
              "n");
    EXPECT_EQ(StringOf(VTLibraryDescriptionContainerGetValue(nullptr, id.get(), kVTKeyFolderInfo,
                                                             kVTFileInfoKeyPOSIXPath, nullptr)),
              "/p");

    // A missing container, or a value that is no dictionary, is not a container.
    error.Reset(VTLibraryDescriptionSetValue(nullptr, id.get(), kVTKeyFolderInfo, CFSTR("flat")));
    ASSERT_FALSE(error);
    for (CFStringRef container : {CFSTR("Nowhere"), kVTKeyFolderInfo}) {
        EXPECT_EQ(VTLibraryDescriptionContainerSetValue(nullptr, id.get(), container, kVTKeyTitle,
                                                        CFSTR("v")),
                  nullptr);
        EXPECT_EQ(VTLibraryDescriptionContainerGetValue(nullptr, id.get(), container, kVTKeyTitle,
                                                        error.Out()),
                  nullptr);
        EXPECT_EQ(Said(error.get()),
                  "VTLibraryDescriptionContainerGetValue: Can't find container.");
        EXPECT_EQ(Code(error.get()), -4960);
    }
    EXPECT_EQ(StringOf(VTLibraryDescriptionGetValue(nullptr, id.get(), kVTKeyFolderInfo, nullptr)),
              "flat");
    EXPECT_EQ(VTLibraryDescriptionGetValue(nullptr, id.get(), CFSTR("Nowhere"), nullptr), nullptr);
}

TEST_F(Descriptions, FolderInfoRecordsTheMapIDAndTheAskedPaths) {
    ASSERT_TRUE(CreateDocument());
    vt::test::TempFolder folders;
    ASSERT_TRUE(vt::test::MakeFolders(folders.Join("Present")));
    CFRef<CFURLRef> present(NewFolderURL(folders.Join("Present")));
    CFRef<CFURLRef> missing(NewFolderURL(folders.Join("Missing")));
    CFRef<CFMutableDictionaryRef> error;

    CFRef<CFStringRef> id(
        VTLibraryDescriptionCreateMinimal(nullptr, kVTRootModuleIDUser, nullptr, nullptr, nullptr));
    ASSERT_TRUE(id);
    error.Reset(VTLibraryDescriptionSetFolderInfoWithURL(nullptr, nullptr, present.get(), nullptr));
    EXPECT_EQ(Said(error.get()), "Required input parameter is NULL.");
    error.Reset(VTLibraryDescriptionSetFolderInfoWithURL(nullptr, id.get(), nullptr, nullptr));
    EXPECT_EQ(Code(error.get()), -50);
    EXPECT_EQ(VTLibraryDescriptionGetValue(nullptr, id.get(), kVTFileInfoKeyURLMapID, nullptr),
              nullptr);

    auto folderInfoCount = [](CFStringRef descriptionID) {
        return CFDictionaryGetCount(Dictionary(
            VTLibraryDescriptionGetValue(nullptr, descriptionID, kVTKeyFolderInfo, nullptr)));
    };

    // A missing folder: the map entry and "URLMapID", no paths, whatever the options.
    CFRef<CFNumberRef> all(VTU_NumberCreateWithCFIndex(nullptr, 7));
    error.Reset(
        VTLibraryDescriptionSetFolderInfoWithURL(nullptr, id.get(), missing.get(), all.get()));
    EXPECT_FALSE(error) << Said(error.get());
    CFRef<CFStringRef> expected(
        VTU_StringCreateHashedWithMD5(nullptr, CFURLGetString(missing.get())));
    CFTypeRef mapID =
        VTLibraryDescriptionGetValue(nullptr, id.get(), kVTFileInfoKeyURLMapID, nullptr);
    EXPECT_EQ(StringOf(mapID), StringOf(expected.get()));
    EXPECT_EQ(StringOf(VTPrivate_MapGetValue(expected.get())),
              StringOf(CFURLGetString(missing.get())));
    EXPECT_EQ(folderInfoCount(id.get()), 1);

    // An existing folder: no options (or options that are no whole number)
    // give the map ID only; 1 adds the POSIX path; 7 adds the HFS path too.
    double fraction = 1.5;
    CFRef<CFNumberRef> real(CFNumberCreate(nullptr, kCFNumberDoubleType, &fraction));
    for (CFNumberRef none : {static_cast<CFNumberRef>(nullptr), real.get()}) {
        error.Reset(
            VTLibraryDescriptionSetFolderInfoWithURL(nullptr, id.get(), present.get(), none));
        EXPECT_FALSE(error);
        EXPECT_EQ(folderInfoCount(id.get()), 1);
    }
    CFRef<CFStringRef> presentID(
        VTU_StringCreateHashedWithMD5(nullptr, CFURLGetString(present.get())));
    EXPECT_EQ(
        StringOf(VTLibraryDescriptionGetValue(nullptr, id.get(), kVTFileInfoKeyURLMapID, nullptr)),
        StringOf(presentID.get()));

    CFRef<CFNumberRef> posixOnly(VTU_NumberCreateWithCFIndex(nullptr, 1 | 8 | 64));
    error.Reset(VTLibraryDescriptionSetFolderInfoWithURL(nullptr, id.get(), present.get(),
                                                         posixOnly.get()));
    EXPECT_FALSE(error);
    EXPECT_EQ(StringOf(VTLibraryDescriptionContainerGetValue(nullptr, id.get(), kVTKeyFolderInfo,
                                                             kVTFileInfoKeyPOSIXPath, nullptr)),
              folders.Join("Present"));
    EXPECT_EQ(folderInfoCount(id.get()), 2);

    error.Reset(
        VTLibraryDescriptionSetFolderInfoWithURL(nullptr, id.get(), present.get(), all.get()));
    EXPECT_FALSE(error);
    CFRef<CFStringRef> hfs;
    VTU_URLCopyPathData(nullptr, present.get(), nullptr, hfs.Out(), nullptr);
    EXPECT_EQ(StringOf(VTLibraryDescriptionContainerGetValue(nullptr, id.get(), kVTKeyFolderInfo,
                                                             kVTFileInfoKeyHFSPath, nullptr)),
              StringOf(hfs.get()));
}

TEST_F(Descriptions, ReservedAndRootIDs) {
    CFRef<CFMutableStringRef> sameText(
        CFStringCreateMutableCopy(nullptr, 0, CFSTR("info.module.root.id.network")));
    CFRef<CFNumberRef> number(VTU_NumberCreateWithCFIndex(nullptr, 1));
    struct Row {
        CFStringRef id;
        bool reserved;
        bool root;
    } rows[] = {
        {nullptr, false, false},
        {kVTUserLibraryID, true, false},
        {kVTNetworkLibraryID, true, false},
        {CFSTR("info.module.root.id.user"), true, true},
        {sameText.get(), true, true},
        {CFSTR("info.module.root.id.external"), true, true},
        {CFSTR("info.module.root.id.User"), false, false},
        {CFSTR(""), false, false},
        {static_cast<CFStringRef>(static_cast<CFTypeRef>(number.get())), false, false},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(bool(VTPrivate_LibraryIDIsReserved(row.id)), row.reserved) << StringOf(row.id);
        EXPECT_EQ(bool(VTPrivate_LibraryIDIsRoot(row.id)), row.root) << StringOf(row.id);
    }

    // Registration: no document, then a document without the ID.
    EXPECT_FALSE(VTPrivate_LibraryIDIsRegistered(kVTUserLibraryID));
    ASSERT_TRUE(CreateDocument());
    EXPECT_FALSE(VTPrivate_LibraryIDIsRegistered(kVTUserLibraryID));
    EXPECT_FALSE(VTPrivate_LibraryIDIsRegistered(nullptr));
}
