// The document commands: init, libraries, add, scan, find, show, remove,
// register and unregister.
#include "tools/Session.h"

#include <Vantrell/Vantrell.h>

#include "document/DocumentPrivate.h"
#include "libraries/LibrariesPrivate.h"
#include "tables/TablesPrivate.h"
#include "utilities/UtilitiesPrivate.h"
#include "platform/values/Cast.h"
#include "platform/values/Holder.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace vt::tool {
namespace {

namespace fs = std::filesystem;

struct LibraryInfo {
    std::string id, title, folder;
    std::vector<std::string> children;
    size_t files = 0;
};

std::vector<std::string> Strings(CFTypeRef value) {
    std::vector<std::string> out;
    if (auto array = cf::Cast<CFArrayRef>(value))
        for (CFIndex i = 0; i < CFArrayGetCount(array); ++i)
            if (auto string = cf::Cast<CFStringRef>(CFArrayGetValueAtIndex(array, i)))
                out.push_back(Text(string));
    return out;
}

std::string LibraryFolder(CFStringRef id) {
    CFStringRef mapID = VTLibraryGetURLMapID(nullptr, id, nullptr);
    return mapID ? PathOfURLText(VTFileGetURL(mapID)) : "";
}

LibraryInfo Describe(const std::string &libraryID) {
    LibraryInfo info{libraryID, "", "", {}, 0};
    CFRef<CFStringRef> id(CreateString(libraryID));
    // The title lives in the property set; an older record may carry its own.
    CFTypeRef title = VTLibraryPropertyGetValue(nullptr, id.get(), kVTKeyTitle, nullptr);
    if (!cf::Cast<CFStringRef>(title))
        title = VTLibraryGetValue(nullptr, id.get(), kVTKeyTitle, nullptr);
    info.title = Text(cf::Cast<CFStringRef>(title));
    info.folder = LibraryFolder(id.get());
    info.children = Strings(VTLibraryGetValue(nullptr, id.get(), kVTKeyChildren, nullptr));
    info.files = Strings(VTLibraryGetValue(nullptr, id.get(), kVTKeyFiles, nullptr)).size();
    return info;
}

std::vector<std::string> LibraryIDs() {
    CFRef<CFArrayRef> ids(VTDocumentCopyLibraryIDs(nullptr, nullptr));
    std::vector<std::string> out = Strings(ids.get());
    std::sort(out.begin(), out.end());
    return out;
}

size_t LibraryCount() {
    CFRef<CFArrayRef> ids(VTDocumentCopyLibraryIDs(nullptr, nullptr));
    return ids ? size_t(CFArrayGetCount(ids.get())) : 0;
}

const std::vector<std::string> &RootIDs() {
    static const std::vector<std::string> roots = {Text(kVTUserLibraryID), Text(kVTLocalLibraryID),
                                                   Text(kVTNetworkLibraryID)};
    return roots;
}

std::string InfoJSON(const LibraryInfo &info) {
    std::string children = "[";
    for (size_t i = 0; i < info.children.size(); ++i)
        children += (i ? ", " : "") + JSONString(info.children[i]);
    return "{\"id\": " + JSONString(info.id) + ", \"title\": " + JSONString(info.title) +
           ", \"folder\": " + (info.folder.empty() ? "null" : JSONString(info.folder)) +
           ", \"files\": " + std::to_string(info.files) + ", \"children\": " + children + "]}";
}

void PrintLibraries(const std::vector<std::string> &ids) {
    if (Globals().json) {
        std::printf("[");
        for (size_t i = 0; i < ids.size(); ++i)
            std::printf("%s%s", i ? ",\n " : "", InfoJSON(Describe(ids[i])).c_str());
        std::printf("]\n");
        return;
    }
    for (const std::string &id : ids) {
        LibraryInfo info = Describe(id);
        std::printf("%s\t%s\t%s\t%zu files\t%zu children\n", info.id.c_str(), info.title.c_str(),
                    info.folder.empty() ? "-" : info.folder.c_str(), info.files,
                    info.children.size());
    }
}

// --- init -------------------------------------------------------------------

std::set<std::string> Listing(const fs::path &folder) {
    std::set<std::string> names;
    std::error_code error;
    for (const auto &entry : fs::directory_iterator(folder, error))
        names.insert(entry.path().filename().string());
    return names;
}

int RunInit(Arguments args) {
    ParsedArguments parsed;
    if (int status =
            ParseArguments(kInitCommand, "vantrell init", args, {"--examples"}, {}, 0, 0, parsed))
        return status;
    if (!LoadFramework()) return Fail(VANTRELL_FRAMEWORK_LIBRARY, "cannot load the framework");
    std::vector<std::string> created;
    // A scratch root is ours: its Scripts folders are made for start-up to use.
    if (!Globals().root.empty())
        for (const char *domain : {"user", "local", "network"}) {
            fs::path scripts = fs::path(Globals().root) / domain / "Library" / "Scripts";
            std::error_code error;
            if (fs::create_directories(scripts, error))
                created.push_back(scripts.string());
            else if (error)
                return Fail(scripts.string(), error.message());
        }
    std::string document = DocumentPath();
    fs::path folder = fs::path(document).parent_path();
    std::set<std::string> before = Listing(folder);
    bool existed = fs::exists(document);
    // The Modules folders where start-up makes them, and what the user one
    // holds, to tell afterwards what start-up added.
    std::vector<std::string> expected;
    for (CFURLRef url :
         {VantrellGetModulesFolderURLForUserDomain(), VantrellGetModulesFolderURLForLocalDomain(),
          VantrellGetModulesFolderURLForNetworkDomain()})
        if (url) expected.push_back(PathOfURL(url));
    std::vector<bool> expectedExisted;
    for (const std::string &path : expected)
        expectedExisted.push_back(fs::exists(path));
    CFURLRef userURL = VantrellGetModulesFolderURLForUserDomain();
    std::string user = userURL ? PathOfURL(userURL) : "";
    std::set<std::string> userModules = Listing(user);

    CFRef<CFMutableDictionaryRef> options(CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    if (parsed.Has("--examples"))
        CFDictionarySetValue(options.get(), kVTDocumentOptionInstallExamples, kCFBooleanTrue);
    CFRef<CFMutableDictionaryRef> error(VantrellLoadDocument(nullptr, options.get()));
    for (size_t i = 0; i < expected.size(); ++i)
        if (!expectedExisted[i] && fs::exists(expected[i])) created.push_back(expected[i]);
    for (const std::string &path : created)
        std::printf("created folder %s\n", path.c_str());
    bool rebuilt = false, carried = false;
    std::string prefix = fs::path(document).filename().string() + ".";
    for (const std::string &name : Listing(folder)) {
        if (before.count(name) || name.rfind(prefix, 0) != 0) continue;
        std::printf("kept the former document as %s\n", (folder / name).c_str());
        rebuilt |= name.find(".unreadable-") != std::string::npos;
        carried |= name.find(".version-") != std::string::npos;
    }
    for (const std::string &name : Listing(user))
        if (!userModules.count(name))
            std::printf("installed %s\n", (fs::path(user) / name).c_str());
    if (error) return Fail(document, ErrorText(error.get()));
    if (!existed || rebuilt)
        std::printf("created document %s\n", document.c_str());
    else if (carried)
        std::printf("carried document %s forward to version %s\n", document.c_str(),
                    Text(VTDocumentGetVersion()).c_str());
    else
        std::printf("document %s is current\n", document.c_str());
    return kExitSuccess;
}

// --- libraries ----------------------------------------------------------------

void PrintTree(const std::string &id, const std::string &prefix, bool last, bool top,
               std::set<std::string> &seen) {
    LibraryInfo info = Describe(id);
    std::string line = top ? "" : prefix + (last ? "`-- " : "|-- ");
    std::printf("%s%s (%s)%s\n", line.c_str(), info.title.c_str(), info.id.c_str(),
                info.files ? (" " + std::to_string(info.files) + " files").c_str() : "");
    if (!seen.insert(id).second) return;
    std::string inner = top ? "" : prefix + (last ? "    " : "|   ");
    for (size_t i = 0; i < info.children.size(); ++i)
        if (!seen.count(info.children[i]))
            PrintTree(info.children[i], inner, i + 1 == info.children.size(), false, seen);
}

std::string TreeJSON(const std::string &id, std::set<std::string> &seen) {
    LibraryInfo info = Describe(id);
    std::string out = "{\"id\": " + JSONString(info.id) + ", \"title\": " + JSONString(info.title) +
                      ", \"files\": " + std::to_string(info.files) + ", \"children\": [";
    seen.insert(id);
    bool first = true;
    for (const std::string &child : info.children)
        if (!seen.count(child)) {
            out += (first ? "" : ", ") + TreeJSON(child, seen);
            first = false;
        }
    return out + "]}";
}

int RunLibraries(Arguments args) {
    ParsedArguments parsed;
    if (int status = ParseArguments(kLibrariesCommand, "vantrell libraries", args, {"--tree"}, {},
                                    0, 0, parsed))
        return status;
    if (!LoadCurrentDocument()) return kExitFailure;
    std::set<std::string> seen;
    if (!parsed.Has("--tree")) {
        PrintLibraries(LibraryIDs());
    } else if (Globals().json) {
        std::printf("[");
        for (size_t i = 0; i < RootIDs().size(); ++i)
            std::printf("%s%s", i ? ",\n " : "", TreeJSON(RootIDs()[i], seen).c_str());
        std::printf("]\n");
    } else {
        for (const std::string &root : RootIDs())
            PrintTree(root, "", true, true, seen);
    }
    return kExitSuccess;
}

// --- add ------------------------------------------------------------------------

int RunAdd(Arguments args) {
    ParsedArguments parsed;
    if (int status = ParseArguments(kAddCommand, "vantrell add", args, {}, {"--parent", "--title"},
                                    1, 1, parsed))
        return status;
    if (!LoadCurrentDocument()) return kExitFailure;
    const std::string &folder = parsed.operands[0];
    struct stat status {};
    if (::stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
        return Fail(folder, "not a folder");
    std::string parentID = Text(kVTUserLibraryID);
    if (auto parent = parsed.Value("--parent")) {
        parentID = ResolveLibrary(*parent);
        if (parentID.empty()) return kExitFailure;
    }
    CFRef<CFURLRef> url(CreateURLForPath(folder, true));
    std::string path = PathOfURL(url.get());
    std::string title = parsed.Value("--title").value_or(fs::path(path).filename().string());
    CFRef<CFStringRef> parent(CreateString(parentID)), titleString(CreateString(title));
    CFRef<CFMutableDictionaryRef> error;
    CFRef<CFStringRef> description(VTLibraryDescriptionCreateMinimal(
        nullptr, parent.get(), nullptr, titleString.get(), error.Out()));
    if (!description) return Fail(folder, ErrorText(error.get()));
    int one = 1;
    CFRef<CFNumberRef> options(CFNumberCreate(nullptr, kCFNumberIntType, &one));
    error.Reset(VTLibraryDescriptionSetFolderInfoWithURL(nullptr, description.get(), url.get(),
                                                         options.get()));
    if (error) return Fail(folder, ErrorText(error.get()));
    CFRef<CFStringRef> libraryID;
    error.Reset(VTDocumentRegisterLibrary(nullptr, description.get(), libraryID.Out()));
    if (error) return Fail(folder, ErrorText(error.get()));
    if (!SaveDocument()) return kExitFailure;
    std::printf("added %s \"%s\" for %s under %s\n", Text(libraryID.get()).c_str(), title.c_str(),
                path.c_str(), parentID.c_str());
    return kExitSuccess;
}

// --- scan -----------------------------------------------------------------------

// The subfolder pass makes one level of children and registers the folders
// inside each new child as files of that child, so a later pass on the child
// finds them known and skips them. Going down the tree, the command turns such
// a folder into a library of its own: one that is a file of this library
// alone (or of none), or one the map does not know at all, which a clash of
// name-derived IDs left out. A folder of the same name elsewhere already holds
// the auto ID, so such a folder gets a generated ID instead.
class NestedFolders {
  public:
    NestedFolders() {
        CFRef<CFArrayRef> ids(VTDocumentCopyLibraryIDs(nullptr, nullptr));
        for (const std::string &id : Strings(ids.get())) {
            CFRef<CFStringRef> libraryID(CreateString(id));
            if (CFStringRef mapID = VTLibraryGetURLMapID(nullptr, libraryID.get(), nullptr))
                folders_.insert(Text(mapID));
        }
    }

    // Makes a child library of the library for each of its folder's
    // subfolders that no library has yet; failures are reported and counted.
    void Adopt(const std::string &id, int &status) {
        CFRef<CFStringRef> libraryID(CreateString(id));
        CFStringRef mapID = VTLibraryGetURLMapID(nullptr, libraryID.get(), nullptr);
        CFStringRef text = mapID ? VTFileGetURL(mapID) : nullptr;
        CFRef<CFURLRef> folder(text ? CFURLCreateWithString(nullptr, text, nullptr) : nullptr);
        if (!folder) return;
        CFRef<CFMutableArrayRef> listing(VTU_URLCopyDirectoryContents(nullptr, folder.get()));
        CFIndex count = listing ? CFArrayGetCount(listing.get()) : 0;
        for (CFIndex i = 0; i < count; ++i) {
            auto entry = cf::Cast<CFURLRef>(CFArrayGetValueAtIndex(listing.get(), i));
            if (!entry || !CFURLHasDirectoryPath(entry)) continue;
            CFRef<CFURLRef> url(CFURLCopyAbsoluteURL(entry));
            if (!url || !Unclaimed(libraryID.get(), url.get())) continue;
            CFRef<CFStringRef> name(VTU_StringCreateMutableCopyTrimmingSuffix(
                nullptr, CFURLGetString(entry), CFSTR("/")));
            if (!name) continue;
            std::string cause = AdoptFolder(libraryID.get(), name.get(), url.get());
            if (!cause.empty()) {
                Fail(PathOfURL(url.get()), cause);
                status = kExitFailure;
            }
        }
    }

  private:
    // True for a folder that is no library's folder and belongs to no
    // library but this one.
    bool Unclaimed(CFStringRef libraryID, CFURLRef url) const {
        CFStringRef fileID = VTPrivate_MapGetEntryIDForURL(url);
        if (!fileID) return true;
        if (folders_.count(Text(fileID))) return false;
        auto owners = cf::Cast<CFArrayRef>(VTFileGetValue(nullptr, fileID, kVTKeyOwners, nullptr));
        CFIndex count = owners ? CFArrayGetCount(owners) : 0;
        for (CFIndex i = 0; i < count; ++i)
            if (!CFEqual(CFArrayGetValueAtIndex(owners, i), libraryID)) return false;
        return true;
    }

    // Registers the folder as a child of the library, with the folder's items
    // as its files, and returns the cause of a failure or an empty string.
    // A failure leaves the folder a file of the library, as it was.
    std::string AdoptFolder(CFStringRef parentID, CFStringRef name, CFURLRef url) {
        bool wasFile = VTPrivate_MapGetEntryIDForURL(url) != nullptr;
        CFRef<CFStringRef> hash(VTU_StringCreateHashedWithMD5(nullptr, name));
        CFRef<CFStringRef> autoID(hash
                                      ? CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%@.%@"),
                                                                 kVTLibraryAutoIDPrefix, hash.get())
                                      : nullptr);
        CFStringRef wanted =
            autoID && !VTPrivate_LibraryIDIsRegistered(autoID.get()) ? autoID.get() : nullptr;
        CFRef<CFMutableDictionaryRef> error;
        CFRef<CFStringRef> description(
            VTLibraryDescriptionCreateMinimal(nullptr, parentID, wanted, name, error.Out()));
        if (!description) return ErrorText(error.get());
        error.Reset(
            VTLibraryDescriptionSetFolderInfoWithURL(nullptr, description.get(), url, nullptr));
        CFRef<CFStringRef> childID;
        if (!error) {
            if (wasFile) VTLibraryUnregisterURL(nullptr, parentID, url);
            error.Reset(VTDocumentRegisterLibrary(nullptr, description.get(), childID.Out()));
        }
        VTPrivate_RemoveLibraryDescription(description.get());
        if (error || !childID) {
            if (wasFile)
                CFRef<CFStringRef> again(VTLibraryRegisterURL(nullptr, parentID, url, nullptr));
            return error ? ErrorText(error.get()) : "the library was not registered";
        }
        if (CFStringRef mapID = VTLibraryGetURLMapID(nullptr, childID.get(), nullptr))
            folders_.insert(Text(mapID));
        CFRef<CFMutableArrayRef> items(VTU_URLCopyDirectoryContents(nullptr, url));
        std::string cause;
        for (CFIndex i = 0, n = items ? CFArrayGetCount(items.get()) : 0; i < n; ++i) {
            auto entry = cf::Cast<CFURLRef>(CFArrayGetValueAtIndex(items.get(), i));
            CFRef<CFURLRef> item(entry ? CFURLCopyAbsoluteURL(entry) : nullptr);
            if (!item) continue;
            CFRef<CFMutableDictionaryRef> itemError;
            CFRef<CFStringRef> fileID(
                VTLibraryRegisterURL(nullptr, childID.get(), item.get(), itemError.Out()));
            if (!fileID && cause.empty()) cause = ErrorText(itemError.get());
        }
        return cause;
    }

    std::set<std::string> folders_; // the map IDs of every library's folder
};

int RunScan(Arguments args) {
    ParsedArguments parsed;
    if (int status =
            ParseArguments(kScanCommand, "vantrell scan", args, {"--recursive"}, {}, 1, 1, parsed))
        return status;
    if (!LoadCurrentDocument()) return kExitFailure;
    std::string start = ResolveLibrary(parsed.operands[0]);
    if (start.empty()) return kExitFailure;
    bool recursive = parsed.Has("--recursive");
    bool progress = ::isatty(STDERR_FILENO);
    size_t before = LibraryCount();
    std::optional<NestedFolders> nested;
    if (recursive) nested.emplace();
    std::vector<std::string> pending = {start};
    std::set<std::string> done;
    int status = kExitSuccess;
    while (!pending.empty()) {
        std::string id = pending.back();
        pending.pop_back();
        if (!done.insert(id).second) continue;
        CFRef<CFStringRef> libraryID(CreateString(id));
        CFRef<CFMutableDictionaryRef> error(VTLibraryRegisterSubfolders(nullptr, libraryID.get()));
        if (error) {
            std::string text = ErrorText(error.get());
            bool clash = text.find("already registered") != std::string::npos;
            if (progress && !(clash && recursive)) std::fputs("\n", stderr);
            if (!clash) {
                Fail(id, text);
                status = kExitFailure;
            } else if (!recursive) {
                // Going down the tree takes the left-out folders below.
                std::fprintf(stderr, "vantrell: %s: warning: %s\n", id.c_str(), text.c_str());
            }
        }
        if (recursive) {
            nested->Adopt(id, status);
            std::vector<std::string> children = Describe(id).children;
            for (auto it = children.rbegin(); it != children.rend(); ++it)
                if (!done.count(*it)) pending.push_back(*it);
        }
        if (progress)
            std::fprintf(stderr, "\rscanning: %zu of %zu folders", done.size(),
                         done.size() + pending.size());
    }
    if (progress) std::fputs("\n", stderr);
    size_t added = LibraryCount() - before;
    if (added && !SaveDocument()) return kExitFailure;
    std::printf("registered %zu %s\n", added, added == 1 ? "library" : "libraries");
    return status;
}

// --- find -------------------------------------------------------------------------

int RunFind(Arguments args) {
    ParsedArguments parsed;
    if (int status =
            ParseArguments(kFindCommand, "vantrell find", args, {"--exact"}, {}, 1, 1, parsed))
        return status;
    if (!LoadCurrentDocument()) return kExitFailure;
    CFRef<CFStringRef> text(CreateString(parsed.operands[0]));
    CFRef<CFMutableDictionaryRef> error;
    CFRef<CFArrayRef> ids(parsed.Has("--exact")
                              ? VTDocumentCopyLibraryIDsWithTitle(nullptr, text.get(), error.Out())
                              : VTDocumentCopyLibraryIDsWithTitleContainingSubstring(
                                    nullptr, text.get(), error.Out()));
    if (!ids) return Fail(parsed.operands[0], ErrorText(error.get()));
    std::vector<std::string> found = Strings(ids.get());
    std::sort(found.begin(), found.end());
    PrintLibraries(found);
    return kExitSuccess;
}

// --- show -------------------------------------------------------------------------

int RunShow(Arguments args) {
    ParsedArguments parsed;
    if (int status = ParseArguments(kShowCommand, "vantrell show", args, {}, {}, 1, 1, parsed))
        return status;
    if (!LoadCurrentDocument()) return kExitFailure;
    std::string id = ResolveLibrary(parsed.operands[0]);
    if (id.empty()) return kExitFailure;
    CFRef<CFStringRef> libraryID(CreateString(id));
    CFTypeRef record =
        VTPrivate_DocumentContainerValueGet(kVTTopLevelKeyLibraries, libraryID.get(), nullptr);
    CFStringRef propertyID = VTLibraryGetPropertyID(nullptr, libraryID.get(), nullptr);
    CFTypeRef properties =
        propertyID
            ? VTPrivate_DocumentContainerValueGet(kVTTopLevelKeyProperties, propertyID, nullptr)
            : nullptr;
    std::string folder = LibraryFolder(libraryID.get());
    std::vector<std::pair<std::string, std::string>> files;
    for (const std::string &fileID :
         Strings(VTLibraryGetValue(nullptr, libraryID.get(), kVTKeyFiles, nullptr))) {
        CFRef<CFStringRef> file(CreateString(fileID));
        files.emplace_back(fileID, PathOfURLText(VTFileGetURL(file.get())));
    }
    if (Globals().json) {
        std::string list = "[";
        for (size_t i = 0; i < files.size(); ++i)
            list += (i ? ", " : "") + std::string("{\"id\": ") + JSONString(files[i].first) +
                    ", \"path\": " + JSONString(files[i].second) + "}";
        std::printf("{\"id\": %s, \"record\": %s, \"properties\": %s, \"folder\": %s, "
                    "\"files\": %s]}\n",
                    JSONString(id).c_str(), JSONValue(record).c_str(),
                    JSONValue(properties).c_str(),
                    folder.empty() ? "null" : JSONString(folder).c_str(), list.c_str());
        return kExitSuccess;
    }
    std::printf("library %s\n", id.c_str());
    auto printDictionary = [](CFTypeRef value) {
        auto dictionary = cf::Cast<CFDictionaryRef>(value);
        if (!dictionary) return;
        CFIndex count = CFDictionaryGetCount(dictionary);
        std::vector<const void *> keys(static_cast<size_t>(count)),
            values(static_cast<size_t>(count));
        CFDictionaryGetKeysAndValues(dictionary, keys.data(), values.data());
        std::vector<std::pair<std::string, std::string>> lines;
        for (CFIndex i = 0; i < count; ++i)
            lines.emplace_back(Text(cf::Cast<CFStringRef>(keys[size_t(i)])),
                               DisplayValue(values[size_t(i)]));
        std::sort(lines.begin(), lines.end());
        for (const auto &[key, text] : lines)
            std::printf("  %s: %s\n", key.c_str(), text.c_str());
    };
    printDictionary(record);
    std::printf("properties %s\n", propertyID ? Text(propertyID).c_str() : "-");
    printDictionary(properties);
    std::printf("folder %s\n", folder.empty() ? "-" : folder.c_str());
    std::printf("files %zu\n", files.size());
    for (const auto &[fileID, path] : files)
        std::printf("  %s  %s\n", fileID.c_str(), path.c_str());
    return kExitSuccess;
}

// --- remove -------------------------------------------------------------------------

int RunRemove(Arguments args) {
    ParsedArguments parsed;
    if (int status = ParseArguments(kRemoveCommand, "vantrell remove", args, {}, {}, 1, 1, parsed))
        return status;
    if (!LoadCurrentDocument()) return kExitFailure;
    std::string id = ResolveLibrary(parsed.operands[0]);
    if (id.empty()) return kExitFailure;
    // A root library holds a domain: without it the document is no longer whole.
    if (std::find(RootIDs().begin(), RootIDs().end(), id) != RootIDs().end())
        return Fail(id, "a root library cannot be removed");
    std::vector<LibraryInfo> removed;
    std::set<std::string> seen;
    std::function<void(const std::string &)> collect = [&](const std::string &libraryID) {
        if (!seen.insert(libraryID).second) return;
        LibraryInfo info = Describe(libraryID);
        for (const std::string &child : info.children)
            collect(child);
        removed.push_back(info);
    };
    collect(id);
    CFRef<CFStringRef> libraryID(CreateString(id));
    CFRef<CFMutableDictionaryRef> error(VTDocumentRemoveLibrary(nullptr, libraryID.get()));
    if (error) return Fail(id, ErrorText(error.get()));
    if (!SaveDocument()) return kExitFailure;
    for (const LibraryInfo &info : removed)
        std::printf("removed %s \"%s\"\n", info.id.c_str(), info.title.c_str());
    return kExitSuccess;
}

// --- register / unregister -------------------------------------------------------------

int RunFiles(const Command &command, std::string_view path, Arguments args, bool add) {
    ParsedArguments parsed;
    if (int status = ParseArguments(command, path, args, {}, {}, 2, kUnlimited, parsed))
        return status;
    if (!LoadCurrentDocument()) return kExitFailure;
    std::string id = ResolveLibrary(parsed.operands[0]);
    if (id.empty()) return kExitFailure;
    CFRef<CFStringRef> libraryID(CreateString(id));
    bool changed = false;
    int status = kExitSuccess;
    for (size_t i = 1; i < parsed.operands.size(); ++i) {
        const std::string &file = parsed.operands[i];
        struct stat info {};
        bool exists = ::stat(file.c_str(), &info) == 0;
        if (add && !exists) {
            status = Fail(file, "no such file");
            continue;
        }
        CFRef<CFURLRef> url(CreateURLForPath(file, exists && S_ISDIR(info.st_mode)));
        CFRef<CFMutableDictionaryRef> error;
        if (add) {
            CFRef<CFStringRef> fileID(
                VTLibraryRegisterURL(nullptr, libraryID.get(), url.get(), error.Out()));
            if (!fileID) {
                status = Fail(file, ErrorText(error.get()));
                continue;
            }
            std::printf("registered %s as %s\n", PathOfURL(url.get()).c_str(),
                        Text(fileID.get()).c_str());
        } else {
            size_t before = Strings(VTLibraryGetFiles(nullptr, libraryID.get(), nullptr)).size();
            error.Reset(VTLibraryUnregisterURL(nullptr, libraryID.get(), url.get()));
            if (error) {
                status = Fail(file, ErrorText(error.get()));
                continue;
            }
            if (Strings(VTLibraryGetFiles(nullptr, libraryID.get(), nullptr)).size() == before) {
                std::printf("%s was not registered\n", PathOfURL(url.get()).c_str());
                continue;
            }
            std::printf("unregistered %s\n", PathOfURL(url.get()).c_str());
        }
        changed = true;
    }
    if (changed && !SaveDocument()) return kExitFailure;
    return status;
}

int RunRegister(Arguments args) {
    return RunFiles(kRegisterCommand, "vantrell register", args, true);
}

int RunUnregister(Arguments args) {
    return RunFiles(kUnregisterCommand, "vantrell unregister", args, false);
}

} // namespace

extern const Command kInitCommand = {
    .name = "init",
    .summary = "Create the Modules folders and the module document",
    .usage = "[--examples]",
    .help = "Runs the framework's start-up in the current folder: creates the missing\n"
            "Modules folders, builds the module document unless a current one is there,\n"
            "and says what it created. An unreadable document is kept aside first.\n"
            "\n"
            "  --examples  Also copy the example script into the user Modules folder\n"
            "\n"
            "Example: vantrell --root /tmp/scratch init\n",
    .run = RunInit,
    .ownOptions = true,
};

extern const Command kLibrariesCommand = {
    .name = "libraries",
    .summary = "List the libraries",
    .usage = "[--tree] [--json]",
    .help = "Lists each library: ID, title, folder, number of files and of children.\n"
            "\n"
            "  --tree  Draw the tree under the user, local and network libraries\n"
            "\n"
            "Example: vantrell libraries --tree\n",
    .run = RunLibraries,
    .ownOptions = true,
};

extern const Command kAddCommand = {
    .name = "add",
    .summary = "Register a library on a folder",
    .usage = "FOLDER [--parent LIBRARY] [--title TITLE]",
    .help = "Registers a library for FOLDER under LIBRARY (an ID or exact title; the user\n"
            "library by default), titled TITLE or the folder's name.\n"
            "\n"
            "Example: vantrell add ~/Scripts/Text --title 'Text tools'\n",
    .run = RunAdd,
    .ownOptions = true,
};

extern const Command kScanCommand = {
    .name = "scan",
    .summary = "Register a library's subfolders as libraries",
    .usage = "LIBRARY [--recursive]",
    .help = "Makes a child library for each subfolder of LIBRARY's folder that is not\n"
            "registered yet, with the subfolder's items as its files.\n"
            "\n"
            "  --recursive  Go on down the tree: a folder that is only a file of the\n"
            "               library above it becomes a library too\n"
            "\n"
            "Example: vantrell scan 'Text tools' --recursive\n",
    .run = RunScan,
    .ownOptions = true,
};

extern const Command kFindCommand = {
    .name = "find",
    .summary = "Find libraries by title",
    .usage = "TEXT [--exact] [--json]",
    .help = "Lists the libraries whose title contains TEXT, ignoring case and accents\n"
            "written either way.\n"
            "\n"
            "  --exact  Only titles equal to TEXT\n"
            "\n"
            "Example: vantrell find text\n",
    .run = RunFind,
    .ownOptions = true,
};

extern const Command kShowCommand = {
    .name = "show",
    .summary = "Show a library's record, properties, folder and files",
    .usage = "LIBRARY [--json]",
    .help = "Prints the library's record, its property set, its folder and its files\n"
            "with their paths. LIBRARY is an ID or an exact title.\n"
            "\n"
            "Example: vantrell show UserLibrary\n",
    .run = RunShow,
    .ownOptions = true,
};

extern const Command kRemoveCommand = {
    .name = "remove",
    .summary = "Remove a library and its descendants",
    .usage = "LIBRARY",
    .help = "Removes the library and every library under it, and prints what was\n"
            "removed. The user, local and network libraries stay.\n"
            "\n"
            "Example: vantrell remove 'Text tools'\n",
    .run = RunRemove,
    .ownOptions = true,
};

extern const Command kRegisterCommand = {
    .name = "register",
    .summary = "Add files to a library",
    .usage = "LIBRARY FILE...",
    .help = "Records each FILE in the document as one of LIBRARY's files.\n"
            "\n"
            "Example: vantrell register UserLibrary Join.scpt\n",
    .run = RunRegister,
    .ownOptions = true,
};

extern const Command kUnregisterCommand = {
    .name = "unregister",
    .summary = "Take files out of a library",
    .usage = "LIBRARY FILE...",
    .help = "Takes each FILE out of LIBRARY's files; the document keeps its entry.\n"
            "\n"
            "Example: vantrell unregister UserLibrary Join.scpt\n",
    .run = RunUnregister,
    .ownOptions = true,
};

} // namespace vt::tool
