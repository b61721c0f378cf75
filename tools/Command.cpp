#include "tools/Command.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace vt::tool {

namespace {

void Print(FILE *stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
}

bool IsHelpOption(std::string_view arg) {
    return arg == "-h" || arg == "--help";
}

// "-" alone is an operand (standard input or output), not an option.
bool IsOption(std::string_view arg) {
    return arg.size() > 1 && arg[0] == '-';
}

void PrintUsageLine(FILE *stream, const Command &command, std::string_view path) {
    Print(stream, "usage: ");
    Print(stream, path);
    if (!command.usage.empty()) {
        Print(stream, " ");
        Print(stream, command.usage);
    }
    Print(stream, "\n");
}

int RunLeaf(const Command &command, const std::string &path, Arguments args) {
    std::vector<std::string_view> operands;
    bool optionsEnded = false;
    for (std::string_view arg : args) {
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && IsHelpOption(arg)) {
            CommandPrintHelp(command, path);
            return kExitSuccess;
        } else if (command.ownOptions) {
            operands.push_back(arg);
        } else if (!optionsEnded && IsOption(arg)) {
            return CommandUsageError(command, path, "unknown option '" + std::string(arg) + "'");
        } else {
            operands.push_back(arg);
        }
    }
    if (command.ownOptions) return command.run(operands);
    if (operands.size() < command.minOperands)
        return CommandUsageError(command, path, "missing argument");
    if (operands.size() > command.maxOperands)
        return CommandUsageError(command, path, "too many arguments");
    return command.run(operands);
}

} // namespace

const Command *CommandFindSubcommand(const Command &group, std::string_view name) {
    auto it = std::find_if(group.subcommands.begin(), group.subcommands.end(),
                           [name](const Command *sub) { return sub->name == name; });
    return it == group.subcommands.end() ? nullptr : *it;
}

int CommandDispatch(const Command &command, const std::string &path, Arguments args) {
    if (command.run) return RunLeaf(command, path, args);
    if (args.empty()) return CommandUsageError(command, path, "missing command");
    std::string_view first = args.front();
    if (IsHelpOption(first)) {
        CommandPrintHelp(command, path);
        return kExitSuccess;
    }
    if (IsOption(first))
        return CommandUsageError(command, path, "unknown option '" + std::string(first) + "'");
    const Command *sub = CommandFindSubcommand(command, first);
    if (!sub)
        return CommandUsageError(command, path, "unknown command '" + std::string(first) + "'");
    return CommandDispatch(*sub, path + " " + std::string(sub->name), args.subspan(1));
}

void CommandPrintHelp(const Command &command, std::string_view path) {
    PrintUsageLine(stdout, command, path);
    Print(stdout, "\n");
    Print(stdout, command.help);
    if (command.subcommands.empty()) return;

    size_t width = 0;
    for (const Command *sub : command.subcommands)
        width = std::max(width, sub->name.size());
    Print(stdout, "\nCommands:\n");
    for (const Command *sub : command.subcommands) {
        std::string line = "  " + std::string(sub->name);
        line.append(width - sub->name.size() + 2, ' ');
        line += sub->summary;
        line += '\n';
        Print(stdout, line);
    }
    Print(stdout, "\nRun '");
    Print(stdout, path);
    Print(stdout, " COMMAND --help' for the help of a command.\n");
}

int CommandUsageError(const Command &command, std::string_view path, std::string_view message) {
    Print(stderr, "vantrell: ");
    Print(stderr, message);
    Print(stderr, "\n");
    PrintUsageLine(stderr, command, path);
    return kExitUsage;
}

} // namespace vt::tool
