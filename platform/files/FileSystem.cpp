// POSIX file-system calls behind the layer's seam (see FileSystem.h).
#include "platform/files/FileSystem.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

#include <dirent.h>
#include <fcntl.h>
#include <glob.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vt::platform {

namespace {

// Closes a descriptor on every path out of a function.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    // Closes now so that a failing close (a late write error) can be seen.
    int Close() {
        int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

  private:
    int fd_;
};

SInt32 LastError() {
    return URLErrorFromErrno(errno);
}

bool WriteAll(int fd, const uint8_t *bytes, size_t length) {
    while (length > 0) {
        ssize_t written = ::write(fd, bytes, std::min(length, size_t(1) << 30));
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes += written;
        length -= size_t(written);
    }
    return true;
}

// A name for the temporary file next to the target: hidden, and unlikely to
// collide (O_EXCL settles the rest).
std::string TemporaryName(const std::string &folder, const std::string &name) {
    static std::atomic<uint64_t> counter{0};
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    uint64_t mix = (uint64_t(getpid()) << 32) ^ uint64_t(now.tv_nsec) ^
                   (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%012llx", (unsigned long long)(mix & 0xffffffffffffull));
    return folder + "/." + name + suffix + ".tmp";
}

SInt32 WriteAtomically(const char *path, const uint8_t *bytes, size_t length) {
    std::string target = path;
    // Write through a symbolic link so that the link survives.
    struct stat linkStatus {};
    if (::lstat(path, &linkStatus) == 0 && S_ISLNK(linkStatus.st_mode)) {
        std::string resolved;
        if (RealPath(path, resolved) == 0) target = resolved;
    }
    struct stat existing {};
    bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) return URLErrorFromErrno(EISDIR);

    size_t slash = target.rfind('/');
    std::string folder = slash == std::string::npos ? "."
                         : slash == 0               ? "/"
                                                    : target.substr(0, slash);
    std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    if (name.empty()) return URLErrorFromErrno(EISDIR);

    // What a crash leaves between the steps:
    // 1. Create the temporary file (O_EXCL, next to the target so the rename
    //    stays within one file system): the target is untouched; at worst a
    //    stray hidden temporary file remains.
    // 2. Write and fsync it: as 1; the new bytes are on disk before any name
    //    points at them, so a full disk fails here with the target intact.
    // 3. rename() it over the target: atomic; the name gives either the old
    //    file or the complete new one, never a mixture.
    // 4. fsync the folder: makes the rename itself durable; a crash before it
    //    may bring back the old file after a restart, still whole.
    // Any failure before step 3 removes the temporary file.
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = TemporaryName(folder, name);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST) return LastError();
    }
    if (fd < 0) return URLErrorFromErrno(EEXIST);
    FileDescriptor file(fd);

    auto fail = [&](int error) {
        file.Close();
        ::unlink(temporary.c_str());
        return URLErrorFromErrno(error);
    };
    if (exists) {
        if (::fchmod(fd, existing.st_mode & 07777) != 0) return fail(errno);
        // Keeps the owner when we may (as root); others cannot and need not.
        if ((existing.st_uid != ::geteuid() || existing.st_gid != ::getegid()) &&
            ::fchown(fd, existing.st_uid, existing.st_gid) != 0 && errno != EPERM)
            return fail(errno);
    }
    if (!WriteAll(fd, bytes, length)) return fail(errno);
    if (::fsync(fd) != 0) return fail(errno);
    if (file.Close() != 0) {
        int error = errno;
        ::unlink(temporary.c_str());
        return URLErrorFromErrno(error);
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        int error = errno;
        ::unlink(temporary.c_str());
        return URLErrorFromErrno(error);
    }
    FileDescriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // Some file systems cannot sync a folder (EINVAL); the rename stands.
    if (directory.get() >= 0 && ::fsync(directory.get()) != 0 && errno != EINVAL)
        return LastError();
    return 0;
}

} // namespace

SInt32 URLErrorFromErrno(int error) {
    switch (error) {
        case 0:
            return 0;
        case ENOENT:
        case ENOTDIR:
        case ELOOP:
        case ENAMETOOLONG:
            return kCFURLResourceNotFoundError;
        case EACCES:
        case EPERM:
        case EROFS:
        case EEXIST:
            return kCFURLResourceAccessViolationError;
        case EINVAL:
        case EFAULT:
            return kCFURLImproperArgumentsError;
        default:
            return kCFURLUnknownError;
    }
}

SInt32 Stat(const char *path, FileStatus &status) {
    struct stat st {};
    if (!path) return kCFURLImproperArgumentsError;
    if (::stat(path, &st) != 0) return LastError();
    status.isDirectory = S_ISDIR(st.st_mode);
    status.device = uint64_t(st.st_dev);
    status.inode = uint64_t(st.st_ino);
    status.size = int64_t(st.st_size);
    status.mode = uint32_t(st.st_mode & 07777);
    status.modificationTime = double(st.st_mtim.tv_sec) + double(st.st_mtim.tv_nsec) / 1e9;
    return 0;
}

