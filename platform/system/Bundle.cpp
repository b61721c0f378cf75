// Bundles: framework folders with an Info.plist and resources, found among
// the loaded shared objects or made for any folder, and functions by name.
//
// A framework bundle is NAME.framework holding its shared object at
// Versions/V/NAME (resources in Versions/V/Resources) or at NAME (resources in
// Resources). Bundles found among the loaded objects are cached for the life
// of the process.
#include "platform/system/BundleInternal.h"
#include "platform/values/Holder.h"
#include "platform/values/Runtime.h"
#include "platform/strings/StringInternal.h"

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <new>
#include <string>
#include <unordered_set>
#include <vector>

#include <sys/stat.h>

using namespace vt::cf;
using vt::CFRef;
using vt::platform::PlatformFramework;

VT_CONSTANT_STRING(kCFBundleIdentifierKey, "CFBundleIdentifier");
VT_CONSTANT_STRING(kCFBundleNameKey, "CFBundleName");
VT_CONSTANT_STRING(kCFBundleVersionKey, "CFBundleVersion");
VT_CONSTANT_STRING(kCFBundleInfoDictionaryVersionKey, "CFBundleInfoDictionaryVersion");
VT_CONSTANT_STRING(kCFBundleExecutableKey, "CFBundleExecutable");

namespace {

void FinalizeBundle(CFTypeRef cf);

constexpr __VTRuntimeClass kBundleClass = {
    kTypeIDBundle, "CFBundle", FinalizeBundle, nullptr, nullptr, nullptr,
};

} // namespace

struct __CFBundle {
    ObjectHeader header;
    std::string path;           // the bundle folder, absolute
    std::string resourcesPath;  // where Info.plist and the resources lie
    std::string executablePath; // "" when there is no shared object
    PlatformFramework framework;
    CFDictionaryRef info; // owned; empty when there is no readable Info.plist
    std::atomic<void *> handle{nullptr};

    __CFBundle(uint8_t allocator, std::string folder, std::string resources, std::string executable,
               PlatformFramework platform, CFDictionaryRef infoDictionary)
        : header(&kBundleClass, 1, allocator), path(std::move(folder)),
          resourcesPath(std::move(resources)), executablePath(std::move(executable)),
          framework(platform), info(infoDictionary) {}
    ~__CFBundle() { CFRelease(info); }
};

