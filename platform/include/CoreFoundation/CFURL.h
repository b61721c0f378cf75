/*
 * CFURL.h: URLs and access to the files they name.
 *
 * A URL keeps its text exactly as given, percent escapes included, with an
 * optional base URL that relative texts resolve against (RFC 3986).
 */
#ifndef VANTRELL_CF_URL_H
#define VANTRELL_CF_URL_H

#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFArray.h>
#include <CoreFoundation/CFData.h>
#include <CoreFoundation/CFDictionary.h>
#include <CoreFoundation/CFString.h>

CF_EXTERN_C_BEGIN

typedef const struct __CFURL *CFURLRef;

typedef CF_ENUM(CFIndex, CFURLPathStyle){
    kCFURLPOSIXPathStyle = 0,
    /* Volume name, then the components joined by ":" (see CFURLCopyFileSystemPath). */
    kCFURLHFSPathStyle = 1,
    kCFURLWindowsPathStyle = 2,
};

CF_EXPORT CFTypeID CFURLGetTypeID(void);

/* A file URL for a POSIX path. A relative path gives a URL whose string is the
 * relative path (escaped) and whose base URL is the working directory at the
 * moment of creation. isDirectory adds a trailing "/". */
CF_EXPORT CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef allocator, CFStringRef filePath,
                                                 CFURLPathStyle pathStyle, Boolean isDirectory);
CF_EXPORT CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef allocator,
                                                           const UInt8 *buffer, CFIndex bufLen,
                                                           Boolean isDirectory);
/* A URL from RFC 3986 text kept exactly as given; NULL when the text is not a
 * valid URL reference. */
CF_EXPORT CFURLRef CFURLCreateWithString(CFAllocatorRef allocator, CFStringRef URLString,
                                         CFURLRef baseURL);
CF_EXPORT CFURLRef CFURLCopyAbsoluteURL(CFURLRef relativeURL);
/* Appends one component, percent-escaping it as a path segment; a blank
 * becomes %20. isDirectory adds a trailing "/". */
CF_EXPORT CFURLRef CFURLCreateCopyAppendingPathComponent(CFAllocatorRef allocator, CFURLRef url,
                                                         CFStringRef pathComponent,
                                                         Boolean isDirectory);
CF_EXPORT CFURLRef CFURLCreateCopyDeletingLastPathComponent(CFAllocatorRef allocator,
                                                            CFURLRef url);

/* Borrowed: the URL's own text, relative to its base when it has one. */
CF_EXPORT CFStringRef CFURLGetString(CFURLRef anURL);
/* Borrowed; NULL when the URL has no base. */
CF_EXPORT CFURLRef CFURLGetBaseURL(CFURLRef anURL);
CF_EXPORT CFStringRef CFURLCopyScheme(CFURLRef anURL);
CF_EXPORT CFStringRef CFURLCopyHostName(CFURLRef anURL);
CF_EXPORT CFStringRef CFURLCopyUserName(CFURLRef anURL);
CF_EXPORT CFStringRef CFURLCopyPassword(CFURLRef anURL);
CF_EXPORT CFStringRef CFURLCopyPath(CFURLRef anURL);
CF_EXPORT CFStringRef CFURLCopyLastPathComponent(CFURLRef url);
CF_EXPORT CFStringRef CFURLCopyPathExtension(CFURLRef url);
CF_EXPORT Boolean CFURLHasDirectoryPath(CFURLRef anURL);
/* The path with escapes decoded and no trailing "/" (POSIX style), or the
 * HFS-style form. */
CF_EXPORT CFStringRef CFURLCopyFileSystemPath(CFURLRef anURL, CFURLPathStyle pathStyle);
/* The absolute POSIX path as a NUL-terminated byte string; false when it does
 * not fit or the URL is not a file URL. */
CF_EXPORT Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean resolveAgainstBase,
                                                   UInt8 *buffer, CFIndex maxBufLen);

/* File resources. Error codes (SInt32) reported through errorCode. */
enum {
    kCFURLUnknownError = -10,
    kCFURLUnknownSchemeError = -11,
    kCFURLResourceNotFoundError = -12,
    kCFURLResourceAccessViolationError = -13,
    kCFURLRemoteHostUnavailableError = -14,
    kCFURLImproperArgumentsError = -15,
    kCFURLUnknownPropertyKeyError = -16,
    kCFURLPropertyKeyUnavailableError = -17,
    kCFURLTimeoutError = -18,
};

/* Property keys for CFURLCreatePropertyFromResource. */
CF_EXPORT const CFStringRef kCFURLFileExists;
CF_EXPORT const CFStringRef kCFURLFileDirectoryContents;
CF_EXPORT const CFStringRef kCFURLFileLength;
CF_EXPORT const CFStringRef kCFURLFileLastModificationTime;
CF_EXPORT const CFStringRef kCFURLFilePOSIXMode;

CF_EXPORT CFTypeRef CFURLCreatePropertyFromResource(CFAllocatorRef alloc, CFURLRef url,
                                                    CFStringRef property, SInt32 *errorCode);
/* Reads the whole file into *resourceData. properties/desiredProperties as
 * for CFURLCreatePropertyFromResource. */
CF_EXPORT Boolean CFURLCreateDataAndPropertiesFromResource(CFAllocatorRef alloc, CFURLRef url,
                                                           CFDataRef *resourceData,
                                                           CFDictionaryRef *properties,
                                                           CFArrayRef desiredProperties,
                                                           SInt32 *errorCode);
/* A directory URL creates that one folder (no missing parents); a file URL
 * writes the whole file. */
CF_EXPORT Boolean CFURLWriteDataAndPropertiesToResource(CFURLRef url, CFDataRef dataToWrite,
                                                        CFDictionaryRef propertiesToWrite,
                                                        SInt32 *errorCode);
CF_EXPORT Boolean CFURLDestroyResource(CFURLRef url, SInt32 *errorCode);

/* File-system references (struct FSRef is defined in CoreServices.h). */
struct FSRef;
/* False when nothing exists at the URL. */
CF_EXPORT Boolean CFURLGetFSRef(CFURLRef url, struct FSRef *fsRef);
/* A file URL for the item (a directory URL for a folder), or NULL. */
CF_EXPORT CFURLRef CFURLCreateFromFSRef(CFAllocatorRef allocator, const struct FSRef *fsRef);

CF_EXTERN_C_END

#endif /* VANTRELL_CF_URL_H */
