// File entries: which libraries own a registered file or folder and, for a
// folder, the names of its items when it was last read.
#include "tables/TablesPrivate.h"

#include <Vantrell/Document.h>
#include <Vantrell/Errors.h>
#include <Vantrell/Utilities.h>

#include "document/Tables.h"
#include "errors/ErrorsPrivate.h"
#include "tables/TableSupport.h"

using vt::CFRef;

namespace {

CFMutableDictionaryRef CreateEntry(CFAllocatorRef allocator) {
    return CFDictionaryCreateMutable(allocator, 0, &kCFCopyStringDictionaryKeyCallBacks,
                                     &kCFTypeDictionaryValueCallBacks);
}

// Makes `owner` one of the entry's owners: appended once to an "Owners"
// array, or the only element of a new one when the entry has none (or holds
// something else under the key). False when no array can be made.
bool AddOwner(CFAllocatorRef allocator, CFMutableDictionaryRef entry, CFStringRef owner) {
    CFRef<CFStringRef> stored(vt::doc::CreateStoredString(allocator, owner));
    if (!stored) return false;
    if (CFMutableArrayRef owners = vt::doc::GetMutableArray(entry, kVTKeyOwners)) {
        if (!VTU_ArrayContainsValue(owners, stored.get())) CFArrayAppendValue(owners, stored.get());
        return true;
    }
    CFRef<CFMutableArrayRef> owners(CFArrayCreateMutable(allocator, 0, &kCFTypeArrayCallBacks));
    if (!owners) return false;
    CFArrayAppendValue(owners.get(), stored.get());
    CFDictionarySetValue(entry, kVTKeyOwners, owners.get());
    return true;
}

// Stores a new entry for the URL, owned by `owner`, under the file ID. False,
// with a record in *outError (when given), when it cannot be made.
bool StoreNewEntry(CFAllocatorRef allocator, CFMutableDictionaryRef files, CFStringRef fileID,
                   CFURLRef url, CFStringRef owner, CFMutableDictionaryRef *outError,
                   const char *name) {
    CFRef<CFStringRef> key(vt::doc::CreateStoredString(allocator, fileID));
    CFRef<CFMutableDictionaryRef> error;
    CFRef<CFMutableDictionaryRef> entry(
        key ? VTPrivate_FilesCreateFileInfo(allocator, url, owner, error.Out()) : nullptr);
    if (!key || !entry) {
        vt::errors::HandBack(
            error ? error.Release() : vt::errors::CreateOutOfMemory(allocator, name), outError);
        return false;
    }
    vt::errors::HandBack(error.Release(), outError);
    CFDictionarySetValue(files, key.get(), entry.get());
    return true;
}

} // namespace

