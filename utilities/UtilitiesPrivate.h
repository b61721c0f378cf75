// Utilities the framework uses internally; not exported.
#pragma once

#include <Vantrell/Utilities.h>

extern "C" {

// A one-level mutable copy of a property-list value (the caller releases it):
// containers get new mutable containers sharing their elements, booleans come
// back as the shared value itself. NULL with a record in *outError (when
// given) for a missing value or one that is not a property-list value.
CFTypeRef VTU_CopyType(CFAllocatorRef allocator, CFTypeRef value, CFMutableDictionaryRef *outError);

// A mutable copy of the string without one trailing occurrence of the suffix
// (the caller releases it), or NULL when an argument is missing.
CFMutableStringRef VTU_StringCreateMutableCopyTrimmingSuffix(CFAllocatorRef allocator,
                                                             CFStringRef string,
                                                             CFStringRef suffix);

// The 32 lowercase hex digits of the MD5 of the string's UTF-8 bytes (the
// caller releases it); NULL for a missing or empty string.
CFStringRef VTU_StringCreateHashedWithMD5(CFAllocatorRef allocator, CFStringRef string);

// True exactly when VTU_URLTargetExists gives the URL back.
Boolean VTPrivate_URLResourceExists(CFAllocatorRef allocator, CFURLRef url);

// Creates the one folder a directory URL names (not its missing parents).
// NULL on success, when something already exists there or when no URL is
// given; otherwise a new record, also shown on standard error.
CFMutableDictionaryRef VTU_URLCreateFolderWithURL(CFAllocatorRef allocator, CFURLRef url);

// The absolute real path of a shell-style path ("~" expanded, links, "." and
// ".." resolved; only the first match of a pattern), or NULL with a message
// on standard error. The caller releases the result.
CFStringRef VTPrivate_CreateStringByResolvingFileSystemPath(CFAllocatorRef allocator,
                                                            CFStringRef path);

// A file URL for the resolved path, a directory URL when isDirectory is
// kCFBooleanTrue (the caller releases it), or NULL.
CFURLRef VTU_URLCreateByResolvingFileSystemPath(CFAllocatorRef allocator, CFStringRef path,
                                                CFBooleanRef isDirectory);
}
