// The scratch folder and the folder look-up of the fuzz targets. Defining
// FSFindFolder here replaces the built-in one (the layer finds it by name in
// the process), so no input ever reaches the real Library folders.
#include "fuzz/FuzzSupport.h"

#include "platform/plist/PropertyListInternal.h"

#include <CoreServices/CoreServices.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace vt::fuzz {
namespace {

// Under $TMPDIR, else in memory (/dev/shm) where there is such a folder:
// saves flush to disk, which on a real disk would cost most of each run.
std::string ScratchParent() {
    if (const char *named = std::getenv("TMPDIR"); named && *named) return named;
    std::error_code ignored;
    return std::filesystem::is_directory("/dev/shm", ignored) ? "/dev/shm" : "/tmp";
}

std::string MakeScratch() {
    std::string pattern = ScratchParent() + "/vantrell-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) Fail("cannot make a scratch folder", pattern);
    std::string path = pattern;
    for (const char *domain : {"User", "Local", "Network"})
        MakeFolders(path + "/root/" + domain + "/Library/Scripts");
    // Removed at exit, but never by a child that a shell command forked.
    static pid_t owner = ::getpid();
    static std::string removed = path;
    std::atexit([] {
        if (::getpid() != owner) return;
        std::error_code ignored;
        std::filesystem::remove_all(removed, ignored);
    });
    return path;
}

} // namespace

const std::string &Scratch() {
    static const std::string path = MakeScratch();
    return path;
}

void MakeFolders(const std::string &path) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (error) Fail("cannot make a folder", path + ": " + error.message());
}

void WriteFile(const std::string &path, const std::string &contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
    if (!out.flush()) Fail("cannot write a file", path);
}

void Fail(const char *what, const std::string &detail) {
    std::fprintf(stderr, "fuzz check failed: %s\n%s\n", what, detail.c_str());
    std::fflush(stderr);
    std::abort();
}

std::string Describe(CFTypeRef value) {
    if (!value) return "<null>";
    std::string xml;
    return plist::AppendXML(value, xml) ? xml : "<unwritable>";
}

std::string Input::Bytes(size_t most) {
    size_t count = std::min(most, size_ - std::min(offset_, size_));
    std::string bytes(reinterpret_cast<const char *>(data_ + offset_), count);
    offset_ += count;
    return bytes;
}

} // namespace vt::fuzz

// Declared (exported, C linkage) in CoreServices.h.
OSErr FSFindFolder(SInt16 vRefNum, OSType folderType, Boolean, FSRef *foundRef) {
    if (!foundRef || folderType != kScriptsFolderType) return paramErr;
    const char *domain = vRefNum == kUserDomain      ? "User"
                         : vRefNum == kLocalDomain   ? "Local"
                         : vRefNum == kNetworkDomain ? "Network"
                                                     : nullptr;
    if (!domain) return paramErr;
    std::string path = vt::fuzz::Scratch() + "/root/" + domain + "/Library/Scripts";
    Boolean isDirectory = false;
    OSStatus status =
        FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), foundRef, &isDirectory);
    if (status != 0) return OSErr(status);
    return isDirectory ? OSErr(0) : OSErr(fnfErr);
}
