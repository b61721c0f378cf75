// Running outside programs: output decoding, the language setting, and that
// the host's standard input, children and process survive the call.
#include <Vantrell/Vantrell.h>
#include <gtest/gtest.h>

#include "platform/values/Holder.h"
#include "support/TestSupport.h"
#include "utilities/UtilitiesPrivate.h"

#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using vt::CFRef;
using vt::test::StringOf;

namespace {

std::string Script(const std::string &command) {
    CFRef<CFMutableStringRef> result(VTU_DoShellScript(nullptr, command.c_str()));
    return StringOf(result.get());
}

std::string Exec(const char *path, std::vector<const char *> arguments) {
    CFRef<CFArrayRef> array(CFArrayCreate(nullptr,
                                          reinterpret_cast<const void **>(arguments.data()),
                                          CFIndex(arguments.size()), nullptr));
    CFRef<CFMutableStringRef> result(VTU_ExecCommand(nullptr, path, array.get()));
    return StringOf(result.get());
}

std::string Shell(const std::string &command) {
    return Exec("/bin/sh", {"sh", "-c", command.c_str()});
}

std::string Repeat(const std::string &text, size_t count) {
    std::string out;
    for (size_t i = 0; i < count; ++i)
        out += text;
    return out;
}

} // namespace

TEST(Shell, ScriptReturnsOutputAndSetsLanguage) {
    vt::test::ScopedEnvironment language("LANG", "C");
    EXPECT_EQ(Script("printf 'one\\ntwo\\n'"), "one\ntwo\n");
    EXPECT_STREQ(getenv("LANG"), "en_US.UTF-8");
    EXPECT_EQ(Script("true"), "");
    EXPECT_EQ(Script("/nonexistent/program 2>/dev/null"), "");
    EXPECT_EQ(Script("printf %s \"$LANG\""), "en_US.UTF-8");
    CFRef<CFMutableStringRef> none(VTU_DoShellScript(nullptr, nullptr));
    EXPECT_EQ(StringOf(none.get()), "");
}

// The script is read in 255-byte pieces: these lines split characters there.
TEST(Shell, ScriptKeepsCharactersSplitBetweenPieces) {
    std::string euro = Repeat("a", 254) + "€" + Repeat("b", 300);
    EXPECT_EQ(Script("printf '%s\\n' '" + euro + "'"), euro + "\n");
    std::string face = Repeat("a", 253) + "😀" + Repeat("b", 3);
    EXPECT_EQ(Script("printf '%s' '" + face + "'"), face);
    std::string accents = Repeat("é", 700);
    EXPECT_EQ(Script("printf '%s' '" + accents + "'"), accents);
}

TEST(Shell, InvalidBytesBecomeOneReplacementEach) {
    // A bad lead byte; a truncated sequence; a surrogate (one per byte); an
    // overlong form; a sequence cut off by the end of output.
    EXPECT_EQ(Script("printf 'a\\377b\\342\\202c\\355\\240\\200d\\300\\257e\\360\\237'"),
              "a\uFFFDb\uFFFDc\uFFFD\uFFFD\uFFFDd\uFFFD\uFFFDe\uFFFD");
}

TEST(Shell, ExecPassesArgumentsAndReturnsOutput) {
    vt::test::ScopedEnvironment language("LANG", "C");
    EXPECT_EQ(Exec("/usr/bin/printf", {"printf", "%s-%s", "a", "b"}), "a-b");
    EXPECT_EQ(Exec("/bin/sh", {"zero", "-c", "printf %s \"$0\""}), "zero");
    EXPECT_EQ(Shell("printf 'one\\ntwo\\n'"), "one\ntwo\n");
    EXPECT_EQ(Exec("/bin/true", {"true"}), "");
    EXPECT_EQ(Shell("printf %s \"$LANG\""), "en_US.UTF-8");
    EXPECT_STREQ(getenv("LANG"), "en_US.UTF-8");
}

