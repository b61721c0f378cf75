// UUIDs: sixteen bytes, random ones from libuuid.
#include "platform/values/Runtime.h"

#include <cstring>

#include <uuid/uuid.h>

using namespace vt::cf;

struct __CFUUID {
    ObjectHeader header;
    CFUUIDBytes bytes;

    __CFUUID(uint8_t allocator, const __VTRuntimeClass *cls, const CFUUIDBytes &b)
        : header(cls, 1, allocator), bytes(b) {}
};

namespace {

static_assert(sizeof(CFUUIDBytes) == 16);

// 8-4-4-4-12 hex digits; the dashes sit at these offsets.
constexpr size_t kTextLength = 36;
constexpr bool IsDash(size_t i) {
    return i == 8 || i == 13 || i == 18 || i == 23;
}

void Format(const CFUUIDBytes &bytes, char *text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const auto *b = reinterpret_cast<const UInt8 *>(&bytes);
    for (size_t i = 0, byte = 0; i < kTextLength; ++i) {
        if (IsDash(i)) {
            text[i] = '-';
            continue;
        }
        text[i] = kHex[b[byte] >> 4];
        text[++i] = kHex[b[byte++] & 15];
    }
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool Parse(const char *text, CFUUIDBytes *bytes) {
    auto *b = reinterpret_cast<UInt8 *>(bytes);
    for (size_t i = 0, byte = 0; i < kTextLength; ++i) {
        if (IsDash(i)) {
            if (text[i] != '-') return false;
            continue;
        }
        int high = HexValue(text[i]);
        int low = HexValue(text[++i]);
        if (high < 0 || low < 0) return false;
        b[byte++] = UInt8(high << 4 | low);
    }
    return true;
}

bool UUIDEqual(CFTypeRef a, CFTypeRef b) {
    return std::memcmp(&static_cast<const __CFUUID *>(a)->bytes,
                       &static_cast<const __CFUUID *>(b)->bytes, sizeof(CFUUIDBytes)) == 0;
}

CFHashCode UUIDHash(CFTypeRef cf) {
    uint64_t halves[2];
    std::memcpy(halves, &static_cast<const __CFUUID *>(cf)->bytes, sizeof halves);
    return CFHashCode(halves[0] ^ (halves[1] * 0x9E3779B97F4A7C15ull));
}

CFStringRef UUIDDescription(CFTypeRef cf) {
    return CFUUIDCreateString(kCFAllocatorSystemDefault, static_cast<CFUUIDRef>(cf));
}

constexpr __VTRuntimeClass kUUIDClass = {
    kTypeIDUUID, "CFUUID", nullptr, UUIDEqual, UUIDHash, UUIDDescription,
};

const __CFUUID *AsUUID(CFTypeRef cf) {
    return As<const __CFUUID>(cf, kTypeIDUUID);
}

} // namespace

extern "C" {

CFTypeID CFUUIDGetTypeID(void) {
    return kTypeIDUUID;
}

CFUUIDRef CFUUIDCreate(CFAllocatorRef alloc) {
    uuid_t raw;
    uuid_generate_random(raw);
    CFUUIDBytes bytes;
    std::memcpy(&bytes, raw, sizeof bytes);
    return CreateObject<__CFUUID>(alloc, 0, &kUUIDClass, bytes);
}

CFUUIDRef CFUUIDCreateFromUUIDBytes(CFAllocatorRef alloc, CFUUIDBytes bytes) {
    return CreateObject<__CFUUID>(alloc, 0, &kUUIDClass, bytes);
}

CFUUIDRef CFUUIDCreateFromString(CFAllocatorRef alloc, CFStringRef uuidStr) {
    if (!As<const void>(uuidStr, kTypeIDString) ||
        CFStringGetLength(uuidStr) != CFIndex(kTextLength))
        return nullptr;
    char text[kTextLength + 1];
    CFUUIDBytes bytes;
    if (!CFStringGetCString(uuidStr, text, sizeof text, kCFStringEncodingASCII) ||
        !Parse(text, &bytes))
        return nullptr;
    return CreateObject<__CFUUID>(alloc, 0, &kUUIDClass, bytes);
}

CFStringRef CFUUIDCreateString(CFAllocatorRef alloc, CFUUIDRef uuid) {
    const __CFUUID *u = AsUUID(uuid);
    if (!u) return nullptr;
    char text[kTextLength];
    Format(u->bytes, text);
    return CFStringCreateWithBytes(alloc, reinterpret_cast<UInt8 *>(text), CFIndex(kTextLength),
                                   kCFStringEncodingASCII, false);
}

CFUUIDBytes CFUUIDGetUUIDBytes(CFUUIDRef uuid) {
    const __CFUUID *u = AsUUID(uuid);
    return u ? u->bytes : CFUUIDBytes{};
}

} // extern "C"
