// The object runtime: retain counts, type dispatch, allocators and the null
// object.
#include "platform/values/Runtime.h"
#include "platform/values/Holder.h"

#include <cstdio>
#include <string>

using namespace vt::cf;

namespace {

CFStringRef DescribeByName(CFTypeRef cf) {
    return CFStringCreateWithFormat(kCFAllocatorSystemDefault, nullptr, CFSTR("<%s %p>"),
                                    Header(cf)->isa->name, cf);
}

bool IdentityEqual(CFTypeRef a, CFTypeRef b) {
    return a == b;
}

void *MallocAllocate(CFIndex size, CFOptionFlags, void *) {
    return std::malloc(size_t(size));
}
void *MallocReallocate(void *ptr, CFIndex size, CFOptionFlags, void *) {
    return std::realloc(ptr, size_t(size));
}
void MallocDeallocate(void *ptr, void *) {
    std::free(ptr);
}
void *NullAllocate(CFIndex, CFOptionFlags, void *) {
    return nullptr;
}
void *NullReallocate(void *, CFIndex, CFOptionFlags, void *) {
    return nullptr;
}
void NullDeallocate(void *, void *) {}

struct __CFAllocatorObject {
    ObjectHeader header;
    CFAllocatorContext context;

    constexpr __CFAllocatorObject(const __VTRuntimeClass *cls, uint32_t count, uint8_t kind,
                                  const CFAllocatorContext &ctx)
        : header(cls, count, kind), context(ctx) {}
    __CFAllocatorObject(uint8_t kind, const __VTRuntimeClass *cls, const CFAllocatorContext &ctx)
        : header(cls, 1, kind), context(ctx) {}
};

void AllocatorFinalize(CFTypeRef cf) {
    const auto *a = static_cast<const __CFAllocatorObject *>(cf);
    // An allocator living in its own memory releases its info after that
    // memory is given back (FreeObject).
    if (a->header.allocator != kAllocatorSelf && a->context.release)
        a->context.release(a->context.info);
}

CFStringRef DescribeAllocator(CFTypeRef cf) {
    const auto *a = static_cast<const __CFAllocatorObject *>(cf);
    if (a->context.copyDescription)
        if (CFStringRef text = a->context.copyDescription(a->context.info)) return text;
    return DescribeByName(cf);
}

constexpr __VTRuntimeClass kAllocatorClass = {
    kTypeIDAllocator, "CFAllocator", AllocatorFinalize,
    IdentityEqual,    PointerHash,   DescribeAllocator,
};

constexpr CFAllocatorContext kMallocContext = {
    0,       nullptr, nullptr, nullptr, nullptr, MallocAllocate, MallocReallocate, MallocDeallocate,
    nullptr,
};
constexpr CFAllocatorContext kNullContext = {
    0, nullptr, nullptr, nullptr, nullptr, NullAllocate, NullReallocate, NullDeallocate, nullptr,
};

constinit const __CFAllocatorObject gSystemDefault{&kAllocatorClass, kImmortal, 0, kMallocContext};
constinit const __CFAllocatorObject gMalloc{&kAllocatorClass, kImmortal, 0, kMallocContext};
constinit const __CFAllocatorObject gNull{&kAllocatorClass, kImmortal, 0, kNullContext};
constinit const __CFAllocatorObject gUseContext{&kAllocatorClass, kImmortal, 0, kMallocContext};

// The allocator object behind a reference; NULL (the default) is the system
// default, and anything that is not an allocator is refused.
const __CFAllocatorObject *AllocatorObject(CFAllocatorRef allocator) {
    if (!allocator) return &gSystemDefault;
    return As<const __CFAllocatorObject>(allocator, kTypeIDAllocator);
}

bool IsPredefined(CFAllocatorRef allocator) {
    return !allocator || allocator == kCFAllocatorSystemDefault ||
           allocator == kCFAllocatorMalloc || allocator == kCFAllocatorNull ||
           allocator == kCFAllocatorUseContext;
}

AllocationPrefix *PrefixOf(void *object) {
    return reinterpret_cast<AllocationPrefix *>(static_cast<char *>(object) -
                                                sizeof(AllocationPrefix));
}

CFStringRef DescribeNull(CFTypeRef) {
    return CFSTR("<null>");
}

constexpr __VTRuntimeClass kNullClass = {
    kTypeIDNull, "CFNull", nullptr, IdentityEqual, PointerHash, DescribeNull,
};
constinit const ObjectHeader gNullObject{&kNullClass, kImmortal};

} // namespace

