// End to end: waiting for the host, host notification and the intercepts
// with the reference emulator. The operator's side comes from the headless
// emulator's commands ("keys", "close"); the callers are roles of this
// binary defined here (RunNotificationRole).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "caller_roles.h"
#include "e2e_fixture.h"
#include "trvha64.h"

namespace trv::e2e {
namespace {

// --- the caller roles ---------------------------------------------------

struct Outcome {
    int32_t rc;
    int32_t length;
};

Outcome Run(int32_t function, void* data, int32_t length) {
    int32_t fn = function;
    int32_t len = length;
    int32_t rc = 0;
    hllapi(&fn, static_cast<char*>(data), &len, &rc);
    return {rc, len};
}

int32_t RunText(int32_t function, const std::string& text) {
    std::vector<char> data(text.begin(), text.end());
    data.resize(64, '\0');
    return Run(function, data.data(), static_cast<int32_t>(text.size())).rc;
}

void Say(const std::string& line) { std::cout << line << std::endl; }
std::string Num(long long value) { return std::to_string(value); }

void AwaitGo() {
    std::string line;
    std::getline(std::cin, line);
}

// wait L: connected to L, waits for the test's go-ahead (input is then
// inhibited by an Enter), and waits with NWAIT and then with TWAIT.
int WaitRole(const std::vector<std::string>& args) {
    const int32_t connected = RunText(HA_CONNECT_PS, args[0]);
    Say("ready");
    Say("connect " + Num(connected));
    AwaitGo();
    Say("nwait_parms " + Num(RunText(HA_SET_SESSION_PARMS, "NWAIT")));
    Say("nwait " + Num(Run(HA_WAIT, nullptr, 0).rc));
    Say("twait_parms " + Num(RunText(HA_SET_SESSION_PARMS, "TWAIT")));
    Say("wait " + Num(Run(HA_WAIT, nullptr, 0).rc));
    return 0;
}

// host_notification L: registers for both kinds of update of L, then pauses
// interruptibly until an update ends the pause, and collects what Query
// Host Update reports over the next seconds.
int HostNotificationRole(const std::vector<std::string>& args) {
    const int32_t parms = RunText(HA_SET_SESSION_PARMS, "IPAUSE");
    unsigned char request[24] = {static_cast<unsigned char>(args[0][0]), 0, 0, 0, 'B'};
    const int32_t started = Run(HA_START_HOST_NOTIFY, request, 5).rc;
    Say("ready");
    Say("parms " + Num(parms));
    Say("start " + Num(started));
    Say("pause " + Num(Run(HA_PAUSE, nullptr, 40).rc));
    char name[4] = {args[0][0]};
    int32_t seen = 0;
    for (auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
         seen != HLLAPI_RC_BOTH_UPDATED && std::chrono::steady_clock::now() < deadline;) {
        seen |= Run(HA_QUERY_HOST_UPDATE, name, 1).rc;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Say("updates " + Num(seen));
    Say("stop " + Num(Run(HA_STOP_HOST_NOTIFY, name, 1).rc));
    Say("query_after_stop " + Num(Run(HA_QUERY_HOST_UPDATE, name, 1).rc));
    return 0;
}

// close_intercept L: intercepts closes of L (event form), waits for the
// go-ahead, queries twice and stops.
int CloseInterceptRole(const std::vector<std::string>& args) {
    unsigned char request[24] = {static_cast<unsigned char>(args[0][0]), 0, 0, 0, 'Q'};
    const int32_t started = Run(HA_START_CLOSE_INTERCEPT, request, 16).rc;
    Say("ready");
    Say("start " + Num(started));
    AwaitGo();
    char name[4] = {args[0][0]};
    Say("query " + Num(Run(HA_QUERY_CLOSE_INTERCEPT, name, 1).rc));
    Say("query_again " + Num(Run(HA_QUERY_CLOSE_INTERCEPT, name, 1).rc));
    Say("stop " + Num(Run(HA_STOP_CLOSE_INTERCEPT, name, 1).rc));
    return 0;
}

// key_intercept L COUNT: intercepts every keystroke of L, waits for the
// go-ahead, reads COUNT keys and stops.
int KeyInterceptRole(const std::vector<std::string>& args) {
    unsigned char request[24] = {static_cast<unsigned char>(args[0][0]), 0, 0, 0, 'L'};
    const int32_t started = Run(HA_START_KEY_INTERCEPT, request, 0).rc;
    Say("ready");
    Say("start " + Num(started));
    AwaitGo();
    const int count = std::stoi(args[1]);
    for (int i = 0; i < count; ++i) {
        unsigned char key[16] = {static_cast<unsigned char>(args[0][0])};
        Outcome got = Run(HA_GET_KEY, key, sizeof key);
        Say("key " + Num(got.rc) + " " + std::string(1, static_cast<char>(key[4])) + " " +
            std::string(reinterpret_cast<const char*>(key + 5), got.length > 0 ? static_cast<std::size_t>(got.length) : 0));
    }
    char name[4] = {args[0][0]};
    Say("stop " + Num(Run(HA_STOP_KEY_INTERCEPT, name, 1).rc));
    return 0;
}

}  // namespace

bool RunNotificationRole(const std::string& name, const std::vector<std::string>& args, int* exitCode) {
    using Role = int (*)(const std::vector<std::string>&);
    struct Entry {
        const char* name;
        Role role;
        std::size_t arguments;
    };
    static const Entry roles[] = {
        {"wait", WaitRole, 1},
        {"host_notification", HostNotificationRole, 1},
        {"close_intercept", CloseInterceptRole, 1},
        {"key_intercept", KeyInterceptRole, 2},
    };
    for (const Entry& entry : roles) {
        if (name != entry.name) continue;
        const bool valid = args.size() == entry.arguments && args[0].size() == 1;
        *exitCode = valid ? entry.role(args) : 2;
        return true;
    }
    return false;
}

namespace {

// --- the tests ----------------------------------------------------------

class NotificationEndToEnd : public EmulatorEndToEnd {
protected:
    std::unique_ptr<ChildProcess> StartReady(const std::string& role, const std::vector<std::string>& args) {
        auto caller = StartCaller(space_, role, args);
        EXPECT_TRUE(caller != nullptr);
        if (caller && !caller->ReadUntil("ready", kCallerLimit).has_value()) {
            ADD_FAILURE() << "role " << role << " did not get ready";
            caller.reset();
        }
        return caller;
    }
    Report Finish(ChildProcess& caller) {
        Report report;
        EXPECT_EQ(caller.Wait(kCallerLimit), 0);
        report.Add(caller.ReadRemainingLines(Milliseconds(1000)));
        return report;
    }
};

TEST_F(NotificationEndToEnd, WaitIsReleasedByTheHostsAnswer) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"answer2s=A"}));
    auto caller = StartReady("wait", {"A"});
    ASSERT_TRUE(caller != nullptr);
    // The Enter leaves input inhibited until the host answers, two seconds on.
    ASSERT_EQ(emulator_->Command("keys A [enter]"), std::vector<std::string>{"OK"});
    ASSERT_TRUE(caller->WriteLine("go"));
    Report report = Finish(*caller);
    EXPECT_EQ(report.Joined("connect"), "0");
    EXPECT_EQ(report.Joined("nwait_parms"), "0");
    EXPECT_EQ(report.Joined("nwait"), "4") << "input was inhibited";
    EXPECT_EQ(report.Joined("wait"), "0") << "released by the host's answer";
}

