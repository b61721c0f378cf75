// Exported constant strings for the subsystems, without the string storage
// layout that StringInternal.h brings.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

// Defines an exported constant string, statically initialised:
//   VT_CONSTANT_STRING(kVTErrorDomainOSStatus, "ErrorDomainOSStatus")
// at namespace scope gives `extern "C" const CFStringRef kVTErrorDomainOSStatus`.
#define VT_CONSTANT_STRING(name, text)                                                             \
    static constinit const __VTConstantString name##VTConstantObject =                             \
        __VT_CONSTANT_STRING_INIT(text);                                                           \
    extern "C" __attribute__((visibility("default"))) const CFStringRef name =                     \
        reinterpret_cast<CFStringRef>(&name##VTConstantObject)
