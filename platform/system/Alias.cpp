// Memory handles and alias records.
#include <CoreServices/CoreServices.h>

#include "platform/files/FileSystem.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

// A handle is the address of the master pointer inside this block; the bytes
// follow the block.
struct HandleBlock {
    uint64_t magic;
    Size size;
    Ptr master;
};

constexpr uint64_t kHandleMagic = 0x564148444C424B31ull; // "VAHDLBK1"

HandleBlock *BlockOf(Handle h) {
    if (!h) return nullptr;
    auto *block = reinterpret_cast<HandleBlock *>(reinterpret_cast<char *>(h) -
                                                  offsetof(HandleBlock, master));
    return block->magic == kHandleMagic ? block : nullptr;
}

// An alias record, every integer big-endian so that stored records read the
// same on any machine:
//    0  magic "VTAL"
//    4  version, 16 bits (1)
//    6  reserved, 16 bits, zero
//    8  record length in bytes, 32 bits: 32 + path length + 1
//   12  device, 64 bits
//   20  inode, 64 bits
//   28  path length in bytes, 32 bits (1 to PATH_MAX - 1)
//   32  the item's canonical absolute path (UTF-8, no NUL inside), then a NUL
// A record is read only when its handle holds exactly the record length and
// every field agrees; anything else (truncated, oversized, foreign) is
// refused with nsvErr.
constexpr unsigned char kAliasMagic[4] = {'V', 'T', 'A', 'L'};
constexpr uint16_t kAliasVersion = 1;
constexpr size_t kAliasHeaderSize = 32;

void Put(unsigned char *at, uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i, value >>= 8)
        at[i] = static_cast<unsigned char>(value);
}

uint64_t Get(const unsigned char *at, int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = value << 8 | at[i];
    return value;
}

struct AliasContents {
    std::string_view path;
    uint64_t device;
    uint64_t inode;
};

bool Parse(const unsigned char *record, Size size, AliasContents &contents) {
    if (size < Size(kAliasHeaderSize) + 2 || std::memcmp(record, kAliasMagic, 4) != 0 ||
        Get(record + 4, 2) != kAliasVersion || Get(record + 6, 2) != 0 ||
        Get(record + 8, 4) != uint64_t(size))
        return false;
    uint64_t pathLength = Get(record + 28, 4);
    if (pathLength == 0 || pathLength >= PATH_MAX ||
        kAliasHeaderSize + pathLength + 1 != uint64_t(size))
        return false;
    const char *path = reinterpret_cast<const char *>(record + kAliasHeaderSize);
    if (path[0] != '/' || path[pathLength] != '\0' || std::memchr(path, '\0', pathLength))
        return false;
    contents = {std::string_view(path, pathLength), Get(record + 12, 8), Get(record + 20, 8)};
    return true;
}

} // namespace

extern "C" {

Handle NewHandle(Size byteCount) {
    if (byteCount < 0 || size_t(byteCount) > SIZE_MAX - sizeof(HandleBlock)) return nullptr;
    auto *block =
        static_cast<HandleBlock *>(std::calloc(1, sizeof(HandleBlock) + size_t(byteCount)));
    if (!block) return nullptr;
    block->magic = kHandleMagic;
    block->size = byteCount;
    block->master = reinterpret_cast<Ptr>(block + 1);
    return &block->master;
}

void DisposeHandle(Handle h) {
    HandleBlock *block = BlockOf(h);
    if (!block) return;
    block->magic = 0;
    std::free(block);
}

Size GetHandleSize(Handle h) {
    HandleBlock *block = BlockOf(h);
    return block ? block->size : 0;
}

Boolean FSIsFSRefValid(const FSRef *ref) {
    UInt8 path[PATH_MAX];
    return ref && FSRefMakePath(ref, path, sizeof path) == noErr;
}

OSErr FSNewAlias(const FSRef *, const FSRef *target, AliasHandle *inAlias) {
    if (!inAlias) return paramErr;
    *inAlias = nullptr;
    if (!target) return paramErr;
    char path[PATH_MAX];
    if (OSStatus status = FSRefMakePath(target, reinterpret_cast<UInt8 *>(path), sizeof path))
        return OSErr(status);
    vt::platform::FileStatus item;
    if (vt::platform::Stat(path, item) != 0) return fnfErr;
    size_t pathLength = std::strlen(path);
    Size size = Size(kAliasHeaderSize + pathLength + 1);
    Handle h = NewHandle(size);
    if (!h) return memFullErr;
    auto *record = reinterpret_cast<unsigned char *>(*h);
    std::memcpy(record, kAliasMagic, 4);
    Put(record + 4, kAliasVersion, 2);
    Put(record + 8, uint64_t(size), 4);
    Put(record + 12, item.device, 8);
    Put(record + 20, item.inode, 8);
    Put(record + 28, pathLength, 4);
    std::memcpy(record + kAliasHeaderSize, path, pathLength + 1);
    *inAlias = reinterpret_cast<AliasHandle>(h);
    return noErr;
}

Size GetAliasSize(AliasHandle alias) {
    Handle h = reinterpret_cast<Handle>(alias);
    AliasContents contents;
    if (!BlockOf(h) ||
        !Parse(reinterpret_cast<const unsigned char *>(*h), GetHandleSize(h), contents))
        return 0;
    return GetHandleSize(h);
}

OSErr FSResolveAlias(const FSRef *, AliasHandle alias, FSRef *target, Boolean *wasChanged) {
    if (wasChanged) *wasChanged = false;
    Handle h = reinterpret_cast<Handle>(alias);
    if (!BlockOf(h) || !target) return paramErr;
    AliasContents contents;
    if (!Parse(reinterpret_cast<const unsigned char *>(*h), GetHandleSize(h), contents))
        return nsvErr;
    const char *path = contents.path.data();
    vt::platform::FileStatus item;
    if (vt::platform::Stat(path, item) != 0 || item.device != contents.device ||
        item.inode != contents.inode)
        return fnfErr;
    FSRef ref;
    if (OSStatus status = FSPathMakeRef(reinterpret_cast<const UInt8 *>(path), &ref, nullptr))
        return OSErr(status);
    *target = ref;
    return noErr;
}

} // extern "C"
