// End to end: the reference emulator in a JDK 17 virtual machine with
// libtrvha64.so loaded offers its sessions; native caller processes reach
// them through the library's EHLLAPI entries: the screen, the fields and the
// keystrokes of the demonstration host, a wide screen in Unicode, and the
// emulator's service thread interrupted.
#include "e2e_fixture.h"

namespace trv::e2e {
namespace {

constexpr int kColumns = 80;
// The sign-on screen's user field at row 6, column 35.
constexpr int kUserField = 5 * kColumns + 35;
constexpr int kPasswordField = 6 * kColumns + 35;   // row 7, column 35
constexpr int kSelectionField = 19 * kColumns + 17;  // the main menu's row 20, column 17

TEST_F(EmulatorEndToEnd, CallersReadThePresentationSpaceAsTheEmulatorShowsIt) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A", "demo=B"}));

    // A caller reading the screen the ways an automation application does
    // (the exact sizes it may be given are the unit tests').
    Report report = RunCaller(
        "script",
        {Step("connect call", HA_CONNECT_PS, "A"), Step("query_sessions calld", HA_QUERY_SESSIONS, "-", 0, 26 * 16, 32),
         Step("copy_ps calld", HA_COPY_PS, "-", 0, 0, 1920),
         Step("copy_ps_to_string calld", HA_COPY_PS_TO_STR, "-", 6 * kColumns + 1, kColumns, kColumns),
         Step("search_ps calln", HA_SEARCH_PS, "Sign~On"), Step("search_ps_missing calln", HA_SEARCH_PS, "no~such~text")});

    // Query Sessions: one 16-byte entry per session, with the size of its
    // screen. Copy PS: the sign-on screen byte for byte, as the emulator
    // renders it itself. Copy PS to String from row 7, column 1: that row.
    std::string rendered;
    for (const auto& row : emulator_->ScreenRows('A')) rendered += row;
    ASSERT_EQ(rendered.size(), 1920u);
    EXPECT_NE(rendered.find("Sign On"), std::string::npos) << rendered;
    auto entry = [](char letter) {
        return Hex(std::string(1, letter) + std::string(3, '\0') + std::string(1, letter) + std::string(7, '\0') +
                   "H" + std::string(1, '\0') + "\x80\x07");
    };
    ExpectLines(report, {"connect 0", "query_sessions 0 2 " + entry('A') + entry('B'), "copy_ps 0 1920 " + Hex(rendered),
                         "copy_ps_to_string 0 80 " + Hex(rendered.substr(6 * kColumns, kColumns)), "search_ps 0 36",
                         "search_ps_missing 24 0"});
}

// The sign-on screen through the field functions; then keystrokes (a
// literal bracket, the sign-on: user ID, Tab, password, Enter) and the
// host's main menu.
TEST_F(EmulatorEndToEnd, KeystrokesAndFieldFunctionsWorkTheDemonstrationHost) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    Report report = RunCaller(
        "script",
        {Step("connect call", HA_CONNECT_PS, "A"), Step("field_attribute calln", HA_QUERY_FIELD_ATTR, "-", kUserField),
         Step("next_unprotected calln", HA_FIND_FIELD_POS, "NU", kUserField),
         Step("protected_attribute calln", HA_QUERY_FIELD_ATTR, "-", 1),
         Step("copy_string_to_field call", HA_COPY_STR_TO_FIELD, "demo", kUserField),
         Step("copy_field_to_string calld", HA_COPY_FIELD_TO_STR, "-", kUserField, 10, 10),
         Step("search_field calln", HA_SEARCH_FIELD, "mo", kUserField),
         Step("set_cursor call", HA_SET_CURSOR, "-", kPasswordField), Step("cursor calln", HA_QUERY_CURSOR_LOC),
         Step("convert_pos calln", HA_CONVERT_POS_ROW_COL, "A~~~P", kPasswordField, 0),
         Step("convert_row_col call", HA_CONVERT_POS_ROW_COL, "A~~~r", 35, 7),
         Step("set_cursor_user call", HA_SET_CURSOR, "-", kUserField),
         Step("send_bracket call", HA_SENDKEY, "@Fa[b]"),
         Step("user_field calld", HA_COPY_FIELD_TO_STR, "-", kUserField, 10, 10),
         Step("set_cursor_user_again call", HA_SET_CURSOR, "-", kUserField),
         Step("send_sign_on call", HA_SENDKEY, "@Fdemo01@Tpalvero@E"), Step("menu_wait call", HA_WAIT),
         Step("menu_cursor calln", HA_QUERY_CURSOR_LOC)});

