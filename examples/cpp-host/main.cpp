// A small C++ host over <Vantrell/Vantrell.hpp>: starts the framework in a
// folder of its own, registers a library for a folder of scripts with one
// child library per subfolder, and lists every library with its title.
//
//   cpp-host FOLDER
//
// Everything happens under FOLDER: the module document is written there (the
// host's working directory) and the domains' Scripts folders are
// FOLDER/{User,Local,Network}/Library/Scripts, through the FSFindFolder
// below, so the example never touches the real Library folders.
#include <CoreServices/CoreServices.h>
#include <Vantrell/Vantrell.hpp>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

namespace fs = std::filesystem;

namespace {
std::string gRoot;
}

// The framework looks FSFindFolder up by name in the process first, so this
// definition replaces the built-in one. The linker exports it since the
// framework defines the same name; -rdynamic (CMake: ENABLE_EXPORTS) makes
// that explicit. C linkage comes from its declaration in CoreServices.h.
OSErr FSFindFolder(SInt16 vRefNum, OSType folderType, Boolean createFolder, FSRef *foundRef) {
    (void)createFolder;
    const char *domain = vRefNum == kUserDomain      ? "User"
                         : vRefNum == kLocalDomain   ? "Local"
                         : vRefNum == kNetworkDomain ? "Network"
                                                     : nullptr;
    if (!domain || folderType != kScriptsFolderType || !foundRef) return paramErr;
    std::string path = gRoot + "/" + domain + "/Library/Scripts";
    Boolean isDirectory = false;
    OSStatus status =
        FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), foundRef, &isDirectory);
    if (status != 0) return OSErr(status);
    return isDirectory ? OSErr(0) : OSErr(fnfErr);
}

int main(int argc, char **argv) {
    if (argc != 2) {
        std::cerr << "usage: " << argv[0] << " FOLDER\n";
        return 2;
    }
    try {
        fs::create_directories(argv[1]);
        fs::current_path(argv[1]);
        gRoot = fs::current_path().string();
        fs::create_directories("User/Library/Scripts");
        fs::create_directories("Local/Library/Scripts");
        fs::create_directories("Example/Tools");
        std::ofstream(gRoot + "/Example/Hello.scpt") << "-- hello\n";
        std::ofstream(gRoot + "/Example/Tools/Sort.scpt") << "-- sort\n";
    } catch (const fs::filesystem_error &failure) {
        std::cerr << failure.what() << '\n';
        return 1;
    }

    try {
        vantrell::LoadDocument();
        vantrell::Ref<CFURLRef> folder = vantrell::MakeFolderURL(gRoot + "/Example");
        vantrell::Ref<CFStringRef> libraryID =
            vantrell::RegisterLibrary(kVTUserLibraryID, CFSTR("Example"), folder.Get());
        vantrell::RegisterSubfolders(libraryID.Get());

        for (const std::string &id : vantrell::CopyLibraryIDs())
            std::cout << id << '\t' << vantrell::PropertyGetString(id, kVTKeyTitle).value_or("")
                      << '\n';
        vantrell::SaveDocument();
    } catch (const vantrell::Error &error) {
        std::cerr << "cpp-host: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
