// Truncated documents: a real document cut at every byte offset is read by
// start-up, which must succeed, keep an unreadable file aside byte for byte,
// and never crash. Every offset runs in this process (the held document is
// carried forward from run to run, as for a host that starts up again); a
// spread of offsets also runs as the first start-up of a fresh child.
#include <Vantrell/Vantrell.h>
#include <gtest/gtest.h>

#include "document/DocumentPrivate.h"
#include "faults/FaultSupport.h"
#include "platform/values/Holder.h"
#include "support/TestSupport.h"

#include <cstdio>
#include <dlfcn.h>
#include <filesystem>
#include <string>
#include <vector>

using vt::CFRef;
using vt::test::StringOf;
namespace fs = std::filesystem;

namespace {

constexpr char kName[] = "info.library.module.mlix";
constexpr char kAside[] = "info.library.module.mlix.unreadable-";
// Every this many offsets one also runs in a fresh child.
constexpr size_t kChildStride = 127;

// A new folder in memory when the machine has one (each start-up here saves
// with fsync, which a disk makes slow), else under /tmp; removed with
// everything in it.
class ScratchFolder {
  public:
    ScratchFolder() {
        for (const char *base : {"/dev/shm", "/tmp"}) {
            std::string pattern = std::string(base) + "/vantrell-cut-XXXXXX";
            if (mkdtemp(pattern.data())) {
                path_ = pattern;
                return;
            }
        }
    }
    ~ScratchFolder() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;
    const std::string &Path() const { return path_; }
    std::string Join(const std::string &name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

std::vector<std::string> Asides(const std::string &folder) {
    std::vector<std::string> found;
    for (const auto &entry : fs::directory_iterator(folder)) {
        std::string name = entry.path().filename();
        if (name.rfind(kAside, 0) == 0) found.push_back(entry.path());
    }
    return found;
}

CFRef<CFPropertyListRef> Parse(const std::string &bytes) {
    CFRef<CFDataRef> data(CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(bytes.data()),
                                       CFIndex(bytes.size())));
    return CFRef<CFPropertyListRef>(CFPropertyListCreateWithData(
        nullptr, data.get(), kCFPropertyListImmutable, nullptr, nullptr));
}

// Writes the prefix as the document, starts up and checks what start-up did
// with it; "" when all is well.
std::string StartUpOnPrefix(const std::string &folder, const std::string &prefix) {
    std::string document = folder + "/" + kName;
    if (!vt::test::WriteFile(document, prefix)) return "cannot write the document";
    CFRef<CFMutableDictionaryRef> error(VantrellLoadDocument(nullptr, nullptr));
    if (error) return "start-up fails: " + StringOf(VTErrorGetDescription(error.get()));
    std::string text;
    std::vector<std::string> asides = Asides(folder);
    std::string now = vt::test::ReadFile(document);
    if (asides.empty()) {
        // Taken as it is: then it was a whole, current document.
        if (now != prefix) text += "rewritten without a copy aside; ";
        if (!Parse(prefix)) text += "an unreadable file was neither kept nor reported; ";
    } else {
        if (asides.size() != 1) text += std::to_string(asides.size()) + " copies aside; ";
        if (vt::test::ReadFile(asides[0]) != prefix) text += "the copy aside differs; ";
        if (!Parse(now)) text += "the new document does not parse; ";
    }
    if (StringOf(VTDocumentGetVersion()) != "0.5.4") text += "no current document held; ";
    for (const std::string &aside : asides)
        fs::remove(aside);
    return text;
}

// A small real document: a library on a folder of scripts, its subfolders
// scanned, saved. Made in a child so that this process has never started up.
std::string MakeDocument(const std::string &domains) {
    ScratchFolder work;
    vt::test::ChildOutcome made = vt::test::RunInChild([&](bool *) -> std::string {
        if (!vt::test::CreateScriptsFolders(domains, true, true, true)) return "no domains";
        vt::test::ScopedWorkingDirectory cwd(work.Path());
        std::string scripts = work.Join("Scripts");
        for (const char *file : {"a.scpt", "Sub/b.scpt"}) {
            std::string path = scripts + "/" + file;
            if (!vt::test::MakeFolders(fs::path(path).parent_path()) ||
                !vt::test::WriteFile(path, file))
                return "no scripts";
        }
        CFRef<CFMutableDictionaryRef> error(VantrellLoadDocument(nullptr, nullptr));
        CFRef<CFStringRef> description(VTLibraryDescriptionCreateMinimal(
            nullptr, kVTUserLibraryID, nullptr, CFSTR("Shared"), nullptr));
        CFRef<CFURLRef> folder(CFURLCreateFromFileSystemRepresentation(
            nullptr, reinterpret_cast<const UInt8 *>(scripts.data()), CFIndex(scripts.size()),
            true));
        CFRef<CFStringRef> id;
        if (!error)
            error.Reset(VTLibraryDescriptionSetFolderInfoWithURL(nullptr, description.get(),
                                                                 folder.get(), nullptr));
        if (!error) error.Reset(VTDocumentRegisterLibrary(nullptr, description.get(), id.Out()));
        if (!error) error.Reset(VTLibraryRegisterSubfolders(nullptr, id.get()));
        if (!error) error.Reset(VantrellSaveDocument(nullptr));
        vt::test::SetDomainRoot("");
        return error ? "making the document: " + StringOf(VTErrorGetDescription(error.get())) : "";
    });
    EXPECT_EQ(made.problem, "");
    return vt::test::ReadFile(work.Join(kName));
}

} // namespace

TEST(TruncatedDocument, EveryPrefixStartsUpAndIsKeptAside) {
    ASSERT_NE(dlopen(VANTRELL_FRAMEWORK_LIBRARY, RTLD_NOW | RTLD_LOCAL), nullptr) << dlerror();
    ScratchFolder domains;
    const std::string whole = MakeDocument(domains.Path());
    ASSERT_GT(whole.size(), 1000u);
    ASSERT_TRUE(Parse(whole));
    ASSERT_TRUE(vt::test::CreateScriptsFolders(domains.Path(), true, true, true));
    int reported = 0;

    // A fresh process has no document to carry forward: its start-up builds
    // one. These run first, while this process has not started up.
    size_t children = 0;
    for (size_t k = 0; k <= whole.size(); k += kChildStride, ++children) {
        vt::test::ChildOutcome outcome = vt::test::RunInChild([&](bool *) {
            ScratchFolder work;
            vt::test::ScopedWorkingDirectory cwd(work.Path());
            return StartUpOnPrefix(work.Path(), whole.substr(0, k));
        });
        if (!outcome.problem.empty() && reported++ < 8)
            ADD_FAILURE() << "fresh process, first " << k << " bytes: " << outcome.problem;
    }

    ScratchFolder work;
    vt::test::ScopedWorkingDirectory cwd(work.Path());
    size_t points = 0;
    for (size_t k = 0; k <= whole.size(); ++k, ++points) {
        std::string problem = StartUpOnPrefix(work.Path(), whole.substr(0, k));
        if (!problem.empty() && reported++ < 8)
            ADD_FAILURE() << "first " << k << " of " << whole.size() << " bytes: " << problem;
    }
    vt::test::SetDomainRoot("");
    std::printf("[ faults   ] truncated document: %zu truncation points, %zu in fresh processes\n",
                points, children);
    RecordProperty("truncation_points", std::to_string(points));
}
