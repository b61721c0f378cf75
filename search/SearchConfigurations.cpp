// Search configurations: descriptions in a process-wide store, registered
// configurations in the document's SearchConfigurations table, the reserved
// configurations and the last-selected configuration.
#include "search/SearchPrivate.h"

#include <Vantrell/Document.h>
#include <Vantrell/Errors.h>
#include <Vantrell/Locations.h>

#include "document/DocumentPrivate.h"
#include "document/Tables.h"
#include "errors/ErrorsPrivate.h"
#include "locations/LocationsPrivate.h"
#include "platform/strings/ConstantString.h"
#include "platform/values/Guard.h"
#include "platform/values/Holder.h"

#include <vector>

VT_CONSTANT_STRING(kVTKeyLibraryIDs, "LibraryIDs");
VT_CONSTANT_STRING(kVTKeySearchConfigurationLibraryIDs, "LibraryIDs");
VT_CONSTANT_STRING(kVTSearchConfigurationIDUser, "info.module.search.configuration.id.user");
VT_CONSTANT_STRING(kVTSearchConfigurationIDLocal, "info.module.search.configuration.id.local");
VT_CONSTANT_STRING(kVTSearchConfigurationIDNetwork, "info.module.search.configuration.id.network");
VT_CONSTANT_STRING(kVTSearchConfigurationDefaultTitleUser, "UserConfiguration");
VT_CONSTANT_STRING(kVTSearchConfigurationDefaultTitleLocal, "LocalConfiguration");
VT_CONSTANT_STRING(kVTSearchConfigurationDefaultTitleNetwork, "NetworkConfiguration");

namespace {

using vt::CFRef;
namespace cf = vt::cf;
namespace doc = vt::doc;

// Process-wide, made with the default allocator on first use (a caller's
// allocator must not outlive its caller inside them) and never released.
CFMutableDictionaryRef scds = nullptr; // configuration ID -> description
CFMutableArrayRef gVTReservedSearchConfigurationIDs = nullptr;

CFMutableDictionaryRef CreateDictionary(CFAllocatorRef allocator) {
    return CFDictionaryCreateMutable(allocator, 0, &kCFCopyStringDictionaryKeyCallBacks,
                                     &kCFTypeDictionaryValueCallBacks);
}

CFMutableArrayRef CreateArray(CFAllocatorRef allocator) {
    return CFArrayCreateMutable(allocator, 0, &kCFTypeArrayCallBacks);
}

bool IsKey(CFStringRef key, CFStringRef known) {
    return CFStringCompare(key, known, 0) == kCFCompareEqualTo;
}

// Whether value has the type the framework gives its own key; a host's own
// keys take any value.
bool FitsKey(CFStringRef key, CFTypeRef value) {
    if (IsKey(key, kVTKeyTitle) || IsKey(key, kVTKeyUUID) || IsKey(key, kVTKeyKind))
        return cf::Cast<CFStringRef>(value) != nullptr;
    if (IsKey(key, kVTKeyLibraryIDs) || IsKey(key, kVTKeyInherits))
        return cf::Cast<CFArrayRef>(value) != nullptr;
    if (IsKey(key, kVTKeyEnabled)) return cf::Cast<CFBooleanRef>(value) != nullptr;
    return true;
}

// The value under key, or NULL when absent or of the wrong type for one of
// the framework's keys: a hand-edited document must not hand a host a number
// where it expects a string.
CFTypeRef CheckedValue(CFDictionaryRef configuration, CFStringRef key) {
    if (!configuration) return nullptr;
    CFTypeRef value = CFDictionaryGetValue(configuration, key);
    return value && FitsKey(key, value) ? value : nullptr;
}

// A copy of a host's value fit to be stored under key, or NULL with a new
// record in *error: -50 naming the setter when the value cannot be written as
// XML, the missing-argument record when its type does not fit the key.
CFPropertyListRef CreateStorableValue(CFAllocatorRef allocator, CFStringRef key, CFTypeRef value,
                                      const char *setter, CFMutableDictionaryRef *error) {
    CFPropertyListRef copy = doc::CreateStorableCopy(allocator, value);
    if (!copy) {
        *error = vt::errors::CreateNotStorable(allocator, setter);
        return nullptr;
    }
    if (!FitsKey(key, copy)) {
        CFRelease(copy);
        *error = VTErrorCreateNULLParam(allocator);
        return nullptr;
    }
    return copy;
}

} // namespace