TEST_F(NotificationEndToEnd, AnEnterEndsAnInterruptiblePauseAndIsReported) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    auto caller = StartReady("host_notification", {"A"});
    ASSERT_TRUE(caller != nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // into its pause
    ASSERT_EQ(emulator_->Command("keys A [enter]"), std::vector<std::string>{"OK"});
    Report report = Finish(*caller);
    EXPECT_EQ(report.Joined("parms"), "0");
    EXPECT_EQ(report.Joined("start"), "0");
    EXPECT_EQ(report.Joined("pause"), "26");
    EXPECT_EQ(report.Joined("updates"), "23") << "screen and status line both changed";
    EXPECT_EQ(report.Joined("stop"), "0");
    EXPECT_EQ(report.Joined("query_after_stop"), "8");
}

TEST_F(NotificationEndToEnd, AnInterceptedCloseIsReportedOnce) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    auto caller = StartReady("close_intercept", {"A"});
    ASSERT_TRUE(caller != nullptr);
    EXPECT_EQ(emulator_->Command("close A"), std::vector<std::string>{"intercepted"});
    ASSERT_TRUE(caller->WriteLine("go"));
    Report report = Finish(*caller);
    EXPECT_EQ(report.Joined("start"), "0");
    EXPECT_EQ(report.Joined("query"), "26");
    EXPECT_EQ(report.Joined("query_again"), "0");
    EXPECT_EQ(report.Joined("stop"), "0");
    EXPECT_EQ(emulator_->Command("close A"), std::vector<std::string>{"closed"});
}

TEST_F(NotificationEndToEnd, InterceptedKeystrokesReachTheCallerInOrder) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    auto caller = StartReady("key_intercept", {"A", "3"});
    ASSERT_TRUE(caller != nullptr);
    auto typed = emulator_->Command("keys A ab[enter]");
    ASSERT_TRUE(typed.has_value());
    ASSERT_TRUE(caller->WriteLine("go"));
    Report report = Finish(*caller);
    EXPECT_EQ(report.Joined("start"), "0");
    auto keys = report.All("key");
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys[0], (std::vector<std::string>{"0", "A", "a"}));
    EXPECT_EQ(keys[1], (std::vector<std::string>{"0", "A", "b"}));
    EXPECT_EQ(keys[2], (std::vector<std::string>{"0", "M", "@E"}));
    EXPECT_EQ(report.Joined("stop"), "0");
    // Intercepted, the keys never reached the screen.
    EXPECT_EQ(emulator_->ScreenRows('A').at(5).substr(34, 2), "  ");
}

}  // namespace
}  // namespace trv::e2e