SInt32 ListDirectory(const char *path, std::vector<DirectoryEntry> &entries) {
    if (!path) return kCFURLImproperArgumentsError;
    DIR *dir = ::opendir(path);
    if (!dir) return LastError();
    SInt32 result = 0;
    try {
        errno = 0;
        while (dirent *entry = ::readdir(dir)) {
            const char *name = entry->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
            bool isDirectory = entry->d_type == DT_DIR;
            if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
                struct stat st {};
                isDirectory = ::fstatat(::dirfd(dir), name, &st, 0) == 0 && S_ISDIR(st.st_mode);
            }
            entries.push_back({name, isDirectory});
            errno = 0;
        }
        if (errno != 0) result = LastError();
        std::sort(entries.begin(), entries.end(),
                  [](const DirectoryEntry &a, const DirectoryEntry &b) { return a.name < b.name; });
    } catch (const std::bad_alloc &) {
        result = kCFURLUnknownError;
    }
    ::closedir(dir);
    return result;
}

SInt32 ReadFile(const char *path, uint8_t *&bytes, size_t &length) {
    if (!path) return kCFURLImproperArgumentsError;
    FileDescriptor file(::open(path, O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) return LastError();
    struct stat st {};
    if (::fstat(file.get(), &st) != 0) return LastError();
    if (S_ISDIR(st.st_mode)) return URLErrorFromErrno(EISDIR);
    // The size is a hint: the file may grow or shrink while it is read.
    size_t capacity = st.st_size > 0 ? size_t(st.st_size) + 1 : 4096;
    auto *buffer = static_cast<uint8_t *>(std::malloc(capacity));
    if (!buffer) return kCFURLUnknownError;
    size_t used = 0;
    for (;;) {
        if (used == capacity) {
            size_t larger = capacity * 2;
            auto *grown = static_cast<uint8_t *>(std::realloc(buffer, larger));
            if (!grown) {
                std::free(buffer);
                return kCFURLUnknownError;
            }
            buffer = grown;
            capacity = larger;
        }
        ssize_t got = ::read(file.get(), buffer + used, capacity - used);
        if (got < 0) {
            if (errno == EINTR) continue;
            int error = errno;
            std::free(buffer);
            return URLErrorFromErrno(error);
        }
        if (got == 0) break;
        used += size_t(got);
    }
    bytes = buffer;
    length = used;
    return 0;
}

SInt32 MakeDirectory(const char *path) {
    if (!path) return kCFURLImproperArgumentsError;
    if (::mkdir(path, 0777) == 0) return 0;
    int error = errno;
    struct stat st {};
    if (error == EEXIST && ::stat(path, &st) == 0 && S_ISDIR(st.st_mode)) return 0;
    return URLErrorFromErrno(error);
}

SInt32 RemoveItem(const char *path) {
    if (!path) return kCFURLImproperArgumentsError;
    struct stat st {};
    if (::lstat(path, &st) != 0) return LastError();
    int result = S_ISDIR(st.st_mode) ? ::rmdir(path) : ::unlink(path);
    return result == 0 ? 0 : LastError();
}

SInt32 SetMode(const char *path, uint32_t mode) {
    if (!path) return kCFURLImproperArgumentsError;
    return ::chmod(path, mode_t(mode & 07777)) == 0 ? 0 : LastError();
}

SInt32 WriteFileAtomically(const char *path, const void *bytes, size_t length) {
    if (!path || !*path || (!bytes && length > 0)) return kCFURLImproperArgumentsError;
    try {
        return WriteAtomically(path, static_cast<const uint8_t *>(bytes), length);
    } catch (const std::bad_alloc &) {
        return kCFURLUnknownError;
    }
}

std::string CurrentDirectory() {
    try {
        std::string buffer(256, '\0');
        for (;;) {
            if (::getcwd(buffer.data(), buffer.size())) {
                buffer.resize(std::strlen(buffer.c_str()));
                return buffer;
            }
            if (errno != ERANGE) return {};
            buffer.resize(buffer.size() * 2);
        }
    } catch (const std::bad_alloc &) {
        return {};
    }
}

int RealPath(const char *path, std::string &resolved) {
    if (!path) return EINVAL;
    char buffer[PATH_MAX] = {};
    try {
        if (::realpath(path, buffer)) {
            resolved = buffer;
            return 0;
        }
        int error = errno;
        resolved = buffer;
        return error;
    } catch (const std::bad_alloc &) {
        return ENOMEM;
    }
}

int ExpandPath(const char *pattern, std::string &firstMatch) {
    if (!pattern) return GLOB_ABORTED;
    glob_t matches{};
    int status = ::glob(pattern, GLOB_TILDE | GLOB_MARK, nullptr, &matches);
    try {
        if (status == 0 && matches.gl_pathc > 0) firstMatch = matches.gl_pathv[0];
    } catch (const std::bad_alloc &) {
        status = GLOB_NOSPACE;
    }
    ::globfree(&matches);
    return status;
}

} // namespace vt::platform
