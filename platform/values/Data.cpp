// Byte buffers. An immutable data keeps its bytes inline after the object
// (or borrows them, for the NoCopy form); a mutable one owns a growable buffer.
#include "platform/values/CollectionInternal.h"
#include "platform/values/Runtime.h"

#include <algorithm>
#include <cstring>
#include <string>

using namespace vt::cf;

namespace {

enum DataFlags : uint8_t {
    kDataMutable = 1,
    kDataFreeBytes = 2, // the bytes are free()d with the object
    // The bytes go back to a caller's allocator (held in `deallocator`).
    kDataDeallocateBytes = 4,
};

} // namespace

struct __CFData {
    ObjectHeader header;
    UInt8 *bytes;
    CFIndex length;
    CFIndex capacity;                     // bytes allocated, for a mutable data
    CFAllocatorRef deallocator = nullptr; // retained, with kDataDeallocateBytes

    __CFData(uint8_t allocator, const __VTRuntimeClass *cls, uint8_t flags, UInt8 *b, CFIndex len)
        : header(cls, 1, allocator, flags), bytes(b), length(len), capacity(0) {}
};

namespace {

// Stands in for the bytes of an empty data so that GetBytePtr is never NULL.
const UInt8 kNoBytes[1] = {0};

// A mutable data's buffer never grows by less than this.
constexpr CFIndex kMinCapacity = 16;
// Capacity hints beyond this are not reserved up front.
constexpr CFIndex kMaxReservedHint = CFIndex(1) << 20;

void DataFinalize(CFTypeRef cf) {
    auto *d = static_cast<__CFData *>(const_cast<void *>(cf));
    if (d->header.flags & kDataFreeBytes) std::free(d->bytes);
    if (d->header.flags & kDataDeallocateBytes) {
        CFAllocatorDeallocate(d->deallocator, d->bytes);
        CFRelease(d->deallocator);
    }
}

bool DataEqual(CFTypeRef a, CFTypeRef b) {
    const auto *x = static_cast<const __CFData *>(a);
    const auto *y = static_cast<const __CFData *>(b);
    return x->length == y->length &&
           (x->length == 0 || std::memcmp(x->bytes, y->bytes, size_t(x->length)) == 0);
}

CFHashCode DataHash(CFTypeRef cf) {
    const auto *d = static_cast<const __CFData *>(cf);
    uint64_t h = 0x9E3779B97F4A7C15ull ^ uint64_t(d->length);
    const UInt8 *p = d->bytes;
    size_t n = size_t(d->length);
    for (; n >= 8; n -= 8, p += 8) {
        uint64_t word;
        std::memcpy(&word, p, 8);
        h = (h ^ word) * 0xff51afd7ed558ccdull;
        h ^= h >> 32;
    }
    for (; n > 0; --n, ++p)
        h = (h ^ *p) * 0x100000001b3ull;
    h ^= h >> 29;
    return CFHashCode(h);
}

CFStringRef DataDescription(CFTypeRef cf) {
    const auto *d = static_cast<const __CFData *>(cf);
    static constexpr char kHex[] = "0123456789abcdef";
    try {
        std::string text;
        text.reserve(size_t(d->length) * 2 + 2);
        text += '<';
        for (CFIndex i = 0; i < d->length; ++i) {
            text += kHex[d->bytes[i] >> 4];
            text += kHex[d->bytes[i] & 15];
        }
        text += '>';
        return CFStringCreateWithBytes(kCFAllocatorSystemDefault,
                                       reinterpret_cast<const UInt8 *>(text.data()),
                                       CFIndex(text.size()), kCFStringEncodingUTF8, false);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

constexpr __VTRuntimeClass kDataClass = {
    kTypeIDData, "CFData", DataFinalize, DataEqual, DataHash, DataDescription,
};

__CFData *AsData(CFTypeRef cf) {
    return As<__CFData>(cf, kTypeIDData);
}

__CFData *AsMutableData(CFTypeRef cf) {
    __CFData *d = AsData(cf);
    return d && (d->header.flags & kDataMutable) ? d : nullptr;
}

__CFData *CreateInline(CFAllocatorRef allocator, const UInt8 *bytes, CFIndex length) {
    if (length < 0 || (length > 0 && !bytes)) return nullptr;
    auto *d =
        CreateObject<__CFData>(allocator, size_t(length), &kDataClass, uint8_t(0), nullptr, length);
    if (!d) return nullptr;
    d->bytes = reinterpret_cast<UInt8 *>(d + 1);
    if (length > 0) std::memcpy(d->bytes, bytes, size_t(length));
    return d;
}

bool Reserve(__CFData *d, CFIndex needed) {
    if (needed <= d->capacity) return true;
    CFIndex grown = d->capacity > PTRDIFF_MAX / 2 ? needed : d->capacity * 2;
    CFIndex capacity = std::max({needed, grown, kMinCapacity});
    auto *bytes = static_cast<UInt8 *>(std::realloc(d->bytes, size_t(capacity)));
    if (!bytes) return false;
    d->bytes = bytes;
    d->capacity = capacity;
    return true;
}

__CFData *CreateMutable(CFAllocatorRef allocator, CFIndex capacity, const UInt8 *bytes,
                        CFIndex length) {
    if (capacity < 0) return nullptr;
    auto *d = CreateObject<__CFData>(allocator, 0, &kDataClass,
                                     uint8_t(kDataMutable | kDataFreeBytes), nullptr, CFIndex(0));
    if (!d) return nullptr;
    if (!Reserve(d, std::max(length, std::min(capacity, kMaxReservedHint))) && length > 0) {
        CFRelease(d);
        return nullptr;
    }
    if (length > 0) std::memcpy(d->bytes, bytes, size_t(length));
    d->length = length;
    return d;
}

// Replaces range (already checked) with newLength bytes, which may point
// into the data itself.
void Replace(__CFData *d, CFRange range, const UInt8 *newBytes, CFIndex newLength) {
    CFIndex kept = d->length - range.length;
    if (newLength > PTRDIFF_MAX - kept) return;
    CFIndex total = kept + newLength;
    UInt8 *copy = nullptr;
    auto at = reinterpret_cast<uintptr_t>(newBytes);
    auto start = reinterpret_cast<uintptr_t>(d->bytes);
    if (newLength > 0 && d->bytes && at >= start && at - start < uintptr_t(d->capacity)) {
        copy = static_cast<UInt8 *>(std::malloc(size_t(newLength)));
        if (!copy) return;
        std::memcpy(copy, newBytes, size_t(newLength));
        newBytes = copy;
    }
    if (Reserve(d, total)) {
        CFIndex tail = d->length - range.location - range.length;
        if (tail > 0)
            std::memmove(d->bytes + range.location + newLength,
                         d->bytes + range.location + range.length, size_t(tail));
        if (newLength > 0) std::memcpy(d->bytes + range.location, newBytes, size_t(newLength));
        d->length = total;
    }
    std::free(copy);
}

} // namespace

namespace vt::cf {

bool DataIsMutable(CFTypeRef cf) {
    return AsMutableData(cf) != nullptr;
}

} // namespace vt::cf

extern "C" {

CFTypeID CFDataGetTypeID(void) {
    return kTypeIDData;
}

CFDataRef CFDataCreate(CFAllocatorRef allocator, const UInt8 *bytes, CFIndex length) {
    return CreateInline(allocator, bytes, length);
}

CFDataRef CFDataCreateWithBytesNoCopy(CFAllocatorRef allocator, const UInt8 *bytes, CFIndex length,
                                      CFAllocatorRef bytesDeallocator) {
    if (length < 0 || (length > 0 && !bytes)) return nullptr;
    // A caller's allocator gets its bytes back through its own deallocate;
    // the predefined ones other than kCFAllocatorNull free them.
    bool custom = bytesDeallocator && bytesDeallocator != kCFAllocatorNull &&
                  bytesDeallocator != kCFAllocatorSystemDefault &&
                  bytesDeallocator != kCFAllocatorMalloc &&
                  TypeOf(bytesDeallocator) == kTypeIDAllocator;
    uint8_t flags = bytesDeallocator == kCFAllocatorNull ? 0
                    : custom                             ? kDataDeallocateBytes
                                                         : kDataFreeBytes;
    __CFData *d = CreateObject<__CFData>(allocator, 0, &kDataClass, flags,
                                         const_cast<UInt8 *>(bytes), length);
    if (d && custom) d->deallocator = static_cast<CFAllocatorRef>(CFRetain(bytesDeallocator));
    return d;
}

CFDataRef CFDataCreateCopy(CFAllocatorRef allocator, CFDataRef theData) {
    const __CFData *d = AsData(theData);
    if (!d) return nullptr;
    if (!(d->header.flags & kDataMutable)) return static_cast<CFDataRef>(CFRetain(d));
    return CreateInline(allocator, d->bytes, d->length);
}

CFMutableDataRef CFDataCreateMutable(CFAllocatorRef allocator, CFIndex capacity) {
    return CreateMutable(allocator, capacity, nullptr, 0);
}

CFMutableDataRef CFDataCreateMutableCopy(CFAllocatorRef allocator, CFIndex capacity,
                                         CFDataRef theData) {
    const __CFData *d = AsData(theData);
    if (!d) return nullptr;
    return CreateMutable(allocator, capacity, d->bytes, d->length);
}

CFIndex CFDataGetLength(CFDataRef theData) {
    const __CFData *d = AsData(theData);
    return d ? d->length : 0;
}

const UInt8 *CFDataGetBytePtr(CFDataRef theData) {
    const __CFData *d = AsData(theData);
    if (!d) return nullptr;
    return d->bytes ? d->bytes : kNoBytes;
}

UInt8 *CFDataGetMutableBytePtr(CFMutableDataRef theData) {
    __CFData *d = AsMutableData(theData);
    if (!d) return nullptr;
    if (!d->bytes && !Reserve(d, kMinCapacity)) return nullptr;
    return d->bytes;
}

void CFDataGetBytes(CFDataRef theData, CFRange range, UInt8 *buffer) {
    const __CFData *d = AsData(theData);
    if (!d || !buffer || !ValidRange(range, d->length) || range.length == 0) return;
    std::memcpy(buffer, d->bytes + range.location, size_t(range.length));
}

void CFDataSetLength(CFMutableDataRef theData, CFIndex length) {
    __CFData *d = AsMutableData(theData);
    if (!d || length < 0) return;
    if (length > d->length) {
        if (!Reserve(d, length)) return;
        std::memset(d->bytes + d->length, 0, size_t(length - d->length));
    }
    d->length = length;
}

void CFDataIncreaseLength(CFMutableDataRef theData, CFIndex extraLength) {
    __CFData *d = AsMutableData(theData);
    if (!d || extraLength < 0 || extraLength > PTRDIFF_MAX - d->length) return;
    CFDataSetLength(theData, d->length + extraLength);
}

void CFDataAppendBytes(CFMutableDataRef theData, const UInt8 *bytes, CFIndex length) {
    __CFData *d = AsMutableData(theData);
    if (!d || length < 0 || (length > 0 && !bytes)) return;
    Replace(d, CFRangeMake(d->length, 0), bytes, length);
}

void CFDataReplaceBytes(CFMutableDataRef theData, CFRange range, const UInt8 *newBytes,
                        CFIndex newLength) {
    __CFData *d = AsMutableData(theData);
    if (!d || !ValidRange(range, d->length) || newLength < 0 || (newLength > 0 && !newBytes))
        return;
    Replace(d, range, newBytes, newLength);
}

void CFDataDeleteBytes(CFMutableDataRef theData, CFRange range) {
    __CFData *d = AsMutableData(theData);
    if (!d || !ValidRange(range, d->length)) return;
    Replace(d, range, nullptr, 0);
}

} // extern "C"
