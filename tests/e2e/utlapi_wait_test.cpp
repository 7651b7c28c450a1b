// End to end: the UTLAPI waits and event tables on the demonstration host,
// each released by what the host does (its answer on the screen, the cursor
// it places, its end of the busy time, the session stopping, the operator's
// key) and each also timing out; and a wait that outlives a killed emulator.
// (The parameter-block entry UTLAPIEntry is the UTLAPI unit tests'.)
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include "e2e_fixture.h"
#include "trvha64_utlapi.h"

namespace trv::e2e {
namespace {

constexpr trvUTLClient kClient = 0x0A17;
constexpr int32_t kLong = 40;  // half seconds: far beyond any host answer here

// The results in the order of the calls: a braced list is evaluated from
// left to right, the operands of + are not.
std::string Nums(std::initializer_list<int32_t> results) {
    std::string text;
    for (int32_t result : results) text += (text.empty() ? "" : " ") + Num(result);
    return text;
}

std::string ScreenText(int row, int column, int length) {
    std::string text(static_cast<std::size_t>(length), '\0');
    UTLGetString(kClient, row, column, text.data(), length);
    return Hex(text);
}

// --- the caller roles ---------------------------------------------------

// utl_waits L: on a host that answers after two seconds, signs on with
// UTLSendAndWait, opens the inquiry with UTLSendKey and UTLWaitForString,
// waits for the host to be quiet after a look-up, then waits on event tables
// that mix a string, a cursor and a host-quiet entry.
int UTLWaitsRole(const std::vector<std::string>& args) {
    Say("register " + Num(UTLRegisterClient(kClient)));
    Say("connect " + Num(UTLConnectSession(kClient, args[0].c_str())));
    Say("menu_timeout " + Num(UTLWaitForString(kClient, 1, 0, "Main Menu", 1)));
    Say("send_and_wait " + Num(UTLSendAndWait(kClient, 1, 0, "DEMO01@TPALVERO@E", "Main Menu", kLong)));
    Say("send_key " + Num(UTLSendKey(kClient, "1@E")));
    Say("inquiry " + Num(UTLWaitForString(kClient, 0, 0, "Customer Inquiry", kLong)));

    // The host is busy for its two seconds after Enter; quiet comes after.
    Say("lookup " + Num(UTLSendKey(kClient, "100100@E")));
    Say("quiet " + Num(UTLWaitHostQuiet(kClient, 200, kLong)));
    Say("quiet_name " + ScreenText(7, 27, 21));
    Say("quiet_timeout " + Num(UTLWaitHostQuiet(kClient, 5000, 1)));

    // A string, a cursor and a host-quiet entry: the host's answer fires the
    // string.
    Say("add " + Nums({UTLAddWaitForCursor(kClient, 0, 20, 24, 80), UTLAddWaitHostQuiet(kClient, 0, 30, 60000),
                       UTLAddWaitForString(kClient, 0, 10, 7, 27, "BRACKEN & SONS")}));
    Say("lookup2 " + Num(UTLSendKey(kClient, "100215@E")));
    Say("event_string " + Num(UTLWaitForEvent(kClient, 0, kLong)));
    Say("event_string_again " + Num(UTLWaitForEvent(kClient, 0, kLong)));
    // The client moves the cursor away; the host's answer puts it back at
    // the number field, row 5 column 27.
    Say("wait " + Num(UTLWait(kClient)));
    Say("away " + Nums({UTLSetCursorLocation(kClient, 3, 2), UTLGetCursorLocation(kClient)}));
    Say("add_cursor " + Nums({UTLClearEventTable(kClient, 0), UTLAddWaitForString(kClient, 0, 11, 7, 27, "NOT ON SCREEN"),
                              UTLAddWaitHostQuiet(kClient, 0, 31, 60000), UTLAddWaitForCursor(kClient, 0, 21, 5, 27)}));
    Say("event_cursor_timeout " + Num(UTLWaitForEvent(kClient, 0, 1)));
    Say("enter " + Num(UTLSendKey(kClient, "@E")));
    Say("event_cursor " + Num(UTLWaitForEvent(kClient, 0, kLong)));
    // The string entry never holds and the cursor stays: the quiet entry,
    // once its settle time has passed.
    Say("add_quiet " + Nums({UTLDeleteEvent(kClient, 0, 21), UTLDeleteEvent(kClient, 0, 31),
                             UTLAddWaitForCursor(kClient, 0, 22, 24, 80), UTLAddWaitHostQuiet(kClient, 0, 32, 300)}));
    Say("event_quiet " + Num(UTLWaitForEvent(kClient, 0, kLong)));
    Say("wait_mode " + Num(UTLGetParameter(kClient, 10)));
    Say("clear " + Num(UTLClearEventTable(kClient, 0)));
    Say("disconnect " + Num(UTLDisconnectSession(kClient)));
    return 0;
}

// utl_released_wait L KIND: a wait of the KIND that only the test's action
// releases, after one that timed out: "disconnect" (the session stops),
// "key" (the operator's Enter, which then reaches the host) or "string" (a
// text that never comes, outliving the emulator, which is killed; then the
// other waits with the emulator gone).
int UTLReleasedWaitRole(const std::vector<std::string>& args) {
    const std::string kind = args[1];
    auto wait = [&kind](int32_t limit) {
        return kind == "key"        ? UTLWaitForKey(kClient, "@E", limit)
               : kind == "string"   ? UTLWaitForString(kClient, 0, 0, "NEVER SHOWN", limit)
                                    : UTLWaitForHostDisconnect(kClient, limit);
    };
    Say("register " + Num(UTLRegisterClient(kClient)));
    Say("connect " + Num(UTLConnectSession(kClient, args[0].c_str())));
    if (kind == "disconnect") Say("host_connect " + Num(UTLWaitForHostConnect(kClient, 4)));
    Say("timeout " + Num(wait(1)));
    Say("ready");
    Say("released " + Num(wait(kind == "string" ? 6 : 2 * kLong)));
    if (kind == "key") {
        Say("wait_mode " + Num(UTLGetParameter(kClient, 10)));
        // Enter on an empty sign-on screen: the host asks for the user.
        Say("passed_on " + Num(UTLWaitForString(kClient, 22, 0, "Type your user ID", kLong)));
    } else if (kind == "string") {
        Say("cursor_move " + Num(UTLWaitForCursorMove(kClient, 1)));
        Say("quiet " + Num(UTLWaitHostQuiet(kClient, 100, 1)));
        Say("host_connect " + Num(UTLWaitForHostConnect(kClient, 1)));
        Say("add " + Nums({UTLAddWait(kClient, 1, 5), UTLAddWaitForCursorMove(kClient, 1, 6)}));
        Say("event " + Num(UTLWaitForEvent(kClient, 1, 1)));
    }
    return 0;
}

[[maybe_unused]] const bool kRegistered = RegisterRoles({
    {"utl_waits", UTLWaitsRole, 1},
    {"utl_released_wait", UTLReleasedWaitRole, 2},
});

// --- the tests ----------------------------------------------------------

using UTLAPIWaitEndToEnd = EmulatorEndToEnd;

// Long enough for a caller to be inside its wait.
constexpr Milliseconds kSettle{300};

TEST_F(UTLAPIWaitEndToEnd, WaitsAndEventTablesAreReleasedByTheHost) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"answer2s=B"}));
    Report report = RunCaller("utl_waits", {"B"});
    ExpectLines(report, {
        "register 1", "connect 1", "menu_timeout -4",
        "send_and_wait 35",  // "Main Menu" centred on row 1
        "send_key 1",
        "inquiry 32",  // "Customer Inquiry" on row 1
        "lookup 1", "quiet 1", "quiet_name " + Hex(std::string("ALDERTON HARDWARE LTD")), "quiet_timeout -4",
        "add 1 1 1", "lookup2 1", "event_string 10", "event_string_again 10",
        "wait 1", "away 1 " + std::to_string(2 * 80 + 2),
        "add_cursor 1 1 1 1", "event_cursor_timeout -4", "enter 1", "event_cursor 21",
        "add_quiet 1 1 1 1", "event_quiet 32", "wait_mode 1", "clear 1", "disconnect 1",
    });
    const std::vector<std::string> screen = emulator_->ScreenRows('B');
    ASSERT_GE(screen.size(), 24u);
    EXPECT_EQ(screen[6].substr(26, 14), "BRACKEN & SONS");
}

