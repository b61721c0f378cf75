// File-system operations on URLs: existence, folder creation, copying one
// file, listing a folder, path resolution, path data and URL registration.
#include "utilities/UtilitiesPrivate.h"

#include <Vantrell/Errors.h>

#include "errors/Diagnostics.h"
#include "locations/LocationsPrivate.h"
#include "platform/files/FileSystem.h"
#include "platform/values/Holder.h"
#include "platform/values/Runtime.h"
#include "platform/strings/ConstantString.h"

#include <new>
#include <string>
#include <vector>

using vt::CFRef;

VT_CONSTANT_STRING(kVTURLSchemeFile, "file");
VT_CONSTANT_STRING(kVTURLSchemeHTTP, "http");
VT_CONSTANT_STRING(kVTURLSchemeHTTPs, "https");
VT_CONSTANT_STRING(kVTURLSchemeFTP, "ftp");
VT_CONSTANT_STRING(kVTFileNameDSStore, ".DS_Store");

namespace {

using CreateBookmarkDataProc = CFDataRef (*)(CFAllocatorRef, CFURLRef, CFOptionFlags, CFArrayRef,
                                             CFURLRef, CFErrorRef *);
using CreateBookmarkDataFromFileProc = CFDataRef (*)(CFAllocatorRef, CFURLRef, CFErrorRef *);
using RegisterURLProc = OSStatus (*)(CFURLRef, Boolean);

// Looked up by name on first need; a look-up that found nothing is retried.
CreateBookmarkDataProc VTPrivate_CreateBookmarkData = nullptr;
CreateBookmarkDataFromFileProc VTPrivate_CreateBookmarkDataFromFile = nullptr;

bool IsURL(CFTypeRef cf) {
    return vt::cf::As<const void>(cf, vt::cf::kTypeIDURL) != nullptr;
}

CFMutableDictionaryRef CreateStatusRecord(CFAllocatorRef allocator, SInt32 status,
                                          CFStringRef text) {
    CFRef<CFNumberRef> code(VTU_NumberCreateWithCFIndex(allocator, CFIndex(status)));
    return VTErrorCreate(allocator, kVTErrorDomainOSStatus, code.get(), text);
}

// A directory URL for the same location, so that a folder is created even
// when the caller's URL lacks the trailing "/".
CFURLRef CreateDirectoryURL(CFAllocatorRef allocator, CFURLRef url) {
    if (CFURLHasDirectoryPath(url)) return static_cast<CFURLRef>(CFRetain(url));
    CFRef<CFStringRef> path(CFURLCopyFileSystemPath(url, kCFURLPOSIXPathStyle));
    if (!path) return nullptr;
    return CFURLCreateWithFileSystemPath(allocator, path.get(), kCFURLPOSIXPathStyle, true);
}

} // namespace

