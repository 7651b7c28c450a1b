// The POSIX "Choose a Session": a numbered list and a prompt on the
// controlling terminal. A child of this binary runs UTLListSessions (type 1,
// the configured sessions) with a pseudo-terminal as its controlling
// terminal, or with none at all; the test answers the prompt as a user would.
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
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

// The child's environment: ours, without the unattended switch, with the
// trace on (written into the scratch directory, its working directory).
std::vector<std::string> ChildEnvironment() {
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string variable = *entry;
        if (variable.rfind("TRVHA64_UNATTENDED=", 0) == 0 || variable.rfind("UTL_DEBUG=", 0) == 0) continue;
        variables.push_back(variable);
    }
    variables.push_back("UTL_DEBUG=yes");
    return variables;
}

[[noreturn]] void ExecRole(std::vector<std::string>& environment) {
    std::vector<char*> envp;
    for (std::string& variable : environment) envp.push_back(variable.data());
    envp.push_back(nullptr);
    char role[] = "--role";
    char name[] = "choose_session";
    char self[] = "utlapi_tests";
    char* argv[] = {self, role, name, nullptr};
    execve("/proc/self/exe", argv, envp.data());
    _exit(127);
}

// Waits for the child within the limit (killing it after); its exit code or -1.
int Reap(pid_t child, std::chrono::steady_clock::time_point deadline) {
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return -1;
        }
        usleep(10000);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class SessionPromptTest : public testing::Test {
protected:
    void SetUp() override {
        platform::SetEnvironment("XDG_CONFIG_HOME", dir_.path().c_str());
        ASSERT_TRUE(platform::WriteConfiguredSession('A', "/srv/profiles/Payroll.ws"));
        ASSERT_TRUE(platform::WriteConfiguredSession('C', "sales"));
    }

    // Runs the role on a new pseudo-terminal; `answer` (null: none) is typed
    // once the prompt shows. Answers everything the terminal showed.
    std::string RunOnTerminal(const char* answer) {
        std::vector<std::string> environment = ChildEnvironment();
        int master = -1;
        const pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
        if (child == 0) ExecRole(environment);
        if (child < 0) {
            ADD_FAILURE() << "forkpty failed";
            return {};
        }
        const auto deadline = std::chrono::steady_clock::now() + kChildLimit;
        std::string shown;
        bool answered = answer == nullptr;
        auto complete = [&] {
            const std::size_t result = shown.find("result ");
            return result != std::string::npos && shown.find(']', result) != std::string::npos;
        };
        while (std::chrono::steady_clock::now() < deadline && !complete()) {
            pollfd ready{master, POLLIN, 0};
            if (poll(&ready, 1, 100) <= 0) continue;
            char bytes[256];
            const ssize_t n = read(master, bytes, sizeof bytes);
            if (n <= 0) break;
            shown.append(bytes, static_cast<std::size_t>(n));
            if (!answered && shown.find(kPrompt) != std::string::npos) {
                answered = write(master, answer, std::strlen(answer)) >= 0;
            }
        }
        EXPECT_EQ(Reap(child, deadline), 0);
        close(master);
        return shown;
    }

    ScratchDirectory dir_{"utl_prompt"};
};

TEST_F(SessionPromptTest, TheUserPicksByNumberOrCancels) {
    const struct {
        const char* answer;
        const char* result;
    } rows[] = {{"2\n", "result 8 [C  sales]"}, {"1\n", "result 27 [A  /srv/profiles/Payroll.ws]"},
                {"\n", "result 0 []"}, {"3\n", "result 0 []"}, {"x\n", "result 0 []"}};
    for (const auto& row : rows) {
        const std::string shown = RunOnTerminal(row.answer);
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
    std::vector<std::string> environment = ChildEnvironment();
    int output[2];
    ASSERT_EQ(pipe(output), 0);
    const pid_t child = fork();
    if (child == 0) {
        setsid();  // a new session has no controlling terminal
        dup2(output[1], STDOUT_FILENO);
        ExecRole(environment);
    }
    ASSERT_GT(child, 0);
    close(output[1]);
    EXPECT_EQ(Reap(child, std::chrono::steady_clock::now() + kChildLimit), 0);
    std::string shown;
    char bytes[256];
    for (ssize_t n; (n = read(output[0], bytes, sizeof bytes)) > 0;) shown.append(bytes, static_cast<std::size_t>(n));
    close(output[0]);
    EXPECT_EQ(shown, "result 0 []\n");
}

}  // namespace
}  // namespace trv::test
