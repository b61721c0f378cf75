// Library descriptions: library IDs and their tests, UUID strings, the
// process-wide description store and the operations that make, read and edit
// descriptions before their registration.
//
// The store and the two ID lists are made on first use with the default
// allocator (never a caller's, which may not outlive them) and are kept for
// the life of the process. The host calls from one thread, so nothing here
// is locked.
#include "errors/ErrorsPrivate.h"
#include "libraries/LibrariesPrivate.h"

#include <Vantrell/Document.h>
#include <Vantrell/Errors.h>

#include "document/Tables.h"
#include "platform/strings/ConstantString.h"
#include "platform/values/Holder.h"
#include "tables/TablesPrivate.h"
#include "utilities/UtilitiesPrivate.h"

#include <initializer_list>

using vt::CFRef;

// A constant string the framework uses internally: same storage as the
// exported ones, hidden from the library's exports.
#define VT_INTERNAL_CONSTANT_STRING(name, text)                                                    \
    static constinit const __VTConstantString name##VTConstantObject =                             \
        __VT_CONSTANT_STRING_INIT(text);                                                           \
    extern "C" const CFStringRef name = reinterpret_cast<CFStringRef>(&name##VTConstantObject)

VT_CONSTANT_STRING(kVTLibraryAutoIDPrefix, "info.module.library.id.auto");
VT_CONSTANT_STRING(kVTFlagKeyIsReserved, "IsReserved");
VT_CONSTANT_STRING(kVTFlagKeyTrackAliases, "TrackAliases");
VT_CONSTANT_STRING(kVTFlagKeySearchRecursively, "SearchRecursively");
VT_CONSTANT_STRING(kVTFlagKeyPermitsOverrides, "PermitOverrides");

VT_INTERNAL_CONSTANT_STRING(kVTRootModuleIDUser, "info.module.root.id.user");
VT_INTERNAL_CONSTANT_STRING(kVTRootModuleIDLocal, "info.module.root.id.local");
VT_INTERNAL_CONSTANT_STRING(kVTRootModuleIDNetwork, "info.module.root.id.network");
VT_INTERNAL_CONSTANT_STRING(kVTRootModuleIDExternal, "info.module.root.id.external");

namespace {

CFMutableDictionaryRef gVTLibraryDescriptions = nullptr;

// A list of IDs filled once, when it is made; NULL while it cannot be made.
CFArrayRef IDList(CFMutableArrayRef &list, std::initializer_list<CFStringRef> ids) {
    if (!list) {
        list = CFArrayCreateMutable(kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks);
        if (list)
            for (CFStringRef id : ids)
                CFArrayAppendValue(list, id);
    }
    return list;
}

CFArrayRef ReservedIDs() {
    static CFMutableArrayRef rsrv = nullptr;
    return IDList(rsrv,
                  {kVTUserLibraryID, kVTLocalLibraryID, kVTNetworkLibraryID, kVTRootModuleIDUser,
                   kVTRootModuleIDLocal, kVTRootModuleIDNetwork, kVTRootModuleIDExternal});
}

CFArrayRef RootIDs() {
    static CFMutableArrayRef roots = nullptr;
    return IDList(roots, {kVTRootModuleIDUser, kVTRootModuleIDLocal, kVTRootModuleIDNetwork,
                          kVTRootModuleIDExternal});
}

CFMutableDictionaryRef CreateDictionary(CFAllocatorRef allocator) {
    return CFDictionaryCreateMutable(allocator, 0, &kCFCopyStringDictionaryKeyCallBacks,
                                     &kCFTypeDictionaryValueCallBacks);
}

CFMutableDictionaryRef CreateDescription(CFAllocatorRef allocator, CFStringRef parentID,
                                         CFStringRef libraryID, CFStringRef title) {
    CFRef<CFMutableDictionaryRef> description(CreateDictionary(allocator));
    CFRef<CFStringRef> parent(vt::doc::CreateStoredString(allocator, parentID));
    if (!description || !parent) return nullptr;
    CFDictionarySetValue(description.get(), kVTKeyKind, kVTKindLibrary);
    CFDictionarySetValue(description.get(), kVTKeyParentID, parent.get());

    CFRef<CFStringRef> id;
    if (libraryID) {
        id.Reset(vt::doc::CreateStoredString(allocator, libraryID));
    } else {
        CFRef<CFMutableStringRef> fresh(VTPrivate_UUIDCreateString(allocator));
        if (fresh) id.Reset(CFStringCreateCopy(allocator, fresh.get()));
    }
    vt::doc::Set(description.get(), kVTKeyUUID, id.get());

    CFRef<CFMutableDictionaryRef> properties(CreateDictionary(allocator));
    CFRef<CFStringRef> storedTitle(title ? vt::doc::CreateStoredString(allocator, title)
                                         : CFStringCreateCopy(allocator, CFSTR("untitled")));
    if (properties && storedTitle) {
        CFDictionarySetValue(properties.get(), kVTKeyKind, kVTKindProperties);
        CFDictionarySetValue(properties.get(), kVTKeyTitle, storedTitle.get());
        CFDictionarySetValue(description.get(), kVTLibraryDescriptionKeyProperties,
                             properties.get());
    }

    CFRef<CFNumberRef> flags(VTU_NumberCreateWithCFIndex(allocator, 0));
    vt::doc::Set(description.get(), kVTKeyFlags, flags.get());

    CFRef<CFMutableDictionaryRef> folderInfo(CreateDictionary(allocator));
    if (folderInfo) {
        CFDictionarySetValue(folderInfo.get(), kVTKeyKind, kVTKindFolderInfo);
        CFDictionarySetValue(description.get(), kVTKeyFolderInfo, folderInfo.get());
    }

    CFRef<CFMutableArrayRef> files(CFArrayCreateMutable(allocator, 0, &kCFTypeArrayCallBacks));
    vt::doc::Set(description.get(), kVTKeyFiles, files.get());
    CFRef<CFMutableArrayRef> children(CFArrayCreateMutable(allocator, 0, &kCFTypeArrayCallBacks));
    vt::doc::Set(description.get(), kVTKeyChildren, children.get());

    // A description missing any part would register as a broken record.
    if (!id || !properties || !storedTitle || !flags || !folderInfo || !files || !children)
        return nullptr;
    return description.Release();
}

} // namespace

extern "C" {

CFMutableStringRef VTPrivate_UUIDCreateString(CFAllocatorRef allocator) {
    CFRef<CFUUIDRef> uuid(CFUUIDCreate(allocator));
    if (!uuid) return nullptr;
    CFRef<CFStringRef> text(CFUUIDCreateString(allocator, uuid.get()));
    uuid.Reset();
    if (!text) return nullptr;
    CFMutableStringRef copy = CFStringCreateMutableCopy(allocator, 0, text.get());
    if (!copy) return nullptr;
    CFStringFindAndReplace(copy, CFSTR("-"), CFSTR(""), CFRangeMake(0, CFStringGetLength(copy)), 0);
    return copy;
}

Boolean VTPrivate_LibraryIDIsReserved(CFStringRef libraryID) {
    return libraryID && VTU_ArrayContainsValue(ReservedIDs(), libraryID);
}

Boolean VTPrivate_LibraryIDIsRoot(CFStringRef libraryID) {
    return libraryID && VTU_ArrayContainsValue(RootIDs(), libraryID);
}

CFStringRef VTPrivate_SetLibraryDescription(CFAllocatorRef allocator,
                                            CFMutableDictionaryRef description) {
    if (!gVTLibraryDescriptions) gVTLibraryDescriptions = CreateDictionary(kCFAllocatorDefault);
    if (!gVTLibraryDescriptions || !vt::cf::CastMutable<CFMutableDictionaryRef>(description))
        return nullptr;
    CFMutableStringRef descriptionID = VTPrivate_UUIDCreateString(allocator);
    if (!descriptionID) return nullptr;
    CFDictionarySetValue(gVTLibraryDescriptions, descriptionID, description);
    return descriptionID;
}

CFMutableDictionaryRef VTPrivate_GetLibraryDescription(CFAllocatorRef allocator,
                                                       CFStringRef descriptionID,
                                                       CFMutableDictionaryRef *outError) {
    if (!descriptionID) {
        vt::errors::HandBack(VTErrorCreateNULLParam(allocator), outError);
        return nullptr;
    }
    if (!gVTLibraryDescriptions) {
        vt::errors::HandBack(
            VTErrorCreateCore(allocator, CFSTR("Library description container is NULL.")),
            outError);
        return nullptr;
    }
    return vt::cf::CastMutable<CFMutableDictionaryRef>(
        CFDictionaryGetValue(gVTLibraryDescriptions, descriptionID));
}

void VTPrivate_RemoveLibraryDescription(CFStringRef descriptionID) {
    if (!gVTLibraryDescriptions || !descriptionID) return;
    // The ID may be the store's own key, released by the removal.
    CFRef<CFStringRef> keep = CFRef<CFStringRef>::Retain(descriptionID);
    CFDictionaryRemoveValue(gVTLibraryDescriptions, keep.get());
}

CFStringRef VTLibraryDescriptionCreateMinimal(CFAllocatorRef allocator, CFStringRef parentID,
                                              CFStringRef libraryID, CFStringRef title,
                                              CFMutableDictionaryRef *outError) {
    static const char *const kName = "VTLibraryDescriptionCreateMinimal";
    if (!parentID) {
        vt::errors::HandBack(VTErrorCreateNULLParamFormat(allocator, kName), outError);
        return nullptr;
    }
    bool registered = VTPrivate_LibraryIDIsRegistered(parentID);
    bool reserved = VTPrivate_LibraryIDIsReserved(parentID);
    // A root ID only ever stands above a library, and no library is its own
    // parent.
    bool badID =
        libraryID && (VTPrivate_LibraryIDIsRoot(libraryID) || CFEqual(libraryID, parentID));
    if ((!registered && !reserved) || badID) {
        vt::errors::HandBack(
            VTErrorCreateCoreFormat(allocator, CFSTR("%s:: Parent library id not valid."), kName),
            outError);
        return nullptr;
    }
    CFRef<CFMutableDictionaryRef> description(
        CreateDescription(allocator, parentID, libraryID, title));
    CFStringRef descriptionID =
        description ? VTPrivate_SetLibraryDescription(allocator, description.get()) : nullptr;
    if (!descriptionID)
        vt::errors::HandBack(
            VTErrorCreateCoreFormat(allocator, CFSTR("%s:: Problem creating library description."),
                                    kName),
            outError);
    return descriptionID;
}

CFMutableDictionaryRef VTLibraryDescriptionSetValue(CFAllocatorRef allocator,
                                                    CFStringRef descriptionID, CFStringRef key,
                                                    CFTypeRef value) {
    if (!descriptionID || !vt::cf::Cast<CFStringRef>(key) || !value)
        return VTErrorCreateNULLParam(allocator);
    CFRef<CFPropertyListRef> stored(vt::doc::CreateStorableCopy(allocator, value));
    if (!stored) return vt::errors::CreateNotStorable(allocator, "VTLibraryDescriptionSetValue");
    CFMutableDictionaryRef description =
        VTPrivate_GetLibraryDescription(allocator, descriptionID, nullptr);
    if (!description) return VTErrorCreateCore(allocator, CFSTR("Can't find container."));
    CFDictionarySetValue(description, key, stored.get());
    return nullptr;
}

CFTypeRef VTLibraryDescriptionGetValue(CFAllocatorRef allocator, CFStringRef descriptionID,
                                       CFStringRef key, CFMutableDictionaryRef *outError) {
    if (!descriptionID || !key) {
        vt::errors::HandBack(VTErrorCreateNULLParam(allocator), outError);
        return nullptr;
    }
    CFMutableDictionaryRef description =
        VTPrivate_GetLibraryDescription(allocator, descriptionID, outError);
    return description ? CFDictionaryGetValue(description, key) : nullptr;
}

CFMutableDictionaryRef VTLibraryDescriptionContainerSetValue(CFAllocatorRef allocator,
                                                             CFStringRef descriptionID,
                                                             CFStringRef containerKey,
                                                             CFStringRef key, CFTypeRef value) {
    if (!descriptionID || !containerKey || !vt::cf::Cast<CFStringRef>(key)) return nullptr;
    CFRef<CFPropertyListRef> stored(vt::doc::CreateStorableCopy(allocator, value));
    if (!stored)
        return vt::errors::CreateNotStorable(allocator, "VTLibraryDescriptionContainerSetValue");
    CFMutableDictionaryRef lookUpError = nullptr;
    CFMutableDictionaryRef description =
        VTPrivate_GetLibraryDescription(allocator, descriptionID, &lookUpError);
    if (!description) return lookUpError;
    if (CFMutableDictionaryRef container = vt::doc::GetMutableDictionary(description, containerKey))
        CFDictionarySetValue(container, key, stored.get());
    return nullptr;
}

CFTypeRef VTLibraryDescriptionContainerGetValue(CFAllocatorRef allocator, CFStringRef descriptionID,
                                                CFStringRef containerKey, CFStringRef key,
                                                CFMutableDictionaryRef *outError) {
    if (!descriptionID || !containerKey || !key) return nullptr;
    CFRef<CFMutableDictionaryRef> lookUpError;
    CFDictionaryRef container = vt::cf::Cast<CFDictionaryRef>(
        VTLibraryDescriptionGetValue(allocator, descriptionID, containerKey, lookUpError.Out()));
    if (container) return CFDictionaryGetValue(container, key);
    vt::errors::HandBack(
        vt::errors::CreateCantFindContainer(allocator, "VTLibraryDescriptionContainerGetValue"),
        outError);
    return nullptr;
}

CFMutableDictionaryRef VTPrivate_LibraryDescriptionFolderInfoSetValue(CFAllocatorRef allocator,
                                                                      CFStringRef descriptionID,
                                                                      CFStringRef key,
                                                                      CFTypeRef value) {
    return VTLibraryDescriptionContainerSetValue(allocator, descriptionID, kVTKeyFolderInfo, key,
                                                 value);
}

CFMutableDictionaryRef VTLibraryDescriptionSetFolderInfoWithURL(CFAllocatorRef allocator,
                                                                CFStringRef descriptionID,
                                                                CFURLRef folderURL,
                                                                CFNumberRef options) {
    CFURLRef url = vt::cf::Cast<CFURLRef>(folderURL);
    if (!descriptionID || !url) return VTErrorCreateNULLParam(allocator);

    CFRef<CFMutableDictionaryRef> result;
    CFRef<CFStringRef> mapID(VTPrivate_MapCreateEntryIDWithURL(allocator, url, result.Out()));

    CFIndex bits = 0;
    CFNumberRef number = vt::cf::Cast<CFNumberRef>(options);
    if (number && !CFNumberGetValue(number, kCFNumberCFIndexType, &bits)) bits = 0;

    if (mapID) {
        result.Reset(VTLibraryDescriptionSetValue(allocator, descriptionID, kVTFileInfoKeyURLMapID,
                                                  mapID.get()));
        mapID.Reset();
    }
    // A folder that is not there has no paths to record.
    if (!VTU_URLTargetExists(allocator, url)) return result.Release();

    auto store = [&](CFStringRef key, CFTypeRef value) {
        if (!value) return;
        result.Reset(
            VTPrivate_LibraryDescriptionFolderInfoSetValue(allocator, descriptionID, key, value));
        CFRelease(value);
    };
    if (bits & 1) {
        CFStringRef posixPath = nullptr;
        VTU_URLCopyPathData(allocator, url, &posixPath, nullptr, nullptr);
        store(kVTFileInfoKeyPOSIXPath, posixPath);
    }
    if (bits & 2) {
        CFStringRef hfsPath = nullptr;
        VTU_URLCopyPathData(allocator, url, nullptr, &hfsPath, nullptr);
        store(kVTFileInfoKeyHFSPath, hfsPath);
    }
    if (bits & 4) {
        CFDataRef bookmark = nullptr;
        VTU_URLCopyPathData(allocator, url, nullptr, nullptr, &bookmark);
        store(kVTFileInfoKeyBookmarkData, bookmark);
    }
    return result.Release();
}

} // extern "C"
