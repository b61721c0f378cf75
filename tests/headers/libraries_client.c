/* A host written in C registers libraries through the framework's exported
 * API alone: a root library whose folder holds two scripts and a child
 * library for its subfolder. It reads them back, saves, loads the saved
 * document and reads them again. Works in a temporary folder of its own;
 * exits non-zero on the first failed check. */
#define _XOPEN_SOURCE 700

#include <CoreFoundation/CoreFoundation.h>
#include <Vantrell/Vantrell.h>

#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static int failures = 0;

static void check(int condition, const char *what) {
    if (!condition) {
        fprintf(stderr, "FAILED: %s\n", what);
        failures++;
    }
}

static void release(CFTypeRef value) {
    if (value) CFRelease(value);
}

static int write_text(const char *path, const char *text) {
    FILE *file = fopen(path, "w");
    if (!file) return 0;
    int ok = fputs(text, file) >= 0;
    return fclose(file) == 0 && ok;
}

static int remove_entry(const char *path, const struct stat *info, int flag, struct FTW *walk) {
    (void)info;
    (void)flag;
    (void)walk;
    return remove(path);
}

/* An empty document with the nine top-level keys, for the loader. */
static const char *const kEmptyDocument =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<plist version=\"1.0\"><dict>"
    "<key>Extensions</key><dict/><key>Files</key><dict/><key>Libraries</key><dict/>"
    "<key>Map</key><dict/><key>Properties</key><dict/><key>SearchConfigurations</key><dict/>"
    "<key>DisabledFolderSubstrings</key><array><string>(Disabled)</string></array>"
    "<key>SearchConfigurationLastSelected</key>"
    "<string>info.module.search.configuration.id.user</string>"
    "<key>ModuleDocumentVersion</key><string>0.5.4</string>"
    "</dict></plist>\n";

static CFStringRef register_library(CFStringRef parentID, CFStringRef libraryID, CFStringRef title,
                                    const char *folder) {
    CFMutableDictionaryRef error = NULL;
    CFStringRef descriptionID =
        VTLibraryDescriptionCreateMinimal(NULL, parentID, libraryID, title, &error);
    check(descriptionID != NULL && error == NULL, "description made");
    release(error);
    if (!descriptionID) return NULL;

    CFStringRef path = CFStringCreateWithCString(NULL, folder, kCFStringEncodingUTF8);
    CFURLRef url = CFURLCreateWithFileSystemPath(NULL, path, kCFURLPOSIXPathStyle, true);
    CFIndex bits = 1;
    CFNumberRef options = CFNumberCreate(NULL, kCFNumberCFIndexType, &bits);
    error = VTLibraryDescriptionSetFolderInfoWithURL(NULL, descriptionID, url, options);
    check(error == NULL, "folder given to the description");
    release(error);
    release(options);
    release(url);
    release(path);

    CFStringRef registered = NULL;
    error = VTDocumentRegisterLibrary(NULL, descriptionID, &registered);
    check(error == NULL, "library registered");
    check(registered != NULL && CFEqual(registered, libraryID), "registered ID handed back");
    release(error);
    release(descriptionID);
    return registered;
}

static int array_holds(CFTypeRef array, CFStringRef text) {
    if (!array || CFGetTypeID(array) != CFArrayGetTypeID()) return 0;
    CFArrayRef values = (CFArrayRef)array;
    return CFArrayContainsValue(values, CFRangeMake(0, CFArrayGetCount(values)), text);
}

static void check_libraries(const char *folder) {
    CFMutableDictionaryRef error = NULL;
    CFTypeRef kind = VTLibraryGetValue(NULL, kVTUserLibraryID, kVTKeyKind, &error);
    check(error == NULL && kind != NULL && CFEqual(kind, kVTKindLibrary), "record's kind");
    release(error);
    CFTypeRef children = VTLibraryGetValue(NULL, kVTUserLibraryID, kVTKeyChildren, NULL);
    check(array_holds(children, CFSTR("lib.tools")), "child listed under its parent");
    CFTypeRef parent = VTLibraryGetValue(NULL, CFSTR("lib.tools"), kVTKeyParentID, NULL);
    check(parent != NULL && CFEqual(parent, kVTUserLibraryID), "child names its parent");
    CFMutableArrayRef files = VTLibraryGetFiles(NULL, kVTUserLibraryID, NULL);
    check(files != NULL && CFArrayGetCount(files) == 0, "no files registered one by one");

    CFStringRef propertyID = VTLibraryGetPropertyID(NULL, kVTUserLibraryID, NULL);
    CFTypeRef title = VTPropertyGetValue(NULL, propertyID, kVTKeyTitle, NULL);
    check(title != NULL && CFEqual(title, CFSTR("Scripts")), "title in the property set");

    /* The library's folder entry: its owner, its path and its files. */
    CFStringRef mapID = VTLibraryGetURLMapID(NULL, kVTUserLibraryID, NULL);
    check(mapID != NULL && VTFileGetURL(mapID) != NULL, "folder URL in the map");
    CFTypeRef owners = VTFileGetValue(NULL, mapID, kVTKeyOwners, NULL);
    check(array_holds(owners, kVTUserLibraryID), "library owns its folder entry");
    CFTypeRef listing = VTFileGetValue(NULL, mapID, CFSTR("kCFURLFileDirectoryContents"), NULL);
    check(array_holds(listing, CFSTR("A.scpt")) && array_holds(listing, CFSTR("B.scpt")) &&
              array_holds(listing, CFSTR("Tools/")),
          "folder entry lists the scripts and the child's folder");
    CFTypeRef posixPath = VTFileGetValue(NULL, mapID, kVTFileInfoKeyPOSIXPath, NULL);
    CFStringRef expected = CFStringCreateWithCString(NULL, folder, kCFStringEncodingUTF8);
    check(posixPath != NULL && CFEqual(posixPath, expected), "folder entry keeps the path");
    release(expected);
}

int main(void) {
    char work[] = "/tmp/vantrell-c-libraries-XXXXXX";
    if (!mkdtemp(work)) return 1;
    char modules[512], tools[512], script[600];
    snprintf(modules, sizeof modules, "%s/Modules", work);
    snprintf(tools, sizeof tools, "%s/Modules/Tools", work);
    int ready = mkdir(modules, 0700) == 0 && mkdir(tools, 0700) == 0 && chdir(work) == 0 &&
                write_text("info.library.module.mlix", kEmptyDocument);
    snprintf(script, sizeof script, "%s/A.scpt", modules);
    ready = ready && write_text(script, "a");
    snprintf(script, sizeof script, "%s/B.scpt", modules);
    ready = ready && write_text(script, "b");
    check(ready, "working folder prepared");

    check(VTPrivate_DocumentLoad(NULL) == kCFBooleanTrue, "empty document loaded");
    CFStringRef user = register_library(CFSTR("info.module.root.id.user"), kVTUserLibraryID,
                                        CFSTR("Scripts"), modules);
    CFStringRef child = register_library(kVTUserLibraryID, CFSTR("lib.tools"), NULL, tools);
    check_libraries(modules);

    CFMutableDictionaryRef error = VantrellSaveDocument(NULL);
    check(error == NULL, "document saved");
    release(error);
    check(VTPrivate_DocumentLoad(NULL) == kCFBooleanTrue, "saved document loaded");
    check_libraries(modules);

    release(child);
    release(user);
    nftw(work, remove_entry, 16, FTW_DEPTH | FTW_PHYS);
    if (failures == 0) printf("C libraries client: all checks passed\n");
    return failures == 0 ? 0 : 1;
}
