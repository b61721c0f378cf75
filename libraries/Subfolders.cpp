// Subfolder registration: one level of child libraries grown from the
// subfolders of a library's folder, each with the items inside it as files.
#include "errors/ErrorsPrivate.h"
#include "libraries/LibrariesPrivate.h"
#include "libraries/ParentRefresh.h"

#include <Vantrell/Document.h>
#include <Vantrell/Errors.h>

#include "document/Tables.h"
#include "platform/values/Cast.h"
#include "platform/values/Guard.h"
#include "platform/values/Holder.h"
#include "tables/TablesPrivate.h"
#include "utilities/UtilitiesPrivate.h"

#include <utility>
#include <vector>

using vt::CFRef;

namespace {

constexpr const char *kName = "VTLibraryRegisterSubfolders";

// The record the pass will return: a later record replaces an earlier one,
// a step that produces none leaves it as it is.
class CurrentResult {
  public:
    void Take(CFMutableDictionaryRef record) {
        if (record) record_.Reset(record);
    }
    // A value the pass needed could not be made: the pass must not look
    // like one that found nothing to do.
    void OutOfMemory(CFAllocatorRef allocator) {
        Take(vt::errors::CreateOutOfMemory(allocator, kName));
    }
    CFMutableDictionaryRef Release() { return record_.Release(); }

  private:
    CFRef<CFMutableDictionaryRef> record_;
};

// Suspends registration's parent-listing refresh for the pass and puts the
// previous setting back however the pass ends.
class ParentRefreshPause {
  public:
    ParentRefreshPause() : previous_(VTPrivate_LibraryParentRefreshSuspended()) {
        VTPrivate_LibrarySetParentRefreshSuspended(true);
    }
    ~ParentRefreshPause() { VTPrivate_LibrarySetParentRefreshSuspended(previous_); }
    ParentRefreshPause(const ParentRefreshPause &) = delete;
    ParentRefreshPause &operator=(const ParentRefreshPause &) = delete;

