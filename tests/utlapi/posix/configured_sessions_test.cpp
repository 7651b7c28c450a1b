// The POSIX configured sessions: the file "trvha64/sessions" in the
// configuration directory, what UTLAPI answers without it, and the "Choose a
// Session" prompt, a numbered list on the controlling terminal. For the
// prompt a child of this binary runs UTLListSessions (type 1, the configured
// sessions) with a pseudo-terminal as its controlling terminal, or with none
// at all; the test answers the prompt as a user would.
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
#include <vector>

#include "platform/configured_sessions.h"
#include "platform/environment.h"
#include "trvha64_utlapi.h"
#include "utlapi/utlapi_fixture.h"

extern char** environ;

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

// Runs the role with our environment, without the unattended switch and with
// the trace on (written into the scratch directory, its working directory).
[[noreturn]] void ExecRole() {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string variable = *entry;
        if (variable.rfind("TRVHA64_UNATTENDED=", 0) == 0 || variable.rfind("UTL_DEBUG=", 0) == 0) continue;
        environment.push_back(variable);
    }
    environment.push_back("UTL_DEBUG=yes");
    std::vector<char*> envp;
    for (std::string& variable : environment) envp.push_back(variable.data());
    envp.push_back(nullptr);
    char self[] = "utlapi_tests";
    char role[] = "--role";
    char name[] = "choose_session";
    char* argv[] = {self, role, name, nullptr};
    execve("/proc/self/exe", argv, envp.data());
    _exit(127);
}

// Runs the role on a new pseudo-terminal, or (terminal false) in a new
// session without one, its output to a pipe; `answer` (null: none) is typed
// once the prompt shows. Answers everything the child wrote.
std::string RunChild(bool terminal, const char* answer) {
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
    if (child == 0) ExecRole();
    if (child < 0) return "(no child)";
    const auto deadline = std::chrono::steady_clock::now() + kChildLimit;
    std::string shown;
    bool answered = answer == nullptr;
    auto complete = [&] {
        const std::size_t result = shown.find("result ");
        return result != std::string::npos && shown.find(']', result) != std::string::npos;
    };
    while (std::chrono::steady_clock::now() < deadline && !complete()) {
        pollfd ready{output, POLLIN, 0};
        if (poll(&ready, 1, 100) <= 0) continue;
        char bytes[256];
        const ssize_t n = read(output, bytes, sizeof bytes);
        if (n <= 0) break;
        shown.append(bytes, static_cast<std::size_t>(n));
        if (!answered && shown.find(kPrompt) != std::string::npos) {
            answered = write(output, answer, std::strlen(answer)) >= 0;
        }
    }
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            ADD_FAILURE() << "the child did not end in time";
            break;
        }
        usleep(10000);
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << shown;
    close(output);
    return shown;
}

class SessionPromptTest : public testing::Test {
protected:
    void SetUp() override {
        platform::SetEnvironment("XDG_CONFIG_HOME", dir_.path().c_str());
        ASSERT_TRUE(platform::WriteConfiguredSession('A', "/srv/profiles/Payroll.ws"));
        ASSERT_TRUE(platform::WriteConfiguredSession('C', "sales"));
    }
    ScratchDirectory dir_{"utl_prompt"};
};

TEST(ConfiguredSessionsFile, WithoutTheFileNothingIsConfigured) {
    ScratchDirectory dir("utl_nofile");
    platform::SetEnvironment("XDG_CONFIG_HOME", dir.path().c_str());
    EXPECT_FALSE(platform::ReadConfiguredSessions().opened);
    char buffer[16];
    EXPECT_EQ(UTLStartSession(1, "A", "N"), UTL_SYSTEM_ERROR);
    EXPECT_EQ(UTLGetSessions(1, buffer, sizeof buffer, 4), 0);
    EXPECT_EQ(UTLGetSessions(1, buffer, sizeof buffer, 1), 0);
    EXPECT_EQ(UTLGetSessionStatus(1, "A", 1), 0);
}

TEST(ConfiguredSessionsFile, ReadsLetterAndPathPerLine) {
    ScratchDirectory dir("utl_file");
    platform::SetEnvironment("XDG_CONFIG_HOME", dir.path().c_str());
    std::filesystem::create_directories(dir.path() / "trvha64");
    std::ofstream(dir.path() / "trvha64" / "sessions") << "# sessions\n\nb  /srv/p/one.ws\r\nC\t/x y/two\n"
                                                    << "DD /bad\n1 /bad\nE\n";
    const platform::ConfiguredSessions sessions = platform::ReadConfiguredSessions();
    ASSERT_TRUE(sessions.opened);
    EXPECT_EQ(sessions.profiles[1], "/srv/p/one.ws");
    EXPECT_EQ(sessions.profiles[2], "/x y/two");
    EXPECT_EQ(sessions.profiles[3], "");
    EXPECT_EQ(sessions.profiles[4], "");
}

TEST_F(SessionPromptTest, TheUserPicksByNumberOrCancels) {
    const struct {
        const char* answer;
        const char* result;
    } rows[] = {{"2\n", "result 8 [C  sales]"}, {"1\n", "result 27 [A  /srv/profiles/Payroll.ws]"},
                {"\n", "result 0 []"}, {"3\n", "result 0 []"}, {"x\n", "result 0 []"}};
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

TEST_F(SessionPromptTest, WithoutATerminalTheChoiceIsCancelled) {
    EXPECT_EQ(RunChild(false, nullptr), "result 0 []\n");
}

}  // namespace
}  // namespace trv::test
