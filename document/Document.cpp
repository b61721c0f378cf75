// The document store: the one module document held in memory, its file, and
// the top-level value access the tables go through.
#include "document/DocumentPrivate.h"

#include <Vantrell/Errors.h>

#include "errors/ErrorsPrivate.h"
#include "platform/files/FileSystem.h"
#include "platform/values/Holder.h"
#include "platform/values/Runtime.h"
#include "platform/strings/ConstantString.h"

#include <climits>

using vt::CFRef;

VT_CONSTANT_STRING(kVTTopLevelKeyExtensions, "Extensions");
VT_CONSTANT_STRING(kVTTopLevelKeyFiles, "Files");
VT_CONSTANT_STRING(kVTTopLevelKeyLibraries, "Libraries");
VT_CONSTANT_STRING(kVTTopLevelKeyMap, "Map");
VT_CONSTANT_STRING(kVTTopLevelKeyProperties, "Properties");
VT_CONSTANT_STRING(kVTTopLevelKeySearchConfigurations, "SearchConfigurations");
VT_CONSTANT_STRING(kVTTopLevelKeyDisabledFolderSubstrings, "DisabledFolderSubstrings");
VT_CONSTANT_STRING(kVTTopLevelKeySearchConfigurationLastSelected,
                   "SearchConfigurationLastSelected");
VT_CONSTANT_STRING(kVTTopLevelKeyDocumentVersion, "ModuleDocumentVersion");
VT_CONSTANT_STRING(kVTDocumentVersion, "0.5.4");
VT_CONSTANT_STRING(kVTSubstring_Disabled, "(Disabled)");
VT_CONSTANT_STRING(kVTKeyModuleDocumentPropertyListID, "ModuleDocumentPropertyListID");
VT_CONSTANT_STRING(kVTKeyModuleDocumentFileExtension, "ModuleDocumentFileExtension");

namespace {

// Owned; never released once the process holds a document.
CFMutableDictionaryRef lgVTDocumentRef = nullptr;

// A string value of the framework's Info.plist, read afresh each time; NULL
// when there is no framework bundle or no string under the key.
CFStringRef FrameworkInfoString(CFStringRef key) {
    CFBundleRef bundle = CFBundleGetBundleWithIdentifier(CFSTR("info.framework.Vantrell"));
    if (!bundle) return nullptr;
    CFTypeRef value = CFBundleGetValueForInfoDictionaryKey(bundle, key);
    return vt::cf::As<const void>(value, vt::cf::kTypeIDString) ? static_cast<CFStringRef>(value)
                                                                : nullptr;
}

CFMutableDictionaryRef CreateTable(CFAllocatorRef allocator) {
    return CFDictionaryCreateMutable(allocator, 0, &kCFCopyStringDictionaryKeyCallBacks,
                                     &kCFTypeDictionaryValueCallBacks);
}

} // namespace

