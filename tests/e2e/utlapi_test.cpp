// End to end: applications that use only the UTLAPI functions against the
// reference emulator, whose waits are released by what the host or the
// operator does. (How each wait times out is the UTLAPI unit tests'.)
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>

#include "e2e_fixture.h"
#include "trvha64_qmxapi.h"
#include "trvha64_utlapi.h"

namespace trv::e2e {
namespace {

constexpr trvUTLClient kClient = 0x0E2E;

// The results in the order of the calls: a braced list is evaluated from
// left to right, the operands of + are not.
std::string Nums(std::initializer_list<int32_t> results) {
    std::string text;
    for (int32_t result : results) text += (text.empty() ? "" : " ") + Num(result);
    return text;
}

// A result, then the text the call left in the buffer.
std::string ResultAndText(int32_t result, const char* text) { return Num(result) + " " + Hex(text); }

// utlapi_sessions L DIR: sessions through UTLAPI, with DIR as the
// configuration directory (B and C configured there); L is running already.
int UTLAPISessionsRole(const std::vector<std::string>& args) {
    setenv("XDG_CONFIG_HOME", args[1].c_str(), 1);
    auto list = [](const std::string& key, int32_t state) {
        char text[512] = {};
        Say(key + " " + ResultAndText(UTLGetSessions(kClient, text, sizeof text, state), text));
    };
    auto status = [] {
        std::string values;
        for (int32_t type : {0, 3, 14, 15}) values += " " + Num(UTLGetSessionStatus(kClient, "B", type));
        return values;
    };
    Say("register " + Num(UTLRegisterClient(kClient)));
    Say("start " + Nums({UTLStartSession(kClient, "b", "N"), UTLStartSession(kClient, "B", "x"),
                         UTLStartSession(kClient, "D", "N")}));
    list("connected_list", 12);
    list("connected_count", 15);
    Say("status" + status());

    Say("connect " + Num(UTLConnectSession(kClient, "b")));
    Say("size " + Num(UTLGetSessionSize(kClient)));
    char profile[QMX_PROFILE_SIZE + 1] = {};
    Say("configuration " + ResultAndText(UTLGetConfiguration(kClient, profile, QMX_PROFILE_SIZE), profile));
    char version[8] = {};
    Say("version " + ResultAndText(UTLGetEmulatorVersion(kClient, version, 4), version));
    char system[36] = {};
    Outcome query = Run(HA_QUERY_SYSTEM, system, sizeof system);
    Say("query_system " + Num(query.rc) + " " + std::string(system, 3));

    Say("session_off " + Num(UTLSessionOff(kClient)));
    Say("status_off" + status());
    list("started_list", 2);
    list("started_count", 5);
    Say("session_on " + Num(UTLSessionOn(kClient)));

    Say("stop " + Num(UTLStopSession(kClient)));
    Say("status_stopped" + status());
    list("after_stop", 12);
    Say("disconnect " + Num(UTLDisconnectSession(kClient)));
    Say("unregister " + Num(UTLUnregisterClient(kClient)));
    return 0;
}

using UTLAPIEndToEnd = EmulatorEndToEnd;

TEST_F(UTLAPIEndToEnd, SessionsAreStartedListedQueriedAndStopped) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    // Sessions B and C configured, in the namespace's directory that goes with the test.
    const std::filesystem::path config = NamespaceDirectory(space_) / "config";
    std::filesystem::create_directories(config / "trvha64");
    const std::string parts = TRV_E2E_PROFILES "/parts.prf";
    std::ofstream(config / "trvha64" / "sessions") << "# the test's sessions\nB " << parts
                                                   << "\nC /srv/none/Payroll.prf\n";
    Report report = RunCaller("utlapi_sessions", {"A", config.string()});

    ExpectLines(report, {"register 1",
                         // started (its profile from the configuration); started already; D is not configured
                         "start 1 1 -11",
                         // running (1), connected (2), established in the session table (4)
                         "connected_count 2", "status 7 1 1 1", "connect 1", "size 1920",
                         "session_off 1", "status_off 5 1 0 1", "started_count 1", "session_on 1", "stop 1",
                         "status_stopped 0 0 0 0", "unregister 1"});
    // The long names come from the sessions' profile paths.
    EXPECT_EQ(ReadBytes(report, "connected_list", "15"), "A demo, B parts,");
    EXPECT_EQ(ReadBytes(report, "started_list", "7"), "B parts,");
    EXPECT_EQ(ReadBytes(report, "after_stop", "6"), "A demo,");
    EXPECT_EQ(ReadBytes(report, "configuration", "1"), parts);
    // Query System's version and level, as "v.ll".
    const std::string system = report.Joined("query_system");
    EXPECT_EQ("0 " + ReadBytes(report, "version", "4"), system.substr(0, 3) + "." + system.substr(3));

    // The emulator agrees: B is gone, A runs on.
    const auto listed = Command("list");
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].substr(0, 2), "A ");
}

TEST_F(UTLAPIEndToEnd, TheExampleProgramSignsOn) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    auto demo = ChildProcess::Start({TRV_E2E_UTLAPI_DEMO, "A"}, space_);
    ASSERT_TRUE(demo != nullptr);
    const auto code = demo->Wait(kCallerLimit);
    std::string output;
    for (const auto& line : demo->ReadRemainingLines(Milliseconds(1000))) output += line + "\n";
    EXPECT_EQ(code, 0) << output;
    EXPECT_NE(output.find("utlapi_demo: done"), std::string::npos) << output;
    EXPECT_NE(output.find("|" + ScreenRows('A').at(2) + "|"), std::string::npos) << output;
}

constexpr int32_t kLong = 40;  // half seconds: far beyond any host answer here

