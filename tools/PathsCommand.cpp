// vantrell paths: where the document file and the domains' folders are.
#include "tools/Command.h"

#include <CoreServices/CoreServices.h>
#include <Vantrell/Vantrell.h>

#include "document/DocumentPrivate.h"
#include "locations/LocationsPrivate.h"
#include "platform/system/ScriptsFolders.h"
#include "platform/values/Holder.h"

#include <cstdio>
#include <string>

namespace vt::tool {
namespace {

struct Domain {
    const char *name;
    SInt16 code;
};

constexpr Domain kDomains[] = {
    {"user", kUserDomain},
    {"local", kLocalDomain},
    {"network", kNetworkDomain},
};

std::string PathOf(CFURLRef url) {
    CFRef<CFStringRef> path(url ? CFURLCopyFileSystemPath(url, kCFURLPOSIXPathStyle) : nullptr);
    if (!path) return "?";
    CFIndex size = CFStringGetMaximumSizeOfFileSystemRepresentation(path.get());
    std::string text(static_cast<size_t>(size), '\0');
    if (!CFStringGetFileSystemRepresentation(path.get(), text.data(), size)) return "?";
    text.resize(std::char_traits<char>::length(text.c_str()));
    return text;
}

void PrintLine(const std::string &label, CFURLRef url) {
    const char *state = url && VTU_URLTargetExists(nullptr, url) ? "exists" : "missing";
    std::printf("%-17s%s (%s)\n", label.c_str(), PathOf(url).c_str(), state);
}

// The Scripts folder the framework's look-up finds or, when it finds none,
// where the built-in look-up expects it.
CFRef<CFURLRef> CreateScriptsURL(const Domain &domain) {
    CFRef<CFURLRef> url;
    if (VTU_URLCreateUsingFindFolderStyle(nullptr, domain.code, kScriptsFolderType, url.Out()) ==
            0 &&
        url)
        return url;
    std::string path;
    if (!platform::ScriptsFolderPath(domain.code, path)) return url;
    url.Reset(CFURLCreateFromFileSystemRepresentation(
        nullptr, reinterpret_cast<const UInt8 *>(path.data()), CFIndex(path.size()), true));
    return url;
}

int RunPaths(Arguments) {
    PrintLine("document", VTPrivate_DocumentGetURL(nullptr));
    for (const Domain &domain : kDomains) {
        CFRef<CFURLRef> scripts = CreateScriptsURL(domain);
        CFRef<CFURLRef> modules(
            scripts ? CFURLCreateCopyAppendingPathComponent(nullptr, scripts.get(),
                                                            VantrellGetModulesFolderName(), true)
                    : nullptr);
        PrintLine(std::string(domain.name) + " scripts", scripts.get());
        PrintLine(std::string(domain.name) + " modules", modules.get());
    }
    return kExitSuccess;
}

} // namespace

extern const Command kPathsCommand = {
    .name = "paths",
    .summary = "Show where the document file and the Scripts and Modules folders are",
    .usage = "",
    .help = "Prints the module document file and the Scripts and Modules folders of the\n"
            "user, local and network domains, each with whether it exists. A Scripts\n"
            "folder that is missing is shown where it is expected.\n"
            "\n"
            "The document file is named for the current directory. This command does not\n"
            "load the framework bundle, so it shows the default names\n"
            "(info.library.module.mlix and Modules), not those a framework's Info.plist\n"
            "may set.\n",
    .run = RunPaths,
    .minOperands = 0,
    .maxOperands = 0,
};

} // namespace vt::tool
