// Start-up: the first-run build, the current document left alone, documents of
// other versions and unreadable files kept before a rebuild, the example
// script and the domain folders. Each TEST runs in its own process; the
// framework is loaded so that start-up finds its bundle.
#include <Vantrell/Vantrell.h>
#include <gtest/gtest.h>

#include "document/DocumentPrivate.h"
#include "platform/values/Cast.h"
#include "platform/values/Holder.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <dlfcn.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <vector>

using vt::CFRef;
using vt::test::StringOf;
namespace fs = std::filesystem;

namespace {

constexpr char kName[] = "info.library.module.mlix";

CFRef<CFMutableDictionaryRef> Load(CFDictionaryRef options = nullptr) {
    return CFRef<CFMutableDictionaryRef>(VantrellLoadDocument(nullptr, options));
}

ino_t Inode(const std::string &path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 ? status.st_ino : 0;
}

CFDictionaryRef Entry(CFStringRef table, CFStringRef key) {
    auto dictionary = vt::cf::Cast<CFDictionaryRef>(VTPrivate_DocumentValueGet(table));
    return dictionary ? vt::cf::Cast<CFDictionaryRef>(CFDictionaryGetValue(dictionary, key))
                      : nullptr;
}

std::string Value(CFDictionaryRef dictionary, const char *key) {
    CFRef<CFStringRef> name(CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8));
    return dictionary ? StringOf(CFDictionaryGetValue(dictionary, name.get())) : "<no record>";
}

CFIndex Flags(CFStringRef libraryID) {
    return VTU_NumberGetCFIndexValue(vt::cf::Cast<CFNumberRef>(
        CFDictionaryGetValue(Entry(kVTTopLevelKeyLibraries, libraryID), kVTKeyFlags)));
}

// Names in the folder that start with the prefix, sorted.
std::vector<std::string> NamesStartingWith(const std::string &folder, const std::string &prefix) {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(folder)) {
        std::string name = entry.path().filename();
        if (name.rfind(prefix, 0) == 0) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

class Startup : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(dlopen(VANTRELL_FRAMEWORK_LIBRARY, RTLD_NOW | RTLD_LOCAL), nullptr) << dlerror();
        ASSERT_TRUE(vt::test::CreateScriptsFolders(domains_.Path(), true, true, true));
    }
    void TearDown() override { vt::test::SetDomainRoot(""); }

    std::string Document() const { return work_.Join(kName); }
    std::string Modules(SInt16 domain) const {
        return vt::test::ScriptsFolderPath(domains_.Path(), domain) + "/Modules";
    }
    vt::test::TempFolder domains_;
    vt::test::TempFolder work_;
    vt::test::ScopedWorkingDirectory cwd_{work_.Path()};
};

} // namespace

TEST_F(Startup, FirstRunBuildsAndSavesAndACurrentDocumentIsNotWrittenAgain) {
    ASSERT_EQ(Load().get(), nullptr);
    for (SInt16 domain : {kUserDomain, kLocalDomain, kNetworkDomain})
        EXPECT_TRUE(fs::is_directory(Modules(domain))) << domain;
    ASSERT_EQ(VTPrivate_DocumentLoad(nullptr), kCFBooleanTrue);
    EXPECT_EQ(CFDictionaryGetCount(VTPrivate_DocumentGetDocument()), 9);
    const struct {
        CFStringRef id;
        CFIndex flags;
        const char *base, *title;
    } roots[] = {{kVTUserLibraryID, 8, "~/Library/Scripts", "UserLibrary"},
                 {kVTLocalLibraryID, 9, "/Library/Scripts", "LocalLibrary"},
                 {kVTNetworkLibraryID, 9, "/Network/Library/Scripts", "NetworkLibrary"}};
    for (const auto &root : roots) {
        CFDictionaryRef record = Entry(kVTTopLevelKeyLibraries, root.id);
        EXPECT_EQ(Flags(root.id), root.flags);
        EXPECT_EQ(Value(record, "BaseURIString"), root.base);
        EXPECT_EQ(StringOf(VTLibraryPropertyGetValue(nullptr, root.id, kVTKeyTitle, nullptr)),
                  root.title);
        EXPECT_NE(Value(record, "URLMapID"), "<null>");
    }
    for (CFStringRef id : {kVTSearchConfigurationIDUser, kVTSearchConfigurationIDLocal,
                           kVTSearchConfigurationIDNetwork})
        EXPECT_NE(Entry(kVTTopLevelKeySearchConfigurations, id), nullptr) << StringOf(id);

    // A second start-up neither rebuilds nor saves: same file, same time.
    std::string bytes = vt::test::ReadFile(Document());
    ino_t inode = Inode(Document());
    fs::last_write_time(Document(), fs::file_time_type::clock::now() - std::chrono::hours(1));
    auto written = fs::last_write_time(Document());
    EXPECT_EQ(Load().get(), nullptr);
    EXPECT_EQ(Inode(Document()), inode);
    EXPECT_EQ(fs::last_write_time(Document()), written);
    EXPECT_EQ(vt::test::ReadFile(Document()), bytes);
    EXPECT_EQ(NamesStartingWith(work_.Path(), kName), std::vector<std::string>{kName});
}

