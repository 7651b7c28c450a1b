// End to end: the close and keystroke intercepts, raised by the reference
// emulator's "close" and "keys" commands, reach a caller that waits for them
// as a Linux application does. (How host updates reach callers is the Python
// package's test against the emulator and the library's notification tests.)
#include "e2e_fixture.h"

namespace trv::e2e {
namespace {

// A close attempt and keystrokes, intercepted in the event form (the close
// signals the event) or in the message form (a message of each kind to the
// caller's window, the first in each list); the keys come in order and
// never reach the screen, and once the intercept stops the session closes.
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
                               Step("key_stop call", HA_STOP_KEY_INTERCEPT, "A"),
                               Step("close_stop call", HA_STOP_CLOSE_INTERCEPT, "A")});
    ASSERT_NO_FATAL_FAILURE(StartReady("script", steps));
    EXPECT_EQ(Command("close A"), std::vector<std::string>{"intercepted"});
    ASSERT_EQ(Command("keys A ab[enter]"), std::vector<std::string>{"OK"});
    Report report = Finish();
    ExpectLines(report, GetParam().lines);
    ExpectLines(report, {"key_stop 0", "close_stop 0"});
    const std::vector<std::vector<std::string>> keys = {{"0", "A", "a"}, {"0", "A", "b"}, {"0", "M", "@E"}};
    EXPECT_EQ(report.All("key"), keys);
    EXPECT_EQ(ScreenRows('A').at(5).substr(34, 2), "  ");
    EXPECT_EQ(Command("close A"), std::vector<std::string>{"closed"});
}

const std::string kFirst = std::to_string(HLLAPI_NOTIFY_WPARAM_BASE);

INSTANTIATE_TEST_SUITE_P(
    Forms, InterceptEndToEnd,
    testing::Values(
        InterceptForm{"Event",
                      {Step("close start", HA_START_CLOSE_INTERCEPT, "A", 16, "Q"),
                       Step("keys start", HA_START_KEY_INTERCEPT, "A", 0, "L"), "before handle 0", "ready say",
                       "wait handle 30000"},
                      {"close 0", "keys 0", "before 258", "wait 0"}},
        InterceptForm{"Message",
                      {Step("close start", HA_START_CLOSE_INTERCEPT, "A", 16, "M"),
                       Step("keys start", HA_START_KEY_INTERCEPT, "A", 0, "M", "L"), "ready say",
                       Step("message messages", HLLAPI_NOTIFY_CLOSE_ATTEMPT, HLLAPI_NOTIFY_KEYSTROKE)},
                      {"close 0 " + kFirst, "keys 0 " + kFirst, "message " + kFirst + " " + kFirst}}),
    [](const testing::TestParamInfo<InterceptForm>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace trv::e2e
