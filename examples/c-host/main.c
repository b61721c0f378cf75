/* A small C host: starts the framework in a folder of its own, registers a
 * library for a folder of scripts with one child library per subfolder, and
 * lists every library with its title.
 *
 *   c-host FOLDER
 *
 * Everything happens under FOLDER: the module document is written there (the
 * host's working directory) and the domains' Scripts folders are
 * FOLDER/{User,Local,Network}/Library/Scripts, through the FSFindFolder
 * below, so the example never touches the real Library folders. */
#define _XOPEN_SOURCE 700

#include <CoreServices/CoreServices.h>
#include <Vantrell/Vantrell.h>

#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static char gRoot[PATH_MAX];

/* The framework looks FSFindFolder up by name in the process first, so this
 * definition replaces the built-in one. The linker exports it since the
 * framework defines the same name; -rdynamic (CMake: ENABLE_EXPORTS) makes
 * that explicit. */
OSErr FSFindFolder(SInt16 vRefNum, OSType folderType, Boolean createFolder, FSRef *foundRef) {
    (void)createFolder;
    const char *domain = vRefNum == kUserDomain      ? "User"
                         : vRefNum == kLocalDomain   ? "Local"
                         : vRefNum == kNetworkDomain ? "Network"
                                                     : NULL;
    if (!domain || folderType != kScriptsFolderType || !foundRef) return paramErr;
    char path[PATH_MAX + 64];
    snprintf(path, sizeof path, "%s/%s/Library/Scripts", gRoot, domain);
    Boolean isDirectory = false;
    OSStatus status = FSPathMakeRef((const UInt8 *)path, foundRef, &isDirectory);
    if (status != 0) return (OSErr)status;
    return isDirectory ? 0 : fnfErr;
}

/* mkdir -p */
static int make_folders(const char *path) {
    char partial[PATH_MAX];
    if (strlen(path) >= sizeof partial) return 0;
    strcpy(partial, path);
    for (char *slash = partial + 1; *slash; ++slash) {
        if (*slash != '/') continue;
        *slash = '\0';
        if (mkdir(partial, 0755) != 0 && errno != EEXIST) return 0;
        *slash = '/';
    }
    return mkdir(partial, 0755) == 0 || errno == EEXIST;
}

static int write_file(const char *path, const char *text) {
    FILE *file = fopen(path, "w");
    if (!file) return 0;
    int ok = fputs(text, file) >= 0;
    return fclose(file) == 0 && ok;
}

/* Shows and releases the record; returns whether there was none. */
static int succeeded(CFMutableDictionaryRef error, const char *what) {
    if (!error) return 1;
    VTErrorShow(error, CFSTR("%s"), what);
    CFRelease(error);
    return 0;
}

static void print_string(CFStringRef string) {
    char text[1024] = "";
    if (string) CFStringGetCString(string, text, sizeof text, kCFStringEncodingUTF8);
    fputs(text, stdout);
}

/* Describes a library with the folder under the user library and registers
 * it; returns its ID (the caller releases it) or NULL. */
static CFStringRef register_folder(const char *folder, CFStringRef title) {
    CFMutableDictionaryRef error = NULL;
    CFStringRef descriptionID =
        VTLibraryDescriptionCreateMinimal(NULL, kVTUserLibraryID, NULL, title, &error);
    if (!succeeded(error, "VTLibraryDescriptionCreateMinimal") || !descriptionID) return NULL;

    CFStringRef path = CFStringCreateWithCString(NULL, folder, kCFStringEncodingUTF8);
    CFURLRef url = CFURLCreateWithFileSystemPath(NULL, path, kCFURLPOSIXPathStyle, true);
    CFRelease(path);
    CFStringRef libraryID = NULL;
    if (succeeded(VTLibraryDescriptionSetFolderInfoWithURL(NULL, descriptionID, url, NULL),
                  "VTLibraryDescriptionSetFolderInfoWithURL"))
        succeeded(VTDocumentRegisterLibrary(NULL, descriptionID, &libraryID),
                  "VTDocumentRegisterLibrary");
    CFRelease(url);
    CFRelease(descriptionID);
    return libraryID;
}

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    if (!make_folders(argv[1]) || !realpath(argv[1], gRoot) || chdir(gRoot) != 0) {
        perror(argv[1]);
        return 1;
    }
    /* The user and local Scripts folders, and a library folder holding a
     * script and a subfolder with another (paths below the working folder). */
    int ready = make_folders("User/Library/Scripts") && make_folders("Local/Library/Scripts") &&
                make_folders("Example/Tools") && write_file("Example/Hello.scpt", "-- hello\n") &&
                write_file("Example/Tools/Sort.scpt", "-- sort\n");
    if (!ready) {
        perror("setting up the folders");
        return 1;
    }
    char library[PATH_MAX + 64];
    snprintf(library, sizeof library, "%s/Example", gRoot);

    if (!succeeded(VantrellLoadDocument(kCFAllocatorDefault, NULL), "VantrellLoadDocument"))
        return 1;

    CFStringRef libraryID = register_folder(library, CFSTR("Example"));
    if (!libraryID) return 1;
    int ok = succeeded(VTLibraryRegisterSubfolders(NULL, libraryID), "VTLibraryRegisterSubfolders");
    CFRelease(libraryID);

    CFMutableDictionaryRef error = NULL;
    CFArrayRef ids = VTDocumentCopyLibraryIDs(NULL, &error);
    ok = succeeded(error, "VTDocumentCopyLibraryIDs") && ids && ok;
    for (CFIndex i = 0; ids && i < CFArrayGetCount(ids); ++i) {
        CFStringRef id = (CFStringRef)CFArrayGetValueAtIndex(ids, i);
        error = NULL;
        CFTypeRef title = VTLibraryPropertyGetValue(NULL, id, kVTKeyTitle, &error);
        ok = succeeded(error, "VTLibraryPropertyGetValue") && ok;
        print_string(id);
        fputs("\t", stdout);
        if (title && CFGetTypeID(title) == CFStringGetTypeID()) print_string((CFStringRef)title);
        fputs("\n", stdout);
    }
    if (ids) CFRelease(ids);

    ok = succeeded(VantrellSaveDocument(kCFAllocatorDefault), "VantrellSaveDocument") && ok;
    return ok ? 0 : 1;
}
