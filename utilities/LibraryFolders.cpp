// Folder creation inside a registered library's folder.
#include "errors/ErrorsPrivate.h"
#include "utilities/UtilitiesPrivate.h"

#include <Vantrell/Errors.h>
#include <Vantrell/Libraries.h>

#include "platform/files/FileSystem.h"
#include "platform/values/Cast.h"
#include "platform/values/Holder.h"
#include "tables/TablesPrivate.h"

#include <climits>

using vt::CFRef;

namespace {

constexpr const char *kName = "VTU_URLCreateFolderInParent";

// Without an out-argument the record is shown, so the failure is not lost.
void HandOrShow(CFMutableDictionaryRef *outError, CFMutableDictionaryRef record) {
    if (!outError) VTErrorShow(record, CFSTR("%s"), kName);
    vt::errors::HandBack(record, outError);
}

// One path component that stays inside the library's folder: "." and ".."
// would name the folder itself or its parent, and a "/" or a NUL would make
// a path of it.
bool IsFolderName(CFStringRef name) {
    CFIndex length = CFStringGetLength(name);
    if (length == 0 || CFEqual(name, CFSTR(".")) || CFEqual(name, CFSTR(".."))) return false;
    for (CFIndex i = 0; i < length; ++i) {
        UniChar c = CFStringGetCharacterAtIndex(name, i);
        if (c == '/' || c == 0) return false;
    }
    return true;
}

// True when something other than a folder (or a link to one) is at the URL.
bool HoldsNonFolder(CFURLRef url) {
    char path[PATH_MAX + 1];
    if (!CFURLGetFileSystemRepresentation(url, true, reinterpret_cast<UInt8 *>(path), sizeof path))
        return false;
    vt::platform::FileStatus status;
    return vt::platform::Stat(path, status) == 0 && !status.isDirectory;
}

CFMutableDictionaryRef CreateFileInTheWayRecord(CFAllocatorRef allocator) {
    CFRef<CFNumberRef> code(
        VTU_NumberCreateWithCFIndex(allocator, kCFURLResourceAccessViolationError));
    return VTErrorCreate(allocator, kVTErrorDomainOSStatus, code.get(),
                         CFSTR("Problem creating directory"));
}

} // namespace

extern "C" {

CFURLRef VTU_URLCreateFolderInParent(CFAllocatorRef allocator, CFStringRef libraryID,
                                     CFStringRef folderName, CFMutableDictionaryRef *outError) {
    if (!libraryID || !vt::cf::Cast<CFStringRef>(folderName)) {
        vt::errors::HandBack(VTErrorCreateNULLParamFormat(allocator, kName), outError);
        return nullptr;
    }
    if (!IsFolderName(folderName)) {
        vt::errors::HandBack(VTErrorCreate(allocator, nullptr, VTErrorGetParamErr(),
                                           CFSTR("%s:: Folder name not valid."), kName),
                             outError);
        return nullptr;
    }
    CFStringRef mapID = VTLibraryGetURLMapID(allocator, libraryID, outError);
    CFStringRef text = mapID ? VTPrivate_MapGetValue(mapID) : nullptr;
    if (!text) return nullptr;
    CFRef<CFURLRef> parent(CFURLCreateWithString(allocator, text, nullptr));
    // The name is escaped as one component, never read as URL text: "%2F"
    // in it stays those three characters.
    CFRef<CFURLRef> appended(
        parent ? CFURLCreateCopyAppendingPathComponent(allocator, parent.get(), folderName, true)
               : nullptr);
    CFRef<CFURLRef> folder(appended ? CFURLCopyAbsoluteURL(appended.get()) : nullptr);
    if (!folder) return nullptr;

    // A file of that name is no folder the caller can put things in.
    if (HoldsNonFolder(folder.get())) {
        HandOrShow(outError, CreateFileInTheWayRecord(allocator));
        return nullptr;
    }
    if (CFMutableDictionaryRef record = VTU_URLCreateFolderWithURL(allocator, folder.get())) {
        HandOrShow(outError, record);
        // With nowhere to put the record, a URL would read as success.
        if (!outError) return nullptr;
    }
    return folder.Release();
}

} // extern "C"
