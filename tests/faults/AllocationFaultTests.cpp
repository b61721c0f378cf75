// Refused allocations: start-up and each main operation run with a caller's
// allocator that refuses its Nth allocation, for every N until the operation
// needs no more. Each attempt runs in a child forked from the same state; it
// must not crash or leak, must report its documented failure or really have
// done its work, and must leave a document the consistency check accepts.
#include <Vantrell/Vantrell.h>
#include <gtest/gtest.h>

#include "document/DocumentPrivate.h"
#include "faults/FaultAllocator.h"
#include "faults/FaultSupport.h"
#include "libraries/LibrariesPrivate.h"
#include "platform/values/Cast.h"
#include "platform/values/Holder.h"
#include "support/TestSupport.h"
#include "tables/TablesPrivate.h"
#include "tools/Check.h"

#include <cstdio>
#include <dlfcn.h>
#include <filesystem>
#include <functional>
#include <set>
#include <string>

// The check lives with the command; the tests executable does not link it.
#include "tools/Check.cpp"

using vt::CFRef;
using vt::test::FaultCounts;
using vt::test::StringOf;
namespace fs = std::filesystem;

namespace {

constexpr char kName[] = "info.library.module.mlix";
// No operation here comes near this many allocations; a sweep that does has
// stopped ending.
constexpr long kMaxPoints = 20000;
// Past this many failing attempts a sweep reports no more of them.
constexpr int kMaxReported = 8;

CFRef<CFURLRef> FolderURL(const std::string &path, bool isDirectory = true) {
    return CFRef<CFURLRef>(CFURLCreateFromFileSystemRepresentation(
        nullptr, reinterpret_cast<const UInt8 *>(path.data()), CFIndex(path.size()), isDirectory));
}

CFDictionaryRef Library(CFStringRef id) {
    return vt::cf::Cast<CFDictionaryRef>(CFDictionaryGetValue(
        vt::cf::Cast<CFDictionaryRef>(VTPrivate_DocumentValueGet(kVTTopLevelKeyLibraries)), id));
}

CFArrayRef ListOf(CFStringRef id, CFStringRef key) {
    CFDictionaryRef record = Library(id);
    return record ? vt::cf::Cast<CFArrayRef>(CFDictionaryGetValue(record, key)) : nullptr;
}

bool Holds(CFArrayRef array, CFTypeRef value) {
    return array && CFArrayContainsValue(array, CFRangeMake(0, CFArrayGetCount(array)), value);
}

// What the consistency check finds wrong with the held document, and whether
// it can still be written.
std::string DocumentProblems() {
    CFMutableDictionaryRef document = VTPrivate_DocumentGetDocument();
    if (!document) return "no document held";
    std::string text;
    for (const vt::tool::Finding &finding : vt::tool::CheckDocument(document))
        text += finding.path + ": " + finding.message + "; ";
    if (!CFPropertyListIsValid(document, kCFPropertyListXMLFormat_v1_0))
        text += "the document is no longer a property list; ";
    return text;
}

// An owned library record: registered, titled, on its folder, in its parent.
std::string LibraryProblems(CFStringRef id, CFStringRef parentID, const char *title,
                            CFURLRef folder) {
    if (!id) return "success without a library ID";
    if (!Library(id)) return "success without a record for " + StringOf(id);
    std::string text;
    CFTypeRef stored = VTLibraryPropertyGetValue(nullptr, id, kVTKeyTitle, nullptr);
    if (StringOf(stored) != title) text += "title " + StringOf(stored) + "; ";
    if (folder) {
        CFStringRef mapID =
            vt::cf::Cast<CFStringRef>(CFDictionaryGetValue(Library(id), kVTFileInfoKeyURLMapID));
        if (StringOf(VTPrivate_MapGetValue(mapID)) != StringOf(CFURLGetString(folder)))
            text += "no map entry for the folder; ";
    }
    if (!Holds(ListOf(parentID, kVTKeyChildren), id)) text += "not among its parent's children; ";
    return text;
}

// Writes the scripts folder the libraries use:
//   Scripts/{a.scpt, b.scpt, Sub1/{c.scpt}, Sub2/{d.scpt, Deep/{e.scpt}}}
void MakeScripts(const std::string &root) {
    for (const char *file :
         {"a.scpt", "b.scpt", "Sub1/c.scpt", "Sub2/d.scpt", "Sub2/Deep/e.scpt"}) {
        std::string path = root + "/" + file;
        ASSERT_TRUE(vt::test::MakeFolders(fs::path(path).parent_path()));
        ASSERT_TRUE(vt::test::WriteFile(path, std::string("script ") + file));
    }
}

// One attempt: the operation's problem ("" when it failed as documented or
// really succeeded) and, through *succeeded, whether it reported success.
using Operation = std::function<std::string(CFAllocatorRef allocator, bool *succeeded)>;

// Runs the attempt with the Nth allocation refused for N = 1, 2, ... until an
// attempt needs no refusal; that last one must succeed. Returns how many
// allocation failure points were tried.
long Sweep(const char *name, const Operation &operation,
           const std::function<std::string()> &extraChecks = {}, bool judgeDocument = true) {
    long points = 0;
    int reported = 0;
    for (long n = 1; n < kMaxPoints; ++n) {
        vt::test::ChildOutcome outcome = vt::test::RunInChild([&](bool *reached) {
            FaultCounts counts;
            counts.failAt = n;
            bool succeeded = false;
            std::string problem;
            {
                CFRef<CFAllocatorRef> allocator(vt::test::CreateFaultAllocator(&counts));
                if (!allocator) return std::string("no allocator");
                problem = operation(allocator.get(), &succeeded);
            }
            *reached = counts.Failed();
            if (!*reached && !succeeded) problem += "failed with nothing refused; ";
            if (judgeDocument) problem += DocumentProblems();
            if (extraChecks) problem += extraChecks();
            return problem;
        });
        if (!outcome.problem.empty() && reported++ < kMaxReported)
            ADD_FAILURE() << name << ", allocation " << n << " refused: " << outcome.problem;
        if (!outcome.reached) break;
        ++points;
    }
    std::printf("[ faults   ] %s: %ld allocation failure points\n", name, points);
    testing::Test::RecordProperty(std::string("points_") + name, std::to_string(points));
    return points;
}

class AllocationFaults : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(dlopen(VANTRELL_FRAMEWORK_LIBRARY, RTLD_NOW | RTLD_LOCAL), nullptr) << dlerror();
        ASSERT_TRUE(vt::test::CreateScriptsFolders(domains_.Path(), true, true, true));
        ASSERT_NO_FATAL_FAILURE(MakeScripts(Scripts()));
        CFRef<CFMutableDictionaryRef> error(VantrellLoadDocument(nullptr, nullptr));
        ASSERT_FALSE(error) << StringOf(VTErrorGetDescription(error.get()));
        ASSERT_EQ(DocumentProblems(), "");
    }
    void TearDown() override { vt::test::SetDomainRoot(""); }

    std::string Scripts() const { return work_.Join("Scripts"); }
    std::string Document() const { return work_.Join(kName); }

    // Registers a library on the scripts folder under the user library, with
    // the default allocator; its ID (the fixture keeps it).
    CFStringRef RegisterShared() {
        CFRef<CFStringRef> description(VTLibraryDescriptionCreateMinimal(
            nullptr, kVTUserLibraryID, nullptr, CFSTR("Shared"), nullptr));
        EXPECT_TRUE(description);
        CFRef<CFURLRef> folder = FolderURL(Scripts());
        CFRef<CFMutableDictionaryRef> error(VTLibraryDescriptionSetFolderInfoWithURL(
            nullptr, description.get(), folder.get(), nullptr));
        EXPECT_FALSE(error);
        error.Reset(VTDocumentRegisterLibrary(nullptr, description.get(), shared_.Out()));
        EXPECT_FALSE(error);
        EXPECT_EQ(DocumentProblems(), "");
        return shared_.get();
    }

    vt::test::TempFolder domains_;
    vt::test::TempFolder work_;
    vt::test::ScopedWorkingDirectory cwd_{work_.Path()};
    CFRef<CFStringRef> shared_;
};

} // namespace

