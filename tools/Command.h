// The vantrell command's subcommand table. Each entry is either a group of
// further subcommands or a leaf that runs; every entry answers --help.
#pragma once

#include <cstddef>
#include <limits>
#include <span>
#include <string>
#include <string_view>

namespace vt::tool {

enum ExitCode : int {
    kExitSuccess = 0,
    kExitFailure = 1,
    kExitUsage = 2,
};

using Arguments = std::span<const std::string_view>;

inline constexpr size_t kUnlimited = std::numeric_limits<size_t>::max();

struct Command {
    std::string_view name;
    std::string_view summary; // one line, for the parent's list of commands
    std::string_view usage;   // what follows the command's path on the usage line
    std::string_view help;    // the body of --help, after the usage line
    // A leaf runs with its operands, already checked against the counts.
    int (*run)(Arguments operands) = nullptr;
    size_t minOperands = 0;
    size_t maxOperands = 0;
    // A leaf that reads its own options gets every argument but --help.
    bool ownOptions = false;
    // A group has no run function, only subcommands.
    std::span<const Command *const> subcommands = {};
};

// Runs `command`, reached by `path` (e.g. "vantrell plist"), with the
// arguments that follow it. Returns the process's exit code.
int CommandDispatch(const Command &command, const std::string &path, Arguments args);

void CommandPrintHelp(const Command &command, std::string_view path);

// Prints the message and the command's usage line to standard error and
// returns kExitUsage.
int CommandUsageError(const Command &command, std::string_view path, std::string_view message);

const Command *CommandFindSubcommand(const Command &group, std::string_view name);

extern const Command kPlistCommand;
extern const Command kPathsCommand;
extern const Command kInitCommand;
extern const Command kLibrariesCommand;
extern const Command kAddCommand;
extern const Command kScanCommand;
extern const Command kFindCommand;
extern const Command kShowCommand;
extern const Command kRemoveCommand;
extern const Command kRegisterCommand;
extern const Command kUnregisterCommand;
extern const Command kConfigsCommand;
extern const Command kCheckCommand;

} // namespace vt::tool
