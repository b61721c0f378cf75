// Two writers of one document: a save that finds on disk a version this
// process neither read nor wrote copies it aside as
// "<document>.conflict-<UTC time>" before writing, and says so. The other
// writer is played by the test, changing the file the ways a process can.
#include "SaveTestSupport.h"

#include "platform/files/FileSystem.h"

#include <ctime>
#include <regex>
#include <set>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using vt::CFRef;
using vt::test::StringOf;
using namespace vt::test::save;
namespace fs = std::filesystem;

namespace {

const std::regex kConflictName(R"(info\.library\.module\.mlix\.conflict-\d{8}T\d{6}Z(-\d+)?)");

std::set<std::string> ConflictCopies(const std::vector<std::string> &names) {
    std::set<std::string> copies;
    for (const std::string &name : names)
        if (name.rfind(std::string(kName) + ".conflict-", 0) == 0) copies.insert(name);
    return copies;
}

timespec ModificationTime(const std::string &path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mtim;
}

void SetModificationTime(const std::string &path, timespec time) {
    timespec times[2] = {time, time};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// Rewrites the file where it lies (same inode).
void RewriteInPlace(const std::string &path, const std::string &contents) {
    int fd = open(path.c_str(), O_WRONLY | O_TRUNC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, contents.data(), contents.size()), ssize_t(contents.size()));
    close(fd);
}

// Replaces the file by a new one renamed over it (new inode).
void ReplaceByRename(const std::string &path, const std::string &contents) {
    std::string temporary = path + ".other";
    ASSERT_TRUE(vt::test::WriteFile(temporary, contents));
    ASSERT_EQ(rename(temporary.c_str(), path.c_str()), 0);
}

// Another process's document: the held one with a mark of its own, padded to
// a given size when asked (so that only the inode or the time differs).
std::string OtherVersion(const std::string &mark, size_t size = 0) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">"
                      "<dict><key>Other</key><string>" +
                      mark + "</string></dict></plist>\n";
    if (size > xml.size()) xml.insert(xml.size() - 1, size - xml.size(), ' ');
    return xml;
}

class SaveConflict : public SaveTest {
  protected:
    // A save that must keep exactly one other version: returns the copy's
    // name, after checking its bytes, the document's and the diagnostics.
    std::string SaveKeepingOneCopy(const std::string &other) {
        std::set<std::string> before = ConflictCopies(Names());
        CFRef<CFMutableDictionaryRef> error;
        std::string said = Captured([&] { error.Reset(VantrellSaveDocument(nullptr)); });
        EXPECT_EQ(error.get(), nullptr);
        CFRef<CFPropertyListRef> held = Snapshot();
        EXPECT_EQ(vt::test::ReadFile(DocumentPath()), XMLOf(held.get()));
        std::set<std::string> after = ConflictCopies(Names());
        std::vector<std::string> added;
        for (const std::string &name : after)
            if (!before.count(name)) added.push_back(name);
        EXPECT_EQ(added.size(), 1u) << said;
        if (added.size() != 1) return {};
        EXPECT_TRUE(std::regex_match(added[0], kConflictName)) << added[0];
        EXPECT_EQ(vt::test::ReadFile(Path(added[0])), other);
        EXPECT_NE(said.find("[Quillbay] VTPrivate_DocumentSave: The document " + DocumentPath() +
                            " was changed by another process"),
                  std::string::npos)
            << said;
        EXPECT_NE(said.find("copied to " + Path(added[0])), std::string::npos) << said;
        return added[0];
    }

    // A save that keeps nothing and says nothing.
    void SaveQuietly() {
        std::set<std::string> before = ConflictCopies(Names());
        CFRef<CFMutableDictionaryRef> error;
        std::string said = Captured([&] { error.Reset(VantrellSaveDocument(nullptr)); });
        EXPECT_EQ(error.get(), nullptr);
        EXPECT_EQ(said.find("another process"), std::string::npos) << said;
        EXPECT_EQ(ConflictCopies(Names()), before);
    }
};

} // namespace