TEST_F(Startup, OnlyTheExactVersionIsCurrentAndEachOtherIsBackedUpOnce) {
    const struct {
        const char *version; // nullptr: no version key at all
        const char *backup;  // nullptr: current, so no backup and no write
    } rows[] = {{"0.5.4", nullptr},
                {"0.5.4 ", ".version-0.5.4_"},
                {"00.5.4", ".version-00.5.4"},
                {"0.5.3", ".version-0.5.3"},
                {"1/2 b\xC3\xA9ta", ".version-1_2_b_ta"},
                {nullptr, ".version-unknown"}};
    ASSERT_EQ(Load().get(), nullptr);
    for (const auto &row : rows) {
        CFRef<CFStringRef> stored(
            row.version ? CFStringCreateWithCString(nullptr, row.version, kCFStringEncodingUTF8)
                        : nullptr);
        if (stored)
            VTPrivate_DocumentValueSet(kVTTopLevelKeyDocumentVersion, stored.get());
        else
            CFDictionaryRemoveValue(VTPrivate_DocumentGetDocument(), kVTTopLevelKeyDocumentVersion);
        ASSERT_EQ(VantrellSaveDocument(nullptr), nullptr);
        std::string file = vt::test::ReadFile(Document());
        ino_t before = Inode(Document());
        EXPECT_EQ(Load().get(), nullptr);
        // Whatever version the file had, it is current once carried forward.
        std::string version = row.version ? row.version : "(none)";
        EXPECT_EQ(StringOf(VTDocumentGetVersion()), "0.5.4") << version;
        if (!row.backup) {
            EXPECT_EQ(Inode(Document()), before);
            continue;
        }
        EXPECT_NE(Inode(Document()), before) << version << ": not saved";
        // The saved file is current: the next start-up neither rebuilds nor
        // writes it.
        ino_t carried = Inode(Document());
        EXPECT_EQ(Load().get(), nullptr);
        EXPECT_EQ(Inode(Document()), carried) << version << ": rebuilt again";
        std::string backup = Document() + row.backup;
        EXPECT_EQ(vt::test::ReadFile(backup), file) << row.backup;
        // The first backup of a version stays.
        ASSERT_TRUE(vt::test::WriteFile(Document(), file + "\n"));
        EXPECT_EQ(Load().get(), nullptr);
        EXPECT_EQ(vt::test::ReadFile(backup), file) << row.backup;
    }
}

