// The tests' FSFindFolder: maps the domains under a root of the test's
// choosing (see TestSupport.h), so that no test touches the real folders. It
// replaces the built-in because the layer looks the function up by name in
// the process first; defining it here also keeps the built-in's object file
// out of the tests executable.
#include "support/TestSupport.h"

#include <cstdlib>
#include <string>

namespace {

std::string &DomainRoot() {
    static std::string root;
    return root;
}

} // namespace

namespace vt::test {

void SetDomainRoot(const std::string &root) {
    DomainRoot() = root;
}

} // namespace vt::test

// Declared (exported, C linkage) in CoreServices.h.
OSErr FSFindFolder(SInt16 vRefNum, OSType folderType, Boolean createFolder, FSRef *foundRef) {
    (void)createFolder;
    if (!foundRef || folderType != kScriptsFolderType) return paramErr;
    std::string root = DomainRoot();
    if (root.empty()) {
        const char *fromEnvironment = getenv("VANTRELL_TEST_DOMAIN_ROOT");
        if (fromEnvironment) root = fromEnvironment;
    }
    if (root.empty()) return fnfErr;
    std::string path = vt::test::ScriptsFolderPath(root, vRefNum);
    if (path.empty()) return paramErr;
    Boolean isDirectory = false;
    OSStatus status =
        FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), foundRef, &isDirectory);
    if (status != 0) return OSErr(status);
    return isDirectory ? OSErr(0) : OSErr(fnfErr);
}
