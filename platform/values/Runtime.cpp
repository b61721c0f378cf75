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

constexpr __VTRuntimeClass kAllocatorClass = {
    kTypeIDAllocator, "CFAllocator", nullptr, IdentityEqual, PointerHash, DescribeByName,
};

struct __CFAllocatorObject {
    ObjectHeader header;
};

constinit const __CFAllocatorObject gSystemDefault{{&kAllocatorClass, kImmortal}};
constinit const __CFAllocatorObject gMalloc{{&kAllocatorClass, kImmortal}};
constinit const __CFAllocatorObject gNull{{&kAllocatorClass, kImmortal}};

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
const CFNullRef kCFNull = reinterpret_cast<CFNullRef>(&gNullObject);

CFTypeID CFAllocatorGetTypeID(void) {
    return kTypeIDAllocator;
}
CFAllocatorRef CFAllocatorGetDefault(void) {
    return kCFAllocatorSystemDefault;
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
    std::free(header);
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
    return kAllocatorDefault;
}

CFHashCode PointerHash(CFTypeRef cf) {
    auto bits = reinterpret_cast<uintptr_t>(cf);
    return CFHashCode((bits >> 4) * 0x9E3779B97F4A7C15ull);
}

} // namespace vt::cf
