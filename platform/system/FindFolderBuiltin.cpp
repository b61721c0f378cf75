// The built-in folder look-up: each domain's Scripts folder where it lies on
// a Linux host laid out like the system the framework comes from.
#include "platform/system/FindFolderInternal.h"
#include "platform/system/ScriptsFolders.h"
#include "platform/values/Guard.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include <pwd.h>
#include <unistd.h>

namespace vt::platform {

namespace {

// $HOME, or the account's home folder when HOME is unset or empty.
bool HomeFolder(std::string &home) {
    const char *fromEnvironment = getenv("HOME");
    if (fromEnvironment && *fromEnvironment) {
        home = fromEnvironment;
        return true;
    }
    char buffer[4096];
    passwd entry;
    passwd *found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) != 0 || !found ||
        !found->pw_dir || !*found->pw_dir)
        return false;
    home = found->pw_dir;
    return true;
}

} // namespace

bool ScriptsFolderPath(SInt16 domain, std::string &path) {
    switch (domain) {
        case kUserDomain:
            if (!HomeFolder(path)) return false;
            path += "/Library/Scripts";
            return true;
        case kLocalDomain:
            path = "/Library/Scripts";
            return true;
        case kNetworkDomain:
            path = "/Network/Library/Scripts";
            return true;
        default:
            return false;
    }
}

OSErr BuiltinFindFolder(SInt16 domain, OSType folderType, Boolean createFolder, FSRef *foundRef) {
    (void)createFolder; // the folders are the system's; they are only ever found
    if (!foundRef || folderType != kScriptsFolderType) return paramErr;
    if (domain != kUserDomain && domain != kLocalDomain && domain != kNetworkDomain)
        return paramErr;
    std::string path;
    bool found = false;
    if (!vt::Guard(false, [&] {
            found = ScriptsFolderPath(domain, path);
            return true;
        }))
        return memFullErr;
    if (!found) return fnfErr;
    Boolean isDirectory = false;
    OSStatus status =
        FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), foundRef, &isDirectory);
    if (status != 0) return OSErr(status);
    if (isDirectory) return 0;
    std::memset(foundRef, 0, sizeof *foundRef);
    return fnfErr;
}

} // namespace vt::platform
