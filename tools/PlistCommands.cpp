// vantrell plist: checks property-list files and rewrites them in our format.
#include "tools/Command.h"

#include "platform/files/FileSystem.h"
#include "platform/plist/PropertyListInternal.h"
#include "platform/values/Holder.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>

namespace vt::tool {
namespace {

using PropertyList = CFRef<CFPropertyListRef>;

constexpr std::string_view kStandardStream = "-";

std::string DisplayName(std::string_view path) {
    return path == kStandardStream ? "<stdin>" : std::string(path);
}

std::string SystemError(int error) {
    return error ? std::strerror(error) : "input/output error";
}

void ReportParseError(std::string_view path, const plist::ParseError &error) {
    std::string name = DisplayName(path);
    if (error.line > 0)
        std::fprintf(stderr, "%s:%ld:%ld: %s\n", name.c_str(), static_cast<long>(error.line),
                     static_cast<long>(error.column), error.message.c_str());
    else
        std::fprintf(stderr, "%s: %s\n", name.c_str(), error.message.c_str());
}

// Standard input may be a pipe, which cannot be reopened by name, so it is
// read whole and parsed from memory; files are parsed in pieces.
PropertyList Load(std::string_view path, plist::ParseError &error) {
    if (path != kStandardStream)
        return PropertyList(plist::CreateFromXMLFile(nullptr, std::string(path).c_str(),
                                                     kCFPropertyListImmutable, &error));
    std::string bytes;
    char buffer[1 << 16];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, stdin)) > 0)
        bytes.append(buffer, count);
    if (std::ferror(stdin)) {
        error = {0, 0, SystemError(errno)};
        return PropertyList();
    }
    return PropertyList(plist::CreateFromXMLBytes(nullptr, bytes.data(), bytes.size(),
                                                  kCFPropertyListImmutable, &error));
}

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VANTRELL_LEAK_CHECKED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define VANTRELL_LEAK_CHECKED 1
#endif

// Format ends right after this: the process gives its pages back at
// once on exit, where releasing a large value one object at a time costs a
// tenth of a format run. A leak-checked build still releases it, so that its
// leak check keeps its meaning.
void LeaveToExit(PropertyList &value) {
#ifndef VANTRELL_LEAK_CHECKED
    (void)value.Release();
#else
    value.Reset();
#endif
}

// Writes the document to a stream that is already open; false when the
// value cannot be written or the stream fails. The value was read from a
// file, so it holds nothing but property-list types: the writer's check of
// the whole value before it starts would find nothing.
bool WriteTo(CFPropertyListRef value, FILE *stream) {
    return plist::WriteXML(value, stream, false) && std::fflush(stream) == 0;
}

// OUT that exists but is not a regular file (a device, a FIFO, a socket) is
// something to write into, as a shell redirection would: renaming a new file
// over it would replace the device node or pipe with a plain file.
bool IsWrittenDirectly(const std::string &out) {
    struct stat status {};
    return ::stat(out.c_str(), &status) == 0 && !S_ISREG(status.st_mode) &&
           !S_ISDIR(status.st_mode);
}

int WriteOut(CFPropertyListRef value, const std::string &out) {
    int error = 0;
    if (IsWrittenDirectly(out)) {
        FILE *stream = std::fopen(out.c_str(), "wb");
        bool written = stream && WriteTo(value, stream);
        error = errno;
        if (stream && std::fclose(stream) != 0 && written) {
            written = false;
            error = errno;
        }
        if (written) return kExitSuccess;
    } else {
        // A regular file, a missing one, or a link to either (a dangling one
        // included) is replaced whole: a failure leaves OUT as it was.
        platform::WriteResult result;
        auto writer = [value](FILE *stream) { return WriteTo(value, stream); };
        if (platform::WriteFileAtomically(out.c_str(), writer, {}, &result) == 0)
            return kExitSuccess;
        error = result.error;
    }
    std::fprintf(stderr, "vantrell: cannot write %s: %s\n", out.c_str(),
                 SystemError(error).c_str());
    return kExitFailure;
}

int RunCheck(Arguments operands) {
    int status = kExitSuccess;
    for (std::string_view path : operands) {
        plist::ParseError error;
        if (!Load(path, error)) {
            ReportParseError(path, error);
            status = kExitFailure;
        }
    }
    return status;
}

int RunFormat(Arguments operands) {
    std::string_view in = operands[0];
    std::string_view out = operands.size() > 1 ? operands[1] : kStandardStream;
    plist::ParseError error;
    PropertyList value = Load(in, error);
    if (!value) {
        ReportParseError(in, error);
        return kExitFailure;
    }
    int status = kExitSuccess;
    if (out != kStandardStream) {
        status = WriteOut(value.get(), std::string(out));
    } else if (!WriteTo(value.get(), stdout)) {
        std::fputs("vantrell: cannot write standard output\n", stderr);
        status = kExitFailure;
    }
    LeaveToExit(value);
    return status;
}

const Command kCheckCommand = {
    .name = "check",
    .summary = "Check that property-list files are well formed",
    .usage = "FILE...",
    .help = "Parses each FILE ('-' reads standard input) as an XML property list. Prints\n"
            "FILE:LINE:COLUMN: message to standard error for each file that is not valid,\n"
            "or FILE: message for one that cannot be read.\n"
            "\n"
            "Exits with 0 when every file is valid and 1 otherwise.\n",
    .run = RunCheck,
    .minOperands = 1,
    .maxOperands = kUnlimited,
};

const Command kFormatCommand = {
    .name = "format",
    .summary = "Rewrite a property list in the standard XML format",
    .usage = "IN [OUT]",
    .help = "Reads the property list IN and writes it as XML with tab indentation and sorted\n"
            "keys to OUT, or to standard output when OUT is '-' or missing. IN '-' reads\n"
            "standard input. OUT is replaced only once the whole document is written, so a\n"
            "bad IN or a failed write leaves it as it was; IN and OUT may be the same file.\n"
            "A link as OUT stays and its target is written. An OUT that is not a regular\n"
            "file, such as a device or a named pipe, is written into, not replaced.\n"
            "\n"
            "Exits with 0 on success and 1 when IN is not valid or OUT cannot be written.\n",
    .run = RunFormat,
    .minOperands = 1,
    .maxOperands = 2,
};

constexpr const Command *kPlistCommands[] = {&kCheckCommand, &kFormatCommand};

} // namespace

extern const Command kPlistCommand = {
    .name = "plist",
    .summary = "Check and format property-list files",
    .usage = "COMMAND [ARGUMENTS]",
    .help = "Works on XML property-list files.\n",
    .subcommands = kPlistCommands,
};

} // namespace vt::tool
