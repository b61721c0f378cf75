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

FileStatus StatusOf(const struct stat &st) {
    FileStatus status;
    status.isDirectory = S_ISDIR(st.st_mode);
    status.device = uint64_t(st.st_dev);
    status.inode = uint64_t(st.st_ino);
    status.size = int64_t(st.st_size);
    status.mode = uint32_t(st.st_mode & 07777);
    status.modificationTime = double(st.st_mtim.tv_sec) + double(st.st_mtim.tv_nsec) / 1e9;
    status.modificationSeconds = int64_t(st.st_mtim.tv_sec);
    status.modificationNanoseconds = int64_t(st.st_mtim.tv_nsec);
    return status;
}

// The status of an open file as it stands now; false when fstat fails.
bool StatusOfDescriptor(int fd, FileStatus &status) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    status = StatusOf(st);
    return true;
}

// Starts the kernel's writeback of each few megabytes as soon as they are
// written, so that the fsync closing a whole-file write waits for the last
// piece rather than for the whole file. Only a hint: the fsync reports.
class EarlyWriteback {
  public:
    explicit EarlyWriteback(int fd) : fd_(fd) {}
    void Wrote(size_t count) {
        written_ += off_t(count);
        if (written_ - started_ < kPiece) return;
#ifdef __linux__
        ::sync_file_range(fd_, started_, written_ - started_, SYNC_FILE_RANGE_WRITE);
#endif
        started_ = written_;
    }

  private:
    static constexpr off_t kPiece = 2 << 20;
    int fd_;
    off_t written_ = 0;
    off_t started_ = 0;
};

bool WriteAll(int fd, const uint8_t *bytes, size_t length, EarlyWriteback *writeback = nullptr) {
    while (length > 0) {
        ssize_t written = ::write(fd, bytes, std::min(length, size_t(1) << 21));
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes += written;
        length -= size_t(written);
        if (writeback) writeback->Wrote(size_t(written));
    }
    return true;
}

// A stdio stream over a descriptor whose writes start writeback early. The
// stream owns neither the descriptor nor the state.
struct WritebackStream {
    int fd;
    EarlyWriteback writeback;

    ssize_t Write(const char *bytes, size_t length) {
        if (!WriteAll(fd, reinterpret_cast<const uint8_t *>(bytes), length, &writeback)) return -1;
        return ssize_t(length);
    }

    static FILE *Open(WritebackStream &state) {
        cookie_io_functions_t functions{};
        functions.write = [](void *cookie, const char *bytes, size_t length) {
            return static_cast<WritebackStream *>(cookie)->Write(bytes, length);
        };
        return ::fopencookie(&state, "w", functions);
    }
};

