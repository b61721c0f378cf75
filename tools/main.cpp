// vantrell: manages module folders and their documents from the command line.
#include "tools/Command.h"
#include "tools/Session.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <new>
#include <unistd.h>
#include <vector>

namespace vt::tool {
namespace {

constexpr std::string_view kVersion = "vantrell 0.5.4\n";

int RunHelp(Arguments operands);

const Command kHelpCommand = {
    .name = "help",
    .summary = "Show the help of vantrell or of a command",
    .usage = "[COMMAND...]",
    .help = "Shows the help of the named command, for example 'vantrell help plist check',\n"
            "or of vantrell itself when no command is named.\n",
    .run = RunHelp,
    .minOperands = 0,
    .maxOperands = kUnlimited,
};

constexpr const Command *kTopCommands[] = {
    &kInitCommand,  &kLibrariesCommand, &kAddCommand,      &kScanCommand,       &kFindCommand,
    &kShowCommand,  &kRemoveCommand,    &kRegisterCommand, &kUnregisterCommand, &kConfigsCommand,
    &kCheckCommand, &kPathsCommand,     &kPlistCommand,    &kHelpCommand};

const Command kRootCommand = {
    .name = "vantrell",
    .summary = "",
    .usage = "[-C DIR] [--root DIR] [--json] [--version] [--help] COMMAND [ARGUMENTS]",
    .help = "Manages libraries of script modules and their documents.\n"
            "\n"
            "Options:\n"
            "  -C DIR      Run in DIR, where the module document lives\n"
            "  --root DIR  Use DIR/user, DIR/local and DIR/network as the domains, each\n"
            "              with its Library/Scripts folder\n"
            "  --json      Machine-readable output from the listing commands\n"
            "  --version   Print the version and exit\n"
            "  --help      Show this help and exit\n",
    .subcommands = kTopCommands,
};

int RunHelp(Arguments operands) {
    const Command *command = &kRootCommand;
    std::string path(kRootCommand.name);
    for (std::string_view name : operands) {
        const Command *sub = CommandFindSubcommand(*command, name);
        if (!sub)
            return CommandUsageError(kHelpCommand, "vantrell help",
                                     "unknown command '" + std::string(name) + "'");
        command = sub;
        path += ' ';
        path += name;
    }
    CommandPrintHelp(*command, path);
    return kExitSuccess;
}

int Main(Arguments args) {
    if (!args.empty() && args.front() == "--version") {
        std::fwrite(kVersion.data(), 1, kVersion.size(), stdout);
        return kExitSuccess;
    }
    // Global options come before the command.
    while (!args.empty()) {
        std::string_view option = args.front();
        if (option == "--json") {
            Globals().json = true;
            args = args.subspan(1);
            continue;
        }
        if (option != "-C" && option != "--root") break;
        if (args.size() < 2)
            return CommandUsageError(kRootCommand, "vantrell",
                                     "option '" + std::string(option) + "' needs a value");
        std::string value(args[1]);
        args = args.subspan(2);
        if (option == "-C") {
            if (::chdir(value.c_str()) != 0) {
                std::fprintf(stderr, "vantrell: %s: %s\n", value.c_str(), std::strerror(errno));
                return kExitFailure;
            }
        } else {
            // Absolute now, so that a later -C does not move it.
            std::error_code error;
            std::filesystem::path root = std::filesystem::absolute(value, error);
            Globals().root = error ? value : root.lexically_normal().string();
            while (Globals().root.size() > 1 && Globals().root.back() == '/')
                Globals().root.pop_back();
        }
    }
    return CommandDispatch(kRootCommand, std::string(kRootCommand.name), args);
}

} // namespace
} // namespace vt::tool

int main(int argc, char **argv) {
    try {
        std::vector<std::string_view> args(argv + 1, argv + argc);
        int status = vt::tool::Main(args);
        // Output that cannot be flushed (a full disk, a closed pipe) is a failure.
        if (std::fflush(stdout) != 0 && status == vt::tool::kExitSuccess) {
            std::fputs("vantrell: cannot write standard output\n", stderr);
            return vt::tool::kExitFailure;
        }
        return status;
    } catch (const std::bad_alloc &) {
        std::fputs("vantrell: out of memory\n", stderr);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "vantrell: %s\n", e.what());
    }
    return vt::tool::kExitFailure;
}
