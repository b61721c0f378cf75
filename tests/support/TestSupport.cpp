// Temporary folders, files and process state for tests.
#include "support/TestSupport.h"

#include "platform/values/Cast.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace vt::test {

FileSizeLimit::FileSizeLimit(size_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0) return;
    saved_ = limit.rlim_cur;
    limit.rlim_cur = bytes;
    lowered_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

FileSizeLimit::~FileSizeLimit() {
    rlimit limit{};
    if (!lowered_ || getrlimit(RLIMIT_FSIZE, &limit) != 0) return;
    limit.rlim_cur = rlim_t(saved_);
    setrlimit(RLIMIT_FSIZE, &limit);
}

TempFolder::TempFolder() {
    char pattern[] = "/tmp/vantrell-test-XXXXXX";
    if (mkdtemp(pattern)) path_ = pattern;
}

TempFolder::~TempFolder() {
    if (path_.empty()) return;
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string TempFolder::Join(const std::string &relative) const {
    return path_ + "/" + relative;
}

bool MakeFolders(const std::string &path) {
    std::error_code error;
    fs::create_directories(path, error);
    return !error && fs::is_directory(path, error);
}

bool WriteFile(const std::string &path, const std::string &contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
    return bool(out.flush());
}

std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

bool Exists(const std::string &path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

std::string StringOf(CFStringRef string) {
    if (!string) return "<null>";
    CFIndex length = CFStringGetLength(string);
    std::string text(size_t(CFStringGetMaximumSizeForEncoding(length, kCFStringEncodingUTF8)) + 1,
                     '\0');
    if (!CFStringGetCString(string, text.data(), CFIndex(text.size()), kCFStringEncodingUTF8))
        return "<unconvertible>";
    text.resize(std::char_traits<char>::length(text.c_str()));
    return text;
}

std::string StringOf(CFTypeRef value) {
    if (!value) return "<null>";
    CFStringRef string = vt::cf::Cast<CFStringRef>(value);
    return string ? StringOf(string) : "<not a string>";
}

std::string PathOf(CFURLRef url) {
    if (!url) return "<null>";
    CFStringRef path = CFURLCopyFileSystemPath(url, kCFURLPOSIXPathStyle);
    std::string text = StringOf(path);
    if (path) CFRelease(path);
    return text;
}

ScopedWorkingDirectory::ScopedWorkingDirectory(const std::string &path) {
    std::error_code error;
    previous_ = fs::current_path(error).string();
    fs::current_path(path, error);
}

ScopedWorkingDirectory::~ScopedWorkingDirectory() {
    std::error_code error;
    if (!previous_.empty()) fs::current_path(previous_, error);
}

ScopedEnvironment::ScopedEnvironment(const char *name, const std::string &value) : name_(name) {
    const char *old = getenv(name);
    hadValue_ = old != nullptr;
    if (old) previous_ = old;
    if (value.empty())
        unsetenv(name);
    else
        setenv(name, value.c_str(), 1);
}

ScopedEnvironment::~ScopedEnvironment() {
    if (hadValue_)
        setenv(name_.c_str(), previous_.c_str(), 1);
    else
        unsetenv(name_.c_str());
}

std::string ScriptsFolderPath(const std::string &root, SInt16 domain) {
    switch (domain) {
        case kUserDomain:
            return root + "/User/Library/Scripts";
        case kLocalDomain:
            return root + "/Local/Library/Scripts";
        case kNetworkDomain:
            return root + "/Network/Library/Scripts";
        default:
            return "";
    }
}

bool CreateScriptsFolders(const std::string &root, bool user, bool local, bool network) {
    SetDomainRoot(root);
    return (!user || MakeFolders(ScriptsFolderPath(root, kUserDomain))) &&
           (!local || MakeFolders(ScriptsFolderPath(root, kLocalDomain))) &&
           (!network || MakeFolders(ScriptsFolderPath(root, kNetworkDomain)));
}

} // namespace vt::test
