/*
 * Errors.h: error records.
 *
 * An error record is a mutable dictionary with "domain" (a string), "code"
 * (a number) and, when a text was given, "description" (a string). Every
 * record handed to the caller, whether returned or stored through an error
 * out-argument, belongs to the caller, who releases it.
 *
 * Allocators: every constructor makes the record and its description with
 * the allocator it is given (NULL: the default allocator). The domain and a
 * caller's code are retained as given, not copied. The shared code numbers
 * (-50 and -4960) are made once, with kCFAllocatorMalloc, and live as long as
 * the process; every record with one of these codes holds the shared number.
 * A domain that is not a string, or a code that is not a number, counts as
 * none given.
 */
#ifndef VANTRELL_ERRORS_H
#define VANTRELL_ERRORS_H

#include <Vantrell/Base.h>

VT_EXTERN_C_BEGIN

/* "ErrorDomainOSStatus": the domain of every record the framework builds. */
VT_EXPORT const CFStringRef kVTErrorDomainOSStatus;
/* "ErrorDomainPOSIX": for records a host builds around errno values. */
VT_EXPORT const CFStringRef kVTErrorDomainPOSIX;

/* A new record (the caller releases it): domain (NULL: "ErrorDomainOSStatus"),
 * code (NULL: the shared core-error number -4960) and, when format is given
 * and expands, the description it expands to with the arguments (printf
 * conversions plus %@). Returns NULL when the record cannot be made. */
VT_EXPORT CFMutableDictionaryRef VTErrorCreate(CFAllocatorRef allocator, CFStringRef domain,
                                               CFNumberRef code, CFStringRef format, ...);
/* A new record (the caller releases it), or NULL: code -50, description
 * "Required input parameter is NULL.". */
VT_EXPORT CFMutableDictionaryRef VTErrorCreateNULLParam(CFAllocatorRef allocator);
/* A new record (the caller releases it), or NULL: code -50, description
 * "NAME:: Required input parameter is NULL.". */
VT_EXPORT CFMutableDictionaryRef VTErrorCreateNULLParamFormat(CFAllocatorRef allocator,
                                                              const char *name);
/* A new record (the caller releases it), or NULL: code -4960 with the text
 * as the description, taken verbatim. */
VT_EXPORT CFMutableDictionaryRef VTErrorCreateCore(CFAllocatorRef allocator, CFStringRef text);
/* A new record (the caller releases it), or NULL: code -4960 with the
 * format's one "%s" replaced by name; a format with any other conversion is
 * kept verbatim. */
VT_EXPORT CFMutableDictionaryRef VTErrorCreateCoreFormat(CFAllocatorRef allocator,
                                                         CFStringRef format, const char *name);

/* The shared parameter-error (-50) and core-error (-4960) numbers. Borrowed:
 * they live as long as the process. */
VT_EXPORT CFNumberRef VTErrorGetParamErr(void);
VT_EXPORT CFNumberRef VTErrorGetCoreErr(void);

/* The record's "code" number, "domain" string and "description" string,
 * borrowed from the record; NULL when absent, of another type, or when no
 * record is given. */
VT_EXPORT CFNumberRef VTErrorGetNumber(CFDictionaryRef error);
VT_EXPORT CFStringRef VTErrorGetDomain(CFDictionaryRef error);
VT_EXPORT CFStringRef VTErrorGetDescription(CFDictionaryRef error);
/* The record's code read as a CFIndex, or -2727 when there is no record or
 * no code number. */
VT_EXPORT CFIndex VTU_ErrorGetCode(CFDictionaryRef error);

/* A new number of type kCFNumberCFIndexType (the caller releases it), or NULL. */
VT_EXPORT CFNumberRef VTU_NumberCreateWithCFIndex(CFAllocatorRef allocator, CFIndex value);
/* The number read as a CFIndex; 0 when no number is given. A failure is
 * displayed on standard error; a number that is not integral or out of range
 * gives its nearest conversion. */
VT_EXPORT CFIndex VTU_NumberGetCFIndexValue(CFNumberRef number);

/* Returns nothing; writes the heading (when given, expanded with its
 * arguments) and the record's domain, number and description to standard
 * error. A NULL record writes nothing. */
VT_EXPORT void VTErrorShow(CFDictionaryRef error, CFStringRef headingFormat, ...);

/* Writes to standard error, without adding a line break: a string value is a
 * format expanded with the arguments (printf conversions plus %@); any other
 * value writes its description. A NULL value writes
 * "VTU_ShowType:: NULL parameter 'theFormat'" and a line break. */
VT_EXPORT void VTU_ShowType(CFTypeRef theFormat, ...);

VT_EXTERN_C_END

#endif /* VANTRELL_ERRORS_H */
