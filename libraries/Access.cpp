// Library access: a library's property set, the files it holds, and the
// listings of library and file IDs.
//
// Every value read from the document is type-checked where it is used: a
// table, record or list of the wrong type counts as absent, so a hand-edited
// or foreign document cannot crash these operations.
#include "errors/ErrorsPrivate.h"
#include "libraries/LibrariesPrivate.h"

#include <Vantrell/Document.h>
#include <Vantrell/Errors.h>
#include <Vantrell/Tables.h>
#include <Vantrell/Utilities.h>

#include "document/Tables.h"
#include "platform/values/Guard.h"
#include "platform/values/Holder.h"
#include "tables/TablesPrivate.h"

#include <cstdint>

using vt::CFRef;
using vt::cf::Cast;

namespace {

// The library's record, or NULL with the record the library look-up makes.
CFMutableDictionaryRef FindLibrary(CFAllocatorRef allocator, CFStringRef libraryID,
                                   CFRef<CFMutableDictionaryRef> &error) {
    VTLibraryGetValue(allocator, libraryID, kVTKeyFiles, error.Out());
    CFMutableDictionaryRef record = error ? nullptr : VTPrivate_GetOneLibrary(libraryID);
    if (!record && !error)
        error.Reset(vt::errors::CreateCantFindContainer(allocator, "VTLibraryGetValue"));
    return record;
}

// Where each file ID stands in the "Files" array a file was last added to, so
// that adding a file does not compare it with every file already there:
// registering a folder of thousands of files one by one would otherwise be
// quadratic. Trusted only while it is the same array with the count and last
// element it had when last brought up to date, else rebuilt by one scan; a
// "present" answer is checked at its position, so a stale memory can never
// keep a file out.
class FilesIndex {
  public:
    bool Contains(CFArrayRef files, CFStringRef id) {
        if (!Current(files)) return VTU_ArrayContainsValue(files, id);
        const void *slot = nullptr;
        if (!CFDictionaryGetValueIfPresent(positions_.get(), id, &slot)) return false;
        CFIndex at = static_cast<CFIndex>(reinterpret_cast<uintptr_t>(slot)) - 1;
        if (at >= 0 && at < count_ && CFEqual(CFArrayGetValueAtIndex(files, at), id)) return true;
        array_.Reset();
        return VTU_ArrayContainsValue(files, id);
    }

    // Records an append just made to the array.
    void Appended(CFArrayRef files) {
        CFIndex count = CFArrayGetCount(files);
        if (array_.get() != files || count != count_ + 1) {
            array_.Reset();
            return;
        }
        Note(CFArrayGetValueAtIndex(files, count_), count_);
        count_ = count;
        last_ = CFArrayGetValueAtIndex(files, count - 1);
    }

  private:
    bool Current(CFArrayRef files) {
        CFIndex count = CFArrayGetCount(files);
        const void *last = count ? CFArrayGetValueAtIndex(files, count - 1) : nullptr;
        if (array_.get() == files && count == count_ && last == last_) return true;
        array_.Reset();
        // Positions are kept as plain numbers, not objects.
        positions_.Reset(CFDictionaryCreateMutable(kCFAllocatorDefault, count,
                                                   &kCFTypeDictionaryKeyCallBacks, nullptr));
        if (!positions_) return false;
        for (CFIndex i = 0; i < count; ++i)
            Note(CFArrayGetValueAtIndex(files, i), i);
        array_ = CFRef<CFArrayRef>::Retain(files);
        count_ = count;
        last_ = last;
        return true;
    }

    // The first position of an ID wins.
    void Note(const void *id, CFIndex at) {
        if (!CFDictionaryContainsKey(positions_.get(), id))
            CFDictionaryAddValue(positions_.get(), id,
                                 reinterpret_cast<const void *>(static_cast<uintptr_t>(at + 1)));
    }

