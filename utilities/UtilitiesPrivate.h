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

// Both set LANG to "en_US.UTF-8" in this process before starting anything (it
// stays set) and return everything the program wrote to its standard output,
// decoded as UTF-8, as a new mutable string the caller releases; NULL only
// when that string cannot be created. Not for concurrent use: the environment
// is process-wide.

// Runs the command line through the shell. Empty when it cannot be started
// (or no command is given); "setenv failed" and "popen failed" go to standard
// error.
CFMutableStringRef VTU_DoShellScript(CFAllocatorRef allocator, const char *command);

// Starts the program at path directly; arguments holds C strings (an array
// made with NULL callbacks), the first being the program's argument zero.
// Empty when the path or the array is missing, or the program cannot be
// started; "Can't fork" goes to standard error when no process can be made.
CFMutableStringRef VTU_ExecCommand(CFAllocatorRef allocator, const char *path,
                                   CFArrayRef arguments);
}
