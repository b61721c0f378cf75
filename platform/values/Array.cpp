// Arrays, plus the pieces arrays and dictionaries share (CollectionInternal.h).
//
// An array is a 32-byte object. Custom callbacks, when given, are copied right
// after it; an immutable array's values follow inline in the same allocation,
// a mutable one's live in a separate growable buffer (or inline until it first
// grows, when it was made whole from values it adopts).
#include "platform/values/CollectionInternal.h"
#include "platform/values/Holder.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

using namespace vt::cf;

namespace {

enum ArrayFlags : uint8_t {
    kArrayMutable = 1,
    kArrayKindShift = 1, // two bits of CallBackKind
    // A mutable array whose values are still inline, where it was made with
    // them; the first growth moves them to a malloc'd buffer.
    kArrayInlineValues = 8,
};

} // namespace

struct __CFArray {
    ObjectHeader header;
    uint32_t count;
    uint32_t capacity;
    const void **values;

    __CFArray(uint8_t allocator, const __VTRuntimeClass *cls, uint8_t flags)
        : header(cls, 1, allocator, flags), count(0), capacity(0), values(nullptr) {}
};
static_assert(sizeof(__CFArray) == 32);

// ---------------------------------------------------------------------------
// Shared collection pieces.

namespace vt::cf {

const void *RetainCallBack(CFAllocatorRef, const void *value) {
    return CFRetain(value);
}

void ReleaseCallBack(CFAllocatorRef, const void *value) {
    ReleaseValue(value);
}

namespace {

struct PendingReleases {
    std::vector<CFTypeRef> items;
    bool draining = false;
};
thread_local PendingReleases tPending;

// A drained list larger than this gives its memory back.
constexpr size_t kPendingKeep = 1024;

} // namespace

void ReleaseValue(CFTypeRef value) {
    if (!value) return;
    const ObjectHeader *header = Header(value);
    CFTypeID type = header->isa->typeID;
    // Only a container about to be finalized can recurse; everything else is
    // released on the spot.
    if ((type != kTypeIDArray && type != kTypeIDDictionary) ||
        header->rc.load(std::memory_order_relaxed) != 1) {
        CFRelease(value);
        return;
    }
    PendingReleases &pending = tPending;
    if (pending.draining) {
        try {
            pending.items.push_back(value);
        } catch (const std::bad_alloc &) {
            CFRelease(value);
        }
        return;
    }
    pending.draining = true;
    CFRelease(value);
    while (!pending.items.empty()) {
        CFTypeRef next = pending.items.back();
        pending.items.pop_back();
        CFRelease(next);
    }
    if (pending.items.capacity() > kPendingKeep) std::vector<CFTypeRef>().swap(pending.items);
    pending.draining = false;
}

void AppendIndent(CFMutableStringRef out, int level) {
    for (int i = 0; i < level; ++i)
        CFStringAppendCString(out, "    ", kCFStringEncodingUTF8);
}

void AppendPointerDescription(CFMutableStringRef out, const void *value) {
    char text[32];
    std::snprintf(text, sizeof text, "<%p>", value);
    CFStringAppendCString(out, text, kCFStringEncodingUTF8);
}

void AppendElementDescription(CFMutableStringRef out, CFTypeRef value, int level) {
    switch (TypeOf(value)) {
        case kTypeIDArray:
            AppendArrayDescription(out, static_cast<CFArrayRef>(value), level);
            return;
        case kTypeIDDictionary:
            AppendDictionaryDescription(out, static_cast<CFDictionaryRef>(value), level);
            return;
        default:
            break;
    }
    CFRef<CFStringRef> text(CFCopyDescription(value));
    if (text)
        CFStringAppend(out, text.get());
    else
        CFStringAppendCString(out, "(null)", kCFStringEncodingUTF8);
}

} // namespace vt::cf

// ---------------------------------------------------------------------------
// Arrays.

