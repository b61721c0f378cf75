// File-system operations on URLs: existence, folder creation, copying one
// file, listing a folder, path resolution, path data and URL registration.
#include "utilities/UtilitiesPrivate.h"

#include <Vantrell/Errors.h>

#include "errors/Diagnostics.h"
#include "locations/LocationsPrivate.h"
#include "platform/files/FileSystem.h"
#include "platform/strings/ConstantString.h"
#include "platform/values/Cast.h"
#include "platform/values/Guard.h"
#include "platform/values/Holder.h"

#include <climits>
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

// The platform's bookmark functions, looked up by name on first need; a
// look-up that found nothing is retried.
CreateBookmarkDataProc lgVTCreateBookmarkDataFunction = nullptr;
CreateBookmarkDataFromFileProc lgVTCreateBookmarkDataFromFileFunction = nullptr;

bool IsURL(CFTypeRef cf) {
    return vt::cf::Cast<CFURLRef>(cf) != nullptr;
}

// The URL's absolute file-system path as bytes, or false when it has none.
bool FileSystemPath(CFURLRef url, std::string &path) {
    char buffer[PATH_MAX + 1];
    if (!CFURLGetFileSystemRepresentation(url, true, reinterpret_cast<UInt8 *>(buffer),
                                          sizeof buffer))
        return false;
    path = buffer;
    return true;
}

// The folder's file named like the source. The name's bytes are carried over
// as they are: a name that is not UTF-8 has no string form, and going through
// one would copy to a differently named (escaped) file.
CFURLRef CreateTargetWithSourceName(CFAllocatorRef allocator, CFURLRef sourceURL,
                                    CFURLRef folderURL) {
    std::string source, target;
    if (!FileSystemPath(sourceURL, source) || !FileSystemPath(folderURL, target)) return nullptr;
    std::string name = source.substr(source.rfind('/') + 1);
    if (name.empty()) return nullptr;
    if (target.back() != '/') target += '/';
    target += name;
    return CFURLCreateFromFileSystemRepresentation(
        allocator, reinterpret_cast<const UInt8 *>(target.data()), CFIndex(target.size()), false);
}

CFMutableDictionaryRef CreateStatusRecord(CFAllocatorRef allocator, SInt32 status,
                                          CFStringRef text) {
    CFRef<CFNumberRef> code(VTU_NumberCreateWithCFIndex(allocator, CFIndex(status)));
    return VTErrorCreate(allocator, kVTErrorDomainOSStatus, code.get(), text);
}

// A directory URL for the same location, so that a folder is created even
// when the caller's URL lacks the trailing "/".
CFURLRef CreateDirectoryURL(CFAllocatorRef allocator, CFURLRef url) {
    if (CFURLHasDirectoryPath(url)) return CFRef<CFURLRef>::Retain(url).Release();
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
    CFRef<CFURLRef> target;
    if (auto name = vt::cf::Cast<CFStringRef>(newName)) {
        target.Reset(CFURLCreateCopyAppendingPathComponent(allocator, folderURL, name, false));
    } else {
        target.Reset(vt::Guard(CFURLRef(nullptr), [&] {
            return CreateTargetWithSourceName(allocator, sourceURL, folderURL);
        }));
        // URLs without a file-system path keep the name's string form.
        CFRef<CFStringRef> lastComponent(target ? nullptr : CFURLCopyLastPathComponent(sourceURL));
        if (lastComponent)
            target.Reset(CFURLCreateCopyAppendingPathComponent(allocator, folderURL,
                                                               lastComponent.get(), false));
    }
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
    CFArrayRef list = vt::cf::Cast<CFArrayRef>(contents.get());
    if (!list) return nullptr;
    CFMutableArrayRef result = CFArrayCreateMutable(allocator, 0, &kCFTypeArrayCallBacks);
    if (!result) return nullptr;
    for (CFIndex i = 0, count = CFArrayGetCount(list); i < count; ++i) {
        CFTypeRef entry = CFArrayGetValueAtIndex(list, i);
        CFStringRef text = CFURLGetString(vt::cf::Cast<CFURLRef>(entry));
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
    if (!lgVTCreateBookmarkDataFunction)
        lgVTCreateBookmarkDataFunction = reinterpret_cast<CreateBookmarkDataProc>(
            VTPrivate_GetCoreFoundationFunction(allocator, CFSTR("CFURLCreateBookmarkData")));
    if (!lgVTCreateBookmarkDataFromFileFunction)
        lgVTCreateBookmarkDataFromFileFunction =
            reinterpret_cast<CreateBookmarkDataFromFileProc>(VTPrivate_GetCoreFoundationFunction(
                allocator, CFSTR("CFURLCreateBookmarkDataFromFile")));
    if (!lgVTCreateBookmarkDataFunction || !lgVTCreateBookmarkDataFromFileFunction) return;
    CFRef<CFStringRef> scheme(CFURLCopyScheme(url));
    if (!scheme) return;
    if (CFStringCompare(scheme.get(), kVTURLSchemeFile, 0) == kCFCompareEqualTo)
        *bookmarkData =
            lgVTCreateBookmarkDataFunction(allocator, url, 0, nullptr, nullptr, nullptr);
    else
        *bookmarkData = lgVTCreateBookmarkDataFromFileFunction(allocator, url, nullptr);
}

CFStringRef VTPrivate_CreateStringByResolvingFileSystemPath(CFAllocatorRef allocator,
                                                            CFStringRef path) {
    if (!vt::cf::Cast<CFStringRef>(path)) return nullptr;
    return vt::Guard(CFStringRef(nullptr), [&]() -> CFStringRef {
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
    });
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
    static RegisterURLProc lgVTRegisterURLFunction = nullptr;
    if (!lgVTRegisterURLFunction)
        lgVTRegisterURLFunction = reinterpret_cast<RegisterURLProc>(
            VTPrivate_GetCoreServicesFunction(kCFAllocatorMalloc, CFSTR("LSRegisterURL")));
    if (!lgVTRegisterURLFunction) return -600;
    return lgVTRegisterURLFunction(url, update);
}

} // extern "C"
