#include "faults/FaultSupport.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

namespace vt::test {

ChildOutcome RunInChild(const std::function<std::string(bool *reached)> &body) {
    ChildOutcome outcome;
    int fds[2];
    if (pipe(fds) != 0) {
        outcome.problem = std::string("pipe: ") + std::strerror(errno);
        return outcome;
    }
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) {
        outcome.problem = std::string("fork: ") + std::strerror(errno);
        close(fds[0]);
        close(fds[1]);
        return outcome;
    }
    if (pid == 0) {
        close(fds[0]);
        std::string report;
        {
            bool reached = false;
            std::string problem = body(&reached);
            report = std::string(reached ? "R" : "D") + problem;
        }
        for (size_t done = 0; done < report.size();) {
            ssize_t wrote = write(fds[1], report.data() + done, report.size() - done);
            if (wrote <= 0) break;
            done += size_t(wrote);
        }
        close(fds[1]);
        // exit, not _exit: the leak check runs at exit.
        std::exit(0);
    }
    close(fds[1]);
    std::string report;
    char buffer[4096];
    for (ssize_t got; (got = read(fds[0], buffer, sizeof buffer)) != 0;) {
        if (got < 0) {
            if (errno == EINTR) continue;
            break;
        }
        report.append(buffer, size_t(got));
    }
    close(fds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!report.empty()) {
        outcome.reached = report[0] == 'R';
        outcome.problem = report.substr(1);
    } else {
        outcome.reached = true;
    }
    if (WIFSIGNALED(status))
        outcome.problem += " [crashed with signal " + std::to_string(WTERMSIG(status)) + "]";
    else if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
        outcome.problem += " [exit status " + std::to_string(WEXITSTATUS(status)) +
                           (report.empty() ? ", no report]" : ": a leak or a late fault]");
    return outcome;
}

} // namespace vt::test
