// Functions by name: the process's definitions, the layer's built-ins, and
// symbols of shared objects.
#include "platform/system/BundleInternal.h"
#include "platform/system/FindFolderInternal.h"

#include <new>

#include <dlfcn.h>
#include <link.h>

namespace vt::platform {

namespace {

struct PlatformPath {
    std::string_view path;
    PlatformFramework framework;
};

constexpr PlatformPath kPlatformPaths[] = {
    {"/System/Library/Frameworks/CoreFoundation.framework", PlatformFramework::kCoreFoundation},
    {"/System/Library/Frameworks/CoreServices.framework", PlatformFramework::kCoreServices},
    {"/System/Library/Frameworks/ApplicationServices.framework",
     PlatformFramework::kApplicationServices},
};

struct Builtin {
    PlatformFramework framework;
    std::string_view name;
    void *function;
};

// The platform functions the layer carries itself, for a process that
// defines none of its own.
const Builtin kBuiltins[] = {
    {PlatformFramework::kCoreServices, "FSFindFolder",
     reinterpret_cast<void *>(&BuiltinFindFolder)},
};

// Called by the loader; no exception may leave it.
int CollectName(dl_phdr_info *info, size_t, void *names) {
    if (!info->dlpi_name || !info->dlpi_name[0]) return 0;
    try {
        static_cast<std::vector<std::string> *>(names)->emplace_back(info->dlpi_name);
    } catch (const std::bad_alloc &) {
        return 1;
    }
    return 0;
}

} // namespace

PlatformFramework PlatformFrameworkAt(std::string_view path) {
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    for (const PlatformPath &entry : kPlatformPaths)
        if (entry.path == path) return entry.framework;
    return PlatformFramework::kNone;
}

void *PlatformFunction(PlatformFramework framework, const char *name) {
    if (framework == PlatformFramework::kNone || !name) return nullptr;
    if (void *defined = dlsym(RTLD_DEFAULT, name)) return defined;
    for (const Builtin &builtin : kBuiltins)
        if (builtin.framework == framework && builtin.name == name) return builtin.function;
    return nullptr;
}

void *OpenSharedObject(const std::string &path) {
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void *SharedObjectSymbol(void *handle, const char *name) {
    return handle && name ? dlsym(handle, name) : nullptr;
}

std::vector<std::string> LoadedObjectNames() {
    std::vector<std::string> names;
    dl_iterate_phdr(CollectName, &names);
    return names;
}

} // namespace vt::platform