extern "C" {

CFStringRef VantrellGetDocumentPropertyListID(void) {
    CFStringRef value = FrameworkInfoString(kVTKeyModuleDocumentPropertyListID);
    return value && CFStringGetLength(value) >= 16 ? value : CFSTR("info.library.module");
}

CFStringRef VantrellGetDocumentFileExtension(void) {
    CFStringRef value = FrameworkInfoString(kVTKeyModuleDocumentFileExtension);
    return value && CFStringGetLength(value) > 0 ? value : CFSTR("mlix");
}

CFURLRef VTPrivate_DocumentGetURL(CFAllocatorRef allocator) {
    static CFURLRef url = nullptr;
    if (url) return url;
    CFStringRef extension = VantrellGetDocumentFileExtension();
    CFStringRef identifier = VantrellGetDocumentPropertyListID();
    CFRef<CFStringRef> name(
        CFStringCreateWithFormat(allocator, nullptr, CFSTR("%@.%@"), identifier, extension));
    if (name)
        url = CFURLCreateWithFileSystemPath(allocator, name.get(), kCFURLPOSIXPathStyle, false);
    if (!url)
        VTErrorPrivate_ShowIf(allocator, kVTErrorDomainOSStatus, -4960, "Document URL is NULL.");
    return url;
}

CFMutableDictionaryRef VTPrivate_DocumentGetDocument(void) {
    return lgVTDocumentRef;
}

CFMutableDictionaryRef VTPrivate_DocumentSetDocument(CFMutableDictionaryRef document) {
    if (!vt::cf::As<const void>(document, vt::cf::kTypeIDDictionary))
        return VTErrorCreateNULLParamFormat(kCFAllocatorMalloc,
                                            "Input parameter 'theDocument' is NULL.");
    // Setting the held document again keeps it: the store's one reference is
    // the one it adopted the first time.
    if (lgVTDocumentRef == document) return nullptr;
    if (lgVTDocumentRef) CFRelease(lgVTDocumentRef);
    lgVTDocumentRef = document;
    return nullptr;
}

CFMutableDictionaryRef VTPrivate_DocumentCreate(CFAllocatorRef allocator) {
    // The held document is completed in place: Add stores only missing keys.
    CFMutableDictionaryRef document = lgVTDocumentRef;
    if (!document) document = CreateTable(allocator);
    if (!document)
        return VTErrorCreateCoreFormat(allocator, CFSTR("%s: Allocation problem: "),
                                       "Can't allocate document.");
    CFRef<CFMutableArrayRef> substrings(CFArrayCreateMutable(allocator, 0, &kCFTypeArrayCallBacks));
    for (CFStringRef key :
         {kVTTopLevelKeyExtensions, kVTTopLevelKeyFiles, kVTTopLevelKeyLibraries, kVTTopLevelKeyMap,
          kVTTopLevelKeyProperties, kVTTopLevelKeySearchConfigurations}) {
        CFRef<CFMutableDictionaryRef> table(CreateTable(allocator));
        if (table) CFDictionaryAddValue(document, key, table.get());
    }
    if (substrings) {
        CFArrayAppendValue(substrings.get(), kVTSubstring_Disabled);
        CFDictionaryAddValue(document, kVTTopLevelKeyDisabledFolderSubstrings, substrings.get());
    }
    CFDictionaryAddValue(document, kVTTopLevelKeySearchConfigurationLastSelected,
                         CFSTR("info.module.search.configuration.id.user"));
    CFDictionaryAddValue(document, kVTTopLevelKeyDocumentVersion, kVTDocumentVersion);
    return VTPrivate_DocumentSetDocument(document);
}

CFBooleanRef VTPrivate_DocumentLoad(CFAllocatorRef allocator) {
    CFURLRef url = VTPrivate_DocumentGetURL(allocator);
    if (!url) {
        VTErrorPrivate_ShowIf(allocator, kVTErrorDomainOSStatus, -4960, "Document URL is NULL");
        return kCFBooleanFalse;
    }
    CFRef<CFDataRef> bytes;
    SInt32 status = 0;
    if (!CFURLCreateDataAndPropertiesFromResource(allocator, url, bytes.Out(), nullptr, nullptr,
                                                  &status) ||
        !bytes)
        return kCFBooleanFalse;
    CFRef<CFPropertyListRef> parsed(CFPropertyListCreateFromXMLData(
        allocator, bytes.get(), kCFPropertyListMutableContainersAndLeaves, nullptr));
    bytes.Reset();
    // Every table takes the document to be a dictionary; any other root is
    // as unreadable as a broken file.
    if (!vt::cf::As<const void>(parsed.get(), vt::cf::kTypeIDDictionary)) return kCFBooleanFalse;
    CFRef<CFMutableDictionaryRef> error(VTPrivate_DocumentSetDocument(
        static_cast<CFMutableDictionaryRef>(const_cast<void *>(parsed.Release()))));
    return error ? kCFBooleanFalse : kCFBooleanTrue;
}

CFMutableDictionaryRef VTPrivate_DocumentSave(CFAllocatorRef allocator) {
    CFURLRef url = VTPrivate_DocumentGetURL(allocator);
    if (!url) {
        VTErrorPrivate_ShowIf(allocator, kVTErrorDomainOSStatus, -4960, "Document URL is NULL");
        return VTErrorCreateCore(allocator, CFSTR("Document URL is NULL"));
    }
    if (!lgVTDocumentRef) return VTErrorCreateNULLParam(allocator);
    CFRef<CFPropertyListRef> copy(CFPropertyListCreateDeepCopy(
        kCFAllocatorDefault, lgVTDocumentRef, kCFPropertyListMutableContainersAndLeaves));
    CFRef<CFDataRef> bytes(copy ? CFPropertyListCreateXMLData(kCFAllocatorDefault, copy.get())
                                : nullptr);
    // Bytes that cannot be produced are a failure like a copy that cannot be
    // made: nothing is written, and the caller hears of it.
    if (!bytes) return VTErrorCreateCore(allocator, CFSTR("Can't create document output format."));

    // The bytes go to a temporary file beside the document, which is flushed
    // and renamed over it: a crash or a full disk at any moment leaves the
    // former document or the new one, never a truncated file.
    SInt32 status = kCFURLImproperArgumentsError;
    char path[PATH_MAX + 1];
    if (CFURLGetFileSystemRepresentation(url, true, reinterpret_cast<UInt8 *>(path), sizeof path))
        status = vt::platform::WriteFileAtomically(path, CFDataGetBytePtr(bytes.get()),
                                                   size_t(CFDataGetLength(bytes.get())));
    if (status == 0) return nullptr;
    CFRef<CFNumberRef> code(VTU_NumberCreateWithCFIndex(allocator, status));
    return VTErrorCreate(allocator, kVTErrorDomainOSStatus, code.get(),
                         CFSTR("Can't write document to URL."));
}

CFMutableDictionaryRef VantrellSaveDocument(CFAllocatorRef allocator) {
    return VTPrivate_DocumentSave(allocator);
}

CFTypeRef VTPrivate_DocumentValueGet(CFStringRef key) {
    if (!key) {
        VTErrorPrivate_ShowIf(kCFAllocatorMalloc, kVTErrorDomainOSStatus, -50, "%s is NULL.",
                              "(null)");
        return nullptr;
    }
    return lgVTDocumentRef ? CFDictionaryGetValue(lgVTDocumentRef, key) : nullptr;
}

void VTPrivate_DocumentValueSet(CFStringRef key, CFTypeRef value) {
    if (!key || !value) {
        VTErrorPrivate_ShowIf(kCFAllocatorMalloc, kVTErrorDomainOSStatus, -50,
                              "Required input parameter is NULL.");
        return;
    }
    if (!lgVTDocumentRef) {
        VTErrorPrivate_ShowIf(kCFAllocatorMalloc, kVTErrorDomainOSStatus, -4960,
                              "%s: Can't find container.", "VTPrivate_DocumentValueSet");
        return;
    }
    CFDictionarySetValue(lgVTDocumentRef, key, value);
}

void VTPrivate_DocumentValueAdd(CFStringRef key, CFTypeRef value) {
    if (lgVTDocumentRef && key && value) CFDictionaryAddValue(lgVTDocumentRef, key, value);
}

CFTypeRef VTPrivate_DocumentContainerValueGet(CFStringRef containerKey, CFStringRef innerKey,
                                              CFMutableDictionaryRef *outError) {
    CFRef<CFMutableDictionaryRef> error;
    CFTypeRef value = nullptr;
    if (!containerKey || !innerKey) {
        error.Reset(VTErrorCreateNULLParam(kCFAllocatorDefault));
    } else {
        // A top-level value that is not a dictionary holds no inner values.
        CFTypeRef container = VTPrivate_DocumentValueGet(containerKey);
        if (vt::cf::As<const void>(container, vt::cf::kTypeIDDictionary))
            value = CFDictionaryGetValue(static_cast<CFDictionaryRef>(container), innerKey);
        else
            error.Reset(
                VTErrorCreateCore(CFGetAllocator(containerKey), CFSTR("Can't find container.")));
    }
    if (error && outError) *outError = error.Release();
    return value;
}

CFStringRef VTDocumentGetVersion(void) {
    CFTypeRef value = VTPrivate_DocumentValueGet(kVTTopLevelKeyDocumentVersion);
    return vt::cf::As<const void>(value, vt::cf::kTypeIDString) ? static_cast<CFStringRef>(value)
                                                                : nullptr;
}

CFArrayRef VTDocumentGetDisabledFolderSubstrings(void) {
    CFTypeRef value = VTPrivate_DocumentValueGet(kVTTopLevelKeyDisabledFolderSubstrings);
    return vt::cf::As<const void>(value, vt::cf::kTypeIDArray) ? static_cast<CFArrayRef>(value)
                                                               : nullptr;
}

void VTDocumentSetDisabledFolderSubstrings(CFArrayRef substrings) {
    // Anything but an array is refused like a missing one.
    VTPrivate_DocumentValueSet(kVTTopLevelKeyDisabledFolderSubstrings,
                               vt::cf::As<const void>(substrings, vt::cf::kTypeIDArray) ? substrings
                                                                                        : nullptr);
}

} // extern "C"
