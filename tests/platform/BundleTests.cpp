// Bundles: the built framework found among the loaded objects, bundles for
// folders, the platform frameworks' functions by name, and the built-in
// folder look-up.
#include <CoreFoundation/CoreFoundation.h>
#include <CoreServices/CoreServices.h>
#include <gtest/gtest.h>

#include "platform/system/FindFolderInternal.h"
#include "platform/values/Holder.h"
#include "support/TestSupport.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <dlfcn.h>

using vt::CFRef;
using vt::test::PathOf;
using vt::test::StringOf;

namespace {

std::string RealPath(const std::string &path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? resolved : "";
}

CFRef<CFURLRef> FolderURL(const std::string &path) {
    CFRef<CFStringRef> text(
        CFStringCreateWithCString(nullptr, path.c_str(), kCFStringEncodingUTF8));
    return CFRef<CFURLRef>(
        CFURLCreateWithFileSystemPath(nullptr, text.get(), kCFURLPOSIXPathStyle, true));
}

std::string InfoValue(CFBundleRef bundle, CFStringRef key) {
    CFTypeRef value = CFBundleGetValueForInfoDictionaryKey(bundle, key);
    return value && CFGetTypeID(value) == CFStringGetTypeID()
               ? StringOf(static_cast<CFStringRef>(value))
               : "<none>";
}

} // namespace

