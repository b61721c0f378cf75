// File-system references. Linux cannot turn a device and inode back into a
// path, so each reference names an entry in a process-wide table of canonical
// paths (interned, never freed) and records the identity of the item found
// there; resolving checks that the item at the path still has that identity,
// so a reference fails once its item is removed or replaced.
#include <CoreServices/CoreServices.h>

#include "platform/files/FileSystem.h"
#include "platform/files/URLInternal.h"
#include "platform/values/Guard.h"

#include <cerrno>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include <dlfcn.h>

namespace {

// The 80 bytes of an FSRef, integers in host byte order:
//   0  magic 'VTFR'      4  version (1)     6  zero
//   8  table index      16  device         24  inode
//  32  check word over the above           40..79  zero
// A reference whose magic, version, check word or zero bytes are wrong (a
// zeroed one, say) is invalid.
struct Reference {
    uint32_t magic;
    uint16_t version;
    uint16_t reserved;
    uint64_t index;
    uint64_t device;
    uint64_t inode;
    uint64_t check;
    uint8_t zero[40];
};
static_assert(sizeof(Reference) == sizeof(FSRef));

constexpr uint32_t kMagic = 0x52465456; // "VTFR" in memory
constexpr uint16_t kVersion = 1;

uint64_t CheckWord(const Reference &r) {
    uint64_t h = 0x9E3779B97F4A7C15ull ^ r.magic ^ (uint64_t(r.version) << 32);
    for (uint64_t v : {r.index, r.device, r.inode})
        h = (h ^ v) * 0xff51afd7ed558ccdull, h ^= h >> 31;
    return h;
}

class PathTable {
  public:
    uint64_t Intern(const std::string &path) {
        std::lock_guard lock(mutex_);
        auto found = indices_.find(path);
        if (found != indices_.end()) return found->second;
        paths_.push_back(path);
        uint64_t index = paths_.size() - 1;
        indices_.emplace(paths_.back(), index);
        return index;
    }
    // The path at index; a deque never moves its strings, so the text stays
    // valid for the life of the process.
    const std::string *Find(uint64_t index) {
        std::lock_guard lock(mutex_);
        return index < paths_.size() ? &paths_[index] : nullptr;
    }

  private:
    std::mutex mutex_;
    std::deque<std::string> paths_;
    std::unordered_map<std::string_view, uint64_t> indices_;
};

} // namespace

// This copy's table; exported so that other copies can find it by name.
extern "C" __attribute__((visibility("default"))) void *VTPrivate_FSRefPathTableV1(void) {
    static PathTable *table = new PathTable;
    return table;
}

namespace {

// Copies of the layer in one process (a framework loaded next to a statically
// linked copy) share the first copy's table, so that a reference made by one
// resolves in the other as it would with a single file system.
PathTable &Table() {
    static PathTable *table = [] {
        auto first =
            reinterpret_cast<void *(*)(void)>(::dlsym(RTLD_DEFAULT, "VTPrivate_FSRefPathTableV1"));
        return static_cast<PathTable *>(first ? first() : VTPrivate_FSRefPathTableV1());
    }();
    return *table;
}

OSStatus StatusFromErrno(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
        case ELOOP:
        case ENAMETOOLONG:
            return fnfErr;
        case EACCES:
        case EPERM:
            return permErr;
        case ENOMEM:
            return memFullErr;
        default:
            return ioErr;
    }
}

OSStatus MakeRef(const char *path, FSRef *ref, Boolean *isDirectory) {
    std::string canonical;
    if (int error = vt::platform::RealPath(path, canonical)) return StatusFromErrno(error);
    vt::platform::FileStatus status;
    if (vt::platform::Stat(canonical.c_str(), status) != 0) return fnfErr;
    Reference r{};
    r.magic = kMagic;
    r.version = kVersion;
    r.index = Table().Intern(canonical);
    r.device = status.device;
    r.inode = status.inode;
    r.check = CheckWord(r);
    std::memcpy(ref, &r, sizeof r);
    if (isDirectory) *isDirectory = status.isDirectory;
    return noErr;
}

// The path of the reference's item, which must still be the item that was
// there when the reference was made.
OSStatus Resolve(const FSRef *ref, const std::string *&path, bool &isDirectory) {
    if (!ref) return paramErr;
    Reference r;
    std::memcpy(&r, ref, sizeof r);
    static constexpr uint8_t kZero[sizeof r.zero] = {};
    if (r.magic != kMagic || r.version != kVersion || r.reserved != 0 || r.check != CheckWord(r) ||
        std::memcmp(r.zero, kZero, sizeof kZero) != 0)
        return paramErr;
    path = Table().Find(r.index);
    if (!path) return paramErr;
    vt::platform::FileStatus status;
    if (vt::platform::Stat(path->c_str(), status) != 0 || status.device != r.device ||
        status.inode != r.inode)
        return fnfErr;
    isDirectory = status.isDirectory;
    return noErr;
}

} // namespace

extern "C" {

OSStatus FSPathMakeRef(const UInt8 *path, FSRef *ref, Boolean *isDirectory) {
    if (!path || !ref) return paramErr;
    return vt::Guard(OSStatus(memFullErr), [&] {
        return MakeRef(reinterpret_cast<const char *>(path), ref, isDirectory);
    });
}

OSStatus FSRefMakePath(const FSRef *ref, UInt8 *path, UInt32 pathBufferSize) {
    if (!path || pathBufferSize == 0) return paramErr;
    const std::string *found = nullptr;
    bool isDirectory = false;
    if (OSStatus status = Resolve(ref, found, isDirectory)) return status;
    if (found->size() >= pathBufferSize) return paramErr;
    std::memcpy(path, found->c_str(), found->size() + 1);
    return noErr;
}

Boolean CFURLGetFSRef(CFURLRef url, FSRef *fsRef) {
    if (!fsRef) return false;
    return vt::Guard(Boolean(false), [&]() -> Boolean {
        std::string path;
        return vt::cf::URLFilePath(url, path) == 0 &&
               MakeRef(path.c_str(), fsRef, nullptr) == noErr;
    });
}

CFURLRef CFURLCreateFromFSRef(CFAllocatorRef allocator, const FSRef *fsRef) {
    const std::string *path = nullptr;
    bool isDirectory = false;
    if (Resolve(fsRef, path, isDirectory) != noErr) return nullptr;
    return vt::Guard(CFURLRef(nullptr), [&] {
        return vt::cf::URLCreateWithAbsolutePath(allocator, *path, isDirectory);
    });
}

} // extern "C"
