// Dictionaries: an insertion-ordered entry table with an open-addressing index.
//
// The table is one block: key/value pairs, then each entry's cached 32-bit
// hash, then the index, whose slots hold entry numbers + 1 (0: empty, all
// ones: deleted) in 1, 2 or 4 bytes depending on the capacity. A removed
// entry stays in place, marked by kRemovedHash, until the table is rebuilt,
// so enumeration follows insertion order without any linked list. The index
// always has more slots than the table has entries, so probing terminates.
//
// Custom callbacks are copied right after the object; an immutable
// dictionary's table follows them in the same allocation.
#include "platform/values/CollectionInternal.h"
#include "platform/values/Holder.h"

#include <bit>
#include <cstring>

using namespace vt::cf;

namespace {

enum DictionaryFlags : uint8_t {
    kDictMutable = 1,
    kDictInlineTable = 2,
    kDictKeyKindShift = 2,   // two bits of CallBackKind
    kDictValueKindShift = 4, // two bits of CallBackKind
};

} // namespace

struct __CFDictionary {
    ObjectHeader header;
    uint32_t count;    // live entries
    uint32_t used;     // entries filled, removed ones included
    uint32_t capacity; // entries the table holds
    uint8_t indexLog2; // the index has 1 << indexLog2 slots
    void *table;

    __CFDictionary(uint8_t allocator, const __VTRuntimeClass *cls, uint8_t flags)
        : header(cls, 1, allocator, flags), count(0), used(0), capacity(0), indexLog2(0),
          table(nullptr) {}
};
static_assert(sizeof(__CFDictionary) == 40);

namespace {

struct Pair {
    const void *key;
    const void *value;
};

struct CustomCallBacks {
    CFDictionaryKeyCallBacks keys;
    CFDictionaryValueCallBacks values;
};

constexpr uint32_t kRemovedHash = 0xffffffffu;
constexpr uint32_t kMaxCapacity = uint32_t(kMaxElements);

CallBackKind KeyKind(const __CFDictionary *d) {
    return CallBackKind((d->header.flags >> kDictKeyKindShift) & 3);
}
CallBackKind ValueKind(const __CFDictionary *d) {
    return CallBackKind((d->header.flags >> kDictValueKindShift) & 3);
}
bool IsMutable(const __CFDictionary *d) {
    return d->header.flags & kDictMutable;
}
bool HasCustom(const __CFDictionary *d) {
    return KeyKind(d) == kCallBacksCustom || ValueKind(d) == kCallBacksCustom;
}
const CustomCallBacks *Custom(const __CFDictionary *d) {
    return reinterpret_cast<const CustomCallBacks *>(d + 1);
}

// Table layout.
size_t SlotWidth(uint32_t capacity) {
    return capacity < 0xff ? 1 : capacity < 0xffff ? 2 : 4;
}
uint8_t IndexLog2For(uint32_t capacity) {
    uint64_t needed = uint64_t(capacity) + capacity / 2 + 1;
    return uint8_t(std::bit_width(needed - 1));
}
size_t TableBytes(uint32_t capacity, uint8_t log2) {
    return size_t(capacity) * (sizeof(Pair) + sizeof(uint32_t)) +
           (size_t(1) << log2) * SlotWidth(capacity);
}

// One table's parts, found from its base, capacity and index size.
struct Table {
    Pair *pairs;
    uint32_t *hashes;
    void *index;
    size_t width;
    size_t mask;

    Table(void *base, uint32_t capacity, uint8_t log2)
        : pairs(static_cast<Pair *>(base)), hashes(reinterpret_cast<uint32_t *>(pairs + capacity)),
          index(hashes + capacity), width(SlotWidth(capacity)), mask((size_t(1) << log2) - 1) {}
    explicit Table(const __CFDictionary *d) : Table(d->table, d->capacity, d->indexLog2) {}