TEST(Bundles, LoadedFrameworkFoundByIdentifierWithInfoAndResources) {
    // Before the framework is loaded, the static library in this executable
    // belongs to no bundle.
    EXPECT_EQ(CFBundleGetBundleWithIdentifier(CFSTR("info.framework.Vantrell")), nullptr);
    void *framework = dlopen(VANTRELL_FRAMEWORK_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(framework, nullptr) << dlerror();

    CFBundleRef bundle = CFBundleGetBundleWithIdentifier(CFSTR("info.framework.Vantrell"));
    ASSERT_NE(bundle, nullptr);
    EXPECT_EQ(CFGetTypeID(bundle), CFBundleGetTypeID());
    EXPECT_EQ(CFBundleGetBundleWithIdentifier(CFSTR("info.framework.Vantrell")), bundle);
    EXPECT_EQ(StringOf(CFBundleGetIdentifier(bundle)), "info.framework.Vantrell");
    EXPECT_EQ(InfoValue(bundle, kCFBundleNameKey), "Vantrell");
    EXPECT_EQ(InfoValue(bundle, kCFBundleVersionKey), "0.5.4");
    EXPECT_EQ(InfoValue(bundle, kCFBundleExecutableKey), "Vantrell");
    EXPECT_EQ(InfoValue(bundle, CFSTR("ModuleDefaultFolderName")), "Modules");
    EXPECT_EQ(InfoValue(bundle, CFSTR("NoSuchKey")), "<none>");
    EXPECT_EQ(CFDictionaryGetValue(CFBundleGetInfoDictionary(bundle), kCFBundleIdentifierKey),
              CFBundleGetIdentifier(bundle));

    std::string versionFolder = RealPath(VANTRELL_FRAMEWORK_LIBRARY);
    versionFolder.erase(versionFolder.rfind('/'));
    std::string bundleFolder = versionFolder.substr(0, versionFolder.rfind("/Versions/"));
    CFRef<CFURLRef> url(CFBundleCopyBundleURL(bundle));
    EXPECT_EQ(PathOf(url.get()), bundleFolder);
    EXPECT_TRUE(CFURLHasDirectoryPath(url.get()));
    CFRef<CFURLRef> resources(CFBundleCopyResourcesDirectoryURL(bundle));
    EXPECT_EQ(PathOf(resources.get()), versionFolder + "/Resources");

    std::string script = versionFolder + "/Resources/Scripts/SE_ListDesktopFolder.scpt";
    CFRef<CFURLRef> byType(CFBundleCopyResourceURL(bundle, CFSTR("SE_ListDesktopFolder"),
                                                   CFSTR("scpt"), CFSTR("Scripts")));
    CFRef<CFURLRef> byName(CFBundleCopyResourceURL(bundle, CFSTR("SE_ListDesktopFolder.scpt"),
                                                   nullptr, CFSTR("Scripts")));
    CFRef<CFURLRef> dottedType(CFBundleCopyResourceURL(bundle, CFSTR("SE_ListDesktopFolder"),
                                                       CFSTR(".scpt"), CFSTR("Scripts")));
    EXPECT_EQ(PathOf(byType.get()), script);
    EXPECT_EQ(PathOf(byName.get()), script);
    EXPECT_EQ(PathOf(dottedType.get()), script);
    EXPECT_FALSE(CFURLHasDirectoryPath(byType.get()));
    EXPECT_FALSE(vt::test::ReadFile(script).empty());
    CFRef<CFURLRef> folder(CFBundleCopyResourceURL(bundle, CFSTR("Scripts"), nullptr, nullptr));
    EXPECT_TRUE(folder && CFURLHasDirectoryPath(folder.get()));
    EXPECT_EQ(
        CFBundleCopyResourceURL(bundle, CFSTR("SE_ListDesktopFolder"), CFSTR("scpt"), nullptr),
        nullptr);
    EXPECT_EQ(CFBundleCopyResourceURL(bundle, CFSTR("Missing"), CFSTR("scpt"), CFSTR("Scripts")),
              nullptr);

    // A bundle made for the same folder is the loaded one, and its functions
    // are the loaded object's.
    CFRef<CFBundleRef> created(CFBundleCreate(nullptr, url.get()));
    EXPECT_EQ(created.get(), bundle);
    EXPECT_EQ(CFBundleGetFunctionPointerForName(bundle, CFSTR("VantrellGetModulesFolderName")),
              dlsym(framework, "VantrellGetModulesFolderName"));
    EXPECT_EQ(CFBundleGetFunctionPointerForName(bundle, CFSTR("VTPrivate_FrameworkGetBundle")),
              nullptr);
}

TEST(Bundles, MissingIdentifierAndBadArgumentsGiveNull) {
    int seven = 7;
    CFRef<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberIntType, &seven));
    EXPECT_EQ(CFBundleGetBundleWithIdentifier(CFSTR("info.framework.Missing")), nullptr);
    EXPECT_EQ(CFBundleGetBundleWithIdentifier(nullptr), nullptr);
    EXPECT_EQ(CFBundleGetBundleWithIdentifier(reinterpret_cast<CFStringRef>(number.get())),
              nullptr);
    CFBundleRef notBundle =
        reinterpret_cast<CFBundleRef>(const_cast<void *>(static_cast<const void *>(number.get())));
    EXPECT_EQ(CFBundleCreate(nullptr, nullptr), nullptr);
    EXPECT_EQ(CFBundleCreate(nullptr, reinterpret_cast<CFURLRef>(number.get())), nullptr);
    for (CFBundleRef bundle : {static_cast<CFBundleRef>(nullptr), notBundle}) {
        EXPECT_EQ(CFBundleCopyBundleURL(bundle), nullptr);
        EXPECT_EQ(CFBundleGetIdentifier(bundle), nullptr);
        EXPECT_EQ(CFBundleGetInfoDictionary(bundle), nullptr);
        EXPECT_EQ(CFBundleGetValueForInfoDictionaryKey(bundle, kCFBundleNameKey), nullptr);
        EXPECT_EQ(CFBundleCopyResourcesDirectoryURL(bundle), nullptr);
        EXPECT_EQ(CFBundleCopyResourceURL(bundle, CFSTR("a"), nullptr, nullptr), nullptr);
        EXPECT_EQ(CFBundleGetFunctionPointerForName(bundle, CFSTR("FSFindFolder")), nullptr);
    }
}

