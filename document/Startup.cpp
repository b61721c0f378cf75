// Start-up: makes the system's folders, loads the document file and, when it
// holds no current document, builds the document and saves it.
//
// Nothing a user wrote is lost on the way: a file that cannot be read is
// copied aside before the rebuild replaces it, and a document of another
// version is backed up once and carried forward rather than reset.
#include "document/DocumentPrivate.h"

#include <Vantrell/Errors.h>
#include <Vantrell/Libraries.h>
#include <Vantrell/Search.h>
#include <Vantrell/Utilities.h>

#include "document/Tables.h"
#include "errors/Diagnostics.h"
#include "libraries/LibrariesPrivate.h"
#include "locations/LocationsPrivate.h"
#include "platform/files/FileSystem.h"
#include "platform/strings/ConstantString.h"
#include "platform/values/Cast.h"
#include "platform/values/Guard.h"
#include "platform/values/Holder.h"
#include "search/SearchPrivate.h"
#include "utilities/UtilitiesPrivate.h"

#include <cerrno>
#include <cstring>
#include <string>

VT_CONSTANT_STRING(kVTDocumentOptionInstallExamples, "InstallExamples");
VT_CONSTANT_STRING(kVTUserLibraryDefaultTitle, "UserLibrary");
VT_CONSTANT_STRING(kVTLocalLibraryDefaultTitle, "LocalLibrary");
VT_CONSTANT_STRING(kVTNetworkLibraryDefaultTitle, "NetworkLibrary");
VT_CONSTANT_STRING(kVTUserLibraryBaseURI, "~/Library/Scripts");
VT_CONSTANT_STRING(kVTLocalLibraryBaseURI, "/Library/Scripts");
VT_CONSTANT_STRING(kVTNetworkLibraryBaseURI, "/Network/Library/Scripts");

namespace {

using vt::CFRef;
namespace doc = vt::doc;

constexpr const char kLoadDocument[] = "VantrellLoadDocument";

struct RootLibrary {
    CFStringRef parentID, libraryID, title, baseURI;
    CFIndex flags;
    CFURLRef (*modulesFolder)(CFAllocatorRef, CFStringRef);
    const char *heading;
};

const RootLibrary *RootLibraries() {
    static const RootLibrary roots[] = {
        {kVTRootModuleIDUser, kVTUserLibraryID, kVTUserLibraryDefaultTitle, kVTUserLibraryBaseURI,
         8, VTPrivate_GetModulesFolderURLForUserDomain, "UserLibraryDescriptionID"},
        {kVTRootModuleIDLocal, kVTLocalLibraryID, kVTLocalLibraryDefaultTitle,
         kVTLocalLibraryBaseURI, 9, VTPrivate_GetModulesFolderURLForLocalDomain,
         "LocalLibraryDescriptionID"},
        {kVTRootModuleIDNetwork, kVTNetworkLibraryID, kVTNetworkLibraryDefaultTitle,
         kVTNetworkLibraryBaseURI, 9, VTPrivate_GetModulesFolderURLForNetworkDomain,
         "NetworkLibraryDescriptionID"},
    };
    return roots;
}
constexpr int kRootCount = 3;

CFStringRef ReservedConfigurationID(int index) {
    const CFStringRef ids[] = {kVTSearchConfigurationIDUser, kVTSearchConfigurationIDLocal,
                               kVTSearchConfigurationIDNetwork};
    return ids[index];
}

// ---- Phase 1: folders and search-configuration descriptions --------------

CFMutableDictionaryRef InitializeInternals(CFAllocatorRef allocator) {
    CFStringRef folderName = VantrellGetModulesFolderName();
    CFMutableDictionaryRef error = nullptr;
    VTPrivate_FrameworkGetBundleURLPath(allocator, &error);
    if (error) return error;
    CFURLRef userModules = VTPrivate_GetModulesFolderURLForUserDomain(allocator, folderName);
    if (!userModules)
        return VTErrorCreateCore(allocator, CFSTR("Can't create user domain Modules folder."));
    CFURLRef localModules = VTPrivate_GetModulesFolderURLForLocalDomain(allocator, folderName);
    CFURLRef networkModules = VTPrivate_GetModulesFolderURLForNetworkDomain(allocator, folderName);

    const CFURLRef folders[] = {VTPrivate_GetScriptsFolderURLForUserDomain(allocator), userModules,
                                VTPrivate_GetScriptsFolderURLForLocalDomain(allocator),
                                localModules,
                                VTPrivate_GetScriptsFolderURLForNetworkDomain(allocator)};
    for (CFURLRef folder : folders)
        if ((error = VTU_URLCreateFolderWithURL(allocator, folder))) return error;
    // A network share that refuses a new folder must not keep the host from
    // starting; the network library then simply has no folder.
    CFRef<CFMutableDictionaryRef> ignored(VTU_URLCreateFolderWithURL(allocator, networkModules));
    return VTPrivate_SearchConfigurationDescriptionsInitialize(allocator);
}

// ---- Phase 2: the example script --------------------------------------------

bool InstallExamplesRequested(CFDictionaryRef options) {
    auto dictionary = vt::cf::Cast<CFDictionaryRef>(options);
    return dictionary &&
           CFDictionaryGetValue(dictionary, kVTDocumentOptionInstallExamples) == kCFBooleanTrue;
}

CFMutableDictionaryRef InstallExample(CFAllocatorRef allocator) {
    CFMutableDictionaryRef error = nullptr;
    CFBundleRef bundle = VTPrivate_FrameworkGetBundle(allocator, &error);
    if (!bundle) return error;
    CFRef<CFURLRef> script(CFBundleCopyResourceURL(bundle, CFSTR("SE_ListDesktopFolder.scpt"),
                                                   nullptr, CFSTR("Scripts")));
    if (!script) return error;
    CFURLRef folder = VTPrivate_GetModulesFolderURLForUserDomain(allocator, nullptr);
    return VTU_URLCopyFileToFolder(allocator, script.get(), folder, nullptr, kCFBooleanFalse);
}

// ---- Copies of the document file made before a build replaces it ---------

// The version as it may appear in a file name: ASCII letters, digits, ".",
// "-" and "_" kept, anything else "_"; "unknown" when there is no string.
std::string VersionForFileName(CFTypeRef value) {
    auto version = vt::cf::Cast<CFStringRef>(value);
    if (!version) return "unknown";
    std::string name;
    CFIndex length = CFStringGetLength(version);
    // Long enough to tell versions apart, short enough for any file system.
    for (CFIndex i = 0; i < length && name.size() < 100; ++i) {
        UniChar c = CFStringGetCharacterAtIndex(version, i);
        bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '.' || c == '-' || c == '_';
        // A surrogate pair is one character.
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length) ++i;
        name += keep ? char(c) : '_';
    }
    return name;
}

