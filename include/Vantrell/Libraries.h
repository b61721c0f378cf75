/*
 * Libraries.h: library descriptions, registration, records, queries and removal.
 *
 * A library enters the document in two steps: a description (a template held
 * in memory under a description ID) is made and edited, then registered,
 * which turns it into the library record filed under the library's ID.
 * Error records returned or stored through an error out-argument belong to
 * the caller, who releases them.
 */
#ifndef VANTRELL_LIBRARIES_H
#define VANTRELL_LIBRARIES_H

#include <Vantrell/Base.h>

VT_EXTERN_C_BEGIN

/* "info.module.library.id.auto": the first part of the IDs of libraries made
 * for subfolders (the prefix, ".", and the MD5-derived string of the name). */
VT_EXPORT const CFStringRef kVTLibraryAutoIDPrefix;

/* Flag names offered to the host; the framework itself neither writes nor
 * reads them. "IsReserved", "TrackAliases", "SearchRecursively",
 * "PermitOverrides". */
VT_EXPORT const CFStringRef kVTFlagKeyIsReserved;
VT_EXPORT const CFStringRef kVTFlagKeyTrackAliases;
VT_EXPORT const CFStringRef kVTFlagKeySearchRecursively;
VT_EXPORT const CFStringRef kVTFlagKeyPermitsOverrides;

/* ---- Library descriptions ---------------------------------------------- */

/* Makes a description of a new library under parentID (a registered or
 * reserved library ID), with libraryID (or a fresh UUID string when NULL)
 * and title (or "untitled"). Returns its description ID, a new string the
 * caller releases, or NULL with a new record in *outError when given. */
VT_EXPORT CFStringRef VTLibraryDescriptionCreateMinimal(CFAllocatorRef allocator,
                                                        CFStringRef parentID, CFStringRef libraryID,
                                                        CFStringRef title,
                                                        CFMutableDictionaryRef *outError);

/* Stores a copy of the value under the key of the description. Returns NULL
 * on success, else a new error record the caller releases. */
VT_EXPORT CFMutableDictionaryRef VTLibraryDescriptionSetValue(CFAllocatorRef allocator,
                                                              CFStringRef descriptionID,
                                                              CFStringRef key, CFTypeRef value);

/* The description's value under the key (borrowed from the description), or
 * NULL; a new record in *outError (when given) for a missing argument or when
 * no description was ever made. */
VT_EXPORT CFTypeRef VTLibraryDescriptionGetValue(CFAllocatorRef allocator,
                                                 CFStringRef descriptionID, CFStringRef key,
                                                 CFMutableDictionaryRef *outError);

/* Stores a copy of the value under the key inside the description's
 * dictionary under containerKey ("Properties", "FolderInfo"); a missing
 * container changes nothing. Returns NULL or a new error record the caller
 * releases. */
VT_EXPORT CFMutableDictionaryRef VTLibraryDescriptionContainerSetValue(CFAllocatorRef allocator,
                                                                       CFStringRef descriptionID,
                                                                       CFStringRef containerKey,
                                                                       CFStringRef key,
                                                                       CFTypeRef value);

/* The value under the key inside the description's dictionary under
 * containerKey (borrowed), or NULL; a new record in *outError (when given)
 * when the container cannot be found. */
VT_EXPORT CFTypeRef VTLibraryDescriptionContainerGetValue(CFAllocatorRef allocator,
                                                          CFStringRef descriptionID,
                                                          CFStringRef containerKey, CFStringRef key,
                                                          CFMutableDictionaryRef *outError);

/* VTLibraryDescriptionContainerSetValue with the container "FolderInfo".
 * Returns NULL or a new error record the caller releases. */
VT_EXPORT CFMutableDictionaryRef VTPrivate_LibraryDescriptionFolderInfoSetValue(
    CFAllocatorRef allocator, CFStringRef descriptionID, CFStringRef key, CFTypeRef value);

/* Gives the description the library's folder: stores the folder URL in the
 * URL map and its map ID as "URLMapID"; for an existing folder, options bit 1
 * adds the POSIX path, bit 2 the HFS path and bit 4 the bookmark data to
 * "FolderInfo" (options may be NULL: 0). Returns NULL or a new error record
 * the caller releases. */
VT_EXPORT CFMutableDictionaryRef VTLibraryDescriptionSetFolderInfoWithURL(CFAllocatorRef allocator,
                                                                          CFStringRef descriptionID,
                                                                          CFURLRef folderURL,
                                                                          CFNumberRef options);

/* ---- Registration and library records ---------------------------------- */

/* Turns the description into the library record filed under its library ID,
 * moves its property set and folder information into the document's tables,
 * links it into its parent and drops the description. *outLibraryID (when
 * given) receives a new copy of the library ID, which the caller releases.
 * Returns NULL or a new error record the caller releases. */
VT_EXPORT CFMutableDictionaryRef VTDocumentRegisterLibrary(CFAllocatorRef allocator,
                                                           CFStringRef descriptionID,
                                                           CFStringRef *outLibraryID);

/* Stores a copy of the value under the key of the library record. Returns
 * NULL on success, else a new error record the caller releases. */
VT_EXPORT CFMutableDictionaryRef VTLibrarySetValue(CFAllocatorRef allocator, CFStringRef libraryID,
                                                   CFStringRef key, CFTypeRef value);

/* The record's value under the key (borrowed from the record), or NULL; a
 * new record in *outError (when given) for a missing argument or an unknown
 * library. */
VT_EXPORT CFTypeRef VTLibraryGetValue(CFAllocatorRef allocator, CFStringRef libraryID,
                                      CFStringRef key, CFMutableDictionaryRef *outError);

/* A new one-level mutable copy of the record's value under the key, which
 * the caller releases, or NULL (a new record in *outError when given). */
