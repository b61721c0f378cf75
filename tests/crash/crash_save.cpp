// Kills a saving process at random moments and checks that the document file
// is always whole: the one before a save or the one after it, never a mix.
//
// The child loads the document, adds entries and saves in a loop; every save
// holds all entries of the one before, so the entry count read after each
// kill never goes down.
#include <Vantrell/Vantrell.h>

#include "document/DocumentPrivate.h"
#include "platform/values/Cast.h"
#include "platform/values/Holder.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

using vt::CFRef;

namespace {

constexpr int kKills = 30;
constexpr auto kTimeBudget = std::chrono::seconds(20);
constexpr char kDocumentName[] = "info.library.module.mlix";

[[noreturn]] void SaveForever() {
    if (VTPrivate_DocumentLoad(nullptr) != kCFBooleanTrue && VTPrivate_DocumentCreate(nullptr))
        _exit(3);
    auto map =
        vt::cf::CastMutable<CFMutableDictionaryRef>(VTPrivate_DocumentValueGet(kVTTopLevelKeyMap));
    if (!map) _exit(4);
    for (long round = CFDictionaryGetCount(map);; ++round) {
        char key[64], value[128];
        std::snprintf(key, sizeof key, "%032lx", round);
        std::snprintf(value, sizeof value, "file:///Library/Scripts/Modules/entry-%ld.scpt", round);
        CFRef<CFStringRef> keyString(
            CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8));
        CFRef<CFStringRef> valueString(
            CFStringCreateWithCString(nullptr, value, kCFStringEncodingUTF8));
        CFDictionarySetValue(map, keyString.get(), valueString.get());
        CFRef<CFMutableDictionaryRef> error(VantrellSaveDocument(nullptr));
        if (error) _exit(5);
    }
}

// The number of Map entries in the document file; -1 when it does not parse.
long CountEntries() {
    std::ifstream in(kDocumentName, std::ios::binary);
    if (!in) return 0; // no save finished yet
    std::stringstream contents;
    contents << in.rdbuf();
    std::string bytes = contents.str();
    CFRef<CFDataRef> data(CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(bytes.data()),
                                       CFIndex(bytes.size())));
    CFRef<CFPropertyListRef> document(
        CFPropertyListCreateFromXMLData(nullptr, data.get(), kCFPropertyListImmutable, nullptr));
    auto dictionary = vt::cf::Cast<CFDictionaryRef>(document.get());
    if (!dictionary) return -1;
    auto map = vt::cf::Cast<CFDictionaryRef>(CFDictionaryGetValue(dictionary, kVTTopLevelKeyMap));
    if (!map) return -1;
    return CFDictionaryGetCount(map);
}

} // namespace

int main() {
    char folder[] = "/tmp/vantrell-crash-XXXXXX";
    if (!mkdtemp(folder) || chdir(folder) != 0) {
        std::perror("crash_save: temporary folder");
        return 1;
    }
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> delayMicroseconds(1000, 60000);
    auto start = std::chrono::steady_clock::now();
    long previous = 0;
    int failures = 0, kills = 0;
    for (; kills < kKills && std::chrono::steady_clock::now() - start < kTimeBudget; ++kills) {
        pid_t child = fork();
        if (child < 0) {
            std::perror("crash_save: fork");
            return 1;
        }
        if (child == 0) SaveForever();
        usleep(useconds_t(delayMicroseconds(random)));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        if (!WIFSIGNALED(status)) {
            std::fprintf(stderr, "kill %d: the saver ended by itself (status %d)\n", kills,
                         WEXITSTATUS(status));
            ++failures;
        }
        long count = CountEntries();
        if (count < 0 || count < previous) {
            std::fprintf(stderr, "kill %d: document holds %ld entries after %ld\n", kills, count,
                         previous);
            ++failures;
        }
        previous = count;
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    std::printf("%d kills, %ld entries at the end, %d failures\n", kills, previous, failures);
    return failures == 0 && previous > 0 ? 0 : 1;
}