// The whole file and the status of the descriptor it was read from; 0 or
// an errno.
int ReadWhole(const char *path, uint8_t *&bytes, size_t &length, FileStatus &status) {
    if (!path) return EINVAL;
    FileDescriptor file(::open(path, O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) return errno;
    struct stat st {};
    if (::fstat(file.get(), &st) != 0) return errno;
    if (S_ISDIR(st.st_mode)) return EISDIR;
    status = StatusOf(st);
    // The size is a hint: the file may grow or shrink while it is read.
    size_t capacity = st.st_size > 0 ? size_t(st.st_size) + 1 : 4096;
    auto *buffer = static_cast<uint8_t *>(std::malloc(capacity));
    if (!buffer) return ENOMEM;
    size_t used = 0;
    for (;;) {
        if (used == capacity) {
            size_t larger = capacity * 2;
            auto *grown = static_cast<uint8_t *>(std::realloc(buffer, larger));
            if (!grown) {
                std::free(buffer);
                return ENOMEM;
            }
            buffer = grown;
            capacity = larger;
        }
        ssize_t got = ::read(file.get(), buffer + used, capacity - used);
        if (got < 0) {
            if (errno == EINTR) continue;
            int error = errno;
            std::free(buffer);
            return error;
        }
        if (got == 0) break;
        used += size_t(got);
    }
    bytes = buffer;
    length = used;
    return 0;
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

std::atomic<WriteStepHook> gWriteStepHook{nullptr};

// 0, or the errno a test wants the step to fail with.
int InjectedFailure(WriteStep step) {
    WriteStepHook hook = gWriteStepHook.load(std::memory_order_relaxed);
    return hook ? hook(step) : 0;
}

// Writes the content to a descriptor; false with errno set on failure.
using Content = std::function<bool(int fd)>;

bool WriteContent(int fd, const Content &content) {
    if (int injected = InjectedFailure(WriteStep::kWrite)) {
        errno = injected;
        return false;
    }
    errno = 0;
    bool written;
    try {
        written = content(fd);
    } catch (...) {
        errno = ENOMEM;
        written = false;
    }
    if (!written && errno == 0) errno = EIO;
    return written;
}

bool SyncFile(int fd) {
    if (int injected = InjectedFailure(WriteStep::kSync)) {
        errno = injected;
        return false;
    }
    return ::fsync(fd) == 0;
}

// The folder part of a path ("." for a bare name, "/" for the root's items).
std::string FolderOf(const std::string &path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

struct WriteState {
    std::string target;
    struct stat existing {};
    bool exists = false;
    WriteResult result;

    SInt32 Fail(int error) {
        result.error = error;
        return URLErrorFromErrno(error);
    }
};

// The fallback for a folder that refuses new files: the plain rewrite of the
// existing file. A crash or a failure after the truncation leaves a short or
// empty file, which is why it runs only when the atomic path cannot, and why
// the caller hears that it ran.
SInt32 WriteInPlace(WriteState &state, const Content &content, int refusal) {
    FileDescriptor file(::open(state.target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY));
    struct stat opened {};
    // A target the process cannot write either fails with the folder's refusal.
    if (file.get() < 0 || ::fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode))
        return state.Fail(refusal);
    // From the truncation on, the file is this write's, whole or not.
    state.result.inPlace = true;
    state.result.targetChanged = true;
    auto fail = [&](int error) {
        StatusOfDescriptor(file.get(), state.result.written);
        return state.Fail(error);
    };
    if (::ftruncate(file.get(), 0) != 0) return fail(errno);
    if (!WriteContent(file.get(), content)) return fail(errno);
    if (!SyncFile(file.get())) return fail(errno);
    StatusOfDescriptor(file.get(), state.result.written);
    if (file.Close() != 0) return state.Fail(errno);
    return 0;
}

// The atomic save, step by step, and what a crash between two steps leaves:
// 1. Create the temporary file (O_EXCL, hidden, next to the target so that
//    the rename stays within one file system), with the target's permissions
//    and owner. Crash: the target untouched; at worst a stray hidden
//    temporary file.
// 2. Write the content into it. Crash: as after 1; a full disk fails here,
//    with the target intact.
// 3. fsync it. Crash: as after 1; from here the new bytes are on disk before
//    any name points at them.
// 4. rename() it over the target. Atomic: the name gives either the old file
//    or the complete new one, never a mixture. Crash just after: after a
//    restart the name may still give the old file (the rename not yet
//    durable), whole.
// 5. fsync the folder. The rename is durable; the new file stays.
// Any failure in steps 1 to 4 removes the temporary file and leaves the
// target as it was. A failure in step 5 is reported, though the target
// already holds the new content, since it may not survive a crash.
SInt32 WriteWhole(const char *path, const Content &content, const WriteOptions &options,
                  WriteState &state) {
    if (int error = ResolveLinkTarget(path, state.target)) return state.Fail(error);
    state.exists = ::stat(state.target.c_str(), &state.existing) == 0;
    if (state.exists && S_ISDIR(state.existing.st_mode)) return state.Fail(EISDIR);
    const std::string &target = state.target;
    std::string folder = FolderOf(target);
    size_t slash = target.rfind('/');
    std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    if (name.empty()) return state.Fail(EISDIR);

    std::string temporary;
    int fd = -1;
    int error = InjectedFailure(WriteStep::kCreateTemporary);
    for (int attempt = 0; attempt < 100 && fd < 0 && error == 0; ++attempt) {
        temporary = TemporaryName(folder, name);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST) error = errno;
    }
    if (fd < 0) {
        if (error == 0) error = EEXIST;
        bool refusedByFolder = error == EACCES || error == EPERM;
        if (options.allowInPlace && refusedByFolder && state.exists &&
            S_ISREG(state.existing.st_mode))
            return WriteInPlace(state, content, error);
        return state.Fail(error);
    }
    FileDescriptor file(fd);

    auto fail = [&](int failure) {
        file.Close();
        ::unlink(temporary.c_str());
        return state.Fail(failure);
    };
    if (state.exists) {
        const struct stat &existing = state.existing;
        if (::fchmod(fd, existing.st_mode & 07777) != 0) return fail(errno);
        // Keeps the owner when we may (as root); others cannot and need not.
        if ((existing.st_uid != ::geteuid() || existing.st_gid != ::getegid()) &&
            ::fchown(fd, existing.st_uid, existing.st_gid) != 0 && errno != EPERM)
            return fail(errno);
    }
    if (!WriteContent(fd, content)) return fail(errno);
    if (!SyncFile(fd)) return fail(errno);
    // The rename keeps the file's inode and times: this is what the target
    // will be once it lands.
    FileStatus written;
    bool described = StatusOfDescriptor(fd, written);
    if (file.Close() != 0) {
        int closeError = errno;
        ::unlink(temporary.c_str());
        return state.Fail(closeError);
    }
    int renameError = InjectedFailure(WriteStep::kRename);
    if (renameError == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) renameError = errno;
    if (renameError != 0) {
        ::unlink(temporary.c_str());
        return state.Fail(renameError);
    }
    state.result.targetChanged = described;
    state.result.written = written;
    FileDescriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() < 0) return 0;
    int syncError = InjectedFailure(WriteStep::kSyncFolder);
    if (syncError == 0 && ::fsync(directory.get()) != 0) syncError = errno;
    // Some file systems cannot sync a folder (EINVAL); the rename stands.
    if (syncError != 0 && syncError != EINVAL) return state.Fail(syncError);
    return 0;
}

