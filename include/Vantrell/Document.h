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

/* The document format: record keys, kinds and the root libraries' IDs that
 * the tables share. */
/* Record keys shared by the document's tables. */
VT_EXPORT const CFStringRef kVTKeyKind;                         /* "Kind" */
VT_EXPORT const CFStringRef kVTKeyTitle;                        /* "Title" */
VT_EXPORT const CFStringRef kVTKeyUUID;                         /* "UUID" */
VT_EXPORT const CFStringRef kVTKeyParentID;                     /* "ParentID" */
VT_EXPORT const CFStringRef kVTKeyFlags;                        /* "Flags" */
VT_EXPORT const CFStringRef kVTKeyFolderInfo;                   /* "FolderInfo" */
VT_EXPORT const CFStringRef kVTKeyFiles;                        /* "Files" */
VT_EXPORT const CFStringRef kVTKeyChildren;                     /* "Children" */
VT_EXPORT const CFStringRef kVTKeyBaseURIString;                /* "BaseURIString" */
VT_EXPORT const CFStringRef kVTKeyOwners;                       /* "Owners" */
VT_EXPORT const CFStringRef kVTKeyEnabled;                      /* "Enabled" */
VT_EXPORT const CFStringRef kVTKeyInherits;                     /* "Inherits" */
VT_EXPORT const CFStringRef kVTKeyNotes;                        /* "Notes" */
VT_EXPORT const CFStringRef kVTKeyScript;                       /* "Script" */
VT_EXPORT const CFStringRef kVTKeyWebsite;                      /* "Website" */
VT_EXPORT const CFStringRef kVTLibraryKeyPropertyID;            /* "PropertyID" */
VT_EXPORT const CFStringRef kVTLibraryDescriptionKeyProperties; /* "Properties" */

/* The values of "Kind". */
VT_EXPORT const CFStringRef kVTKindLibrary;             /* "Library" */
VT_EXPORT const CFStringRef kVTKindProperties;          /* "Properties" */
VT_EXPORT const CFStringRef kVTKindFolderInfo;          /* "FolderInfo" */
VT_EXPORT const CFStringRef kVTKindFileInfo;            /* "FileInfo" */
VT_EXPORT const CFStringRef kVTKindFiles;               /* "Files" */
VT_EXPORT const CFStringRef kVTKindFlags;               /* "Flags" */
VT_EXPORT const CFStringRef kVTKindSearchConfiguration; /* "SearchConfiguration" */

/* Folder and file information keys. */
VT_EXPORT const CFStringRef kVTFileInfoKeyURLMapID;     /* "URLMapID" */
VT_EXPORT const CFStringRef kVTFileInfoKeyPOSIXPath;    /* "POSIXPath" */
VT_EXPORT const CFStringRef kVTFileInfoKeyHFSPath;      /* "HFSPath" */
VT_EXPORT const CFStringRef kVTFileInfoKeyBookmarkData; /* "BookmarkData" */
VT_EXPORT const CFStringRef kVTFileInfoKeyURLString;    /* "URLString" */
VT_EXPORT const CFStringRef kVTFileInfoKeyAliasData;    /* "AliasData" */

/* The three root libraries' IDs. */
VT_EXPORT const CFStringRef kVTUserLibraryID;    /* "info.module.library.id.user" */
VT_EXPORT const CFStringRef kVTLocalLibraryID;   /* "info.module.library.id.local" */
VT_EXPORT const CFStringRef kVTNetworkLibraryID; /* "info.module.library.id.network" */

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

/* ---- Start-up ------------------------------------------------------------ */

/* Options key "InstallExamples": with the value kCFBooleanTrue itself (no
 * other value), start-up copies the example script into the user Modules
 * folder. */
VT_EXPORT const CFStringRef kVTDocumentOptionInstallExamples;

/* The root libraries' default titles: "UserLibrary", "LocalLibrary",
 * "NetworkLibrary". */
VT_EXPORT const CFStringRef kVTUserLibraryDefaultTitle;
VT_EXPORT const CFStringRef kVTLocalLibraryDefaultTitle;
VT_EXPORT const CFStringRef kVTNetworkLibraryDefaultTitle;
/* The root libraries' "BaseURIString" values: "~/Library/Scripts",
 * "/Library/Scripts", "/Network/Library/Scripts". */
VT_EXPORT const CFStringRef kVTUserLibraryBaseURI;
VT_EXPORT const CFStringRef kVTLocalLibraryBaseURI;
VT_EXPORT const CFStringRef kVTNetworkLibraryBaseURI;

/* The host's first call: creates the missing Modules folders, loads the
 * document file and, unless it holds a current document, builds the document
 * (root libraries, reserved search configurations) and saves it. A file that
 * cannot be read is copied aside first, and a document of another version is
 * backed up once and carried forward. Returns NULL on success, else a new
 * error record the caller releases. */
VT_EXPORT CFMutableDictionaryRef VantrellLoadDocument(CFAllocatorRef allocator,
                                                      CFDictionaryRef options);

VT_EXTERN_C_END

#endif /* VANTRELL_DOCUMENT_H */
