// The POSIX configured sessions: the file "trvha64/sessions" in the
// configuration directory, and the "Choose a Session" prompt, a numbered
// list on the controlling terminal, which a child of this binary shows on a
// pseudo-terminal (or without one) and the test answers as a user would.
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/configured_sessions.h"
#include "trvha64_utlapi.h"
#include "utlapi/utlapi_fixture.h"

namespace trv::test {
namespace {

constexpr auto kChildLimit = std::chrono::seconds(20);
constexpr const char* kPrompt = "Session number";

TRV_CHILD_ROLE(choose_session) {
    char buffer[64] = {};
    const std::int32_t result = UTLListSessions(0x77, buffer, sizeof buffer, "Pick one", 1);
    std::printf("result %d [%s]\n", static_cast<int>(result), buffer);
    return 0;
}

// Runs the role on a new pseudo-terminal, or (terminal false) in a new
// session without one, its output to a pipe, with the trace on (into the
// working directory) and without the unattended switch; `answer` (null:
// none) is typed once the prompt shows. Answers everything the child wrote.
std::string RunChild(bool terminal, const char* answer) {
    ScopedEnvironment attended("TRVHA64_UNATTENDED", nullptr);
    ScopedEnvironment trace("UTL_DEBUG", "yes");
    int output = -1;
    pid_t child = -1;
    if (terminal) {
        child = forkpty(&output, nullptr, nullptr, nullptr);
    } else {
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0) return "(no pipe)";
        child = fork();
        if (child == 0) {
            setsid();
            dup2(pipeEnds[1], STDOUT_FILENO);
        }
        close(pipeEnds[1]);
        output = pipeEnds[0];
    }
    if (child == 0) {
        const char* argv[] = {"utlapi_tests", "--role", "choose_session", nullptr};
        execv("/proc/self/exe", const_cast<char* const*>(argv));
        _exit(127);
    }
    if (child < 0) return "(no child)";
    const auto deadline = std::chrono::steady_clock::now() + kChildLimit;
    std::string shown;
    bool answered = answer == nullptr;
    bool ended = false;  // the child closed its output: it has exited
    while (!ended && std::chrono::steady_clock::now() < deadline) {
        pollfd ready{output, POLLIN, 0};
        if (poll(&ready, 1, 100) <= 0) continue;
        char bytes[256];
        const ssize_t n = read(output, bytes, sizeof bytes);
        ended = n <= 0;
        if (n > 0) shown.append(bytes, static_cast<std::size_t>(n));
        if (!answered && shown.find(kPrompt) != std::string::npos) {
            answered = write(output, answer, std::strlen(answer)) >= 0;
        }
    }
    if (!ended) {
        kill(child, SIGKILL);
        ADD_FAILURE() << "the child did not end in time";
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << shown;
    close(output);
    return shown;
}

// The file written by hand: comments, blank lines and malformed lines
// skipped; without it nothing is configured.
TEST_F(ConfiguredSessionsTest, FileHoldsALetterAndAPathPerLine) {
    std::ofstream(dir_.path() / "trvha64" / "sessions") << "# sessions\n\nb  /srv/p/one.ws\r\nC\t/x y/two\n"
                                                     << "DD /bad\n1 /bad\nE\n";
    const platform::ConfiguredSessions sessions = platform::ReadConfiguredSessions();
    ASSERT_TRUE(sessions.opened);
    EXPECT_EQ(sessions.profiles[1], "/srv/p/one.ws");
    EXPECT_EQ(sessions.profiles[2], "/x y/two");
    EXPECT_EQ(sessions.profiles[3], "");
    EXPECT_EQ(sessions.profiles[4], "");

    std::filesystem::remove(dir_.path() / "trvha64" / "sessions");
    EXPECT_FALSE(platform::ReadConfiguredSessions().opened);
    char buffer[16];
    EXPECT_EQ(UTLStartSession(1, "A", "N"), UTL_SYSTEM_ERROR);
    EXPECT_EQ(UTLGetSessions(1, buffer, sizeof buffer, 4), 0);
    EXPECT_EQ(UTLGetSessions(1, buffer, sizeof buffer, 1), 0);
    EXPECT_EQ(UTLGetSessionStatus(1, "A", 1), 0);
}

TEST_F(ConfiguredSessionsTest, TheUserPicksByNumberOrCancels) {
    const struct {
        const char* answer;
        const char* result;
    } rows[] = {{"2\n", "result 8 [C  sales]"}, {"1\n", "result 25 [A  C:\\profiles\\Payroll.ws]"},
                {"\n", "result 0 []"}, {"3\n", "result 0 []"}};
    for (const auto& row : rows) {
        const std::string shown = RunChild(true, row.answer);
        EXPECT_NE(shown.find("Pick one"), std::string::npos) << shown;
        EXPECT_NE(shown.find("  2  C  sales"), std::string::npos) << shown;
        EXPECT_NE(shown.find(row.result), std::string::npos) << "answer " << row.answer << ":\n" << shown;
    }
    // Both steps of the prompt are traced as the dialog procedure.
    const std::string trace = ReadWholeFile("utlTrace.log");
    EXPECT_NE(trace.find("ListSessionsProc Enter"), std::string::npos);
    EXPECT_NE(trace.find("ListSessionsProc Exit\r\nRet Code=1"), std::string::npos);
}

TEST_F(ConfiguredSessionsTest, PromptWithoutATerminalTheChoiceIsCancelled) {
    EXPECT_EQ(RunChild(false, nullptr), "result 0 []\n");
}

}  // namespace
}  // namespace trv::test