namespace {

void FinalizeBundle(CFTypeRef cf) {
    static_cast<__CFBundle *>(const_cast<void *>(cf))->~__CFBundle();
}

__CFBundle *AsBundle(CFTypeRef cf) {
    return As<__CFBundle>(cf, kTypeIDBundle);
}

bool IsDirectory(const std::string &path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsRegularFile(const std::string &path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The canonical absolute path, or "" when nothing exists there.
std::string RealPath(const char *path) {
    char *resolved = realpath(path, nullptr);
    if (!resolved) return {};
    std::string result(resolved);
    std::free(resolved);
    return result;
}

std::string LastComponent(const std::string &path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Parent(const std::string &path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
}

CFDictionaryRef CreateEmptyInfo(CFAllocatorRef allocator) {
    return CFDictionaryCreate(allocator, nullptr, nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                              &kCFTypeDictionaryValueCallBacks);
}

// resources/Info.plist as an immutable dictionary; an empty one when the file
// is missing, unreadable or not a dictionary.
CFDictionaryRef CreateInfo(CFAllocatorRef allocator, const std::string &resources) {
    std::string bytes;
    if (FILE *file = std::fopen((resources + "/Info.plist").c_str(), "rb")) {
        char chunk[8192];
        size_t count;
        while ((count = std::fread(chunk, 1, sizeof chunk, file)) > 0)
            bytes.append(chunk, count);
        std::fclose(file);
    }
    CFRef<CFDataRef> data(CFDataCreate(allocator, reinterpret_cast<const UInt8 *>(bytes.data()),
                                       CFIndex(bytes.size())));
    CFRef<CFPropertyListRef> plist(data ? CFPropertyListCreateFromXMLData(allocator, data.get(),
                                                                          kCFPropertyListImmutable,
                                                                          nullptr)
                                        : nullptr);
    if (TypeOf(plist.get()) == kTypeIDDictionary)
        return static_cast<CFDictionaryRef>(plist.Release());
    return CreateEmptyInfo(allocator);
}

CFStringRef Identifier(const __CFBundle *bundle) {
    CFTypeRef value = CFDictionaryGetValue(bundle->info, kCFBundleIdentifierKey);
    return TypeOf(value) == kTypeIDString ? static_cast<CFStringRef>(value) : nullptr;
}

__CFBundle *NewBundle(CFAllocatorRef allocator, std::string path, std::string resources,
                      std::string executable, PlatformFramework framework) {
    CFDictionaryRef info = framework == PlatformFramework::kNone ? CreateInfo(allocator, resources)
                                                                 : CreateEmptyInfo(allocator);
    if (!info) return nullptr;
    __CFBundle *bundle =
        CreateObject<__CFBundle>(allocator, 0, std::move(path), std::move(resources),
                                 std::move(executable), framework, info);
    if (!bundle) CFRelease(info);
    return bundle;
}

// The framework bundle of a loaded shared object, or NULL when the object does
// not sit in a framework's layout.
__CFBundle *BundleForObject(const std::string &loaderName) {
    std::string object = RealPath(loaderName.c_str());
    if (object.empty()) return nullptr;
    std::string folder = Parent(object);
    std::string frameworkName = LastComponent(object) + ".framework";
    if (LastComponent(folder) == frameworkName)
        return NewBundle(kCFAllocatorSystemDefault, folder, folder + "/Resources", object,
                         PlatformFramework::kNone);
    std::string versions = Parent(folder);
    std::string bundle = Parent(versions);
    if (LastComponent(versions) == "Versions" && LastComponent(bundle) == frameworkName)
        return NewBundle(kCFAllocatorSystemDefault, bundle, folder + "/Resources", object,
                         PlatformFramework::kNone);
    return nullptr;
}

// The framework bundles of the loaded objects, gathered as they are first
// seen. Never freed: callers borrow them for the life of the process.
struct LoadedBundles {
    std::mutex mutex;
    std::vector<__CFBundle *> bundles;
    std::unordered_set<std::string> examined;

    __CFBundle *WithPath(const std::string &path) const {
        for (__CFBundle *bundle : bundles)
            if (bundle->path == path) return bundle;
        return nullptr;
    }
    __CFBundle *WithIdentifier(CFStringRef identifier) const {
        for (__CFBundle *bundle : bundles) {
            CFStringRef own = Identifier(bundle);
            if (own && CFEqual(own, identifier)) return bundle;
        }
        return nullptr;
    }
};

LoadedBundles &Loaded() {
    static LoadedBundles *loaded = new LoadedBundles;
    return *loaded;
}

// Caches the bundles of objects loaded since the last look.
void ExamineLoadedObjects(LoadedBundles &loaded, const std::vector<std::string> &names) {
    for (const std::string &name : names) {
        if (!loaded.examined.insert(name).second) continue;
        __CFBundle *bundle = BundleForObject(name);
        if (!bundle) continue;
        if (loaded.WithPath(bundle->path)) {
            CFRelease(bundle);
            continue;
        }
        try {
            loaded.bundles.push_back(bundle);
        } catch (const std::bad_alloc &) {
            CFRelease(bundle);
            throw;
        }
    }
}

// The name of the shared object a bundle made for a folder would hold.
std::string ExecutableName(CFDictionaryRef info, const std::string &path) {
    CFTypeRef value = CFDictionaryGetValue(info, kCFBundleExecutableKey);
    if (TypeOf(value) == kTypeIDString && CFStringGetLength(static_cast<CFStringRef>(value)) > 0)
        return StringToUTF8(static_cast<CFStringRef>(value));
    std::string name = LastComponent(path);
    size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

__CFBundle *CreateForFolder(CFAllocatorRef allocator, const std::string &path) {
    {
        LoadedBundles &loaded = Loaded();
        std::lock_guard<std::mutex> lock(loaded.mutex);
        if (__CFBundle *known = loaded.WithPath(path))
            return static_cast<__CFBundle *>(const_cast<void *>(CFRetain(known)));
    }
    std::string resources = path + "/Resources";
    if (!IsDirectory(resources) && IsDirectory(path + "/Versions/Current/Resources"))
        resources = path + "/Versions/Current/Resources";
    CFRef<CFDictionaryRef> info(CreateInfo(allocator, resources));
    if (!info) return nullptr;
    std::string name = ExecutableName(info.get(), path);
    std::string executable;
    for (const std::string &candidate : {path + "/Versions/Current/" + name, path + "/" + name})
        if (IsRegularFile(candidate)) {
            executable = candidate;
            break;
        }
    __CFBundle *bundle =
        CreateObject<__CFBundle>(allocator, 0, path, std::move(resources), std::move(executable),
                                 PlatformFramework::kNone, info.get());
    if (bundle) info.Release();
    return bundle;
}

CFURLRef CreatePathURL(CFAllocatorRef allocator, const std::string &path, bool isDirectory) {
    return CFURLCreateFromFileSystemRepresentation(
        allocator, reinterpret_cast<const UInt8 *>(path.data()), CFIndex(path.size()), isDirectory);
}

} // namespace

extern "C" {

CFTypeID CFBundleGetTypeID(void) {
    return kTypeIDBundle;
}

CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef bundleID) {
    if (TypeOf(bundleID) != kTypeIDString) return nullptr;
    try {
        LoadedBundles &loaded = Loaded();
        {
            std::lock_guard<std::mutex> lock(loaded.mutex);
            if (__CFBundle *bundle = loaded.WithIdentifier(bundleID)) return bundle;
        }
        // The loader's lock is taken outside ours, so a library initialiser
        // that asks for a bundle cannot deadlock against this walk.
        std::vector<std::string> names = vt::platform::LoadedObjectNames();
        std::lock_guard<std::mutex> lock(loaded.mutex);
        ExamineLoadedObjects(loaded, names);
        return loaded.WithIdentifier(bundleID);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

CFBundleRef CFBundleCreate(CFAllocatorRef allocator, CFURLRef bundleURL) {
    if (TypeOf(bundleURL) != kTypeIDURL) return nullptr;
    char given[PATH_MAX];
    if (!CFURLGetFileSystemRepresentation(bundleURL, true, reinterpret_cast<UInt8 *>(given),
                                          sizeof given))
        return nullptr;
    try {
        PlatformFramework framework = vt::platform::PlatformFrameworkAt(given);
        if (framework != PlatformFramework::kNone) {
            std::string path = given;
            while (path.size() > 1 && path.back() == '/')
                path.pop_back();
            std::string resources = path + "/Resources";
            return NewBundle(allocator, std::move(path), std::move(resources), {}, framework);
        }
        std::string path = RealPath(given);
        if (path.empty() || !IsDirectory(path)) return nullptr;
        return CreateForFolder(allocator, path);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle) {
    __CFBundle *b = AsBundle(bundle);
    return b ? CreatePathURL(CFGetAllocator(bundle), b->path, true) : nullptr;
}

CFStringRef CFBundleGetIdentifier(CFBundleRef bundle) {
    __CFBundle *b = AsBundle(bundle);
    return b ? Identifier(b) : nullptr;
}

CFDictionaryRef CFBundleGetInfoDictionary(CFBundleRef bundle) {
    __CFBundle *b = AsBundle(bundle);
    return b ? b->info : nullptr;
}

CFTypeRef CFBundleGetValueForInfoDictionaryKey(CFBundleRef bundle, CFStringRef key) {
    __CFBundle *b = AsBundle(bundle);
    if (!b || TypeOf(key) != kTypeIDString) return nullptr;
    return CFDictionaryGetValue(b->info, key);
}

CFURLRef CFBundleCopyResourcesDirectoryURL(CFBundleRef bundle) {
    __CFBundle *b = AsBundle(bundle);
    return b ? CreatePathURL(CFGetAllocator(bundle), b->resourcesPath, true) : nullptr;
}

CFURLRef CFBundleCopyResourceURL(CFBundleRef bundle, CFStringRef resourceName,
                                 CFStringRef resourceType, CFStringRef subDirName) {
    __CFBundle *b = AsBundle(bundle);
    if (!b || TypeOf(resourceName) != kTypeIDString) return nullptr;
    if (resourceType && TypeOf(resourceType) != kTypeIDString) return nullptr;
    if (subDirName && TypeOf(subDirName) != kTypeIDString) return nullptr;
    try {
        std::string path = b->resourcesPath;
        std::string subfolder = StringToUTF8(subDirName);
        if (!subfolder.empty()) path.append("/").append(subfolder);
        path.append("/").append(StringToUTF8(resourceName));
        std::string type = StringToUTF8(resourceType);
        if (!type.empty()) path.append(type.front() == '.' ? "" : ".").append(type);
        struct stat info;
        if (stat(path.c_str(), &info) != 0) return nullptr;
        return CreatePathURL(CFGetAllocator(bundle), path, S_ISDIR(info.st_mode));
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

void *CFBundleGetFunctionPointerForName(CFBundleRef bundle, CFStringRef functionName) {
    __CFBundle *b = AsBundle(bundle);
    if (!b || TypeOf(functionName) != kTypeIDString) return nullptr;
    try {
        std::string name = StringToUTF8(functionName);
        if (b->framework != PlatformFramework::kNone)
            return vt::platform::PlatformFunction(b->framework, name.c_str());
        if (b->executablePath.empty()) return nullptr;
        void *handle = b->handle.load(std::memory_order_acquire);
        if (!handle) {
            // Two threads may both open it; the loader counts both and the
            // object stays loaded either way.
            handle = vt::platform::OpenSharedObject(b->executablePath);
            if (!handle) return nullptr;
            b->handle.store(handle, std::memory_order_release);
        }
        return vt::platform::SharedObjectSymbol(handle, name.c_str());
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

} // extern "C"