    uint32_t Get(size_t i) const {
        switch (width) {
            case 1:
                return static_cast<const uint8_t *>(index)[i];
            case 2:
                return static_cast<const uint16_t *>(index)[i];
            default:
                return static_cast<const uint32_t *>(index)[i];
        }
    }
    void Set(size_t i, uint32_t v) const {
        switch (width) {
            case 1:
                static_cast<uint8_t *>(index)[i] = uint8_t(v);
                break;
            case 2:
                static_cast<uint16_t *>(index)[i] = uint16_t(v);
                break;
            default:
                static_cast<uint32_t *>(index)[i] = v;
                break;
        }
    }
    uint32_t Deleted() const { return width == 1 ? 0xffu : width == 2 ? 0xffffu : 0xffffffffu; }
    size_t FreeSlot(uint32_t hash) const {
        size_t i = hash & mask;
        while (Get(i) != 0)
            i = (i + 1) & mask;
        return i;
    }
};

// Keys and values by callback kind.

uint32_t MixHash(CFHashCode h) {
    auto mixed = uint32_t((uint64_t(h) * 0x9E3779B97F4A7C15ull) >> 32);
    return mixed == kRemovedHash ? kRemovedHash - 1 : mixed;
}

uint32_t HashKey(const __CFDictionary *d, const void *key) {
    switch (KeyKind(d)) {
        case kCallBacksCFType:
        case kCallBacksCopyString:
            return MixHash(CFHash(key));
        case kCallBacksNull:
            return MixHash(PointerHash(key));
        case kCallBacksCustom:
            break;
    }
    CFDictionaryHashCallBack hash = Custom(d)->keys.hash;
    return MixHash(hash ? hash(key) : PointerHash(key));
}

bool KeysEqual(const __CFDictionary *d, const void *stored, const void *key) {
    if (stored == key) return true;
    switch (KeyKind(d)) {
        case kCallBacksCFType:
        case kCallBacksCopyString:
            return CFEqual(stored, key);
        case kCallBacksNull:
            return false;
        case kCallBacksCustom:
            break;
    }
    CFDictionaryEqualCallBack equal = Custom(d)->keys.equal;
    return equal && equal(stored, key);
}

bool ValuesEqual(const __CFDictionary *d, const void *x, const void *y) {
    if (x == y) return true;
    switch (ValueKind(d)) {
        case kCallBacksCFType:
            return CFEqual(x, y);
        case kCallBacksCustom: {
            CFDictionaryEqualCallBack equal = Custom(d)->values.equal;
            return equal && equal(x, y);
        }
        default:
            return false;
    }
}

const void *CopyStringKeyRetain(CFAllocatorRef allocator, const void *key) {
    if (TypeOf(key) == kTypeIDString)
        return CFStringCreateCopy(allocator, static_cast<CFStringRef>(key));
    return CFRetain(key);
}

// Returns the key to store, or NULL when copying a string key failed.
const void *RetainKey(const __CFDictionary *d, const void *key) {
    switch (KeyKind(d)) {
        case kCallBacksCFType:
            return CFRetain(key);
        case kCallBacksCopyString:
            return CopyStringKeyRetain(CFGetAllocator(d), key);
        case kCallBacksNull:
            return key;
        case kCallBacksCustom:
            break;
    }
    CFDictionaryRetainCallBack retain = Custom(d)->keys.retain;
    return retain ? retain(CFGetAllocator(d), key) : key;
}

const void *RetainValue(const __CFDictionary *d, const void *value) {
    switch (ValueKind(d)) {
        case kCallBacksCFType:
            return CFRetain(value);
        case kCallBacksCustom: {
            CFDictionaryRetainCallBack retain = Custom(d)->values.retain;
            return retain ? retain(CFGetAllocator(d), value) : value;
        }
        default:
            return value;
    }
}

void ReleaseKey(const __CFDictionary *d, const void *key) {
    switch (KeyKind(d)) {
        case kCallBacksCFType:
        case kCallBacksCopyString:
            ReleaseValue(key);
            break;
        case kCallBacksCustom:
            if (CFDictionaryReleaseCallBack release = Custom(d)->keys.release)
                release(CFGetAllocator(d), key);
            break;
        default:
            break;
    }
}

void ReleaseDictValue(const __CFDictionary *d, const void *value) {
    switch (ValueKind(d)) {
        case kCallBacksCFType:
            ReleaseValue(value);
            break;
        case kCallBacksCustom:
            if (CFDictionaryReleaseCallBack release = Custom(d)->values.release)
                release(CFGetAllocator(d), value);
            break;
        default:
            break;
    }
}

// Looks the key up. Returns its entry number or -1; *slot receives the index
// slot that holds it or, when absent, the slot a new entry should take.
int64_t Find(const __CFDictionary *d, const void *key, uint32_t hash, size_t *slot) {
    if (!d->table) return -1;
    Table t(d);
    const uint32_t deleted = t.Deleted();
    size_t free = SIZE_MAX;
    for (size_t i = hash & t.mask;; i = (i + 1) & t.mask) {
        uint32_t s = t.Get(i);
        if (s == 0) {
            *slot = free != SIZE_MAX ? free : i;
            return -1;
        }
        if (s == deleted) {
            if (free == SIZE_MAX) free = i;
        } else if (t.hashes[s - 1] == hash && KeysEqual(d, t.pairs[s - 1].key, key)) {
            *slot = i;
            return int64_t(s - 1);
        }
    }
}

// Moves the live entries, in order, into a fresh table of `capacity` entries
// (at least count) and rebuilds the index from the cached hashes.
bool Rebuild(__CFDictionary *d, uint32_t capacity) {
    uint8_t log2 = IndexLog2For(capacity);
    void *base = std::calloc(1, TableBytes(capacity, log2));
    if (!base) return false;
    Table to(base, capacity, log2);
    uint32_t n = 0;
    if (d->table) {
        Table from(d);
        for (uint32_t e = 0; e < d->used; ++e) {
            if (from.hashes[e] == kRemovedHash) continue;
            to.pairs[n] = from.pairs[e];
            to.hashes[n] = from.hashes[e];
            to.Set(to.FreeSlot(from.hashes[e]), n + 1);
            ++n;
        }
    }
    if (!(d->header.flags & kDictInlineTable)) std::free(d->table);
    d->table = base;
    d->capacity = capacity;
    d->indexLog2 = log2;
    d->used = n;
    d->header.flags &= uint8_t(~kDictInlineTable);
    return true;
}

// Makes room for one more entry.
bool Grow(__CFDictionary *d) {
    if (d->used < d->capacity) return true;
    uint32_t holes = d->used - d->count;
    uint32_t capacity = d->capacity;
    // Compacting in place pays only when removals left enough holes.
    if (capacity == 0)
        capacity = 4;
    else if (holes == 0 || holes < capacity / 4)
        capacity = capacity > kMaxCapacity / 2 ? kMaxCapacity : capacity * 2;
    return capacity > d->count && Rebuild(d, capacity);
}

// Appends an entry for a key known to be absent, at the given index slot.
void AppendEntry(__CFDictionary *d, size_t slot, const void *key, const void *value,
                 uint32_t hash) {
    Table t(d);
    uint32_t e = d->used++;
    t.pairs[e] = {key, value};
    t.hashes[e] = hash;
    t.Set(slot, e + 1);
    ++d->count;
}

enum class Mode { Add, Set, Replace };

void Store(__CFDictionary *d, const void *key, const void *value, Mode mode) {
    uint32_t hash = HashKey(d, key);
    size_t slot = 0;
    int64_t e = Find(d, key, hash, &slot);
    if (e >= 0) {
        if (mode == Mode::Add) return;
        Pair &pair = Table(d).pairs[e];
        const void *old = pair.value;
        pair.value = RetainValue(d, value);
        ReleaseDictValue(d, old);
        return;
    }
    if (mode == Mode::Replace) return;
    if (d->used == d->capacity) {
        if (!Grow(d)) return;
        slot = Table(d).FreeSlot(hash);
    }
    const void *stored = RetainKey(d, key);
    if (key && !stored) return;
    AppendEntry(d, slot, stored, RetainValue(d, value), hash);
}

void Clear(__CFDictionary *d) {
    void *table = d->table;
    uint32_t used = d->used;
    Table t(d);
    d->table = nullptr;
    d->count = d->used = d->capacity = 0;
    d->indexLog2 = 0;
    // Emptied first, so that a release callback sees a consistent dictionary.
    for (uint32_t e = 0; e < used; ++e) {
        if (t.hashes[e] == kRemovedHash) continue;
        ReleaseKey(d, t.pairs[e].key);
        ReleaseDictValue(d, t.pairs[e].value);
    }
    if (!(d->header.flags & kDictInlineTable)) std::free(table);
}

void DictionaryFinalize(CFTypeRef cf) {
    Clear(static_cast<__CFDictionary *>(const_cast<void *>(cf)));
}

bool DictionaryEqual(CFTypeRef x, CFTypeRef y) {
    const auto *a = static_cast<const __CFDictionary *>(x);
    const auto *b = static_cast<const __CFDictionary *>(y);
    if (a->count != b->count) return false;
    Table ta(a);
    for (uint32_t e = 0; e < a->used; ++e) {
        if (ta.hashes[e] == kRemovedHash) continue;
        const Pair &pair = ta.pairs[e];
        size_t slot;
        int64_t found = Find(b, pair.key, HashKey(b, pair.key), &slot);
        if (found < 0 || !ValuesEqual(a, pair.value, Table(b).pairs[found].value)) return false;
    }
    return true;
}

CFHashCode DictionaryHash(CFTypeRef cf) {
    return static_cast<const __CFDictionary *>(cf)->count;
}

CFStringRef DictionaryDescription(CFTypeRef cf) {
    CFMutableStringRef out = CFStringCreateMutable(kCFAllocatorSystemDefault, 0);
    if (out) AppendDictionaryDescription(out, static_cast<CFDictionaryRef>(cf), 0);
    return out;
}

constexpr __VTRuntimeClass kDictionaryClass = {
    kTypeIDDictionary, "CFDictionary", DictionaryFinalize,
    DictionaryEqual,   DictionaryHash, DictionaryDescription,
};

__CFDictionary *AsDict(CFTypeRef cf) {
    return As<__CFDictionary>(cf, kTypeIDDictionary);
}

__CFDictionary *AsMutableDict(CFTypeRef cf) {
    __CFDictionary *d = AsDict(cf);
    return d && IsMutable(d) ? d : nullptr;
}

CallBackKind KindOfKeyCallBacks(const CFDictionaryKeyCallBacks *cb) {
    if (!cb) return kCallBacksNull;
    auto same = [cb](const CFDictionaryKeyCallBacks &t) {
        return cb == &t || (cb->retain == t.retain && cb->release == t.release &&
                            cb->copyDescription == t.copyDescription && cb->equal == t.equal &&
                            cb->hash == t.hash);
    };
    if (same(kCFTypeDictionaryKeyCallBacks)) return kCallBacksCFType;
    if (same(kCFCopyStringDictionaryKeyCallBacks)) return kCallBacksCopyString;
    if (!cb->retain && !cb->release && !cb->copyDescription && !cb->equal && !cb->hash)
        return kCallBacksNull;
    return kCallBacksCustom;
}

CallBackKind KindOfValueCallBacks(const CFDictionaryValueCallBacks *cb) {
    if (!cb) return kCallBacksNull;
    const CFDictionaryValueCallBacks &t = kCFTypeDictionaryValueCallBacks;
    if (cb == &t || (cb->retain == t.retain && cb->release == t.release &&
                     cb->copyDescription == t.copyDescription && cb->equal == t.equal))
        return kCallBacksCFType;
    if (!cb->retain && !cb->release && !cb->copyDescription && !cb->equal) return kCallBacksNull;
    return kCallBacksCustom;
}

// A new empty dictionary. An immutable one gets an inline table for
// `inlineCapacity` entries; a mutable one starts without a table unless
// `mutableInline` asks for one, which it leaves for a malloc'd table when it
// first grows.
__CFDictionary *NewDictionary(CFAllocatorRef allocator, bool isMutable, CallBackKind keyKind,
                              CallBackKind valueKind, const CustomCallBacks &custom,
                              uint32_t inlineCapacity, bool mutableInline = false) {
    bool hasCustom = keyKind == kCallBacksCustom || valueKind == kCallBacksCustom;
    size_t customSize = hasCustom ? sizeof(CustomCallBacks) : 0;
    uint8_t log2 = IndexLog2For(inlineCapacity);
    size_t tableSize =
        (isMutable && !mutableInline) || inlineCapacity == 0 ? 0 : TableBytes(inlineCapacity, log2);
    auto flags = uint8_t((isMutable ? kDictMutable : 0) | (tableSize ? kDictInlineTable : 0) |
                         keyKind << kDictKeyKindShift | valueKind << kDictValueKindShift);
    auto *d =
        CreateObject<__CFDictionary>(allocator, customSize + tableSize, &kDictionaryClass, flags);
    if (!d) return nullptr;
    if (hasCustom) std::memcpy(static_cast<void *>(d + 1), &custom, sizeof custom);
    if (tableSize) {
        d->table = reinterpret_cast<char *>(d + 1) + customSize;
        std::memset(d->table, 0, tableSize);
        d->capacity = inlineCapacity;
        d->indexLog2 = log2;
    }
    return d;
}

__CFDictionary *CopyOf(CFAllocatorRef allocator, const __CFDictionary *source, bool isMutable,
                       CFIndex capacityHint) {
    CustomCallBacks custom{};
    if (HasCustom(source)) custom = *Custom(source);
    __CFDictionary *d = NewDictionary(allocator, isMutable, KeyKind(source), ValueKind(source),
                                      custom, isMutable ? 0 : source->count);
    if (!d) return nullptr;
    uint32_t capacity = source->count;
    if (capacityHint > CFIndex(capacity)) capacity = uint32_t(capacityHint);
    if (isMutable && capacity > 0 && !Rebuild(d, capacity)) {
        CFRelease(d);
        return nullptr;
    }
    if (source->count == 0) return d;
    // The keys are distinct already: no comparisons, and the cached hashes
    // carry over.
    Table from(source);
    for (uint32_t e = 0; e < source->used; ++e) {
        uint32_t hash = from.hashes[e];
        if (hash == kRemovedHash) continue;
        const void *key = RetainKey(d, from.pairs[e].key);
        if (from.pairs[e].key && !key) continue;
        AppendEntry(d, Table(d).FreeSlot(hash), key, RetainValue(d, from.pairs[e].value), hash);
    }
    return d;
}

void AppendValueDescription(CFMutableStringRef out, const __CFDictionary *d, const void *value,
                            bool isKey, int level) {
    CallBackKind kind = isKey ? KeyKind(d) : ValueKind(d);
    if (kind == kCallBacksCFType || kind == kCallBacksCopyString) {
        AppendElementDescription(out, value, level);
        return;
    }
    if (kind == kCallBacksCustom) {
        CFDictionaryCopyDescriptionCallBack describe =
            isKey ? Custom(d)->keys.copyDescription : Custom(d)->values.copyDescription;
        if (describe) {
            vt::CFRef<CFStringRef> text(describe(value));
            if (text) {
                CFStringAppend(out, text.get());
                return;
            }
        }
    }
    AppendPointerDescription(out, value);
}

} // namespace