VT_EXPORT CFTypeRef VTLibraryCopyValue(CFAllocatorRef allocator, CFStringRef libraryID,
                                       CFStringRef key, CFMutableDictionaryRef *outError);

/* The record's "URLMapID" (borrowed), or NULL when absent or not a string. */
VT_EXPORT CFStringRef VTLibraryGetURLMapID(CFAllocatorRef allocator, CFStringRef libraryID,
                                           CFMutableDictionaryRef *outError);
/* The record's "PropertyID" (borrowed), or NULL when absent or not a string. */
VT_EXPORT CFStringRef VTLibraryGetPropertyID(CFAllocatorRef allocator, CFStringRef libraryID,
                                             CFMutableDictionaryRef *outError);
/* The record's "Files" array of file IDs (borrowed, editable in place), or
 * NULL when absent or not an array. */
VT_EXPORT CFMutableArrayRef VTLibraryGetFiles(CFAllocatorRef allocator, CFStringRef libraryID,
                                              CFMutableDictionaryRef *outError);

/* ---- Library access, queries and removal ------------------------------- */

/* The value under the key in the library's property set (borrowed from the
 * set), or NULL; a new record in *outError (when given) when the library or
 * its set cannot be found. */
VT_EXPORT CFTypeRef VTLibraryPropertyGetValue(CFAllocatorRef allocator, CFStringRef libraryID,
                                              CFStringRef key, CFMutableDictionaryRef *outError);

/* Stores a copy of the value under the key in the library's property set; a
 * missing argument changes nothing. Returns NULL or a new error record the
 * caller releases. */
VT_EXPORT CFMutableDictionaryRef VTLibraryPropertySetValue(CFAllocatorRef allocator,
                                                           CFStringRef libraryID, CFStringRef key,
                                                           CFTypeRef value);

/* Adds the file ID to the library's "Files" and the library to the file
 * entry's "Owners". Returns NULL or a new error record the caller releases. */
VT_EXPORT CFMutableDictionaryRef VTLibraryRegisterFileID(CFAllocatorRef allocator,
                                                         CFStringRef libraryID, CFStringRef fileID);

/* Records the file URL in the URL map and the Files table, owned by the
 * library, and adds its file ID to the library's "Files". Returns the file
 * ID, a new string the caller releases, or NULL (a new record in *outError
 * when given). */
VT_EXPORT CFStringRef VTLibraryRegisterURL(CFAllocatorRef allocator, CFStringRef libraryID,
                                           CFURLRef fileURL, CFMutableDictionaryRef *outError);

/* Takes the file ID out of the library's "Files" and the library out of the
 * file entry's "Owners"; the entry itself stays. Returns NULL or a new error
 * record the caller releases. */
VT_EXPORT CFMutableDictionaryRef VTLibraryUnregisterFileID(CFAllocatorRef allocator,
                                                           CFStringRef libraryID,
                                                           CFStringRef fileID);

/* VTLibraryUnregisterFileID for the file ID of the URL; a URL the map does
 * not know changes nothing. Returns NULL or a new error record the caller
 * releases. */
VT_EXPORT CFMutableDictionaryRef VTLibraryUnregisterURL(CFAllocatorRef allocator,
                                                        CFStringRef libraryID, CFURLRef fileURL);

/* Removes the library, its descendants first, with its property set and,
 * when no other library owns it, its folder's file and map entries. Returns
 * NULL or a new error record the caller releases. */
VT_EXPORT CFMutableDictionaryRef VTDocumentRemoveLibrary(CFAllocatorRef allocator,
                                                         CFStringRef libraryID);

/* A new array of every library ID, which the caller releases, or NULL (a new
 * record in *outError when given). */
VT_EXPORT CFArrayRef VTDocumentCopyLibraryIDs(CFAllocatorRef allocator,
                                              CFMutableDictionaryRef *outError);

/* A new array, which the caller releases, of the IDs of the libraries whose
 * "Title" equals title exactly, or NULL (a new record in *outError when
 * given). */
VT_EXPORT CFArrayRef VTDocumentCopyLibraryIDsWithTitle(CFAllocatorRef allocator, CFStringRef title,
                                                       CFMutableDictionaryRef *outError);

/* A new array, which the caller releases, of the IDs of the libraries whose
 * "Title" contains substring, ignoring case and canonical equivalence, or
 * NULL (a new record in *outError when given). */
VT_EXPORT CFArrayRef VTDocumentCopyLibraryIDsWithTitleContainingSubstring(
    CFAllocatorRef allocator, CFStringRef substring, CFMutableDictionaryRef *outError);

/* A new array of every file ID in the Files table, which the caller releases,
 * or NULL (a new record in *outError when given). */
VT_EXPORT CFArrayRef VTDocumentCopyFileIDs(CFAllocatorRef allocator,
                                           CFMutableDictionaryRef *outError);

/* ---- Subfolder registration -------------------------------------------- */

/* Makes a child library of the library for each subfolder of its folder that
 * the URL map does not know yet, in the folder's listing order: its ID is
 * kVTLibraryAutoIDPrefix, "." and the MD5-derived string of the subfolder's
 * name in URL form (the name is also its title), and every item inside the
 * subfolder becomes one of its files. One level per call. A subfolder whose
 * ID is already registered is skipped, the others are still made, and the
 * result is then "VTLibraryRegisterSubfolders: Library already registered
 * for subfolder." unless a later step's record replaces it. Returns NULL or
 * a new error record (the last one a step produced) the caller releases. */
VT_EXPORT CFMutableDictionaryRef VTLibraryRegisterSubfolders(CFAllocatorRef allocator,
                                                             CFStringRef libraryID);

VT_EXTERN_C_END

#endif /* VANTRELL_LIBRARIES_H */