// The file as the other version wrote it, kept once per version: the first
// backup of a version is never replaced by a later one.
CFMutableDictionaryRef BackUpOtherVersion(CFAllocatorRef allocator, CFTypeRef version) {
    std::string path = VTPrivate_DocumentPath(allocator);
    if (path.empty()) return nullptr;
    std::string backup = path + ".version-" + VersionForFileName(version);
    int error = vt::platform::CopyFileExclusively(path, backup);
    if (error == EEXIST) return nullptr;
    if (error) {
        VTLog("%s: The document %s was written by another version and cannot be backed up "
              "(%s); it was left as it is.",
              kLoadDocument, path.c_str(), strerror(error));
        return VTPrivate_DocumentCreateCopyError(allocator, kLoadDocument, error,
                                                 "the document of another version", backup);
    }
    VTLog("%s: The document %s was written by another version; it was backed up to %s.",
          kLoadDocument, path.c_str(), backup.c_str());
    return nullptr;
}

// ---- Carrying a held document through the build --------------------------

// One-level copies of what the build replaces, taken before it runs.
struct CarriedValues {
    CFRef<CFDictionaryRef> records[kRootCount];
    CFRef<CFDictionaryRef> properties[kRootCount];
    CFRef<CFDictionaryRef> configurations[kRootCount];
};

CFDictionaryRef CreateSnapshot(CFDictionaryRef dictionary) {
    return dictionary ? CFDictionaryCreateCopy(kCFAllocatorDefault, dictionary) : nullptr;
}