namespace vt::cf {

void AppendDictionaryDescription(CFMutableStringRef out, CFDictionaryRef dict, int level) {
    const __CFDictionary *d = AsDict(dict);
    if (!d) return;
    if (d->count == 0) {
        CFStringAppendCString(out, "{}", kCFStringEncodingUTF8);
        return;
    }
    CFStringAppendCString(out, "{\n", kCFStringEncodingUTF8);
    Table t(d);
    for (uint32_t e = 0; e < d->used; ++e) {
        if (t.hashes[e] == kRemovedHash) continue;
        const Pair &pair = t.pairs[e];
        AppendIndent(out, level + 1);
        AppendValueDescription(out, d, pair.key, true, level + 1);
        CFStringAppendCString(out, " = ", kCFStringEncodingUTF8);
        AppendValueDescription(out, d, pair.value, false, level + 1);
        CFStringAppendCString(out, ";\n", kCFStringEncodingUTF8);
    }
    AppendIndent(out, level);
    CFStringAppendCString(out, "}", kCFStringEncodingUTF8);
}

bool DictionaryIsMutable(CFTypeRef cf) {
    return AsMutableDict(cf) != nullptr;
}

CFDictionaryRef DictionaryCreateAdopting(CFAllocatorRef allocator, const void *const *items,
                                         CFIndex pairs, bool isMutable,
                                         const CFHashCode *keyHashes) {
    if (pairs < 0 || pairs > kMaxElements || (pairs > 0 && !items)) return nullptr;
    // A mutable one too gets its table in the same allocation: a document
    // holds tens of thousands of small dictionaries, and most never change.
    __CFDictionary *d = NewDictionary(allocator, isMutable, kCallBacksCFType, kCallBacksCFType,
                                      CustomCallBacks{}, uint32_t(pairs), true);
    if (!d) return nullptr;
    for (CFIndex i = 0; i < pairs; ++i) {
        const void *key = items[2 * i], *value = items[2 * i + 1];
        uint32_t hash = keyHashes ? MixHash(keyHashes[i]) : HashKey(d, key);
        size_t slot = 0;
        int64_t e = Find(d, key, hash, &slot);
        if (e >= 0) {
            Pair &pair = Table(d).pairs[e];
            ReleaseValue(pair.value);
            pair.value = value;
            ReleaseValue(key);
        } else {
            AppendEntry(d, slot, key, value, hash);
        }
    }
    return d;
}

} // namespace vt::cf

