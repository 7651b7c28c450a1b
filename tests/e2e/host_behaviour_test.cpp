// End to end: the demonstration host behaving as hosts do, seen by native
// callers through the library: an interruptible Pause and host notification
// woken by writes nobody asked for (a clock, a broadcast); Copy PS and Query
// Sessions following the screen to 27x132 and back; the Unicode copy of a
// screen with characters outside Latin-1. (Attn, System Request and answers
// in parts are the emulator's own tests'.)
#include <gtest/gtest.h>

#include "e2e_fixture.h"

namespace trv::e2e {
namespace {

constexpr int32_t kMessageRow = 21 * 80 + 1;  // row 22 of the 24x80 screens
constexpr const char* kSignOn = "demo01@Tpalvero@E";
constexpr const char* kBroadcast = "Broadcast from SYSOP";
constexpr int32_t kWideSize = 27 * 132;

using HostBehaviourEndToEnd = EmulatorEndToEnd;

// A screen copy's text, given as "<rc> <length> <hex>": as long as the length.
std::string ScreenText(const std::vector<std::string>& copy) {
    return copy.size() == 3 ? FromHex(copy[2]).substr(0, std::stoul(copy[1])) : "";
}

std::string RowOf(const std::string& screen, int row, int columns) {
    const auto start = static_cast<std::size_t>((row - 1) * columns);
    return start < screen.size() ? screen.substr(start, static_cast<std::size_t>(columns)) : "";
}

TEST_F(HostBehaviourEndToEnd, PauseAndHostNotificationSeeWritesNobodyAskedFor) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"live=A", "demo=B"}));
    // A's host writes its clock on its own; B's host writes only when asked.
    const struct {
        const char* session;
        const char* broadcast;
        const char* pause;
        const char* update;
    } cases[] = {
        {"A", "broadcast", "26", "22"},
        {"B", "none", "0", "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.session);
        // Host notification of the screen, the sign-on and its updates
        // taken (which resets the event they signalled); then, sending no
        // key, an interruptible pause of three seconds and the updates; the
        // message row followed for up to ten seconds until the broadcast.
        std::vector<std::string> steps = {
            Step("connect call", HA_CONNECT_PS, c.session), Step("start start", HA_START_HOST_NOTIFY, c.session, 5, "P"),
            Step("sign_on call", HA_SENDKEY, kSignOn), Step("wait call", HA_WAIT),
            Step("sign_on_update call", HA_QUERY_HOST_UPDATE, c.session),
            Step("parms call", HA_SET_SESSION_PARMS, "IPAUSE"), Step("pause call", HA_PAUSE, "-", 0, 6),
            Step("update call", HA_QUERY_HOST_UPDATE, c.session), Step("stop call", HA_STOP_HOST_NOTIFY, c.session)};
        if (std::string(c.broadcast) == "broadcast") {
            steps.push_back(Step("message until", kMessageRow, 80, "Broadcast~from~SYSOP", 10000));
        }
        Report report = RunCaller("script", steps);
        // Pause: 26 when ended by a host update, 0 when it ran its time.
        ExpectLines(report, {"connect 0", "wait 0", "start 0", "sign_on_update 22", "parms 0",
                             std::string("pause ") + c.pause, std::string("update ") + c.update, "stop 0"});
        if (std::string(c.broadcast) == "broadcast") {
            EXPECT_NE(FromHex(report.Joined("message")).find(kBroadcast), std::string::npos)
                << FromHex(report.Joined("message"));
        }
    }
}

