// A C++17 host over <Vantrell/Vantrell.hpp> alone: the owning reference
// releases exactly once however it is moved (the sanitizers catch a leak or a
// double release), an error record becomes an Error with its code, domain and
// description, and the wrappers drive start-up, registration, listing,
// property reads and saving in a temporary folder. Exits non-zero on the
// first failed check group.
#include <CoreServices/CoreServices.h>
#include <Vantrell/Vantrell.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

int failures = 0;
std::string root;

void Check(bool condition, const char *what) {
    if (condition) return;
    std::fprintf(stderr, "FAILED: %s\n", what);
    ++failures;
}

void OwningReference() {
    using vantrell::Ref;
    Ref<CFStringRef> first = vantrell::MakeString("text");
    CFStringRef raw = first.Get();
    Check(raw && CFGetRetainCount(raw) == 1, "a made string is owned once");

    Ref<CFStringRef> second = Ref<CFStringRef>::Retain(raw);
    Check(CFGetRetainCount(raw) == 2, "Retain adds a reference");
    Ref<CFStringRef> moved(std::move(second));
    Check(!second && moved.Get() == raw && CFGetRetainCount(raw) == 2,
          "a move hands the reference over without retaining");
    moved = std::move(first);
    Check(!first && moved.Get() == raw && CFGetRetainCount(raw) == 1,
          "move assignment releases the held reference");
    moved.Reset();
    Check(!moved, "Reset empties the holder");

    Ref<CFStringRef> kept = vantrell::MakeString("kept");
    CFStringRef released = kept.Release();
    Check(!kept && released, "Release gives the reference up");
    Check(vantrell::ToString(released) == "kept", "ToString reads UTF-8 text");
    CFRelease(released);
    Check(vantrell::ToString(nullptr).empty(), "ToString of NULL is empty");
    Check(vantrell::ToString(vantrell::MakeString("caf\xC3\xA9 \xE2\x86\x92").Get()) ==
              "caf\xC3\xA9 \xE2\x86\x92",
          "non-ASCII text round-trips");
}

// Before C++20 CFSTR interns instead of making a static object; the same
// text must still give one immortal string.
void ConstantStrings() {
    CFStringRef first = CFSTR("constant");
    CFStringRef again = CFSTR("constant");
    Check(first == again, "CFSTR gives one string per text");
    Check(vantrell::ToString(first) == "constant", "CFSTR keeps its text");
    long count = CFGetRetainCount(first);
    CFRelease(CFRetain(first));
    Check(CFGetRetainCount(first) == count, "a CFSTR string is immortal");
}

void Errors() {
    vantrell::Ref<CFStringRef> domain = vantrell::MakeString("TestDomain");
    vantrell::Ref<CFStringRef> format = vantrell::MakeString("went wrong %d");
    CFIndex code = -43;
    vantrell::Ref<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberCFIndexType, &code));
    CFMutableDictionaryRef record =
        VTErrorCreate(nullptr, domain.Get(), number.Get(), format.Get(), 7);
    Check(record != nullptr, "record made");
    vantrell::Error error = vantrell::Error::FromRecord(record);
    Check(error.Code() == -43 && error.Domain() == "TestDomain" &&
              error.Description() == "went wrong 7",
          "Error copies code, domain and description");
    Check(std::string(error.what()) == "TestDomain -43: went wrong 7", "Error's message");

    bool thrown = false;
    try {
        vantrell::ThrowIfError(record); // takes the record over
    } catch (const vantrell::Error &caught) {
        thrown = caught.Code() == -43;
    }
    Check(thrown, "ThrowIfError throws the record's Error");
    vantrell::ThrowIfError(nullptr);
}

