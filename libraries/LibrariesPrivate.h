// The libraries' internal interface: library IDs and their tests, the
// process-wide library description store, and the Libraries table.
#pragma once

#include <Vantrell/Libraries.h>

extern "C" {

// The root IDs: "info.module.root.id.user", ".local", ".network" and
// ".external". They stand above the three root libraries as their "ParentID"
// and are never registered as libraries themselves.
extern const CFStringRef kVTRootModuleIDUser;
extern const CFStringRef kVTRootModuleIDLocal;
extern const CFStringRef kVTRootModuleIDNetwork;
extern const CFStringRef kVTRootModuleIDExternal;

// A fresh random UUID's text without its hyphens: 32 uppercase hexadecimal
// digits, a new string the caller releases, or NULL when the platform fails.
CFMutableStringRef VTPrivate_UUIDCreateString(CFAllocatorRef allocator);

// True when the ID equals one of the three root library IDs or the four root
// IDs; false for NULL.
Boolean VTPrivate_LibraryIDIsReserved(CFStringRef libraryID);
// True when the ID equals one of the four root IDs; false for NULL.
Boolean VTPrivate_LibraryIDIsRoot(CFStringRef libraryID);
// True when the document's Libraries table holds the ID as a key.
Boolean VTPrivate_LibraryIDIsRegistered(CFStringRef libraryID);

// Files the description in the store under a new description ID and returns
// that ID (a new string the caller releases), or NULL.
CFStringRef VTPrivate_SetLibraryDescription(CFAllocatorRef allocator,
                                            CFMutableDictionaryRef description);
// The description under the ID (borrowed from the store), or NULL: with a
// record in *outError (when given) for a missing ID or a store not yet made,
// without one for an unknown ID.
CFMutableDictionaryRef VTPrivate_GetLibraryDescription(CFAllocatorRef allocator,
                                                       CFStringRef descriptionID,
                                                       CFMutableDictionaryRef *outError);
// Drops the description under the ID from the store; a registered one lives
// on in the document.
void VTPrivate_RemoveLibraryDescription(CFStringRef descriptionID);

// The document's Libraries table (borrowed), or NULL when there is no
// document or no dictionary under "Libraries".
CFMutableDictionaryRef VTPrivate_GetLibraries(void);
// Stores the dictionary as the document's Libraries table.
void VTPrivate_SetLibraries(CFMutableDictionaryRef libraries);
// The library record under the ID (borrowed, editable), or NULL when the ID
// is missing, the table is missing or no record of that ID is there.
CFMutableDictionaryRef VTPrivate_GetOneLibrary(CFStringRef libraryID);

// ---- Library access and removal ---------------------------------------------

// Deletes the one library: takes it out of its files' "Owners", out of its
// folder entry's "Owners" (dropping that entry and its map entry when no owner
// is left), out of its parent's "Children", and removes its property set and
// its record. Returns NULL or a new error record the caller releases.
CFMutableDictionaryRef VTPrivate_DeleteOneLibrary(CFAllocatorRef allocator, CFStringRef libraryID);
// Takes the library out of the file entry's "Owners"; the entry stays, also
// when no owner is left. NULL, or the new record of the entry's look-up
// (unknown file ID, missing Files table) which the caller releases.
CFMutableDictionaryRef VTPrivate_FileRemoveOwner(CFAllocatorRef allocator, CFStringRef fileID,
                                                 CFStringRef libraryID);
}
