// The document store: the one module document held in memory, its file, and
// the top-level value access the tables go through.
#include "document/DocumentPrivate.h"

#include <Vantrell/Errors.h>

#include "errors/Diagnostics.h"
#include "errors/ErrorsPrivate.h"
#include "locations/LocationsPrivate.h"
#include "platform/files/FileSystem.h"
#include "platform/values/Cast.h"
#include "platform/values/Holder.h"
#include "platform/strings/ConstantString.h"

#include <climits>
#include <cstdlib>
#include <cstring>

using vt::CFRef;

VT_CONSTANT_STRING(kVTTopLevelKeyExtensions, "Extensions");
VT_CONSTANT_STRING(kVTTopLevelKeyFiles, "Files");
VT_CONSTANT_STRING(kVTTopLevelKeyLibraries, "Libraries");
VT_CONSTANT_STRING(kVTTopLevelKeyMap, "Map");
VT_CONSTANT_STRING(kVTTopLevelKeyProperties, "Properties");
VT_CONSTANT_STRING(kVTTopLevelKeySearchConfigurations, "SearchConfigurations");
VT_CONSTANT_STRING(kVTTopLevelKeyDisabledFolderSubstrings, "DisabledFolderSubstrings");
VT_CONSTANT_STRING(kVTTopLevelKeySearchConfigurationLastSelected,
                   "SearchConfigurationLastSelected");
VT_CONSTANT_STRING(kVTTopLevelKeyDocumentVersion, "ModuleDocumentVersion");
VT_CONSTANT_STRING(kVTDocumentVersion, "0.5.4");
VT_CONSTANT_STRING(kVTSubstring_Disabled, "(Disabled)");
VT_CONSTANT_STRING(kVTKeyModuleDocumentPropertyListID, "ModuleDocumentPropertyListID");
VT_CONSTANT_STRING(kVTKeyModuleDocumentFileExtension, "ModuleDocumentFileExtension");

namespace {

// Owned; never released once the process holds a document.
CFMutableDictionaryRef lgVTDocumentRef = nullptr;

// The version of the document file this process may replace without keeping
// it: the one it last read, wrote or copied aside. Another process that saved
// meanwhile leaves a different version there, which the next save keeps.
struct KnownFile {
    bool looked = false; // a load or a save has looked at the file
    bool exists = false; // and found this version there
    vt::platform::FileStatus status;
};
KnownFile lgVTDocumentFile;

void RememberMissingFile() {
    lgVTDocumentFile.looked = true;
    lgVTDocumentFile.exists = false;
}

constexpr const char kSaveDocument[] = "VTPrivate_DocumentSave";

// Before a save replaces the file: a version on disk that this process has
// not seen (another process saved, or made the file this process found
// missing) is copied aside. NULL when nothing needed keeping or it was kept;
// otherwise a record, and the save must not write.
CFMutableDictionaryRef KeepOtherVersion(CFAllocatorRef allocator, const char *path) {
    if (!lgVTDocumentFile.looked) return nullptr;
    vt::platform::FileStatus now;
    // Nothing there, or a folder the write will fail on: nothing to keep.
    if (vt::platform::Stat(path, now) != 0 || now.isDirectory) return nullptr;
    if (lgVTDocumentFile.exists && vt::platform::SameFileVersion(lgVTDocumentFile.status, now))
        return nullptr;
    std::string aside;
    vt::platform::FileStatus copied;
    if (int error = VTPrivate_DocumentCopyAside(path, ".conflict-", aside, &copied)) {
        VTLog("%s: The document %s was changed by another process and cannot be copied aside "
              "(%s); nothing was written.",
              kSaveDocument, path, strerror(error));
        return VTPrivate_DocumentCreateCopyError(allocator, kSaveDocument, error,
                                                 "the document another process saved", aside);
    }
    // Kept: a retry after a failed write need not copy it again.
    VTPrivate_DocumentRememberFile(copied);
    VTLog("%s: The document %s was changed by another process since this one read or saved it; "
          "that version was copied to %s before this save replaced it.",
          kSaveDocument, path, aside.c_str());
    return nullptr;
}

CFMutableDictionaryRef CreateTable(CFAllocatorRef allocator) {
    return CFDictionaryCreateMutable(allocator, 0, &kCFCopyStringDictionaryKeyCallBacks,
                                     &kCFTypeDictionaryValueCallBacks);
}

} // namespace

