// Alias data: an alias record held in a data value, so that a property list
// can store it and resolve it later.
#include <Vantrell/AppleEvent.h>
#include <Vantrell/Errors.h>
#include <Vantrell/Utilities.h>

#include "platform/values/Holder.h"
#include "platform/values/Cast.h"

#include <cstring>

using vt::CFRef;

extern "C" {

CFDataRef VTAliasDataCreateWithFSSpec(CFAllocatorRef allocator, const FSRef *ref) {
    if (!FSIsFSRefValid(ref)) return nullptr;
    AliasHandle alias = nullptr;
    if (FSNewAlias(nullptr, ref, &alias) != noErr) return nullptr;
    CFDataRef data = CFDataCreate(allocator, reinterpret_cast<const UInt8 *>(*alias),
                                  CFIndex(GetAliasSize(alias)));
    DisposeHandle(reinterpret_cast<Handle>(alias));
    return data;
}

CFDataRef VTAliasDataCreateWithFileURL(CFAllocatorRef allocator, CFURLRef url) {
    if (!vt::cf::Cast<CFURLRef>(url)) return nullptr;
    CFRef<CFStringRef> scheme(CFURLCopyScheme(url));
    if (!scheme || !CFEqual(scheme.get(), kVTURLSchemeFile)) return nullptr;
    FSRef ref;
    if (!CFURLGetFSRef(url, &ref)) return nullptr;
    return VTAliasDataCreateWithFSSpec(allocator, &ref);
}

CFURLRef VTAliasDataCopyURL(CFAllocatorRef allocator, CFDataRef aliasData,
                            CFMutableDictionaryRef *outError) {
    OSStatus status = paramErr;
    CFURLRef url = nullptr;
    if (vt::cf::Cast<CFDataRef>(aliasData)) {
        Handle h = NewHandle(CFDataGetLength(aliasData));
        if (!h) {
            status = nilHandleErr;
        } else {
            if (CFIndex length = CFDataGetLength(aliasData); length > 0)
                std::memcpy(*h, CFDataGetBytePtr(aliasData), size_t(length));
            FSRef target;
            Boolean wasChanged = false;
            status =
                FSResolveAlias(nullptr, reinterpret_cast<AliasHandle>(h), &target, &wasChanged);
            if (status == noErr) url = CFURLCreateFromFSRef(allocator, &target);
            DisposeHandle(h);
        }
    }
    if (status != noErr && outError) {
        CFRef<CFNumberRef> code(VTU_NumberCreateWithCFIndex(allocator, CFIndex(status)));
        *outError = VTErrorCreate(allocator, kVTErrorDomainOSStatus, code.get(),
                                  CFSTR("%s:: problem."), "VTAliasDataCopyURL");
    }
    return url;
}

} // extern "C"
