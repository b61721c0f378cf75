// Library removal: one library with what it owns, or a library together with
// its descendants.
//
// A removal keeps the document consistent: the library leaves its files'
// owners, its parent's children and its folder entry's owners; a folder entry
// and its map entry go only with their last owner, since another library may
// share the folder.
#include "errors/ErrorsPrivate.h"
#include "libraries/LibrariesPrivate.h"

#include <Vantrell/Document.h>
#include <Vantrell/Errors.h>

#include "document/Tables.h"
#include "platform/values/Guard.h"
#include "platform/values/Holder.h"
#include "tables/TablesPrivate.h"

#include <vector>

using vt::CFRef;
using vt::cf::Cast;

namespace {

constexpr const char *kDeleteOne = "VTPrivate_DeleteOneLibrary";
constexpr const char *kRemove = "VTDocumentRemoveLibrary";

void RemoveAll(CFMutableArrayRef array, CFTypeRef value) {
    for (CFIndex i = array ? CFArrayGetCount(array) : 0; i-- > 0;)
        if (CFEqual(CFArrayGetValueAtIndex(array, i), value)) CFArrayRemoveValueAtIndex(array, i);
}

// Takes the library out of the "Owners" of every entry of the Files table
// that lists it, in the table's own order: a library holding much of the
// table is released by one sequential walk instead of a scattered keyed
// look-up per file. Returns how many entries other than its folder's listed
// it, or -1 when the walk could not be made.
CFIndex ReleaseOwnedEntries(CFMutableDictionaryRef table, CFStringRef libraryID,
                            CFStringRef folderID) {
    return vt::Guard(CFIndex(-1), [&] {
        CFIndex count = CFDictionaryGetCount(table);
        std::vector<const void *> keys(static_cast<size_t>(count)), values(keys.size());
        CFDictionaryGetKeysAndValues(table, keys.data(), values.data());
        CFIndex owned = 0;
        for (size_t i = 0; i < keys.size(); ++i) {
            CFArrayRef owners =
                vt::doc::Get<CFArrayRef>(Cast<CFDictionaryRef>(values[i]), kVTKeyOwners);
            if (!owners ||
                !CFArrayContainsValue(owners, CFRangeMake(0, CFArrayGetCount(owners)), libraryID))
                continue;
            CFStringRef key = Cast<CFStringRef>(keys[i]);
            CFMutableDictionaryRef entry = vt::cf::CastMutable<CFMutableDictionaryRef>(values[i]);
            if (!entry) entry = vt::doc::GetMutableDictionary(table, key);
            RemoveAll(vt::doc::GetMutableArray(entry, kVTKeyOwners), libraryID);
            if (!folderID || !key || !CFEqual(key, folderID)) ++owned;
        }
        return owned;
    });
}

// Takes the library out of each file's "Owners" and empties its "Files", in
// time linear in its files.
void ReleaseFiles(CFAllocatorRef allocator, CFStringRef libraryID,
                  CFRef<CFMutableDictionaryRef> &result) {
    CFMutableDictionaryRef record =
        VTPrivate_GetLibraries() ? VTPrivate_GetOneLibrary(libraryID) : nullptr;
    CFMutableArrayRef files = vt::doc::GetMutableArray(record, kVTKeyFiles);
    if (!files) {
        result.Reset(VTErrorCreateCore(allocator, CFSTR("Can't find container.")));
        return;
    }
    CFIndex fileCount = CFArrayGetCount(files);
    CFMutableDictionaryRef table = vt::doc::Table(kVTTopLevelKeyFiles);
    // The walk settles every file when as many entries listed the library as
    // it has files; otherwise (a file without an entry, a file listed twice)
    // each file is also visited by ID, so that a missing entry is shown.
    if (table && fileCount > 0 && fileCount * 4 >= CFDictionaryGetCount(table)) {
        CFStringRef folderID = vt::doc::Get<CFStringRef>(record, kVTFileInfoKeyURLMapID);
        if (ReleaseOwnedEntries(table, libraryID, folderID) == fileCount) fileCount = 0;
    }
    // Walked in place: only the files' own entries change on the way, and the
    // count is read afresh at each step all the same.
    for (CFIndex i = 0; i < fileCount && i < CFArrayGetCount(files); ++i) {
        CFStringRef fileID = Cast<CFStringRef>(CFArrayGetValueAtIndex(files, i));
        CFRef<CFMutableDictionaryRef> error(
            fileID ? VTPrivate_FileRemoveOwner(allocator, fileID, libraryID)
                   : VTErrorCreateNULLParam(allocator));
        VTErrorShow(error.get(), CFSTR("%s"), kDeleteOne);
    }
    CFArrayRemoveAllValues(files);
}

// Takes the library out of its folder entry's "Owners"; the entry and its
// map entry go when no owner is left.
void ReleaseFolder(CFStringRef libraryID, CFStringRef mapID) {
    CFMutableDictionaryRef files = vt::doc::Table(kVTTopLevelKeyFiles);
    CFMutableDictionaryRef entry = vt::doc::GetMutableDictionary(files, mapID);
    CFMutableArrayRef owners = vt::doc::GetMutableArray(entry, kVTKeyOwners);
    RemoveAll(owners, libraryID);
    if (owners && CFArrayGetCount(owners) > 0) return;
    if (files) CFDictionaryRemoveValue(files, mapID);
    VTPrivate_MapDeleteEntry(mapID);
}

// Takes the library out of its parent's "Children".
void LeaveParent(CFStringRef libraryID) {
    CFStringRef parentID =
        vt::doc::Get<CFStringRef>(VTPrivate_GetOneLibrary(libraryID), kVTKeyParentID);
    if (!parentID) return;
    RemoveAll(vt::doc::GetMutableArray(VTPrivate_GetOneLibrary(parentID), kVTKeyChildren),
              libraryID);
}

// The string under the key of the library's record, retained; a look-up
// record becomes the result.
CFRef<CFStringRef> CopyRecordString(CFAllocatorRef allocator, CFStringRef libraryID,
                                    CFStringRef key, CFRef<CFMutableDictionaryRef> &result) {
    CFRef<CFMutableDictionaryRef> error;
    CFTypeRef value = VTLibraryGetValue(allocator, libraryID, key, error.Out());
    if (error) result = std::move(error);
    return CFRef<CFStringRef>::Retain(Cast<CFStringRef>(value));
}

// A copy of the library's "Children" when it lists at least one ID; *failed
// is set when that copy cannot be made.
CFArrayRef CopyChildren(CFAllocatorRef allocator, CFStringRef libraryID, bool *failed) {
    CFRef<CFMutableDictionaryRef> dropped;
    CFArrayRef children =
        Cast<CFArrayRef>(VTLibraryGetValue(allocator, libraryID, kVTKeyChildren, dropped.Out()));
    if (!children || CFArrayGetCount(children) == 0) return nullptr;
    CFArrayRef copy = CFArrayCreateCopy(allocator, children);
    if (!copy) *failed = true;
    return copy;
}

// Deletes the descendants of rootID, each one's own descendants before it,
// each library once even when "Children" loops back. An explicit stack
// rather than recursion, so that no depth of a foreign document's tree can
// exhaust the call stack. False when memory ran out: the libraries deleted by
// then are gone whole, the others untouched.
bool RemoveDescendants(CFAllocatorRef allocator, CFStringRef rootID) {
    struct Frame {
        CFRef<CFStringRef> id;
        CFRef<CFArrayRef> children;
        CFIndex next = 0;
    };
    CFRef<CFMutableDictionaryRef> visited(CFDictionaryCreateMutable(
        kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    if (!visited) return false;
    CFDictionarySetValue(visited.get(), rootID, kCFBooleanTrue);
    bool failed = false;
    std::vector<Frame> stack;
    stack.push_back({CFRef<CFStringRef>::Retain(rootID),
                     CFRef<CFArrayRef>(CopyChildren(allocator, rootID, &failed)), 0});
    if (failed) return false;
    while (!stack.empty()) {
        Frame &top = stack.back();
        CFIndex count = top.children ? CFArrayGetCount(top.children.get()) : 0;
        if (top.next < count) {
            CFStringRef child =
                Cast<CFStringRef>(CFArrayGetValueAtIndex(top.children.get(), top.next++));
            if (!child || CFDictionaryContainsKey(visited.get(), child)) continue;
            CFDictionarySetValue(visited.get(), child, kCFBooleanTrue);
            CFRef<CFArrayRef> grandchildren(CopyChildren(allocator, child, &failed));
            if (failed) return false;
            stack.push_back({CFRef<CFStringRef>::Retain(child), std::move(grandchildren), 0});
            continue;
        }
        CFRef<CFStringRef> id = std::move(top.id);
        stack.pop_back();
        if (stack.empty()) break;
        CFRef<CFMutableDictionaryRef> dropped(VTPrivate_DeleteOneLibrary(allocator, id.get()));
    }
    return true;
}

} // namespace

extern "C" {

CFMutableDictionaryRef VTPrivate_DeleteOneLibrary(CFAllocatorRef allocator, CFStringRef libraryID) {
    if (VTPrivate_LibraryIDIsReserved(libraryID))
        return VTErrorCreate(allocator, kVTErrorDomainOSStatus, VTErrorGetParamErr(),
                             CFSTR("Can't delete library with reserved status."));
    if (!Cast<CFStringRef>(libraryID)) return VTErrorCreateNULLParam(allocator);
    // The ID may be borrowed from a record or array this call removes.
    CFRef<CFStringRef> keep = CFRef<CFStringRef>::Retain(libraryID);

    CFRef<CFMutableDictionaryRef> result;
    ReleaseFiles(allocator, libraryID, result);

    CFRef<CFStringRef> mapID =
        CopyRecordString(allocator, libraryID, kVTFileInfoKeyURLMapID, result);
    if (mapID) ReleaseFolder(libraryID, mapID.get());
    VTErrorShow(result.get(), CFSTR("%s::VTLibraryGetValue::kVTFileInfoKeyURLMapID"), kDeleteOne);

    CFRef<CFStringRef> propertyID =
        CopyRecordString(allocator, libraryID, kVTLibraryKeyPropertyID, result);
    if (propertyID) {
        result.Reset(VTPrivate_RemoveOneProperty(allocator, propertyID.get()));
        VTErrorShow(result.get(), CFSTR("%s::VTPrivate_RemoveOneProperty"), kDeleteOne);
    }
    VTErrorShow(result.get(), CFSTR("%s::VTLibraryGetValue::kVTLibraryKeyPropertyID"), kDeleteOne);

    LeaveParent(libraryID);
    if (CFMutableDictionaryRef libraries = VTPrivate_GetLibraries())
        CFDictionaryRemoveValue(libraries, libraryID);
    return result.Release();
}

CFMutableDictionaryRef VTDocumentRemoveLibrary(CFAllocatorRef allocator, CFStringRef libraryID) {
    if (!Cast<CFStringRef>(libraryID)) return VTErrorCreateNULLParamFormat(allocator, kRemove);
    CFRef<CFStringRef> keep = CFRef<CFStringRef>::Retain(libraryID);
    // Without the whole walk the library stays, so no descendant is left
    // under a parent that is gone.
    bool walked = vt::Guard(false, [&] { return RemoveDescendants(allocator, libraryID); });
    if (!walked) return vt::errors::CreateOutOfMemory(allocator, kRemove);
    return VTPrivate_DeleteOneLibrary(allocator, libraryID);
}

} // extern "C"
