// The process seam: starting outside programs and changing this process's
// environment. Nothing outside platform/ calls popen, fork, execv, waitpid or
// setenv directly.
#pragma once

#include <cstddef>

namespace vt::platform {

// Takes a program's standard output piece by piece, in the order it was read.
// Receive must not throw: the reader has a child to wait for.
class OutputReceiver {
  public:
    virtual void Receive(const char *bytes, size_t length) noexcept = 0;

  protected:
    ~OutputReceiver() = default;
};

// setenv with overwrite; false when the environment cannot be changed.
bool SetEnvironment(const char *name, const char *value);

// Runs the command line through the shell (popen), hands its output to the
// receiver in fgets pieces of at most 255 bytes, then waits for the shell
// (pclose) and ignores its status. False when the shell cannot be started.
bool RunShellCommand(const char *command, OutputReceiver &receiver);

enum class ProgramStatus { kRan, kPipeFailed, kForkFailed };

// Starts the program at path (no search along PATH) with the NULL-terminated
// argv, its standard output a pipe that this process reads to the end, handing
// the output to the receiver in pieces of at most 1024 bytes, and then waits
// for that child alone. This process's own descriptors and stdio streams are
// left as they were. A program that cannot be started gives no output (its
// child ends with status 127).
ProgramStatus RunProgram(const char *path, char *const argv[], OutputReceiver &receiver);

} // namespace vt::platform
