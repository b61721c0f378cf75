// The file-system seam: atomic whole-file writes and the small POSIX helpers.
#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <string>
#include <vector>

#include <dirent.h>
#include <glob.h>
#include <sys/resource.h>
#include <sys/stat.h>
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
    signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string big(5000, 'n');
    SInt32 full = WriteText(temp.Join("doc"), big);
    setrlimit(RLIMIT_FSIZE, &saved);
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