namespace {

CallBackKind KindOf(const __CFArray *a) {
    return CallBackKind((a->header.flags >> kArrayKindShift) & 3);
}

bool IsMutable(const __CFArray *a) {
    return a->header.flags & kArrayMutable;
}

const CFArrayCallBacks *CustomCallBacks(const __CFArray *a) {
    return reinterpret_cast<const CFArrayCallBacks *>(a + 1);
}

CallBackKind KindOfCallBacks(const CFArrayCallBacks *cb) {
    if (!cb) return kCallBacksNull;
    const CFArrayCallBacks &t = kCFTypeArrayCallBacks;
    if (cb == &t || (cb->retain == t.retain && cb->release == t.release &&
                     cb->copyDescription == t.copyDescription && cb->equal == t.equal))
        return kCallBacksCFType;
    if (!cb->retain && !cb->release && !cb->copyDescription && !cb->equal) return kCallBacksNull;
    return kCallBacksCustom;
}

const void *RetainElement(const __CFArray *a, const void *value) {
    switch (KindOf(a)) {
        case kCallBacksCFType:
            return CFRetain(value);
        case kCallBacksCustom: {
            const CFArrayCallBacks *cb = CustomCallBacks(a);
            return cb->retain ? cb->retain(CFGetAllocator(a), value) : value;
        }
        default:
            return value;
    }
}

void ReleaseElement(const __CFArray *a, const void *value) {
    switch (KindOf(a)) {
        case kCallBacksCFType:
            ReleaseValue(value);
            break;
        case kCallBacksCustom: {
            const CFArrayCallBacks *cb = CustomCallBacks(a);
            if (cb->release) cb->release(CFGetAllocator(a), value);
            break;
        }
        default:
            break;
    }
}

bool ElementsEqual(const __CFArray *a, const void *x, const void *y) {
    if (x == y) return true;
    switch (KindOf(a)) {
        case kCallBacksCFType:
            return CFEqual(x, y);
        case kCallBacksCustom: {
            const CFArrayCallBacks *cb = CustomCallBacks(a);
            return cb->equal && cb->equal(x, y);
        }
        default:
            return false;
    }
}

bool OwnsBuffer(const __CFArray *a) {
    return IsMutable(a) && !(a->header.flags & kArrayInlineValues);
}

void ArrayFinalize(CFTypeRef cf) {
    auto *a = static_cast<__CFArray *>(const_cast<void *>(cf));
    if (KindOf(a) != kCallBacksNull)
        for (uint32_t i = 0; i < a->count; ++i)
            ReleaseElement(a, a->values[i]);
    if (OwnsBuffer(a)) std::free(a->values);
}

bool ArrayEqual(CFTypeRef x, CFTypeRef y) {
    const auto *a = static_cast<const __CFArray *>(x);
    const auto *b = static_cast<const __CFArray *>(y);
    if (a->count != b->count) return false;
    for (uint32_t i = 0; i < a->count; ++i)
        if (!ElementsEqual(a, a->values[i], b->values[i])) return false;
    return true;
}

CFHashCode ArrayHash(CFTypeRef cf) {
    return static_cast<const __CFArray *>(cf)->count;
}

CFStringRef ArrayDescription(CFTypeRef cf) {
    CFMutableStringRef out = CFStringCreateMutable(kCFAllocatorSystemDefault, 0);
    if (out) AppendArrayDescription(out, static_cast<CFArrayRef>(cf), 0);
    return out;
}

constexpr __VTRuntimeClass kArrayClass = {
    kTypeIDArray, "CFArray", ArrayFinalize, ArrayEqual, ArrayHash, ArrayDescription,
};

__CFArray *AsArray(CFTypeRef cf) {
    return As<__CFArray>(cf, kTypeIDArray);
}

__CFArray *AsMutableArray(CFTypeRef cf) {
    __CFArray *a = AsArray(cf);
    return a && IsMutable(a) ? a : nullptr;
}

// A new empty array; an immutable one gets room for `inlineCount` values, and
// so does a mutable one when `mutableInline` asks.
__CFArray *NewArray(CFAllocatorRef allocator, bool isMutable, CallBackKind kind,
                    const CFArrayCallBacks *custom, CFIndex inlineCount,
                    bool mutableInline = false) {
    size_t callBacksSize = kind == kCallBacksCustom ? sizeof(CFArrayCallBacks) : 0;
    bool inlineValues = !isMutable || (mutableInline && inlineCount > 0);
    size_t valuesSize = inlineValues ? size_t(inlineCount) * sizeof(void *) : 0;
    uint8_t flags = uint8_t((isMutable ? kArrayMutable : 0) | kind << kArrayKindShift |
                            (isMutable && inlineValues ? kArrayInlineValues : 0));
    auto *a = CreateObject<__CFArray>(allocator, callBacksSize + valuesSize, &kArrayClass, flags);
    if (!a) return nullptr;
    if (callBacksSize) std::memcpy(static_cast<void *>(a + 1), custom, callBacksSize);
    if (inlineValues) {
        a->values =
            reinterpret_cast<const void **>(reinterpret_cast<char *>(a + 1) + callBacksSize);
        a->capacity = uint32_t(inlineCount);
    }
    return a;
}

bool Reserve(__CFArray *a, CFIndex needed) {
    if (needed <= CFIndex(a->capacity)) return true;
    if (!IsMutable(a) || needed > kMaxElements) return false;
    CFIndex grown = a->capacity ? CFIndex(a->capacity) + a->capacity / 2 + 1 : 3;
    CFIndex capacity = grown > needed ? (grown > kMaxElements ? kMaxElements : grown) : needed;
    const void **values;
    if (a->header.flags & kArrayInlineValues) {
        values = static_cast<const void **>(std::malloc(size_t(capacity) * sizeof(void *)));
        if (!values) return false;
        if (a->count)
            std::memcpy(static_cast<void *>(values), a->values, a->count * sizeof(void *));
        a->header.flags &= uint8_t(~kArrayInlineValues);
    } else {
        values =
            static_cast<const void **>(std::realloc(a->values, size_t(capacity) * sizeof(void *)));
        if (!values) return false;
    }
    a->values = values;
    a->capacity = uint32_t(capacity);
    return true;
}

// Copies `count` values into an empty array, retaining each.
void Fill(__CFArray *a, const void *const *values, CFIndex count) {
    for (CFIndex i = 0; i < count; ++i)
        a->values[i] = RetainElement(a, values[i]);
    a->count = uint32_t(count);
}

__CFArray *CopyOf(CFAllocatorRef allocator, const __CFArray *source, bool isMutable,
                  CFIndex capacityHint) {
    CallBackKind kind = KindOf(source);
    const CFArrayCallBacks *custom = kind == kCallBacksCustom ? CustomCallBacks(source) : nullptr;
    __CFArray *a = NewArray(allocator, isMutable, kind, custom, source->count);
    if (!a) return nullptr;
    CFIndex reserve = capacityHint > CFIndex(source->count) ? capacityHint : source->count;
    if (isMutable && !Reserve(a, reserve) && !Reserve(a, source->count)) {
        CFRelease(a);
        return nullptr;
    }
    Fill(a, source->values, source->count);
    return a;
}

// Replaces range (already checked) with newCount values, which may come from
// the array itself.
void Replace(__CFArray *a, CFRange range, const void *const *newValues, CFIndex newCount) {
    CFIndex total = CFIndex(a->count) - range.length + newCount;
    if (total > kMaxElements) return;
    constexpr CFIndex kStackValues = 16;
    const void *oldStack[kStackValues];
    const void *newStack[kStackValues];
    const void **oldValues = oldStack;
    const void **copied = newStack;
    std::unique_ptr<const void *[]> oldHeap, newHeap;
    if (range.length > kStackValues) {
        oldHeap.reset(new (std::nothrow) const void *[size_t(range.length)]);
        if (!oldHeap) return;
        oldValues = oldHeap.get();
    }
    auto at = reinterpret_cast<uintptr_t>(newValues);
    auto start = reinterpret_cast<uintptr_t>(a->values);
    bool aliased = newCount > 0 && a->values && at >= start &&
                   at - start < uintptr_t(a->capacity) * sizeof(void *);
    if (aliased) {
        if (newCount > kStackValues) {
            newHeap.reset(new (std::nothrow) const void *[size_t(newCount)]);
            if (!newHeap) return;
            copied = newHeap.get();
        }
        std::memcpy(copied, newValues, size_t(newCount) * sizeof(void *));
        newValues = copied;
    }
    if (!Reserve(a, total)) return;
    if (range.length > 0)
        std::memcpy(oldValues, a->values + range.location, size_t(range.length) * sizeof(void *));
    CFIndex tail = CFIndex(a->count) - range.location - range.length;
    if (tail > 0)
        std::memmove(a->values + range.location + newCount,
                     a->values + range.location + range.length, size_t(tail) * sizeof(void *));
    for (CFIndex i = 0; i < newCount; ++i)
        a->values[range.location + i] = RetainElement(a, newValues[i]);
    a->count = uint32_t(total);
    // Released last, so that replacing a value with itself keeps it alive.
    for (CFIndex i = 0; i < range.length; ++i)
        ReleaseElement(a, oldValues[i]);
}

// Stable merge sort of values[0, n) using scratch[0, n); robust against
// comparators that are not consistent.
void MergeSort(const void **values, const void **scratch, size_t n, CFComparatorFunction compare,
               void *context) {
    if (n < 2) return;
    if (n <= 8) {
        for (size_t i = 1; i < n; ++i) {
            const void *v = values[i];
            size_t j = i;
            for (; j > 0 && compare(v, values[j - 1], context) < 0; --j)
                values[j] = values[j - 1];
            values[j] = v;
        }
        return;
    }
    size_t half = n / 2;
    MergeSort(values, scratch, half, compare, context);
    MergeSort(values + half, scratch, n - half, compare, context);
    std::memcpy(scratch, values, n * sizeof(void *));
    size_t i = 0, j = half, k = 0;
    while (i < half && j < n)
        values[k++] = compare(scratch[j], scratch[i], context) < 0 ? scratch[j++] : scratch[i++];
    while (i < half)
        values[k++] = scratch[i++];
    while (j < n)
        values[k++] = scratch[j++];
}

} // namespace

