// Library registration: a description becomes the library record filed in
// the document's Libraries table, and the accessors of that table and its
// records.
//
// Every value read from the document is type-checked where it is used: a
// table, record or list of the wrong type counts as absent, so a hand-edited
// or foreign document cannot crash a registration.
#include "errors/ErrorsPrivate.h"
#include "libraries/LibrariesPrivate.h"
#include "libraries/ParentRefresh.h"

#include <Vantrell/Document.h>
#include <Vantrell/Errors.h>

#include "document/DocumentPrivate.h"
#include "document/Tables.h"
#include "platform/values/Guard.h"
#include "platform/values/Holder.h"
#include "tables/TablesPrivate.h"
#include "utilities/UtilitiesPrivate.h"

#include <initializer_list>
#include <unordered_map>
#include <utility>

using vt::CFRef;
using vt::doc::Get;

namespace {

constexpr const char *kRegister = "VTDocumentRegisterLibrary";

// Would following "ParentID" links up from parentID reach libraryID? A loop
// already in the document ends the walk after as many steps as there are
// records.
bool ParentChainReaches(CFStringRef parentID, CFStringRef libraryID) {
    CFDictionaryRef libraries = VTPrivate_GetLibraries();
    CFIndex steps = libraries ? CFDictionaryGetCount(libraries) + 1 : 1;
    for (CFStringRef id = parentID; id && steps-- > 0;) {
        if (CFEqual(id, libraryID)) return true;
        if (VTPrivate_LibraryIDIsRoot(id)) return false;
        id = Get<CFStringRef>(Get<CFDictionaryRef>(libraries, id), kVTKeyParentID);
    }
    return false;
}

// The elements of first, then those of second, each value once.
CFMutableArrayRef CreateUnion(CFAllocatorRef allocator, CFArrayRef first, CFArrayRef second) {
    CFRef<CFMutableArrayRef> merged(CFArrayCreateMutable(allocator, 0, &kCFTypeArrayCallBacks));
    CFRef<CFMutableDictionaryRef> seen(CFDictionaryCreateMutable(
        kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    if (!merged || !seen) return nullptr;
    for (CFArrayRef array : {first, second}) {
        CFIndex count = array ? CFArrayGetCount(array) : 0;
        for (CFIndex i = 0; i < count; ++i) {
            const void *value = CFArrayGetValueAtIndex(array, i);
            if (!value || CFDictionaryContainsKey(seen.get(), value)) continue;
            CFDictionaryAddValue(seen.get(), value, kCFBooleanTrue);
            CFArrayAppendValue(merged.get(), value);
        }
    }
    return merged.Release();
}

// A library registered again keeps the files and children it had: the host
// re-registers libraries at start-up and must not lose them. The merged
// lists are made before anything changes, so that running out of memory
// fails the registration instead of dropping them. False when a list cannot
// be made.
struct KeptLists {
    CFRef<CFMutableArrayRef> files;
    CFRef<CFMutableArrayRef> children;
};

bool MergeLists(CFAllocatorRef allocator, CFDictionaryRef record, CFDictionaryRef previous,
                KeptLists &kept) {
    for (CFStringRef key : {kVTKeyFiles, kVTKeyChildren}) {
        CFArrayRef before = Get<CFArrayRef>(previous, key);
        if (!before) continue;
        CFRef<CFMutableArrayRef> merged(
            CreateUnion(allocator, before, Get<CFArrayRef>(record, key)));
        if (!merged) return false;
        (key == kVTKeyFiles ? kept.files : kept.children) = std::move(merged);
    }
    return true;
}

void KeepLists(CFMutableDictionaryRef record, KeptLists &kept) {
    if (kept.files) vt::doc::Set(record, kVTKeyFiles, kept.files.get());
    if (kept.children) vt::doc::Set(record, kVTKeyChildren, kept.children.get());
}

// Which IDs each parent's "Children" array holds, so that linking a child
// does not compare it with every sibling: with hundreds of children a parent
// would otherwise cost a scan of scattered strings per registration. An entry
// is trusted only while its array is the same object, with the count and
// last element it had when the entry was last brought up to date; otherwise
// one scan rebuilds it. A "present" answer is confirmed by a scan, so a stale
// entry can never keep a child out of its parent.
class ChildrenIndex {
  public:
    bool Contains(CFDictionaryRef libraries, CFArrayRef children, CFStringRef id) {
        // 0: not there; -1: possibly there, to be confirmed by a scan.
        int answer = vt::Guard(-1, [&] {
            Entry *entry = Current(libraries, children);
            return entry && !CFDictionaryContainsKey(entry->members.get(), id) ? 0 : -1;
        });
        return answer != 0 && VTU_ArrayContainsValue(children, id);
    }

    // Records an append just made to the array.
    void Appended(CFArrayRef children, CFStringRef id) {
        vt::Guard([&] {
            auto found = entries_.find(children);
            if (found == entries_.end()) return;
            Entry &entry = found->second;
            CFIndex count = CFArrayGetCount(children);
            if (entry.count + 1 != count) {
                entries_.erase(found);
                return;
            }
            CFDictionarySetValue(entry.members.get(), id, kCFBooleanTrue);
            entry.count = count;
            entry.last = CFArrayGetValueAtIndex(children, count - 1);
        });
    }

  private:
    struct Entry {
        CFRef<CFArrayRef> array; // retained so that its address is not reused
        CFIndex count = 0;
        const void *last = nullptr;
        CFRef<CFMutableDictionaryRef> members;
    };

    Entry *Current(CFDictionaryRef libraries, CFArrayRef children) {
        // Entries belong to one Libraries table; another document starts afresh.
        if (libraries != libraries_.get()) {
            entries_.clear();
            libraries_ = CFRef<CFDictionaryRef>::Retain(libraries);
        }
        CFIndex count = CFArrayGetCount(children);
        const void *last = count ? CFArrayGetValueAtIndex(children, count - 1) : nullptr;
        Entry &entry = entries_[children];
        if (entry.array && entry.members && entry.count == count && entry.last == last)
            return &entry;
        entry.array = CFRef<CFArrayRef>::Retain(children);
        entry.members.Reset(CFDictionaryCreateMutable(kCFAllocatorDefault, count,
                                                      &kCFTypeDictionaryKeyCallBacks,
                                                      &kCFTypeDictionaryValueCallBacks));
        if (!entry.members) {
            entries_.erase(children);
            return nullptr;
        }
        for (CFIndex i = 0; i < count; ++i)
            CFDictionarySetValue(entry.members.get(), CFArrayGetValueAtIndex(children, i),
                                 kCFBooleanTrue);
        entry.count = count;
        entry.last = last;
        return &entry;
    }

    CFRef<CFDictionaryRef> libraries_;
    std::unordered_map<CFArrayRef, Entry> entries_;
};

// Process-wide, like the document; never destroyed, so no release runs after
// the value layer is gone at exit.
ChildrenIndex &Children() {
    static ChildrenIndex *index = new ChildrenIndex;
    return *index;
}

void RemoveChild(CFStringRef parentID, CFStringRef libraryID) {
    CFMutableArrayRef children =
        vt::doc::GetMutableArray(VTPrivate_GetOneLibrary(parentID), kVTKeyChildren);
    for (CFIndex i = children ? CFArrayGetCount(children) : 0; i-- > 0;)
        if (CFEqual(CFArrayGetValueAtIndex(children, i), libraryID))
            CFArrayRemoveValueAtIndex(children, i);
}

void CopyFolderInfo(CFMutableDictionaryRef entry, CFDictionaryRef folderInfo) {
    CFDictionaryApplyFunction(
        folderInfo,
        [](const void *key, const void *value, void *context) {
            if (vt::cf::Cast<CFStringRef>(key))
                CFDictionarySetValue(static_cast<CFMutableDictionaryRef>(context), key, value);
        },
        entry);
}

// Refreshes the folder listing held in the parent's folder file entry, so it
// shows the new child's folder; the refresh's outcome becomes the result.
void RefreshParentFolder(CFAllocatorRef allocator, CFStringRef parentMapID,
                         CFRef<CFMutableDictionaryRef> &result) {
    CFStringRef text = vt::cf::Cast<CFStringRef>(VTPrivate_MapGetValue(parentMapID));
    if (!text) return;
    CFRef<CFURLRef> url(CFURLCreateWithString(allocator, text, nullptr));
    if (!url) return;
    if (CFMutableDictionaryRef entry = VTPrivate_GetOneFile(allocator, parentMapID))
        result.Reset(VTPrivate_FilesUpdateFileInfo(allocator, entry, url.get()));
}

// A new string equal to the ID and distinct from every object the document
// holds, so the caller's release can never touch the document.
CFStringRef CreateDistinctCopy(CFAllocatorRef allocator, CFStringRef id) {
    CFRef<CFMutableStringRef> scratch(CFStringCreateMutableCopy(allocator, 0, id));
    return scratch ? CFStringCreateCopy(allocator, scratch.get()) : nullptr;
}

// Set by a pass that refreshes the parent's listing once itself.
bool gVTParentRefreshSuspended = false;

} // namespace

extern "C" {

void VTPrivate_LibrarySetParentRefreshSuspended(Boolean suspended) {
    gVTParentRefreshSuspended = suspended;
}

Boolean VTPrivate_LibraryParentRefreshSuspended(void) {
    return gVTParentRefreshSuspended;
}

Boolean VTPrivate_LibraryIDIsRegistered(CFStringRef libraryID) {
    return libraryID && Get<CFDictionaryRef>(VTPrivate_GetLibraries(), libraryID) != nullptr;
}

CFMutableDictionaryRef VTPrivate_GetLibraries(void) {
    return vt::doc::Table(kVTTopLevelKeyLibraries);
}

void VTPrivate_SetLibraries(CFMutableDictionaryRef libraries) {
    VTPrivate_DocumentValueSet(kVTTopLevelKeyLibraries, libraries);
}

CFMutableDictionaryRef VTPrivate_GetOneLibrary(CFStringRef libraryID) {
    if (!libraryID) return nullptr;
    return vt::doc::GetMutableDictionary(VTPrivate_GetLibraries(), libraryID);
}

CFMutableDictionaryRef VTDocumentRegisterLibrary(CFAllocatorRef allocator,
                                                 CFStringRef descriptionID,
                                                 CFStringRef *outLibraryID) {
    if (!descriptionID) return VTErrorCreateNULLParamFormat(allocator, kRegister);
    // The caller's ID may be the store's own key, which the removal releases.
    CFRef<CFStringRef> keepDescriptionID = CFRef<CFStringRef>::Retain(descriptionID);
    CFMutableDictionaryRef libraries = VTPrivate_GetLibraries();
    if (!libraries) return vt::errors::CreateCantFindContainer(allocator, kRegister);
    CFRef<CFMutableDictionaryRef> record = CFRef<CFMutableDictionaryRef>::Retain(
        VTPrivate_GetLibraryDescription(allocator, descriptionID, nullptr));
    if (!record)
        return VTErrorCreateCoreFormat(allocator, CFSTR("%s:: Library description not found."),
                                       kRegister);
    CFMutableDictionaryRef description = record.get();

    // A description without a usable ID registers nothing, and says nothing.
    CFStringRef uuid = Get<CFStringRef>(description, kVTKeyUUID);
    if (!uuid) return nullptr;
    CFRef<CFStringRef> libraryID(vt::doc::CreateStoredString(allocator, uuid));
    if (!libraryID) return vt::errors::CreateOutOfMemory(allocator, kRegister);
    CFRef<CFStringRef> urlMapID =
        CFRef<CFStringRef>::Retain(Get<CFStringRef>(description, kVTFileInfoKeyURLMapID));
    CFRef<CFStringRef> parentID =
        CFRef<CFStringRef>::Retain(Get<CFStringRef>(description, kVTKeyParentID));
    CFRef<CFDictionaryRef> folderInfo =
        CFRef<CFDictionaryRef>::Retain(Get<CFDictionaryRef>(description, kVTKeyFolderInfo));
    CFRef<CFMutableDictionaryRef> properties = CFRef<CFMutableDictionaryRef>::Retain(
        vt::doc::GetMutableDictionary(description, kVTLibraryDescriptionKeyProperties));

    // A root ID never names a library, and a library never descends from
    // itself: either would leave a tree that no walk can finish.
    if (VTPrivate_LibraryIDIsRoot(libraryID.get()) ||
        (parentID && ParentChainReaches(parentID.get(), libraryID.get())))
        return VTErrorCreateCoreFormat(allocator, CFSTR("%s:: Parent library id not valid."),
                                       kRegister);

    CFRef<CFMutableDictionaryRef> previous =
        CFRef<CFMutableDictionaryRef>::Retain(VTPrivate_GetOneLibrary(libraryID.get()));
    // Everything that can run out of memory without a way back is made
    // before the first change.
    KeptLists kept;
    if (previous && previous.get() != description &&
        !MergeLists(allocator, description, previous.get(), kept))
        return vt::errors::CreateOutOfMemory(allocator, kRegister);
    CFRef<CFStringRef> handBack;
    if (outLibraryID) {
        handBack.Reset(CreateDistinctCopy(allocator, libraryID.get()));
        if (!handBack) return vt::errors::CreateOutOfMemory(allocator, kRegister);
    }
    CFDictionaryRemoveValue(description, kVTKeyUUID);

    CFRef<CFMutableDictionaryRef> result;
    if (urlMapID) {
        result.Reset(
            VTPrivate_FilesSetFileInfoEntryForID(allocator, urlMapID.get(), libraryID.get()));
        if (folderInfo) {
            CFMutableDictionaryRef entry = VTPrivate_GetOneFile(allocator, urlMapID.get());
            if (entry && CFDictionaryGetCount(folderInfo.get()) > 0)
                CopyFolderInfo(entry, folderInfo.get());
        }
    }

    CFDictionaryRemoveValue(description, kVTLibraryDescriptionKeyProperties);
    if (properties) {
        CFRef<CFStringRef> hash(VTU_StringCreateHashedWithMD5(allocator, libraryID.get()));
        CFStringRef propertyID = hash ? hash.get() : libraryID.get();
        result.Reset(VTPrivate_SetOneProperty(allocator, propertyID, properties.get()));
        CFDictionarySetValue(description, kVTLibraryKeyPropertyID, propertyID);
    }
    CFDictionaryRemoveValue(description, kVTKeyFolderInfo);

    if (previous && previous.get() != description) {
        // A library moved to another folder is no longer an owner of the old
        // folder's entry, unless it keeps that folder among its files.
        CFStringRef formerFolder = Get<CFStringRef>(previous.get(), kVTFileInfoKeyURLMapID);
        CFArrayRef files =
            kept.files ? kept.files.get() : Get<CFArrayRef>(description, kVTKeyFiles);
        if (formerFolder && !(urlMapID && CFEqual(formerFolder, urlMapID.get())) &&
            !(files && VTU_ArrayContainsValue(files, formerFolder))) {
            CFRef<CFMutableDictionaryRef> ignored(
                VTPrivate_FileRemoveOwner(allocator, formerFolder, libraryID.get()));
        }
        KeepLists(description, kept);
        CFStringRef formerParent = Get<CFStringRef>(previous.get(), kVTKeyParentID);
        if (formerParent && !(parentID && CFEqual(formerParent, parentID.get())))
            RemoveChild(formerParent, libraryID.get());
    }
    CFDictionarySetValue(libraries, libraryID.get(), description);

    if (!parentID || !VTPrivate_LibraryIDIsRoot(parentID.get())) {
        CFMutableDictionaryRef parent = VTPrivate_GetOneLibrary(parentID.get());
        CFStringRef parentMapID = Get<CFStringRef>(parent, kVTFileInfoKeyURLMapID);
        if (parentMapID && !gVTParentRefreshSuspended)
            RefreshParentFolder(allocator, parentMapID, result);
        CFMutableArrayRef children = vt::doc::GetMutableArray(parent, kVTKeyChildren);
        if (children && !Children().Contains(libraries, children, libraryID.get())) {
            CFArrayAppendValue(children, libraryID.get());
            Children().Appended(children, libraryID.get());
        }
    }

    VTPrivate_RemoveLibraryDescription(descriptionID);
    if (outLibraryID) *outLibraryID = handBack.Release();
    return result.Release();
}

CFMutableDictionaryRef VTLibrarySetValue(CFAllocatorRef allocator, CFStringRef libraryID,
                                         CFStringRef key, CFTypeRef value) {
    if (!libraryID || !vt::cf::Cast<CFStringRef>(key)) return VTErrorCreateNULLParam(allocator);
    CFRef<CFPropertyListRef> stored(vt::doc::CreateStorableCopy(allocator, value));
    if (!stored) return vt::errors::CreateNotStorable(allocator, "VTLibrarySetValue");
    CFMutableDictionaryRef record = VTPrivate_GetOneLibrary(libraryID);
    if (!record) return vt::errors::CreateCantFindContainer(allocator, "VTLibrarySetValue");
    CFDictionarySetValue(record, key, stored.get());
    return nullptr;
}

CFTypeRef VTLibraryGetValue(CFAllocatorRef allocator, CFStringRef libraryID, CFStringRef key,
                            CFMutableDictionaryRef *outError) {
    if (!libraryID || !key) {
        vt::errors::HandBack(VTErrorCreateNULLParam(allocator), outError);
        return nullptr;
    }
    CFMutableDictionaryRef record = VTPrivate_GetOneLibrary(libraryID);
    if (!record) {
        vt::errors::HandBack(vt::errors::CreateCantFindContainer(allocator, "VTLibraryGetValue"),
                             outError);
        return nullptr;
    }
    return CFDictionaryGetValue(record, key);
}

CFTypeRef VTLibraryCopyValue(CFAllocatorRef allocator, CFStringRef libraryID, CFStringRef key,
                             CFMutableDictionaryRef *outError) {
    CFTypeRef value = VTLibraryGetValue(allocator, libraryID, key, outError);
    return value ? VTU_CopyType(allocator, value, outError) : nullptr;
}

CFStringRef VTLibraryGetURLMapID(CFAllocatorRef allocator, CFStringRef libraryID,
                                 CFMutableDictionaryRef *outError) {
    return vt::cf::Cast<CFStringRef>(
        VTLibraryGetValue(allocator, libraryID, kVTFileInfoKeyURLMapID, outError));
}

CFStringRef VTLibraryGetPropertyID(CFAllocatorRef allocator, CFStringRef libraryID,
                                   CFMutableDictionaryRef *outError) {
    return vt::cf::Cast<CFStringRef>(
        VTLibraryGetValue(allocator, libraryID, kVTLibraryKeyPropertyID, outError));
}

CFMutableArrayRef VTLibraryGetFiles(CFAllocatorRef allocator, CFStringRef libraryID,
                                    CFMutableDictionaryRef *outError) {
    if (!VTLibraryGetValue(allocator, libraryID, kVTKeyFiles, outError)) return nullptr;
    return vt::doc::GetMutableArray(VTPrivate_GetOneLibrary(libraryID), kVTKeyFiles);
}

} // extern "C"