    CFRef<CFArrayRef> array_; // retained so that its address is not reused
    CFRef<CFMutableDictionaryRef> positions_;
    CFIndex count_ = 0;
    const void *last_ = nullptr;
};

// Process-wide, like the document; never destroyed, so no release runs after
// the value layer is gone at exit.
FilesIndex &Index() {
    static FilesIndex *index = new FilesIndex;
    return *index;
}

// Appends the file ID to the record's "Files" unless it is already there; a
// record without a "Files" array is left as it is. False when memory ran out.
bool AddFile(CFAllocatorRef allocator, CFMutableDictionaryRef record, CFStringRef fileID) {
    CFMutableArrayRef files = vt::doc::GetMutableArray(record, kVTKeyFiles);
    if (!files) return true;
    return vt::Guard(false, [&] {
        if (Index().Contains(files, fileID)) return true;
        CFRef<CFStringRef> stored(vt::doc::CreateStoredString(allocator, fileID));
        if (!stored) return false;
        CFIndex before = CFArrayGetCount(files);
        CFArrayAppendValue(files, stored.get());
        if (CFArrayGetCount(files) == before) return false;
        Index().Appended(files);
        return true;
    });
}

void RemoveFirst(CFMutableArrayRef array, CFTypeRef value) {
    for (CFIndex i = 0, count = array ? CFArrayGetCount(array) : 0; i < count; ++i) {
        if (CFEqual(CFArrayGetValueAtIndex(array, i), value)) {
            CFArrayRemoveValueAtIndex(array, i);
            return;
        }
    }
}

// A new array of the dictionary's keys.
CFMutableArrayRef CreateKeyArray(CFAllocatorRef allocator, CFDictionaryRef table) {
    CFMutableArrayRef keys =
        CFArrayCreateMutable(allocator, CFDictionaryGetCount(table), &kCFTypeArrayCallBacks);
    if (!keys) return nullptr;
    CFDictionaryApplyFunction(
        table,
        [](const void *key, const void *, void *context) {
            CFArrayAppendValue(static_cast<CFMutableArrayRef>(context), key);
        },
        keys);
    return keys;
}

// The IDs of the libraries whose "Title" the predicate accepts. Look-up
// records do not stop the scan; the last one is handed back.
template <class Matches>
CFArrayRef CopyLibraryIDsWithTitle(CFAllocatorRef allocator, const char *name, CFStringRef wanted,
                                   CFMutableDictionaryRef *outError, Matches matches) {
    if (!Cast<CFStringRef>(wanted)) {
        vt::errors::HandBack(VTErrorCreateNULLParamFormat(allocator, name), outError);
        return nullptr;
    }
    CFRef<CFArrayRef> ids(VTDocumentCopyLibraryIDs(allocator, outError));
    if (!ids) return nullptr;
    CFRef<CFMutableArrayRef> found(CFArrayCreateMutable(allocator, 0, &kCFTypeArrayCallBacks));
    if (!found) return nullptr;
    CFRef<CFMutableDictionaryRef> last;
    for (CFIndex i = 0, count = CFArrayGetCount(ids.get()); i < count; ++i) {
        CFStringRef id = Cast<CFStringRef>(CFArrayGetValueAtIndex(ids.get(), i));
        if (!id) continue;
        CFRef<CFMutableDictionaryRef> error;
        CFStringRef propertyID = VTLibraryGetPropertyID(allocator, id, error.Out());
        CFStringRef title = propertyID ? Cast<CFStringRef>(VTPropertyGetValue(
                                             allocator, propertyID, kVTKeyTitle, error.Out()))
                                       : nullptr;
        if (error) last = std::move(error);
        if (title && matches(title, wanted)) CFArrayAppendValue(found.get(), id);
    }
    if (last) vt::errors::HandBack(last.Release(), outError);
    return found.Release();
}

} // namespace