TEST_F(AllocationFaults, RegisteringALibrary) {
    CFRef<CFURLRef> folder = FolderURL(Scripts());
    Sweep("register library", [&](CFAllocatorRef a, bool *succeeded) -> std::string {
        CFRef<CFMutableDictionaryRef> error;
        CFRef<CFStringRef> description(VTLibraryDescriptionCreateMinimal(
            a, kVTUserLibraryID, nullptr, CFSTR("Faulty"), error.Out()));
        if (!description) return error ? "" : "no description and no record; ";
        error.Reset(
            VTLibraryDescriptionSetFolderInfoWithURL(a, description.get(), folder.get(), nullptr));
        if (error) return "";
        CFRef<CFStringRef> id;
        error.Reset(VTDocumentRegisterLibrary(a, description.get(), id.Out()));
        if (error) return "";
        *succeeded = true;
        return LibraryProblems(id.get(), kVTUserLibraryID, "Faulty", folder.get());
    });
}

TEST_F(AllocationFaults, RegisteringAFileURL) {
    CFStringRef shared = RegisterShared();
    CFRef<CFURLRef> file = FolderURL(Scripts() + "/a.scpt", false);
    Sweep("register URL", [&](CFAllocatorRef a, bool *succeeded) -> std::string {
        CFRef<CFMutableDictionaryRef> error;
        CFRef<CFStringRef> fileID(VTLibraryRegisterURL(a, shared, file.get(), error.Out()));
        if (!fileID) return error ? "" : "no file ID and no record; ";
        *succeeded = true;
        std::string text;
        if (error) text += "a file ID and a record; ";
        if (!Holds(ListOf(shared, kVTKeyFiles), fileID.get()))
            text += "the file ID is not among the library's files; ";
        CFTypeRef owners = VTFileGetValue(nullptr, fileID.get(), kVTKeyOwners, nullptr);
        if (!Holds(vt::cf::Cast<CFArrayRef>(owners), shared))
            text += "the library does not own the file entry; ";
        if (StringOf(VTPrivate_MapGetValue(fileID.get())) != StringOf(CFURLGetString(file.get())))
            text += "no map entry for the file; ";
        return text;
    });
}