// utl_waits L: the waits, and event tables that mix a string, a cursor and a
// host-quiet entry, on a host that answers after two seconds.
int UTLWaitsRole(const std::vector<std::string>& args) {
    UTLRegisterClient(kClient);
    UTLConnectSession(kClient, args[0].c_str());
    Say("send_and_wait " + Num(UTLSendAndWait(kClient, 1, 0, "DEMO01@TPALVERO@E", "Main Menu", kLong)));
    Say("send_key " + Num(UTLSendKey(kClient, "1@E")));
    Say("inquiry " + Num(UTLWaitForString(kClient, 0, 0, "Customer Inquiry", kLong)));

    // The host is busy for its two seconds after Enter; quiet comes after.
    Say("lookup " + Num(UTLSendKey(kClient, "100100@E")));
    Say("quiet " + Num(UTLWaitHostQuiet(kClient, 200, kLong)));
    char name[22] = {};
    UTLGetString(kClient, 7, 27, name, 21);
    Say("quiet_name " + Hex({name, 21}));

    // The host's answer fires the string entry.
    Say("add " + Nums({UTLAddWaitForCursor(kClient, 0, 20, 24, 80), UTLAddWaitHostQuiet(kClient, 0, 30, 60000),
                       UTLAddWaitForString(kClient, 0, 10, 7, 27, "BRACKEN & SONS")}));
    Say("lookup2 " + Num(UTLSendKey(kClient, "100215@E")));
    Say("event_string " + Num(UTLWaitForEvent(kClient, 0, kLong)));
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
    Say("clear " + Num(UTLClearEventTable(kClient, 0)));
    Say("disconnect " + Num(UTLDisconnectSession(kClient)));
    return 0;
}

// utl_released_wait L KIND: a wait of the KIND that only the test's action
// releases, after one that timed out: "disconnect" (the session stops),
// "key" (the operator's Enter, which then reaches the host) or "string" (a
// text that never comes, outliving the emulator, which is killed; then a
// host-quiet wait and an event table with the emulator gone).
int UTLReleasedWaitRole(const std::vector<std::string>& args) {
    const std::string kind = args[1];
    auto wait = [&kind](int32_t limit) {
        return kind == "key"        ? UTLWaitForKey(kClient, "@E", limit)
               : kind == "string"   ? UTLWaitForString(kClient, 0, 0, "NEVER SHOWN", limit)
                                    : UTLWaitForHostDisconnect(kClient, limit);
    };
    UTLRegisterClient(kClient);
    UTLConnectSession(kClient, args[0].c_str());
    if (kind == "disconnect") Say("host_connect " + Num(UTLWaitForHostConnect(kClient, 4)));
    Say("timeout " + Num(wait(1)));
    Say("ready");
    Say("released " + Num(wait(kind == "string" ? 6 : 2 * kLong)));
    if (kind == "key") {
        // Enter on an empty sign-on screen: the host asks for the user.
        Say("passed_on " + Num(UTLWaitForString(kClient, 22, 0, "Type your user ID", kLong)));
    } else if (kind == "string") {
        Say("quiet " + Num(UTLWaitHostQuiet(kClient, 100, 1)));
        Say("add " + Nums({UTLAddWait(kClient, 1, 5), UTLAddWaitForCursorMove(kClient, 1, 6)}));
        Say("event " + Num(UTLWaitForEvent(kClient, 1, 1)));
    }
    return 0;
}

[[maybe_unused]] const bool kRegistered = RegisterRoles({
    {"utlapi_sessions", UTLAPISessionsRole},
    {"utl_waits", UTLWaitsRole},
    {"utl_released_wait", UTLReleasedWaitRole},
});

TEST_F(UTLAPIEndToEnd, WaitsAndEventTablesAreReleasedByTheHost) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"answer2s=B"}));
    Report report = RunCaller("utl_waits", {"B"});
    ExpectLines(report, {
        "send_and_wait 35",  // "Main Menu" centred on row 1
        "send_key 1",
        "inquiry 32",  // "Customer Inquiry" on row 1
        "lookup 1", "quiet 1", "quiet_name " + Hex("ALDERTON HARDWARE LTD"),
        "add 1 1 1", "lookup2 1", "event_string 10",
        "wait 1", "away 1 " + std::to_string(2 * 80 + 2),
        "add_cursor 1 1 1 1", "event_cursor_timeout -4", "enter 1", "event_cursor 21",
        "add_quiet 1 1 1 1", "event_quiet 32", "clear 1", "disconnect 1",
    });
    EXPECT_EQ(ScreenRows('B').at(6).substr(26, 14), "BRACKEN & SONS");
}

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
    ASSERT_NO_FATAL_FAILURE(StartReady("utl_released_wait", {"A", row.kind}));
    std::this_thread::sleep_for(Milliseconds(300));  // into the wait
    ASSERT_TRUE(caller_->Running()) << "the wait did not wait";
    if (row.command == nullptr) {
        emulator_->Kill();
    } else {
        EXPECT_EQ(Command(row.command), std::vector<std::string>{row.answer});
    }
    ExpectLines(Finish(), row.lines);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ReleasedWaitEndToEnd,
    testing::Values(
        ReleasedWait{"disconnect", "stop A", "stopped", {"host_connect 1", "timeout -4", "released 1"}},
        ReleasedWait{"key", "keys A [enter]", "OK",
                     {"timeout -4", "released 1", "passed_on " + std::to_string(21 * 80 + 2)}},
        ReleasedWait{"string", nullptr, "", {"timeout -4", "released -4", "quiet -4", "add 1 1", "event -4"}}),
    [](const testing::TestParamInfo<ReleasedWait>& info) { return std::string(info.param.kind); });

}  // namespace
}  // namespace trv::e2e
