// Search configurations through the exported API. The description store, the
// reserved-ID list and the held document are process-wide, and each TEST runs
// in a process of its own, so every TEST starts from an empty store.
#include <Vantrell/Vantrell.h>
#include <gtest/gtest.h>

#include "document/DocumentPrivate.h"
#include "platform/values/Holder.h"
#include "search/SearchPrivate.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <string>
#include <vector>

using vt::CFRef;
using Strings = std::vector<std::string>;

namespace {

// The record's code and description, "none" for no record; takes it over.
std::string Record(CFMutableDictionaryRef record) {
    CFRef<CFMutableDictionaryRef> held(record);
    if (!record) return "none";
    return std::to_string(VTU_ErrorGetCode(record)) + " " +
           vt::test::StringOf(VTErrorGetDescription(record));
}

Strings List(CFTypeRef value) {
    if (!value || CFGetTypeID(value) != CFArrayGetTypeID()) return {"<not an array>"};
    Strings texts;
    auto array = static_cast<CFArrayRef>(value);
    for (CFIndex i = 0; i < CFArrayGetCount(array); ++i)
        texts.push_back(vt::test::StringOf(CFArrayGetValueAtIndex(array, i)));
    return texts;
}

CFTypeRef Value(CFStringRef id, CFStringRef key) {
    return VTSearchConfigurationGetValue(nullptr, id, key, nullptr);
}
CFTypeRef DescriptionValue(CFStringRef id, CFStringRef key) {
    return VTSearchConfigurationDescriptionGetValue(nullptr, id, key, nullptr);
}
std::string Create(CFStringRef title, CFStringRef id, CFArrayRef ids = nullptr) {
    return Record(VTSearchConfigurationDescriptionCreate(nullptr, title, id, ids));
}
std::string Register(CFStringRef id) {
    return Record(VTDocumentRegisterSearchConfiguration(nullptr, id));
}
std::string Set(CFStringRef id, CFStringRef key, CFTypeRef value) {
    return Record(VTSearchConfigurationSetValue(nullptr, id, key, value));
}
Strings RegisteredIDs() {
    CFRef<CFMutableArrayRef> ids(VTDocumentCopySearchConfigurationIDs(nullptr, nullptr));
    return List(ids.get());
}

const CFStringRef kCustom = CFSTR("custom");
const std::string kNull = "-50 Required input parameter is NULL.";

class SearchConfigurations : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(vt::test::CreateScriptsFolders(domains_.Path(), true, true, true));
    }
    void TearDown() override { vt::test::SetDomainRoot(""); }
    void Load(const std::string &body) {
        ASSERT_TRUE(vt::test::WriteFile(work_.Join("info.library.module.mlix"),
                                        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist "
                                        "version=\"1.0\"><dict>" +
                                            body + "</dict></plist>\n"));
        ASSERT_EQ(VTPrivate_DocumentLoad(nullptr), kCFBooleanTrue);
    }

    vt::test::TempFolder domains_;
    vt::test::TempFolder work_;
    vt::test::ScopedWorkingDirectory cwd_{work_.Path()};
};

} // namespace

