// The document under a host's calls. Each input starts from a loaded document
// and then decodes a sequence of API calls from its remaining bytes:
//   byte 0, odd:  the document file is fuzzed; byte 1 is the count of call
//                 bytes at the end of the input, the bytes between are the
//                 file, read by start-up (bit 1 of byte 0) or by the plain
//                 document load
//   byte 0, even: a generated document (fresh, small, larger) by byte 0 / 2,
//                 and the rest of the input is calls
// After every call on a document the consistency check finds clean, it must
// find nothing new; every save must read back equal to the held document,
// and a failed save must leave the file as it was. A fuzzed document that
// starts with findings is held only to the rest: its faults have
// consequences no call can avoid (removing a library whose "URLMapID" names
// no map entry cannot find the folder entry that still lists it as owner).
//
// Calls that store raw record values (VTLibrarySetValue) are kept off the
// keys that hold IDs: a host writing a dangling ID there is the host's own
// fault, which the check would rightly report, and not what is tested here.
#include "fuzz/FuzzSupport.h"

#include "document/DocumentPrivate.h"
#include "libraries/LibrariesPrivate.h"
#include "platform/plist/PropertyListInternal.h"
#include "platform/values/Cast.h"
#include "platform/values/Holder.h"
#include "tools/Check.h"

#include <Vantrell/Vantrell.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <unistd.h>

namespace {

using vt::CFRef;
using vt::fuzz::Input;
namespace cf = vt::cf;
namespace fs = std::filesystem;

constexpr size_t kMostCalls = 48;

// What happened so far in this input, printed with a failure.
std::string &Trace() {
    static std::string trace;
    return trace;
}

[[noreturn]] void Fail(const char *what, const std::string &detail = "") {
    vt::fuzz::Fail(what, detail + "\ncalls:\n" + Trace());
}

std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

CFStringRef NewString(const std::string &text) {
    CFStringRef string =
        CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8 *>(text.data()),
                                CFIndex(text.size()), kCFStringEncodingUTF8, false);
    // Not UTF-8: take the bytes as Latin-1, which reads any byte.
    return string
               ? string
               : CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8 *>(text.data()),
                                         CFIndex(text.size()), kCFStringEncodingISOLatin1, false);
}

std::string Text(CFTypeRef value) {
    auto string = cf::Cast<CFStringRef>(value);
    if (!string) return "<not a string>";
    CFIndex length = CFStringGetLength(string);
    CFIndex size = CFStringGetMaximumSizeForEncoding(length, kCFStringEncodingUTF8) + 1;
    std::string text(size_t(size), '\0');
    CFIndex used = 0;
    CFStringGetBytes(string, CFRangeMake(0, length), kCFStringEncodingUTF8, '?', false,
                     reinterpret_cast<UInt8 *>(text.data()), size, &used);
    text.resize(size_t(used));
    return text;
}

// ---- The process's fixed surroundings ----------------------------------------

struct World {
    std::string documentPath;
    std::string tree;                   // the scratch folder tree libraries point into
    std::vector<std::string> items;     // files and folders in it (and missing ones)
    std::vector<std::string> generated; // document files: fresh, small, larger
};

CFURLRef NewFileURL(const std::string &path, bool folder) {
    return CFURLCreateFromFileSystemRepresentation(
        nullptr, reinterpret_cast<const UInt8 *>(path.data()), CFIndex(path.size()), folder);
}

void Check(CFMutableDictionaryRef error, const char *what) {
    if (error) {
        std::string description = Text(VTErrorGetDescription(error));
        CFRelease(error);
        vt::fuzz::Fail(what, description);
    }
}