void Wrappers() {
    char work[] = "/tmp/vantrell-hpp-XXXXXX";
    Check(mkdtemp(work) != nullptr, "temporary folder");
    root = work;
    fs::current_path(root);
    fs::create_directories("User/Library/Scripts");
    fs::create_directories("Local/Library/Scripts");
    fs::create_directories("Scripts/Tools");
    std::ofstream("Scripts/A.scpt") << "a";

    vantrell::LoadDocument();
    Check(fs::is_directory("User/Library/Scripts/Modules"), "start-up made the Modules folder");

    vantrell::Ref<CFURLRef> folder = vantrell::MakeFolderURL(root + "/Scripts");
    vantrell::Ref<CFStringRef> title = vantrell::MakeString("Mine");
    vantrell::Ref<CFStringRef> wanted = vantrell::MakeString("lib.mine");
    vantrell::Ref<CFStringRef> id =
        vantrell::RegisterLibrary(kVTUserLibraryID, title.Get(), folder.Get(), wanted.Get());
    Check(vantrell::ToString(id.Get()) == "lib.mine", "RegisterLibrary returns the given ID");
    vantrell::Ref<CFStringRef> fresh =
        vantrell::RegisterLibrary(kVTUserLibraryID, title.Get(), nullptr);
    Check(vantrell::ToString(fresh.Get()).size() == 32, "a library without ID gets a UUID string");
    vantrell::RegisterSubfolders(id.Get());

    std::vector<std::string> ids = vantrell::CopyLibraryIDs();
    auto has = [&](const std::string &wantedID) {
        return std::find(ids.begin(), ids.end(), wantedID) != ids.end();
    };
    Check(has("lib.mine") && has(vantrell::ToString(fresh.Get())) &&
              has("info.module.library.id.user"),
          "CopyLibraryIDs lists the root and the registered libraries");
    Check(ids.size() == 6, "three roots, two registered, one subfolder");
    Check(vantrell::PropertyGetString("lib.mine", kVTKeyTitle) ==
              std::optional<std::string>("Mine"),
          "PropertyGetString reads the title");
    vantrell::Ref<CFStringRef> absentKey = vantrell::MakeString("NoSuchKey");
    Check(!vantrell::PropertyGetString("lib.mine", absentKey.Get()),
          "an absent property is nothing, not an error");

    bool thrown = false;
    try {
        vantrell::PropertyGetString("lib.unknown", kVTKeyTitle);
    } catch (const vantrell::Error &error) {
        thrown = !error.Description().empty();
    }
    Check(thrown, "an unknown library throws an Error with a description");
    thrown = false;
    try {
        vantrell::Ref<CFStringRef> unknownParent = vantrell::MakeString("lib.unknown");
        vantrell::RegisterLibrary(unknownParent.Get(), title.Get(), nullptr);
    } catch (const vantrell::Error &) {
        thrown = true;
    }
    Check(thrown, "registering under an unknown parent throws");

    fs::remove("info.library.module.mlix");
    vantrell::SaveDocument();
    Check(fs::file_size("info.library.module.mlix") > 0, "SaveDocument writes the document");
    fs::current_path("/");
    fs::remove_all(root);
}

} // namespace

// Maps the domains under the test's temporary folder.
OSErr FSFindFolder(SInt16 vRefNum, OSType folderType, Boolean createFolder, FSRef *foundRef) {
    (void)createFolder;
    const char *domain = vRefNum == kUserDomain      ? "User"
                         : vRefNum == kLocalDomain   ? "Local"
                         : vRefNum == kNetworkDomain ? "Network"
                                                     : nullptr;
    if (!domain || folderType != kScriptsFolderType || !foundRef || root.empty()) return paramErr;
    std::string path = root + "/" + domain + "/Library/Scripts";
    Boolean isDirectory = false;
    OSStatus status =
        FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), foundRef, &isDirectory);
    if (status != 0) return OSErr(status);
    return isDirectory ? OSErr(0) : OSErr(fnfErr);
}

int main() {
    OwningReference();
    ConstantStrings();
    Errors();
    try {
        Wrappers();
    } catch (const std::exception &error) {
        std::fprintf(stderr, "FAILED: unexpected exception: %s\n", error.what());
        ++failures;
    }
    return failures == 0 ? 0 : 1;
}