extern "C" {

const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks = {
    0, RetainCallBack, ReleaseCallBack, CFCopyDescription, CFEqual, CFHash,
};
const CFDictionaryKeyCallBacks kCFCopyStringDictionaryKeyCallBacks = {
    0, CopyStringKeyRetain, ReleaseCallBack, CFCopyDescription, CFEqual, CFHash,
};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks = {
    0, RetainCallBack, ReleaseCallBack, CFCopyDescription, CFEqual,
};

CFTypeID CFDictionaryGetTypeID(void) {
    return kTypeIDDictionary;
}

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef allocator, const void **keys, const void **values,
                                   CFIndex numValues, const CFDictionaryKeyCallBacks *keyCallBacks,
                                   const CFDictionaryValueCallBacks *valueCallBacks) {
    if (numValues < 0 || numValues > kMaxElements || (numValues > 0 && (!keys || !values)))
        return nullptr;
    CallBackKind keyKind = KindOfKeyCallBacks(keyCallBacks);
    CallBackKind valueKind = KindOfValueCallBacks(valueCallBacks);
    CustomCallBacks custom{};
    if (keyKind == kCallBacksCustom) custom.keys = *keyCallBacks;
    if (valueKind == kCallBacksCustom) custom.values = *valueCallBacks;
    __CFDictionary *d =
        NewDictionary(allocator, false, keyKind, valueKind, custom, uint32_t(numValues));
    if (!d) return nullptr;
    // A repeated key keeps its first place and takes its last value.
    for (CFIndex i = 0; i < numValues; ++i)
        Store(d, keys[i], values[i], Mode::Set);
    return d;
}

