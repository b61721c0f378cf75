// FrameworkCopy: a copy of the built framework bundle with an Info.plist of
// the test's choosing, loaded and exercised in a child process.
//
// For tests that need Info.plist values other than the built ones (another
// modules folder name, a 15- or 16-character property-list ID, an
// absolute-path ID, an empty extension):
//
//   CFRef<CFMutableDictionaryRef> info(vt::test::CreateInfoDictionary({
//       {"ModuleDocumentPropertyListID", "/tmp/somewhere/doc"},
//       {"ModuleDocumentFileExtension", ""}}));
//   vt::test::FrameworkCopy copy(info.get());
//   ASSERT_TRUE(copy.Ok());
//   vt::test::ChildResult result = copy.Run([&](vt::test::LoadedCopy &lib) {
//       auto getName = VT_COPY_FUNCTION(lib, VantrellGetModulesFolderName);
//       auto getCString = VT_COPY_FUNCTION(lib, CFStringGetCString);
//       char text[256];
//       if (!getCString(getName(), text, sizeof text, kCFStringEncodingUTF8)) return 1;
//       std::printf("%s", text); // lands in result.out
//       return 0;                // the child's exit status
//   });
//   EXPECT_EQ(result.status, 0) << result.err;
//   EXPECT_EQ(result.out, "...");
//
// The copy lies at <temp>/NAME.framework/Versions/0.5.4/NAME with the built
// Resources (Scripts included) and the given Info.plist, plus the usual
// Current, NAME and Resources links. Run forks; the child dlopens the copy
// (RTLD_LOCAL), calls the body, and exits with its result, so the copy's
// process-wide caches start empty on every Run and the parent is untouched.
//
// Rules inside the body:
// - Call the copy only through VT_COPY_FUNCTION / LoadedCopy::Function. The
//   functions the tests executable links are another copy of the layer with
//   caches of its own; a value made by one copy must not be handed to the
//   other. CFSTR constants and the exported kCF/kVT constants are shared and
//   may be passed to the copy.
// - The tests' FSFindFolder applies in the child (the copy finds it by name),
//   with the domain root and working directory the parent had at Run.
// - Don't use gtest assertions; print what the parent checks and return a
//   status. Standard output and error are captured into the result.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include "support/TestSupport.h"

#include <functional>
#include <initializer_list>
#include <string>
#include <utility>

namespace vt::test {

// The child's end: exited is false when a signal ended it (status is then
// the signal number); out and err are its standard output and error.
struct ChildResult {
    bool exited = false;
    int status = -1;
    std::string out;
    std::string err;
};

// The loaded copy, inside the child.
class LoadedCopy {
  public:
    explicit LoadedCopy(void *handle) : handle_(handle) {}
    // The copy's exported symbol; a missing one ends the child with status
    // 127 and its name on standard error.
    void *Symbol(const char *name) const;
    template <class F>
    F Function(const char *name) const {
        return reinterpret_cast<F>(Symbol(name));
    }

  private:
    void *handle_;
};

// The copy's function of the same name and type as the layer's declaration.
#define VT_COPY_FUNCTION(copy, name) (copy).Function<decltype(&name)>(#name)

// An Info.plist dictionary like the built one, with the given keys set to
// string values (a null value removes the key). The caller releases it.
CFMutableDictionaryRef
CreateInfoDictionary(std::initializer_list<std::pair<const char *, const char *>> changes = {});

class FrameworkCopy {
  public:
    explicit FrameworkCopy(CFDictionaryRef info, const std::string &name = "Vantrell");

    bool Ok() const { return ok_; }
    // <temp>/NAME.framework
    const std::string &BundlePath() const { return bundlePath_; }
    // The temporary folder that holds the bundle, free for the test's files.
    const TempFolder &Folder() const { return folder_; }
    ChildResult Run(const std::function<int(LoadedCopy &)> &body) const;

  private:
    TempFolder folder_;
    std::string bundlePath_;
    std::string libraryPath_;
    bool ok_ = false;
};

} // namespace vt::test
