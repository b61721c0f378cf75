// Running one attempt of an operation in a forked child, so that every
// attempt starts from the same process state and LeakSanitizer checks each
// child at its exit.
#pragma once

#include <functional>
#include <string>

namespace vt::test {

struct ChildOutcome {
    bool reached = false; // the refusal happened (or the body says it was needed)
    std::string problem;  // empty when the child found nothing wrong and exited cleanly
};

// Runs body in a child process. body returns "" when all is well, else a
// description of the fault; it sets *reached to tell the parent that the
// refusal happened. A crash, a leak report or another non-zero exit becomes
// the problem.
ChildOutcome RunInChild(const std::function<std::string(bool *reached)> &body);

} // namespace vt::test