extern "C" {

CFMutableDictionaryRef VTPrivate_GetFiles(CFAllocatorRef allocator) {
    CFMutableDictionaryRef files = vt::doc::Table(kVTTopLevelKeyFiles);
    if (!files)
        VTErrorPrivate_ShowIf(allocator, kVTErrorDomainOSStatus, -4960, "%s: Can't find container.",
                              "VTPrivate_GetFiles");
    return files;
}

CFMutableDictionaryRef VTPrivate_GetOneFile(CFAllocatorRef allocator, CFStringRef fileID) {
    if (!vt::cf::Cast<CFStringRef>(fileID)) {
        VTErrorPrivate_ShowIf(allocator, kVTErrorDomainOSStatus, -50,
                              "Required input parameter is NULL.");
        return nullptr;
    }
    return vt::doc::GetMutableDictionary(VTPrivate_GetFiles(allocator), fileID);
}

CFTypeRef VTU_URLCopyFileInfo(CFAllocatorRef allocator, CFURLRef url, CFStringRef propertyKey,
                              CFMutableDictionaryRef *outError) {
    if (!vt::cf::Cast<CFURLRef>(url) || !vt::cf::Cast<CFStringRef>(propertyKey)) return nullptr;
    SInt32 status = 0;
    CFTypeRef value = CFURLCreatePropertyFromResource(allocator, url, propertyKey, &status);
    if (outError && status != 0) {
        CFRef<CFNumberRef> code(VTU_NumberCreateWithCFIndex(allocator, status));
        *outError = VTErrorCreate(allocator, kVTErrorDomainOSStatus, code.get(), CFSTR("%s"),
                                  "VTU_URLCopyFileInfo");
    }
    return value;
}

CFMutableDictionaryRef VTPrivate_FilesUpdateFileInfo(CFAllocatorRef allocator,
                                                     CFMutableDictionaryRef fileInfo,
                                                     CFURLRef url) {
    CFMutableDictionaryRef entry = vt::cf::CastMutable<CFMutableDictionaryRef>(fileInfo);
    if (!entry || !vt::cf::Cast<CFURLRef>(url)) return VTErrorCreateNULLParam(allocator);
    CFRef<CFTypeRef> exists(VTU_URLCopyFileInfo(allocator, url, kCFURLFileExists, nullptr));
    if (exists.get() != kCFBooleanTrue) return nullptr;
    CFRef<CFTypeRef> listing(
        VTU_URLCopyFileInfo(allocator, url, kCFURLFileDirectoryContents, nullptr));
    CFArrayRef items = vt::cf::Cast<CFArrayRef>(listing.get());
    if (!items) return nullptr;
    CFRef<CFMutableArrayRef> names(CFArrayCreateMutable(allocator, 0, &kCFTypeArrayCallBacks));
    if (!names) return nullptr;
    for (CFIndex i = 0, count = CFArrayGetCount(items); i < count; ++i) {
        CFURLRef item = vt::cf::Cast<CFURLRef>(CFArrayGetValueAtIndex(items, i));
        CFStringRef name = item ? CFURLGetString(item) : nullptr;
        if (name && !CFEqual(name, kVTFileNameDSStore)) CFArrayAppendValue(names.get(), name);
    }
    CFDictionarySetValue(entry, kCFURLFileDirectoryContents, names.get());
    return nullptr;
}

CFMutableDictionaryRef
VTPrivate_FilesCreateFileInfoWithParentArray(CFAllocatorRef allocator, CFURLRef url,
                                             CFMutableArrayRef owners,
                                             CFMutableDictionaryRef *outError) {
    CFMutableArrayRef ownerArray = vt::cf::CastMutable<CFMutableArrayRef>(owners);
    if (!vt::cf::Cast<CFURLRef>(url) || !ownerArray) {
        vt::errors::HandBack(VTErrorCreateNULLParam(allocator), outError);
        return nullptr;
    }
    CFMutableDictionaryRef entry = CreateEntry(allocator);
    if (!entry) return nullptr;
    CFDictionarySetValue(entry, kVTKeyKind, kVTKindFileInfo);
    CFDictionarySetValue(entry, kVTKeyOwners, ownerArray);
    vt::errors::HandBack(VTPrivate_FilesUpdateFileInfo(allocator, entry, url), outError);
    return entry;
}

CFMutableDictionaryRef VTPrivate_FilesCreateFileInfo(CFAllocatorRef allocator, CFURLRef url,
                                                     CFStringRef owner,
                                                     CFMutableDictionaryRef *outError) {
    CFRef<CFStringRef> stored(vt::doc::CreateStoredString(allocator, owner));
    if (!vt::cf::Cast<CFURLRef>(url) || !stored) {
        vt::errors::HandBack(VTErrorCreateNULLParam(allocator), outError);
        return nullptr;
    }
    CFRef<CFMutableArrayRef> owners(CFArrayCreateMutable(allocator, 0, &kCFTypeArrayCallBacks));
    if (!owners) return nullptr;
    CFArrayAppendValue(owners.get(), stored.get());
    return VTPrivate_FilesCreateFileInfoWithParentArray(allocator, url, owners.get(), outError);
}

CFMutableDictionaryRef VTPrivate_FilesSetFileInfoEntryForID(CFAllocatorRef allocator,
                                                            CFStringRef fileID, CFStringRef owner) {
    CFRef<CFStringRef> id = CFRef<CFStringRef>::Retain(vt::cf::Cast<CFStringRef>(fileID));
    if (!id || !vt::cf::Cast<CFStringRef>(owner)) return VTErrorCreateNULLParam(allocator);
    CFMutableDictionaryRef files = VTPrivate_GetFiles(allocator);
    if (!files)
        return vt::errors::CreateCantFindContainer(allocator,
                                                   "VTPrivate_FilesSetFileInfoEntryForID");
    if (CFMutableDictionaryRef entry = vt::doc::GetMutableDictionary(files, id.get())) {
        // Registering by ID only adds the owner; the contents list is
        // refreshed by URL or by a child library's registration.
        if (!AddOwner(allocator, entry, owner))
            return vt::errors::CreateOutOfMemory(allocator, "VTPrivate_FilesSetFileInfoEntryForID");
        return nullptr;
    }
    CFStringRef text = VTPrivate_MapGetValue(id.get());
    if (!text) return nullptr;
    CFRef<CFURLRef> url(CFURLCreateWithString(allocator, text, nullptr));
    if (!url) {
        // The map's text is no URL, or no URL could be made from it.
        CFRef<CFURLRef> probe(CFURLCreateWithString(kCFAllocatorSystemDefault, text, nullptr));
        return probe ? vt::errors::CreateOutOfMemory(allocator,
                                                     "VTPrivate_FilesSetFileInfoEntryForID")
                     : nullptr;
    }
    CFMutableDictionaryRef error = nullptr;
    StoreNewEntry(allocator, files, id.get(), url.get(), owner, &error,
                  "VTPrivate_FilesSetFileInfoEntryForID");
    return error;
}

CFStringRef VTPrivate_FilesSetFileInfoEntryForURL(CFAllocatorRef allocator, CFURLRef url,
                                                  CFStringRef owner,
                                                  CFMutableDictionaryRef *outError) {
    if (!vt::cf::Cast<CFURLRef>(url) || !vt::cf::Cast<CFStringRef>(owner)) return nullptr;
    // Checked before the map is touched: a file ID must never be known to
    // the map alone.
    CFMutableDictionaryRef files = VTPrivate_GetFiles(allocator);
    if (!files) {
        vt::errors::HandBack(
            vt::errors::CreateCantFindContainer(allocator, "VTPrivate_FilesSetFileInfoEntryForURL"),
            outError);
        return nullptr;
    }
    CFRef<CFMutableDictionaryRef> mapError;
    CFRef<CFStringRef> fileID(VTPrivate_MapCreateEntryIDWithURL(allocator, url, mapError.Out()));
    if (!fileID) {
        // A missing Map table keeps its own record; anything else is an ID
        // that could not be made.
        if (!vt::doc::Table(kVTTopLevelKeyMap))
            vt::errors::HandBack(mapError.Release(), outError);
        else
            vt::errors::HandBack(VTErrorCreateCore(allocator, CFSTR("UUID creation failed.")),
                                 outError);
        return nullptr;
    }
    if (CFMutableDictionaryRef entry = vt::doc::GetMutableDictionary(files, fileID.get())) {
        // Refreshed in place: keys that library registration or the host
        // stored (the folder's paths among them) survive a new registration.
        if (!AddOwner(allocator, entry, owner)) {
            vt::errors::HandBack(
                vt::errors::CreateOutOfMemory(allocator, "VTPrivate_FilesSetFileInfoEntryForURL"),
                outError);
            return nullptr;
        }
        if (!vt::doc::Get<CFStringRef>(entry, kVTKeyKind))
            CFDictionarySetValue(entry, kVTKeyKind, kVTKindFileInfo);
        CFDictionaryRemoveValue(entry, kCFURLFileDirectoryContents);
        vt::errors::HandBack(VTPrivate_FilesUpdateFileInfo(allocator, entry, url), outError);
        return fileID.Release();
    }
    if (!StoreNewEntry(allocator, files, fileID.get(), url, owner, outError,
                       "VTPrivate_FilesSetFileInfoEntryForURL"))
        return nullptr;
    return fileID.Release();
}

CFTypeRef VTFileGetValue(CFAllocatorRef allocator, CFStringRef fileID, CFStringRef key,
                         CFMutableDictionaryRef *outError) {
    if (!vt::cf::Cast<CFStringRef>(fileID) || !vt::cf::Cast<CFStringRef>(key)) {
        vt::errors::HandBack(VTErrorCreateNULLParamFormat(allocator, "VTFileGetValue"), outError);
        return nullptr;
    }
    CFMutableDictionaryRef entry = VTPrivate_GetOneFile(allocator, fileID);
    if (!entry) {
        vt::errors::HandBack(vt::errors::CreateCantFindContainer(allocator, "VTFileGetValue"),
                             outError);
        return nullptr;
    }
    return CFDictionaryGetValue(entry, key);
}

CFMutableDictionaryRef VTFileSetValue(CFAllocatorRef allocator, CFStringRef fileID, CFStringRef key,
                                      CFTypeRef value) {
    CFRef<CFStringRef> id = CFRef<CFStringRef>::Retain(vt::cf::Cast<CFStringRef>(fileID));
    CFRef<CFStringRef> storedKey(vt::doc::CreateStoredString(allocator, key));
    if (!id || !storedKey || !value)
        return VTErrorCreateNULLParamFormat(allocator, "VTFileSetValue");
    CFRef<CFPropertyListRef> stored(vt::doc::CreateStorableCopy(allocator, value));
    if (!stored) return vt::errors::CreateNotStorable(allocator, "VTFileSetValue");
    CFMutableDictionaryRef entry =
        vt::doc::GetMutableDictionary(VTPrivate_GetFiles(allocator), id.get());
    if (!entry) return vt::errors::CreateCantFindContainer(allocator, "VTFileSetValue");
    CFDictionarySetValue(entry, storedKey.get(), stored.get());
    return nullptr;
}

CFStringRef VTFileGetURL(CFStringRef fileID) {
    return VTPrivate_MapGetValue(fileID);
}

} // extern "C"
