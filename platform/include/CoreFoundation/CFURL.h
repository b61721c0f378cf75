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

typedef CF_ENUM(CFIndex, CFURLPathStyle) {
    kCFURLPOSIXPathStyle = 0,
    /* Volume name, then the components joined by ":" (see CFURLCopyFileSystemPath). */
    kCFURLHFSPathStyle = 1,
    kCFURLWindowsPathStyle = 2,
};

CF_EXPORT CFTypeID CFURLGetTypeID(void);

/* A file URL for a POSIX path: "file:///abs/path", the path's UTF-8 bytes
 * percent-escaped (letters, digits, "-._~" and "/" kept, everything else %XX in
 * uppercase hex). A relative path gives a URL whose string is the relative path
 * (escaped) and whose base URL is the working directory at the moment of
 * creation. isDirectory adds a trailing "/"; without it a trailing "/" is
 * dropped (except for the root). Only kCFURLPOSIXPathStyle is accepted; NULL
 * for other styles and for an empty path. */
CF_EXPORT CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef allocator, CFStringRef filePath,
                                                 CFURLPathStyle pathStyle, Boolean isDirectory);
CF_EXPORT CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef allocator,
                                                           const UInt8 *buffer, CFIndex bufLen,
                                                           Boolean isDirectory);
/* A URL from RFC 3986 text kept exactly as given; NULL when the text is not a
 * valid URL reference (a blank, a bare "%", a non-ASCII character, a second
 * "#", a colon in a relative reference's first segment). The base is kept only
 * for a relative reference: a text with a scheme is absolute. */
CF_EXPORT CFURLRef CFURLCreateWithString(CFAllocatorRef allocator, CFStringRef URLString,
                                         CFURLRef baseURL);
/* The URL resolved against its base (RFC 3986, section 5.2, dot segments
 * removed); the URL itself, retained, when it has no base. */
CF_EXPORT CFURLRef CFURLCopyAbsoluteURL(CFURLRef relativeURL);
/* Appends one component to the URL's own path (before any query or fragment),
 * percent-escaping it as a path segment as above: a blank becomes %20 and "/"
 * becomes %2F. isDirectory adds a trailing "/". The base is kept. */
CF_EXPORT CFURLRef CFURLCreateCopyAppendingPathComponent(CFAllocatorRef allocator, CFURLRef url,
                                                         CFStringRef pathComponent,
                                                         Boolean isDirectory);
/* "/a/b/c" and "/a/b/c/" give "/a/b/"; a relative "c" gives "./" and ".."
 * gives "../../"; the root and an empty path stay as they are. */
CF_EXPORT CFURLRef CFURLCreateCopyDeletingLastPathComponent(CFAllocatorRef allocator, CFURLRef url);

/* Borrowed: the URL's own text, relative to its base when it has one. */
CF_EXPORT CFStringRef CFURLGetString(CFURLRef anURL);
/* Borrowed; NULL when the URL has no base. */
CF_EXPORT CFURLRef CFURLGetBaseURL(CFURLRef anURL);
/* The parts of the URL; a relative URL without a scheme (or without an
 * authority) answers with its base's. Host, user and password are decoded,
 * an IP literal's brackets removed; NULL when the part is absent or the host
 * empty. */
CF_EXPORT CFStringRef CFURLCopyScheme(CFURLRef anURL);
CF_EXPORT CFStringRef CFURLCopyHostName(CFURLRef anURL);
CF_EXPORT CFStringRef CFURLCopyUserName(CFURLRef anURL);
CF_EXPORT CFStringRef CFURLCopyPassword(CFURLRef anURL);
/* The URL's own path, escapes kept, not resolved against the base. */
CF_EXPORT CFStringRef CFURLCopyPath(CFURLRef anURL);
/* Decoded, without a trailing "/"; "/" for the root. A URL with an empty path
 * answers for its resolved path. */
CF_EXPORT CFStringRef CFURLCopyLastPathComponent(CFURLRef url);
/* The text after the last "." of the last component; NULL when there is none
 * or the "." starts or ends the name. */
CF_EXPORT CFStringRef CFURLCopyPathExtension(CFURLRef url);
CF_EXPORT Boolean CFURLHasDirectoryPath(CFURLRef anURL);
/* The path of the URL resolved against its base, escapes decoded.
 * kCFURLPOSIXPathStyle: no trailing "/" except for the root.
 * kCFURLHFSPathStyle: the root volume named "Root", then the decoded
 * components joined by ":", ending in ":" for a directory URL; ":" and "/"
 * swap inside names: "/home/a b/c" gives "Root:home:a b:c", "/tmp/" gives
 * "Root:tmp:", "/" gives "Root:", "/x/a:b" gives "Root:x:a/b". A relative path
 * without a base starts with ":". NULL for other styles, for escapes that are
 * not UTF-8 and for a path holding a NUL. */