std::string RegisterForFolder(CFStringRef parent, const std::string &folder) {
    CFRef<CFMutableDictionaryRef> error;
    CFRef<CFStringRef> description(
        VTLibraryDescriptionCreateMinimal(nullptr, parent, nullptr, nullptr, error.Out()));
    if (!description) vt::fuzz::Fail("cannot describe a library");
    CFRef<CFURLRef> url(NewFileURL(folder, true));
    Check(VTLibraryDescriptionSetFolderInfoWithURL(nullptr, description.get(), url.get(), nullptr),
          "cannot give a library its folder");
    CFRef<CFStringRef> id;
    Check(VTDocumentRegisterLibrary(nullptr, description.get(), id.Out()),
          "cannot register a library");
    return Text(id.get());
}

std::string SaveAndRead(const World &world) {
    Check(VantrellSaveDocument(nullptr), "cannot save a generated document");
    return ReadFile(world.documentPath);
}

World MakeWorld() {
    World world;
    const std::string &scratch = vt::fuzz::Scratch();
    std::string work = scratch + "/work";
    vt::fuzz::MakeFolders(work);
    if (::chdir(work.c_str()) != 0) vt::fuzz::Fail("cannot enter the scratch folder");

    world.tree = scratch + "/tree";
    for (const char *folder :
         {"A/B/C", "A/Empty", "With Space/Inner", "Über", "Disabled Things", "Deep/1/2/3/4"})
        vt::fuzz::MakeFolders(world.tree + "/" + folder);
    for (const char *file :
         {"top.scpt", "A/a1.scpt", "A/a2.scpt", "A/B/b.scpt", "A/B/C/c.scpt", "With Space/x y.scpt",
          "Über/é.scpt", "Disabled Things/z.scpt", "Deep/1/2/3/4/d.scpt"})
        vt::fuzz::WriteFile(world.tree + "/" + file, "on run\nend run\n");
    for (const auto &entry : fs::recursive_directory_iterator(world.tree))
        world.items.push_back(entry.path().string());
    std::sort(world.items.begin(), world.items.end());
    world.items.push_back(world.tree + "/missing.scpt");
    world.items.push_back(world.tree + "/Missing Folder");
    world.items.push_back(world.tree);

    // The framework's bundle, found among the loaded objects: an empty
    // library laid out as the framework's, beside the built Info.plist.
    std::string version = scratch + "/Vantrell.framework/Versions/" VANTRELL_FUZZ_VERSION;
    vt::fuzz::MakeFolders(version + "/Resources");
    vt::fuzz::WriteFile(version + "/Vantrell", ReadFile(VANTRELL_FUZZ_BUNDLE_STUB));
    vt::fuzz::WriteFile(version + "/Resources/Info.plist", ReadFile(VANTRELL_FUZZ_INFO_PLIST));
    if (!::dlopen((version + "/Vantrell").c_str(), RTLD_NOW | RTLD_LOCAL))
        vt::fuzz::Fail("cannot load the bundle's library", ::dlerror());

    // Start-up makes the Modules folders and the first document.
    Check(VantrellLoadDocument(nullptr, nullptr), "start-up failed");
    char path[4096];
    if (!CFURLGetFileSystemRepresentation(VTPrivate_DocumentGetURL(nullptr), true,
                                          reinterpret_cast<UInt8 *>(path), sizeof path))
        vt::fuzz::Fail("no document path");
    world.documentPath = path;
    world.generated.push_back(ReadFile(world.documentPath));

    // A small document: one library with its subfolders, files and a
    // configuration.
    std::string a = RegisterForFolder(kVTUserLibraryID, world.tree + "/A");
    CFRef<CFStringRef> aID(NewString(a));
    Check(VTLibraryRegisterSubfolders(nullptr, aID.get()), "cannot register subfolders");
    for (const char *file : {"/top.scpt", "/With Space/x y.scpt"}) {
        CFRef<CFURLRef> url(NewFileURL(world.tree + file, false));
        CFRef<CFStringRef> fileID(VTLibraryRegisterURL(nullptr, aID.get(), url.get(), nullptr));
    }
    const void *members[] = {kVTUserLibraryID, aID.get()};
    CFRef<CFArrayRef> libraries(CFArrayCreate(nullptr, members, 2, &kCFTypeArrayCallBacks));
    Check(VTSearchConfigurationDescriptionCreate(nullptr, CFSTR("Mine"), CFSTR("mine"),
                                                 libraries.get()),
          "cannot describe a configuration");
    Check(VTDocumentRegisterSearchConfiguration(nullptr, CFSTR("mine")),
          "cannot register a configuration");
    world.generated.push_back(SaveAndRead(world));

    // A larger one: libraries under libraries, each with files.
    std::vector<std::string> parents{Text(kVTLocalLibraryID)};
    for (int i = 0; i < 16; ++i) {
        CFRef<CFStringRef> parent(NewString(parents[size_t(i) / 3]));
        std::string folder = world.items[size_t(i) % world.items.size()];
        std::string id = RegisterForFolder(parent.get(), folder);
        parents.push_back(id);
        CFRef<CFStringRef> libraryID(NewString(id));
        for (int j = 0; j < 3; ++j) {
            CFRef<CFURLRef> url(
                NewFileURL(world.items[size_t(i * 3 + j) % world.items.size()], false));
            CFRef<CFStringRef> fileID(
                VTLibraryRegisterURL(nullptr, libraryID.get(), url.get(), nullptr));
        }
        CFRef<CFStringRef> note(NewString("note " + std::to_string(i)));
        Check(VTLibraryPropertySetValue(nullptr, libraryID.get(), CFSTR("Notes"), note.get()),
              "cannot set a property");
    }
    world.generated.push_back(SaveAndRead(world));
    return world;
}