extern "C" {

const CFAllocatorRef kCFAllocatorDefault = nullptr;
const CFAllocatorRef kCFAllocatorSystemDefault = reinterpret_cast<CFAllocatorRef>(&gSystemDefault);
const CFAllocatorRef kCFAllocatorMalloc = reinterpret_cast<CFAllocatorRef>(&gMalloc);
const CFAllocatorRef kCFAllocatorNull = reinterpret_cast<CFAllocatorRef>(&gNull);
const CFAllocatorRef kCFAllocatorUseContext = reinterpret_cast<CFAllocatorRef>(&gUseContext);
const CFNullRef kCFNull = reinterpret_cast<CFNullRef>(&gNullObject);

CFTypeID CFAllocatorGetTypeID(void) {
    return kTypeIDAllocator;
}
CFAllocatorRef CFAllocatorGetDefault(void) {
    return kCFAllocatorSystemDefault;
}

CFAllocatorRef CFAllocatorCreate(CFAllocatorRef allocator, CFAllocatorContext *context) {
    if (!context || context->version != 0 || !context->allocate) return nullptr;
    CFAllocatorContext kept = *context;
    if (kept.retain) kept.info = const_cast<void *>(kept.retain(kept.info));
    __CFAllocatorObject *made = nullptr;
    if (allocator == kCFAllocatorUseContext) {
        void *memory = kept.allocate(CFIndex(sizeof(__CFAllocatorObject)), 0, kept.info);
        if (memory) made = new (memory) __CFAllocatorObject(kAllocatorSelf, &kAllocatorClass, kept);
    } else {
        made = CreateObject<__CFAllocatorObject>(allocator, 0, &kAllocatorClass, kept);
    }
    if (!made && kept.release) kept.release(kept.info);
    return reinterpret_cast<CFAllocatorRef>(made);
}

void *CFAllocatorAllocate(CFAllocatorRef allocator, CFIndex size, CFOptionFlags hint) {
    const __CFAllocatorObject *a = AllocatorObject(allocator);
    if (!a || size <= 0) return nullptr;
    return a->context.allocate(size, hint, a->context.info);
}

void *CFAllocatorReallocate(CFAllocatorRef allocator, void *ptr, CFIndex newsize,
                            CFOptionFlags hint) {
    const __CFAllocatorObject *a = AllocatorObject(allocator);
    if (!a || newsize < 0) return nullptr;
    if (!ptr) return newsize > 0 ? a->context.allocate(newsize, hint, a->context.info) : nullptr;
    if (newsize == 0) {
        if (a->context.deallocate) a->context.deallocate(ptr, a->context.info);
        return nullptr;
    }
    if (!a->context.reallocate) return nullptr;
    return a->context.reallocate(ptr, newsize, hint, a->context.info);
}

void CFAllocatorDeallocate(CFAllocatorRef allocator, void *ptr) {
    const __CFAllocatorObject *a = AllocatorObject(allocator);
    if (a && ptr && a->context.deallocate) a->context.deallocate(ptr, a->context.info);
}

CFIndex CFAllocatorGetPreferredSizeForSize(CFAllocatorRef allocator, CFIndex size,
                                           CFOptionFlags hint) {
    const __CFAllocatorObject *a = AllocatorObject(allocator);
    if (!a || size <= 0) return 0;
    if (!a->context.preferredSize) return size;
    CFIndex preferred = a->context.preferredSize(size, hint, a->context.info);
    return preferred > size ? preferred : size;
}

void CFAllocatorGetContext(CFAllocatorRef allocator, CFAllocatorContext *context) {
    const __CFAllocatorObject *a = AllocatorObject(allocator);
    if (!a || !context || context->version != 0) return;
    *context = a->context;
}
CFTypeID CFNullGetTypeID(void) {
    return kTypeIDNull;
}

CFTypeID CFGetTypeID(CFTypeRef cf) {
    return TypeOf(cf);
}

CFTypeRef CFRetain(CFTypeRef cf) {
    if (!cf) return nullptr;
    auto *header = const_cast<ObjectHeader *>(Header(cf));
    if (header->rc.load(std::memory_order_relaxed) != kImmortal)
        header->rc.fetch_add(1, std::memory_order_relaxed);
    return cf;
}

void CFRelease(CFTypeRef cf) {
    if (!cf) return;
    auto *header = const_cast<ObjectHeader *>(Header(cf));
    if (header->rc.load(std::memory_order_relaxed) == kImmortal) return;
    if (header->rc.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    if (header->isa->finalize) header->isa->finalize(cf);
    FreeObjectMemory(header, header->allocator);
}

CFIndex CFGetRetainCount(CFTypeRef cf) {
    if (!cf) return 0;
    uint32_t count = Header(cf)->rc.load(std::memory_order_relaxed);
    return count == kImmortal ? CFIndex(INT64_MAX) : CFIndex(count);
}

Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2) {
    if (cf1 == cf2) return cf1 != nullptr;
    if (!cf1 || !cf2) return false;
    const __VTRuntimeClass *cls = Header(cf1)->isa;
    if (cls->typeID != Header(cf2)->isa->typeID) return false;
    return cls->equal ? cls->equal(cf1, cf2) : false;
}

CFHashCode CFHash(CFTypeRef cf) {
    if (!cf) return 0;
    const __VTRuntimeClass *cls = Header(cf)->isa;
    return cls->hash ? cls->hash(cf) : PointerHash(cf);
}

CFStringRef CFCopyDescription(CFTypeRef cf) {
    if (!cf) return nullptr;
    const __VTRuntimeClass *cls = Header(cf)->isa;
    return cls->copyDescription ? cls->copyDescription(cf) : DescribeByName(cf);
}

CFAllocatorRef CFGetAllocator(CFTypeRef cf) {
    if (!cf) return kCFAllocatorSystemDefault;
    switch (Header(cf)->allocator) {
        case kAllocatorCustom:
            return PrefixOf(const_cast<void *>(cf))->allocator;
        case kAllocatorSelf:
            return static_cast<CFAllocatorRef>(cf);
        case kAllocatorMalloc:
            return kCFAllocatorMalloc;
        case kAllocatorNull:
            return kCFAllocatorNull;
        default:
            return kCFAllocatorSystemDefault;
    }
}

void CFShow(CFTypeRef obj) {
    vt::CFRef<CFStringRef> description(obj ? CFCopyDescription(obj) : nullptr);
    std::string text = "(null)";
    if (description) {
        CFStringRef str = description.get();
        CFIndex length = CFStringGetLength(str);
        CFIndex size = CFStringGetMaximumSizeForEncoding(length, kCFStringEncodingUTF8) + 1;
        text.assign(size_t(size), '\0');
        CFIndex used = 0;
        CFStringGetBytes(str, CFRangeMake(0, length), kCFStringEncodingUTF8, '?', false,
                         reinterpret_cast<UInt8 *>(text.data()), size, &used);
        text.resize(size_t(used));
    }
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), stderr);
}

