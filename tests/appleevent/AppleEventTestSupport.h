// Helpers the descriptor and alias tests share.
#pragma once

#include <ApplicationServices/ApplicationServices.h>

#include "platform/values/Holder.h"

#include <climits>
#include <cstdlib>
#include <string>

namespace vt::test {

inline CFRef<CFURLRef> FileURL(const std::string &path, bool isDirectory = false) {
    CFRef<CFStringRef> text(
        CFStringCreateWithCString(nullptr, path.c_str(), kCFStringEncodingUTF8));
    return CFRef<CFURLRef>(
        CFURLCreateWithFileSystemPath(nullptr, text.get(), kCFURLPOSIXPathStyle, isDirectory));
}

// realpath(), since the temporary folder's path may pass through a link.
inline std::string Canonical(const std::string &path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? resolved : "";
}

// The descriptor's bytes; disposes of it.
inline std::string TakeBytes(AEDesc &desc) {
    std::string bytes(size_t(AEGetDescDataSize(&desc)), '\0');
    AEGetDescData(&desc, bytes.data(), Size(bytes.size()));
    AEDisposeDesc(&desc);
    return bytes;
}

} // namespace vt::test
