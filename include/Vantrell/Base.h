/*
 * Base.h: what every Vantrell header shares.
 */
#ifndef VANTRELL_BASE_H
#define VANTRELL_BASE_H

#include <CoreFoundation/CoreFoundation.h>

#if defined(__cplusplus)
#define VT_EXTERN_C_BEGIN extern "C" {
#define VT_EXTERN_C_END }
#else
#define VT_EXTERN_C_BEGIN
#define VT_EXTERN_C_END
#endif

#define VT_EXPORT extern __attribute__((visibility("default")))

VT_EXTERN_C_BEGIN

/* The framework's copyright notice. */
VT_EXPORT const CFStringRef kVTCopyrightString;

VT_EXTERN_C_END

#endif /* VANTRELL_BASE_H */