extern "C" {

CFMutableDictionaryRef VTPrivate_SearchConfigurationsGet(CFAllocatorRef allocator) {
    CFMutableDictionaryRef table = doc::Table(kVTTopLevelKeySearchConfigurations);
    if (!table)
        VTErrorPrivate_ShowIf(allocator, kVTErrorDomainOSStatus, -4960,
                              "Can't find search configuration container.");
    return table;
}

CFMutableDictionaryRef
VTPrivate_SearchConfigurationDescriptionsStorageGet(CFAllocatorRef allocator) {
    if (scds) return scds;
    scds = CreateDictionary(kCFAllocatorDefault);
    if (!scds)
        VTErrorPrivate_ShowIf(allocator, kVTErrorDomainOSStatus, -4960,
                              "Problem allocating search configuration descriptions array.");
    return scds;
}

CFMutableDictionaryRef VTSearchConfigurationDescriptionCreate(CFAllocatorRef allocator,
                                                              CFStringRef title,
                                                              CFStringRef configurationID,
                                                              CFArrayRef libraryIDs) {
    static const char kName[] = "VTSearchConfigurationDescriptionCreate";
    title = cf::Cast<CFStringRef>(title);
    CFRef<CFStringRef> uuid(doc::CreateStoredString(allocator, configurationID));
    if (!title || !uuid) return VTErrorCreateNULLParamFormat(allocator, kName);
    CFMutableDictionaryRef store = VTPrivate_SearchConfigurationDescriptionsStorageGet(allocator);
    if (!store)
        return VTErrorCreateCoreFormat(
            allocator, CFSTR("%s:: Ssearch configuration description array is NULL."), kName);
    auto allocationProblem = [&] {
        return VTErrorCreateCoreFormat(
            allocator, CFSTR("%s:: Search configuration description allocation problem."), kName);
    };
    CFRef<CFMutableDictionaryRef> description(CreateDictionary(allocator));
    CFRef<CFMutableArrayRef> ids(CreateArray(allocator));
    CFRef<CFMutableArrayRef> inherits(CreateArray(allocator));
    // A description short of its lists would be registered as one that
    // searches nothing.
    if (!description || !ids || !inherits) return allocationProblem();
    // The title object itself: a host may keep changing its own string until
    // registration, which fixes a copy in the document.
    CFDictionarySetValue(description.get(), kVTKeyTitle, title);
    CFDictionarySetValue(description.get(), kVTKeyEnabled, kCFBooleanTrue);
    CFDictionarySetValue(description.get(), kVTKeyUUID, uuid.get());
    CFDictionarySetValue(description.get(), kVTKeyKind, kVTKindSearchConfiguration);
    if (inherits) CFDictionarySetValue(description.get(), kVTKeyInherits, inherits.get());
    if (ids) {
        // Only strings are library IDs, each copied so the caller's array and
        // strings stay the caller's to change.
        if (CFArrayRef given = cf::Cast<CFArrayRef>(libraryIDs)) {
            for (CFIndex i = 0, count = CFArrayGetCount(given); i < count; ++i) {
                CFTypeRef givenID = CFArrayGetValueAtIndex(given, i);
                CFRef<CFStringRef> id(doc::CreateStoredString(allocator, givenID));
                if (id)
                    CFArrayAppendValue(ids.get(), id.get());
                else if (cf::Cast<CFStringRef>(givenID))
                    return allocationProblem();
            }
        }
        CFDictionarySetValue(description.get(), kVTKeyLibraryIDs, ids.get());
    }
    CFDictionarySetValue(store, uuid.get(), description.get());
    return nullptr;
}

CFTypeRef VTSearchConfigurationDescriptionGetValue(CFAllocatorRef allocator,
                                                   CFStringRef configurationID, CFStringRef key,
                                                   CFMutableDictionaryRef *outError) {
    CFMutableDictionaryRef store = VTPrivate_SearchConfigurationDescriptionsStorageGet(allocator);
    if (!store) {
        if (outError)
            *outError = VTErrorCreateCore(allocator, CFSTR("Can't find configuration array."));
        return nullptr;
    }
    configurationID = cf::Cast<CFStringRef>(configurationID);
    key = cf::Cast<CFStringRef>(key);
    if (!configurationID || !key) {
        if (outError)
            *outError =
                VTErrorCreateNULLParamFormat(allocator, "VTSearchConfigurationDescriptionGetValue");
        return nullptr;
    }
    return CheckedValue(doc::Get<CFDictionaryRef>(store, configurationID), key);
}

CFMutableDictionaryRef VTSearchConfigurationDescriptionSetValue(CFAllocatorRef allocator,
                                                                CFStringRef configurationID,
                                                                CFStringRef key, CFTypeRef value) {
    CFMutableDictionaryRef store = VTPrivate_SearchConfigurationDescriptionsStorageGet(allocator);
    if (!store) return VTErrorCreateCore(allocator, CFSTR("Can't find configuration array."));
    configurationID = cf::Cast<CFStringRef>(configurationID);
    key = cf::Cast<CFStringRef>(key);
    if (!configurationID || !key || !value) return VTErrorCreateNULLParam(allocator);
    CFMutableDictionaryRef error = nullptr;
    CFRef<CFPropertyListRef> stored(CreateStorableValue(
        allocator, key, value, "VTSearchConfigurationDescriptionSetValue", &error));
    if (!stored) return error;
    CFMutableDictionaryRef description = doc::GetMutableDictionary(store, configurationID);
    if (!description)
        return VTErrorCreateCore(allocator, CFSTR("Can't find specified configuration."));
    CFDictionarySetValue(description, key, stored.get());
    return nullptr;
}

CFMutableDictionaryRef
VTPrivate_SearchConfigurationDescriptionsInitialize(CFAllocatorRef allocator) {
    if (!VTPrivate_SearchConfigurationDescriptionsStorageGet(allocator))
        return VTErrorCreateCore(
            allocator, CFSTR("Search configuration initialization: descriptions array is NULL."));
    CFRef<CFMutableArrayRef> ids(CreateArray(allocator));
    if (!ids) return nullptr;

    // Each description copies the list as it stands, so each domain's
    // configuration lists its own root library after those before it.
    const struct {
        CFStringRef libraryID, title, configurationID;
    } kReserved[] = {
        {kVTUserLibraryID, kVTSearchConfigurationDefaultTitleUser, kVTSearchConfigurationIDUser},
        {kVTLocalLibraryID, kVTSearchConfigurationDefaultTitleLocal, kVTSearchConfigurationIDLocal},
        {kVTNetworkLibraryID, kVTSearchConfigurationDefaultTitleNetwork,
         kVTSearchConfigurationIDNetwork},
    };
    for (const auto &reserved : kReserved) {
        CFArrayAppendValue(ids.get(), reserved.libraryID);
        if (CFMutableDictionaryRef error = VTSearchConfigurationDescriptionCreate(
                allocator, reserved.title, reserved.configurationID, ids.get()))
            return error;
    }
    if (!VTPrivate_GetModulesFolderURLForNetworkDomain(allocator, VantrellGetModulesFolderName()))
        return VTSearchConfigurationDescriptionSetValue(allocator, kVTSearchConfigurationIDNetwork,
                                                        kVTKeyEnabled, kCFBooleanFalse);
    return nullptr;
}

CFMutableDictionaryRef VTDocumentRegisterSearchConfiguration(CFAllocatorRef allocator,
                                                             CFStringRef configurationID) {
    // Held for the call: the ID may be borrowed from the configuration that
    // registration replaces.
    CFRef<CFStringRef> id = CFRef<CFStringRef>::Retain(cf::Cast<CFStringRef>(configurationID));
    if (!id) return VTErrorCreateNULLParam(allocator);
    CFMutableDictionaryRef table = VTPrivate_SearchConfigurationsGet(allocator);
    if (!table)
        return VTErrorCreateCoreFormat(allocator,
                                       CFSTR("%s:: SearchConfigurations array is missing."),
                                       "VTDocumentRegisterSearchConfiguration");
    CFMutableDictionaryRef store = VTPrivate_SearchConfigurationDescriptionsStorageGet(allocator);
    if (!store)
        return VTErrorCreateCore(allocator,
                                 CFSTR("Can't find search configuration descriptions array."));
    CFRef<CFMutableDictionaryRef> description =
        CFRef<CFMutableDictionaryRef>::Retain(doc::GetMutableDictionary(store, id.get()));
    if (!description) return VTErrorCreateCore(allocator, CFSTR("No such description."));

    // The description may hold the host's own title string; the document
    // gets a copy the host cannot change behind the framework's back.
    if (CFStringRef title = doc::Get<CFStringRef>(description.get(), kVTKeyTitle)) {
        CFRef<CFStringRef> copy(doc::CreateStoredString(allocator, title));
        doc::Set(description.get(), kVTKeyTitle, copy.get());
    }
    CFDictionarySetValue(table, id.get(), description.get());

    store = VTPrivate_SearchConfigurationDescriptionsStorageGet(allocator);
    if (!store) return VTErrorCreateCore(allocator, CFSTR("Can't find configuration array."));
    CFDictionaryRemoveValue(store, id.get());
    return nullptr;
}

CFTypeRef VTSearchConfigurationGetValue(CFAllocatorRef allocator, CFStringRef configurationID,
                                        CFStringRef key, CFMutableDictionaryRef *outError) {
    static const char kName[] = "VTSearchConfigurationGetValue";
    configurationID = cf::Cast<CFStringRef>(configurationID);
    key = cf::Cast<CFStringRef>(key);
    if (!configurationID || !key) {
        if (outError) *outError = VTErrorCreateNULLParamFormat(allocator, kName);
        return nullptr;
    }
    CFMutableDictionaryRef table = VTPrivate_SearchConfigurationsGet(allocator);
    if (!table) {
        if (outError)
            *outError = VTErrorCreateCoreFormat(
                allocator, CFSTR("%s::SearchConfigurations array is missing."), kName);
        return nullptr;
    }
    return CheckedValue(doc::Get<CFDictionaryRef>(table, configurationID), key);
}

CFMutableDictionaryRef VTSearchConfigurationSetValue(CFAllocatorRef allocator,
                                                     CFStringRef configurationID, CFStringRef key,
                                                     CFTypeRef value) {
    static const char kName[] = "VTSearchConfigurationSetValue";
    configurationID = cf::Cast<CFStringRef>(configurationID);
    key = cf::Cast<CFStringRef>(key);
    if (!configurationID || !key || !value) return VTErrorCreateNULLParam(allocator);
    CFMutableDictionaryRef error = nullptr;
    CFRef<CFPropertyListRef> stored(CreateStorableValue(allocator, key, value, kName, &error));
    if (!stored) return error;
    CFMutableDictionaryRef table = doc::Table(kVTTopLevelKeySearchConfigurations);
    if (!table)
        return VTErrorCreateCoreFormat(
            allocator, CFSTR("%s:: Can't find search configurations array."), kName);
    // An unregistered ID is a failure: success would tell the host its value
    // was kept.
    CFMutableDictionaryRef configuration = doc::GetMutableDictionary(table, configurationID);
    if (!configuration) return vt::errors::CreateCantFindContainer(allocator, kName);
    CFDictionarySetValue(configuration, key, stored.get());
    return nullptr;
}

CFMutableDictionaryRef VTDocumentRemoveSearchConfiguration(CFAllocatorRef allocator,
                                                           CFStringRef configurationID) {
    // Held for the call: the ID may be the removed configuration's own "UUID".
    CFRef<CFStringRef> id = CFRef<CFStringRef>::Retain(cf::Cast<CFStringRef>(configurationID));
    if (!id) return VTErrorCreateNULLParam(allocator);
    CFMutableDictionaryRef table = VTPrivate_SearchConfigurationsGet(allocator);
    if (!table)
        return VTErrorCreateCoreFormat(allocator,
                                       CFSTR("%s:: Problem with search configuration array."),
                                       "VTDocumentRemoveSearchConfiguration");
    CFDictionaryRemoveValue(table, id.get());
    CFStringRef lastSelected = VTDocumentGetSearchConfigurationLastSelected();
    if (lastSelected && CFStringCompare(lastSelected, id.get(), 0) == kCFCompareEqualTo)
        return VTDocumentSetSearchConfigurationLastSelected(allocator,
                                                            kVTSearchConfigurationIDUser);
    return nullptr;
}

CFMutableArrayRef VTDocumentCopySearchConfigurationIDs(CFAllocatorRef allocator,
                                                       CFMutableDictionaryRef *outError) {
    static const char kName[] = "VTDocumentCopySearchConfigurationIDs";
    CFMutableDictionaryRef table = VTPrivate_SearchConfigurationsGet(allocator);
    if (!table) {
        if (outError) *outError = vt::errors::CreateCantFindContainer(allocator, kName);
        return nullptr;
    }
    CFRef<CFMutableArrayRef> ids = vt::Guard(CFRef<CFMutableArrayRef>(), [&] {
        CFIndex count = CFDictionaryGetCount(table);
        std::vector<const void *> keys(static_cast<size_t>(count)), values(keys.size());
        CFDictionaryGetKeysAndValues(table, keys.data(), values.data());
        CFRef<CFMutableArrayRef> array(CreateArray(allocator));
        if (!array) return array;
        // An entry that is no configuration (a hand-edited document) is not
        // listed: nothing could be read from it.
        for (CFIndex i = 0; i < count; ++i)
            if (cf::Cast<CFStringRef>(keys[size_t(i)]) &&
                cf::Cast<CFDictionaryRef>(values[size_t(i)]))
                CFArrayAppendValue(array.get(), keys[size_t(i)]);
        return array;
    });
    if (!ids && outError)
        *outError = VTErrorCreateCoreFormat(allocator, CFSTR("%s: Allocation problem: "), kName);
    return ids.Release();
}

CFStringRef VTDocumentGetSearchConfigurationLastSelected(void) {
    return cf::Cast<CFStringRef>(
        VTPrivate_DocumentValueGet(kVTTopLevelKeySearchConfigurationLastSelected));
}

CFMutableDictionaryRef VTDocumentSetSearchConfigurationLastSelected(CFAllocatorRef allocator,
                                                                    CFStringRef configurationID) {
    if (!configurationID) return VTErrorCreateNULLParam(allocator);
    if (!CFPropertyListIsValid(configurationID, kCFPropertyListXMLFormat_v1_0))
        return vt::errors::CreateNotStorable(allocator,
                                             "VTDocumentSetSearchConfigurationLastSelected");
    CFRef<CFStringRef> id(doc::CreateStoredString(allocator, configurationID));
    if (!id) return VTErrorCreateNULLParam(allocator);
    VTPrivate_DocumentValueSet(kVTTopLevelKeySearchConfigurationLastSelected, id.get());
    return nullptr;
}

CFMutableDictionaryRef
VTPrivate_SearchConfigurationInitializeReservedIDs(CFAllocatorRef allocator) {
    if (gVTReservedSearchConfigurationIDs) return nullptr;
    gVTReservedSearchConfigurationIDs = CreateArray(kCFAllocatorDefault);
    if (!gVTReservedSearchConfigurationIDs)
        return VTErrorCreateCore(allocator,
                                 CFSTR("Can't create reserved search configurations array."));
    for (CFStringRef id : {kVTSearchConfigurationIDUser, kVTSearchConfigurationIDLocal,
                           kVTSearchConfigurationIDNetwork})
        CFArrayAppendValue(gVTReservedSearchConfigurationIDs, id);
    return nullptr;
}

CFArrayRef VTPrivate_SearchConfigurationGetReservedIDs(void) {
    return gVTReservedSearchConfigurationIDs;
}

} // extern "C"