CFDictionaryRef CFDictionaryCreateCopy(CFAllocatorRef allocator, CFDictionaryRef theDict) {
    const __CFDictionary *d = AsDict(theDict);
    if (!d) return nullptr;
    if (!IsMutable(d)) return static_cast<CFDictionaryRef>(CFRetain(d));
    return CopyOf(allocator, d, false, 0);
}

CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef allocator, CFIndex capacity,
                                                 const CFDictionaryKeyCallBacks *keyCallBacks,
                                                 const CFDictionaryValueCallBacks *valueCallBacks) {
    if (capacity < 0) return nullptr;
    CallBackKind keyKind = KindOfKeyCallBacks(keyCallBacks);
    CallBackKind valueKind = KindOfValueCallBacks(valueCallBacks);
    CustomCallBacks custom{};
    if (keyKind == kCallBacksCustom) custom.keys = *keyCallBacks;
    if (valueKind == kCallBacksCustom) custom.values = *valueCallBacks;
    __CFDictionary *d = NewDictionary(allocator, true, keyKind, valueKind, custom, 0);
    // The capacity is only a hint: a failed reservation is not an error.
    constexpr CFIndex kMaxReservedHint = 1 << 16;
    if (d && capacity > 0)
        Rebuild(d, uint32_t(capacity < kMaxReservedHint ? capacity : kMaxReservedHint));
    return d;
}