TEST_F(SearchConfigurations, MissingArgumentsAndMissingTableAreReported) {
    CFRef<CFNumberRef> number(VTU_NumberCreateWithCFIndex(nullptr, 7));
    auto notAString = static_cast<CFStringRef>(static_cast<CFTypeRef>(number.get()));
    EXPECT_EQ(Create(notAString, kCustom),
              "-50 VTSearchConfigurationDescriptionCreate:: Required input parameter is NULL.");
    EXPECT_EQ(Record(VTSearchConfigurationDescriptionSetValue(nullptr, kCustom, nullptr, kCustom)),
              kNull);
    EXPECT_EQ(Register(notAString), kNull);
    EXPECT_EQ(Set(kCustom, kVTKeyTitle, nullptr), kNull);
    EXPECT_EQ(Record(VTDocumentRemoveSearchConfiguration(nullptr, nullptr)), kNull);
    EXPECT_EQ(Record(VTDocumentSetSearchConfigurationLastSelected(nullptr, nullptr)), kNull);
    CFMutableDictionaryRef error = nullptr;
    EXPECT_EQ(VTSearchConfigurationGetValue(nullptr, kCustom, nullptr, &error), nullptr);
    EXPECT_EQ(Record(error),
              "-50 VTSearchConfigurationGetValue:: Required input parameter is NULL.");

    // No document is held: each table operation names its failure, and a
    // failed registration leaves the description in the store.
    ASSERT_EQ(Create(CFSTR("T"), kCustom), "none");
    testing::internal::CaptureStderr();
    EXPECT_EQ(
        Register(kCustom),
        "-4960 VTDocumentRegisterSearchConfiguration:: SearchConfigurations array is missing.");
    EXPECT_EQ(VTSearchConfigurationGetValue(nullptr, kCustom, kVTKeyTitle, &error), nullptr);
    EXPECT_EQ(Record(error),
              "-4960 VTSearchConfigurationGetValue::SearchConfigurations array is missing.");
    EXPECT_EQ(Set(kCustom, kVTKeyTitle, kCustom),
              "-4960 VTSearchConfigurationSetValue:: Can't find search configurations array.");
    EXPECT_EQ(Record(VTDocumentRemoveSearchConfiguration(nullptr, kCustom)),
              "-4960 VTDocumentRemoveSearchConfiguration:: Problem with search configuration "
              "array.");
    EXPECT_EQ(VTDocumentCopySearchConfigurationIDs(nullptr, &error), nullptr);
    EXPECT_EQ(Record(error), "-4960 VTDocumentCopySearchConfigurationIDs: Can't find container.");
    EXPECT_NE(
        testing::internal::GetCapturedStderr().find("Can't find search configuration container."),
        std::string::npos);
    EXPECT_EQ(vt::test::StringOf(DescriptionValue(kCustom, kVTKeyTitle)), "T");
    EXPECT_EQ(VTDocumentGetSearchConfigurationLastSelected(), nullptr);
}

TEST_F(SearchConfigurations, ValuesOfAnotherTypeInALoadedDocumentReadAsAbsent) {
    testing::internal::CaptureStderr();
    Load("<key>SearchConfigurations</key><array><string>x</string></array>");
    EXPECT_EQ(RegisteredIDs(), Strings{"<not an array>"});
    EXPECT_EQ(Set(kCustom, kVTKeyTitle, kCustom),
              "-4960 VTSearchConfigurationSetValue:: Can't find search configurations array.");
    testing::internal::GetCapturedStderr();

    Load("<key>SearchConfigurationLastSelected</key><integer>3</integer>"
         "<key>SearchConfigurations</key><dict><key>junk</key><string>x</string>"
         "<key>odd</key><dict><key>Title</key><integer>1</integer><key>UUID</key><array/>"
         "<key>LibraryIDs</key><string>a</string><key>Note</key><string>kept</string></dict>"
         "</dict>");
    CFMutableDictionaryRef error = nullptr;
    for (CFStringRef key : {kVTKeyTitle, kVTKeyUUID, kVTKeyLibraryIDs}) {
        EXPECT_EQ(VTSearchConfigurationGetValue(nullptr, CFSTR("odd"), key, &error), nullptr);
        EXPECT_EQ(error, nullptr);
    }
    EXPECT_EQ(vt::test::StringOf(Value(CFSTR("odd"), CFSTR("Note"))), "kept");
    EXPECT_EQ(Value(CFSTR("junk"), kVTKeyTitle), nullptr);
    EXPECT_EQ(Set(CFSTR("junk"), kVTKeyTitle, kCustom),
              "-4960 VTSearchConfigurationSetValue: Can't find container.");
    EXPECT_EQ(RegisteredIDs(), Strings{"odd"});
    EXPECT_EQ(VTDocumentGetSearchConfigurationLastSelected(), nullptr);
    EXPECT_EQ(Set(CFSTR("odd"), kVTKeyTitle, kCustom), "none");
    EXPECT_EQ(vt::test::StringOf(Value(CFSTR("odd"), kVTKeyTitle)), "custom");
}

