/* What a host does in one session, through the exported C API only: start
 * up, register a library on a folder of scripts, register its subfolders,
 * find it by title, remove it, and save. host_end_to_end.py then reads the
 * saved document with plistlib.
 *
 * usage: vantrell_host_end_to_end FOLDER
 * The domains' Scripts folders lie under FOLDER (this program's own
 * FSFindFolder replaces the built-in look-up); the document is written in
 * FOLDER. Prints "N passed, M failed". */
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
static int gPassed, gFailed;

#define CHECK(condition)                                                                           \
    do {                                                                                           \
        if (condition) {                                                                           \
            ++gPassed;                                                                             \
        } else {                                                                                   \
            ++gFailed;                                                                             \
            fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #condition);                \
        }                                                                                          \
    } while (0)

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

static int make_folder(const char *format, const char *name) {
    char path[PATH_MAX + 64];
    snprintf(path, sizeof path, format, gRoot, name);
    return mkdir(path, 0755) == 0 || errno == EEXIST;
}

static int write_script(const char *relative) {
    char path[PATH_MAX + 64];
    snprintf(path, sizeof path, "%s/%s", gRoot, relative);
    FILE *file = fopen(path, "w");
    if (!file) return 0;
    int ok = fputs("-- script\n", file) >= 0;
    return fclose(file) == 0 && ok;
}

static CFURLRef create_url(const char *relative, Boolean isDirectory) {
    char path[PATH_MAX + 64];
    snprintf(path, sizeof path, "%s/%s", gRoot, relative);
    return CFURLCreateFromFileSystemRepresentation(NULL, (const UInt8 *)path, (CFIndex)strlen(path),
                                                   isDirectory);
}

static int released_ok(CFMutableDictionaryRef error) {
    if (!error) return 1;
    VTErrorShow(error, CFSTR("%s"), "host");
    CFRelease(error);
    return 0;
}

int main(int argc, char **argv) {
    if (argc != 2 || !realpath(argv[1], gRoot) || chdir(gRoot) != 0) {
        fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const char *domains[] = {"User", "Local", "Network"};
    for (int i = 0; i < 3; ++i) {
        CHECK(make_folder("%s/%s", domains[i]));
        CHECK(make_folder("%s/%s/Library", domains[i]));
        CHECK(make_folder("%s/%s/Library/Scripts", domains[i]));
    }
    CHECK(make_folder("%s/%s", "Tools"));
    CHECK(make_folder("%s/%s", "Tools/Text"));
    CHECK(make_folder("%s/%s", "Tools/Files"));
    CHECK(write_script("Tools/main.scpt"));
    CHECK(write_script("Tools/Text/upper.scpt"));
    CHECK(write_script("Tools/Files/list.scpt"));

    CHECK(released_ok(VantrellLoadDocument(NULL, NULL)));

    /* A library on the Tools folder, under the user library. */
    CFMutableDictionaryRef error = NULL;
    CFStringRef descriptionID =
        VTLibraryDescriptionCreateMinimal(NULL, kVTUserLibraryID, NULL, CFSTR("Tools"), &error);
    CHECK(descriptionID != NULL && released_ok(error));
    CFURLRef folder = create_url("Tools", true);
    CHECK(released_ok(VTLibraryDescriptionSetFolderInfoWithURL(NULL, descriptionID, folder, NULL)));
    CFStringRef libraryID = NULL;
    CHECK(released_ok(VTDocumentRegisterLibrary(NULL, descriptionID, &libraryID)));
    CHECK(libraryID != NULL);

    CFURLRef script = create_url("Tools/main.scpt", false);
    error = NULL;
    CFStringRef fileID = VTLibraryRegisterURL(NULL, libraryID, script, &error);
    CHECK(fileID != NULL && released_ok(error));

    /* Its two subfolders become child libraries. */
    CHECK(released_ok(VTLibraryRegisterSubfolders(NULL, libraryID)));
    CFArrayRef children = (CFArrayRef)VTLibraryGetValue(NULL, libraryID, kVTKeyChildren, NULL);
    CHECK(children != NULL && CFArrayGetCount(children) == 2);

    /* Found by its title, then removed with its children. */
    error = NULL;
    CFArrayRef found = VTDocumentCopyLibraryIDsWithTitle(NULL, CFSTR("Tools"), &error);
    CHECK(found != NULL && CFArrayGetCount(found) == 1 &&
          CFEqual(CFArrayGetValueAtIndex(found, 0), libraryID));
    CHECK(released_ok(error));
    CHECK(released_ok(VTDocumentRemoveLibrary(NULL, libraryID)));
    CHECK(VTLibraryGetValue(NULL, libraryID, kVTKeyKind, NULL) == NULL);

    CHECK(released_ok(VantrellSaveDocument(NULL)));

    /* The library's ID goes on stdout for the plistlib check. */
    char text[256] = "";
    if (libraryID) CFStringGetCString(libraryID, text, sizeof text, kCFStringEncodingUTF8);
    printf("%s\n", text);

    if (found) CFRelease(found);
    if (fileID) CFRelease(fileID);
    CFRelease(script);
    if (libraryID) CFRelease(libraryID);
    CFRelease(folder);
    if (descriptionID) CFRelease(descriptionID);
    fprintf(stderr, "%d passed, %d failed\n", gPassed, gFailed);
    return gFailed ? 1 : 0;
}