World &TheWorld() {
    static World world = MakeWorld();
    return world;
}

// ---- Decoding values from the input ------------------------------------------

const char *const kWords[] = {"",
                              "Title",
                              "Über",
                              "a/b",
                              "Disabled",
                              "Notes",
                              "info.module.library.id.auto.0",
                              "UserConfiguration"};

CFRef<CFStringRef> PickString(Input &in) {
    uint8_t b = in.Byte();
    if (b < 0xC0) return CFRef<CFStringRef>(NewString(kWords[b % std::size(kWords)]));
    return CFRef<CFStringRef>(NewString(in.Bytes(b & 0x1F)));
}

CFRef<CFArrayRef> CopyLibraryIDs() {
    return CFRef<CFArrayRef>(VTDocumentCopyLibraryIDs(nullptr, nullptr));
}

// A registered library most of the time, else a root, reserved, unknown or
// fuzzed ID.
CFRef<CFStringRef> PickLibrary(Input &in) {
    uint8_t b = in.Byte();
    if (b < 0xD0) {
        CFRef<CFArrayRef> ids = CopyLibraryIDs();
        if (ids && CFArrayGetCount(ids.get()) > 0)
            return CFRef<CFStringRef>::Retain(cf::Cast<CFStringRef>(
                CFArrayGetValueAtIndex(ids.get(), b % CFArrayGetCount(ids.get()))));
    }
    switch (b % 6) {
        case 0:
            return CFRef<CFStringRef>::Retain(kVTUserLibraryID);
        case 1:
            return CFRef<CFStringRef>::Retain(kVTRootModuleIDUser);
        case 2:
            return CFRef<CFStringRef>::Retain(kVTRootModuleIDExternal);
        case 3:
            return CFRef<CFStringRef>::Retain(CFSTR("no.such.library"));
        case 4:
            return CFRef<CFStringRef>::Retain(kVTNetworkLibraryID);
        default:
            return PickString(in);
    }
}

CFRef<CFStringRef> PickFileID(Input &in) {
    uint8_t b = in.Byte();
    CFRef<CFArrayRef> ids(VTDocumentCopyFileIDs(nullptr, nullptr));
    if (b < 0xE0 && ids && CFArrayGetCount(ids.get()) > 0)
        return CFRef<CFStringRef>::Retain(cf::Cast<CFStringRef>(
            CFArrayGetValueAtIndex(ids.get(), b % CFArrayGetCount(ids.get()))));
    return PickString(in);
}

