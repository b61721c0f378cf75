// Pieces shared by arrays and dictionaries: the kCFType callbacks, a release
// that does not recurse through nested containers, and nested descriptions.
#pragma once

#include "platform/values/Runtime.h"

namespace vt::cf {

// How a container treats its elements. The well-known callback structs are
// recognised so that their work is done inline rather than through pointers.
enum CallBackKind : uint8_t {
    kCallBacksCFType = 0,     // CFRetain / CFRelease / CFEqual / CFHash
    kCallBacksCopyString = 1, // as kCFType, but string keys are copied
    kCallBacksNull = 2,       // raw pointers: no retain, identity, pointer hash
    kCallBacksCustom = 3,     // through the caller's (copied) struct
};

const void *RetainCallBack(CFAllocatorRef allocator, const void *value);
void ReleaseCallBack(CFAllocatorRef allocator, const void *value);

// CFRelease, except that a container whose last reference goes is finalized
// from a work list instead of from inside its parent's finalize, so that
// freeing deeply nested values uses a bounded amount of stack.
void ReleaseValue(CFTypeRef value);

// Appends the description of a value held by a container whose own text
// starts at nesting `level`; arrays and dictionaries nest one level deeper.
void AppendElementDescription(CFMutableStringRef out, CFTypeRef value, int level);
void AppendIndent(CFMutableStringRef out, int level);
// Appends "<0x...>" for a raw pointer that must not be dereferenced.
void AppendPointerDescription(CFMutableStringRef out, const void *value);
void AppendArrayDescription(CFMutableStringRef out, CFArrayRef array, int level);
void AppendDictionaryDescription(CFMutableStringRef out, CFDictionaryRef dict, int level);

inline bool ValidRange(CFRange range, CFIndex count) {
    return range.location >= 0 && range.length >= 0 && range.location <= count &&
           range.length <= count - range.location;
}

// Containers with the kCFType callbacks that take over the references they
// are given instead of retaining each element, for readers that have just
// made every element. On success the container owns all of them; on failure
// (NULL) the caller still owns every one.
CFArrayRef ArrayCreateAdopting(CFAllocatorRef allocator, const void *const *values, CFIndex count,
                               bool isMutable);
// items holds keys and values alternating, pairs of them. A repeated key
// keeps its first place and takes its last value; the dropped key and value
// are released. keyHashes, when given, holds each pair's key's CFHash, one
// per pair.
CFDictionaryRef DictionaryCreateAdopting(CFAllocatorRef allocator, const void *const *items,
                                         CFIndex pairs, bool isMutable,
                                         const CFHashCode *keyHashes = nullptr);

// Element counts are stored in 32 bits.
inline constexpr CFIndex kMaxElements = 0x7fffffff;

} // namespace vt::cf
