// Fixtures shared by the test suites: temporary folders, a working-directory
// switch, and the domain root that the tests' FSFindFolder maps into.
//
// The tests executable defines its own FSFindFolder (FindFolderStub.cpp); the
// layer finds it by name in place of the built-in. It maps the domains to
//   kUserDomain    -> <root>/User/Library/Scripts
//   kLocalDomain   -> <root>/Local/Library/Scripts
//   kNetworkDomain -> <root>/Network/Library/Scripts
// where <root> is set with SetDomainRoot or, failing that, the environment
// variable VANTRELL_TEST_DOMAIN_ROOT. With no root it answers fnfErr, so no
// test reaches the real folders. A folder that does not exist gives fnfErr,
// an unknown domain or folder type or a NULL FSRef paramErr.
#pragma once

#include <CoreServices/CoreServices.h>

#include <cstddef>
#include <string>

namespace vt::test {

// A new folder under /tmp, removed with everything in it when destroyed.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    const std::string &Path() const { return path_; }
    // Path() + "/" + relative.
    std::string Join(const std::string &relative) const;

  private:
    std::string path_;
};

// Lowers this process's file-size limit, the tests' stand-in for a full
// disk, until destroyed, with SIGXFSZ ignored so that a write past it fails
// with EFBIG. The old limit comes back however the scope is left, so a
// failed assertion cannot leave it lowered for the tests that follow.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(size_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

    // False when the limit could not be lowered.
    bool Lowered() const { return lowered_; }

  private:
    unsigned long long saved_ = 0;
    bool lowered_ = false;
};

// Makes a folder and its missing parents; false on failure.
bool MakeFolders(const std::string &path);
// Writes a whole file; false on failure.
bool WriteFile(const std::string &path, const std::string &contents);
// The whole file, or "" when it cannot be read.
std::string ReadFile(const std::string &path);
bool Exists(const std::string &path);

// A string's UTF-8 text (any length), "<null>" for NULL.
std::string StringOf(CFStringRef string);
// A value's text when it is a string (a dictionary's or array's element, a
// document value); "<null>" for NULL, "<not a string>" for another type.
std::string StringOf(CFTypeRef value);
inline std::string StringOf(std::nullptr_t) {
    return "<null>";
}
// A URL's POSIX path (CFURLCopyFileSystemPath), "<null>" for NULL.
std::string PathOf(CFURLRef url);

// chdir into a folder for the object's lifetime, then back.
class ScopedWorkingDirectory {
  public:
    explicit ScopedWorkingDirectory(const std::string &path);
    ~ScopedWorkingDirectory();
    ScopedWorkingDirectory(const ScopedWorkingDirectory &) = delete;
    ScopedWorkingDirectory &operator=(const ScopedWorkingDirectory &) = delete;

  private:
    std::string previous_;
};

// Sets (or, with "", clears) an environment variable for the object's
// lifetime, then restores it.
class ScopedEnvironment {
  public:
    ScopedEnvironment(const char *name, const std::string &value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment &) = delete;
    ScopedEnvironment &operator=(const ScopedEnvironment &) = delete;

  private:
    std::string name_;
    std::string previous_;
    bool hadValue_;
};

// The root the test FSFindFolder maps the domains into ("" clears it).
void SetDomainRoot(const std::string &root);
// The Scripts folder the test FSFindFolder answers for a domain under root.
std::string ScriptsFolderPath(const std::string &root, SInt16 domain);
// Sets the domain root and creates the Scripts folders of the given domains.
bool CreateScriptsFolders(const std::string &root, bool user, bool local, bool network);

} // namespace vt::test