void TakeSnapshots(CarriedValues &carried) {
    CFMutableDictionaryRef properties = doc::Table(kVTTopLevelKeyProperties);
    for (int i = 0; i < kRootCount; ++i) {
        auto record =
            doc::TableGet<CFDictionaryRef>(kVTTopLevelKeyLibraries, RootLibraries()[i].libraryID);
        carried.records[i].Reset(CreateSnapshot(record));
        CFStringRef propertyID = doc::Get<CFStringRef>(record, kVTLibraryKeyPropertyID);
        carried.properties[i].Reset(
            CreateSnapshot(doc::Get<CFDictionaryRef>(properties, propertyID)));
        carried.configurations[i].Reset(CreateSnapshot(doc::TableGet<CFDictionaryRef>(
            kVTTopLevelKeySearchConfigurations, ReservedConfigurationID(i))));
    }
}

struct CopyContext {
    CFMutableDictionaryRef target;
    bool onlyMissing;
};

// Copies the string-keyed entries of `from` into `to`; with onlyMissing, keys
// `to` already holds, and the folder keys the build derives, are left alone.
void CopyEntries(CFDictionaryRef from, CFMutableDictionaryRef to, bool onlyMissing) {
    if (!from || !to) return;
    CopyContext context{to, onlyMissing};
    CFDictionaryApplyFunction(
        from,
        [](const void *key, const void *value, void *raw) {
            auto *context = static_cast<CopyContext *>(raw);
            auto name = vt::cf::Cast<CFStringRef>(key);
            if (!name || CFEqual(name, kVTKeyKind)) return;
            if (context->onlyMissing &&
                (CFDictionaryContainsKey(context->target, name) ||
                 CFEqual(name, kVTFileInfoKeyURLMapID) || CFEqual(name, kVTKeyFolderInfo)))
                return;
            CFDictionarySetValue(context->target, name, value);
        },
        &context);
}

// The root library keeps what the user or the host gave it: the values of
// its property set (its title included) and the record keys the build does
// not set. What the build derives from this machine stays as just built.
void RestoreLibrary(const CarriedValues &carried, int index) {
    CFMutableDictionaryRef record = VTPrivate_GetOneLibrary(RootLibraries()[index].libraryID);
    if (!record) return;
    CopyEntries(carried.records[index].get(), record, true);
    CFStringRef propertyID = doc::Get<CFStringRef>(record, kVTLibraryKeyPropertyID);
    CFMutableDictionaryRef properties =
        propertyID ? doc::TableGetMutableDictionary(kVTTopLevelKeyProperties, propertyID) : nullptr;
    CopyEntries(carried.properties[index].get(), properties, false);
}

// A reserved configuration already stored keeps its values; registration
// only adds the keys it lacked.
void RestoreConfigurations(const CarriedValues &carried) {
    for (int i = 0; i < kRootCount; ++i) {
        CFMutableDictionaryRef configuration = doc::TableGetMutableDictionary(
            kVTTopLevelKeySearchConfigurations, ReservedConfigurationID(i));
        CopyEntries(carried.configurations[i].get(), configuration, false);
    }
}

// ---- Phase 3: the build -----------------------------------------------------

void RegisterRootLibraries(CFAllocatorRef allocator, CFRef<CFMutableDictionaryRef> &result,
                           const CarriedValues *carried) {
    CFRef<CFNumberRef> folderInfoOptions(VTU_NumberCreateWithCFIndex(allocator, 1));
    CFStringRef folderName = VantrellGetModulesFolderName();
    for (int i = 0; i < kRootCount; ++i) {
        const RootLibrary &root = RootLibraries()[i];
        // Each library's record is its own: one library's failure must not
        // be shown again under the next one's heading.
        result.Reset();
        CFRef<CFStringRef> descriptionID(VTLibraryDescriptionCreateMinimal(
            allocator, root.parentID, root.libraryID, root.title, result.Out()));
        if (descriptionID) {
            result.Reset(VTLibraryDescriptionSetValue(allocator, descriptionID.get(),
                                                      kVTKeyBaseURIString, root.baseURI));
            CFRef<CFNumberRef> flags(VTU_NumberCreateWithCFIndex(allocator, root.flags));
            result.Reset(VTLibraryDescriptionSetValue(allocator, descriptionID.get(), kVTKeyFlags,
                                                      flags.get()));
            result.Reset(VTLibraryDescriptionSetFolderInfoWithURL(
                allocator, descriptionID.get(), root.modulesFolder(allocator, folderName),
                folderInfoOptions.get()));
            result.Reset(VTDocumentRegisterLibrary(allocator, descriptionID.get(), nullptr));
            if (carried) RestoreLibrary(*carried, i);
        }
        if (result) VTErrorShow(result.get(), CFSTR("%s"), root.heading);
        // A root library that could not be registered ends the build: the
        // document must not be saved as current without it.
        if (result && !VTPrivate_LibraryIDIsRegistered(root.libraryID)) return;
    }
}

