// End to end, under load: caller processes of several threads each (one
// reading the screen, one intercepting keystrokes, one waiting and pausing)
// against two sessions, some killed outright at random moments, for a fixed
// number of rounds. Afterwards every survivor's calls have answered, no
// session stays held by the dead, a full table's worth of new callers all
// get an exchange block, and the operator's keyboard still types.
#include <gtest/gtest.h>

#include <atomic>
#include <random>

#include "e2e_fixture.h"

namespace trv::e2e {
namespace {

constexpr int kRounds = 3;
constexpr int kCallersPerRound = 4;
constexpr int kThreadsPerCaller = 3;
// Callers of a new process: as many as the application table has blocks.
constexpr int kTableBlocks = 26;

int32_t TextOnThread(int32_t function, const std::string& text) {
    std::vector<char> data(text.begin(), text.end());
    data.resize(HLLAPI_MAX_DATA, '\0');
    return RunOnThread(function, data.data(), static_cast<int32_t>(text.size())).rc;
}

// stress_caller L M: three threads with blocks of their own until "stop"
// arrives (or the process is killed): one connected to L reads the screen
// and the cursor, one intercepts M's keystrokes and polls for them, one
// waits on L and pauses. Reports each thread's last answers when stopped.
int StressCallerRole(const std::vector<std::string>& args) {
    const char screenSession = args[0][0];
    const char keySession = args[1][0];
    std::atomic<bool> stop{false};
    std::atomic<int> started{0};
    std::vector<std::string> last(kThreadsPerCaller);
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
        const int32_t connect = TextOnThread(HA_CONNECT_PS, std::string(1, screenSession));
        ++started;
        int32_t copy = -1;
        std::vector<char> screen(HLLAPI_MAX_DATA);
        while (!stop) copy = RunOnThread(HA_COPY_PS, screen.data(), 1920).rc;
        const int32_t cursor = RunOnThread(HA_QUERY_CURSOR_LOC, nullptr, 0).rc;
        last[0] = "screen " + Num(connect) + " " + Num(copy) + " " + Num(cursor);
    });
    threads.emplace_back([&] {
        TextOnThread(HA_SET_SESSION_PARMS, "NWAIT");
        unsigned char request[24] = {static_cast<unsigned char>(keySession), 0, 0, 0, 'D'};
        const int32_t start = RunOnThread(HA_START_KEY_INTERCEPT, request, sizeof request).rc;
        ++started;
        int32_t got = -1;
        while (!stop) {
            unsigned char key[16] = {static_cast<unsigned char>(keySession)};
            got = RunOnThread(HA_GET_KEY, key, sizeof key).rc;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        char name[4] = {keySession};
        const int32_t stopped = RunOnThread(HA_STOP_KEY_INTERCEPT, name, 1).rc;
        last[1] = "keys " + Num(start) + " " + Num(got) + " " + Num(stopped);
    });
    threads.emplace_back([&] {
        const int32_t connect = TextOnThread(HA_CONNECT_PS, std::string(1, keySession));
        ++started;
        int32_t waited = -1;
        int32_t paused = -1;
        while (!stop) {
            waited = RunOnThread(HA_WAIT, nullptr, 0).rc;
            paused = RunOnThread(HA_PAUSE, nullptr, 1).rc;
        }
        last[2] = "wait " + Num(connect) + " " + Num(waited) + " " + Num(paused);
    });
    while (started < kThreadsPerCaller) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    Say("ready");
    AwaitGo();
    stop = true;
    for (auto& thread : threads) thread.join();
    for (const auto& line : last) Say(line);
    Say("stopped");
    return 0;
}

// table_check: one thread per block of the table, each with a call of its
// own (Query Sessions needs an exchange block); reports the answers.
int TableCheckRole(const std::vector<std::string>&) {
    std::vector<int32_t> answers(kTableBlocks, -1);
    std::vector<std::thread> threads;
    std::atomic<int> arrived{0};
    for (int i = 0; i < kTableBlocks; ++i) {
        threads.emplace_back([&, i] {
            std::vector<char> data(HLLAPI_MAX_DATA);
            // Each thread keeps its block until all have one.
            RunOnThread(HA_QUERY_SESSIONS, data.data(), 16 * 26);
            ++arrived;
            while (arrived < kTableBlocks) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            answers[i] = RunOnThread(HA_QUERY_SESSIONS, data.data(), 16 * 26).rc;
        });
    }
    for (auto& thread : threads) thread.join();
    std::string line = "answers";
    for (int32_t answer : answers) line += " " + Num(answer);
    Say(line);
    Say("connect_a " + Num(RunText(HA_CONNECT_PS, "A")));
    Say("connect_b " + Num(RunText(HA_CONNECT_PS, "B")));
    return 0;
}

[[maybe_unused]] const bool kRegistered = RegisterRoles({
    {"stress_caller", StressCallerRole, 2},
    {"table_check", TableCheckRole, 0},
});

TEST_F(EmulatorEndToEnd, CallersKilledAtRandomUnderLoadLeaveNothingHeld) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A", "demo=B"}));
    std::mt19937 random(20261206);
    for (int round = 0; round < kRounds; ++round) {
        std::vector<std::unique_ptr<ChildProcess>> callers;
        for (int i = 0; i < kCallersPerRound; ++i) {
            const bool aFirst = (i % 2) == 0;
            callers.push_back(StartReady("stress_caller", {aFirst ? "A" : "B", aFirst ? "B" : "A"}));
            ASSERT_TRUE(callers.back() != nullptr) << "round " << round << " caller " << i;
        }
        // Half of them die at random moments while their threads are busy.
        for (int i = 1; i < kCallersPerRound; i += 2) {
            std::this_thread::sleep_for(std::chrono::milliseconds(random() % 300));
            callers[i]->Kill();
        }
        for (int i = 0; i < kCallersPerRound; i += 2) {
            ASSERT_TRUE(callers[i]->WriteLine("go"));
            Report report = Finish(*callers[i]);
            SCOPED_TRACE("round " + std::to_string(round) + " caller " + std::to_string(i));
            for (const char* key : {"stopped", "screen", "keys", "wait"}) EXPECT_EQ(report.All(key).size(), 1u) << key;
            // The survivor's own intercept ends cleanly.
            const auto keys = report["keys"];
            if (keys.size() == 3) {
                EXPECT_EQ(keys[2], "0");
            }
        }
    }

    // No session stays held, and the dead left no blocks in the way.
    Report check = RunCaller("table_check");
    const auto answers = check["answers"];
    ASSERT_EQ(answers.size(), static_cast<std::size_t>(kTableBlocks));
    for (std::size_t i = 0; i < answers.size(); ++i) EXPECT_EQ(answers[i], "0") << "thread " << i;
    ExpectLines(check, {"connect_a 0", "connect_b 0"});

    // The operator's keys reach the screen: no dead intercept swallows them.
    for (const char* letter : {"A", "B"}) {
        EXPECT_EQ(emulator_->Command(std::string("keys ") + letter + " ZQ"), std::vector<std::string>{"OK"});
        const auto screen = emulator_->Command(std::string("show ") + letter);
        ASSERT_TRUE(screen.has_value());
        bool typed = false;
        for (const auto& line : *screen) typed = typed || line.find("ZQ") != std::string::npos;
        EXPECT_TRUE(typed) << "the operator's keys did not reach session " << letter;
    }
}

}  // namespace
}  // namespace trv::e2e