TEST_F(AllocationFaults, RegisteringSubfolders) {
    CFStringRef shared = RegisterShared();
    Sweep("register subfolders", [&](CFAllocatorRef a, bool *succeeded) -> std::string {
        CFRef<CFMutableDictionaryRef> error(VTLibraryRegisterSubfolders(a, shared));
        if (error) return "";
        *succeeded = true;
        std::set<std::string> made;
        CFArrayRef children = ListOf(shared, kVTKeyChildren);
        for (CFIndex i = 0, count = children ? CFArrayGetCount(children) : 0; i < count; ++i) {
            auto child = vt::cf::Cast<CFStringRef>(CFArrayGetValueAtIndex(children, i));
            CFArrayRef files = ListOf(child, kVTKeyFiles);
            made.insert(StringOf(VTLibraryPropertyGetValue(nullptr, child, kVTKeyTitle, nullptr)) +
                        "/" + std::to_string(files ? CFArrayGetCount(files) : -1));
        }
        return made == std::set<std::string>{"Sub1/1", "Sub2/2"}
                   ? ""
                   : "success without both subfolder libraries and their files; ";
    });
}

TEST_F(AllocationFaults, SettingAPropertyValue) {
    CFStringRef shared = RegisterShared();
    CFRef<CFStringRef> accented(
        CFStringCreateWithCString(nullptr, "d\xC3\xA9j\xC3\xA0 vu", kCFStringEncodingUTF8));
    const void *tags[] = {CFSTR("x"), accented.get()};
    CFRef<CFArrayRef> tagList(CFArrayCreate(nullptr, tags, 2, &kCFTypeArrayCallBacks));
    const void *keys[] = {CFSTR("Notes"), CFSTR("Tags")};
    const void *values[] = {accented.get(), tagList.get()};
    CFRef<CFDictionaryRef> value(CFDictionaryCreate(nullptr, keys, values, 2,
                                                    &kCFTypeDictionaryKeyCallBacks,
                                                    &kCFTypeDictionaryValueCallBacks));
    Sweep("property set value", [&](CFAllocatorRef a, bool *succeeded) -> std::string {
        CFRef<CFMutableDictionaryRef> error(
            VTLibraryPropertySetValue(a, shared, CFSTR("Extra"), value.get()));
        if (error) return "";
        *succeeded = true;
        CFTypeRef stored = VTLibraryPropertyGetValue(nullptr, shared, CFSTR("Extra"), nullptr);
        return CFEqual(stored, value.get()) ? "" : "success without the value stored; ";
    });
}