extern "C" {

CFURLRef VTU_URLTargetExists(CFAllocatorRef allocator, CFURLRef url) {
    if (!IsURL(url)) return nullptr;
    SInt32 status = 0;
    CFRef<CFTypeRef> exists(
        CFURLCreatePropertyFromResource(allocator, url, kCFURLFileExists, &status));
    return exists.get() == kCFBooleanTrue ? url : nullptr;
}

Boolean VTPrivate_URLResourceExists(CFAllocatorRef allocator, CFURLRef url) {
    return VTU_URLTargetExists(allocator, url) != nullptr;
}

CFMutableDictionaryRef VTU_URLCreateFolderWithURL(CFAllocatorRef allocator, CFURLRef url) {
    if (!IsURL(url) || VTU_URLTargetExists(allocator, url)) return nullptr;
    const UInt8 zero = 0;
    CFRef<CFDataRef> data(CFDataCreate(allocator, &zero, 1));
    CFRef<CFURLRef> folder(CreateDirectoryURL(allocator, url));
    if (!data || !folder) return nullptr;
    SInt32 status = 0;
    if (CFURLWriteDataAndPropertiesToResource(folder.get(), data.get(), nullptr, &status))
        return nullptr;
    CFMutableDictionaryRef error =
        CreateStatusRecord(allocator, status, CFSTR("Problem creating directory"));
    VTErrorShow(error, CFSTR("%s"), "VTU_URLCreateFolderWithURL");
    return error;
}

CFMutableDictionaryRef VTU_URLCopyFileToFolder(CFAllocatorRef allocator, CFURLRef sourceURL,
                                               CFURLRef folderURL, CFStringRef newName,
                                               CFBooleanRef keepExisting) {
    if (!IsURL(sourceURL) || !IsURL(folderURL)) return VTErrorCreateNULLParam(allocator);
    CFRef<CFStringRef> name;
    if (vt::cf::As<const void>(newName, vt::cf::kTypeIDString))
        name = CFRef<CFStringRef>::Retain(newName);
    else
        name.Reset(CFURLCopyLastPathComponent(sourceURL));
    if (!name) return nullptr;
    CFRef<CFURLRef> target(
        CFURLCreateCopyAppendingPathComponent(allocator, folderURL, name.get(), false));
    if (!target) return nullptr;
    if (keepExisting == kCFBooleanTrue && VTPrivate_URLResourceExists(allocator, target.get()))
        return nullptr;

    CFRef<CFDataRef> data;
    SInt32 status = 0;
    if (!CFURLCreateDataAndPropertiesFromResource(allocator, sourceURL, data.Out(), nullptr,
                                                  nullptr, &status))
        return CreateStatusRecord(allocator, status, CFSTR("Can't create data from resource."));
    if (!data || status != 0) return nullptr;
    if (!CFURLWriteDataAndPropertiesToResource(target.get(), data.get(), nullptr, &status))
        return CreateStatusRecord(allocator, status, CFSTR("Can't write data to resource."));
    return nullptr;
}

CFMutableArrayRef VTU_URLCopyDirectoryContents(CFAllocatorRef allocator, CFURLRef url) {
    if (!IsURL(url)) return nullptr;
    SInt32 status = 0;
    CFRef<CFTypeRef> contents(
        CFURLCreatePropertyFromResource(allocator, url, kCFURLFileDirectoryContents, &status));
    auto *entries = vt::cf::As<const void>(contents.get(), vt::cf::kTypeIDArray);
    if (!entries) return nullptr;
    CFArrayRef list = static_cast<CFArrayRef>(entries);
    CFMutableArrayRef result = CFArrayCreateMutable(allocator, 0, &kCFTypeArrayCallBacks);
    if (!result) return nullptr;
    for (CFIndex i = 0, count = CFArrayGetCount(list); i < count; ++i) {
        auto entry = static_cast<CFURLRef>(CFArrayGetValueAtIndex(list, i));
        CFStringRef text = IsURL(entry) ? CFURLGetString(entry) : nullptr;
        if (text && CFStringCompare(text, kVTFileNameDSStore, 0) == kCFCompareEqualTo) continue;
        CFArrayAppendValue(result, entry);
    }
    return result;
}

void VTU_URLCopyPathData(CFAllocatorRef allocator, CFURLRef url, CFStringRef *posixPath,
                         CFStringRef *hfsPath, CFDataRef *bookmarkData) {
    if (!IsURL(url)) return;
    if (posixPath) *posixPath = CFURLCopyFileSystemPath(url, kCFURLPOSIXPathStyle);
    if (hfsPath) *hfsPath = CFURLCopyFileSystemPath(url, kCFURLHFSPathStyle);
    if (!bookmarkData) return;
    *bookmarkData = nullptr;
    if (!VTPrivate_CreateBookmarkData)
        VTPrivate_CreateBookmarkData = reinterpret_cast<CreateBookmarkDataProc>(
            VTPrivate_GetCoreFoundationFunction(allocator, CFSTR("CFURLCreateBookmarkData")));
    if (!VTPrivate_CreateBookmarkDataFromFile)
        VTPrivate_CreateBookmarkDataFromFile =
            reinterpret_cast<CreateBookmarkDataFromFileProc>(VTPrivate_GetCoreFoundationFunction(
                allocator, CFSTR("CFURLCreateBookmarkDataFromFile")));
    if (!VTPrivate_CreateBookmarkData || !VTPrivate_CreateBookmarkDataFromFile) return;
    CFRef<CFStringRef> scheme(CFURLCopyScheme(url));
    if (!scheme) return;
    if (CFStringCompare(scheme.get(), kVTURLSchemeFile, 0) == kCFCompareEqualTo)
        *bookmarkData = VTPrivate_CreateBookmarkData(allocator, url, 0, nullptr, nullptr, nullptr);
    else
        *bookmarkData = VTPrivate_CreateBookmarkDataFromFile(allocator, url, nullptr);
}

CFStringRef VTPrivate_CreateStringByResolvingFileSystemPath(CFAllocatorRef allocator,
                                                            CFStringRef path) {
    if (!vt::cf::As<const void>(path, vt::cf::kTypeIDString)) return nullptr;
    try {
        std::vector<char> representation(
            static_cast<size_t>(CFStringGetMaximumSizeOfFileSystemRepresentation(path)));
        if (representation.empty() ||
            !CFStringGetFileSystemRepresentation(path, representation.data(),
                                                 CFIndex(representation.size())))
            return nullptr;
        std::string match;
        if (int status = vt::platform::ExpandPath(representation.data(), match)) {
            slog("Problem resolving path: %d\n", status);
            return nullptr;
        }
        // Linux paths may exceed 1024 bytes; the seam has no fixed limit.
        std::string resolved;
        if (vt::platform::RealPath(match.c_str(), resolved) != 0) {
            slog("Problem resolving path: %s\n", resolved.c_str());
            return nullptr;
        }
        return CFStringCreateWithBytes(allocator, reinterpret_cast<const UInt8 *>(resolved.data()),
                                       CFIndex(resolved.size()), kCFStringEncodingUTF8, false);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

CFURLRef VTU_URLCreateByResolvingFileSystemPath(CFAllocatorRef allocator, CFStringRef path,
                                                CFBooleanRef isDirectory) {
    if (!path || !isDirectory) return nullptr;
    CFRef<CFStringRef> resolved(VTPrivate_CreateStringByResolvingFileSystemPath(allocator, path));
    if (!resolved) return nullptr;
    return CFURLCreateWithFileSystemPath(allocator, resolved.get(), kCFURLPOSIXPathStyle,
                                         isDirectory == kCFBooleanTrue);
}

OSStatus VTPrivate_RegisterURL(CFURLRef url, Boolean update) {
    static RegisterURLProc rproc = nullptr;
    if (!rproc)
        rproc = reinterpret_cast<RegisterURLProc>(
            VTPrivate_GetCoreServicesFunction(kCFAllocatorMalloc, CFSTR("LSRegisterURL")));
    if (!rproc) return -600;
    return rproc(url, update);
}

} // extern "C"
