/*
 * Document.h: the module document: its file, loading, saving and top-level values.
 *
 * The process holds one document, a mutable dictionary whose containers are
 * mutable down to the leaves. Values returned by the getters are borrowed
 * from it and stay valid until the document is replaced by a load.
 */
#ifndef VANTRELL_DOCUMENT_H
#define VANTRELL_DOCUMENT_H

#include <Vantrell/Base.h>

VT_EXTERN_C_BEGIN

/* The document's top-level keys. */
VT_EXPORT const CFStringRef kVTTopLevelKeyExtensions;               /* "Extensions" */
VT_EXPORT const CFStringRef kVTTopLevelKeyFiles;                    /* "Files" */
VT_EXPORT const CFStringRef kVTTopLevelKeyLibraries;                /* "Libraries" */
VT_EXPORT const CFStringRef kVTTopLevelKeyMap;                      /* "Map" */
VT_EXPORT const CFStringRef kVTTopLevelKeyProperties;               /* "Properties" */
VT_EXPORT const CFStringRef kVTTopLevelKeySearchConfigurations;     /* "SearchConfigurations" */
VT_EXPORT const CFStringRef kVTTopLevelKeyDisabledFolderSubstrings; /* "DisabledFolderSubstrings" */
VT_EXPORT const CFStringRef kVTTopLevelKeySearchConfigurationLastSelected;
VT_EXPORT const CFStringRef kVTTopLevelKeyDocumentVersion; /* "ModuleDocumentVersion" */

/* "0.5.4": the version of the documents this framework writes. */
VT_EXPORT const CFStringRef kVTDocumentVersion;
/* "(Disabled)": the default disabled-folder substring. */
VT_EXPORT const CFStringRef kVTSubstring_Disabled;
/* Info.plist keys naming the document file: "ModuleDocumentPropertyListID"
 * and "ModuleDocumentFileExtension". */
VT_EXPORT const CFStringRef kVTKeyModuleDocumentPropertyListID;
VT_EXPORT const CFStringRef kVTKeyModuleDocumentFileExtension;

/* The document file's base name (borrowed): the framework's Info.plist value
 * when it has at least 16 characters, else "info.library.module". */
VT_EXPORT CFStringRef VantrellGetDocumentPropertyListID(void);
/* The document file's extension (borrowed): the Info.plist value when not
 * empty, else "mlix". */
VT_EXPORT CFStringRef VantrellGetDocumentFileExtension(void);

/* Reads the document file and holds what it holds. Returns kCFBooleanTrue
 * when a document was read, else kCFBooleanFalse with the held document
 * unchanged (a missing or unreadable file, or a root that is no dictionary). */
VT_EXPORT CFBooleanRef VTPrivate_DocumentLoad(CFAllocatorRef allocator);

/* Writes the held document to its file, atomically: a crash or a full disk
 * leaves the former file or the new one. Returns NULL on success, else a new
 * error record (the caller releases it). */
VT_EXPORT CFMutableDictionaryRef VantrellSaveDocument(CFAllocatorRef allocator);

/* The document's "ModuleDocumentVersion" string (borrowed), or NULL. */
VT_EXPORT CFStringRef VTDocumentGetVersion(void);
/* The document's "DisabledFolderSubstrings" array (borrowed), or NULL. */
VT_EXPORT CFArrayRef VTDocumentGetDisabledFolderSubstrings(void);
/* Stores the array itself (retained, not copied) as the disabled-folder
 * substrings. A failure is shown on standard error. */
VT_EXPORT void VTDocumentSetDisabledFolderSubstrings(CFArrayRef substrings);

VT_EXTERN_C_END

#endif /* VANTRELL_DOCUMENT_H */
