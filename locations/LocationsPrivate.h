// The framework bundle, platform functions resolved by name, and the domains'
// Scripts and Modules folders, for the other subsystems.
//
// Every result is borrowed and cached for the life of the process; a look-up
// that failed is tried again by the next call.
#pragma once

#include <Vantrell/Locations.h>

extern "C" {

// The loaded bundle whose identifier is "info.framework.Vantrell". When it is
// not found, *error (if error is given) receives a new record
// "VTPrivate_FrameworkGetBundle:: Can't get framework bundle." (-4960).
CFBundleRef VTPrivate_FrameworkGetBundle(CFAllocatorRef allocator, CFMutableDictionaryRef *error);
// The string under the key in the framework bundle's Info.plist (borrowed),
// or NULL when the bundle is not loaded or the value is missing or not a
// string. The bundle is looked up afresh on each call, so a framework
// loaded later is seen.
CFStringRef VTPrivate_FrameworkGetInfoString(CFStringRef key);
// The bundle's folder URL; a missing bundle leaves the bundle's record only.
CFURLRef VTPrivate_FrameworkGetBundleURL(CFAllocatorRef allocator, CFMutableDictionaryRef *error);
// The text of that URL (its string, not a POSIX path).
CFStringRef VTPrivate_FrameworkGetBundleURLPath(CFAllocatorRef allocator,
                                                CFMutableDictionaryRef *error);

// A platform function by name, or NULL; nothing is cached, so callers keep the
// pointer in a static of their own. The CoreServices look-up falls back to
// ApplicationServices and writes one line on standard error for each
// framework that lacks the name.
void *VTPrivate_GetCoreFoundationFunction(CFAllocatorRef allocator, CFStringRef functionName);
void *VTPrivate_GetCoreServicesFunction(CFAllocatorRef allocator, CFStringRef functionName);

// The folder of the given type in the domain (FSFindFolder, resolved by name,
// never creating it) as a new directory URL in *url. Returns 0, the look-up's
// status (*url then NULL), or -50 when url is NULL or there is no look-up
// (*url then untouched).
OSStatus VTU_URLCreateUsingFindFolderStyle(CFAllocatorRef allocator, SInt16 domain,
                                           OSType folderType, CFURLRef *url);

// The domain's existing Scripts folder, or NULL. A missing user or local
// folder is shown on standard error (the status as the code, the operation's
// name as the description); a missing network folder is not.
CFURLRef VTPrivate_GetScriptsFolderURLForUserDomain(CFAllocatorRef allocator);
CFURLRef VTPrivate_GetScriptsFolderURLForLocalDomain(CFAllocatorRef allocator);
CFURLRef VTPrivate_GetScriptsFolderURLForNetworkDomain(CFAllocatorRef allocator);

// The domain's Scripts folder with folderName appended as a directory, made
// with the malloc allocator whatever allocator is given. The first URL formed
// stays: a later name is ignored. A NULL name only returns what is cached.
CFURLRef VTPrivate_GetModulesFolderURLForUserDomain(CFAllocatorRef allocator,
                                                    CFStringRef folderName);
CFURLRef VTPrivate_GetModulesFolderURLForLocalDomain(CFAllocatorRef allocator,
                                                     CFStringRef folderName);
CFURLRef VTPrivate_GetModulesFolderURLForNetworkDomain(CFAllocatorRef allocator,
                                                       CFStringRef folderName);
}
