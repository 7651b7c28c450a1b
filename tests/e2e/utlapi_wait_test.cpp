// End to end: the UTLAPI waits and event tables on the demonstration host,
// each released by what the host does (its answer on the screen, the cursor
// it places, its end of the busy time, the session stopping) and each also
// timing out; a wait that outlives a killed emulator; and a whole sign-on
// and inquiry through the parameter-block entry UTLAPIEntry alone.
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

// utl_wait_disconnect L: says "waiting" and waits for the session to go.
int UTLWaitDisconnectRole(const std::vector<std::string>& args) {
    const int32_t registered = UTLRegisterClient(kClient);
    const int32_t connected = UTLConnectSession(kClient, args[0].c_str());
    const int32_t hostConnect = UTLWaitForHostConnect(kClient, 4);
    const int32_t timeout = UTLWaitForHostDisconnect(kClient, 1);
    Say("ready");
    Say("waiting");
    const int32_t released = UTLWaitForHostDisconnect(kClient, 2 * kLong);
    Say("register " + Num(registered));
    Say("connect " + Num(connected));
    Say("host_connect " + Num(hostConnect));
    Say("disconnect_timeout " + Num(timeout));
    Say("disconnect " + Num(released));
    return 0;
}

// utl_wait_key L: says "waiting" and waits for the operator's Enter, which
// it passes on to the host.
int UTLWaitKeyRole(const std::vector<std::string>& args) {
    const int32_t registered = UTLRegisterClient(kClient);
    const int32_t connected = UTLConnectSession(kClient, args[0].c_str());
    const int32_t timeout = UTLWaitForKey(kClient, "@E", 1);
    Say("ready");
    Say("waiting");
    const int32_t released = UTLWaitForKey(kClient, "@E", kLong);
    Say("register " + Num(registered));
    Say("connect " + Num(connected));
    Say("key_timeout " + Num(timeout));
    Say("key " + Num(released));
    Say("wait_mode " + Num(UTLGetParameter(kClient, 10)));
    // Enter on an empty sign-on screen: the host asks for the user.
    Say("passed_on " + Num(UTLWaitForString(kClient, 22, 0, "Type your user ID", kLong)));
    return 0;
}

// utl_wait_outlives L: waits for a text that never comes; the emulator is
// killed during the wait. Then the other waits with the emulator gone.
int UTLWaitOutlivesRole(const std::vector<std::string>& args) {
    const int32_t registered = UTLRegisterClient(kClient);
    const int32_t connected = UTLConnectSession(kClient, args[0].c_str());
    Say("ready");
    Say("calling");
    const int32_t string = UTLWaitForString(kClient, 0, 0, "NEVER SHOWN", 6);
    Say("register " + Num(registered));
    Say("connect " + Num(connected));
    Say("string " + Num(string));
    Say("cursor_move " + Num(UTLWaitForCursorMove(kClient, 1)));
    Say("quiet " + Num(UTLWaitHostQuiet(kClient, 100, 1)));
    Say("host_connect " + Num(UTLWaitForHostConnect(kClient, 1)));
    Say("add " + Nums({UTLAddWait(kClient, 1, 5), UTLAddWaitForCursorMove(kClient, 1, 6)}));
    Say("event " + Num(UTLWaitForEvent(kClient, 1, 1)));
    return 0;
}

int32_t Entry(int32_t function, std::string text = {}, int32_t argument = 0, int32_t a = 0, int32_t b = 0,
              std::string* out = nullptr, int32_t length = -1) {
    std::vector<char> data(text.begin(), text.end());
    data.resize(data.size() + 128, '\0');
    int32_t n = function;
    int32_t l = length >= 0 ? length : static_cast<int32_t>(text.size());
    const int32_t result = UTLAPIEntry(&n, data.data(), &l, &argument, &a, &b);
    if (out != nullptr) *out = std::string(data.data(), static_cast<std::size_t>(l));
    return result;
}