SInt32 Write(const char *path, const Content &content, const WriteOptions &options,
             WriteResult *result) {
    WriteState state;
    SInt32 code;
    try {
        code = WriteWhole(path, content, options, state);
    } catch (const std::bad_alloc &) {
        code = state.Fail(ENOMEM);
    }
    if (result) *result = state.result;
    return code;
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
    status = StatusOf(st);
    return 0;
}

bool SameFileVersion(const FileStatus &a, const FileStatus &b) {
    return a.device == b.device && a.inode == b.inode && a.size == b.size &&
           a.modificationSeconds == b.modificationSeconds &&
           a.modificationNanoseconds == b.modificationNanoseconds;
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
    FileStatus ignored;
    return ReadFile(path, bytes, length, ignored);
}

SInt32 ReadFile(const char *path, uint8_t *&bytes, size_t &length, FileStatus &status) {
    return URLErrorFromErrno(ReadWhole(path, bytes, length, status));
}

int CopyFileExclusively(const std::string &from, const std::string &to, FileStatus *copied) {
    uint8_t *bytes = nullptr;
    size_t length = 0;
    FileStatus status;
    if (int error = ReadWhole(from.c_str(), bytes, length, status)) return error;
    std::string temporary;
    int fd = -1, error = 0;
    try {
        temporary = to + ".partial-XXXXXX";
        fd = ::mkstemp(temporary.data());
        if (fd < 0) error = errno;
    } catch (const std::bad_alloc &) {
        error = ENOMEM;
    }
    if (fd >= 0) {
        errno = 0;
        if (!WriteAll(fd, bytes, length) || ::fsync(fd) != 0) error = errno ? errno : EIO;
        if (::close(fd) != 0 && !error) error = errno;
    }
    std::free(bytes);
    if (error) {
        if (fd >= 0) ::unlink(temporary.c_str());
        return error;
    }
    if (::link(temporary.c_str(), to.c_str()) != 0) {
        error = errno;
        // A file system without hard links gets a rename, after a check that
        // leaves only a tiny window for a name taken meanwhile.
        if (error != EEXIST && ::access(to.c_str(), F_OK) != 0 && errno == ENOENT &&
            ::rename(temporary.c_str(), to.c_str()) == 0)
            error = 0;
    }
    ::unlink(temporary.c_str());
    if (error) return error;
    FileDescriptor folder(::open(FolderOf(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0) ::fsync(folder.get());
    if (copied) *copied = status;
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
    return WriteFileAtomically(path, bytes, length, WriteOptions{}, nullptr);
}

SInt32 WriteFileAtomically(const char *path, const void *bytes, size_t length,
                           const WriteOptions &options, WriteResult *result) {
    if (result) {
        *result = WriteResult();
        result->error = EINVAL;
    }
    if (!path || !*path || (!bytes && length > 0)) return kCFURLImproperArgumentsError;
    auto content = [bytes, length](int fd) {
        EarlyWriteback writeback(fd);
        return WriteAll(fd, static_cast<const uint8_t *>(bytes), length, &writeback);
    };
    return Write(path, content, options, result);
}

SInt32 WriteFileAtomically(const char *path, const ContentWriter &writer,
                           const WriteOptions &options, WriteResult *result) {
    if (result) {
        *result = WriteResult();
        result->error = EINVAL;
    }
    if (!path || !*path || !writer) return kCFURLImproperArgumentsError;
    // The writer gets a stream of its own; closing it leaves the descriptor
    // for the fsync that follows.
    auto content = [&writer](int fd) {
        WritebackStream state{fd, EarlyWriteback(fd)};
        FILE *stream = WritebackStream::Open(state);
        if (!stream) return false;
        bool written = writer(stream) && std::fflush(stream) == 0;
        int error = errno;
        if (std::fclose(stream) != 0 && written) {
            written = false;
            error = errno;
        }
        errno = error;
        return written;
    };
    return Write(path, content, options, result);
}

int ResolveLinkTarget(const char *path, std::string &target) {
    if (!path) return EINVAL;
    constexpr int kMaxLinks = 40; // Linux's own limit on links in a path
    try {
        target = path;
        std::string link;
        for (int followed = 0; followed <= kMaxLinks; ++followed) {
            struct stat st {};
            // Whatever keeps lstat from answering, the write itself reports.
            if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return 0;
            link.resize(size_t(st.st_size > 0 ? st.st_size : 255) + 1);
            for (;;) {
                ssize_t size = ::readlink(target.c_str(), link.data(), link.size());
                if (size < 0) return errno;
                if (size_t(size) < link.size()) {
                    link.resize(size_t(size));
                    break;
                }
                link.resize(link.size() * 2);
            }
            if (link.empty()) return ENOENT;
            if (link[0] == '/') {
                target = link;
            } else {
                std::string folder = FolderOf(target);
                target = folder == "/" ? "/" + link : folder + "/" + link;
            }
        }
        return ELOOP;
    } catch (const std::bad_alloc &) {
        return ENOMEM;
    }
}

void SetWriteStepHook(WriteStepHook hook) {
    gWriteStepHook.store(hook, std::memory_order_relaxed);
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
