// Domain folders, the framework bundle and functions by name. Each TEST runs
// in a process of its own, so every cache starts empty; the tests'
// FSFindFolder maps the domains into a temporary folder.
#include <Vantrell/Vantrell.h>
#include <gtest/gtest.h>

#include "locations/LocationsPrivate.h"
#include "platform/values/Holder.h"
#include "support/FrameworkCopy.h"
#include "support/TestSupport.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

using vt::CFRef;
using vt::test::PathOf;
using vt::test::ScriptsFolderPath;
using vt::test::StringOf;

namespace {

std::string RealPath(const std::string &path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? resolved : "";
}

std::string UserScripts(const vt::test::TempFolder &root) {
    return RealPath(ScriptsFolderPath(root.Path(), kUserDomain));
}

} // namespace

TEST(Locations, FoldersComeFromTheFolderLookUpAndStayCached) {
    vt::test::TempFolder root;
    ASSERT_TRUE(vt::test::CreateScriptsFolders(root.Path(), true, true, true));
    testing::internal::CaptureStderr();

    CFURLRef userScripts = VTPrivate_GetScriptsFolderURLForUserDomain(nullptr);
    CFURLRef localScripts = VTPrivate_GetScriptsFolderURLForLocalDomain(nullptr);
    CFURLRef networkScripts = VTPrivate_GetScriptsFolderURLForNetworkDomain(nullptr);
    EXPECT_EQ(PathOf(userScripts), UserScripts(root));
    EXPECT_EQ(PathOf(localScripts), RealPath(ScriptsFolderPath(root.Path(), kLocalDomain)));
    EXPECT_EQ(PathOf(networkScripts), RealPath(ScriptsFolderPath(root.Path(), kNetworkDomain)));
    EXPECT_TRUE(CFURLHasDirectoryPath(userScripts));

    // The test executable loads no framework bundle, so the name is the
    // default.
    EXPECT_EQ(VantrellGetModulesFolderName(), kVTDefaultFolderName);
    CFURLRef userModules = VantrellGetModulesFolderURLForUserDomain();
    EXPECT_EQ(PathOf(userModules), UserScripts(root) + "/Modules");
    EXPECT_TRUE(CFURLHasDirectoryPath(userModules));
    EXPECT_EQ(CFGetAllocator(userModules), kCFAllocatorMalloc);
    EXPECT_EQ(PathOf(VantrellGetModulesFolderURLForLocalDomain()),
              PathOf(localScripts) + "/Modules");
    EXPECT_EQ(PathOf(VantrellGetModulesFolderURLForNetworkDomain()),
              PathOf(networkScripts) + "/Modules");

    // Removing the folders changes nothing: every URL is cached, and a later
    // name does not replace the first Modules folder.
    std::filesystem::remove_all(root.Join("User"));
    vt::test::SetDomainRoot("");
    EXPECT_EQ(VTPrivate_GetScriptsFolderURLForUserDomain(nullptr), userScripts);
    EXPECT_EQ(VTPrivate_GetModulesFolderURLForUserDomain(nullptr, CFSTR("Other")), userModules);
    EXPECT_EQ(VTPrivate_GetModulesFolderURLForUserDomain(nullptr, nullptr), userModules);
    EXPECT_EQ(VantrellGetModulesFolderURLForUserDomain(), userModules);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(Locations, MissingUserFolderIsShownAndLookedUpAgain) {
    vt::test::TempFolder root;
    vt::test::SetDomainRoot(root.Path());
    testing::internal::CaptureStderr();
    EXPECT_EQ(VTPrivate_GetScriptsFolderURLForUserDomain(nullptr), nullptr);
    std::string shown = testing::internal::GetCapturedStderr();
    EXPECT_EQ(shown, "\tdomain: ErrorDomainOSStatus\n\tnumber: -43\n"
                     "\tdescription: VTPrivate_GetScriptsFolderURLForUserDomain\n\n");

    testing::internal::CaptureStderr();
    EXPECT_EQ(VantrellGetModulesFolderURLForUserDomain(), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("number: -43"), std::string::npos);

    ASSERT_TRUE(vt::test::CreateScriptsFolders(root.Path(), true, false, false));
    testing::internal::CaptureStderr();
    EXPECT_EQ(PathOf(VantrellGetModulesFolderURLForUserDomain()), UserScripts(root) + "/Modules");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(Locations, MissingLocalFolderIsShownAndNetworkFolderIsNot) {
    vt::test::TempFolder root;
    vt::test::SetDomainRoot(root.Path());
    testing::internal::CaptureStderr();
    EXPECT_EQ(VantrellGetModulesFolderURLForLocalDomain(), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "\tdomain: ErrorDomainOSStatus\n\tnumber: -43\n"
              "\tdescription: VTPrivate_GetScriptsFolderURLForLocalDomain\n\n");

    testing::internal::CaptureStderr();
    EXPECT_EQ(VTPrivate_GetScriptsFolderURLForNetworkDomain(nullptr), nullptr);
    EXPECT_EQ(VantrellGetModulesFolderURLForNetworkDomain(), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(Locations, NullFolderNameLooksNothingUp) {
    // No domain root: any look-up of the user folder would be shown.
    vt::test::SetDomainRoot("");
    testing::internal::CaptureStderr();
    EXPECT_EQ(VTPrivate_GetModulesFolderURLForUserDomain(nullptr, nullptr), nullptr);
    EXPECT_EQ(VTPrivate_GetModulesFolderURLForLocalDomain(nullptr, nullptr), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    vt::test::TempFolder root;
    ASSERT_TRUE(vt::test::CreateScriptsFolders(root.Path(), true, false, false));
    CFURLRef modules = VTPrivate_GetModulesFolderURLForUserDomain(nullptr, CFSTR("My Modules"));
    EXPECT_EQ(PathOf(modules), UserScripts(root) + "/My Modules");
    std::string text = StringOf(CFURLGetString(modules));
    EXPECT_TRUE(text.ends_with("/My%20Modules/")) << text;
    EXPECT_EQ(VTPrivate_GetModulesFolderURLForUserDomain(nullptr, nullptr), modules);
}

TEST(Locations, FindFolderStyleLookUp) {
    vt::test::TempFolder root;
    ASSERT_TRUE(vt::test::CreateScriptsFolders(root.Path(), false, true, false));
    EXPECT_EQ(VTU_URLCreateUsingFindFolderStyle(nullptr, kLocalDomain, kScriptsFolderType, nullptr),
              -50);

    CFURLRef url = reinterpret_cast<CFURLRef>(kCFNull);
    EXPECT_EQ(VTU_URLCreateUsingFindFolderStyle(nullptr, kUserDomain, kScriptsFolderType, &url),
              -43);
    EXPECT_EQ(url, nullptr);
    url = reinterpret_cast<CFURLRef>(kCFNull);
    EXPECT_EQ(VTU_URLCreateUsingFindFolderStyle(nullptr, kLocalDomain, 0x61626364u, &url), -50);
    EXPECT_EQ(url, nullptr);

    ASSERT_EQ(VTU_URLCreateUsingFindFolderStyle(kCFAllocatorMalloc, kLocalDomain,
                                                kScriptsFolderType, &url),
              0);
    CFRef<CFURLRef> owned(url);
    EXPECT_EQ(PathOf(url), RealPath(ScriptsFolderPath(root.Path(), kLocalDomain)));
    EXPECT_EQ(CFGetAllocator(url), kCFAllocatorMalloc);
}

TEST(Locations, FunctionsByNameAndTheirMessages) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(VTPrivate_GetCoreServicesFunction(nullptr, CFSTR("FSFindFolder")),
              reinterpret_cast<void *>(&FSFindFolder));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    testing::internal::CaptureStderr();
    EXPECT_EQ(VTPrivate_GetCoreServicesFunction(nullptr, CFSTR("LSRegisterURL")), nullptr);
    EXPECT_EQ(VTPrivate_GetCoreFoundationFunction(nullptr, CFSTR("CFURLCreateBookmarkData")),
              nullptr);
    EXPECT_EQ(VTPrivate_GetCoreServicesFunction(nullptr, nullptr), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "VTPrivate_GetCoreServicesFunction::CoreServices proc is NULL\n"
              "VTPrivate_GetCoreServicesFunction::ApplicationServices proc is NULL\n"
              "VTPrivate_GetCoreServicesFunction::CoreServices proc is NULL\n"
              "VTPrivate_GetCoreServicesFunction::ApplicationServices proc is NULL\n");
}

TEST(Locations, FrameworkGettersWithoutALoadedBundle) {
    CFMutableDictionaryRef error = nullptr;
    EXPECT_EQ(VTPrivate_FrameworkGetBundleURLPath(nullptr, &error), nullptr);
    CFRef<CFMutableDictionaryRef> record(error);
    ASSERT_TRUE(record);
    EXPECT_EQ(StringOf(VTErrorGetDescription(record.get())),
              "VTPrivate_FrameworkGetBundle:: Can't get framework bundle.");
    EXPECT_EQ(VTU_ErrorGetCode(record.get()), -4960);

    error = nullptr;
    EXPECT_EQ(VTPrivate_FrameworkGetBundleURL(kCFAllocatorMalloc, &error), nullptr);
    record.Reset(error);
    EXPECT_EQ(StringOf(VTErrorGetDescription(record.get())),
              "VTPrivate_FrameworkGetBundle:: Can't get framework bundle.");
    EXPECT_EQ(CFGetAllocator(record.get()), kCFAllocatorMalloc);
    EXPECT_EQ(VTPrivate_FrameworkGetBundle(nullptr, nullptr), nullptr);
    EXPECT_EQ(VTPrivate_FrameworkGetBundleURLPath(nullptr, nullptr), nullptr);
}

namespace {

// Runs in a child with a framework copy: the folder name, the bundle's URL
// and the user Modules folder, one to a line.
int PrintCopyLocations(vt::test::LoadedCopy &lib) {
    auto getName = VT_COPY_FUNCTION(lib, VantrellGetModulesFolderName);
    auto getModules = VT_COPY_FUNCTION(lib, VantrellGetModulesFolderURLForUserDomain);
    auto getBundle = VT_COPY_FUNCTION(lib, CFBundleGetBundleWithIdentifier);
    auto copyBundleURL = VT_COPY_FUNCTION(lib, CFBundleCopyBundleURL);
    auto copyPath = VT_COPY_FUNCTION(lib, CFURLCopyFileSystemPath);
    auto getCString = VT_COPY_FUNCTION(lib, CFStringGetCString);
    auto release = VT_COPY_FUNCTION(lib, CFRelease);
    auto print = [&](CFStringRef text) {
        char buffer[PATH_MAX];
        std::printf("%s\n", text && getCString(text, buffer, sizeof buffer, kCFStringEncodingUTF8)
                                ? buffer
                                : "<null>");
    };
    print(getName());
    CFBundleRef bundle = getBundle(CFSTR("info.framework.Vantrell"));
    CFURLRef bundleURL = bundle ? copyBundleURL(bundle) : nullptr;
    CFStringRef bundlePath = bundleURL ? copyPath(bundleURL, kCFURLPOSIXPathStyle) : nullptr;
    print(bundlePath);
    CFURLRef modules = getModules();
    CFStringRef modulesPath = modules ? copyPath(modules, kCFURLPOSIXPathStyle) : nullptr;
    print(modulesPath);
    for (CFTypeRef owned : {CFTypeRef(bundleURL), CFTypeRef(bundlePath), CFTypeRef(modulesPath)})
        if (owned) release(owned);
    return 0;
}

} // namespace

TEST(Locations, FolderNameComesFromTheFrameworkInfoPlist) {
    vt::test::TempFolder root;
    ASSERT_TRUE(vt::test::CreateScriptsFolders(root.Path(), true, false, false));

    CFRef<CFMutableDictionaryRef> custom(
        vt::test::CreateInfoDictionary({{"ModuleDefaultFolderName", "Script Modules"}}));
    vt::test::FrameworkCopy customCopy(custom.get());
    ASSERT_TRUE(customCopy.Ok());
    vt::test::ChildResult result = customCopy.Run(PrintCopyLocations);
    EXPECT_TRUE(result.exited);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "Script Modules\n" + RealPath(customCopy.BundlePath()) + "\n" +
                              UserScripts(root) + "/Script Modules\n");

    for (const char *name : {"", static_cast<const char *>(nullptr)}) {
        CFRef<CFMutableDictionaryRef> info(
            vt::test::CreateInfoDictionary({{"ModuleDefaultFolderName", name}}));
        vt::test::FrameworkCopy copy(info.get());
        ASSERT_TRUE(copy.Ok());
        result = copy.Run(PrintCopyLocations);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, "Modules\n" + RealPath(copy.BundlePath()) + "\n" + UserScripts(root) +
                                  "/Modules\n");
    }

    // Another identifier: the copy is not the framework bundle.
    CFRef<CFMutableDictionaryRef> other(vt::test::CreateInfoDictionary(
        {{"CFBundleIdentifier", "info.framework.Other"}, {"ModuleDefaultFolderName", "X"}}));
    vt::test::FrameworkCopy otherCopy(other.get());
    result = otherCopy.Run(PrintCopyLocations);
    EXPECT_EQ(result.out, "Modules\n<null>\n" + UserScripts(root) + "/Modules\n");
}
