// What the URL resource and FSRef code needs from the URL type.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <string>
#include <string_view>

namespace vt::cf {

// The absolute POSIX path (escapes decoded, no trailing "/" except the root)
// of a file URL. Returns 0, kCFURLImproperArgumentsError for NULL, a non-URL
// or a path holding a NUL byte, kCFURLUnknownSchemeError for a scheme other
// than "file", kCFURLRemoteHostUnavailableError for a host other than
// "localhost".
SInt32 URLFilePath(CFURLRef url, std::string &path);

// A file URL for an absolute path (bytes, escaped here).
CFURLRef URLCreateWithAbsolutePath(CFAllocatorRef allocator, const std::string &path,
                                   bool isDirectory);

// A URL from text; nullptr when the text is not a URI reference.
CFURLRef URLCreateWithText(CFAllocatorRef allocator, std::string_view text, CFURLRef base);

// Appends the bytes percent-escaped as one path segment ("/" becomes %2F).
void AppendEscapedSegment(std::string &out, const char *bytes, size_t length);

} // namespace vt::cf