namespace vt::cf {

CFArrayRef ArrayCreateAdopting(CFAllocatorRef allocator, const void *const *values, CFIndex count,
                               bool isMutable) {
    if (count < 0 || count > kMaxElements || (count > 0 && !values)) return nullptr;
    // A mutable one too keeps its values inline: a document holds tens of
    // thousands of small arrays, and most never change.
    __CFArray *a = NewArray(allocator, isMutable, kCallBacksCFType, nullptr, count, true);
    if (!a) return nullptr;
    if (count) std::memcpy(static_cast<void *>(a->values), values, size_t(count) * sizeof(void *));
    a->count = uint32_t(count);
    return a;
}

void AppendArrayDescription(CFMutableStringRef out, CFArrayRef array, int level) {
    const __CFArray *a = AsArray(array);
    if (!a) return;
    if (a->count == 0) {
        CFStringAppendCString(out, "()", kCFStringEncodingUTF8);
        return;
    }
    CFStringAppendCString(out, "(\n", kCFStringEncodingUTF8);
    for (uint32_t i = 0; i < a->count; ++i) {
        AppendIndent(out, level + 1);
        const void *value = a->values[i];
        switch (KindOf(a)) {
            case kCallBacksCFType:
                AppendElementDescription(out, value, level + 1);
                break;
            case kCallBacksCustom:
                if (CFArrayCopyDescriptionCallBack describe = CustomCallBacks(a)->copyDescription) {
                    CFRef<CFStringRef> text(describe(value));
                    if (text) {
                        CFStringAppend(out, text.get());
                        break;
                    }
                }
                AppendPointerDescription(out, value);
                break;
            default:
                AppendPointerDescription(out, value);
                break;
        }
        CFStringAppendCString(out, i + 1 < a->count ? ",\n" : "\n", kCFStringEncodingUTF8);
    }
    AppendIndent(out, level);
    CFStringAppendCString(out, ")", kCFStringEncodingUTF8);
}

bool ArrayIsMutable(CFTypeRef cf) {
    return AsMutableArray(cf) != nullptr;
}

} // namespace vt::cf

