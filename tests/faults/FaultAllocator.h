// A caller's allocator for fault tests: counts its own allocations and
// refuses the Nth one, so that every allocation point of an operation can be
// made to fail in turn.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <cstdlib>

namespace vt::test {

struct FaultCounts {
    long failAt = 0;      // the allocation to refuse (1-based); 0 refuses none
    long calls = 0;       // allocate callbacks so far, the refused one included
    long live = 0;        // blocks handed out and not yet given back
    long infoRetains = 0; // retains of the context info minus its releases
    bool Failed() const { return failAt > 0 && calls >= failAt; }
};

inline void *FaultAllocate(CFIndex size, CFOptionFlags, void *info) {
    auto *counts = static_cast<FaultCounts *>(info);
    if (++counts->calls == counts->failAt) return nullptr;
    void *block = std::malloc(size_t(size));
    if (block) ++counts->live;
    return block;
}

inline void *FaultReallocate(void *ptr, CFIndex size, CFOptionFlags, void *info) {
    auto *counts = static_cast<FaultCounts *>(info);
    if (++counts->calls == counts->failAt) return nullptr;
    return std::realloc(ptr, size_t(size));
}

inline void FaultDeallocate(void *ptr, void *info) {
    --static_cast<FaultCounts *>(info)->live;
    std::free(ptr);
}

inline const void *FaultRetainInfo(const void *info) {
    ++static_cast<FaultCounts *>(const_cast<void *>(info))->infoRetains;
    return info;
}

inline void FaultReleaseInfo(const void *info) {
    --static_cast<FaultCounts *>(const_cast<void *>(info))->infoRetains;
}

// A new allocator over `counts` (the caller releases it); its own object
// comes from the system heap so that it never counts as one of the calls.
inline CFAllocatorRef CreateFaultAllocator(FaultCounts *counts) {
    CFAllocatorContext context = {0,       counts,        FaultRetainInfo, FaultReleaseInfo,
                                  nullptr, FaultAllocate, FaultReallocate, FaultDeallocate,
                                  nullptr};
    return CFAllocatorCreate(kCFAllocatorDefault, &context);
}

} // namespace vt::test