TEST_F(HostBehaviourEndToEnd, CopyPsQuerySessionsAndUnicodeFollowTheScreenTo27By132AndBack) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"rates=A"}));
    // Signed on, to the 27x132 rates screen and back: sizes and screens at
    // each step, and on the rates screen the screen as Unicode text (two
    // bytes a position) and as single bytes.
    std::vector<std::string> steps = {Step("connect call", HA_CONNECT_PS, "A"), Step("sign_on call", HA_SENDKEY, kSignOn),
                                      Step("wait call", HA_WAIT)};
    auto sizeAndScreen = [&steps](const std::string& key) {
        steps.push_back(Step(key + "_size calld", HA_QUERY_SESSIONS, "-", 0, 26 * 16, 16));
        steps.push_back(Step(key + "_screen calld", HA_COPY_PS, "-", 0, 0, kWideSize));
    };
    sizeAndScreen("menu");
    steps.insert(steps.end(), {Step("rates call", HA_SENDKEY, "3@E"), Step("rates_wait call", HA_WAIT)});
    sizeAndScreen("rates");
    steps.push_back(Step("rates_unicode calld", HA_COPY_PS_TO_STR, "-", 1, 2 * kWideSize, 2 * kWideSize + 2));
    steps.push_back(Step("rates_single calld", HA_COPY_PS_TO_STR, "-", 1, kWideSize, kWideSize));
    steps.insert(steps.end(), {Step("back call", HA_SENDKEY, "@3"), Step("back_wait call", HA_WAIT)});
    sizeAndScreen("back");
    Report report = RunCaller("script", steps);
    ExpectLines(report, {"connect 0", "wait 0", "rates_wait 0", "back_wait 0"});

    struct Screen {
        const char* key;
        std::size_t size;
        int columns;
        const char* title;
    };
    for (const Screen& step : {Screen{"menu", 1920, 80, "Main Menu"}, Screen{"rates", kWideSize, 132, "Exchange Rates"},
                               Screen{"back", 1920, 80, "Main Menu"}}) {
        SCOPED_TRACE(step.key);
        const std::string key = step.key;
        const auto entry = report[key + "_size"];  // Query Sessions: the screen size at bytes 14-15
        ASSERT_EQ(entry.size(), 3u);
        const std::string bytes = FromHex(entry[2]);
        EXPECT_EQ(static_cast<unsigned char>(bytes[14]) | static_cast<unsigned char>(bytes[15]) << 8, step.size);
        const auto copy = report[key + "_screen"];
        ASSERT_EQ(copy.size(), 3u);
        EXPECT_EQ(copy[0] + " " + copy[1], "0 " + std::to_string(step.size));
        const std::string screen = ScreenText(copy);
        ASSERT_EQ(screen.size(), step.size);
        EXPECT_NE(RowOf(screen, 1, step.columns).find(step.title), std::string::npos) << RowOf(screen, 1, step.columns);
    }

    // Single bytes: the characters outside Latin-1 read as '?'.
    const std::string euroRow = RowOf(ScreenText(report["rates_screen"]), 7, 132);
    EXPECT_EQ(euroRow.substr(1, 15), "EUR  ?     Euro");
    const auto single = report["rates_single"];
    ASSERT_EQ(single.size(), 3u);
    EXPECT_EQ(single[1], std::to_string(kWideSize));
    EXPECT_EQ(RowOf(FromHex(single[2]), 8, 132).substr(1, 28), "PLN  z?    Polish z?oty     ");

    // Unicode: two bytes a position, the length reported in positions, and
    // a 16-bit terminator after the text.
    const auto unicode = report["rates_unicode"];
    ASSERT_EQ(unicode.size(), 3u);
    EXPECT_EQ(unicode[0] + " " + unicode[1], "0 " + std::to_string(kWideSize));
    const std::string bytes = FromHex(unicode[2]);
    EXPECT_EQ(bytes.substr(2u * kWideSize), std::string(2, '\0'));
    auto unitAt = [&](int row, int column) {
        const auto index = 2u * static_cast<std::size_t>((row - 1) * 132 + column - 1);
        return static_cast<unsigned>(static_cast<unsigned char>(bytes[index])) |
               (static_cast<unsigned>(static_cast<unsigned char>(bytes[index + 1])) << 8u);
    };
    EXPECT_EQ(unitAt(7, 2), unsigned{'E'});
    EXPECT_EQ(unitAt(7, 7), 0x20ACu) << "euro sign";
    EXPECT_EQ(unitAt(8, 8), 0x0142u) << "l with stroke";
    EXPECT_EQ(unitAt(9, 8), 0x010Du) << "c with caron";
    EXPECT_EQ(unitAt(11, 7), 0x00A5u) << "yen sign, inside Latin-1";
}

}  // namespace
}  // namespace trv::e2e
