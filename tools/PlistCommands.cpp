// vantrell plist: checks property-list files and rewrites them in our format.
#include "tools/Command.h"

#include "platform/values/Holder.h"
#include "platform/plist/PropertyListInternal.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <unistd.h>

namespace vt::tool {
namespace {

namespace fs = std::filesystem;
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

// The temporary file's name is random so that concurrent runs writing the
// same OUT never share one; "x" makes fopen fail rather than reuse a file.
FILE *CreateTemporaryBeside(const fs::path &target, fs::path &temporary) {
    fs::path folder = target.parent_path();
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < 16; ++attempt) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, ".%016llx.tmp",
                      static_cast<unsigned long long>(random()));
        std::string name(".");
        name += target.filename().string();
        name += suffix;
        temporary = folder / name;
        if (FILE *file = std::fopen(temporary.c_str(), "wbx")) return file;
        if (errno != EEXIST) break;
    }
    return nullptr;
}

// Replaces OUT so that a failure at any point leaves it as it was:
//   1. the document is written to a new temporary file in OUT's folder;
//   2. the file is flushed to the disk, and takes OUT's permissions if OUT exists;
//   3. rename() puts it in OUT's place, atomically within one file system.
// A failure before step 3 removes the temporary file and leaves OUT untouched.
int WriteFileAtomically(CFPropertyListRef value, std::string_view out) {
    fs::path target(out);
    fs::path temporary;
    FILE *file = CreateTemporaryBeside(target, temporary);
    if (!file) {
        std::fprintf(stderr, "vantrell: cannot create a temporary file for %s: %s\n",
                     target.c_str(), SystemError(errno).c_str());
        return kExitFailure;
    }
    errno = 0;
    bool written =
        plist::WriteXML(value, file) && std::fflush(file) == 0 && fsync(fileno(file)) == 0;
    int error = errno;
    written = std::fclose(file) == 0 && written;
    if (written) {
        std::error_code ignored, renamed;
        fs::file_status existing = fs::status(target, ignored);
        if (fs::exists(existing)) fs::permissions(temporary, existing.permissions(), ignored);
        fs::rename(temporary, target, renamed);
        written = !renamed;
        error = renamed.value();
    }
    if (!written) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        std::fprintf(stderr, "vantrell: cannot write %s: %s\n", target.c_str(),
                     SystemError(error).c_str());
        return kExitFailure;
    }
    return kExitSuccess;
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
    if (out != kStandardStream) return WriteFileAtomically(value.get(), out);
    if (!plist::WriteXML(value.get(), stdout) || std::fflush(stdout) != 0) {
        std::fputs("vantrell: cannot write standard output\n", stderr);
        return kExitFailure;
    }
    return kExitSuccess;
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
