// End to end: the event and message forms of the notifications, waited for
// the way a Linux application does (trvWaitForHandle, trvGetMessage on a
// window of trvCreateMessageWindow), with the reference emulator causing the
// events: "keys" for host updates and keystrokes, "close" for close attempts.
#include <gtest/gtest.h>

#include <algorithm>
#include <future>

#include "e2e_fixture.h"

namespace trv::e2e {
namespace {

constexpr uint32_t kNotificationLimitMs = 30000;

// --- the caller roles ---------------------------------------------------

// host_event L: host notification of L in the event form, for both kinds of
// update; waits on the event until an update signals it, then lets the host
// answer in full before querying.
int HostEventRole(const std::vector<std::string>& args) {
    const auto letter = static_cast<unsigned char>(args[0][0]);
    const int32_t connected = RunText(HA_CONNECT_PS, args[0]);
    unsigned char request[24] = {letter, 0, 0, 0, 'A'};
    request[16] = 'B';
    const int32_t started = Run(HA_START_HOST_NOTIFY, request, sizeof request).rc;
    const uint64_t handle = started == HLLAPI_RC_SUCCESS ? HandleAt(request + 8) : 0;
    const uint32_t before = trvWaitForHandle(handle, 0);
    Say("ready");
    Say("connect " + Num(connected));
    Say("start " + Num(started));
    Say("before " + Num(before));
    Say("wait " + Num(trvWaitForHandle(handle, kNotificationLimitMs)));
    // Input is free again once the host's answer has been painted and reported.
    Say("input_free " + Num(Run(HA_WAIT, nullptr, 0).rc));
    char name[4] = {args[0][0]};
    Say("query " + Num(Run(HA_QUERY_HOST_UPDATE, name, 1).rc));
    Say("after_query " + Num(trvWaitForHandle(handle, 0)));
    Say("stop " + Num(Run(HA_STOP_HOST_NOTIFY, name, 1).rc));
    Say("after_stop " + Num(trvWaitForHandle(handle, 0)));
    return 0;
}

// A host notification of another exchange block of this process (the
// per-thread entry, on a thread of its own) for as long as the object lives,
// so that the role's own registration comes second in the session's list.
class OtherBlockRegistration {
public:
    explicit OtherBlockRegistration(char letter)
        : thread_([this, letter] { Body(letter); }), started_(startedValue_.get_future().get()) {}
    ~OtherBlockRegistration() {
        release_.set_value();
        thread_.join();
    }
    OtherBlockRegistration(const OtherBlockRegistration&) = delete;
    OtherBlockRegistration& operator=(const OtherBlockRegistration&) = delete;
    int32_t started() const { return started_; }

private:
    void Body(char letter) {
        unsigned char request[24] = {static_cast<unsigned char>(letter), 0, 0, 0, 'B'};
        startedValue_.set_value(RunOnThread(HA_START_HOST_NOTIFY, request, 5).rc);
        release_.get_future().wait();
        char name[4] = {letter};
        RunOnThread(HA_STOP_HOST_NOTIFY, name, 1);
    }