TEST(Shell, ExecWithoutPathOrArrayStartsNothing) {
    vt::test::ScopedEnvironment language("LANG", "C");
    const void *values[] = {"true"};
    CFRef<CFArrayRef> array(CFArrayCreate(nullptr, values, 1, nullptr));
    for (CFMutableStringRef result :
         {VTU_ExecCommand(nullptr, "/bin/true", nullptr),
          VTU_ExecCommand(nullptr, nullptr, array.get()),
          VTU_ExecCommand(nullptr, "/bin/true", reinterpret_cast<CFArrayRef>(CFSTR("x")))}) {
        EXPECT_EQ(StringOf(result), "");
        if (result) CFRelease(result);
    }
    EXPECT_STREQ(getenv("LANG"), "C");
}

// Output arrives in one write and is read in 1024-byte pieces.
TEST(Shell, ExecKeepsCharactersSplitBetweenPieces) {
    std::string euro = Repeat("a", 1023) + "€" + Repeat("b", 1500);
    EXPECT_EQ(Exec("/usr/bin/printf", {"printf", "%s", euro.c_str()}), euro);
    std::string face = Repeat("a", 1022) + "😀";
    EXPECT_EQ(Exec("/usr/bin/printf", {"printf", "%s", face.c_str()}), face);
    // Appended rather than "x" + Repeat(...): GCC 12 at -O3 warns falsely
    // (-Wrestrict) about prepending to a temporary string.
    std::string accents = "x";
    accents += Repeat("é", 1500);
    EXPECT_EQ(Exec("/usr/bin/printf", {"printf", "%s", accents.c_str()}), accents);
}

TEST(Shell, ExecLeavesStandardInputAndDescriptorsAlone) {
    int saved = dup(STDIN_FILENO);
    int input[2];
    ASSERT_EQ(pipe(input), 0);
    ASSERT_EQ(write(input[1], "kept\n", 5), 5);
    close(input[1]);
    dup2(input[0], STDIN_FILENO);
    close(input[0]);
    vt::test::TempFolder temp;
    int open = ::open(temp.Join("f").c_str(), O_CREAT | O_RDWR, 0600);
    ASSERT_GE(open, 3);
    std::string test =
        "test -e /proc/self/fd/" + std::to_string(open) + " && echo open || echo closed";
    EXPECT_EQ(Shell(test), "closed\n");
    EXPECT_EQ(Shell("echo out"), "out\n");
    char line[16] = {};
    EXPECT_STREQ(fgets(line, sizeof line, stdin), "kept\n");
    close(open);
    dup2(saved, STDIN_FILENO);
    close(saved);
    clearerr(stdin);
}

TEST(Shell, ExecWaitsForItsOwnChildOnly) {
    pid_t mine = fork();
    ASSERT_GE(mine, 0);
    if (mine == 0) _exit(7);
    EXPECT_EQ(Shell("sleep 0.3; echo done"), "done\n");
    int status = 0;
    ASSERT_EQ(waitpid(mine, &status, 0), mine);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 7);
}

TEST(Shell, MissingProgramEndsOnlyItsChild) {
    vt::test::TempFolder temp;
    pid_t host = getpid();
    std::string result = Exec("/nonexistent/program", {"program"});
    // A child that came back from a failed start would run on from here.
    if (getpid() != host) {
        vt::test::WriteFile(temp.Join("child-returned"), "x");
        _exit(0);
    }
    EXPECT_EQ(result, "");
    EXPECT_FALSE(vt::test::Exists(temp.Join("child-returned")));
    EXPECT_EQ(Shell("echo still"), "still\n");
}

// No new process for an unprivileged user with a process limit of 0; root
// ignores the limit, so the check drops to another user first. Exits 0 when
// the call survives with an empty result.
[[noreturn]] void ExecWithoutProcesses() {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
    rlimit none{0, 0};
    if (setrlimit(RLIMIT_NPROC, &none) != 0) _exit(3);
    std::string result = Exec("/bin/true", {"true"});
    _exit(result.empty() ? 0 : 1);
}

TEST(Shell, ForkFailureIsReportedAndTheHostGoesOn) {
    EXPECT_EXIT(ExecWithoutProcesses(), testing::ExitedWithCode(0), "Can't fork\n");
}
