// Domain folders, the framework bundle and platform functions by name.
//
// Every look-up result lives in a function-local static, filled by the first
// call that succeeds and never released; a static still null is tried again by
// the next call. The host calls from one thread, so nothing here is locked.
#include "locations/LocationsPrivate.h"

#include "errors/ErrorsPrivate.h"
#include "platform/values/Cast.h"
#include "platform/values/Holder.h"
#include "platform/strings/ConstantString.h"

#include <CoreServices/CoreServices.h>

#include <cstdio>

using vt::CFRef;

VT_CONSTANT_STRING(kVTKeyDefaultFolderName, "ModuleDefaultFolderName");
VT_CONSTANT_STRING(kVTDefaultFolderName, "Modules");
VT_CONSTANT_STRING(kVTKeyBundleModulesContainer, "BundleModulesContainer");

namespace {

using FindFolderFunction = OSErr (*)(SInt16, OSType, Boolean, FSRef *);

CFStringRef FrameworkIdentifier() {
    return CFSTR("info.framework.Vantrell");
}

void *FunctionFromFramework(CFAllocatorRef allocator, CFStringRef frameworkPath,
                            CFStringRef functionName) {
    CFRef<CFURLRef> url(
        CFURLCreateWithFileSystemPath(allocator, frameworkPath, kCFURLPOSIXPathStyle, true));
    if (!url) return nullptr;
    CFRef<CFBundleRef> bundle(CFBundleCreate(allocator, url.get()));
    url.Reset();
    if (!bundle) return nullptr;
    return CFBundleGetFunctionPointerForName(bundle.get(), functionName);
}

// Fills a Scripts folder static; user and local failures are shown under the
// getter's name.
CFURLRef ScriptsFolder(CFURLRef &url, CFAllocatorRef allocator, SInt16 domain, const char *showAs) {
    if (!url) {
        OSStatus status =
            VTU_URLCreateUsingFindFolderStyle(allocator, domain, kScriptsFolderType, &url);
        if (status != 0 && showAs)
            VTErrorPrivate_ShowIf(allocator, kVTErrorDomainOSStatus, status, "%s", showAs);
    }
    return url;
}

// Fills a Modules folder static from the domain's Scripts folder.
CFURLRef ModulesFolder(CFURLRef &url, CFURLRef (*scriptsFolder)(CFAllocatorRef),
                       CFStringRef folderName) {
    if (folderName && !url) {
        if (CFURLRef scripts = scriptsFolder(kCFAllocatorMalloc))
            url = CFURLCreateCopyAppendingPathComponent(kCFAllocatorMalloc, scripts, folderName,
                                                        true);
    }
    return url;
}

} // namespace