CFMutableDictionaryRef CFDictionaryCreateMutableCopy(CFAllocatorRef allocator, CFIndex capacity,
                                                     CFDictionaryRef theDict) {
    const __CFDictionary *d = AsDict(theDict);
    if (!d || capacity < 0) return nullptr;
    return CopyOf(allocator, d, true, capacity < (1 << 16) ? capacity : 0);
}

CFIndex CFDictionaryGetCount(CFDictionaryRef theDict) {
    const __CFDictionary *d = AsDict(theDict);
    return d ? CFIndex(d->count) : 0;
}

CFIndex CFDictionaryGetCountOfKey(CFDictionaryRef theDict, const void *key) {
    return CFDictionaryContainsKey(theDict, key) ? 1 : 0;
}

CFIndex CFDictionaryGetCountOfValue(CFDictionaryRef theDict, const void *value) {
    const __CFDictionary *d = AsDict(theDict);
    if (!d) return 0;
    CFIndex found = 0;
    Table t(d);
    for (uint32_t e = 0; e < d->used; ++e)
        if (t.hashes[e] != kRemovedHash && ValuesEqual(d, t.pairs[e].value, value)) ++found;
    return found;
}

Boolean CFDictionaryContainsKey(CFDictionaryRef theDict, const void *key) {
    return CFDictionaryGetValueIfPresent(theDict, key, nullptr);
}