extern "C" {

const CFArrayCallBacks kCFTypeArrayCallBacks = {
    0, RetainCallBack, ReleaseCallBack, CFCopyDescription, CFEqual,
};

CFTypeID CFArrayGetTypeID(void) {
    return kTypeIDArray;
}

CFArrayRef CFArrayCreate(CFAllocatorRef allocator, const void **values, CFIndex numValues,
                         const CFArrayCallBacks *callBacks) {
    if (numValues < 0 || numValues > kMaxElements || (numValues > 0 && !values)) return nullptr;
    CallBackKind kind = KindOfCallBacks(callBacks);
    __CFArray *a = NewArray(allocator, false, kind, callBacks, numValues);
    if (a) Fill(a, values, numValues);
    return a;
}

CFArrayRef CFArrayCreateCopy(CFAllocatorRef allocator, CFArrayRef theArray) {
    const __CFArray *a = AsArray(theArray);
    if (!a) return nullptr;
    if (!IsMutable(a)) return static_cast<CFArrayRef>(CFRetain(a));
    return CopyOf(allocator, a, false, 0);
}

CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef allocator, CFIndex capacity,
                                       const CFArrayCallBacks *callBacks) {
    if (capacity < 0) return nullptr;
    __CFArray *a = NewArray(allocator, true, KindOfCallBacks(callBacks), callBacks, 0);
    // The capacity is only a hint: a failed reservation is not an error.
    constexpr CFIndex kMaxReservedHint = 1 << 16;
    if (a && capacity > 0) Reserve(a, capacity < kMaxReservedHint ? capacity : kMaxReservedHint);
    return a;
}

