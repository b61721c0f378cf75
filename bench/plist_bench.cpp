// Measures property-list load, deep copy and save on one file, and the peak
// memory of a single load plus save in a fresh process.
//
// usage: plist_bench FILE [RUNS]
#include <CoreFoundation/CoreFoundation.h>

#include "platform/values/Holder.h"
#include "platform/plist/PropertyListInternal.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

using vt::CFRef;
using Clock = std::chrono::steady_clock;

constexpr const char *kPeakFlag = "--peak-child";
constexpr double kMB = 1e6;

bool ReadFile(const char *path, std::string &bytes) {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return in.good() || in.eof();
}

CFRef<CFDataRef> CreateData(const std::string &bytes) {
    return CFRef<CFDataRef>(CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(bytes.data()),
                                         static_cast<CFIndex>(bytes.size())));
}

// The file in a CFData, read as a host reads one: into a single block of the
// file's size, which the CFData then owns.
CFRef<CFDataRef> ReadData(const char *path) {
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return CFRef<CFDataRef>();
    struct stat status {};
    UInt8 *bytes = nullptr;
    size_t length = 0;
    if (::fstat(fd, &status) == 0 && status.st_size > 0) {
        length = size_t(status.st_size);
        bytes = static_cast<UInt8 *>(std::malloc(length));
        for (size_t done = 0; bytes && done < length;) {
            ssize_t count = ::read(fd, bytes + done, length - done);
            if (count <= 0) {
                std::free(bytes);
                bytes = nullptr;
            } else {
                done += size_t(count);
            }
        }
    }
    ::close(fd);
    if (!bytes) return CFRef<CFDataRef>();
    CFDataRef data =
        CFDataCreateWithBytesNoCopy(nullptr, bytes, CFIndex(length), kCFAllocatorMalloc);
    if (!data) std::free(bytes);
    return CFRef<CFDataRef>(data);
}

// Seconds of the median run of `create`. Only the call is timed; releasing
// its result is not.
template <class Create>
double MedianSeconds(int runs, Create create) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        auto start = Clock::now();
        CFTypeRef result = create();
        times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        if (!result) {
            std::fprintf(stderr, "plist_bench: an operation failed\n");
            std::exit(1);
        }
        CFRelease(result);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void PrintRate(const char *what, double seconds, size_t bytes) {
    std::printf("%-10s %9.4f s %9.1f MB/s\n", what, seconds, bytes / kMB / seconds);
}

// One load and save in a process of its own, so that nothing else counts in
// its peak. "memory" holds the input and output as CFData, as a host
// does; "stream" reads and writes files in pieces, as the vantrell tool does.
int RunPeakChild(const char *mode, const char *path) {
    if (std::strcmp(mode, "stream") == 0) {
        CFRef<CFPropertyListRef> value(vt::plist::CreateFromXMLFile(
            nullptr, path, kCFPropertyListMutableContainersAndLeaves, nullptr));
        FILE *sink = std::fopen("/dev/null", "wb");
        bool ok = value && sink && vt::plist::WriteXML(value.get(), sink);
        if (sink) std::fclose(sink);
        return ok ? 0 : 1;
    }
    CFRef<CFDataRef> data = ReadData(path);
    if (!data) return 1;
    CFRef<CFPropertyListRef> value(CFPropertyListCreateFromXMLData(
        nullptr, data.get(), kCFPropertyListMutableContainersAndLeaves, nullptr));
    data.Reset();
    CFRef<CFDataRef> xml(CFPropertyListCreateXMLData(nullptr, value.get()));
    return xml ? 0 : 1;
}

// Peak resident memory, in bytes, of a fresh copy of this program doing one
// load and save; 0 when it failed.
size_t PeakOfChild(const char *mode, const char *path) {
    char *argv[] = {const_cast<char *>("plist_bench"), const_cast<char *>(kPeakFlag),
                    const_cast<char *>(mode), const_cast<char *>(path), nullptr};
    pid_t pid;
    if (posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv, environ) != 0) return 0;
    int status = 0;
    struct rusage usage {};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return 0;
    return static_cast<size_t>(usage.ru_maxrss) * 1024;
}

} // namespace

int main(int argc, char **argv) {
    if (argc == 4 && std::strcmp(argv[1], kPeakFlag) == 0) return RunPeakChild(argv[2], argv[3]);
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: plist_bench FILE [RUNS]\n");
        return 2;
    }
    const char *path = argv[1];
    int runs = argc == 3 ? std::atoi(argv[2]) : 5;
    if (runs < 1) runs = 1;

    // A child's peak includes its parent's memory at the time of the spawn,
    // so the children run before this process loads anything.
    size_t peaks[2];
    const char *modes[2] = {"memory", "stream"};
    for (int i = 0; i < 2; ++i) {
        peaks[i] = PeakOfChild(modes[i], path);
        if (!peaks[i]) {
            std::fprintf(stderr, "plist_bench: the %s load and save of %s failed\n", modes[i],
                         path);
            return 1;
        }
    }

    std::string bytes;
    if (!ReadFile(path, bytes)) {
        std::fprintf(stderr, "plist_bench: cannot read %s\n", path);
        return 1;
    }
    vt::plist::ParseError error;
    CFRef<CFPropertyListRef> value(vt::plist::CreateFromXMLBytes(
        nullptr, bytes.data(), bytes.size(), kCFPropertyListMutableContainersAndLeaves, &error));
    if (!value) {
        std::fprintf(stderr, "%s:%ld:%ld: %s\n", path, static_cast<long>(error.line),
                     static_cast<long>(error.column), error.message.c_str());
        return 1;
    }
    CFRef<CFDataRef> data = CreateData(bytes);
    std::printf("%s: %.1f MB, median of %d runs\n", path, bytes.size() / kMB, runs);

    const CFOptionFlags kMutable = kCFPropertyListMutableContainersAndLeaves;
    double load = MedianSeconds(runs, [&] {
        return CFPropertyListCreateFromXMLData(nullptr, data.get(), kMutable, nullptr);
    });
    // The expat reader on the same bytes, for a figure that does not depend
    // on how fast the machine is that day.
    double expat = MedianSeconds(runs, [&] {
        return vt::plist::CreateFromXMLBytesWithExpat(nullptr, bytes.data(), bytes.size(), kMutable,
                                                      nullptr);
    });
    double copy = MedianSeconds(
        runs, [&] { return CFPropertyListCreateDeepCopy(nullptr, value.get(), kMutable); });
    double save =
        MedianSeconds(runs, [&] { return CFPropertyListCreateXMLData(nullptr, value.get()); });
    PrintRate("load", load, bytes.size());
    PrintRate("load, expat", expat, bytes.size());
    std::printf("load x expat %9.2f\n", expat / load);
    PrintRate("deep copy", copy, bytes.size());
    PrintRate("save", save, bytes.size());
    for (int i = 0; i < 2; ++i)
        std::printf("peak RSS, load+save (%s): %.1f MB, %.2fx the file\n", modes[i], peaks[i] / kMB,
                    static_cast<double>(peaks[i]) / bytes.size());
    return 0;
}
