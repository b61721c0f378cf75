// Error display for operations that have no record to hand back.
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

} // namespace vt::errors
