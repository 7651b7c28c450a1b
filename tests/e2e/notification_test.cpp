// End to end: waiting for the host, host notification and the intercepts
// with the reference emulator. The operator's side comes from the headless
// emulator's commands ("keys", "close"); the callers are roles of this
// binary defined here (RunNotificationRole).
#include <gtest/gtest.h>

#include "e2e_fixture.h"

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

[[maybe_unused]] const bool kRegistered = RegisterRoles({
    {"wait", WaitRole, 1},
    {"host_notification", HostNotificationRole, 2},
    {"close_intercept", CloseInterceptRole, 1},
    {"key_intercept", KeyInterceptRole, 2},
});

// --- the tests ----------------------------------------------------------

using NotificationEndToEnd = EmulatorEndToEnd;

TEST_F(NotificationEndToEnd, WaitIsReleasedByTheHostsAnswer) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"answer2s=A"}));
    auto caller = StartReady("wait", {"A"});
    ASSERT_TRUE(caller != nullptr);
    // The Enter leaves input inhibited until the host answers, two seconds on:
    // NWAIT answers 4 at once, TWAIT is released by the answer.
    ASSERT_EQ(emulator_->Command("keys A [enter]"), std::vector<std::string>{"OK"});
    ASSERT_TRUE(caller->WriteLine("go"));
    ExpectLines(Finish(*caller), {"connect 0", "nwait_parms 0", "nwait 4", "wait 0"});
}

// Each registration is told only of the updates it asked for: the Enter
// changes the status line at once and the screen with the host's answer,
// and ends each registration's interruptible pause (26).
TEST_F(NotificationEndToEnd, AnEnterEndsInterruptiblePausesAndIsReportedAsAsked) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    const struct {
        const char* kinds;
        const char* updates;
    } registrations[] = {{"B", "23"}, {"O", "21"}, {"P", "22"}};
    std::vector<std::unique_ptr<ChildProcess>> callers;
    for (const auto& r : registrations) {
        callers.push_back(StartReady("host_notification", {"A", r.kinds}));
        ASSERT_TRUE(callers.back() != nullptr);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // into their pauses
    ASSERT_EQ(emulator_->Command("keys A [enter]"), std::vector<std::string>{"OK"});
    for (std::size_t i = 0; i < callers.size(); ++i) {
        SCOPED_TRACE(registrations[i].kinds);
        ExpectLines(Finish(*callers[i]), {"parms 0", "start 0", "pause 26",
                                          std::string("updates ") + registrations[i].updates, "stop 0",
                                          "query_after_stop 8"});
    }
}

TEST_F(NotificationEndToEnd, AnInterceptedCloseSignalsTheEventAndIsReportedOnce) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    auto caller = StartReady("close_intercept", {"A"});
    ASSERT_TRUE(caller != nullptr);
    EXPECT_EQ(emulator_->Command("close A"), std::vector<std::string>{"intercepted"});
    // 258: not signalled; the close attempt signals the event, the query resets it.
    ExpectLines(Finish(*caller), {"start 0", "before 258", "wait 0", "query 26", "after_query 258",
                                  "query_again 0", "stop 0"});
    EXPECT_EQ(emulator_->Command("close A"), std::vector<std::string>{"closed"});
}

TEST_F(NotificationEndToEnd, InterceptedKeystrokesReachTheCallerInOrder) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    auto caller = StartReady("key_intercept", {"A", "3"});
    ASSERT_TRUE(caller != nullptr);
    ASSERT_TRUE(emulator_->Command("keys A ab[enter]").has_value());
    ASSERT_TRUE(caller->WriteLine("go"));
    Report report = Finish(*caller);
    ExpectLines(report, {"start 0", "stop 0"});
    const std::vector<std::vector<std::string>> keys = {{"0", "A", "a"}, {"0", "A", "b"}, {"0", "M", "@E"}};
    EXPECT_EQ(report.All("key"), keys);
    // Intercepted, the keys never reached the screen.
    EXPECT_EQ(emulator_->ScreenRows('A').at(5).substr(34, 2), "  ");
}

}  // namespace
}  // namespace trv::e2e
