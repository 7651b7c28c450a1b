// End to end: waiting for the host, host notification and the intercepts
// with the reference emulator. The operator's side comes from the headless
// emulator's commands ("keys", "close"); the callers are roles of this
// binary defined here (RunNotificationRole).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "caller_roles.h"
#include "e2e_fixture.h"
#include "role_support.h"
#include "trvha64.h"

namespace trv::e2e {
namespace {

// --- the caller roles ---------------------------------------------------

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

// host_notification L TYPE: registers for the updates of L that TYPE names
// ('B' both, 'O' status line, 'P' presentation space), pauses
// interruptibly until an update ends the pause, and collects what Query Host
// Update reports over the next two seconds.
int HostNotificationRole(const std::vector<std::string>& args) {
    const int32_t parms = RunText(HA_SET_SESSION_PARMS, "IPAUSE");
    unsigned char request[24] = {static_cast<unsigned char>(args[0][0]), 0, 0, 0,
                                 static_cast<unsigned char>(args[1][0])};
    const int32_t started = Run(HA_START_HOST_NOTIFY, request, 5).rc;
    Say("ready");
    Say("parms " + Num(parms));
    Say("start " + Num(started));
    Say("pause " + Num(Run(HA_PAUSE, nullptr, 40).rc));
    char name[4] = {args[0][0]};
    int32_t seen = 0;
    for (auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
         seen != HLLAPI_RC_BOTH_UPDATED && std::chrono::steady_clock::now() < deadline;) {
        seen |= Run(HA_QUERY_HOST_UPDATE, name, 1).rc;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Say("updates " + Num(seen));
    Say("stop " + Num(Run(HA_STOP_HOST_NOTIFY, name, 1).rc));
    Say("query_after_stop " + Num(Run(HA_QUERY_HOST_UPDATE, name, 1).rc));
    return 0;
}

// interruptible_pause_alone: an interruptible pause of the longest kind
// (length 0: 1,200 seconds) without any host notification started.
int InterruptiblePauseAloneRole(const std::vector<std::string>&) {
    Say("parms " + Num(RunText(HA_SET_SESSION_PARMS, "IPAUSE")));
    Say("pause " + Num(Run(HA_PAUSE, nullptr, 0).rc));
    return 0;
}

// close_intercept L: intercepts closes of L in the event form and waits on
// the event it is given until a close attempt signals it; then queries twice
// and stops.
int CloseInterceptRole(const std::vector<std::string>& args) {
    unsigned char request[24] = {static_cast<unsigned char>(args[0][0]), 0, 0, 0, 'Q'};
    const int32_t started = Run(HA_START_CLOSE_INTERCEPT, request, 16).rc;
    const uint64_t handle = started == HLLAPI_RC_SUCCESS ? HandleAt(request + 8) : 0;
    const uint32_t before = trvWaitForHandle(handle, 0);
    Say("ready");
    Say("start " + Num(started));
    Say("before " + Num(before));
    Say("wait " + Num(trvWaitForHandle(handle, 30000)));
    char name[4] = {args[0][0]};
    Say("query " + Num(Run(HA_QUERY_CLOSE_INTERCEPT, name, 1).rc));
    Say("after_query " + Num(trvWaitForHandle(handle, 0)));
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
        Say("key " + KeyWords(got, key));
    }
    char name[4] = {args[0][0]};
    Say("stop " + Num(Run(HA_STOP_KEY_INTERCEPT, name, 1).rc));
    return 0;
}

}  // namespace

bool RunNotificationRole(const std::string& name, const std::vector<std::string>& args, int* exitCode) {
    static const RoleEntry roles[] = {
        {"wait", WaitRole, 1},
        {"host_notification", HostNotificationRole, 2},
        {"interruptible_pause_alone", InterruptiblePauseAloneRole, 0},
        {"close_intercept", CloseInterceptRole, 1},
        {"key_intercept", KeyInterceptRole, 2},
    };
    return RunRoleFromTable(roles, std::size(roles), name, args, exitCode);
}

namespace {

// --- the tests ----------------------------------------------------------

using NotificationEndToEnd = EmulatorEndToEnd;

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
    auto caller = StartReady("host_notification", {"A", "B"});
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

TEST_F(NotificationEndToEnd, EachRegistrationIsToldOnlyOfTheUpdatesItAskedFor) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    auto statusLine = StartReady("host_notification", {"A", "O"});
    auto screen = StartReady("host_notification", {"A", "P"});
    ASSERT_TRUE(statusLine != nullptr && screen != nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // into their pauses
    // The Enter changes the status line at once and the screen with the host's answer.
    ASSERT_EQ(emulator_->Command("keys A [enter]"), std::vector<std::string>{"OK"});
    Report statusReport = Finish(*statusLine);
    Report screenReport = Finish(*screen);
    EXPECT_EQ(statusReport.Joined("start"), "0");
    EXPECT_EQ(statusReport.Joined("pause"), "26");
    EXPECT_EQ(statusReport.Joined("updates"), "21") << "registered for the status line only";
    EXPECT_EQ(screenReport.Joined("start"), "0");
    EXPECT_EQ(screenReport.Joined("pause"), "26");
    EXPECT_EQ(screenReport.Joined("updates"), "22") << "registered for the presentation space only";
    EXPECT_EQ(screenReport.Joined("stop"), "0");
}

TEST_F(NotificationEndToEnd, AnInterruptiblePauseWithoutHostNotificationFailsAtOnce) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    // Were the pause to sleep, the role would outlast its time limit.
    Report report = RunCaller("interruptible_pause_alone");
    EXPECT_EQ(report.Joined("parms"), "0");
    EXPECT_EQ(report.Joined("pause"), "9");
}

TEST_F(NotificationEndToEnd, AnInterceptedCloseSignalsTheEventAndIsReportedOnce) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    auto caller = StartReady("close_intercept", {"A"});
    ASSERT_TRUE(caller != nullptr);
    EXPECT_EQ(emulator_->Command("close A"), std::vector<std::string>{"intercepted"});
    Report report = Finish(*caller);
    EXPECT_EQ(report.Joined("start"), "0");
    EXPECT_EQ(report.Joined("before"), "258") << "not signalled before the close attempt";
    EXPECT_EQ(report.Joined("wait"), "0") << "the close attempt signals the intercept's event";
    EXPECT_EQ(report.Joined("query"), "26");
    EXPECT_EQ(report.Joined("after_query"), "258") << "the query resets the event";
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