// A wait that only the test's action releases; none of them answers before.
struct ReleasedWait {
    const char* kind;
    const char* command;  // the emulator's command; none: the emulator is killed
    const char* answer;
    std::vector<std::string> lines;
};

void PrintTo(const ReleasedWait& row, std::ostream* out) { *out << row.kind; }

class ReleasedWaitEndToEnd : public EmulatorEndToEnd, public testing::WithParamInterface<ReleasedWait> {};

TEST_P(ReleasedWaitEndToEnd, TheWaitEndsWithTheTestsAction) {
    const ReleasedWait& row = GetParam();
    if (row.command == nullptr) {
        ASSERT_NO_FATAL_FAILURE(StartHolder());
    }
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    auto waiter = StartReady("utl_released_wait", {"A", row.kind});
    ASSERT_TRUE(waiter != nullptr);
    std::this_thread::sleep_for(kSettle);
    ASSERT_TRUE(waiter->Running()) << "the wait did not wait";
    if (row.command == nullptr) {
        ExpectLines(KillEmulatorAndAwaitRelease(*waiter), row.lines);
        return;
    }
    EXPECT_EQ(emulator_->Command(row.command), std::vector<std::string>{row.answer});
    ExpectLines(Finish(*waiter), row.lines);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ReleasedWaitEndToEnd,
    testing::Values(
        ReleasedWait{"disconnect", "stop A", "stopped",
                     {"register 1", "connect 1", "host_connect 1", "timeout -4", "released 1"}},
        ReleasedWait{"key", "keys A [enter]", "OK",
                     {"register 1", "connect 1", "timeout -4", "released 1", "wait_mode 1",
                      "passed_on " + std::to_string(21 * 80 + 2)}},
        ReleasedWait{"string", nullptr, "",
                     {"register 1", "connect 1", "timeout -4", "released -4", "cursor_move -4", "quiet -4",
                      "host_connect -4", "add 1 1", "event -4"}}),
    [](const testing::TestParamInfo<ReleasedWait>& info) { return std::string(info.param.kind); });

}  // namespace
}  // namespace trv::e2e
