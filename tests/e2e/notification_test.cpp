// End to end: host notification, the interruptible pause and the intercepts
// with the reference emulator raising the events: "keys" for host updates
// and keystrokes, "close" for close attempts. The callers are "script"
// roles; the event form is waited on with trvWaitForHandle, the message form
// read with trvGetMessage, as a Linux application does.
#include "e2e_fixture.h"

namespace trv::e2e {
namespace {

using NotificationEndToEnd = EmulatorEndToEnd;

// An Enter changes the status line at once and the screen with the host's
// answer: it ends an interruptible pause (26), is reported as both kinds of
// update, and signals the event form's event, which the query resets (258:
// not signalled) and the stop closes (a failed wait).
TEST_F(NotificationEndToEnd, AnEnterEndsAPauseAndSignalsTheEventForm) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    auto pauser = StartReady("script", {Step("parms call", HA_SET_SESSION_PARMS, "IPAUSE"),
                                        Step("start start", HA_START_HOST_NOTIFY, "A", 5, "B"), "ready say",
                                        Step("pause call", HA_PAUSE, "-", 0, 40), "updates updates A 2000",
                                        Step("stop call", HA_STOP_HOST_NOTIFY, "A"),
                                        Step("after_stop call", HA_QUERY_HOST_UPDATE, "A")});
    ASSERT_TRUE(pauser != nullptr);
    auto waiter = StartReady("script", {Step("connect call", HA_CONNECT_PS, "A"),
                                        Step("start start", HA_START_HOST_NOTIFY, "A", 24, "A", "B"),
                                        "before handle 0", "ready say", "wait handle 30000",
                                        Step("input_free call", HA_WAIT), Step("query call", HA_QUERY_HOST_UPDATE, "A"),
                                        "after_query handle 0", Step("stop call", HA_STOP_HOST_NOTIFY, "A"),
                                        "after_stop handle 0"});
    ASSERT_TRUE(waiter != nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // into the pause
    ASSERT_EQ(emulator_->Command("keys A [enter]"), std::vector<std::string>{"OK"});
    ExpectLines(Finish(*pauser), {"parms 0", "start 0", "pause 26", "updates 23", "stop 0", "after_stop 8"});
    ExpectLines(Finish(*waiter), {"connect 0", "start 0", "before 258", "wait 0", "input_free 0", "query 23",
                                  "after_query 258", "stop 0", "after_stop 4294967295"});
}

// A close attempt and keystrokes, intercepted in the event form (the close
// signals the event) or in the message form (a message of each kind to the
// caller's window, the first in each list); the keys come in order and
// never reach the screen, and the close is reported once.
struct InterceptForm {
    const char* name;
    std::vector<std::string> steps;
    std::vector<std::string> lines;
};

void PrintTo(const InterceptForm& form, std::ostream* out) { *out << form.name; }

class InterceptEndToEnd : public EmulatorEndToEnd, public testing::WithParamInterface<InterceptForm> {};

TEST_P(InterceptEndToEnd, AnInterceptedCloseAndKeystrokesReachTheCaller) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    std::vector<std::string> steps = GetParam().steps;
    steps.insert(steps.end(), {"key getkey A", "key getkey A", "key getkey A",
                               Step("query call", HA_QUERY_CLOSE_INTERCEPT, "A"), "after_query handle 0",
                               Step("query_again call", HA_QUERY_CLOSE_INTERCEPT, "A"),
                               Step("key_stop call", HA_STOP_KEY_INTERCEPT, "A"),
                               Step("close_stop call", HA_STOP_CLOSE_INTERCEPT, "A")});
    auto caller = StartReady("script", steps);
    ASSERT_TRUE(caller != nullptr);
    EXPECT_EQ(emulator_->Command("close A"), std::vector<std::string>{"intercepted"});
    ASSERT_EQ(emulator_->Command("keys A ab[enter]"), std::vector<std::string>{"OK"});
    Report report = Finish(*caller);
    ExpectLines(report, GetParam().lines);
    ExpectLines(report, {"query 26", "query_again 0", "key_stop 0", "close_stop 0"});
    const std::vector<std::vector<std::string>> keys = {{"0", "A", "a"}, {"0", "A", "b"}, {"0", "M", "@E"}};
    EXPECT_EQ(report.All("key"), keys);
    EXPECT_EQ(emulator_->ScreenRows('A').at(5).substr(34, 2), "  ");
    EXPECT_EQ(emulator_->Command("close A"), std::vector<std::string>{"closed"});
}

const std::string kFirst = std::to_string(HLLAPI_NOTIFY_WPARAM_BASE);

INSTANTIATE_TEST_SUITE_P(
    Forms, InterceptEndToEnd,
    testing::Values(
        InterceptForm{"Event",
                      {Step("close start", HA_START_CLOSE_INTERCEPT, "A", 16, "Q"),
                       Step("keys start", HA_START_KEY_INTERCEPT, "A", 0, "L"), "before handle 0", "ready say",
                       "wait handle 30000"},
                      {"close 0", "keys 0", "before 258", "wait 0", "after_query 258"}},
        InterceptForm{"Message",
                      {Step("close start", HA_START_CLOSE_INTERCEPT, "A", 16, "M"),
                       Step("keys start", HA_START_KEY_INTERCEPT, "A", 0, "M", "L"), "ready say",
                       Step("message messages", HLLAPI_NOTIFY_CLOSE_ATTEMPT, HLLAPI_NOTIFY_KEYSTROKE)},
                      {"close 0 " + kFirst, "keys 0 " + kFirst, "message " + kFirst + " " + kFirst}}),
    [](const testing::TestParamInfo<InterceptForm>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace trv::e2e