TEST_F(AllocationFaults, RegisteringASearchConfiguration) {
    CFStringRef shared = RegisterShared();
    const void *ids[] = {kVTUserLibraryID, shared};
    CFRef<CFArrayRef> libraryIDs(CFArrayCreate(nullptr, ids, 2, &kCFTypeArrayCallBacks));
    CFStringRef configuration = CFSTR("info.module.configuration.faulty");
    Sweep("search configuration", [&](CFAllocatorRef a, bool *succeeded) -> std::string {
        CFRef<CFMutableDictionaryRef> error(VTSearchConfigurationDescriptionCreate(
            a, CFSTR("Mine"), configuration, libraryIDs.get()));
        if (error) return "";
        error.Reset(VTDocumentRegisterSearchConfiguration(a, configuration));
        if (error) return "";
        *succeeded = true;
        std::string text;
        if (StringOf(VTSearchConfigurationGetValue(nullptr, configuration, kVTKeyTitle, nullptr)) !=
            "Mine")
            text += "success without the title; ";
        if (!CFEqual(
                VTSearchConfigurationGetValue(nullptr, configuration, kVTKeyLibraryIDs, nullptr),
                libraryIDs.get()))
            text += "success without the library IDs; ";
        return text;
    });
}

TEST_F(AllocationFaults, RemovingALibraryWithItsDescendants) {
    CFStringRef shared = RegisterShared();
    ASSERT_FALSE(CFRef<CFMutableDictionaryRef>(VTLibraryRegisterSubfolders(nullptr, shared)));
    CFRef<CFArrayRef> children =
        CFRef<CFArrayRef>::Retain(vt::cf::Cast<CFArrayRef>(ListOf(shared, kVTKeyChildren)));
    ASSERT_TRUE(children && CFArrayGetCount(children.get()) == 2);
    Sweep("remove library", [&](CFAllocatorRef a, bool *succeeded) -> std::string {
        CFRef<CFMutableDictionaryRef> error(VTDocumentRemoveLibrary(a, shared));
        if (error) return "";
        *succeeded = true;
        std::string text;
        if (Library(shared)) text += "success with the library still there; ";
        for (CFIndex i = 0; i < CFArrayGetCount(children.get()); ++i)
            if (Library(vt::cf::Cast<CFStringRef>(CFArrayGetValueAtIndex(children.get(), i))))
                text += "success with a child library still there; ";
        if (Holds(ListOf(kVTUserLibraryID, kVTKeyChildren), shared))
            text += "success with the library still among its parent's children; ";
        return text;
    });
}