void VTPrivate_DocumentRememberFile(const vt::platform::FileStatus &status) {
    lgVTDocumentFile.looked = true;
    lgVTDocumentFile.exists = true;
    lgVTDocumentFile.status = status;
}

extern "C" {

CFStringRef VantrellGetDocumentPropertyListID(void) {
    CFStringRef value = VTPrivate_FrameworkGetInfoString(kVTKeyModuleDocumentPropertyListID);
    return value && CFStringGetLength(value) >= 16 ? value : CFSTR("info.library.module");
}

CFStringRef VantrellGetDocumentFileExtension(void) {
    CFStringRef value = VTPrivate_FrameworkGetInfoString(kVTKeyModuleDocumentFileExtension);
    return value && CFStringGetLength(value) > 0 ? value : CFSTR("mlix");
}

CFURLRef VTPrivate_DocumentGetURL(CFAllocatorRef allocator) {
    static CFURLRef url = nullptr;
    if (url) return url;
    CFStringRef extension = VantrellGetDocumentFileExtension();
    CFStringRef identifier = VantrellGetDocumentPropertyListID();
    CFRef<CFStringRef> name(
        CFStringCreateWithFormat(allocator, nullptr, CFSTR("%@.%@"), identifier, extension));
    if (name)
        url = CFURLCreateWithFileSystemPath(allocator, name.get(), kCFURLPOSIXPathStyle, false);
    if (!url)
        VTErrorPrivate_ShowIf(allocator, kVTErrorDomainOSStatus, -4960, "Document URL is NULL.");
    return url;
}

CFMutableDictionaryRef VTPrivate_DocumentGetDocument(void) {
    return lgVTDocumentRef;
}

CFMutableDictionaryRef VTPrivate_DocumentSetDocument(CFMutableDictionaryRef document) {
    if (!vt::cf::Cast<CFMutableDictionaryRef>(document))
        return VTErrorCreateNULLParamFormat(kCFAllocatorMalloc,
                                            "Input parameter 'theDocument' is NULL.");
    // Setting the held document again keeps it: the store's one reference is
    // the one it adopted the first time.
    if (lgVTDocumentRef == document) return nullptr;
    if (lgVTDocumentRef) CFRelease(lgVTDocumentRef);
    lgVTDocumentRef = document;
    return nullptr;
}

CFMutableDictionaryRef VTPrivate_DocumentCreate(CFAllocatorRef allocator) {
    // The held document is completed in place: Add stores only missing keys.
    CFMutableDictionaryRef document = lgVTDocumentRef;
    if (!document) document = CreateTable(allocator);
    if (!document)
        return VTErrorCreateCoreFormat(allocator, CFSTR("%s: Allocation problem: "),
                                       "Can't allocate document.");
    // A table that cannot be made must not pass for a complete document: the
    // build would save it as current.
    bool complete = true;
    CFRef<CFMutableArrayRef> substrings(CFArrayCreateMutable(allocator, 0, &kCFTypeArrayCallBacks));
    for (CFStringRef key :
         {kVTTopLevelKeyExtensions, kVTTopLevelKeyFiles, kVTTopLevelKeyLibraries, kVTTopLevelKeyMap,
          kVTTopLevelKeyProperties, kVTTopLevelKeySearchConfigurations}) {
        if (CFDictionaryContainsKey(document, key)) continue;
        CFRef<CFMutableDictionaryRef> table(CreateTable(allocator));
        if (table)
            CFDictionaryAddValue(document, key, table.get());
        else
            complete = false;
    }
    if (substrings) {
        CFArrayAppendValue(substrings.get(), kVTSubstring_Disabled);
        CFDictionaryAddValue(document, kVTTopLevelKeyDisabledFolderSubstrings, substrings.get());
    } else if (!CFDictionaryContainsKey(document, kVTTopLevelKeyDisabledFolderSubstrings)) {
        complete = false;
    }
    if (!complete) {
        if (document != lgVTDocumentRef) CFRelease(document);
        return VTErrorCreateCoreFormat(allocator, CFSTR("%s: Out of memory."),
                                       "VTPrivate_DocumentCreate");
    }
    CFDictionaryAddValue(document, kVTTopLevelKeySearchConfigurationLastSelected,
                         CFSTR("info.module.search.configuration.id.user"));
    CFDictionaryAddValue(document, kVTTopLevelKeyDocumentVersion, kVTDocumentVersion);
    return VTPrivate_DocumentSetDocument(document);
}

CFBooleanRef VTPrivate_DocumentLoad(CFAllocatorRef allocator) {
    CFURLRef url = VTPrivate_DocumentGetURL(allocator);
    if (!url) {
        VTErrorPrivate_ShowIf(allocator, kVTErrorDomainOSStatus, -4960, "Document URL is NULL");
        return kCFBooleanFalse;
    }
    char path[PATH_MAX + 1];
    if (!CFURLGetFileSystemRepresentation(url, true, reinterpret_cast<UInt8 *>(path), sizeof path))
        return kCFBooleanFalse;
    uint8_t *contents = nullptr;
    size_t length = 0;
    vt::platform::FileStatus read;
    if (vt::platform::ReadFile(path, contents, length, read) != 0) {
        // Missing or unreadable: a file that appears by the next save is
        // another process's, and kept.
        RememberMissingFile();
        return kCFBooleanFalse;
    }
    // The data takes the block it was read into; a copy would cost a pass
    // over the whole file at every start-up.
    CFRef<CFDataRef> bytes(
        CFDataCreateWithBytesNoCopy(allocator, contents, CFIndex(length), kCFAllocatorMalloc));
    if (!bytes) {
        std::free(contents);
        return kCFBooleanFalse;
    }
    CFRef<CFPropertyListRef> parsed(CFPropertyListCreateFromXMLData(
        allocator, bytes.get(), kCFPropertyListMutableContainersAndLeaves, nullptr));
    bytes.Reset();
    // Every table takes the document to be a dictionary; any other root is
    // as unreadable as a broken file.
    auto document = vt::cf::CastMutable<CFMutableDictionaryRef>(parsed.get());
    if (!document) {
        // The held document does not come from this file. Unless it comes
        // from an earlier version of the file, nothing allows a save to
        // replace this one unkept.
        if (!lgVTDocumentFile.looked) RememberMissingFile();
        return kCFBooleanFalse;
    }
    parsed.Release();
    CFRef<CFMutableDictionaryRef> error(VTPrivate_DocumentSetDocument(document));
    if (error) return kCFBooleanFalse;
    VTPrivate_DocumentRememberFile(read);
    return kCFBooleanTrue;
}

CFMutableDictionaryRef VTPrivate_DocumentSave(CFAllocatorRef allocator) {
    CFURLRef url = VTPrivate_DocumentGetURL(allocator);
    if (!url) {
        VTErrorPrivate_ShowIf(allocator, kVTErrorDomainOSStatus, -4960, "Document URL is NULL");
        return VTErrorCreateCore(allocator, CFSTR("Document URL is NULL"));
    }
    if (!lgVTDocumentRef) return VTErrorCreateNULLParam(allocator);
    // Written from the held document itself: nothing can change it while it
    // is written, and a copy would only double the memory a save needs. The
    // writer checks every value (types, cycles, text XML cannot carry) as the
    // copy did, so bytes that cannot be produced still write nothing, and
    // the caller hears of it.
    CFRef<CFDataRef> bytes(CFPropertyListCreateXMLData(kCFAllocatorDefault, lgVTDocumentRef));
    if (!bytes) return VTErrorCreateCore(allocator, CFSTR("Can't create document output format."));

    // The bytes go to a temporary file beside the document, which is flushed
    // and renamed over it: a crash or a full disk at any moment leaves the
    // former document or the new one, never a truncated file. A folder the
    // host may not add files to, holding a document it may write, gets the
    // plain rewrite the format was made for rather than a failed save.
    char path[PATH_MAX + 1];
    SInt32 status = kCFURLImproperArgumentsError;
    vt::platform::WriteResult written;
    if (CFURLGetFileSystemRepresentation(url, true, reinterpret_cast<UInt8 *>(path), sizeof path)) {
        if (CFMutableDictionaryRef error = KeepOtherVersion(allocator, path)) return error;
        status = vt::platform::WriteFileAtomically(
            path, CFDataGetBytePtr(bytes.get()), size_t(CFDataGetLength(bytes.get())),
            vt::platform::WriteOptions{.allowInPlace = true}, &written);
        // What is there now is this process's own, even a partial rewrite.
        if (written.targetChanged)
            VTPrivate_DocumentRememberFile(written.written);
        else if (status == 0)
            RememberMissingFile(); // written, but its status could not be had
    }
    if (written.inPlace && status == 0)
        VTLog("%s: Saved %s in place: its folder does not accept new files, so this save was "
              "not atomic.",
              kSaveDocument, path);
    if (written.inPlace && status != 0)
        VTLog("%s: Saving %s in place failed (%s): its folder does not accept new files, so the "
              "file was rewritten where it lies and may be incomplete.",
              kSaveDocument, path, strerror(written.error));
    if (status == 0) return nullptr;
    CFRef<CFNumberRef> code(VTU_NumberCreateWithCFIndex(allocator, status));
    return VTErrorCreate(allocator, kVTErrorDomainOSStatus, code.get(),
                         CFSTR("Can't write document to URL."));
}

CFMutableDictionaryRef VantrellSaveDocument(CFAllocatorRef allocator) {
    return VTPrivate_DocumentSave(allocator);
}

CFTypeRef VTPrivate_DocumentValueGet(CFStringRef key) {
    if (!key) {
        VTErrorPrivate_ShowIf(kCFAllocatorMalloc, kVTErrorDomainOSStatus, -50, "%s is NULL.",
                              "(null)");
        return nullptr;
    }
    return lgVTDocumentRef ? CFDictionaryGetValue(lgVTDocumentRef, key) : nullptr;
}

void VTPrivate_DocumentValueSet(CFStringRef key, CFTypeRef value) {
    if (!key || !value) {
        VTErrorPrivate_ShowIf(kCFAllocatorMalloc, kVTErrorDomainOSStatus, -50,
                              "Required input parameter is NULL.");
        return;
    }
    if (!lgVTDocumentRef) {
        VTErrorPrivate_ShowIf(kCFAllocatorMalloc, kVTErrorDomainOSStatus, -4960,
                              "%s: Can't find container.", "VTPrivate_DocumentValueSet");
        return;
    }
    CFDictionarySetValue(lgVTDocumentRef, key, value);
}

void VTPrivate_DocumentValueAdd(CFStringRef key, CFTypeRef value) {
    if (lgVTDocumentRef && key && value) CFDictionaryAddValue(lgVTDocumentRef, key, value);
}

CFTypeRef VTPrivate_DocumentContainerValueGet(CFStringRef containerKey, CFStringRef innerKey,
                                              CFMutableDictionaryRef *outError) {
    CFRef<CFMutableDictionaryRef> error;
    CFTypeRef value = nullptr;
    if (!containerKey || !innerKey) {
        error.Reset(VTErrorCreateNULLParam(kCFAllocatorDefault));
    } else {
        // A top-level value that is not a dictionary holds no inner values.
        CFTypeRef container = VTPrivate_DocumentValueGet(containerKey);
        if (auto dictionary = vt::cf::Cast<CFDictionaryRef>(container))
            value = CFDictionaryGetValue(dictionary, innerKey);
        else
            error.Reset(
                VTErrorCreateCore(CFGetAllocator(containerKey), CFSTR("Can't find container.")));
    }
    if (error && outError) *outError = error.Release();
    return value;
}

CFStringRef VTDocumentGetVersion(void) {
    return vt::cf::Cast<CFStringRef>(VTPrivate_DocumentValueGet(kVTTopLevelKeyDocumentVersion));
}

CFArrayRef VTDocumentGetDisabledFolderSubstrings(void) {
    return vt::cf::Cast<CFArrayRef>(
        VTPrivate_DocumentValueGet(kVTTopLevelKeyDisabledFolderSubstrings));
}

void VTDocumentSetDisabledFolderSubstrings(CFArrayRef substrings) {
    // Anything but an array is refused like a missing one, and so is an array
    // holding a value the XML document cannot carry: stored, it would make
    // every later save fail.
    CFArrayRef array = vt::cf::Cast<CFArrayRef>(substrings);
    if (array && !CFPropertyListIsValid(array, kCFPropertyListXMLFormat_v1_0)) array = nullptr;
    VTPrivate_DocumentValueSet(kVTTopLevelKeyDisabledFolderSubstrings, array);
}

} // extern "C"