CFRef<CFURLRef> PickURL(Input &in) {
    const World &world = TheWorld();
    uint8_t b = in.Byte();
    if (b < 0xC0) {
        const std::string &path = world.items[b % world.items.size()];
        std::error_code ignored;
        return CFRef<CFURLRef>(NewFileURL(path, fs::is_directory(path, ignored) != (b & 0x80)));
    }
    switch (b % 4) {
        case 0:
            return CFRef<CFURLRef>(
                CFURLCreateWithString(nullptr, CFSTR("http://example.invalid/a.scpt"), nullptr));
        case 1: {
            CFRef<CFURLRef> base(NewFileURL(world.tree + "/", true));
            return CFRef<CFURLRef>(CFURLCreateWithString(nullptr, CFSTR("A/a1.scpt"), base.get()));
        }
        case 2:
            return CFRef<CFURLRef>(NewFileURL(world.tree + "/" + in.Bytes(in.Byte() % 24), false));
        default: {
            CFRef<CFStringRef> text = PickString(in);
            return CFRef<CFURLRef>(CFURLCreateWithString(nullptr, text.get(), nullptr));
        }
    }
}

CFRef<CFTypeRef> PickValue(Input &in, int depth = 0) {
    uint8_t b = in.Byte();
    switch (b % 8) {
        case 0: {
            SInt64 n = SInt64(int8_t(in.Byte())) * 1000 + in.Byte();
            return CFRef<CFTypeRef>(CFNumberCreate(nullptr, kCFNumberSInt64Type, &n));
        }
        case 1:
            return CFRef<CFTypeRef>::Retain(b & 8 ? kCFBooleanTrue : kCFBooleanFalse);
        case 2: {
            std::string bytes = in.Bytes(in.Byte() % 16);
            return CFRef<CFTypeRef>(CFDataCreate(
                nullptr, reinterpret_cast<const UInt8 *>(bytes.data()), CFIndex(bytes.size())));
        }
        case 3:
            return CFRef<CFTypeRef>(CFDateCreate(nullptr, double(int8_t(in.Byte())) * 1e7));
        case 4:
        case 5: {
            CFMutableArrayRef array = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
            for (int i = in.Byte() % 4; i > 0 && depth < 3; --i)
                CFArrayAppendValue(array, PickValue(in, depth + 1).get());
            return CFRef<CFTypeRef>(array);
        }
        case 6: {
            CFMutableDictionaryRef dictionary = CFDictionaryCreateMutable(
                nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
            for (int i = in.Byte() % 3; i > 0 && depth < 3; --i)
                CFDictionarySetValue(dictionary, PickString(in).get(),
                                     PickValue(in, depth + 1).get());
            return CFRef<CFTypeRef>(dictionary);
        }
        default:
            return CFRef<CFTypeRef>(PickString(in).Release());
    }
}

CFRef<CFArrayRef> PickLibraryList(Input &in) {
    CFMutableArrayRef array = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
    for (int i = in.Byte() % 4; i > 0; --i)
        CFArrayAppendValue(array, PickLibrary(in).get());
    return CFRef<CFArrayRef>(array);
}

CFRef<CFStringRef> PickConfiguration(Input &in) {
    uint8_t b = in.Byte();
    CFRef<CFMutableArrayRef> ids(VTDocumentCopySearchConfigurationIDs(nullptr, nullptr));
    if (b < 0xC0 && ids && CFArrayGetCount(ids.get()) > 0)
        return CFRef<CFStringRef>::Retain(cf::Cast<CFStringRef>(
            CFArrayGetValueAtIndex(ids.get(), b % CFArrayGetCount(ids.get()))));
    return PickString(in);
}

// Keys of a library record that hold IDs or the record's own structure.
bool IsStructuralKey(CFStringRef key) {
    for (CFStringRef structural :
         {kVTKeyKind, kVTKeyParentID, kVTKeyFiles, kVTKeyChildren, kVTLibraryKeyPropertyID,
          kVTFileInfoKeyURLMapID, kVTKeyFolderInfo})
        if (CFEqual(key, structural)) return true;
    return false;
}

// ---- Findings ----------------------------------------------------------------

// Findings as "path: message" with array positions dropped from the path, so
// a finding the document already had does not turn new when a call shifts
// the array it sits in.
std::multiset<std::string> Findings() {
    std::multiset<std::string> findings;
    for (const auto &finding : vt::tool::CheckDocument(VTPrivate_DocumentGetDocument())) {
        std::string path;
        size_t start = 0;
        while (start <= finding.path.size()) {
            size_t end = finding.path.find('/', start);
            if (end == std::string::npos) end = finding.path.size();
            std::string part = finding.path.substr(start, end - start);
            bool index = !part.empty() && part.find_first_not_of("0123456789") == std::string::npos;
            if (!index) path += (path.empty() ? "" : "/") + part;
            start = end + 1;
        }
        findings.insert(path + ": " + finding.message);
    }
    return findings;
}

// ---- Saving ------------------------------------------------------------------

void SaveAndCompare() {
    const World &world = TheWorld();
    std::string before = ReadFile(world.documentPath);
    CFRef<CFMutableDictionaryRef> error(VantrellSaveDocument(nullptr));
    if (error) {
        if (ReadFile(world.documentPath) != before) Fail("a failed save changed the file");
        Trace() += "  save refused: " + Text(VTErrorGetDescription(error.get())) + "\n";
        return;
    }
    vt::plist::ParseError parseError;
    CFRef<CFPropertyListRef> saved(vt::plist::CreateFromXMLFile(
        nullptr, world.documentPath.c_str(), kCFPropertyListImmutable, &parseError));
    if (!saved) Fail("a saved document does not read back", vt::plist::Describe(parseError));
    if (!CFEqual(saved.get(), VTPrivate_DocumentGetDocument()))
        Fail("a saved document reads back different",
             vt::fuzz::Describe(saved.get()) + "\nheld:\n" +
                 vt::fuzz::Describe(VTPrivate_DocumentGetDocument()));
}

// ---- The calls ---------------------------------------------------------------

// Releases a record a call returned; a record is an outcome, not a failure.
void Outcome(CFMutableDictionaryRef error) {
    if (error) {
        Trace() += "    -> " + Text(VTErrorGetDescription(error)) + "\n";
        CFRelease(error);
    }
}

void Call(Input &in) {
    uint8_t op = in.Byte() % 15;
    switch (op) {
        case 0: { // register a library
            CFRef<CFStringRef> parent = PickLibrary(in);
            uint8_t how = in.Byte();
            CFRef<CFStringRef> id = how % 3 == 0   ? CFRef<CFStringRef>()
                                    : how % 3 == 1 ? PickString(in)
                                                   : PickLibrary(in);
            CFRef<CFStringRef> title = how & 4 ? PickString(in) : CFRef<CFStringRef>();
            Trace() += "register library under " + Text(parent.get()) + " id " +
                       (id ? Text(id.get()) : "<new>") + "\n";
            CFRef<CFMutableDictionaryRef> error;
            CFRef<CFStringRef> description(VTLibraryDescriptionCreateMinimal(
                nullptr, parent.get(), id.get(), title.get(), error.Out()));
            if (!description) return Outcome(error.Release());
            if (how & 8) {
                CFRef<CFURLRef> folder = PickURL(in);
                SInt32 bits = in.Byte() & 7;
                CFRef<CFNumberRef> options(CFNumberCreate(nullptr, kCFNumberSInt32Type, &bits));
                Outcome(VTLibraryDescriptionSetFolderInfoWithURL(nullptr, description.get(),
                                                                 folder.get(), options.get()));
            }
            if (how & 16) {
                CFRef<CFStringRef> key = PickString(in);
                Outcome(VTLibraryDescriptionContainerSetValue(nullptr, description.get(),
                                                              kVTLibraryDescriptionKeyProperties,
                                                              key.get(), PickValue(in).get()));
            }
            CFRef<CFStringRef> registered;
            Outcome(VTDocumentRegisterLibrary(nullptr, description.get(), registered.Out()));
            return;
        }
        case 1: {
            CFRef<CFStringRef> library = PickLibrary(in);
            CFRef<CFURLRef> url = PickURL(in);
            Trace() += "register URL with " + Text(library.get()) + "\n";
            CFRef<CFMutableDictionaryRef> error;
            CFRef<CFStringRef> fileID(
                VTLibraryRegisterURL(nullptr, library.get(), url.get(), error.Out()));
            return Outcome(error.Release());
        }
        case 2: {
            CFRef<CFStringRef> library = PickLibrary(in);
            CFRef<CFURLRef> url = PickURL(in);
            Trace() += "unregister URL from " + Text(library.get()) + "\n";
            return Outcome(VTLibraryUnregisterURL(nullptr, library.get(), url.get()));
        }
        case 3: {
            CFRef<CFStringRef> library = PickLibrary(in);
            CFRef<CFStringRef> file = PickFileID(in);
            Trace() +=
                "register file ID " + Text(file.get()) + " with " + Text(library.get()) + "\n";
            return Outcome(VTLibraryRegisterFileID(nullptr, library.get(), file.get()));
        }
        case 4: {
            CFRef<CFStringRef> library = PickLibrary(in);
            CFRef<CFStringRef> file = PickFileID(in);
            Trace() +=
                "unregister file ID " + Text(file.get()) + " from " + Text(library.get()) + "\n";
            return Outcome(VTLibraryUnregisterFileID(nullptr, library.get(), file.get()));
        }
        case 5: {
            CFRef<CFStringRef> library = PickLibrary(in);
            CFRef<CFStringRef> key = PickString(in);
            CFRef<CFTypeRef> value = PickValue(in);
            if (IsStructuralKey(key.get())) return;
            if (CFEqual(key.get(), kVTKeyTitle) && !cf::Cast<CFStringRef>(value.get())) return;
            Trace() += "set " + Text(key.get()) + " of " + Text(library.get()) + "\n";
            return Outcome(VTLibrarySetValue(nullptr, library.get(), key.get(), value.get()));
        }
        case 6: {
            CFRef<CFStringRef> library = PickLibrary(in);
            CFRef<CFStringRef> key = PickString(in);
            CFRef<CFTypeRef> value = PickValue(in);
            Trace() += "set property " + Text(key.get()) + " of " + Text(library.get()) + "\n";
            return Outcome(
                VTLibraryPropertySetValue(nullptr, library.get(), key.get(), value.get()));
        }
        case 7: {
            CFRef<CFStringRef> library = PickLibrary(in);
            Trace() += "remove " + Text(library.get()) + "\n";
            return Outcome(VTDocumentRemoveLibrary(nullptr, library.get()));
        }
        case 8: {
            CFRef<CFStringRef> library = PickLibrary(in);
            Trace() += "register subfolders of " + Text(library.get()) + "\n";
            return Outcome(VTLibraryRegisterSubfolders(nullptr, library.get()));
        }
        case 9: {
            CFRef<CFStringRef> id = PickConfiguration(in);
            CFRef<CFStringRef> title = PickString(in);
            CFRef<CFArrayRef> libraries = PickLibraryList(in);
            Trace() += "describe configuration " + Text(id.get()) + "\n";
            Outcome(VTSearchConfigurationDescriptionCreate(nullptr, title.get(), id.get(),
                                                           libraries.get()));
            if (in.Byte() & 1) {
                CFRef<CFStringRef> key = PickString(in);
                Outcome(VTSearchConfigurationDescriptionSetValue(nullptr, id.get(), key.get(),
                                                                 PickValue(in).get()));
            }
            Trace() += "register configuration " + Text(id.get()) + "\n";
            return Outcome(VTDocumentRegisterSearchConfiguration(nullptr, id.get()));
        }
        case 10: {
            CFRef<CFStringRef> id = PickConfiguration(in);
            CFRef<CFStringRef> key = PickString(in);
            CFRef<CFTypeRef> value = PickValue(in);
            Trace() += "set " + Text(key.get()) + " of configuration " + Text(id.get()) + "\n";
            return Outcome(
                VTSearchConfigurationSetValue(nullptr, id.get(), key.get(), value.get()));
        }
        case 11: {
            CFRef<CFStringRef> id = PickConfiguration(in);
            Trace() += "remove configuration " + Text(id.get()) + "\n";
            return Outcome(VTDocumentRemoveSearchConfiguration(nullptr, id.get()));
        }
        case 12: {
            CFRef<CFStringRef> id = PickConfiguration(in);
            Trace() += "select configuration " + Text(id.get()) + "\n";
            return Outcome(VTDocumentSetSearchConfigurationLastSelected(nullptr, id.get()));
        }
        case 13: {
            CFMutableArrayRef substrings = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
            CFRef<CFArrayRef> held(substrings);
            for (int i = in.Byte() % 3; i > 0; --i)
                CFArrayAppendValue(substrings, PickString(in).get());
            Trace() += "set disabled-folder substrings\n";
            VTDocumentSetDisabledFolderSubstrings(substrings);
            return;
        }
        default:
            Trace() += "save\n";
            return SaveAndCompare();
    }
}

// Puts the document file in place and loads it; false when nothing usable
// was loaded.
bool Load(const std::string &file, bool startUp) {
    const World &world = TheWorld();
    // Copies that start-up or a save kept beside the document (unreadable,
    // other version, another writer's) are of no use to the next input.
    for (const auto &entry : fs::directory_iterator(fs::path(world.documentPath).parent_path()))
        if (entry.path() != world.documentPath) fs::remove_all(entry.path());
    vt::fuzz::WriteFile(world.documentPath, file);
    if (startUp) {
        CFRef<CFMutableDictionaryRef> error(VantrellLoadDocument(nullptr, nullptr));
        if (error) return false;
    } else if (VTPrivate_DocumentLoad(nullptr) != kCFBooleanTrue) {
        return false;
    }
    return cf::Cast<CFDictionaryRef>(VTPrivate_DocumentGetDocument()) != nullptr;
}

} // namespace

