// Process calls behind the layer's seam (see Process.h).
#include "platform/system/Process.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vt::platform {

namespace {

// The first descriptor number the child may close, from its soft limit; read
// before forking because the child may call only async-signal-safe functions.
int DescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
        limit.rlim_cur > rlim_t(INT_MAX))
        return 65536;
    return int(limit.rlim_cur);
}

// Runs in the forked child: only async-signal-safe calls, never a return into
// the host's code. The pipe's ends may sit on 0 or 2 when the host had those
// closed; the program then gets them closed too.
[[noreturn]] void StartProgram(const char *path, char *const argv[], int readEnd, int writeEnd,
                               int descriptorLimit) {
    if (writeEnd == STDOUT_FILENO) {
        // Already in place; only the close-on-exec flag has to go.
        if (::fcntl(STDOUT_FILENO, F_SETFD, 0) != 0) ::_exit(127);
    } else if (::dup2(writeEnd, STDOUT_FILENO) < 0) {
        ::_exit(127);
    }
    if (readEnd != STDOUT_FILENO) ::close(readEnd);
    if (writeEnd != STDOUT_FILENO && writeEnd < 3) ::close(writeEnd);
    // The program keeps only its standard streams: a host descriptor left open
    // in it (the write end of another pipe, say) would outlive the host's use.
    if (::close_range(3, ~0U, 0) != 0) {
        for (int fd = 3; fd < descriptorLimit; ++fd)
            ::close(fd);
    }
    ::execv(path, argv);
    ::_exit(127);
}

} // namespace

bool SetEnvironment(const char *name, const char *value) {
    return ::setenv(name, value, 1) == 0;
}

bool RunShellCommand(const char *command, OutputReceiver &receiver) {
    // "e": other programs the host starts do not inherit the pipe.
    FILE *stream = ::popen(command, "re");
    if (!stream) return false;
    char buffer[256] = {};
    for (;;) {
        // A piece ends at its first NUL byte: fgets gives no length.
        if (std::fgets(buffer, sizeof buffer, stream)) {
            receiver.Receive(buffer, std::strlen(buffer));
            continue;
        }
        if (std::ferror(stream) && errno == EINTR) {
            std::clearerr(stream);
            continue;
        }
        break;
    }
    ::pclose(stream);
    return true;
}

ProgramStatus RunProgram(const char *path, char *const argv[], OutputReceiver &receiver) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return ProgramStatus::kPipeFailed;
    int descriptorLimit = DescriptorLimit();
    pid_t child = ::fork();
    if (child < 0) {
        ::close(ends[0]);
        ::close(ends[1]);
        return ProgramStatus::kForkFailed;
    }
    if (child == 0) StartProgram(path, argv, ends[0], ends[1], descriptorLimit);

    ::close(ends[1]);
    char buffer[1024];
    for (;;) {
        ssize_t count = ::read(ends[0], buffer, sizeof buffer);
        if (count > 0) {
            receiver.Receive(buffer, size_t(count));
        } else if (count < 0 && errno == EINTR) {
            continue;
        } else {
            break;
        }
    }
    ::close(ends[0]);
    // Only this child: any other belongs to the host.
    while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    return ProgramStatus::kRan;
}

} // namespace vt::platform