// utl_entry_signon L: signs on and looks up a customer through UTLAPIEntry
// only.
int UTLEntrySignOnRole(const std::vector<std::string>& args) {
    Say("register " + Num(Entry(244)));
    Say("connect " + Num(Entry(214, args[0])));
    Say("signon " + Num(Entry(255, "DEMO01@TPALVERO@E")));
    Say("menu " + Num(Entry(276, "Main Menu", kLong, 1, 0)));
    Say("option " + Num(Entry(255, "1@E")));
    Say("inquiry " + Num(Entry(276, "Customer Inquiry", kLong, 1, 0)));
    Say("lookup " + Num(Entry(255, "100100@E")));
    Say("name " + Num(Entry(276, "ALDERTON", kLong, 7, 27)));
    std::string name;
    const int32_t got = Entry(235, "", 0, 7, 27, &name, 21);
    Say("get " + Num(got) + " " + Hex(name));
    Say("disconnect " + Num(Entry(216)));
    Say("unregister " + Num(Entry(268)));
    return 0;
}

[[maybe_unused]] const bool kRegistered = RegisterRoles({
    {"utl_waits", UTLWaitsRole, 1},
    {"utl_wait_disconnect", UTLWaitDisconnectRole, 1},
    {"utl_wait_outlives", UTLWaitOutlivesRole, 1},
    {"utl_wait_key", UTLWaitKeyRole, 1},
    {"utl_entry_signon", UTLEntrySignOnRole, 1},
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

TEST_F(UTLAPIWaitEndToEnd, StoppingTheSessionReleasesTheDisconnectWait) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    auto waiter = StartReady("utl_wait_disconnect", {"A"});
    ASSERT_TRUE(waiter != nullptr);
    ASSERT_TRUE(waiter->ReadUntil("waiting", kAnswerLimit).has_value());
    std::this_thread::sleep_for(kSettle);
    ASSERT_TRUE(waiter->Running()) << "the disconnect wait did not wait for the running session";
    ASSERT_EQ(emulator_->Command("stop A"), std::vector<std::string>{"stopped"});
    Report report = Finish(*waiter);
    ExpectLines(report, {"register 1", "connect 1", "host_connect 1", "disconnect_timeout -4", "disconnect 1"});
}

TEST_F(UTLAPIWaitEndToEnd, TheOperatorsKeyReleasesTheKeyWaitAndReachesTheHost) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    auto waiter = StartReady("utl_wait_key", {"A"});
    ASSERT_TRUE(waiter != nullptr);
    ASSERT_TRUE(waiter->ReadUntil("waiting", kAnswerLimit).has_value());
    std::this_thread::sleep_for(kSettle);
    ASSERT_TRUE(waiter->Running()) << "the key wait did not wait for a key";
    ASSERT_TRUE(emulator_->Command("keys A [enter]").has_value());
    Report report = Finish(*waiter);
    ExpectLines(report, {"register 1", "connect 1", "key_timeout -4", "key 1", "wait_mode 1",
                         "passed_on " + std::to_string(21 * 80 + 2)});
}

TEST_F(UTLAPIWaitEndToEnd, AWaitOutlivesAKilledEmulatorAndTimesOut) {
    ASSERT_NO_FATAL_FAILURE(StartHolder());
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    auto waiter = StartReady("utl_wait_outlives", {"A"});
    ASSERT_TRUE(waiter != nullptr);
    ASSERT_TRUE(waiter->ReadUntil("calling", kAnswerLimit).has_value());
    std::this_thread::sleep_for(kSettle);
    ASSERT_TRUE(waiter->Running());
    Report report = KillEmulatorAndAwaitRelease(*waiter);
    ExpectLines(report, {"register 1", "connect 1", "string -4", "cursor_move -4", "quiet -4", "host_connect -4",
                         "add 1 1", "event -4"});
}

TEST_F(UTLAPIWaitEndToEnd, SignOnAndInquiryThroughTheParameterBlockEntryAlone) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    Report report = RunCaller("utl_entry_signon", {"A"});
    const std::vector<std::string> screen = emulator_->ScreenRows('A');
    ASSERT_GE(screen.size(), 24u);
    ExpectLines(report, {"register 1", "connect 1", "signon 1", "menu 35", "option 1", "inquiry 32", "lookup 1",
                         "name " + std::to_string(6 * 80 + 27),
                         "get 1 " + Hex(screen[6].substr(26, 21)), "disconnect 1", "unregister 1"});
    EXPECT_EQ(screen[6].substr(26, 21), "ALDERTON HARDWARE LTD");
}

}  // namespace
}  // namespace trv::e2e
