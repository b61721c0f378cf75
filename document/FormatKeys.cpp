// The document format's record keys, kinds and root library IDs, shared by
// every table.
#include <Vantrell/Document.h>

#include "platform/strings/ConstantString.h"

VT_CONSTANT_STRING(kVTKeyKind, "Kind");
VT_CONSTANT_STRING(kVTKeyTitle, "Title");
VT_CONSTANT_STRING(kVTKeyUUID, "UUID");
VT_CONSTANT_STRING(kVTKeyParentID, "ParentID");
VT_CONSTANT_STRING(kVTKeyFlags, "Flags");
VT_CONSTANT_STRING(kVTKeyFolderInfo, "FolderInfo");
VT_CONSTANT_STRING(kVTKeyFiles, "Files");
VT_CONSTANT_STRING(kVTKeyChildren, "Children");
VT_CONSTANT_STRING(kVTKeyBaseURIString, "BaseURIString");
VT_CONSTANT_STRING(kVTKeyOwners, "Owners");
VT_CONSTANT_STRING(kVTKeyEnabled, "Enabled");
VT_CONSTANT_STRING(kVTKeyInherits, "Inherits");
VT_CONSTANT_STRING(kVTKeyNotes, "Notes");
VT_CONSTANT_STRING(kVTKeyScript, "Script");
VT_CONSTANT_STRING(kVTKeyWebsite, "Website");
VT_CONSTANT_STRING(kVTLibraryKeyPropertyID, "PropertyID");
VT_CONSTANT_STRING(kVTLibraryDescriptionKeyProperties, "Properties");
VT_CONSTANT_STRING(kVTKindLibrary, "Library");
VT_CONSTANT_STRING(kVTKindProperties, "Properties");
VT_CONSTANT_STRING(kVTKindFolderInfo, "FolderInfo");
VT_CONSTANT_STRING(kVTKindFileInfo, "FileInfo");
VT_CONSTANT_STRING(kVTKindFiles, "Files");
VT_CONSTANT_STRING(kVTKindFlags, "Flags");
VT_CONSTANT_STRING(kVTKindSearchConfiguration, "SearchConfiguration");
VT_CONSTANT_STRING(kVTFileInfoKeyURLMapID, "URLMapID");
VT_CONSTANT_STRING(kVTFileInfoKeyPOSIXPath, "POSIXPath");
VT_CONSTANT_STRING(kVTFileInfoKeyHFSPath, "HFSPath");
VT_CONSTANT_STRING(kVTFileInfoKeyBookmarkData, "BookmarkData");
VT_CONSTANT_STRING(kVTFileInfoKeyURLString, "URLString");
VT_CONSTANT_STRING(kVTFileInfoKeyAliasData, "AliasData");
VT_CONSTANT_STRING(kVTUserLibraryID, "info.module.library.id.user");
VT_CONSTANT_STRING(kVTLocalLibraryID, "info.module.library.id.local");
VT_CONSTANT_STRING(kVTNetworkLibraryID, "info.module.library.id.network");
