// Error objects: a domain, a code and a dictionary of details.
#include "platform/values/Holder.h"
#include "platform/plist/PropertyListInternal.h"
#include "platform/values/Runtime.h"
#include "platform/strings/StringInternal.h"

#include <new>

using namespace vt::cf;

VT_CONSTANT_STRING(kCFErrorDomainCocoa, "NSCocoaErrorDomain");
VT_CONSTANT_STRING(kCFErrorDescriptionKey, "NSLocalizedDescription");
VT_CONSTANT_STRING(kCFErrorDebugDescriptionKey, "NSDebugDescription");

namespace {

extern const __VTRuntimeClass kErrorClass;

} // namespace

struct __CFError {
    ObjectHeader header;
    CFStringRef domain;
    CFIndex code;
    CFDictionaryRef userInfo; // never null

    __CFError(uint8_t allocator, CFStringRef errorDomain, CFIndex errorCode, CFDictionaryRef info)
        : header(&kErrorClass, 1, allocator), domain(errorDomain), code(errorCode), userInfo(info) {
    }
};

namespace {

const __CFError *AsError(CFTypeRef cf) {
    return As<const __CFError>(cf, kTypeIDError);
}

void FinalizeError(CFTypeRef cf) {
    auto *error = static_cast<const __CFError *>(cf);
    CFRelease(error->domain);
    CFRelease(error->userInfo);
}

bool ErrorEqual(CFTypeRef a, CFTypeRef b) {
    auto *x = static_cast<const __CFError *>(a);
    auto *y = static_cast<const __CFError *>(b);
    return x->code == y->code && CFEqual(x->domain, y->domain) && CFEqual(x->userInfo, y->userInfo);
}

CFHashCode ErrorHash(CFTypeRef cf) {
    auto *error = static_cast<const __CFError *>(cf);
    return CFHash(error->domain) ^ CFHashCode(error->code);
}

CFStringRef DescribeError(CFTypeRef cf) {
    auto *error = static_cast<const __CFError *>(cf);
    vt::CFRef<CFStringRef> description(CFErrorCopyDescription(static_cast<CFErrorRef>(cf)));
    return CFStringCreateWithFormat(kCFAllocatorSystemDefault, nullptr,
                                    CFSTR("Error Domain=%@ Code=%ld \"%@\""), error->domain,
                                    long(error->code), description.get());
}

constexpr __VTRuntimeClass kErrorClass = {
    kTypeIDError, "CFError", FinalizeError, ErrorEqual, ErrorHash, DescribeError,
};

} // namespace

namespace vt::plist {

CFErrorRef CreateError(CFIndex code, const std::string &description) {
    CFRef<CFStringRef> text(CFStringCreateWithBytes(
        kCFAllocatorSystemDefault, reinterpret_cast<const UInt8 *>(description.data()),
        CFIndex(description.size()), kCFStringEncodingUTF8, false));
    if (!text) return nullptr;
    const void *keys[] = {kCFErrorDescriptionKey};
    const void *values[] = {text.get()};
    CFRef<CFDictionaryRef> userInfo(CFDictionaryCreate(kCFAllocatorSystemDefault, keys, values, 1,
                                                       &kCFTypeDictionaryKeyCallBacks,
                                                       &kCFTypeDictionaryValueCallBacks));
    return CFErrorCreate(kCFAllocatorSystemDefault, kCFErrorDomainCocoa, code, userInfo.get());
}

} // namespace vt::plist

extern "C" {

CFTypeID CFErrorGetTypeID(void) {
    return kTypeIDError;
}

CFErrorRef CFErrorCreate(CFAllocatorRef allocator, CFStringRef domain, CFIndex code,
                         CFDictionaryRef userInfo) {
    if (!As<const void>(domain, kTypeIDString)) return nullptr;
    if (userInfo && !As<const void>(userInfo, kTypeIDDictionary)) return nullptr;
    vt::CFRef<CFStringRef> domainCopy(CFStringCreateCopy(allocator, domain));
    vt::CFRef<CFDictionaryRef> info(userInfo
                                        ? CFDictionaryCreateCopy(allocator, userInfo)
                                        : CFDictionaryCreate(allocator, nullptr, nullptr, 0,
                                                             &kCFTypeDictionaryKeyCallBacks,
                                                             &kCFTypeDictionaryValueCallBacks));
    if (!domainCopy || !info) return nullptr;
    __CFError *error = CreateObject<__CFError>(allocator, 0, domainCopy.get(), code, info.get());
    if (!error) return nullptr;
    domainCopy.Release();
    info.Release();
    return error;
}

CFStringRef CFErrorGetDomain(CFErrorRef err) {
    const __CFError *error = AsError(err);
    return error ? error->domain : nullptr;
}

CFIndex CFErrorGetCode(CFErrorRef err) {
    const __CFError *error = AsError(err);
    return error ? error->code : 0;
}

CFDictionaryRef CFErrorCopyUserInfo(CFErrorRef err) {
    const __CFError *error = AsError(err);
    return error ? static_cast<CFDictionaryRef>(CFRetain(error->userInfo)) : nullptr;
}

CFStringRef CFErrorCopyDescription(CFErrorRef err) {
    const __CFError *error = AsError(err);
    if (!error) return nullptr;
    CFTypeRef text = CFDictionaryGetValue(error->userInfo, kCFErrorDescriptionKey);
    if (As<const void>(text, kTypeIDString)) return static_cast<CFStringRef>(CFRetain(text));
    return CFStringCreateWithFormat(
        kCFAllocatorSystemDefault, nullptr,
        CFSTR("The operation couldn\u2019t be completed. (%@ error %ld.)"), error->domain,
        long(error->code));
}

} // extern "C"
