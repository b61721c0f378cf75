// vantrell check: reports the document's faults and, with --repair, fixes
// what it safely can after keeping a copy of the file.
#include "tools/Check.h"
#include "tools/Session.h"

#include "document/DocumentPrivate.h"

#include <cstdio>
#include <ctime>
#include <filesystem>

namespace vt::tool {
namespace {

namespace fs = std::filesystem;

void PrintFindings(const std::vector<Finding> &findings) {
    if (Globals().json) {
        std::printf("[");
        for (size_t i = 0; i < findings.size(); ++i)
            std::printf("%s{\"path\": %s, \"message\": %s}", i ? ",\n " : "",
                        JSONString(findings[i].path).c_str(),
                        JSONString(findings[i].message).c_str());
        std::printf("]\n");
        return;
    }
    for (const Finding &finding : findings)
        std::printf("%s: %s\n", finding.path.c_str(), finding.message.c_str());
}

// A free name beside the document for the copy kept before repairing.
std::string BackupPath(const std::string &document) {
    char stamp[32];
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
    std::string base = document + ".check-" + stamp;
    std::string path = base;
    for (int counter = 1; fs::exists(path); ++counter)
        path = base + "-" + std::to_string(counter);
    return path;
}

int RunCheck(Arguments args) {
    ParsedArguments parsed;
    if (int status =
            ParseArguments(kCheckCommand, "vantrell check", args, {"--repair"}, {}, 0, 0, parsed))
        return status;
    if (!LoadCurrentDocument()) return kExitFailure;
    std::vector<Finding> findings = CheckDocument(VTPrivate_DocumentGetDocument());
    if (!parsed.Has("--repair") || findings.empty()) {
        PrintFindings(findings);
        if (!Globals().json)
            std::printf(findings.empty() ? "no problems found\n" : "problems found: %zu\n",
                        findings.size());
        return findings.empty() ? kExitSuccess : kExitFailure;
    }
    std::string document = DocumentPath();
    std::string backup = BackupPath(document);
    std::error_code error;
    fs::copy_file(document, backup, fs::copy_options::none, error);
    if (error) return Fail(backup, "cannot keep a copy: " + error.message());
    std::printf("kept a copy as %s\n", backup.c_str());
    std::vector<std::string> changes = RepairDocument(VTPrivate_DocumentGetDocument());
    for (const std::string &change : changes)
        std::printf("repaired %s\n", change.c_str());
    if (!changes.empty() && !SaveDocument()) return kExitFailure;
    std::vector<Finding> left = CheckDocument(VTPrivate_DocumentGetDocument());
    if (left.empty()) {
        std::printf("no problems left\n");
        return kExitSuccess;
    }
    std::printf("problems left: %zu\n", left.size());
    PrintFindings(left);
    return kExitFailure;
}

} // namespace

extern const Command kCheckCommand = {
    .name = "check",
    .summary = "Check the document's consistency, and repair it",
    .usage = "[--repair] [--json]",
    .help = "Reports dangling IDs (Children, Files, Owners, PropertyID,\n"
            "URLMapID), cycles among the libraries, values of the wrong type and map\n"
            "entries whose key does not match their text, each with the path to it.\n"
            "Exits 0 when the document is sound, 1 when problems remain.\n"
            "\n"
            "  --repair  Keep a copy of the document, then remove dangling IDs, break\n"
            "            cycles and drop values of the wrong type (map entries are never\n"
            "            re-keyed), and say what changed\n"
            "\n"
            "Example: vantrell check --repair\n",
    .run = RunCheck,
    .ownOptions = true,
};

} // namespace vt::tool