TEST_F(AllocationFaults, SavingTheDocument) {
    RegisterShared();
    ASSERT_FALSE(CFRef<CFMutableDictionaryRef>(VantrellSaveDocument(nullptr)));
    const std::string before = vt::test::ReadFile(Document());
    ASSERT_FALSE(before.empty());
    // Something to save: the file no longer matches the held document.
    ASSERT_FALSE(CFRef<CFMutableDictionaryRef>(
        VTLibraryPropertySetValue(nullptr, kVTUserLibraryID, kVTKeyNotes, CFSTR("changed"))));
    auto onlyTheDocument = [&]() -> std::string {
        for (const auto &entry : fs::directory_iterator(work_.Path())) {
            std::string name = entry.path().filename();
            if (name != kName && name != "Scripts") return "left behind: " + name + "; ";
        }
        return "";
    };
    Sweep(
        "save document",
        [&](CFAllocatorRef a, bool *succeeded) -> std::string {
            CFRef<CFMutableDictionaryRef> error(VantrellSaveDocument(a));
            std::string after = vt::test::ReadFile(Document());
            if (error) return after == before ? "" : "a failed save changed the file; ";
            *succeeded = true;
            CFRef<CFDataRef> bytes(CFDataCreate(
                nullptr, reinterpret_cast<const UInt8 *>(after.data()), CFIndex(after.size())));
            CFRef<CFPropertyListRef> read(CFPropertyListCreateWithData(
                nullptr, bytes.get(), kCFPropertyListImmutable, nullptr, nullptr));
            return CFEqual(read.get(), VTPrivate_DocumentGetDocument())
                       ? ""
                       : "the saved file does not hold the document; ";
        },
        onlyTheDocument);
}

// Start-up has process-wide state of its own (the folders, the bundle, the
// stores), so each attempt is a first run in a fresh child with folders of its
// own; the parent never starts up. `strict` adds what a refused start-up must
// not do beyond crashing or leaking: report success without its tables or
// root libraries, or leave a file that the next start-up takes as current.
void SweepStartUp(bool strict) {
    ASSERT_NE(dlopen(VANTRELL_FRAMEWORK_LIBRARY, RTLD_NOW | RTLD_LOCAL), nullptr) << dlerror();
    auto roots = [](std::string &text) {
        for (CFStringRef id : {kVTUserLibraryID, kVTLocalLibraryID, kVTNetworkLibraryID})
            if (!Library(id)) text += "no root library " + StringOf(id) + "; ";
    };
    Operation startUp = [&](CFAllocatorRef a, bool *succeeded) -> std::string {
        vt::test::TempFolder domains;
        vt::test::TempFolder work;
        if (!vt::test::CreateScriptsFolders(domains.Path(), true, true, true))
            return "no domain folders";
        vt::test::ScopedWorkingDirectory cwd(work.Path());
        std::string text;
        CFRef<CFMutableDictionaryRef> error(VantrellLoadDocument(a, nullptr));
        if (!error) {
            *succeeded = true;
            if (strict) roots(text);
            std::string saved = vt::test::ReadFile(work.Join(kName));
            CFRef<CFDataRef> bytes(CFDataCreate(
                nullptr, reinterpret_cast<const UInt8 *>(saved.data()), CFIndex(saved.size())));
            CFRef<CFPropertyListRef> read(CFPropertyListCreateWithData(
                nullptr, bytes.get(), kCFPropertyListImmutable, nullptr, nullptr));
            if (!CFEqual(read.get(), VTPrivate_DocumentGetDocument()))
                text += "the first run's file does not hold the document; ";
        } else if (VTU_ErrorGetCode(error.get()) == 0) {
            text += "a record without a code; ";
        }
        // Whatever the refused start-up left, the next one must not crash;
        // strictly, it recovers a whole document.
        error.Reset(VantrellLoadDocument(nullptr, nullptr));
        if (strict) {
            if (error)
                text += "the next start-up fails: " + StringOf(VTErrorGetDescription(error.get())) +
                        "; ";
            roots(text);
        }
        vt::test::SetDomainRoot("");
        return text;
    };
    if (strict) {
        Sweep("start-up", startUp);
        return;
    }
    // Without the strict checks the held document may lack a table, which
    // the consistency check would report; it is not judged.
    Sweep("start-up (crashes and leaks)", startUp, {}, false);
}

TEST(AllocationFaultsAtStartup, NeitherCrashesNorLeaks) {
    SweepStartUp(false);
}

TEST(AllocationFaultsAtStartup, NeverReportsAHalfBuiltDocumentAsSuccess) {
    SweepStartUp(true);
}