Boolean CFDictionaryContainsValue(CFDictionaryRef theDict, const void *value) {
    const __CFDictionary *d = AsDict(theDict);
    if (!d) return false;
    Table t(d);
    for (uint32_t e = 0; e < d->used; ++e)
        if (t.hashes[e] != kRemovedHash && ValuesEqual(d, t.pairs[e].value, value)) return true;
    return false;
}

const void *CFDictionaryGetValue(CFDictionaryRef theDict, const void *key) {
    const void *value = nullptr;
    return CFDictionaryGetValueIfPresent(theDict, key, &value) ? value : nullptr;
}

Boolean CFDictionaryGetValueIfPresent(CFDictionaryRef theDict, const void *key,
                                      const void **value) {
    const __CFDictionary *d = AsDict(theDict);
    if (!d || d->count == 0) return false;
    size_t slot;
    int64_t e = Find(d, key, HashKey(d, key), &slot);
    if (e < 0) return false;
    if (value) *value = Table(d).pairs[e].value;
    return true;
}

void CFDictionaryGetKeysAndValues(CFDictionaryRef theDict, const void **keys, const void **values) {
    const __CFDictionary *d = AsDict(theDict);
    if (!d) return;
    Table t(d);
    for (uint32_t e = 0, n = 0; e < d->used; ++e) {
        if (t.hashes[e] == kRemovedHash) continue;
        if (keys) keys[n] = t.pairs[e].key;
        if (values) values[n] = t.pairs[e].value;
        ++n;
    }
}

void CFDictionaryApplyFunction(CFDictionaryRef theDict, CFDictionaryApplierFunction applier,
                               void *context) {
    const __CFDictionary *d = AsDict(theDict);
    if (!d || !applier) return;
    // Re-read every step: the applier may edit the dictionary.
    for (uint32_t e = 0; e < d->used; ++e) {
        Table t(d);
        if (t.hashes[e] == kRemovedHash) continue;
        Pair pair = t.pairs[e];
        applier(pair.key, pair.value, context);
    }
}

void CFDictionaryAddValue(CFMutableDictionaryRef theDict, const void *key, const void *value) {
    if (__CFDictionary *d = AsMutableDict(theDict)) Store(d, key, value, Mode::Add);
}

void CFDictionarySetValue(CFMutableDictionaryRef theDict, const void *key, const void *value) {
    if (__CFDictionary *d = AsMutableDict(theDict)) Store(d, key, value, Mode::Set);
}

void CFDictionaryReplaceValue(CFMutableDictionaryRef theDict, const void *key, const void *value) {
    if (__CFDictionary *d = AsMutableDict(theDict)) Store(d, key, value, Mode::Replace);
}

void CFDictionaryRemoveValue(CFMutableDictionaryRef theDict, const void *key) {
    __CFDictionary *d = AsMutableDict(theDict);
    if (!d || d->count == 0) return;
    size_t slot;
    int64_t e = Find(d, key, HashKey(d, key), &slot);
    if (e < 0) return;
    Table t(d);
    Pair pair = t.pairs[e];
    t.pairs[e] = {nullptr, nullptr};
    t.hashes[e] = kRemovedHash;
    t.Set(slot, t.Deleted());
    if (--d->count == 0) {
        // Nothing left: start the table afresh instead of keeping tombstones.
        std::memset(d->table, 0, TableBytes(d->capacity, d->indexLog2));
        d->used = 0;
    }
    ReleaseKey(d, pair.key);
    ReleaseDictValue(d, pair.value);
}

void CFDictionaryRemoveAllValues(CFMutableDictionaryRef theDict) {
    if (__CFDictionary *d = AsMutableDict(theDict)) Clear(d);
}

} // extern "C"