TEST_F(SearchConfigurations, SettersRefuseWhatTheDocumentCannotHold) {
    ASSERT_EQ(Record(VTPrivate_DocumentCreate(kCFAllocatorDefault)), "none");
    ASSERT_EQ(Create(CFSTR("T"), kCustom), "none");
    CFRef<CFURLRef> url(CFURLCreateWithString(nullptr, CFSTR("file:///tmp/"), nullptr));
    CFRef<CFNumberRef> one(VTU_NumberCreateWithCFIndex(nullptr, 1));
    CFRef<CFMutableDictionaryRef> numberKeyed(CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    CFDictionarySetValue(numberKeyed.get(), one.get(), kCustom);
    for (CFTypeRef bad : {CFTypeRef(url.get()), CFTypeRef(kCFNull), CFTypeRef(numberKeyed.get())}) {
        EXPECT_EQ(Record(VTSearchConfigurationDescriptionSetValue(nullptr, kCustom, kCustom, bad)),
                  "-50 VTSearchConfigurationDescriptionSetValue:: Value is not a property-list "
                  "type.");
        EXPECT_EQ(Record(VTDocumentSetSearchConfigurationLastSelected(
                      nullptr, static_cast<CFStringRef>(bad))),
                  "-50 VTDocumentSetSearchConfigurationLastSelected:: Value is not a "
                  "property-list type.");
    }
    // A framework key refuses a value of another type like a missing one.
    EXPECT_EQ(
        Record(VTSearchConfigurationDescriptionSetValue(nullptr, kCustom, kVTKeyTitle, one.get())),
        kNull);
    EXPECT_EQ(DescriptionValue(kCustom, kCustom), nullptr);
    EXPECT_EQ(vt::test::StringOf(DescriptionValue(kCustom, kVTKeyTitle)), "T");

    ASSERT_EQ(Register(kCustom), "none");
    EXPECT_EQ(Set(kCustom, kCustom, url.get()),
              "-50 VTSearchConfigurationSetValue:: Value is not a property-list type.");
    EXPECT_EQ(Set(kCustom, kVTKeyLibraryIDs, kCustom), kNull);
    // The stored value is a copy: the host's later edits stay its own.
    CFRef<CFMutableArrayRef> ids(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    CFArrayAppendValue(ids.get(), kVTUserLibraryID);
    EXPECT_EQ(Set(kCustom, kVTKeyLibraryIDs, ids.get()), "none");
    CFArrayAppendValue(ids.get(), kVTLocalLibraryID);
    EXPECT_EQ(List(Value(kCustom, kVTKeyLibraryIDs)), Strings{"info.module.library.id.user"});
    // An unregistered ID stores nothing and says so.
    EXPECT_EQ(Set(CFSTR("none"), kVTKeyTitle, kCustom),
              "-4960 VTSearchConfigurationSetValue: Can't find container.");
    EXPECT_EQ(RegisteredIDs(), Strings{"custom"});
    EXPECT_EQ(Record(VantrellSaveDocument(nullptr)), "none");
}

TEST_F(SearchConfigurations, DescriptionsCopyTheHostsListsAndKeepTheLatest) {
    ASSERT_EQ(Record(VTPrivate_DocumentCreate(kCFAllocatorDefault)), "none");
    CFRef<CFMutableStringRef> title(CFStringCreateMutableCopy(nullptr, 0, CFSTR("Mine")));
    CFRef<CFMutableStringRef> library(CFStringCreateMutableCopy(nullptr, 0, CFSTR("lib.a")));
    CFRef<CFNumberRef> number(VTU_NumberCreateWithCFIndex(nullptr, 2));
    CFRef<CFMutableArrayRef> ids(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    CFArrayAppendValue(ids.get(), library.get());
    CFArrayAppendValue(ids.get(), number.get());
    ASSERT_EQ(Create(CFSTR("Old"), kCustom), "none");
    EXPECT_EQ(List(DescriptionValue(kCustom, kVTKeyLibraryIDs)), Strings{});
    ASSERT_EQ(Create(title.get(), kCustom, ids.get()), "none");
    CFArrayAppendValue(ids.get(), CFSTR("lib.b"));
    CFStringAppend(library.get(), CFSTR(".changed"));
    EXPECT_EQ(DescriptionValue(kCustom, kVTKeyTitle), title.get());
    EXPECT_EQ(List(DescriptionValue(kCustom, kVTKeyLibraryIDs)), Strings{"lib.a"});

    // Registration fixes a copy of the host's title in the document.
    ASSERT_EQ(Register(kCustom), "none");
    CFStringAppend(title.get(), CFSTR(" changed"));
    EXPECT_EQ(vt::test::StringOf(Value(kCustom, kVTKeyTitle)), "Mine");
    EXPECT_EQ(vt::test::StringOf(Value(kCustom, kVTKeyUUID)), "custom");
    EXPECT_EQ(List(Value(kCustom, kVTKeyInherits)), Strings{});
    EXPECT_EQ(
        Record(VTSearchConfigurationDescriptionSetValue(nullptr, kCustom, kVTKeyTitle, kCustom)),
        "-4960 Can't find specified configuration.");
    EXPECT_EQ(Register(kCustom), "-4960 No such description.");
    ASSERT_EQ(Create(CFSTR("New"), kCustom), "none");
    ASSERT_EQ(Register(kCustom), "none");
    EXPECT_EQ(vt::test::StringOf(Value(kCustom, kVTKeyTitle)), "New");
}

TEST_F(SearchConfigurations, ReservedConfigurationsListTheirDomainsInOrder) {
    ASSERT_EQ(Record(VTPrivate_DocumentCreate(kCFAllocatorDefault)), "none");
    ASSERT_EQ(Record(VTPrivate_SearchConfigurationDescriptionsInitialize(nullptr)), "none");
    const Strings reserved = {"info.module.search.configuration.id.user",
                              "info.module.search.configuration.id.local",
                              "info.module.search.configuration.id.network"};
    const Strings libraries = {"info.module.library.id.user", "info.module.library.id.local",
                               "info.module.library.id.network"};
    const CFStringRef ids[] = {kVTSearchConfigurationIDUser, kVTSearchConfigurationIDLocal,
                               kVTSearchConfigurationIDNetwork};
    const char *titles[] = {"UserConfiguration", "LocalConfiguration", "NetworkConfiguration"};
    for (CFStringRef id : ids)
        ASSERT_EQ(Register(id), "none");
    Strings registered = RegisteredIDs();
    std::sort(registered.begin(), registered.end());
    EXPECT_EQ(registered, (Strings{reserved[1], reserved[2], reserved[0]}));
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(vt::test::StringOf(ids[i]), reserved[i]);
        EXPECT_EQ(vt::test::StringOf(Value(ids[i], kVTKeyTitle)), titles[i]);
        EXPECT_EQ(List(Value(ids[i], kVTKeySearchConfigurationLibraryIDs)),
                  Strings(libraries.begin(), libraries.begin() + long(i) + 1));
        EXPECT_EQ(Value(ids[i], kVTKeyEnabled), kCFBooleanTrue);
        EXPECT_EQ(vt::test::StringOf(Value(ids[i], kVTKeyKind)), "SearchConfiguration");
        EXPECT_EQ(vt::test::StringOf(Value(ids[i], kVTKeyUUID)), reserved[i]);
    }

    EXPECT_EQ(VTPrivate_SearchConfigurationGetReservedIDs(), nullptr);
    ASSERT_EQ(Record(VTPrivate_SearchConfigurationInitializeReservedIDs(nullptr)), "none");
    CFArrayRef list = VTPrivate_SearchConfigurationGetReservedIDs();
    ASSERT_EQ(Record(VTPrivate_SearchConfigurationInitializeReservedIDs(nullptr)), "none");
    EXPECT_EQ(VTPrivate_SearchConfigurationGetReservedIDs(), list);
    EXPECT_EQ(List(list), reserved);
}

TEST_F(SearchConfigurations, NetworkConfigurationStartsDisabledWithoutNetworkFolder) {
    vt::test::TempFolder root;
    ASSERT_TRUE(vt::test::CreateScriptsFolders(root.Path(), true, true, false));
    ASSERT_EQ(Record(VTPrivate_SearchConfigurationDescriptionsInitialize(nullptr)), "none");
    EXPECT_EQ(DescriptionValue(kVTSearchConfigurationIDUser, kVTKeyEnabled), kCFBooleanTrue);
    EXPECT_EQ(DescriptionValue(kVTSearchConfigurationIDLocal, kVTKeyEnabled), kCFBooleanTrue);
    EXPECT_EQ(DescriptionValue(kVTSearchConfigurationIDNetwork, kVTKeyEnabled), kCFBooleanFalse);
}

TEST_F(SearchConfigurations, RemovalResetsTheLastSelectedConfiguration) {
    ASSERT_EQ(Record(VTPrivate_DocumentCreate(kCFAllocatorDefault)), "none");
    EXPECT_EQ(vt::test::StringOf(VTDocumentGetSearchConfigurationLastSelected()),
              "info.module.search.configuration.id.user");
    // This ID lives only in its configuration once the test lets go of it;
    // removal is then handed the configuration's own "UUID".
    CFRef<CFStringRef> id(CFStringCreateWithCString(nullptr, "heap.id", kCFStringEncodingUTF8));
    ASSERT_EQ(Create(CFSTR("T"), id.get()), "none");
    ASSERT_EQ(Register(id.get()), "none");
    ASSERT_EQ(Create(CFSTR("T"), kCustom), "none");
    ASSERT_EQ(Register(kCustom), "none");
    CFRef<CFMutableStringRef> selected(CFStringCreateMutableCopy(nullptr, 0, CFSTR("heap.id")));
    ASSERT_EQ(Record(VTDocumentSetSearchConfigurationLastSelected(nullptr, selected.get())),
              "none");
    CFStringAppend(selected.get(), CFSTR(".changed"));
    EXPECT_EQ(vt::test::StringOf(VTDocumentGetSearchConfigurationLastSelected()), "heap.id");
    id.Reset();

    EXPECT_EQ(Record(VTDocumentRemoveSearchConfiguration(nullptr, kCustom)), "none");
    EXPECT_EQ(Record(VTDocumentRemoveSearchConfiguration(nullptr, CFSTR("unknown"))), "none");
    EXPECT_EQ(vt::test::StringOf(VTDocumentGetSearchConfigurationLastSelected()), "heap.id");
    auto uuid = static_cast<CFStringRef>(Value(CFSTR("heap.id"), kVTKeyUUID));
    ASSERT_NE(uuid, nullptr);
    EXPECT_EQ(Record(VTDocumentRemoveSearchConfiguration(nullptr, uuid)), "none");
    EXPECT_EQ(RegisteredIDs(), Strings{});
    EXPECT_EQ(vt::test::StringOf(VTDocumentGetSearchConfigurationLastSelected()),
              "info.module.search.configuration.id.user");
    // Removing the user configuration while it is last-selected keeps it so.
    EXPECT_EQ(Record(VTDocumentRemoveSearchConfiguration(nullptr, kVTSearchConfigurationIDUser)),
              "none");
    EXPECT_EQ(vt::test::StringOf(VTDocumentGetSearchConfigurationLastSelected()),
              "info.module.search.configuration.id.user");
}