CF_EXPORT CFStringRef CFURLCopyFileSystemPath(CFURLRef anURL, CFURLPathStyle pathStyle);
/* The POSIX path as NUL-terminated bytes, escapes decoded, no trailing "/"
 * except for the root, resolved against the base when resolveAgainstBase;
 * false when it does not fit, holds a NUL, or the URL (or, for a relative
 * one, its base) is not a file URL. */
CF_EXPORT Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean resolveAgainstBase,
                                                   UInt8 *buffer, CFIndex maxBufLen);

/* File resources. Each function reports a code (SInt32, 0 on success) through
 * errorCode, which may be NULL. A URL must be a "file" URL (host empty or
 * "localhost") whose resolved path is absolute. Codes:
 *   NULL or wrong-type arguments, a path holding %00 -> kCFURLImproperArgumentsError
 *   another scheme, or no scheme -> kCFURLUnknownSchemeError
 *   another host -> kCFURLRemoteHostUnavailableError
 *   errno ENOENT, ENOTDIR, ELOOP, ENAMETOOLONG -> kCFURLResourceNotFoundError
 *   errno EACCES, EPERM, EROFS, EEXIST -> kCFURLResourceAccessViolationError
 *   errno EINVAL -> kCFURLImproperArgumentsError
 *   errno ENOSPC, EIO, EISDIR and all others -> kCFURLUnknownError
 *   an unknown property key -> kCFURLUnknownPropertyKeyError */
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

/* Property keys for CFURLCreatePropertyFromResource; each key's text is its
 * own name. FileExists: kCFBooleanTrue or kCFBooleanFalse (never an error for
 * a missing item). DirectoryContents: an array of URLs relative to the folder,
 * each one's string the item's escaped name ("/"-terminated for a folder,
 * symbolic links followed), without "." and "..", sorted by name in byte
 * order. Length: SInt64 number. LastModificationTime: date. POSIXMode: SInt32
 * number of the permission bits (07777). */
CF_EXPORT const CFStringRef kCFURLFileExists;
CF_EXPORT const CFStringRef kCFURLFileDirectoryContents;
CF_EXPORT const CFStringRef kCFURLFileLength;
CF_EXPORT const CFStringRef kCFURLFileLastModificationTime;
CF_EXPORT const CFStringRef kCFURLFilePOSIXMode;

CF_EXPORT CFTypeRef CFURLCreatePropertyFromResource(CFAllocatorRef alloc, CFURLRef url,
                                                    CFStringRef property, SInt32 *errorCode);
/* Reads the whole file into *resourceData (when given). When properties is
 * given it receives a dictionary of the desiredProperties keys that have a
 * value (a failing key's code is reported); NULL desiredProperties asks for
 * every key, leaving out those that do not apply. */
CF_EXPORT Boolean CFURLCreateDataAndPropertiesFromResource(CFAllocatorRef alloc, CFURLRef url,
                                                           CFDataRef *resourceData,
                                                           CFDictionaryRef *properties,
                                                           CFArrayRef desiredProperties,
                                                           SInt32 *errorCode);
/* A directory URL creates that one folder (no missing parents; an existing
 * folder is success, an existing file kCFURLResourceAccessViolationError);
 * dataToWrite is then ignored. A file URL replaces the whole file atomically,
 * keeping its permissions (a new file gets 0644 minus the umask). The only
 * property that can be written is kCFURLFilePOSIXMode; any other key is
 * refused with kCFURLUnknownPropertyKeyError before anything is written. */
CF_EXPORT Boolean CFURLWriteDataAndPropertiesToResource(CFURLRef url, CFDataRef dataToWrite,
                                                        CFDictionaryRef propertiesToWrite,
                                                        SInt32 *errorCode);
/* Removes a file, a symbolic link or an empty folder. */
CF_EXPORT Boolean CFURLDestroyResource(CFURLRef url, SInt32 *errorCode);

/* File-system references (struct FSRef is defined in CoreServices.h). */
struct FSRef;
/* False when nothing exists at the URL (or it is not a file URL). */
CF_EXPORT Boolean CFURLGetFSRef(CFURLRef url, struct FSRef *fsRef);
/* A file URL for the item (a directory URL for a folder), or NULL. */
CF_EXPORT CFURLRef CFURLCreateFromFSRef(CFAllocatorRef allocator, const struct FSRef *fsRef);

CF_EXTERN_C_END

#endif /* VANTRELL_CF_URL_H */
