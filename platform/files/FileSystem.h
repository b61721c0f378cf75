// The POSIX file-system seam: every call into the file system that the layer
// and the subsystems above it make goes through these functions. Failures are
// reported as CFURL error codes (CFURL.h), 0 meaning success.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace vt::platform {

// errno as a CFURL error code: ENOENT/ENOTDIR/ELOOP/ENAMETOOLONG -> resource not
// found; EACCES/EPERM/EROFS/EEXIST -> access violation; EINVAL/EFAULT ->
// improper arguments; anything else (ENOSPC, EIO, ...) -> unknown error.
SInt32 URLErrorFromErrno(int error);

struct FileStatus {
    bool isDirectory = false;
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = 0;
    uint32_t mode = 0;           // permission bits (07777)
    double modificationTime = 0; // seconds since 1970
    // The same time exactly, as stat gives it.
    int64_t modificationSeconds = 0;
    int64_t modificationNanoseconds = 0;
};

// stat() of the path, following symbolic links.
SInt32 Stat(const char *path, FileStatus &status);

// Whether two statuses describe the same version of a file: the same device,
// inode, size and modification time to the nanosecond. A rename over the file
// changes the inode; a rewrite in place changes the size or the time (unless
// it keeps the size within one tick of a coarse clock).
bool SameFileVersion(const FileStatus &a, const FileStatus &b);

struct DirectoryEntry {
    std::string name;
    bool isDirectory = false; // a symbolic link to a folder counts as a folder
};
// The folder's entries without "." and "..", sorted by name in byte order.
SInt32 ListDirectory(const char *path, std::vector<DirectoryEntry> &entries);

// The whole file in a malloc'd buffer that the caller frees (never NULL on
// success, even for an empty file).
SInt32 ReadFile(const char *path, uint8_t *&bytes, size_t &length);
// The same, with the status of the file that was read (fstat of the open
// descriptor, so it describes the very file the bytes came from).
SInt32 ReadFile(const char *path, uint8_t *&bytes, size_t &length, FileStatus &status);

// Copies the file at `from` to the new name `to`, never replacing a file: the
// bytes go to a temporary file beside `to` that is flushed and then linked
// under the new name, so a crash leaves no copy or a whole one. Returns 0,
// EEXIST when `to` is taken, or the errno of the step that failed. `copied`,
// when given, receives the status of the file that was read.
int CopyFileExclusively(const std::string &from, const std::string &to,
                        FileStatus *copied = nullptr);

// Creates one folder (mode 0777 minus umask); an existing folder is success,
// an existing non-folder an access violation.
SInt32 MakeDirectory(const char *path);

// Removes a file, a symbolic link or an empty folder.
SInt32 RemoveItem(const char *path);

// Replaces the file's permission bits.
SInt32 SetMode(const char *path, uint32_t mode);

// Replaces the whole file at path so that a crash or a full disk at any
// moment leaves either the old content or the new one (the steps and what a
// crash between them leaves are listed beside the code). Keeps an existing
// file's permissions and, where the process may, its owner; a new file gets
// 0644 minus the umask. Symbolic links at the end of the path are followed,
// a dangling one included, so the link stays and its target is written.
// Returns 0 or a CFURL error code.
SInt32 WriteFileAtomically(const char *path, const void *bytes, size_t length);

// Writes the new content to the stream. Returns false to abandon the write;
// errno then tells why (EIO when it is 0).
using ContentWriter = std::function<bool(FILE *stream)>;

struct WriteOptions {
    // When the folder refuses the temporary file (EACCES or EPERM) but the
    // target exists as a regular file the process can open for writing,
    // rewrite the target in place (truncate, write, fsync) instead of
    // failing. Such a write is not atomic: WriteResult::inPlace says so.
    bool allowInPlace = false;
};

struct WriteResult {
    int error = 0; // the errno behind a failure; 0 on success
    // The target was rewritten in place rather than replaced. Set once the
    // rewrite began, so on a failure it means the file may be incomplete.
    bool inPlace = false;
    // The target now holds this write's bytes (all of them, or after a failed
    // in-place rewrite part of them); `written` then describes that file as
    // the write left it.
    bool targetChanged = false;
    FileStatus written;
};

SInt32 WriteFileAtomically(const char *path, const void *bytes, size_t length,
                           const WriteOptions &options, WriteResult *result);
// The same with the content produced by a writer, for content that is made
// in pieces.
SInt32 WriteFileAtomically(const char *path, const ContentWriter &writer,
                           const WriteOptions &options = {}, WriteResult *result = nullptr);

// The path a write through `path` lands on: while the last component is a
// symbolic link, its target (read with readlink, a relative one taken from
// the link's folder) replaces it, whether or not that target exists. 0, or
// ELOOP after 40 links, or readlink's errno.
int ResolveLinkTarget(const char *path, std::string &target);

// The steps of a whole-file write, in the order they run.
enum class WriteStep {
    kCreateTemporary, // the temporary file beside the target
    kWrite,           // the content (of the temporary file, or in place)
    kSync,            // fsync of the written file
    kRename,          // the temporary file over the target
    kSyncFolder,      // fsync of the target's folder
};

// Test-only: a function consulted before each step of a whole-file write;
// a non-zero result makes that step fail with that errno. Production code
// never sets one. Pass nullptr to remove it.
using WriteStepHook = int (*)(WriteStep step);
void SetWriteStepHook(WriteStepHook hook);

// The working directory; empty when it cannot be determined.
std::string CurrentDirectory();

// The canonical absolute path (symbolic links, "." and ".." resolved) of an
// existing item. On failure returns an errno value and leaves in resolved
// whatever part of the path was resolved (possibly nothing).
int RealPath(const char *path, std::string &resolved);

// Shell-style expansion (glob with GLOB_TILDE and GLOB_MARK): the first match
// in sorted order. Returns glob's status (0 on success).
int ExpandPath(const char *pattern, std::string &firstMatch);

} // namespace vt::platform
