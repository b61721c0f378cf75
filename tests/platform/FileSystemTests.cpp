// The file-system seam: atomic whole-file writes and the small POSIX helpers.
#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include <dirent.h>
#include <glob.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/files/FileSystem.h"
#include "support/TestSupport.h"

namespace fsys = vt::platform;

namespace {

std::vector<std::string> Listing(const std::string &folder) {
    std::vector<fsys::DirectoryEntry> entries;
    EXPECT_EQ(fsys::ListDirectory(folder.c_str(), entries), 0);
    std::vector<std::string> names;
    for (const auto &entry : entries)
        names.push_back(entry.name + (entry.isDirectory ? "/" : ""));
    return names;
}

mode_t ModeOf(const std::string &path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

SInt32 WriteText(const std::string &path, const std::string &text) {
    return fsys::WriteFileAtomically(path.c_str(), text.data(), text.size());
}

SInt32 WriteText(const std::string &path, const std::string &text, bool allowInPlace,
                 fsys::WriteResult &result) {
    return fsys::WriteFileAtomically(path.c_str(), text.data(), text.size(),
                                     fsys::WriteOptions{allowInPlace}, &result);
}

bool IsLink(const std::string &path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

ino_t InodeOf(const std::string &path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_ino;
}

// Makes one step of the next writes fail, until destroyed.
class FailingStep {
  public:
    FailingStep(fsys::WriteStep step, int error) {
        step_ = step;
        error_ = error;
        fsys::SetWriteStepHook(
            [](fsys::WriteStep current) { return current == step_ ? error_ : 0; });
    }
    ~FailingStep() { fsys::SetWriteStepHook(nullptr); }
    FailingStep(const FailingStep &) = delete;
    FailingStep &operator=(const FailingStep &) = delete;

  private:
    static inline fsys::WriteStep step_{};
    static inline int error_ = 0;
};

} // namespace

TEST(FileSystem, AtomicWritesKeepPermissionsAndLeaveNoTemporaryFile) {
    vt::test::TempFolder temp;
    mode_t previous = umask(022);
    EXPECT_EQ(WriteText(temp.Join("new"), "one"), 0);
    EXPECT_EQ(ModeOf(temp.Join("new")), 0644u);
    umask(077);
    EXPECT_EQ(WriteText(temp.Join("private"), "p"), 0);
    EXPECT_EQ(ModeOf(temp.Join("private")), 0600u);
    umask(previous);

    ASSERT_EQ(chmod(temp.Join("new").c_str(), 0604), 0);
    EXPECT_EQ(WriteText(temp.Join("new"), "two"), 0);
    EXPECT_EQ(vt::test::ReadFile(temp.Join("new")), "two");
    EXPECT_EQ(ModeOf(temp.Join("new")), 0604u);
    EXPECT_EQ(fsys::WriteFileAtomically(temp.Join("empty").c_str(), nullptr, 0), 0);
    EXPECT_EQ(vt::test::ReadFile(temp.Join("empty")), "");

    // Through a symbolic link: the link stays and its target changes.
    ASSERT_EQ(symlink("new", temp.Join("link").c_str()), 0);
    EXPECT_EQ(WriteText(temp.Join("link"), "three"), 0);
    struct stat st {};
    ASSERT_EQ(lstat(temp.Join("link").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(vt::test::ReadFile(temp.Join("new")), "three");

    std::vector<std::string> expected = {"empty", "link", "new", "private"};
    EXPECT_EQ(Listing(temp.Path()), expected);
}

TEST(FileSystem, FailedAtomicWritesLeaveTheOldFileAndNoTemporaryFile) {
    vt::test::TempFolder temp;
    ASSERT_EQ(WriteText(temp.Join("doc"), "old"), 0);
    ASSERT_TRUE(vt::test::MakeFolders(temp.Join("folder")));

    // A disk that fills up while writing: the file-size limit stands in.
    std::string big(5000, 'n');
    SInt32 full;
    {
        vt::test::FileSizeLimit limit(1000);
        ASSERT_TRUE(limit.Lowered());
        full = WriteText(temp.Join("doc"), big);
    }
    EXPECT_EQ(full, kCFURLUnknownError);
    EXPECT_EQ(vt::test::ReadFile(temp.Join("doc")), "old");

    EXPECT_EQ(WriteText(temp.Join("folder"), "x"), kCFURLUnknownError);
    EXPECT_EQ(WriteText(temp.Join("missing/doc"), "x"), kCFURLResourceNotFoundError);
    EXPECT_EQ(WriteText(temp.Join("doc/x"), "x"), kCFURLResourceNotFoundError);
    EXPECT_EQ(fsys::WriteFileAtomically(nullptr, "x", 1), kCFURLImproperArgumentsError);
    EXPECT_EQ(fsys::WriteFileAtomically(temp.Join("doc").c_str(), nullptr, 1),
              kCFURLImproperArgumentsError);

    std::vector<std::string> expected = {"doc", "folder/"};
    EXPECT_EQ(Listing(temp.Path()), expected);
    EXPECT_EQ(Listing(temp.Join("folder")), std::vector<std::string>{});
}

TEST(FileSystem, ErrnoMapsOntoURLErrors) {
    for (int e : {ENOENT, ENOTDIR, ELOOP, ENAMETOOLONG})
        EXPECT_EQ(fsys::URLErrorFromErrno(e), kCFURLResourceNotFoundError) << e;
    for (int e : {EACCES, EPERM, EROFS, EEXIST})
        EXPECT_EQ(fsys::URLErrorFromErrno(e), kCFURLResourceAccessViolationError) << e;
    for (int e : {ENOSPC, EIO, EISDIR, EFBIG, ENOTEMPTY})
        EXPECT_EQ(fsys::URLErrorFromErrno(e), kCFURLUnknownError) << e;
    EXPECT_EQ(fsys::URLErrorFromErrno(EINVAL), kCFURLImproperArgumentsError);
    EXPECT_EQ(fsys::URLErrorFromErrno(0), 0);
}

TEST(FileSystem, PathHelpers) {
    vt::test::TempFolder temp;
    ASSERT_TRUE(vt::test::MakeFolders(temp.Join("a/b")));
    {
        vt::test::ScopedWorkingDirectory cd(temp.Join("a"));
        EXPECT_EQ(fsys::CurrentDirectory(), temp.Join("a"));
        std::string resolved;
        EXPECT_EQ(fsys::RealPath("b/../b/.", resolved), 0);
        EXPECT_EQ(resolved, temp.Join("a/b"));
        EXPECT_EQ(fsys::RealPath("b/missing/x", resolved), ENOENT);
    }
    std::string match;
    EXPECT_EQ(fsys::ExpandPath((temp.Path() + "/a/*").c_str(), match), 0);
    EXPECT_EQ(match, temp.Join("a/b/"));
    EXPECT_EQ(fsys::ExpandPath((temp.Path() + "/zz*").c_str(), match), GLOB_NOMATCH);

    fsys::FileStatus status;
    EXPECT_EQ(fsys::Stat(temp.Join("a").c_str(), status), 0);
    EXPECT_TRUE(status.isDirectory);
    EXPECT_EQ(fsys::Stat(temp.Join("none").c_str(), status), kCFURLResourceNotFoundError);
    EXPECT_EQ(fsys::MakeDirectory(temp.Join("a").c_str()), 0);
    EXPECT_EQ(fsys::RemoveItem(temp.Join("a").c_str()), kCFURLUnknownError);
    EXPECT_EQ(fsys::Stat(nullptr, status), kCFURLImproperArgumentsError);
}

TEST(FileSystem, WritesThroughLinksReachTheirTargetEvenWhenItIsMissing) {
    vt::test::TempFolder temp;
    ASSERT_TRUE(vt::test::MakeFolders(temp.Join("real")));
    ASSERT_TRUE(vt::test::MakeFolders(temp.Join("sub")));
    // Relative targets count from the link's own folder, not the working one.
    ASSERT_EQ(symlink("../real/doc", temp.Join("sub/dangling").c_str()), 0);
    ASSERT_EQ(symlink("sub/dangling", temp.Join("chain").c_str()), 0);
    ASSERT_EQ(symlink(temp.Join("real/absolute").c_str(), temp.Join("absolute").c_str()), 0);

    std::string target;
    EXPECT_EQ(fsys::ResolveLinkTarget(temp.Join("chain").c_str(), target), 0);
    EXPECT_EQ(target, temp.Join("sub/../real/doc"));

    EXPECT_EQ(WriteText(temp.Join("chain"), "one"), 0);
    EXPECT_TRUE(IsLink(temp.Join("chain")));
    EXPECT_TRUE(IsLink(temp.Join("sub/dangling")));
    EXPECT_EQ(vt::test::ReadFile(temp.Join("real/doc")), "one");
    EXPECT_EQ(WriteText(temp.Join("sub/dangling"), "two"), 0);
    EXPECT_EQ(vt::test::ReadFile(temp.Join("real/doc")), "two");

    EXPECT_EQ(WriteText(temp.Join("absolute"), "three"), 0);
    EXPECT_TRUE(IsLink(temp.Join("absolute")));
    EXPECT_EQ(vt::test::ReadFile(temp.Join("real/absolute")), "three");

    // A link into a folder that does not exist fails; a loop ends.
    ASSERT_EQ(symlink("nowhere/doc", temp.Join("lost").c_str()), 0);
    EXPECT_EQ(WriteText(temp.Join("lost"), "x"), kCFURLResourceNotFoundError);
    EXPECT_TRUE(IsLink(temp.Join("lost")));
    ASSERT_EQ(symlink("loop-b", temp.Join("loop-a").c_str()), 0);
    ASSERT_EQ(symlink("loop-a", temp.Join("loop-b").c_str()), 0);
    EXPECT_EQ(fsys::ResolveLinkTarget(temp.Join("loop-a").c_str(), target), ELOOP);
    EXPECT_EQ(WriteText(temp.Join("loop-a"), "x"), kCFURLResourceNotFoundError);

    std::vector<std::string> expected = {"absolute", "chain", "loop-a", "loop-b",
                                         "lost",     "real/", "sub/"};
    EXPECT_EQ(Listing(temp.Path()), expected);
    EXPECT_EQ(Listing(temp.Join("real")), (std::vector<std::string>{"absolute", "doc"}));
}

TEST(FileSystem, EachFailingStepLeavesTheOldFileAndNoTemporaryFile) {
    struct Row {
        fsys::WriteStep step;
        int error;
        SInt32 code;
    };
    const Row rows[] = {
        {fsys::WriteStep::kCreateTemporary, ENOSPC, kCFURLUnknownError},
        {fsys::WriteStep::kCreateTemporary, EACCES, kCFURLResourceAccessViolationError},
        {fsys::WriteStep::kWrite, ENOSPC, kCFURLUnknownError},
        {fsys::WriteStep::kSync, EIO, kCFURLUnknownError},
        {fsys::WriteStep::kRename, EXDEV, kCFURLUnknownError},
        {fsys::WriteStep::kRename, EROFS, kCFURLResourceAccessViolationError},
    };
    vt::test::TempFolder temp;
    ASSERT_EQ(WriteText(temp.Join("doc"), "old"), 0);
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << "step " << int(row.step) << ", errno " << row.error);
        FailingStep failing(row.step, row.error);
        fsys::WriteResult result;
        EXPECT_EQ(WriteText(temp.Join("doc"), "new", false, result), row.code);
        EXPECT_EQ(result.error, row.error);
        EXPECT_FALSE(result.inPlace);
        // The streaming form takes the same path.
        auto writer = [](FILE *stream) { return std::fputs("new", stream) >= 0; };
        EXPECT_EQ(fsys::WriteFileAtomically(temp.Join("doc").c_str(), writer), row.code);
        EXPECT_EQ(vt::test::ReadFile(temp.Join("doc")), "old");
        EXPECT_EQ(Listing(temp.Path()), std::vector<std::string>{"doc"});
    }

    // A writer that gives up is a failure like a failed write.
    auto refusing = [](FILE *stream) {
        std::fputs("partial", stream);
        errno = ENOSPC;
        return false;
    };
    fsys::WriteResult result;
    EXPECT_EQ(fsys::WriteFileAtomically(temp.Join("doc").c_str(), refusing, {}, &result),
              kCFURLUnknownError);
    EXPECT_EQ(result.error, ENOSPC);
    EXPECT_EQ(vt::test::ReadFile(temp.Join("doc")), "old");
    EXPECT_EQ(Listing(temp.Path()), std::vector<std::string>{"doc"});

    // Once renamed the new file stands, but a folder that cannot be synced
    // may lose it in a crash: that is reported.
    {
        FailingStep failing(fsys::WriteStep::kSyncFolder, EIO);
        EXPECT_EQ(WriteText(temp.Join("doc"), "new", false, result), kCFURLUnknownError);
        EXPECT_EQ(result.error, EIO);
    }
    EXPECT_EQ(vt::test::ReadFile(temp.Join("doc")), "new");
    EXPECT_EQ(Listing(temp.Path()), std::vector<std::string>{"doc"});
    {
        FailingStep failing(fsys::WriteStep::kSyncFolder, EINVAL);
        EXPECT_EQ(WriteText(temp.Join("doc"), "newer"), 0);
    }
    EXPECT_EQ(vt::test::ReadFile(temp.Join("doc")), "newer");
}

TEST(FileSystem, AFolderRefusingNewFilesGetsAnInPlaceWriteOnlyWhenAllowed) {
    vt::test::TempFolder temp;
    ASSERT_EQ(WriteText(temp.Join("doc"), "the old contents"), 0);
    ASSERT_EQ(chmod(temp.Join("doc").c_str(), 0640), 0);
    ino_t inode = InodeOf(temp.Join("doc"));
    fsys::WriteResult result;
    for (int refusal : {EACCES, EPERM}) {
        ASSERT_TRUE(vt::test::WriteFile(temp.Join("doc"), "the old contents"));
        FailingStep failing(fsys::WriteStep::kCreateTemporary, refusal);
        EXPECT_EQ(WriteText(temp.Join("doc"), "x", false, result),
                  kCFURLResourceAccessViolationError);
        EXPECT_EQ(vt::test::ReadFile(temp.Join("doc")), "the old contents");

        EXPECT_EQ(WriteText(temp.Join("doc"), "new", true, result), 0);
        EXPECT_TRUE(result.inPlace);
        EXPECT_EQ(result.error, 0);
        EXPECT_EQ(vt::test::ReadFile(temp.Join("doc")), "new");
        EXPECT_EQ(InodeOf(temp.Join("doc")), inode);
        EXPECT_EQ(ModeOf(temp.Join("doc")), 0640u);

        // Nothing to rewrite: a missing file is not created in place.
        EXPECT_EQ(WriteText(temp.Join("missing"), "x", true, result),
                  kCFURLResourceAccessViolationError);
        EXPECT_FALSE(vt::test::Exists(temp.Join("missing")));
    }
    // Other failures to create the temporary file are not the folder's
    // refusal, and a read-only file system refuses the file too.
    for (int other : {ENOSPC, EROFS, EIO}) {
        FailingStep failing(fsys::WriteStep::kCreateTemporary, other);
        EXPECT_NE(WriteText(temp.Join("doc"), "x", true, result), 0);
        EXPECT_EQ(result.error, other);
        EXPECT_FALSE(result.inPlace);
    }
    EXPECT_EQ(vt::test::ReadFile(temp.Join("doc")), "new");
    {
        // The in-place write reports its own failures.
        FailingStep refusing(fsys::WriteStep::kCreateTemporary, EACCES);
        fsys::SetWriteStepHook([](fsys::WriteStep step) {
            return step == fsys::WriteStep::kCreateTemporary ? EACCES
                   : step == fsys::WriteStep::kSync          ? EIO
                                                             : 0;
        });
        EXPECT_EQ(WriteText(temp.Join("doc"), "newer", true, result), kCFURLUnknownError);
        EXPECT_EQ(result.error, EIO);
    }
    EXPECT_EQ(Listing(temp.Path()), std::vector<std::string>{"doc"});
}

// The refusal for real: a process without root's rights saving into a folder
// it cannot write, of a file it can.
TEST(FileSystem, InPlaceFallbackForAFolderTheProcessCannotWrite) {
    vt::test::TempFolder temp;
    ASSERT_TRUE(vt::test::MakeFolders(temp.Join("locked")));
    std::string doc = temp.Join("locked/doc");
    ASSERT_EQ(WriteText(doc, "old"), 0);
    ASSERT_EQ(chmod(doc.c_str(), 0666), 0);
    ASSERT_EQ(chmod(temp.Join("locked").c_str(), 0755), 0);
    ASSERT_EQ(chmod(temp.Path().c_str(), 0755), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0) {
            if (setgid(65534) != 0 || setuid(65534) != 0) _exit(10);
        } else if (chmod(temp.Join("locked").c_str(), 0555) != 0) {
            _exit(11);
        }
        fsys::WriteResult result;
        if (WriteText(doc, "refused", false, result) != kCFURLResourceAccessViolationError)
            _exit(12);
        if (result.error != EACCES) _exit(13);
        if (WriteText(doc, "new", true, result) != 0 || !result.inPlace) _exit(14);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    chmod(temp.Join("locked").c_str(), 0755);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(vt::test::ReadFile(doc), "new");
    EXPECT_EQ(Listing(temp.Join("locked")), std::vector<std::string>{"doc"});
}

// What a write leaves is described exactly as a later stat sees it, so that a
// save can tell its own file from one another process wrote.
TEST(FileSystem, WritesAndReadsDescribeTheFileTheyTouched) {
    vt::test::TempFolder temp;
    std::string doc = temp.Join("doc");
    fsys::WriteResult result;
    ASSERT_EQ(WriteText(doc, "first", false, result), 0);
    fsys::FileStatus now;
    ASSERT_EQ(fsys::Stat(doc.c_str(), now), 0);
    EXPECT_TRUE(result.targetChanged);
    EXPECT_TRUE(fsys::SameFileVersion(result.written, now));
    EXPECT_EQ(result.written.size, 5);

    uint8_t *bytes = nullptr;
    size_t length = 0;
    fsys::FileStatus read;
    ASSERT_EQ(fsys::ReadFile(doc.c_str(), bytes, length, read), 0);
    std::free(bytes);
    EXPECT_TRUE(fsys::SameFileVersion(read, now));
    EXPECT_EQ(fsys::ReadFile(temp.Join("none").c_str(), bytes, length, read),
              kCFURLResourceNotFoundError);

    // The next write is another version: a new inode.
    ASSERT_EQ(WriteText(doc, "secon", false, result), 0);
    EXPECT_FALSE(fsys::SameFileVersion(result.written, now));
    ASSERT_EQ(fsys::Stat(doc.c_str(), now), 0);
    EXPECT_TRUE(fsys::SameFileVersion(result.written, now));

    // In place: the same inode, and still the status the write left.
    {
        FailingStep refusing(fsys::WriteStep::kCreateTemporary, EACCES);
        ASSERT_EQ(WriteText(doc, "in place, longer", true, result), 0);
    }
    fsys::FileStatus inPlace;
    ASSERT_EQ(fsys::Stat(doc.c_str(), inPlace), 0);
    EXPECT_EQ(inPlace.inode, now.inode);
    EXPECT_TRUE(result.inPlace && result.targetChanged);
    EXPECT_TRUE(fsys::SameFileVersion(result.written, inPlace));

    // A failure before the rename leaves the target as it was and says so.
    {
        FailingStep failing(fsys::WriteStep::kRename, EIO);
        EXPECT_NE(WriteText(doc, "lost", false, result), 0);
    }
    EXPECT_FALSE(result.targetChanged);
    EXPECT_FALSE(result.inPlace);
    // A failure inside the in-place rewrite: the file is the write's, partly.
    fsys::SetWriteStepHook([](fsys::WriteStep step) {
        return step == fsys::WriteStep::kCreateTemporary ? EACCES
               : step == fsys::WriteStep::kWrite         ? ENOSPC
                                                         : 0;
    });
    EXPECT_EQ(WriteText(doc, "never", true, result), kCFURLUnknownError);
    fsys::SetWriteStepHook(nullptr);
    EXPECT_TRUE(result.inPlace && result.targetChanged);
    ASSERT_EQ(fsys::Stat(doc.c_str(), now), 0);
    EXPECT_TRUE(fsys::SameFileVersion(result.written, now));
    EXPECT_EQ(now.size, 0);
}

TEST(FileSystem, ExclusiveCopiesNeverReplaceAFileAndLeaveNoPartialOne) {
    vt::test::TempFolder temp;
    ASSERT_TRUE(vt::test::WriteFile(temp.Join("from"), "the contents"));
    fsys::FileStatus source, copied;
    ASSERT_EQ(fsys::Stat(temp.Join("from").c_str(), source), 0);
    EXPECT_EQ(fsys::CopyFileExclusively(temp.Join("from"), temp.Join("to"), &copied), 0);
    EXPECT_EQ(vt::test::ReadFile(temp.Join("to")), "the contents");
    EXPECT_TRUE(fsys::SameFileVersion(copied, source));

    ASSERT_TRUE(vt::test::WriteFile(temp.Join("from"), "changed"));
    EXPECT_EQ(fsys::CopyFileExclusively(temp.Join("from"), temp.Join("to")), EEXIST);
    EXPECT_EQ(vt::test::ReadFile(temp.Join("to")), "the contents");
    EXPECT_EQ(fsys::CopyFileExclusively(temp.Join("none"), temp.Join("other")), ENOENT);
    EXPECT_EQ(fsys::CopyFileExclusively(temp.Join("from"), temp.Join("missing/to")), ENOENT);

    // A full disk mid-copy: the file-size limit stands in.
    ASSERT_TRUE(vt::test::WriteFile(temp.Join("big"), std::string(5000, 'b')));
    int full;
    {
        vt::test::FileSizeLimit limit(1000);
        ASSERT_TRUE(limit.Lowered());
        full = fsys::CopyFileExclusively(temp.Join("big"), temp.Join("big copy"));
    }
    EXPECT_EQ(full, EFBIG);
    EXPECT_EQ(Listing(temp.Path()), (std::vector<std::string>{"big", "from", "to"}));
}
