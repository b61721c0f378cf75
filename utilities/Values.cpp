// Value helpers: one-level copies, suffix trimming, MD5-derived IDs and array
// membership.
#include "utilities/UtilitiesPrivate.h"

#include <Vantrell/Errors.h>

#include "platform/values/Cast.h"
#include "platform/values/Guard.h"
#include "platform/values/Holder.h"
#include "platform/values/Runtime.h"

#include <openssl/evp.h>

#include <vector>

using vt::CFRef;

namespace {

CFTypeRef CopyNumber(CFAllocatorRef allocator, CFNumberRef number, bool &failed) {
    // Read in the number's own type, so the copy keeps type and value exactly.
    CFNumberType type = CFNumberGetType(number);
    alignas(16) unsigned char value[16] = {};
    if (CFNumberGetByteSize(number) > CFIndex(sizeof value) ||
        !CFNumberGetValue(number, type, value)) {
        failed = true;
        return nullptr;
    }
    return CFNumberCreate(allocator, type, value);
}

} // namespace

extern "C" {

CFTypeRef VTU_CopyType(CFAllocatorRef allocator, CFTypeRef value,
                       CFMutableDictionaryRef *outError) {
    CFRef<CFMutableDictionaryRef> error;
    CFTypeRef copy = nullptr;
    switch (vt::cf::TypeOf(value)) {
        case 0:
            error.Reset(VTErrorCreateNULLParam(allocator));
            break;
        case vt::cf::kTypeIDString:
            copy = CFStringCreateMutableCopy(allocator, 0, vt::cf::Cast<CFStringRef>(value));
            break;
        case vt::cf::kTypeIDBoolean:
            // The shared values are immortal, so handing one out as a "copy" is safe.
            if (value == kCFBooleanTrue || value == kCFBooleanFalse) copy = value;
            break;
        case vt::cf::kTypeIDNumber: {
            bool failed = false;
            copy = CopyNumber(allocator, vt::cf::Cast<CFNumberRef>(value), failed);
            if (failed)
                error.Reset(VTErrorCreateCoreFormat(allocator, CFSTR("%s:: Can't copy number."),
                                                    "VTU_CopyType"));
            break;
        }
        case vt::cf::kTypeIDData:
            copy = CFDataCreateMutableCopy(allocator, 0, vt::cf::Cast<CFDataRef>(value));
            break;
        case vt::cf::kTypeIDDate:
            copy = CFDateCreate(allocator, CFDateGetAbsoluteTime(vt::cf::Cast<CFDateRef>(value)));
            break;
        case vt::cf::kTypeIDArray:
            copy = CFArrayCreateMutableCopy(allocator, 0, vt::cf::Cast<CFArrayRef>(value));
            break;
        case vt::cf::kTypeIDDictionary:
            copy =
                CFDictionaryCreateMutableCopy(allocator, 0, vt::cf::Cast<CFDictionaryRef>(value));
            break;
        default:
            error.Reset(VTErrorCreateCoreFormat(allocator, CFSTR("%s:: Not a property list type."),
                                                "VTU_CopyType"));
            break;
    }
    if (error && outError) *outError = error.Release();
    return copy;
}

CFMutableStringRef VTU_StringCreateMutableCopyTrimmingSuffix(CFAllocatorRef allocator,
                                                             CFStringRef string,
                                                             CFStringRef suffix) {
    if (!vt::cf::Cast<CFStringRef>(string) || !vt::cf::Cast<CFStringRef>(suffix)) return nullptr;
    CFMutableStringRef copy = CFStringCreateMutableCopy(allocator, 0, string);
    if (!copy) return nullptr;
    CFIndex length = CFStringGetLength(copy);
    CFIndex suffixLength = CFStringGetLength(suffix);
    if (suffixLength > 0 && suffixLength <= length && CFStringHasSuffix(copy, suffix))
        CFStringDelete(copy, CFRangeMake(length - suffixLength, suffixLength));
    return copy;
}

CFStringRef VTU_StringCreateHashedWithMD5(CFAllocatorRef allocator, CFStringRef string) {
    if (!vt::cf::Cast<CFStringRef>(string)) return nullptr;
    CFRange whole = CFRangeMake(0, CFStringGetLength(string));
    CFIndex byteCount = 0;
    if (CFStringGetBytes(string, whole, kCFStringEncodingUTF8, '?', false, nullptr, 0,
                         &byteCount) == 0)
        return nullptr;
    return vt::Guard<CFStringRef>(nullptr, [&]() -> CFStringRef {
        std::vector<UInt8> bytes(static_cast<size_t>(byteCount));
        if (CFStringGetBytes(string, whole, kCFStringEncodingUTF8, '?', false, bytes.data(),
                             byteCount, &byteCount) == 0)
            return nullptr;
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int digestLength = 0;
        if (!EVP_Digest(bytes.data(), size_t(byteCount), digest, &digestLength, EVP_md5(),
                        nullptr) ||
            digestLength != 16)
            return nullptr;
        static constexpr char kHex[] = "0123456789abcdef";
        UInt8 text[32];
        for (unsigned i = 0; i < 16; ++i) {
            text[2 * i] = UInt8(kHex[digest[i] >> 4]);
            text[2 * i + 1] = UInt8(kHex[digest[i] & 15]);
        }
        return CFStringCreateWithBytes(allocator, text, sizeof text, kCFStringEncodingUTF8, false);
    });
}

Boolean VTU_ArrayContainsValue(CFArrayRef array, CFTypeRef value) {
    if (!vt::cf::Cast<CFArrayRef>(array) || !value) return false;
    return CFArrayContainsValue(array, CFRangeMake(0, CFArrayGetCount(array)), value);
}

} // extern "C"
