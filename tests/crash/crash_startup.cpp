// Kills a process at random moments of a first-run start-up and checks that
// the document is then either absent or complete: a dictionary with the
// current version and the three root libraries, which the next start-up
// keeps as it is.
#include <Vantrell/Vantrell.h>

#include "platform/values/Cast.h"
#include "platform/values/Holder.h"
#include "support/TestSupport.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include <dlfcn.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

using vt::CFRef;

namespace {

constexpr int kKills = 40;
constexpr auto kTimeBudget = std::chrono::seconds(60);
constexpr char kDocumentName[] = "info.library.module.mlix";

// 0: no document; 1: a complete one; -1: anything else.
int Examine() {
    if (!vt::test::Exists(kDocumentName)) return 0;
    std::string bytes = vt::test::ReadFile(kDocumentName);
    CFRef<CFDataRef> data(CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(bytes.data()),
                                       CFIndex(bytes.size())));
    CFRef<CFPropertyListRef> parsed(
        CFPropertyListCreateFromXMLData(nullptr, data.get(), kCFPropertyListImmutable, nullptr));
    auto document = vt::cf::Cast<CFDictionaryRef>(parsed.get());
    if (!document) return -1;
    auto version =
        vt::cf::Cast<CFStringRef>(CFDictionaryGetValue(document, kVTTopLevelKeyDocumentVersion));
    auto libraries =
        vt::cf::Cast<CFDictionaryRef>(CFDictionaryGetValue(document, kVTTopLevelKeyLibraries));
    if (!version || !CFEqual(version, kVTDocumentVersion) || !libraries) return -1;
    for (CFStringRef id : {kVTUserLibraryID, kVTLocalLibraryID, kVTNetworkLibraryID})
        if (!CFDictionaryContainsKey(libraries, id)) return -1;
    return 1;
}

// Runs one start-up in a child; kills it after `delay` unless negative.
// Returns the child's exit status, or -SIGKILL when the kill ended it.
int StartUp(std::chrono::microseconds delay) {
    pid_t child = fork();
    if (child < 0) return -1000;
    if (child == 0) {
        CFMutableDictionaryRef error = VantrellLoadDocument(nullptr, nullptr);
        _exit(error ? 3 : 0);
    }
    if (delay.count() >= 0) {
        usleep(useconds_t(delay.count()));
        kill(child, SIGKILL);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFSIGNALED(status) ? -WTERMSIG(status) : WEXITSTATUS(status);
}

} // namespace

int main() {
    // Start-up needs the framework's bundle, found among the loaded objects.
    if (!dlopen(VANTRELL_FRAMEWORK_LIBRARY, RTLD_NOW | RTLD_LOCAL)) {
        std::fprintf(stderr, "crash_startup: %s\n", dlerror());
        return 1;
    }
    vt::test::TempFolder domains, work;
    if (chdir(work.Path().c_str()) != 0 ||
        !vt::test::CreateScriptsFolders(domains.Path(), true, true, true)) {
        std::perror("crash_startup: folders");
        return 1;
    }
    // How long an undisturbed first run takes sets the range of the delays.
    auto begun = std::chrono::steady_clock::now();
    if (StartUp(std::chrono::microseconds(-1)) != 0 || Examine() != 1) {
        std::fprintf(stderr, "crash_startup: an undisturbed first run failed\n");
        return 1;
    }
    auto span = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - begun);

    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<long> delays(0, span.count() * 3 / 2);
    int failures = 0, kills = 0, complete = 0;
    auto start = std::chrono::steady_clock::now();
    for (; kills < kKills && std::chrono::steady_clock::now() - start < kTimeBudget; ++kills) {
        std::filesystem::remove(kDocumentName);
        StartUp(std::chrono::microseconds(delays(random)));
        int found = Examine();
        if (found < 0) {
            std::fprintf(stderr, "kill %d: the document is there but incomplete\n", kills);
            ++failures;
            continue;
        }
        complete += found;
        // Whatever the kill left, the next start-up succeeds on it.
        if (StartUp(std::chrono::microseconds(-1)) != 0 || Examine() != 1) {
            std::fprintf(stderr, "kill %d: the next start-up failed\n", kills);
            ++failures;
        }
    }
    std::printf("%d kills over %ld us runs, %d left a complete document, %d failures\n", kills,
                long(span.count()), complete, failures);
    return failures == 0 ? 0 : 1;
}
