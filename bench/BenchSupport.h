// Pieces every scaling benchmark uses: failing loudly, processor time, and
// strings from std::string.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

namespace vt::bench {

// Ends the benchmark with the program's name and the cause.
[[noreturn]] inline void Fail(const std::string &what) {
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, what.c_str());
    std::exit(1);
}

// Processor time of this process: other work on a shared machine does not
// count in it, as it does in wall time.
inline double ProcessorSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// A new string (the caller releases it) with the UTF-8 text.
inline CFStringRef NewString(const std::string &text) {
    return CFStringCreateWithCString(nullptr, text.c_str(), kCFStringEncodingUTF8);
}

} // namespace vt::bench
