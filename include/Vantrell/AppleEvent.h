/*
 * AppleEvent.h: event descriptors built from values and URLs, and alias data
 * for files.
 *
 * Each descriptor builder fills the caller's descriptor, which the caller
 * then disposes of with AEDisposeDesc, and returns 0 or a status: paramErr
 * (-50) for a missing argument or a value that cannot be converted, fnfErr
 * (-43) when a file URL names no existing item, otherwise the status of
 * AECreateDesc or AECoerceDesc (ApplicationServices.h).
 */
#ifndef VANTRELL_APPLE_EVENT_H
#define VANTRELL_APPLE_EVENT_H

#include <ApplicationServices/ApplicationServices.h>
#include <CoreServices/CoreServices.h>
#include <Vantrell/Base.h>

VT_EXTERN_C_BEGIN

/* typeBoolean, one byte: 0 when value is NULL or kCFBooleanFalse, 1 for any
 * other value. */
VT_EXPORT OSStatus VTCreateDescWithCFBoolean(CFBooleanRef value, AEDesc *desc);
/* typeUTF8Text: the string's UTF-8 bytes up to its first NUL character. */
VT_EXPORT OSStatus VTCreateUTF8DescWithCFString(CFStringRef string, AEDesc *desc);
/* typeFSRef: the 80-byte FSRef of the existing file or folder. */
VT_EXPORT OSStatus VTCreateFSRefDescWithFileURL(CFURLRef url, AEDesc *desc);
/* typeUTF8Text of the URL's string as stored (relative for a relative URL). */
VT_EXPORT OSStatus VTCreateUTF8TextDescWithURL(CFURLRef url, AEDesc *desc);
/* typeUTF8Text of the URL's POSIX path (percent escapes decoded). */
VT_EXPORT OSStatus VTCreatePOSIXPathDescWithURL(CFURLRef url, AEDesc *desc);
/* typeAlias, coerced from the typeFSRef descriptor of the file URL. */
VT_EXPORT OSStatus VTCreateAliasDescWithFileURL(CFURLRef url, AEDesc *desc);

/* Alias data: an alias record (CoreServices.h) as a data value, which the
 * caller releases. NULL when the reference is invalid or its item is gone,
 * when the URL is missing, not a "file" URL or names no existing item, or on
 * any other failure. */
VT_EXPORT CFDataRef VTAliasDataCreateWithFSSpec(CFAllocatorRef allocator, const FSRef *ref);
VT_EXPORT CFDataRef VTAliasDataCreateWithFileURL(CFAllocatorRef allocator, CFURLRef url);
/* A new file URL of the alias data's item (the caller releases it), or NULL.
 * On failure stores, when outError is given, a record with the status as
 * code and the description "VTAliasDataCopyURL:: problem.": -50 for missing
 * data, -109 when no handle could be allocated, fnfErr (-43) when the item is
 * gone or replaced, nsvErr (-35) for data that are not an alias record. */
VT_EXPORT CFURLRef VTAliasDataCopyURL(CFAllocatorRef allocator, CFDataRef aliasData,
                                      CFMutableDictionaryRef *outError);

VT_EXTERN_C_END

#endif /* VANTRELL_APPLE_EVENT_H */
