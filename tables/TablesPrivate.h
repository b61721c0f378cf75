// The document tables' internal interface: the URL map, file entries and
// property sets as the library and registration code uses them.
//
// Every operation fetches its table afresh from the held document on each
// call; a table, entry or container of the wrong type counts as absent.
#pragma once

#include <Vantrell/Tables.h>

extern "C" {

// ---- URL map ---------------------------------------------------------------

// The map ID of the URL (the MD5-derived string of its text; for a URL made
// relative to a base, of its absolute text), stored with the text in the Map
// table. A new string the caller releases, or NULL with a record in *outError
// when given: code -50 without a URL, -4960 when the text cannot be hashed or
// the Map table is missing (nothing is stored then).
CFStringRef VTPrivate_MapCreateEntryIDWithURL(CFAllocatorRef allocator, CFURLRef url,
                                              CFMutableDictionaryRef *outError);

// The URL text stored under the map ID (borrowed), or NULL.
CFStringRef VTPrivate_MapGetValue(CFStringRef mapID);

// True when the Map table holds the map ID.
Boolean VTPrivate_MapContainsID(CFStringRef mapID);

// The map ID (the table's own key, borrowed) whose stored text equals the
// URL's text, or NULL.
CFStringRef VTPrivate_MapGetEntryIDForURL(CFURLRef url);

// The map ID whose stored text equals the URL's text, as a new string the
// caller releases, or NULL when the table holds none.
CFStringRef VTPrivate_MapCopyEntryIDForURL(CFAllocatorRef allocator, CFURLRef url);

// Removes the map entry under the ID; an absent ID or table changes nothing.
void VTPrivate_MapDeleteEntry(CFStringRef mapID);

// ---- File entries ----------------------------------------------------------

// The Files table (borrowed), or NULL after showing "VTPrivate_GetFiles: Can't
// find container." on standard error.
CFMutableDictionaryRef VTPrivate_GetFiles(CFAllocatorRef allocator);

// The file entry under the file ID (borrowed), or NULL. A missing ID is shown
// on standard error.
CFMutableDictionaryRef VTPrivate_GetOneFile(CFAllocatorRef allocator, CFStringRef fileID);

// Refreshes the entry's folder contents list from the URL when it names a
// readable folder; otherwise leaves the entry as it is. NULL, or a new
// record (code -50) when the entry or the URL is missing.
CFMutableDictionaryRef VTPrivate_FilesUpdateFileInfo(CFAllocatorRef allocator,
                                                     CFMutableDictionaryRef fileInfo, CFURLRef url);

// A new file entry (the caller releases it) for the URL whose "Owners" is the
// given array itself, or NULL (a record in *outError when an argument is
// missing).
CFMutableDictionaryRef
VTPrivate_FilesCreateFileInfoWithParentArray(CFAllocatorRef allocator, CFURLRef url,
                                             CFMutableArrayRef owners,
                                             CFMutableDictionaryRef *outError);

// A new file entry (the caller releases it) for the URL owned by the one
// library ID, or NULL (a record in *outError when an argument is missing).
CFMutableDictionaryRef VTPrivate_FilesCreateFileInfo(CFAllocatorRef allocator, CFURLRef url,
                                                     CFStringRef owner,
                                                     CFMutableDictionaryRef *outError);

// Adds the owner to the file entry under the ID, or creates that entry from
// the URL text the map holds for the ID. NULL on success or when the map
// knows no text for the ID; else a new record the caller releases.
CFMutableDictionaryRef VTPrivate_FilesSetFileInfoEntryForID(CFAllocatorRef allocator,
                                                            CFStringRef fileID, CFStringRef owner);

// Stores the URL in the map and adds the owner to its file entry, creating
// the entry or refreshing its contents list in place. The file ID, a new
// string the caller releases, or NULL with a record in *outError when given.
CFStringRef VTPrivate_FilesSetFileInfoEntryForURL(CFAllocatorRef allocator, CFURLRef url,
                                                  CFStringRef owner,
                                                  CFMutableDictionaryRef *outError);

// ---- Property sets ---------------------------------------------------------

// The property set under the ID (borrowed), or NULL; a record in *outError
// when the ID or the Properties table is missing.
CFMutableDictionaryRef VTPrivate_GetOneProperty(CFAllocatorRef allocator, CFStringRef propertyID,
                                                CFMutableDictionaryRef *outError);

// True when the Properties table holds a set under the ID.
Boolean VTPrivate_PropertyExists(CFStringRef propertyID);

// Stores the set itself (retained, not copied) under the ID, replacing any
// earlier set. NULL on success, else a new record the caller releases.
CFMutableDictionaryRef VTPrivate_SetOneProperty(CFAllocatorRef allocator, CFStringRef propertyID,
                                                CFMutableDictionaryRef properties);

// Removes the set under the ID. NULL on success (also when there was no set),
// else a new record the caller releases.
CFMutableDictionaryRef VTPrivate_RemoveOneProperty(CFAllocatorRef allocator,
                                                   CFStringRef propertyID);
}