// The surroundings are made before the first input, so that what they cover
// does not count as the first input's coverage.
extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    TheWorld();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const World &world = TheWorld();
    Trace().clear();
    Input head(data, size);
    uint8_t mode = head.Byte();
    const uint8_t *calls = data + std::min<size_t>(size, 1);
    size_t callCount = size > 0 ? size - 1 : 0;
    bool loaded = false;
    if (mode & 1) {
        size_t tail = std::min<size_t>(head.Byte(), size > 2 ? size - 2 : 0);
        std::string file(reinterpret_cast<const char *>(data) + std::min<size_t>(size, 2),
                         size > 2 ? size - 2 - tail : 0);
        calls = data + size - tail;
        callCount = tail;
        Trace() += "fuzzed document\n";
        loaded = Load(file, mode & 2);
    }
    if (!loaded) {
        const std::string &file = world.generated[(mode >> 1) % world.generated.size()];
        Trace() +=
            "generated document " + std::to_string((mode >> 1) % world.generated.size()) + "\n";
        if (!Load(file, false)) vt::fuzz::Fail("a generated document does not load");
    }

    Input in(calls, callCount);
    std::multiset<std::string> before = Findings();
    for (size_t count = 0; count < kMostCalls && !in.Empty(); ++count) {
        Call(in);
        std::multiset<std::string> after = Findings();
        std::vector<std::string> added;
        std::set_difference(after.begin(), after.end(), before.begin(), before.end(),
                            std::back_inserter(added));
        if (before.empty() && !added.empty()) {
            std::string list;
            for (const std::string &finding : added)
                list += "  " + finding + "\n";
            Fail("a call brought in new findings", list);
        }
        before = std::move(after);
    }
    SaveAndCompare();
    return 0;
}