TEST(Bundles, CreateReadsAFoldersInfoPlist) {
    vt::test::TempFolder temp;
    std::string folder = temp.Join("Plain.bundle");
    ASSERT_TRUE(vt::test::MakeFolders(folder + "/Resources/Sub"));
    ASSERT_TRUE(vt::test::WriteFile(folder + "/Resources/Info.plist",
                                    "<plist version=\"1.0\"><dict>"
                                    "<key>CFBundleIdentifier</key><string>test.plain</string>"
                                    "<key>Count</key><integer>3</integer>"
                                    "</dict></plist>"));
    ASSERT_TRUE(vt::test::WriteFile(folder + "/Resources/Sub/data.txt", "x"));
    ASSERT_TRUE(vt::test::MakeFolders(temp.Join("Bare")));
    ASSERT_TRUE(vt::test::WriteFile(temp.Join("file.txt"), "not a folder"));

    CFRef<CFBundleRef> bundle(CFBundleCreate(nullptr, FolderURL(folder).get()));
    ASSERT_TRUE(bundle);
    EXPECT_EQ(StringOf(CFBundleGetIdentifier(bundle.get())), "test.plain");
    EXPECT_EQ(CFGetTypeID(CFBundleGetValueForInfoDictionaryKey(bundle.get(), CFSTR("Count"))),
              CFNumberGetTypeID());
    EXPECT_EQ(InfoValue(bundle.get(), CFSTR("Count")), "<none>");
    CFRef<CFURLRef> data(
        CFBundleCopyResourceURL(bundle.get(), CFSTR("data"), CFSTR("txt"), CFSTR("Sub")));
    EXPECT_EQ(PathOf(data.get()), RealPath(folder) + "/Resources/Sub/data.txt");
    EXPECT_EQ(CFBundleGetFunctionPointerForName(bundle.get(), CFSTR("anything")), nullptr);
    // Made for a folder, not loaded: identifier look-ups do not see it.
    EXPECT_EQ(CFBundleGetBundleWithIdentifier(CFSTR("test.plain")), nullptr);

    CFRef<CFBundleRef> bare(CFBundleCreate(nullptr, FolderURL(temp.Join("Bare")).get()));
    ASSERT_TRUE(bare);
    EXPECT_EQ(CFBundleGetIdentifier(bare.get()), nullptr);
    EXPECT_EQ(CFDictionaryGetCount(CFBundleGetInfoDictionary(bare.get())), 0);

    EXPECT_EQ(CFBundleCreate(nullptr, FolderURL(temp.Join("Missing")).get()), nullptr);
    EXPECT_EQ(CFBundleCreate(nullptr, FolderURL(temp.Join("file.txt")).get()), nullptr);
}

TEST(Bundles, PlatformFrameworksResolveTheProcessFunctionFirst) {
    auto *ownFindFolder = reinterpret_cast<void *>(&FSFindFolder);
    for (const char *path : {"/System/Library/Frameworks/CoreServices.framework",
                             "/System/Library/Frameworks/ApplicationServices.framework",
                             "/System/Library/Frameworks/CoreFoundation.framework/"}) {
        CFRef<CFBundleRef> bundle(CFBundleCreate(nullptr, FolderURL(path).get()));
        ASSERT_TRUE(bundle) << path;
        // This executable defines FSFindFolder (tests/support), so a search of
        // the process finds it before the built-in.
        EXPECT_EQ(CFBundleGetFunctionPointerForName(bundle.get(), CFSTR("FSFindFolder")),
                  ownFindFolder);
        EXPECT_EQ(CFBundleGetFunctionPointerForName(bundle.get(), CFSTR("VTNoSuchFunction")),
                  nullptr);
        EXPECT_EQ(CFBundleGetIdentifier(bundle.get()), nullptr);
    }
    EXPECT_EQ(
        CFBundleCreate(nullptr, FolderURL("/System/Library/Frameworks/Other.framework").get()),
        nullptr);
}

TEST(Bundles, BuiltinFindFolderAnswersOnlyAnExistingUserScriptsFolder) {
    vt::test::TempFolder home;
    vt::test::ScopedEnvironment environment("HOME", home.Path());
    FSRef ref;
    EXPECT_EQ(
        vt::platform::BuiltinFindFolder(kUserDomain, kScriptsFolderType, kDontCreateFolder, &ref),
        fnfErr);
    EXPECT_FALSE(vt::test::Exists(home.Join("Library/Scripts")));
    ASSERT_TRUE(vt::test::WriteFile(home.Join("Library"), "a file where the folder belongs"));
    EXPECT_EQ(vt::platform::BuiltinFindFolder(kUserDomain, kScriptsFolderType, kCreateFolder, &ref),
              fnfErr);
    std::remove(home.Join("Library").c_str());

    ASSERT_TRUE(vt::test::MakeFolders(home.Join("Library/Scripts")));
    ASSERT_EQ(
        vt::platform::BuiltinFindFolder(kUserDomain, kScriptsFolderType, kDontCreateFolder, &ref),
        0);
    CFRef<CFURLRef> url(CFURLCreateFromFSRef(nullptr, &ref));
    EXPECT_EQ(PathOf(url.get()), RealPath(home.Join("Library/Scripts")));

    EXPECT_EQ(vt::platform::BuiltinFindFolder(kUserDomain, 0x61626364u, kDontCreateFolder, &ref),
              paramErr);
    EXPECT_EQ(
        vt::platform::BuiltinFindFolder(kSystemDomain, kScriptsFolderType, kDontCreateFolder, &ref),
        paramErr);
    EXPECT_EQ(vt::platform::BuiltinFindFolder(kUserDomain, kScriptsFolderType, kDontCreateFolder,
                                              nullptr),
              paramErr);
}