CFMutableDictionaryRef RegisterReservedConfigurations(CFAllocatorRef allocator,
                                                      const CarriedValues *carried) {
    CFRef<CFMutableDictionaryRef> result;
    for (int i = 0; i < kRootCount; ++i) {
        CFStringRef id = ReservedConfigurationID(i);
        // A lookup that hands back nothing leaves the pending record as it is.
        CFMutableDictionaryRef handed = nullptr;
        CFTypeRef title = VTSearchConfigurationGetValue(allocator, id, kVTKeyTitle, &handed);
        if (handed) result.Reset(handed);
        if (title)
            result.Reset(
                VTSearchConfigurationDescriptionSetValue(allocator, id, kVTKeyTitle, title));
    }
    if (result) return result.Release();
    for (int i = 0; i < kRootCount && !result; ++i)
        result.Reset(VTDocumentRegisterSearchConfiguration(allocator, ReservedConfigurationID(i)));
    if (carried) RestoreConfigurations(*carried);
    if (!result) result.Reset(VTPrivate_SearchConfigurationInitializeReservedIDs(allocator));
    return result.Release();
}

CFMutableDictionaryRef LoadDocument(CFAllocatorRef allocator, CFDictionaryRef options) {
    if (CFMutableDictionaryRef error = InitializeInternals(allocator)) {
        VTErrorShow(error, CFSTR("%s"), "VTPrivate_InitializeInternals");
        return error;
    }

    CFBooleanRef loaded = VTPrivate_DocumentLoad(allocator);
    CFTypeRef version = VTPrivate_DocumentValueGet(kVTTopLevelKeyDocumentVersion);
    auto versionString = vt::cf::Cast<CFStringRef>(version);
    bool current = VTPrivate_DocumentGetDocument() && versionString &&
                   CFStringCompare(versionString, kVTDocumentVersion, 0) == kCFCompareEqualTo;
    CFRef<CFMutableDictionaryRef> exampleResult;
    if (InstallExamplesRequested(options)) exampleResult.Reset(InstallExample(allocator));
    if (loaded == kCFBooleanTrue && current) return exampleResult.Release();

    // Keep what is on disk before the build's save replaces it.
    CFMutableDictionaryRef kept = loaded == kCFBooleanTrue
                                      ? BackUpOtherVersion(allocator, version)
                                      : VTPrivate_DocumentCopyUnreadableAside(allocator);
    if (kept) return kept;

    // A held document (another version, or the one a failed reload leaves)
    // is carried forward rather than reset.
    CarriedValues carriedValues;
    const CarriedValues *carried = nullptr;
    if (VTPrivate_DocumentGetDocument()) {
        TakeSnapshots(carriedValues);
        carried = &carriedValues;
    }

    if (CFMutableDictionaryRef error = VTPrivate_DocumentCreate(allocator)) return error;
    CFRef<CFMutableDictionaryRef> result;
    RegisterRootLibraries(allocator, result, carried);
    if (result) return result.Release();
    result.Reset(RegisterReservedConfigurations(allocator, carried));
    if (result) return result.Release();
    // A file of another version is backed up and now carried forward: it is
    // current from here on, or every start-up would rebuild and rewrite it.
    if (loaded == kCFBooleanTrue)
        VTPrivate_DocumentValueSet(kVTTopLevelKeyDocumentVersion, kVTDocumentVersion);
    result.Reset(VantrellSaveDocument(allocator));
    // The example's failure is reported once nothing later has failed; it
    // does not keep the host from having a document.
    return result ? result.Release() : exampleResult.Release();
}

} // namespace

extern "C" CFMutableDictionaryRef VantrellLoadDocument(CFAllocatorRef allocator,
                                                       CFDictionaryRef options) {
    bool finished = false;
    CFMutableDictionaryRef result = vt::Guard(static_cast<CFMutableDictionaryRef>(nullptr), [&] {
        CFMutableDictionaryRef record = LoadDocument(allocator, options);
        finished = true;
        return record;
    });
    // Start-up cut short by a failed allocation must not look like success.
    if (!finished)
        result =
            VTErrorCreateCoreFormat(allocator, CFSTR("%s: Allocation problem."), kLoadDocument);
    return result;
}
