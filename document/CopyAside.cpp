// Copies of the document file kept beside it before the file is replaced by
// something this process did not read: start-up's copy of an unreadable file
// and the save's copy of a version another process wrote.
#include "document/DocumentPrivate.h"

#include <Vantrell/Errors.h>

#include "errors/Diagnostics.h"
#include "platform/values/Holder.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>

namespace {

std::string UTCStamp() {
    time_t now = time(nullptr);
    struct tm utc {};
    char text[32] = "00000000T000000Z";
    if (gmtime_r(&now, &utc)) strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
    return text;
}

} // namespace

std::string VTPrivate_DocumentPath(CFAllocatorRef allocator) {
    CFURLRef url = VTPrivate_DocumentGetURL(allocator);
    char path[PATH_MAX + 1];
    if (!url ||
        !CFURLGetFileSystemRepresentation(url, true, reinterpret_cast<UInt8 *>(path), sizeof path))
        return {};
    return path;
}

int VTPrivate_DocumentCopyAside(const std::string &path, const char *infix, std::string &aside,
                                vt::platform::FileStatus *copied) {
    std::string base = path + infix + UTCStamp();
    aside = base;
    int error = EEXIST;
    for (int counter = 2; error == EEXIST && counter < 1000; ++counter) {
        error = vt::platform::CopyFileExclusively(path, aside, copied);
        if (error == EEXIST) aside = base + "-" + std::to_string(counter);
    }
    return error;
}

CFMutableDictionaryRef VTPrivate_DocumentCreateCopyError(CFAllocatorRef allocator,
                                                         const char *operation, int error,
                                                         const char *what,
                                                         const std::string &path) {
    vt::CFRef<CFNumberRef> code(
        VTU_NumberCreateWithCFIndex(allocator, vt::platform::URLErrorFromErrno(error)));
    return VTErrorCreate(allocator, kVTErrorDomainOSStatus, code.get(),
                         CFSTR("%s: Can't copy %s to %s (%s); the document was left as it is."),
                         operation, what, path.c_str(), strerror(error));
}

CFMutableDictionaryRef VTPrivate_DocumentCopyUnreadableAside(CFAllocatorRef allocator) {
    constexpr const char kLoadDocument[] = "VantrellLoadDocument";
    std::string path = VTPrivate_DocumentPath(allocator);
    if (path.empty()) return nullptr;
    vt::platform::FileStatus status;
    SInt32 found = vt::platform::Stat(path.c_str(), status);
    // No file: a first run. A folder in its place holds nothing of the
    // user's that a save could destroy (the save itself fails).
    if (found == kCFURLResourceNotFoundError || (found == 0 && status.isDirectory)) return nullptr;
    std::string aside;
    vt::platform::FileStatus copied;
    if (int error = VTPrivate_DocumentCopyAside(path, ".unreadable-", aside, &copied)) {
        VTLog("%s: The document %s cannot be read and cannot be copied aside (%s); it was left "
              "as it is and no document was built.",
              kLoadDocument, path.c_str(), strerror(error));
        return VTPrivate_DocumentCreateCopyError(allocator, kLoadDocument, error,
                                                 "the unreadable document", aside);
    }
    // Kept: the build's save may replace it.
    VTPrivate_DocumentRememberFile(copied);
    VTLog("%s: The document %s cannot be read; it was copied to %s and a new document is built.",
          kLoadDocument, path.c_str(), aside.c_str());
    return nullptr;
}
