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

// --- the caller roles ---------------------------------------------------

std::string Row(int32_t position, int32_t length) {
    std::vector<char> row(HLLAPI_MAX_DATA, '\0');
    Run(HA_COPY_PS_TO_STR, row.data(), length, position);
    return Hex(row.data(), static_cast<std::size_t>(length));
}

// The connected session's screen size as Query Sessions reports it (bytes
// 14-15 of its entry), and the return code.
std::string QuerySessionsSize() {
    std::vector<char> sessions(26 * 16, '\0');
    const Outcome query = Run(HA_QUERY_SESSIONS, sessions.data(), static_cast<int32_t>(sessions.size()));
    const auto* entry = reinterpret_cast<const unsigned char*>(sessions.data());
    return Num(query.rc) + " " + Num(ReadU16(entry + 14));
}

// Copy PS: the return code, the length and the screen in hexadecimal.
std::string CopyScreen() {
    std::vector<char> screen(HLLAPI_MAX_DATA, '\0');
    const Outcome copy = Run(HA_COPY_PS, screen.data(), 0);
    return Num(copy.rc) + " " + Num(copy.length) + " " +
           Hex(screen.data(), copy.length > 0 ? static_cast<std::size_t>(copy.length) : 0);
}

// unsolicited L: starts host notification of the presentation space of L,
// signs on, takes the sign-on's updates, and then, sending no
// key, pauses interruptibly for up to three seconds and queries the
// updates; then follows the message row for up to ten seconds until it shows
// the broadcast, when L's host sends one (argument "broadcast").
int UnsolicitedRole(const std::vector<std::string>& args) {
    Say("connect " + Num(RunText(HA_CONNECT_PS, args[0])));
    unsigned char request[24] = {static_cast<unsigned char>(args[0][0]), 0, 0, 0, 'P'};
    Say("start " + Num(Run(HA_START_HOST_NOTIFY, request, 5).rc));
    Say("sign_on " + Num(RunText(HA_SENDKEY, kSignOn)));
    Say("wait " + Num(Run(HA_WAIT, nullptr, 0).rc));
    // The sign-on's updates are taken, which also resets the update event
    // that they signalled; the pause then waits for a new one.
    char name[4] = {args[0][0]};
    Say("sign_on_update " + Num(Run(HA_QUERY_HOST_UPDATE, name, 1).rc));
    Say("parms " + Num(RunText(HA_SET_SESSION_PARMS, "IPAUSE")));
    Say("pause " + Num(Run(HA_PAUSE, nullptr, 6).rc));
    Say("update " + Num(Run(HA_QUERY_HOST_UPDATE, name, 1).rc));
    if (args[1] == "broadcast") {
        std::string message;
        for (auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
             std::chrono::steady_clock::now() < deadline;) {
            message = Row(kMessageRow, 80);
            if (FromHex(message).find(kBroadcast) != std::string::npos) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        Say("message " + message);
    }
    Say("stop " + Num(Run(HA_STOP_HOST_NOTIFY, name, 1).rc));
    return 0;
}

// wide_screen L: signs on to L, goes to the 27x132 rates screen and back,
// reading sizes and screens at each step; on the rates screen also the
// screen as Unicode text (Copy PS to String with two bytes a position) and
// as single bytes.
int WideScreenRole(const std::vector<std::string>& args) {
    Say("connect " + Num(RunText(HA_CONNECT_PS, args[0])));
    Say("sign_on " + Num(RunText(HA_SENDKEY, kSignOn)));
    Say("wait " + Num(Run(HA_WAIT, nullptr, 0).rc));
    Say("menu_size " + QuerySessionsSize());
    Say("menu_screen " + CopyScreen());
    Say("rates " + Num(RunText(HA_SENDKEY, "3@E")));
    Say("rates_wait " + Num(Run(HA_WAIT, nullptr, 0).rc));
    Say("rates_size " + QuerySessionsSize());
    Say("rates_screen " + CopyScreen());
    std::vector<char> text(HLLAPI_MAX_DATA, '\0');
    const Outcome unicode = Run(HA_COPY_PS_TO_STR, text.data(), 2 * kWideSize, 1);
    Say("rates_unicode " + Num(unicode.rc) + " " + Num(unicode.length) + " " +
        Hex(text.data(), 2 * static_cast<std::size_t>(kWideSize) + 2));
    std::vector<char> single(HLLAPI_MAX_DATA, '\0');
    const Outcome bytes = Run(HA_COPY_PS_TO_STR, single.data(), kWideSize, 1);
    Say("rates_single " + Num(bytes.rc) + " " + Num(bytes.length) + " " +
        Hex(single.data(), static_cast<std::size_t>(kWideSize)));
    Say("back " + Num(RunText(HA_SENDKEY, "@3")));
    Say("back_wait " + Num(Run(HA_WAIT, nullptr, 0).rc));
    Say("back_size " + QuerySessionsSize());
    Say("back_screen " + CopyScreen());
    return 0;
}

[[maybe_unused]] const bool kRegistered = RegisterRoles({
    {"unsolicited", UnsolicitedRole, 2},
    {"wide_screen", WideScreenRole, 1},
});

// --- the tests ----------------------------------------------------------

using HostBehaviourEndToEnd = EmulatorEndToEnd;

// A screen copy's text, given as "<rc> <length> <hex>".
std::string ScreenText(const std::vector<std::string>& copy) {
    return copy.size() == 3 ? FromHex(copy[2]) : "";
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
        Report report = RunCaller("unsolicited", {c.session, c.broadcast});
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
    Report report = RunCaller("wide_screen", {"A"});
    ExpectLines(report, {"connect 0", "wait 0", "rates_wait 0", "back_wait 0"});

    struct Step {
        const char* key;
        std::size_t size;
        int columns;
        const char* title;
    };
    for (const Step& step : {Step{"menu", 1920, 80, "Main Menu"}, Step{"rates", kWideSize, 132, "Exchange Rates"},
                             Step{"back", 1920, 80, "Main Menu"}}) {
        SCOPED_TRACE(step.key);
        const std::string key = step.key;
        EXPECT_EQ(report.Joined(key + "_size"), "0 " + std::to_string(step.size));
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
    ASSERT_EQ(bytes.size(), 2u * kWideSize + 2);
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
