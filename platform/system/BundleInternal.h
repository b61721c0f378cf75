// What CFBundle needs from the dynamic loader: the loaded objects, functions
// of a shared object, and the platform frameworks whose functions are
// resolved by name in the process and among the layer's built-ins.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vt::platform {

enum class PlatformFramework { kNone, kCoreFoundation, kCoreServices, kApplicationServices };

// The platform framework whose system path ("/System/Library/Frameworks/
// NAME.framework") this absolute path is, or kNone.
PlatformFramework PlatformFrameworkAt(std::string_view path);

// A platform framework's function: the process's own definition first (a
// host's or a test's), then the layer's built-in; NULL when neither exists.
void *PlatformFunction(PlatformFramework framework, const char *name);

// The shared object at path, loaded if it is not yet (and never unloaded), or
// NULL.
void *OpenSharedObject(const std::string &path);
// A symbol of an opened shared object, or NULL.
void *SharedObjectSymbol(void *handle, const char *name);

// The names of the shared objects loaded in the process, as the loader gives
// them (the main program left out).
std::vector<std::string> LoadedObjectNames();

} // namespace vt::platform