CFMutableArrayRef CFArrayCreateMutableCopy(CFAllocatorRef allocator, CFIndex capacity,
                                           CFArrayRef theArray) {
    const __CFArray *a = AsArray(theArray);
    if (!a || capacity < 0) return nullptr;
    return CopyOf(allocator, a, true, capacity < (1 << 16) ? capacity : 0);
}

CFIndex CFArrayGetCount(CFArrayRef theArray) {
    const __CFArray *a = AsArray(theArray);
    return a ? CFIndex(a->count) : 0;
}

CFIndex CFArrayGetCountOfValue(CFArrayRef theArray, CFRange range, const void *value) {
    const __CFArray *a = AsArray(theArray);
    if (!a || !ValidRange(range, a->count)) return 0;
    CFIndex found = 0;
    for (CFIndex i = range.location; i < range.location + range.length; ++i)
        if (ElementsEqual(a, a->values[i], value)) ++found;
    return found;
}

Boolean CFArrayContainsValue(CFArrayRef theArray, CFRange range, const void *value) {
    return CFArrayGetFirstIndexOfValue(theArray, range, value) != kCFNotFound;
}

const void *CFArrayGetValueAtIndex(CFArrayRef theArray, CFIndex idx) {
    const __CFArray *a = AsArray(theArray);
    if (!a || idx < 0 || idx >= CFIndex(a->count)) return nullptr;
    return a->values[idx];
}

void CFArrayGetValues(CFArrayRef theArray, CFRange range, const void **values) {
    const __CFArray *a = AsArray(theArray);
    if (!a || !values || !ValidRange(range, a->count) || range.length == 0) return;
    std::memcpy(values, a->values + range.location, size_t(range.length) * sizeof(void *));
}

void CFArrayApplyFunction(CFArrayRef theArray, CFRange range, CFArrayApplierFunction applier,
                          void *context) {
    const __CFArray *a = AsArray(theArray);
    if (!a || !applier || !ValidRange(range, a->count)) return;
    // Re-checked every step: the applier may edit the array.
    for (CFIndex i = range.location; i < range.location + range.length && i < CFIndex(a->count);
         ++i)
        applier(a->values[i], context);
}

CFIndex CFArrayGetFirstIndexOfValue(CFArrayRef theArray, CFRange range, const void *value) {
    const __CFArray *a = AsArray(theArray);
    if (!a || !ValidRange(range, a->count)) return kCFNotFound;
    for (CFIndex i = range.location; i < range.location + range.length; ++i)
        if (ElementsEqual(a, a->values[i], value)) return i;
    return kCFNotFound;
}

CFIndex CFArrayGetLastIndexOfValue(CFArrayRef theArray, CFRange range, const void *value) {
    const __CFArray *a = AsArray(theArray);
    if (!a || !ValidRange(range, a->count)) return kCFNotFound;
    for (CFIndex i = range.location + range.length; i-- > range.location;)
        if (ElementsEqual(a, a->values[i], value)) return i;
    return kCFNotFound;
}

