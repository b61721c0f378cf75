// A document saved after registrations, read by another reader: Python's
// plistlib must find every record, property set, file entry and map entry
// in the layout the tables share (tests/plistlib/libraries_check.py).
#include "tests/libraries/LibrariesTestSupport.h"

#include "tables/TablesPrivate.h"

#include <cstdio>
#include <filesystem>

using vt::CFRef;
using namespace vt::test::libraries;

namespace {

class SavedDocument : public LibrariesTest {};

// Runs the command, returns its exit status and its output.
int RunCommand(const std::string &command, std::string &output) {
    FILE *pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return -1;
    char buffer[512];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe))
        output.append(buffer, n);
    return pclose(pipe);
}

// Registers the file with the library as a host's file registration does.
void AddFile(CFStringRef libraryID, const std::string &path) {
    ASSERT_TRUE(vt::test::WriteFile(path, "script"));
    CFRef<CFStringRef> text(NewString(path));
    CFRef<CFURLRef> url(
        CFURLCreateWithFileSystemPath(nullptr, text.get(), kCFURLPOSIXPathStyle, false));
    CFRef<CFStringRef> fileID(
        VTPrivate_FilesSetFileInfoEntryForURL(nullptr, url.get(), libraryID, nullptr));
    ASSERT_TRUE(fileID);
    CFArrayAppendValue(VTLibraryGetFiles(nullptr, libraryID, nullptr), fileID.get());
}

} // namespace

TEST_F(SavedDocument, PlistlibFindsTheRegisteredLayout) {
    ASSERT_TRUE(CreateDocument());
    vt::test::TempFolder folders;
    std::string modules = folders.Join("Modules"), tools = folders.Join("Modules/Text Tools");
    std::string deeper = folders.Join("Modules/Text Tools/Bibliothèque");
    ASSERT_TRUE(vt::test::MakeFolders(deeper));
    CFRef<CFURLRef> modulesURL(NewFolderURL(modules)), toolsURL(NewFolderURL(tools)),
        deeperURL(NewFolderURL(deeper));

    ASSERT_TRUE(
        Register(kVTRootModuleIDUser, kVTUserLibraryID, CFSTR("UserLibrary"), modulesURL.get(), 1));
    ASSERT_TRUE(Register(kVTRootModuleIDLocal, kVTLocalLibraryID, CFSTR("LocalLibrary")));
    ASSERT_TRUE(
        Register(kVTUserLibraryID, CFSTR("lib.tools"), CFSTR("Text Tools"), toolsURL.get()));
    CFRef<CFStringRef> title(NewString("Bibliothèque & <amis>"));
    ASSERT_TRUE(Register(CFSTR("lib.tools"), CFSTR("info.module.library.id.auto.x"), title.get(),
                         deeperURL.get(), 7));
    AddFile(CFSTR("lib.tools"), tools + "/Split Text.scpt");
    AddFile(CFSTR("lib.tools"), tools + "/Join.scpt");
    AddFile(kVTUserLibraryID, modules + "/Résumé.scpt");
    // Registering the user library again keeps its files and its child.
    ASSERT_TRUE(
        Register(kVTRootModuleIDUser, kVTUserLibraryID, CFSTR("UserLibrary"), modulesURL.get(), 1));

    CFRef<CFMutableDictionaryRef> error(VantrellSaveDocument(nullptr));
    ASSERT_FALSE(error) << Said(error.get());

    std::filesystem::path checker = std::filesystem::path(VANTRELL_TEST_DATA_DIR).parent_path() /
                                    "plistlib" / "libraries_check.py";
    std::string output;
    int status =
        RunCommand("python3 '" + checker.string() + "' '" + work_.Join("info.library.module.mlix") +
                       "' info.module.library.id.user=UserLibrary"
                       " info.module.library.id.local=LocalLibrary 'lib.tools=Text Tools'"
                       " 'info.module.library.id.auto.x=Bibliothèque & <amis>'",
                   output);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("7 passed, 0 failed"), std::string::npos) << output;
}