extern "C" {

CFBundleRef VTPrivate_FrameworkGetBundle(CFAllocatorRef allocator, CFMutableDictionaryRef *error) {
    static CFBundleRef bundle = nullptr;
    if (!bundle) bundle = CFBundleGetBundleWithIdentifier(FrameworkIdentifier());
    if (!bundle && error)
        *error = VTErrorCreateCoreFormat(allocator, CFSTR("%s:: Can't get framework bundle."),
                                         "VTPrivate_FrameworkGetBundle");
    return bundle;
}

CFStringRef VTPrivate_FrameworkGetInfoString(CFStringRef key) {
    CFBundleRef bundle = CFBundleGetBundleWithIdentifier(FrameworkIdentifier());
    if (!bundle) return nullptr;
    // A value that is not a string counts as missing rather than being read
    // as one.
    return vt::cf::Cast<CFStringRef>(CFBundleGetValueForInfoDictionaryKey(bundle, key));
}

CFURLRef VTPrivate_FrameworkGetBundleURL(CFAllocatorRef allocator, CFMutableDictionaryRef *error) {
    static CFURLRef url = nullptr;
    if (!url) {
        CFBundleRef bundle = VTPrivate_FrameworkGetBundle(allocator, error);
        if (!bundle) return nullptr;
        url = CFBundleCopyBundleURL(bundle);
    }
    if (!url && error)
        *error = VTErrorCreateCoreFormat(allocator, CFSTR("%s:: Can't get framework URL."),
                                         "VTPrivate_FrameworkGetBundleURL");
    return url;
}

CFStringRef VTPrivate_FrameworkGetBundleURLPath(CFAllocatorRef allocator,
                                                CFMutableDictionaryRef *error) {
    static CFStringRef path = nullptr;
    if (!path) {
        CFURLRef url = VTPrivate_FrameworkGetBundleURL(allocator, error);
        if (!url) return nullptr;
        path = CFURLGetString(url);
    }
    if (!path && error)
        *error = VTErrorCreateCoreFormat(allocator, CFSTR("%s:: Can't get framework bundle path."),
                                         "VTPrivate_FrameworkGetBundleURLPath");
    return path;
}

void *VTPrivate_GetCoreFoundationFunction(CFAllocatorRef allocator, CFStringRef functionName) {
    return FunctionFromFramework(
        allocator, CFSTR("/System/Library/Frameworks/CoreFoundation.framework"), functionName);
}

void *VTPrivate_GetCoreServicesFunction(CFAllocatorRef allocator, CFStringRef functionName) {
    if (void *function = FunctionFromFramework(
            allocator, CFSTR("/System/Library/Frameworks/CoreServices.framework"), functionName))
        return function;
    std::fprintf(stderr, "%s::CoreServices proc is NULL\n", "VTPrivate_GetCoreServicesFunction");
    if (void *function = FunctionFromFramework(
            allocator, CFSTR("/System/Library/Frameworks/ApplicationServices.framework"),
            functionName))
        return function;
    std::fprintf(stderr, "%s::ApplicationServices proc is NULL\n",
                 "VTPrivate_GetCoreServicesFunction");
    return nullptr;
}

OSStatus VTU_URLCreateUsingFindFolderStyle(CFAllocatorRef allocator, SInt16 domain,
                                           OSType folderType, CFURLRef *url) {
    static FindFolderFunction VTFindFolder = nullptr;
    if (!VTFindFolder)
        VTFindFolder = reinterpret_cast<FindFolderFunction>(
            VTPrivate_GetCoreServicesFunction(allocator, CFSTR("FSFindFolder")));
    if (!url || !VTFindFolder) return paramErr;
    FSRef folder = {};
    OSStatus status = VTFindFolder(domain, folderType, kDontCreateFolder, &folder);
    if (status != 0) {
        *url = nullptr;
        return status;
    }
    *url = CFURLCreateFromFSRef(allocator, &folder);
    return 0;
}

CFURLRef VTPrivate_GetScriptsFolderURLForUserDomain(CFAllocatorRef allocator) {
    static CFURLRef url = nullptr;
    return ScriptsFolder(url, allocator, kUserDomain, "VTPrivate_GetScriptsFolderURLForUserDomain");
}

CFURLRef VTPrivate_GetScriptsFolderURLForLocalDomain(CFAllocatorRef allocator) {
    static CFURLRef url = nullptr;
    return ScriptsFolder(url, allocator, kLocalDomain,
                         "VTPrivate_GetScriptsFolderURLForLocalDomain");
}

CFURLRef VTPrivate_GetScriptsFolderURLForNetworkDomain(CFAllocatorRef allocator) {
    static CFURLRef url = nullptr;
    return ScriptsFolder(url, allocator, kNetworkDomain, nullptr);
}

CFURLRef VTPrivate_GetModulesFolderURLForUserDomain(CFAllocatorRef allocator,
                                                    CFStringRef folderName) {
    (void)allocator; // the cached URL outlives any caller's allocator
    static CFURLRef url = nullptr;
    return ModulesFolder(url, VTPrivate_GetScriptsFolderURLForUserDomain, folderName);
}

CFURLRef VTPrivate_GetModulesFolderURLForLocalDomain(CFAllocatorRef allocator,
                                                     CFStringRef folderName) {
    (void)allocator;
    static CFURLRef url = nullptr;
    return ModulesFolder(url, VTPrivate_GetScriptsFolderURLForLocalDomain, folderName);
}

CFURLRef VTPrivate_GetModulesFolderURLForNetworkDomain(CFAllocatorRef allocator,
                                                       CFStringRef folderName) {
    (void)allocator;
    static CFURLRef url = nullptr;
    return ModulesFolder(url, VTPrivate_GetScriptsFolderURLForNetworkDomain, folderName);
}

CFStringRef VantrellGetModulesFolderName(void) {
    CFStringRef name = VTPrivate_FrameworkGetInfoString(kVTKeyDefaultFolderName);
    return name && CFStringGetLength(name) > 0 ? name : kVTDefaultFolderName;
}

CFURLRef VantrellGetModulesFolderURLForUserDomain(void) {
    return VTPrivate_GetModulesFolderURLForUserDomain(kCFAllocatorMalloc,
                                                      VantrellGetModulesFolderName());
}

CFURLRef VantrellGetModulesFolderURLForLocalDomain(void) {
    return VTPrivate_GetModulesFolderURLForLocalDomain(kCFAllocatorMalloc,
                                                       VantrellGetModulesFolderName());
}

CFURLRef VantrellGetModulesFolderURLForNetworkDomain(void) {
    return VTPrivate_GetModulesFolderURLForNetworkDomain(kCFAllocatorMalloc,
                                                         VantrellGetModulesFolderName());
}

} // extern "C"
