// The POSIX file-system seam: every call into the file system that the layer
// and the subsystems above it make goes through these functions. Failures are
// reported as CFURL error codes (CFURL.h), 0 meaning success.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <cstddef>
#include <cstdint>
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
};

// stat() of the path, following symbolic links.
SInt32 Stat(const char *path, FileStatus &status);

struct DirectoryEntry {
    std::string name;
    bool isDirectory = false; // a symbolic link to a folder counts as a folder
};
// The folder's entries without "." and "..", sorted by name in byte order.
SInt32 ListDirectory(const char *path, std::vector<DirectoryEntry> &entries);

// The whole file in a malloc'd buffer that the caller frees (never NULL on
// success, even for an empty file).
SInt32 ReadFile(const char *path, uint8_t *&bytes, size_t &length);

// Creates one folder (mode 0777 minus umask); an existing folder is success,
// an existing non-folder an access violation.
SInt32 MakeDirectory(const char *path);

// Removes a file, a symbolic link or an empty folder.
SInt32 RemoveItem(const char *path);

// Replaces the file's permission bits.
SInt32 SetMode(const char *path, uint32_t mode);

// Replaces the whole file at path with the bytes so that a crash or a full
// disk at any moment leaves either the old content or the new one. Keeps an
// existing file's permissions (and writes through a symbolic link); a new file
// gets 0644 minus the umask. Returns 0 or a CFURL error code.
SInt32 WriteFileAtomically(const char *path, const void *bytes, size_t length);

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
