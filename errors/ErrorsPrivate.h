// Error display for operations that have no record to hand back, and the
// records and hand-over the table subsystems share.
#pragma once

#include <Vantrell/Errors.h>

extern "C" {

// Builds a record with the allocator (the code becomes a number made with it;
// the format, expanded with the arguments, becomes the description verbatim),
// writes it to standard error and discards it.
void VTErrorPrivate_ShowIf(CFAllocatorRef allocator, CFStringRef domain, CFIndex code,
                           const char *format, ...) __attribute__((format(printf, 4, 5)));
}

namespace vt::errors {

// The keys of an error record.
CFStringRef KeyDomain();
CFStringRef KeyCode();
CFStringRef KeyDescription();

// Hands a new record to the caller through the optional error out-argument,
// or releases it when the caller gave none. A NULL record leaves the
// out-argument untouched.
inline void HandBack(CFMutableDictionaryRef record, CFMutableDictionaryRef *outError) {
    if (!record) return;
    if (outError)
        *outError = record;
    else
        CFRelease(record);
}

// "NAME: Can't find container." (code -4960): the table, record or entry an
// operation works on is not there.
inline CFMutableDictionaryRef CreateCantFindContainer(CFAllocatorRef allocator, const char *name) {
    return VTErrorCreateCoreFormat(allocator, CFSTR("%s: Can't find container."), name);
}

// "NAME: Out of memory." (code -4960): a value the operation needed could not
// be made; what the operation had changed before is undone or left
// consistent.
inline CFMutableDictionaryRef CreateOutOfMemory(CFAllocatorRef allocator, const char *name) {
    return VTErrorCreateCoreFormat(allocator, CFSTR("%s: Out of memory."), name);
}

// "NAME:: Value is not a property-list type." (code -50): a setter was given
// a value the XML document cannot hold.
inline CFMutableDictionaryRef CreateNotStorable(CFAllocatorRef allocator, const char *name) {
    return VTErrorCreate(allocator, kVTErrorDomainOSStatus, VTErrorGetParamErr(),
                         CFSTR("%s:: Value is not a property-list type."), name);
}

} // namespace vt::errors
