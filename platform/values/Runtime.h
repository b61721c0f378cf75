// The object runtime shared by every value type of the platform layer.
//
// Each object starts with an ObjectHeader. Its class (isa) gives the type ID
// and the type's finalize, equal, hash and describe functions. Objects made
// with a predefined allocator are malloc'd; objects made with a caller's
// allocator come from its allocate callback, behind a prefix that keeps the
// allocator (retained) for the free. The last CFRelease runs the class's
// finalize, then frees the memory. Immortal objects (constants) carry a
// retain count of kImmortal and are never written to, so they may live in
// read-only memory.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>

struct __VTRuntimeClass {
    CFTypeID typeID;
    const char *name;
    // Destroys the type's own members; the runtime frees the object after.
    void (*finalize)(CFTypeRef cf);
    // Called only with two distinct objects of this type.
    bool (*equal)(CFTypeRef a, CFTypeRef b);
    CFHashCode (*hash)(CFTypeRef cf);
    // The text %@ and CFShow use (a new string).
    CFStringRef (*copyDescription)(CFTypeRef cf);
};

namespace vt::cf {

// Type IDs are fixed so that they are stable across runs.
enum TypeID : CFTypeID {
    kTypeIDAllocator = 2,
    kTypeIDNull = 3,
    kTypeIDString = 7,
    kTypeIDDictionary = 18,
    kTypeIDArray = 19,
    kTypeIDData = 20,
    kTypeIDBoolean = 21,
    kTypeIDNumber = 22,
    kTypeIDUUID = 27,
    kTypeIDURL = 29,
    kTypeIDBundle = 31,
    kTypeIDError = 38,
    kTypeIDDate = 42,
    kTypeIDFirstFree = 64,
};

inline constexpr uint32_t kImmortal = 0xffffffffu;

// How a value remembers its allocator (ObjectHeader::allocator).
enum AllocatorKind : uint8_t {
    kAllocatorDefault = 0,
    kAllocatorSystemDefault = 1,
    kAllocatorMalloc = 2,
    kAllocatorNull = 3,
    // From a caller's allocator, whose reference sits in an AllocationPrefix
    // just before the object.
    kAllocatorCustom = 4,
    // An allocator object made with kCFAllocatorUseContext: its memory came
    // from its own context.
    kAllocatorSelf = 5,
};

// Layout-compatible with __VTConstantString's first members.
struct ObjectHeader {
    const __VTRuntimeClass *isa;
    std::atomic<uint32_t> rc;
    uint8_t allocator;
    uint8_t flags; // free for the type's own use
    uint16_t spare;

    constexpr ObjectHeader(const __VTRuntimeClass *cls, uint32_t count, uint8_t alloc = 0,
                           uint8_t f = 0)
        : isa(cls), rc(count), allocator(alloc), flags(f), spare(0) {}
};
static_assert(sizeof(ObjectHeader) == 16);

inline const ObjectHeader *Header(CFTypeRef cf) {
    return static_cast<const ObjectHeader *>(cf);
}

inline CFTypeID TypeOf(CFTypeRef cf) {
    return cf ? Header(cf)->isa->typeID : 0;
}

// The object as T when it is non-null and of the given type, else nullptr.
// Every entry point checks its arguments this way, so that NULL or a value of
// the wrong type fails safely instead of being reinterpreted.
template <class T>
inline T *As(CFTypeRef cf, CFTypeID type) {
    if (!cf || Header(cf)->isa->typeID != type) return nullptr;
    return static_cast<T *>(const_cast<void *>(cf));
}

// Sits before an object made with a caller's allocator; 16 bytes so that the
// object keeps the allocation's alignment.
struct alignas(16) AllocationPrefix {
    CFAllocatorRef allocator; // retained
};
static_assert(sizeof(AllocationPrefix) == 16);

uint8_t AllocatorKindOf(CFAllocatorRef allocator);

// Memory for an object of `size` bytes: malloc'd for a predefined allocator,
// else from the allocator's allocate callback behind an AllocationPrefix.
// nullptr when memory runs out. *kind receives the ObjectHeader allocator kind.
void *AllocateObjectMemory(CFAllocatorRef allocator, size_t size, uint8_t *kind);
// Gives back memory from AllocateObjectMemory that holds no object yet.
void FreeObjectMemory(void *memory, uint8_t kind);

// Allocates and constructs an object T (which must begin with ObjectHeader,
// constructed from the isa, a count of 1 and the allocator kind). `extra`
// adds trailing bytes after T. Returns nullptr when memory runs out.
template <class T, class... Args>
T *CreateObject(CFAllocatorRef allocator, size_t extra, Args &&...args) {
    if (extra > SIZE_MAX - sizeof(T)) return nullptr;
    uint8_t kind = 0;
    void *memory = AllocateObjectMemory(allocator, sizeof(T) + extra, &kind);
    if (!memory) return nullptr;
    try {
        return new (memory) T(kind, std::forward<Args>(args)...);
    } catch (...) {
        FreeObjectMemory(memory, kind);
        throw;
    }
}

// Helpers for types whose hash or equality is by identity.
CFHashCode PointerHash(CFTypeRef cf);

} // namespace vt::cf