TEST_F(SaveConflict, EveryWayAnotherWriterChangesTheFileIsNoticedAndItsVersionKept) {
    ASSERT_EQ(VTPrivate_DocumentCreate(nullptr), nullptr);
    ASSERT_EQ(VantrellSaveDocument(nullptr), nullptr);
    ASSERT_EQ(VTPrivate_DocumentLoad(nullptr), kCFBooleanTrue);

    struct Row {
        const char *how;
        // Changes the file; returns the other version's bytes.
        std::function<std::string(const std::string &path)> change;
    };
    const Row rows[] = {
        {"replaced by rename, same size and time",
         [](const std::string &path) {
             timespec time = ModificationTime(path);
             std::string other = OtherVersion("renamed", fs::file_size(path));
             ReplaceByRename(path, other);
             SetModificationTime(path, time);
             return other;
         }},
        {"rewritten in place, same size, one nanosecond later",
         [](const std::string &path) {
             timespec time = ModificationTime(path);
             std::string other = OtherVersion("same size", fs::file_size(path));
             RewriteInPlace(path, other);
             time.tv_nsec = time.tv_nsec == 999999999 ? 0 : time.tv_nsec + 1;
             SetModificationTime(path, time);
             return other;
         }},
        {"rewritten in place, other size, same time",
         [](const std::string &path) {
             timespec time = ModificationTime(path);
             std::string other = OtherVersion("other size");
             RewriteInPlace(path, other);
             SetModificationTime(path, time);
             return other;
         }},
        {"removed and written anew",
         [](const std::string &path) {
             std::string other = OtherVersion("anew");
             fs::remove(path);
             EXPECT_TRUE(vt::test::WriteFile(path, other));
             return other;
         }},
    };
    int round = 0;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.how);
        SetText("Round", std::to_string(++round));
        std::string other = row.change(DocumentPath());
        SaveKeepingOneCopy(other);
        // This process's own save is the known version now.
        SetText("Round", std::to_string(round) + " again");
        SaveQuietly();
    }

    // A load that found no file: one that appears by the save is another's.
    fs::remove(DocumentPath());
    EXPECT_EQ(VTPrivate_DocumentLoad(nullptr), kCFBooleanFalse);
    std::string created = OtherVersion("created meanwhile");
    ASSERT_TRUE(vt::test::WriteFile(DocumentPath(), created));
    SaveKeepingOneCopy(created);

    // A file the reload could not parse holds nothing the held document came
    // from: it is kept too.
    ASSERT_TRUE(vt::test::WriteFile(DocumentPath(), "not a property list"));
    EXPECT_EQ(VTPrivate_DocumentLoad(nullptr), kCFBooleanFalse);
    SaveKeepingOneCopy("not a property list");
    SaveQuietly();
    EXPECT_EQ(ConflictCopies(Names()).size(), 6u);
}

TEST_F(SaveConflict, ThisProcessOwnLoadsAndSavesKeepNothing) {
    ASSERT_EQ(VTPrivate_DocumentCreate(nullptr), nullptr);
    // Before any load or save the process has not looked at the file.
    SaveQuietly();
    SaveQuietly();
    SetText("Edit", "one");
    SaveQuietly();
    ASSERT_EQ(VTPrivate_DocumentLoad(nullptr), kCFBooleanTrue);
    SetText("Edit", "two");
    SaveQuietly();

    // A save in place (the folder refusing the temporary file) leaves a new
    // size and time on the same inode, which the next save knows as its own.
    vt::platform::SetWriteStepHook([](vt::platform::WriteStep step) {
        return step == vt::platform::WriteStep::kCreateTemporary ? EACCES : 0;
    });
    SetText("Edit", "three, written in place");
    std::string said = Captured([] { EXPECT_EQ(VantrellSaveDocument(nullptr), nullptr); });
    vt::platform::SetWriteStepHook(nullptr);
    EXPECT_NE(said.find("not atomic"), std::string::npos) << said;
    SetText("Edit", "four");
    SaveQuietly();

    // A folder in the file's place is no version to keep: the save fails.
    fs::remove(DocumentPath());
    ASSERT_TRUE(vt::test::MakeFolders(DocumentPath()));
    CFRef<CFMutableDictionaryRef> error(VantrellSaveDocument(nullptr));
    EXPECT_EQ(StringOf(VTErrorGetDescription(error.get())), "Can't write document to URL.");
    EXPECT_EQ(Names(), std::vector<std::string>{kName});
}