extern "C" {

CFTypeRef VTLibraryPropertyGetValue(CFAllocatorRef allocator, CFStringRef libraryID,
                                    CFStringRef key, CFMutableDictionaryRef *outError) {
    CFStringRef propertyID = VTLibraryGetPropertyID(allocator, libraryID, outError);
    return propertyID ? VTPropertyGetValue(allocator, propertyID, key, outError) : nullptr;
}

CFMutableDictionaryRef VTLibraryPropertySetValue(CFAllocatorRef allocator, CFStringRef libraryID,
                                                 CFStringRef key, CFTypeRef value) {
    if (!libraryID || !key || !value) return nullptr;
    CFRef<CFMutableDictionaryRef> result;
    CFStringRef propertyID = VTLibraryGetPropertyID(allocator, libraryID, result.Out());
    if (propertyID) result.Reset(VTPropertySetValue(allocator, propertyID, key, value));
    return result.Release();
}

CFMutableDictionaryRef VTLibraryRegisterFileID(CFAllocatorRef allocator, CFStringRef libraryID,
                                               CFStringRef fileID) {
    if (!Cast<CFStringRef>(libraryID) || !Cast<CFStringRef>(fileID))
        return VTErrorCreateNULLParam(allocator);
    CFRef<CFStringRef> keepLibrary = CFRef<CFStringRef>::Retain(libraryID);
    CFRef<CFStringRef> keepFile = CFRef<CFStringRef>::Retain(fileID);
    // An unknown library or file must not leave an owner or a file ID behind
    // that points at nothing.
    CFRef<CFMutableDictionaryRef> error;
    if (!FindLibrary(allocator, libraryID, error)) return error.Release();
    if (!vt::doc::TableGet<CFDictionaryRef>(kVTTopLevelKeyFiles, fileID) &&
        !VTPrivate_MapContainsID(fileID))
        return vt::errors::CreateCantFindContainer(allocator, "VTLibraryRegisterFileID");
    if (CFMutableDictionaryRef record =
            VTPrivate_FilesSetFileInfoEntryForID(allocator, fileID, libraryID))
        return record;
    if (!AddFile(allocator, VTPrivate_GetOneLibrary(libraryID), fileID))
        return vt::errors::CreateOutOfMemory(allocator, "VTLibraryRegisterFileID");
    return nullptr;
}

CFStringRef VTLibraryRegisterURL(CFAllocatorRef allocator, CFStringRef libraryID, CFURLRef fileURL,
                                 CFMutableDictionaryRef *outError) {
    if (!Cast<CFStringRef>(libraryID) || !Cast<CFURLRef>(fileURL)) {
        vt::errors::HandBack(VTErrorCreateNULLParam(allocator), outError);
        return nullptr;
    }
    CFRef<CFStringRef> keepLibrary = CFRef<CFStringRef>::Retain(libraryID);
    CFRef<CFMutableDictionaryRef> error;
    if (!FindLibrary(allocator, libraryID, error)) {
        vt::errors::HandBack(error.Release(), outError);
        return nullptr;
    }
    CFStringRef fileID =
        VTPrivate_FilesSetFileInfoEntryForURL(allocator, fileURL, libraryID, outError);
    if (fileID && !AddFile(allocator, VTPrivate_GetOneLibrary(libraryID), fileID)) {
        // The entry names the library as an owner: take that back, so that
        // the failure leaves no half registration.
        CFRef<CFMutableDictionaryRef> ignored(
            VTPrivate_FileRemoveOwner(allocator, fileID, libraryID));
        CFRelease(fileID);
        vt::errors::HandBack(vt::errors::CreateOutOfMemory(allocator, "VTLibraryRegisterURL"),
                             outError);
        return nullptr;
    }
    return fileID;
}

CFMutableDictionaryRef VTPrivate_FileRemoveOwner(CFAllocatorRef allocator, CFStringRef fileID,
                                                 CFStringRef libraryID) {
    // One keyed look-up per file: a library of many files is removed file by
    // file. The entry's own accessor makes the record when there is none.
    CFMutableDictionaryRef entry =
        Cast<CFStringRef>(fileID)
            ? vt::doc::GetMutableDictionary(vt::doc::Table(kVTTopLevelKeyFiles), fileID)
            : nullptr;
    if (!entry) {
        CFMutableDictionaryRef error = nullptr;
        VTFileGetValue(allocator, fileID, kVTKeyOwners, &error);
        return error;
    }
    RemoveFirst(vt::doc::GetMutableArray(entry, kVTKeyOwners), libraryID);
    return nullptr;
}

CFMutableDictionaryRef VTLibraryUnregisterFileID(CFAllocatorRef allocator, CFStringRef libraryID,
                                                 CFStringRef fileID) {
    if (!Cast<CFStringRef>(libraryID) || !Cast<CFStringRef>(fileID))
        return VTErrorCreateNULLParam(allocator);
    // Either ID may be borrowed from an array this call edits.
    CFRef<CFStringRef> keepLibrary = CFRef<CFStringRef>::Retain(libraryID);
    CFRef<CFStringRef> keepFile = CFRef<CFStringRef>::Retain(fileID);
    // The library's own folder entry keeps the library as an owner while its
    // "URLMapID" names it: without that, removing another library on the
    // same folder would take the entry and leave this one's folder dangling.
    CFStringRef ownFolder =
        vt::doc::Get<CFStringRef>(VTPrivate_GetOneLibrary(libraryID), kVTFileInfoKeyURLMapID);
    CFRef<CFMutableDictionaryRef> result(
        ownFolder && CFEqual(ownFolder, fileID)
            ? nullptr
            : VTPrivate_FileRemoveOwner(allocator, fileID, libraryID));
    CFRef<CFMutableDictionaryRef> lookUp;
    CFMutableArrayRef files = VTLibraryGetFiles(allocator, libraryID, lookUp.Out());
    if (lookUp) result = std::move(lookUp);
    if (!files) return VTErrorCreateCore(allocator, CFSTR("Can't find container."));
    RemoveFirst(files, fileID);
    return result.Release();
}

CFMutableDictionaryRef VTLibraryUnregisterURL(CFAllocatorRef allocator, CFStringRef libraryID,
                                              CFURLRef fileURL) {
    if (!Cast<CFStringRef>(libraryID) || !Cast<CFURLRef>(fileURL))
        return VTErrorCreateNULLParam(allocator);
    CFRef<CFStringRef> fileID = CFRef<CFStringRef>::Retain(VTPrivate_MapGetEntryIDForURL(fileURL));
    if (!fileID) return nullptr;
    return VTLibraryUnregisterFileID(allocator, libraryID, fileID.get());
}

CFArrayRef VTDocumentCopyLibraryIDs(CFAllocatorRef allocator, CFMutableDictionaryRef *outError) {
    CFMutableDictionaryRef libraries = VTPrivate_GetLibraries();
    CFMutableArrayRef ids = libraries ? CreateKeyArray(allocator, libraries) : nullptr;
    if (!ids)
        vt::errors::HandBack(VTErrorCreateCoreFormat(allocator,
                                                     CFSTR("%s:: Can't find libraries container."),
                                                     "VTDocumentCopyLibraryIDs"),
                             outError);
    return ids;
}

CFArrayRef VTDocumentCopyLibraryIDsWithTitle(CFAllocatorRef allocator, CFStringRef title,
                                             CFMutableDictionaryRef *outError) {
    return CopyLibraryIDsWithTitle(allocator, "VTDocumentCopyLibraryIDsWithTitle", title, outError,
                                   [](CFStringRef candidate, CFStringRef wanted) {
                                       return CFStringCompare(candidate, wanted, 0) ==
                                              kCFCompareEqualTo;
                                   });
}

CFArrayRef VTDocumentCopyLibraryIDsWithTitleContainingSubstring(CFAllocatorRef allocator,
                                                                CFStringRef substring,
                                                                CFMutableDictionaryRef *outError) {
    return CopyLibraryIDsWithTitle(
        allocator, "VTDocumentCopyLibraryIDsWithTitleContainingSubstring", substring, outError,
        [](CFStringRef candidate, CFStringRef wanted) {
            return CFStringFind(candidate, wanted, kCFCompareCaseInsensitive | kCFCompareNonliteral)
                       .location != kCFNotFound;
        });
}

CFArrayRef VTDocumentCopyFileIDs(CFAllocatorRef allocator, CFMutableDictionaryRef *outError) {
    CFMutableDictionaryRef files = VTPrivate_GetFiles(allocator);
    CFMutableArrayRef ids = files ? CreateKeyArray(allocator, files) : nullptr;
    if (!ids)
        vt::errors::HandBack(
            vt::errors::CreateCantFindContainer(allocator, "VTDocumentCopyFileIDs"), outError);
    return ids;
}

} // extern "C"
