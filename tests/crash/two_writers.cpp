// Two processes load the same document, edit different things and save, A
// first and then B. B's save must keep A's version: the document is B's, a
// "<document>.conflict-<UTC time>" copy beside it holds A's file byte for
// byte, and B's diagnostics say so. Run a few rounds, with A's save replacing
// the file and with A's save made in place.
#include <Vantrell/Vantrell.h>

#include "document/DocumentPrivate.h"
#include "platform/files/FileSystem.h"
#include "platform/values/Cast.h"
#include "platform/values/Holder.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using vt::CFRef;
namespace fs = std::filesystem;

namespace {

constexpr char kDocumentName[] = "info.library.module.mlix";

std::string ReadAll(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

// One byte over a pipe: a step done, or the go-ahead for the next.
void Signal(int fd) {
    char byte = 1;
    if (write(fd, &byte, 1) != 1) _exit(20);
}
void Await(int fd) {
    char byte = 0;
    if (read(fd, &byte, 1) != 1) _exit(21);
}

void SetText(CFStringRef key, const char *text) {
    CFRef<CFStringRef> value(CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8));
    VTPrivate_DocumentValueSet(key, value.get());
}

int FailInPlace(vt::platform::WriteStep step) {
    return step == vt::platform::WriteStep::kCreateTemporary ? EACCES : 0;
}

// A writer: loads, reports, waits for its turn, edits its own key, saves.
// Its standard error goes to `log`.
pid_t StartWriter(CFStringRef key, const char *text, bool inPlace, const std::string &log, int done,
                  int go) {
    pid_t child = fork();
    if (child != 0) return child;
    int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || dup2(fd, STDERR_FILENO) < 0) _exit(22);
    close(fd);
    if (VTPrivate_DocumentLoad(nullptr) != kCFBooleanTrue) _exit(23);
    Signal(done);
    Await(go);
    SetText(key, text);
    if (inPlace) vt::platform::SetWriteStepHook(FailInPlace);
    CFRef<CFMutableDictionaryRef> error(VantrellSaveDocument(nullptr));
    if (error) _exit(24);
    Signal(done);
    _exit(0);
}

CFRef<CFDictionaryRef> Parse(const std::string &bytes) {
    CFRef<CFDataRef> data(CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(bytes.data()),
                                       CFIndex(bytes.size())));
    CFRef<CFPropertyListRef> parsed(
        CFPropertyListCreateFromXMLData(nullptr, data.get(), kCFPropertyListImmutable, nullptr));
    auto dictionary = vt::cf::Cast<CFDictionaryRef>(parsed.get());
    return CFRef<CFDictionaryRef>(dictionary ? CFDictionaryRef(CFRetain(dictionary)) : nullptr);
}

bool Holds(CFDictionaryRef document, CFStringRef key, const char *text) {
    CFRef<CFStringRef> value(CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8));
    CFTypeRef held = document ? CFDictionaryGetValue(document, key) : nullptr;
    return held && CFEqual(held, value.get());
}

std::vector<std::string> ConflictCopies() {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator("."))
        if (entry.path().filename().string().rfind(std::string(kDocumentName) + ".conflict-", 0) ==
            0)
            names.push_back(entry.path().filename().string());
    return names;
}

// One round; returns the number of failures.
int Round(int round, bool aInPlace) {
    std::printf("round %d (A saves %s)\n", round, aInPlace ? "in place" : "by rename");
    for (const std::string &name : ConflictCopies())
        fs::remove(name);
    int toParent[2], toA[2], toB[2];
    if (pipe(toParent) != 0 || pipe(toA) != 0 || pipe(toB) != 0) return 1;
    std::string logA = "a-" + std::to_string(round) + ".log";
    std::string logB = "b-" + std::to_string(round) + ".log";
    CFStringRef keyA = CFSTR("EditedByA"), keyB = CFSTR("EditedByB");
    std::string textA = "A, round " + std::to_string(round);
    std::string textB = "B, round " + std::to_string(round);

    pid_t a = StartWriter(keyA, textA.c_str(), aInPlace, logA, toParent[1], toA[0]);
    Await(toParent[0]); // A loaded
    pid_t b = StartWriter(keyB, textB.c_str(), false, logB, toParent[1], toB[0]);
    Await(toParent[0]); // B loaded
    Signal(toA[1]);
    Await(toParent[0]); // A saved
    std::string savedByA = ReadAll(kDocumentName);
    Signal(toB[1]);
    Await(toParent[0]); // B saved
    int failures = 0;
    for (pid_t child : {a, b}) {
        int status = 0;
        waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "round %d: writer %d failed (status %d)\n", round, int(child),
                         status);
            ++failures;
        }
    }
    for (int fd : {toParent[0], toParent[1], toA[0], toA[1], toB[0], toB[1]})
        close(fd);

    CFRef<CFDictionaryRef> document = Parse(ReadAll(kDocumentName));
    if (!Holds(document.get(), keyB, textB.c_str()) || Holds(document.get(), keyA, textA.c_str())) {
        std::fprintf(stderr, "round %d: the document is not B's\n", round);
        ++failures;
    }
    CFRef<CFDictionaryRef> byA = Parse(savedByA);
    if (!Holds(byA.get(), keyA, textA.c_str())) {
        std::fprintf(stderr, "round %d: A's save did not land\n", round);
        ++failures;
    }
    std::vector<std::string> copies = ConflictCopies();
    if (copies.size() != 1 || ReadAll(copies[0]) != savedByA) {
        std::fprintf(stderr, "round %d: %zu conflict copies, A's version %s\n", round,
                     copies.size(), copies.size() == 1 ? "differs from the copy" : "not kept once");
        ++failures;
    }
    std::string saidB = ReadAll(logB);
    if (copies.size() == 1 && (saidB.find("was changed by another process") == std::string::npos ||
                               saidB.find(copies[0]) == std::string::npos)) {
        std::fprintf(stderr, "round %d: B did not report the copy:\n%s\n", round, saidB.c_str());
        ++failures;
    }
    if (ReadAll(logA).find("another process") != std::string::npos) {
        std::fprintf(stderr, "round %d: A, the first to save, kept a copy\n", round);
        ++failures;
    }
    return failures;
}

} // namespace

int main() {
    char folder[] = "/tmp/vantrell-two-writers-XXXXXX";
    if (!mkdtemp(folder) || chdir(folder) != 0) {
        std::perror("two_writers: temporary folder");
        return 1;
    }
    int failures = 0;
    CFRef<CFMutableDictionaryRef> error(VTPrivate_DocumentCreate(nullptr));
    if (!error) error.Reset(VantrellSaveDocument(nullptr));
    if (error) {
        std::fprintf(stderr, "two_writers: the first document could not be saved\n");
        failures = 1;
    }
    for (int round = 1; round <= 4 && failures == 0; ++round)
        failures += Round(round, round % 2 == 0);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    std::printf("%d failures\n", failures);
    return failures == 0 ? 0 : 1;
}