  private:
    Boolean previous_;
};

struct Subfolder {
    CFRef<CFStringRef> name; // the listing entry's text without its "/"
    CFRef<CFURLRef> url;     // absolute
};

// The library's folder as a URL, or NULL; an unknown library leaves its
// record in the result.
CFURLRef CreateLibraryFolderURL(CFAllocatorRef allocator, CFStringRef libraryID,
                                CurrentResult &result) {
    CFMutableDictionaryRef error = nullptr;
    CFStringRef mapID = vt::cf::Cast<CFStringRef>(
        VTLibraryGetValue(allocator, libraryID, kVTFileInfoKeyURLMapID, &error));
    result.Take(error);
    CFStringRef text = mapID ? VTPrivate_MapGetValue(mapID) : nullptr;
    CFURLRef url = text ? CFURLCreateWithString(allocator, text, nullptr) : nullptr;
    if (text && !url) result.OutOfMemory(allocator);
    return url;
}

// A folder listing, or NULL; a folder that exists but gives no listing is a
// failure of the pass rather than an empty folder.
CFMutableArrayRef CopyListing(CFAllocatorRef allocator, CFURLRef folder, CurrentResult &result) {
    CFMutableArrayRef listing = VTU_URLCopyDirectoryContents(allocator, folder);
    if (!listing) {
        CFRef<CFTypeRef> exists(
            VTU_URLCopyFileInfo(kCFAllocatorSystemDefault, folder, kCFURLFileExists, nullptr));
        if (exists.get() == kCFBooleanTrue) result.OutOfMemory(allocator);
    }
    return listing;
}

// The subfolders of the folder that the URL map does not know yet, in
// listing order (the platform lists by name), so every run takes them in the
// same order.
std::vector<Subfolder> CollectNewSubfolders(CFAllocatorRef allocator, CFURLRef folder,
                                            CurrentResult &result) {
    std::vector<Subfolder> found;
    CFRef<CFMutableArrayRef> listing(CopyListing(allocator, folder, result));
    CFIndex count = listing ? CFArrayGetCount(listing.get()) : 0;
    for (CFIndex i = 0; i < count; ++i) {
        CFURLRef entry = vt::cf::Cast<CFURLRef>(CFArrayGetValueAtIndex(listing.get(), i));
        // Bundles count like any folder: only the directory path decides.
        if (!entry || !CFURLHasDirectoryPath(entry)) continue;
        CFRef<CFURLRef> absolute(CFURLCopyAbsoluteURL(entry));
        if (!absolute) {
            result.OutOfMemory(allocator);
            continue;
        }
        if (VTPrivate_MapGetEntryIDForURL(absolute.get())) continue;
        CFRef<CFStringRef> name(VTU_StringCreateMutableCopyTrimmingSuffix(
            allocator, CFURLGetString(entry), CFSTR("/")));
        if (!name) {
            result.OutOfMemory(allocator);
            continue;
        }
        found.push_back({std::move(name), std::move(absolute)});
    }
    return found;
}

// Registers every item of the child's folder as a file of the child. The
// child's "Files" is tested through a set made for this call rather than a
// scan per item.
void RegisterItems(CFAllocatorRef allocator, CFStringRef childID, CFURLRef folder,
                   CurrentResult &result) {
    CFRef<CFMutableArrayRef> listing(CopyListing(allocator, folder, result));
    CFIndex count = listing ? CFArrayGetCount(listing.get()) : 0;
    if (count == 0) return;
    CFRef<CFMutableDictionaryRef> held(CFDictionaryCreateMutable(
        kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    if (!held) {
        result.OutOfMemory(allocator);
        return;
    }
    bool heldKnown = false;
    for (CFIndex i = 0; i < count; ++i) {
        CFURLRef entry = vt::cf::Cast<CFURLRef>(CFArrayGetValueAtIndex(listing.get(), i));
        CFRef<CFURLRef> item(entry ? CFURLCopyAbsoluteURL(entry) : nullptr);
        if (!item) {
            if (entry) result.OutOfMemory(allocator);
            continue;
        }
        CFMutableDictionaryRef error = nullptr;
        CFRef<CFStringRef> fileID(
            VTPrivate_FilesSetFileInfoEntryForURL(allocator, item.get(), childID, &error));
        result.Take(error);
        if (!fileID) continue;
        error = nullptr;
        CFMutableArrayRef files = VTLibraryGetFiles(allocator, childID, &error);
        result.Take(error);
        if (!files) continue;
        if (!heldKnown) {
            for (CFIndex j = 0, n = CFArrayGetCount(files); j < n; ++j)
                CFDictionarySetValue(held.get(), CFArrayGetValueAtIndex(files, j), kCFBooleanTrue);
            heldKnown = true;
        }
        if (CFDictionaryContainsKey(held.get(), fileID.get())) continue;
        CFArrayAppendValue(files, fileID.get());
        CFDictionarySetValue(held.get(), fileID.get(), kCFBooleanTrue);
    }
}

// Makes and registers the child library for one subfolder; true when the
// child is registered afterwards, whatever records the steps left.
bool RegisterChild(CFAllocatorRef allocator, CFStringRef parentID, CFStringRef childID,
                   const Subfolder &subfolder, CurrentResult &result) {
    CFMutableDictionaryRef error = nullptr;
    CFRef<CFStringRef> descriptionID(VTLibraryDescriptionCreateMinimal(
        allocator, parentID, childID, subfolder.name.get(), &error));
    result.Take(error);
    if (!descriptionID) return false;
    CFMutableDictionaryRef record = VTLibraryDescriptionSetFolderInfoWithURL(
        allocator, descriptionID.get(), subfolder.url.get(), nullptr);
    if (record) {
        result.Take(record);
        // Nobody else holds the description ID: a description left in the
        // store could never be reached again.
        VTPrivate_RemoveLibraryDescription(descriptionID.get());
        return false;
    }
    result.Take(VTDocumentRegisterLibrary(allocator, descriptionID.get(), nullptr));
    // A failed registration leaves the description behind; a successful one
    // has dropped it already.
    VTPrivate_RemoveLibraryDescription(descriptionID.get());
    return VTPrivate_LibraryIDIsRegistered(childID);
}

// Brings the listing held in the library's folder file entry up to date once,
// as each child's registration would have done.
void RefreshFolderEntry(CFAllocatorRef allocator, CFStringRef libraryID, CFURLRef folder,
                        CurrentResult &result) {
    CFStringRef mapID = VTLibraryGetURLMapID(allocator, libraryID, nullptr);
    if (!mapID || !VTPrivate_MapContainsID(mapID)) return;
    if (CFMutableDictionaryRef entry = VTPrivate_GetOneFile(allocator, mapID))
        result.Take(VTPrivate_FilesUpdateFileInfo(allocator, entry, folder));
}

CFMutableDictionaryRef RegisterSubfolders(CFAllocatorRef allocator, CFStringRef libraryID) {
    CurrentResult result;
    CFRef<CFURLRef> folder(CreateLibraryFolderURL(allocator, libraryID, result));
    if (!folder) return result.Release();
    std::vector<Subfolder> subfolders = CollectNewSubfolders(allocator, folder.get(), result);

    bool registeredAny = false;
    {
        ParentRefreshPause pause;
        for (const Subfolder &subfolder : subfolders) {
            CFRef<CFStringRef> hash(VTU_StringCreateHashedWithMD5(allocator, subfolder.name.get()));
            CFRef<CFStringRef> childID(
                hash ? CFStringCreateWithFormat(allocator, nullptr, CFSTR("%@.%@"),
                                                kVTLibraryAutoIDPrefix, hash.get())
                     : nullptr);
            if (!childID) {
                result.OutOfMemory(allocator);
                continue;
            }
            // A folder of the same name elsewhere already owns this ID; taking
            // it over would move that library here.
            if (VTPrivate_LibraryIDIsRegistered(childID.get())) {
                result.Take(VTErrorCreateCoreFormat(
                    allocator, CFSTR("%s: Library already registered for subfolder."), kName));
                continue;
            }
            if (!RegisterChild(allocator, libraryID, childID.get(), subfolder, result)) continue;
            registeredAny = true;
            RegisterItems(allocator, childID.get(), subfolder.url.get(), result);
        }
    }
    if (registeredAny) RefreshFolderEntry(allocator, libraryID, folder.get(), result);
    return result.Release();
}

} // namespace

extern "C" {

CFMutableDictionaryRef VTLibraryRegisterSubfolders(CFAllocatorRef allocator,
                                                   CFStringRef libraryID) {
    if (!libraryID) return VTErrorCreateNULLParam(allocator);
    return vt::Guard(CFMutableDictionaryRef(nullptr),
                     [&] { return RegisterSubfolders(allocator, libraryID); });
}

} // extern "C"
