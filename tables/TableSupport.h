// Small helpers the three table files share.
#pragma once

#include <Vantrell/Errors.h>

#include "platform/values/Cast.h"
#include "platform/values/Holder.h"

namespace vt::tables {

// Hands a record to the caller through the out-argument, or releases it when
// the caller gave none. A NULL record leaves the out-argument untouched.
inline void HandBack(CFMutableDictionaryRef record, CFMutableDictionaryRef *outError) {
    if (!record) return;
    if (outError)
        *outError = record;
    else
        CFRelease(record);
}

// The text a URL is stored and looked up by: its own text, or, for a URL made
// relative to a base, the text of its absolute URL, so that two URLs naming
// the same place through different bases share one entry. NULL for a
// missing value or one that is no URL.
inline CFRef<CFStringRef> CopyURLText(CFURLRef url) {
    if (!cf::Cast<CFURLRef>(url)) return {};
    if (!CFURLGetBaseURL(url)) return CFRef<CFStringRef>::Retain(CFURLGetString(url));
    CFRef<CFURLRef> absolute(CFURLCopyAbsoluteURL(url));
    return CFRef<CFStringRef>::Retain(absolute ? CFURLGetString(absolute.get()) : nullptr);
}

// A record with code -50 saying that the setter `name` was given a value
// that the document cannot hold.
inline CFMutableDictionaryRef CreateNotStorableError(CFAllocatorRef allocator, const char *name) {
    return VTErrorCreate(allocator, kVTErrorDomainOSStatus, VTErrorGetParamErr(),
                         CFSTR("%s:: Value is not a property-list type."), name);
}

} // namespace vt::tables