    // Fields of the sign-on screen; strings into and out of fields (Search
    // Field's caller side reports no length); cursor and conversion (column
    // as the return code, row as the length).
    ExpectLines(report, {"connect 0", "next_unprotected 0 " + std::to_string(kPasswordField), "copy_string_to_field 0",
                         "search_field 0 0", "set_cursor 0", "cursor 0 " + std::to_string(kPasswordField),
                         "convert_pos 35 7", "convert_row_col " + std::to_string(kPasswordField),
                         "set_cursor_user 0", "send_bracket 0", "send_sign_on 0", "menu_wait 0",
                         "menu_cursor 0 " + std::to_string(kSelectionField)});
    ASSERT_EQ(report["field_attribute"].size(), 2u);
    ASSERT_EQ(report["protected_attribute"].size(), 2u);
    EXPECT_EQ(report["field_attribute"][0] + report["protected_attribute"][0], "00");
    EXPECT_NE(report["protected_attribute"][1], report["field_attribute"][1]);
    EXPECT_EQ(ReadBytes(report, "copy_field_to_string", "0 10").substr(0, 4), "demo");

    // A literal bracket is typed as itself, and the sign-on reaches the host
    // (the cursor waits on the main menu).
    EXPECT_EQ(ReadBytes(report, "user_field", "0 10").substr(0, 4), "a[b]");
}

// The demonstration host's 27x132 exchange-rate screen, with characters
// outside Latin-1, copied whole by Copy PS to String: two bytes a position
// (the length in positions, a 16-bit terminator after the text) when the
// caller left room for them, single bytes with '?' for those characters
// otherwise.
TEST_F(EmulatorEndToEnd, AWideScreenCopiesAsUnicodeOrAsSingleBytes) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"rates=A"}));
    constexpr int kWideSize = 27 * 132;
    Report report = RunCaller(
        "script", {Step("connect call", HA_CONNECT_PS, "A"), Step("sign_on call", HA_SENDKEY, "demo01@Tpalvero@E"),
                   Step("wait call", HA_WAIT), Step("rates call", HA_SENDKEY, "3@E"), Step("rates_wait call", HA_WAIT),
                   Step("unicode calld", HA_COPY_PS_TO_STR, "-", 1, 2 * kWideSize, 2 * kWideSize + 2),
                   Step("single calld", HA_COPY_PS_TO_STR, "-", 1, kWideSize, kWideSize)});
    ExpectLines(report, {"connect 0", "wait 0", "rates_wait 0"});

    const std::string bytes = ReadBytes(report, "single", "0 " + std::to_string(kWideSize));
    EXPECT_EQ(bytes.substr(6 * 132 + 1, 15), "EUR  ?     Euro");

    const std::string units = ReadBytes(report, "unicode", "0 " + std::to_string(kWideSize));
    ASSERT_EQ(units.size(), 2u * kWideSize + 2);
    EXPECT_EQ(units.substr(2u * kWideSize), std::string(2, '\0'));
    auto unitAt = [&units](int row, int column) {
        return ReadU16(reinterpret_cast<const unsigned char*>(units.data()) + 2 * ((row - 1) * 132 + column - 1));
    };
    EXPECT_EQ(unitAt(7, 2), unsigned{'E'});
    EXPECT_EQ(unitAt(7, 7), 0x20ACu) << "euro sign";
    EXPECT_EQ(unitAt(8, 8), 0x0142u) << "l with stroke";
    EXPECT_EQ(unitAt(11, 7), 0x00A5u) << "yen sign, inside Latin-1";
}

// A stray Thread.interrupt() of a session's service thread (the emulator's
// "interrupt" command interrupts the thread that served the latest request).
constexpr int kRequestsAfterTheInterrupt = 3;

TEST_F(EmulatorEndToEnd, AnInterruptOfTheServiceThreadFailsNoLaterRequest) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    // One Send Key, then, after the go-ahead (the test has interrupted the
    // service thread meanwhile), several more: none fails.
    const std::string keys = "ABC@Edef";  // waiting for the host's answer to the Enter
    std::vector<std::string> steps = {Step("connect call", HA_CONNECT_PS, "A"), Step("before call", HA_SENDKEY, keys),
                                      "ready say", "- go"};
    steps.insert(steps.end(), kRequestsAfterTheInterrupt, Step("after call", HA_SENDKEY, keys));
    auto caller = StartReady("script", steps);
    ASSERT_TRUE(caller != nullptr);
    EXPECT_EQ(emulator_->Command("interrupt A"), std::vector<std::string>{"interrupted"});
    ASSERT_TRUE(caller->WriteLine("go"));
    Report report = Finish(*caller);
    ExpectLines(report, {"connect 0", "before 0"});
    EXPECT_EQ(report.All("after"), std::vector<std::vector<std::string>>(kRequestsAfterTheInterrupt, {"0"}));
    // Each string waited for the host and was typed whole.
    auto sent = emulator_->Command("sent A").value_or(std::vector<std::string>{});
    std::erase(sent, "false [reset]");
    EXPECT_EQ(sent, std::vector<std::string>(kRequestsAfterTheInterrupt + 1, "true ABC[enter]def"));
}

}  // namespace
}  // namespace trv::e2e
