/*
 * Utilities.h: file-system operations on URLs and value helpers.
 */
#ifndef VANTRELL_UTILITIES_H
#define VANTRELL_UTILITIES_H

#include <Vantrell/Base.h>

VT_EXTERN_C_BEGIN

/* URL scheme names: "file", "http", "https", "ftp". */
VT_EXPORT const CFStringRef kVTURLSchemeFile;
VT_EXPORT const CFStringRef kVTURLSchemeHTTP;
VT_EXPORT const CFStringRef kVTURLSchemeHTTPs;
VT_EXPORT const CFStringRef kVTURLSchemeFTP;
/* ".DS_Store": the folder-settings file that listings leave out. */
VT_EXPORT const CFStringRef kVTFileNameDSStore;

/* True when the array holds an element equal to the value; false when either
 * is missing. */
VT_EXPORT Boolean VTU_ArrayContainsValue(CFArrayRef array, CFTypeRef value);

/* The URL itself (not retained) when its target exists, else NULL. Use it as
 * a truth value. */
VT_EXPORT CFURLRef VTU_URLTargetExists(CFAllocatorRef allocator, CFURLRef url);

/* Copies one file's data (no attributes) into the folder, under newName or
 * else the source's last path component. An existing target is overwritten
 * unless keepExisting is kCFBooleanTrue. Returns NULL on success or when
 * nothing was done, else a new error record (the caller releases it). */
VT_EXPORT CFMutableDictionaryRef VTU_URLCopyFileToFolder(CFAllocatorRef allocator,
                                                         CFURLRef sourceURL, CFURLRef folderURL,
                                                         CFStringRef newName,
                                                         CFBooleanRef keepExisting);

/* The folder's entries as URLs relative to it, without ".DS_Store" (a new
 * array the caller releases), or NULL when the folder cannot be listed. */
VT_EXPORT CFMutableArrayRef VTU_URLCopyDirectoryContents(CFAllocatorRef allocator, CFURLRef url);

/* Fills each out-argument given with a new value the caller releases, or
 * NULL: the POSIX path, the HFS path, and the bookmark data (NULL where the
 * platform has no bookmark functions). */
VT_EXPORT void VTU_URLCopyPathData(CFAllocatorRef allocator, CFURLRef url, CFStringRef *posixPath,
                                   CFStringRef *hfsPath, CFDataRef *bookmarkData);

/* Registers the URL with the launch services when the platform has them;
 * -600 when their registration function cannot be found. */
VT_EXPORT OSStatus VTPrivate_RegisterURL(CFURLRef url, Boolean update);

/* ---- Folders in a library ---------------------------------------------- */

/* Creates the folder named folderName (one path component, taken literally)
 * inside the folder of the library. Returns its absolute directory URL, a
 * new URL the caller releases (also when the folder already existed), or
 * NULL. A missing argument gives "VTU_URLCreateFolderInParent:: Required
 * input parameter is NULL." and a name that is empty, "." or "..", or holds
 * "/" or a NUL gives "VTU_URLCreateFolderInParent:: Folder name not valid."
 * (both code -50) in *outError when given. When the folder cannot be
 * created, the URL comes back with the record in *outError; without
 * outError the record is shown on standard error and the result is NULL. A
 * file already there is a failure: NULL, and the record in *outError or
 * shown. */
VT_EXPORT CFURLRef VTU_URLCreateFolderInParent(CFAllocatorRef allocator, CFStringRef libraryID,
                                               CFStringRef folderName,
                                               CFMutableDictionaryRef *outError);

VT_EXTERN_C_END

#endif /* VANTRELL_UTILITIES_H */