TEST_F(SaveConflict, ATakenNameGetsACounterAndIsNeverReplaced) {
    ASSERT_EQ(VTPrivate_DocumentCreate(nullptr), nullptr);
    ASSERT_EQ(VantrellSaveDocument(nullptr), nullptr);
    // Every name the next seconds can give is taken already.
    std::set<std::string> taken;
    time_t now = time(nullptr);
    for (int later = 0; later < 5; ++later) {
        time_t moment = now + later;
        struct tm utc {};
        gmtime_r(&moment, &utc);
        char stamp[32];
        strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
        std::string name = std::string(kName) + ".conflict-" + stamp;
        ASSERT_TRUE(vt::test::WriteFile(Path(name), "taken " + name));
        taken.insert(name);
    }
    std::set<std::string> made;
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        std::string other = OtherVersion("round " + std::to_string(round));
        ReplaceByRename(DocumentPath(), other);
        std::string copy = SaveKeepingOneCopy(other);
        // "<taken name>-N", N from 2 up.
        size_t dash = copy.rfind('-');
        ASSERT_NE(dash, std::string::npos);
        EXPECT_TRUE(taken.count(copy.substr(0, dash))) << copy;
        EXPECT_GE(std::stoi(copy.substr(dash + 1)), 2) << copy;
        made.insert(copy);
    }
    EXPECT_EQ(made.size(), 2u);
    for (const std::string &name : taken)
        EXPECT_EQ(vt::test::ReadFile(Path(name)), "taken " + name);
}

TEST_F(SaveConflict, AVersionThatCannotBeKeptIsNotOverwritten) {
    ASSERT_EQ(VTPrivate_DocumentCreate(nullptr), nullptr);
    ASSERT_EQ(VantrellSaveDocument(nullptr), nullptr);
    std::string other = OtherVersion("large", 200000);
    ReplaceByRename(DocumentPath(), other);
    SetText("Mine", "small");

    // The copy outgrows the file-size limit; this process's own, smaller
    // document would not.
    CFRef<CFMutableDictionaryRef> error;
    std::string said;
    {
        vt::test::FileSizeLimit limit(100000);
        ASSERT_TRUE(limit.Lowered());
        said = Captured([&] { error.Reset(VantrellSaveDocument(nullptr)); });
    }

    ASSERT_NE(error.get(), nullptr);
    EXPECT_EQ(StringOf(VTErrorGetDomain(error.get())), "ErrorDomainOSStatus");
    EXPECT_EQ(VTU_ErrorGetCode(error.get()), kCFURLUnknownError);
    std::string description = StringOf(VTErrorGetDescription(error.get()));
    EXPECT_EQ(description.rfind("VTPrivate_DocumentSave: Can't copy the document another process "
                                "saved to " +
                                    DocumentPath() + ".conflict-",
                                0),
              0u)
        << description;
    EXPECT_NE(description.find("the document was left as it is."), std::string::npos);
    EXPECT_NE(said.find("cannot be copied aside"), std::string::npos) << said;
    EXPECT_EQ(vt::test::ReadFile(DocumentPath()), other);
    EXPECT_EQ(Names(), std::vector<std::string>{kName});

    // Once it can be kept, the save goes ahead.
    SaveKeepingOneCopy(other);
}

// The document is a link into another folder: the link's target is what is
// compared and written, the copy goes beside the link.
TEST(SaveConflictThroughALink, TheTargetIsComparedAndTheCopyLiesBesideTheLink) {
    vt::test::TempFolder work, elsewhere;
    vt::test::ScopedWorkingDirectory cwd(work.Path());
    std::string target = elsewhere.Join("real.mlix");
    ASSERT_TRUE(vt::test::WriteFile(target, OtherVersion("first")));
    ASSERT_EQ(symlink(target.c_str(), work.Join(kName).c_str()), 0);
    ASSERT_EQ(VTPrivate_DocumentLoad(nullptr), kCFBooleanTrue);
    SetText("Mine", "one");
    ASSERT_EQ(VantrellSaveDocument(nullptr), nullptr);
    EXPECT_EQ(Listing(work.Path()), std::vector<std::string>{kName});

    std::string other = OtherVersion("second");
    ReplaceByRename(target, other);
    SetText("Mine", "two");
    std::string said;
    said = Captured([] { EXPECT_EQ(VantrellSaveDocument(nullptr), nullptr); });
    std::vector<std::string> names = Listing(work.Path());
    ASSERT_EQ(names.size(), 2u) << said;
    EXPECT_TRUE(std::regex_match(names[1], kConflictName)) << names[1];
    EXPECT_EQ(vt::test::ReadFile(work.Join(names[1])), other);
    EXPECT_TRUE(fs::is_symlink(work.Join(kName)));
    CFRef<CFPropertyListRef> held = Snapshot();
    EXPECT_EQ(vt::test::ReadFile(target), XMLOf(held.get()));
    EXPECT_EQ(Listing(elsewhere.Path()), std::vector<std::string>{"real.mlix"});
}