    std::promise<int32_t> startedValue_;
    std::promise<void> release_;
    std::thread thread_;
    int32_t started_;
};

// Takes messages until one of each wanted kind (by lParam) has come or the
// limit passes. Reports the first of each kind as "message_<lParam> <wParam>
// <to our window: 1/0> <numbered QMXHLL: 1/0>", and any other kind as
// "unexpected <message> <wParam> <lParam>".
void CollectNotifications(uintptr_t window, uint32_t notification, std::vector<intptr_t> wanted) {
    std::map<intptr_t, bool> seen;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kNotificationLimitMs);
    while (seen.size() < wanted.size()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        trvMessage message{};
        if (left.count() <= 0 || trvGetMessage(&message, static_cast<uint32_t>(left.count())) != 1) break;
        const bool isWanted = std::find(wanted.begin(), wanted.end(), message.lParam) != wanted.end();
        if (!isWanted) {
            Say("unexpected " + Num(message.message) + " " +
                Num(static_cast<long long>(message.wParam)) + " " + Num(message.lParam));
        } else if (seen.emplace(message.lParam, true).second) {
            Say("message_" + Num(message.lParam) + " " + Num(static_cast<long long>(message.wParam)) + " " +
                Num(message.window == window) + " " + Num(message.message == notification));
        }
    }
}

// message_forms L: on one window of its own, host notification (second in
// the session's list), close intercept and keystroke intercept of L in the
// message form. Reports the close and keystroke messages, stops both
// intercepts ("intercepts_stopped"), then reports the host-update messages.
int MessageFormsRole(const std::vector<std::string>& args) {
    const char letter = args[0][0];
    const uintptr_t window = trvCreateMessageWindow();
    const uint32_t notification = trvRegisterWindowMessage("QMXHLL");
    // The process's own block comes first: made later, it would be found as
    // the other thread's block (a process-wide block is looked up by process).
    const int32_t parms = RunText(HA_SET_SESSION_PARMS, "TWAIT");
    OtherBlockRegistration other(letter);

    auto messageForm = [&](char option) {
        std::vector<unsigned char> request(24, 0);
        request[0] = static_cast<unsigned char>(letter);
        request[4] = 'M';
        WriteU64(request.data() + 8, window);
        request[16] = static_cast<unsigned char>(option);
        return request;
    };
    auto host = messageForm('B');
    const int32_t hostStarted = Run(HA_START_HOST_NOTIFY, host.data(), 24).rc;
    auto close = messageForm(0);
    const int32_t closeStarted = Run(HA_START_CLOSE_INTERCEPT, close.data(), 16).rc;
    auto keys = messageForm('L');
    const int32_t keysStarted = Run(HA_START_KEY_INTERCEPT, keys.data(), 0).rc;
    Say("ready");
    Say("window " + Num(window != 0) + " " + Num(notification != 0));
    Say("parms " + Num(parms));
    Say("other_start " + Num(other.started()));
    Say("host_start " + Num(hostStarted) + " " + Num(ReadU16(host.data() + 8)));
    Say("close_start " + Num(closeStarted) + " " + Num(ReadU16(close.data() + 8)));
    Say("key_start " + Num(keysStarted) + " " + Num(ReadU16(keys.data() + 8)));

    CollectNotifications(window, notification, {HLLAPI_NOTIFY_CLOSE_ATTEMPT, HLLAPI_NOTIFY_KEYSTROKE});
    unsigned char key[16] = {static_cast<unsigned char>(letter)};
    const Outcome got = Run(HA_GET_KEY, key, sizeof key);
    Say("get_key " + KeyWords(got, key));
    char name[4] = {letter};
    Say("query_close " + Num(Run(HA_QUERY_CLOSE_INTERCEPT, name, 1).rc));
    Say("key_stop " + Num(Run(HA_STOP_KEY_INTERCEPT, name, 1).rc));
    Say("close_stop " + Num(Run(HA_STOP_CLOSE_INTERCEPT, name, 1).rc));
    Say("intercepts_stopped");

    CollectNotifications(window, notification, {HLLAPI_NOTIFY_STATUS_LINE, HLLAPI_NOTIFY_PRESENTATION_SPACE});
    Say("host_stop " + Num(Run(HA_STOP_HOST_NOTIFY, name, 1).rc));
    Say("destroy " + Num(trvDestroyMessageWindow(window)));
    return 0;
}

[[maybe_unused]] const bool kRegistered = RegisterRoles({
    {"host_event", HostEventRole, 1},
    {"message_forms", MessageFormsRole, 1},
});

// --- the tests ----------------------------------------------------------

using NotificationFormEndToEnd = EmulatorEndToEnd;

TEST_F(NotificationFormEndToEnd, AHostUpdateReleasesAWaitOnTheEventForm) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    auto caller = StartReady("host_event", {"A"});
    ASSERT_TRUE(caller != nullptr);
    ASSERT_EQ(emulator_->Command("keys A [enter]"), std::vector<std::string>{"OK"});
    // 258: not signalled before the update, nor after Query Host Update
    // reset it; the stop closes the handle (a failed wait).
    ExpectLines(Finish(*caller), {"connect 0", "start 0", "before 258", "wait 0", "input_free 0", "query 23",
                                  "after_query 258", "stop 0", "after_stop 4294967295"});
}

TEST_F(NotificationFormEndToEnd, MessagesReachTheCallersWindowWithTheirPositionAndKind) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    auto caller = StartReady("message_forms", {"A"});
    ASSERT_TRUE(caller != nullptr);
    EXPECT_EQ(emulator_->Command("close A"), std::vector<std::string>{"intercepted"});
    EXPECT_EQ(emulator_->Command("keys A x"), std::vector<std::string>{"OK"});
    std::vector<std::string> seen;
    ASSERT_TRUE(caller->ReadUntil("intercepts_stopped", kCallerLimit, &seen).has_value());
    // With the keystroke intercept stopped, the Enter reaches the host.
    ASSERT_EQ(emulator_->Command("keys A [enter]"), std::vector<std::string>{"OK"});
    Report report = Finish(*caller);
    report.Add(seen);

    // Message identifiers: the base plus the position in the session's list.
    const std::string first = std::to_string(HLLAPI_NOTIFY_WPARAM_BASE);
    const std::string second = std::to_string(HLLAPI_NOTIFY_WPARAM_BASE + 1);
    auto message = [](intptr_t kind, const std::string& id) { return "message_" + Num(kind) + " " + id + " 1 1"; };
    ExpectLines(report, {"window 1 1", "parms 0", "other_start 0", "host_start 0 " + second,
                         "close_start 0 " + first, "key_start 0 " + first,
                         message(HLLAPI_NOTIFY_CLOSE_ATTEMPT, first), message(HLLAPI_NOTIFY_KEYSTROKE, first),
                         "get_key 0 A x", "query_close 26", "key_stop 0", "close_stop 0",
                         message(HLLAPI_NOTIFY_STATUS_LINE, second),
                         message(HLLAPI_NOTIFY_PRESENTATION_SPACE, second), "host_stop 0", "destroy 0"});
    EXPECT_TRUE(report.All("unexpected").empty()) << "first: " << report.Joined("unexpected");
}

}  // namespace
}  // namespace trv::e2e