CFStringRef CFCopyTypeIDDescription(CFTypeID type_id) {
    static constexpr std::pair<CFTypeID, const char *> kNames[] = {
        {kTypeIDAllocator, "CFAllocator"}, {kTypeIDNull, "CFNull"},
        {kTypeIDString, "CFString"},       {kTypeIDDictionary, "CFDictionary"},
        {kTypeIDArray, "CFArray"},         {kTypeIDData, "CFData"},
        {kTypeIDBoolean, "CFBoolean"},     {kTypeIDNumber, "CFNumber"},
        {kTypeIDUUID, "CFUUID"},           {kTypeIDURL, "CFURL"},
        {kTypeIDBundle, "CFBundle"},       {kTypeIDError, "CFError"},
        {kTypeIDDate, "CFDate"},
    };
    for (const auto &[id, name] : kNames)
        if (id == type_id)
            return CFStringCreateWithCString(kCFAllocatorSystemDefault, name,
                                             kCFStringEncodingUTF8);
    return nullptr;
}

} // extern "C"

namespace vt::cf {

uint8_t AllocatorKindOf(CFAllocatorRef allocator) {
    if (allocator == kCFAllocatorMalloc) return kAllocatorMalloc;
    if (allocator == kCFAllocatorSystemDefault) return kAllocatorSystemDefault;
    if (allocator == kCFAllocatorNull) return kAllocatorNull;
    if (!IsPredefined(allocator) && AllocatorObject(allocator)) return kAllocatorCustom;
    return kAllocatorDefault;
}

void *AllocateObjectMemory(CFAllocatorRef allocator, size_t size, uint8_t *kind) {
    *kind = AllocatorKindOf(allocator);
    if (*kind != kAllocatorCustom) return std::malloc(size);
    if (size > size_t(INT64_MAX) - sizeof(AllocationPrefix)) return nullptr;
    const __CFAllocatorObject *a = AllocatorObject(allocator);
    void *block = a->context.allocate(CFIndex(size + sizeof(AllocationPrefix)), 0, a->context.info);
    if (!block) return nullptr;
    auto *prefix = new (block) AllocationPrefix{static_cast<CFAllocatorRef>(CFRetain(allocator))};
    return prefix + 1;
}

void FreeObjectMemory(void *memory, uint8_t kind) {
    switch (kind) {
        case kAllocatorCustom: {
            AllocationPrefix *prefix = PrefixOf(memory);
            CFAllocatorRef allocator = prefix->allocator;
            const CFAllocatorContext &context = AllocatorObject(allocator)->context;
            if (context.deallocate) context.deallocate(prefix, context.info);
            CFRelease(allocator);
            return;
        }
        case kAllocatorSelf: {
            CFAllocatorContext context = static_cast<__CFAllocatorObject *>(memory)->context;
            if (context.deallocate) context.deallocate(memory, context.info);
            if (context.release) context.release(context.info);
            return;
        }
        default:
            std::free(memory);
    }
}

CFHashCode PointerHash(CFTypeRef cf) {
    auto bits = reinterpret_cast<uintptr_t>(cf);
    return CFHashCode((bits >> 4) * 0x9E3779B97F4A7C15ull);
}

} // namespace vt::cf