void CFArrayAppendValue(CFMutableArrayRef theArray, const void *value) {
    __CFArray *a = AsMutableArray(theArray);
    if (!a || !Reserve(a, CFIndex(a->count) + 1)) return;
    a->values[a->count++] = RetainElement(a, value);
}

void CFArrayInsertValueAtIndex(CFMutableArrayRef theArray, CFIndex idx, const void *value) {
    __CFArray *a = AsMutableArray(theArray);
    if (!a || idx < 0 || idx > CFIndex(a->count) || !Reserve(a, CFIndex(a->count) + 1)) return;
    std::memmove(a->values + idx + 1, a->values + idx, size_t(a->count - idx) * sizeof(void *));
    a->values[idx] = RetainElement(a, value);
    ++a->count;
}

void CFArraySetValueAtIndex(CFMutableArrayRef theArray, CFIndex idx, const void *value) {
    __CFArray *a = AsMutableArray(theArray);
    if (!a || idx < 0 || idx > CFIndex(a->count)) return;
    if (idx == CFIndex(a->count)) {
        CFArrayAppendValue(theArray, value);
        return;
    }
    const void *old = a->values[idx];
    a->values[idx] = RetainElement(a, value);
    ReleaseElement(a, old);
}

void CFArrayRemoveValueAtIndex(CFMutableArrayRef theArray, CFIndex idx) {
    __CFArray *a = AsMutableArray(theArray);
    if (!a || idx < 0 || idx >= CFIndex(a->count)) return;
    const void *old = a->values[idx];
    std::memmove(a->values + idx, a->values + idx + 1, size_t(a->count - idx - 1) * sizeof(void *));
    --a->count;
    ReleaseElement(a, old);
}

void CFArrayRemoveAllValues(CFMutableArrayRef theArray) {
    __CFArray *a = AsMutableArray(theArray);
    if (!a) return;
    const void **values = a->values;
    uint32_t count = a->count;
    bool owned = OwnsBuffer(a);
    a->values = nullptr;
    a->count = 0;
    a->capacity = 0;
    a->header.flags &= uint8_t(~kArrayInlineValues);
    // Emptied first, so that a release callback sees a consistent array.
    for (uint32_t i = 0; i < count; ++i)
        ReleaseElement(a, values[i]);
    if (owned) std::free(values);
}

void CFArrayReplaceValues(CFMutableArrayRef theArray, CFRange range, const void **newValues,
                          CFIndex newCount) {
    __CFArray *a = AsMutableArray(theArray);
    if (!a || !ValidRange(range, a->count) || newCount < 0 || (newCount > 0 && !newValues)) return;
    Replace(a, range, newValues, newCount);
}

void CFArrayExchangeValuesAtIndices(CFMutableArrayRef theArray, CFIndex idx1, CFIndex idx2) {
    __CFArray *a = AsMutableArray(theArray);
    if (!a || idx1 < 0 || idx2 < 0 || idx1 >= CFIndex(a->count) || idx2 >= CFIndex(a->count))
        return;
    std::swap(a->values[idx1], a->values[idx2]);
}

void CFArraySortValues(CFMutableArrayRef theArray, CFRange range, CFComparatorFunction comparator,
                       void *context) {
    __CFArray *a = AsMutableArray(theArray);
    if (!a || !comparator || !ValidRange(range, a->count) || range.length < 2) return;
    // Sorted in a copy: the comparator cannot pull the storage from under us.
    size_t n = size_t(range.length);
    std::unique_ptr<const void *[]> buffer(new (std::nothrow) const void *[2 * n]);
    if (!buffer) return;
    std::memcpy(buffer.get(), a->values + range.location, n * sizeof(void *));
    MergeSort(buffer.get(), buffer.get() + n, n, comparator, context);
    if (ValidRange(range, a->count))
        std::memcpy(a->values + range.location, buffer.get(), n * sizeof(void *));
}

void CFArrayAppendArray(CFMutableArrayRef theArray, CFArrayRef otherArray, CFRange otherRange) {
    __CFArray *a = AsMutableArray(theArray);
    const __CFArray *other = AsArray(otherArray);
    if (!a || !other || !ValidRange(otherRange, other->count)) return;
    Replace(a, CFRangeMake(a->count, 0), other->values + otherRange.location, otherRange.length);
}

} // extern "C"
