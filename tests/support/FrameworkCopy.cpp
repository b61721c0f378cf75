// Builds a framework copy and runs test bodies against it in a child process.
#include "support/FrameworkCopy.h"

#include "platform/values/Holder.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace vt::test {

namespace {

constexpr const char *kVersion = "0.5.4";

// Exit statuses of a child that could not run the body to its end.
enum : int { kChildLoadFailed = 125, kChildThrew = 126, kChildMissingSymbol = 127 };

CFStringRef CreateString(const char *text) {
    return CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
}

bool WriteInfoPlist(CFDictionaryRef info, const std::string &path) {
    CFRef<CFDataRef> xml(CFPropertyListCreateXMLData(nullptr, info));
    if (!xml) return false;
    return WriteFile(path, std::string(reinterpret_cast<const char *>(CFDataGetBytePtr(xml.get())),
                                       size_t(CFDataGetLength(xml.get()))));
}

void RedirectTo(const std::string &path, int fd) {
    int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (file < 0) return;
    dup2(file, fd);
    close(file);
}

} // namespace

void *LoadedCopy::Symbol(const char *name) const {
    void *symbol = dlsym(handle_, name);
    if (!symbol) {
        std::fprintf(stderr, "the framework copy lacks %s\n", name);
        std::fflush(nullptr);
        _exit(kChildMissingSymbol);
    }
    return symbol;
}

CFMutableDictionaryRef
CreateInfoDictionary(std::initializer_list<std::pair<const char *, const char *>> changes) {
    CFMutableDictionaryRef info = CFDictionaryCreateMutable(
        nullptr, 0, &kCFCopyStringDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFDictionarySetValue(info, kCFBundleIdentifierKey, CFSTR("info.framework.Vantrell"));
    CFDictionarySetValue(info, kCFBundleNameKey, CFSTR("Vantrell"));
    CFDictionarySetValue(info, kCFBundleVersionKey, CFSTR("0.5.4"));
    CFDictionarySetValue(info, kCFBundleExecutableKey, CFSTR("Vantrell"));
    CFDictionarySetValue(info, kCFBundleInfoDictionaryVersionKey, CFSTR("6.0"));
    for (const auto &[key, value] : changes) {
        CFRef<CFStringRef> keyString(CreateString(key));
        if (!value) {
            CFDictionaryRemoveValue(info, keyString.get());
            continue;
        }
        CFRef<CFStringRef> valueString(CreateString(value));
        CFDictionarySetValue(info, keyString.get(), valueString.get());
    }
    return info;
}

FrameworkCopy::FrameworkCopy(CFDictionaryRef info, const std::string &name) {
    if (folder_.Path().empty() || !info) return;
    bundlePath_ = folder_.Join(name + ".framework");
    std::string versionPath = bundlePath_ + "/Versions/" + kVersion;
    libraryPath_ = versionPath + "/" + name;
    std::error_code error;
    fs::create_directories(versionPath, error);
    if (error) return;
    fs::path built(VANTRELL_FRAMEWORK_LIBRARY);
    fs::copy(built.parent_path() / "Resources", versionPath + "/Resources",
             fs::copy_options::recursive, error);
    if (error) return;
    fs::copy_file(built, libraryPath_, error);
    if (error) return;
    fs::create_directory_symlink(kVersion, bundlePath_ + "/Versions/Current", error);
    if (error) return;
    fs::create_symlink("Versions/Current/" + name, bundlePath_ + "/" + name, error);
    if (error) return;
    fs::create_directory_symlink("Versions/Current/Resources", bundlePath_ + "/Resources", error);
    if (error) return;
    ok_ = WriteInfoPlist(info, versionPath + "/Resources/Info.plist");
}

ChildResult FrameworkCopy::Run(const std::function<int(LoadedCopy &)> &body) const {
    ChildResult result;
    if (!ok_) return result;
    std::string outPath = folder_.Join("child.out");
    std::string errPath = folder_.Join("child.err");
    std::fflush(nullptr);
    pid_t child = fork();
    if (child < 0) return result;
    if (child == 0) {
        RedirectTo(outPath, STDOUT_FILENO);
        RedirectTo(errPath, STDERR_FILENO);
        void *handle = dlopen(libraryPath_.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            std::fprintf(stderr, "dlopen: %s\n", dlerror());
            std::fflush(nullptr);
            _exit(kChildLoadFailed);
        }
        LoadedCopy copy(handle);
        int status = kChildThrew;
        try {
            status = body(copy);
        } catch (...) {
            std::fputs("the test body threw\n", stderr);
        }
        std::fflush(nullptr);
        _exit(status);
    }
    int waitStatus = 0;
    while (waitpid(child, &waitStatus, 0) < 0) {
        if (errno != EINTR) return result;
    }
    result.exited = WIFEXITED(waitStatus);
    result.status = result.exited ? WEXITSTATUS(waitStatus) : WTERMSIG(waitStatus);
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    return result;
}

} // namespace vt::test