TEST_F(Startup, OtherVersionKeepsWhatTheUserGaveTheRootLibrariesAndConfigurations) {
    ASSERT_EQ(Load().get(), nullptr);
    CFRef<CFStringRef> child(VTLibraryDescriptionCreateMinimal(nullptr, kVTUserLibraryID,
                                                               CFSTR("child"), nullptr, nullptr));
    ASSERT_EQ(VTDocumentRegisterLibrary(nullptr, child.get(), nullptr), nullptr);
    ASSERT_EQ(VTLibraryPropertySetValue(nullptr, kVTUserLibraryID, kVTKeyTitle, CFSTR("Mine")),
              nullptr);
    ASSERT_EQ(VTLibraryPropertySetValue(nullptr, kVTLocalLibraryID, kVTKeyNotes, CFSTR("n")),
              nullptr);
    ASSERT_EQ(VTLibrarySetValue(nullptr, kVTUserLibraryID, CFSTR("HostKey"), CFSTR("h")), nullptr);
    CFRef<CFNumberRef> stale(VTU_NumberCreateWithCFIndex(nullptr, 99));
    ASSERT_EQ(VTLibrarySetValue(nullptr, kVTUserLibraryID, kVTKeyFlags, stale.get()), nullptr);
    ASSERT_EQ(VTLibrarySetValue(nullptr, kVTUserLibraryID, kVTKeyBaseURIString, CFSTR("/old")),
              nullptr);
    ASSERT_EQ(VTSearchConfigurationSetValue(nullptr, kVTSearchConfigurationIDLocal, kVTKeyEnabled,
                                            kCFBooleanFalse),
              nullptr);
    ASSERT_EQ(VTSearchConfigurationSetValue(nullptr, kVTSearchConfigurationIDUser, kVTKeyTitle,
                                            CFSTR("Chosen")),
              nullptr);
    CFDictionaryRemoveValue(
        const_cast<CFMutableDictionaryRef>(
            Entry(kVTTopLevelKeySearchConfigurations, kVTSearchConfigurationIDNetwork)),
        kVTKeyInherits);
    VTPrivate_DocumentValueSet(kVTTopLevelKeyDocumentVersion, CFSTR("0.6"));
    ASSERT_EQ(VantrellSaveDocument(nullptr), nullptr);

    ASSERT_EQ(Load().get(), nullptr);
    EXPECT_EQ(StringOf(VTDocumentGetVersion()), "0.5.4");
    CFDictionaryRef user = Entry(kVTTopLevelKeyLibraries, kVTUserLibraryID);
    auto children = vt::cf::Cast<CFArrayRef>(CFDictionaryGetValue(user, kVTKeyChildren));
    EXPECT_TRUE(children && VTU_ArrayContainsValue(children, CFSTR("child")));
    EXPECT_EQ(Value(user, "HostKey"), "h");
    EXPECT_EQ(Flags(kVTUserLibraryID), 8);
    EXPECT_EQ(Value(user, "BaseURIString"), "~/Library/Scripts");
    EXPECT_EQ(StringOf(VTLibraryPropertyGetValue(nullptr, kVTUserLibraryID, kVTKeyTitle, nullptr)),
              "Mine");
    EXPECT_EQ(StringOf(VTLibraryPropertyGetValue(nullptr, kVTLocalLibraryID, kVTKeyNotes, nullptr)),
              "n");
    EXPECT_EQ(VTSearchConfigurationGetValue(nullptr, kVTSearchConfigurationIDLocal, kVTKeyEnabled,
                                            nullptr),
              kCFBooleanFalse);
    EXPECT_EQ(StringOf(VTSearchConfigurationGetValue(nullptr, kVTSearchConfigurationIDUser,
                                                     kVTKeyTitle, nullptr)),
              "Chosen");
    EXPECT_NE(VTSearchConfigurationGetValue(nullptr, kVTSearchConfigurationIDNetwork,
                                            kVTKeyInherits, nullptr),
              nullptr);
    EXPECT_TRUE(vt::test::Exists(Document() + ".version-0.6"));
}

TEST_F(Startup, UnreadableFileIsCopiedAsideAndNeverOverwritten) {
    const std::string contents[] = {
        "not a property list", "<plist version=\"1.0\"><array><string>a</string></array></plist>"};
    for (const std::string &content : contents) {
        ASSERT_TRUE(vt::test::WriteFile(Document(), content));
        testing::internal::CaptureStderr();
        EXPECT_EQ(Load().get(), nullptr);
        std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("cannot be read; it was copied to"), std::string::npos) << said;
        EXPECT_EQ(StringOf(VTDocumentGetVersion()), "0.5.4");
    }
    std::vector<std::string> aside = NamesStartingWith(work_.Path(), std::string(kName) + ".");
    ASSERT_EQ(aside.size(), 2u);
    EXPECT_EQ(aside[0].size(),
              sizeof kName - 1 + std::string(".unreadable-20261208T053200Z").size());
    std::vector<std::string> held{vt::test::ReadFile(work_.Join(aside[0])),
                                  vt::test::ReadFile(work_.Join(aside[1]))};
    std::sort(held.begin(), held.end());
    std::vector<std::string> written(std::begin(contents), std::end(contents));
    std::sort(written.begin(), written.end());
    EXPECT_EQ(held, written);

    // A copy that cannot be made stops start-up before the build, and the
    // file stays as it was.
    std::string big(4096, 'x');
    ASSERT_TRUE(vt::test::WriteFile(Document(), big));
    CFRef<CFMutableDictionaryRef> error;
    {
        vt::test::FileSizeLimit limit(1024);
        ASSERT_TRUE(limit.Lowered());
        error = Load();
    }
    ASSERT_NE(error.get(), nullptr);
    EXPECT_NE(StringOf(VTErrorGetDescription(error.get())).find("Can't copy the unreadable"),
              std::string::npos);
    EXPECT_EQ(vt::test::ReadFile(Document()), big);
    EXPECT_EQ(NamesStartingWith(work_.Path(), std::string(kName) + ".").size(), 2u);
}

TEST_F(Startup, ExampleScriptIsCopiedOnlyForTheTrueBooleanAndItsFailureKeepsTheDocument) {
    std::string example = Modules(kUserDomain) + "/SE_ListDesktopFolder.scpt";
    ASSERT_TRUE(vt::test::MakeFolders(example)); // a folder where the copy must go
    CFRef<CFMutableDictionaryRef> options(CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    CFDictionarySetValue(options.get(), kVTDocumentOptionInstallExamples, kCFBooleanTrue);
    CFRef<CFMutableDictionaryRef> failed = Load(options.get());
    EXPECT_NE(failed.get(), nullptr);
    EXPECT_TRUE(vt::test::Exists(Document()));
    EXPECT_NE(Entry(kVTTopLevelKeyLibraries, kVTNetworkLibraryID), nullptr);

    ASSERT_TRUE(fs::remove(example));
    CFRef<CFNumberRef> one(VTU_NumberCreateWithCFIndex(nullptr, 1));
    CFDictionarySetValue(options.get(), kVTDocumentOptionInstallExamples, one.get());
    EXPECT_EQ(Load(options.get()).get(), nullptr);
    EXPECT_EQ(Load().get(), nullptr);
    EXPECT_FALSE(vt::test::Exists(example));
    CFDictionarySetValue(options.get(), kVTDocumentOptionInstallExamples, kCFBooleanTrue);
    EXPECT_EQ(Load(options.get()).get(), nullptr);
    std::string fresh = vt::test::ReadFile(example);
    EXPECT_FALSE(fresh.empty());
    ASSERT_TRUE(vt::test::WriteFile(example, "changed"));
    EXPECT_EQ(Load(options.get()).get(), nullptr);
    EXPECT_EQ(vt::test::ReadFile(example), fresh);
}

TEST_F(Startup, MissingUserScriptsFolderEndsStartUpBeforeLoading) {
    fs::remove_all(vt::test::ScriptsFolderPath(domains_.Path(), kUserDomain));
    CFRef<CFMutableDictionaryRef> error = Load();
    EXPECT_EQ(StringOf(VTErrorGetDescription(error.get())),
              "Can't create user domain Modules folder.");
    EXPECT_EQ(VTU_ErrorGetCode(error.get()), -4960);
    EXPECT_EQ(VTPrivate_DocumentGetDocument(), nullptr);
    EXPECT_FALSE(vt::test::Exists(Document()));
}

TEST_F(Startup, MissingNetworkScriptsFolderStillStarts) {
    fs::remove_all(vt::test::ScriptsFolderPath(domains_.Path(), kNetworkDomain));
    EXPECT_EQ(Load().get(), nullptr);
    EXPECT_EQ(Value(Entry(kVTTopLevelKeyLibraries, kVTNetworkLibraryID), "URLMapID"), "<null>");
    EXPECT_EQ(Flags(kVTNetworkLibraryID), 9);
    EXPECT_EQ(VTSearchConfigurationGetValue(nullptr, kVTSearchConfigurationIDNetwork, kVTKeyEnabled,
                                            nullptr),
              kCFBooleanFalse);
    EXPECT_TRUE(vt::test::Exists(Document()));
}
