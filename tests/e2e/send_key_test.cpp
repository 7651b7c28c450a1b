// End to end: Send Key's escape codes on the demonstration host's sign-on
// screen. The caller (a role of this binary) sends keystroke strings and
// reads the fields back; the emulator's "sent" command shows each string as
// the emulator received it, with the retry flag the library chose.
#include <gtest/gtest.h>

#include "e2e_fixture.h"

namespace trv::e2e {
namespace {

constexpr int32_t kUserField = 5 * 80 + 35;      // row 6, column 35
constexpr int32_t kPasswordField = 6 * 80 + 35;  // row 7, column 35
constexpr int32_t kMessageRow = 21 * 80 + 1;     // row 22, where the host answers
constexpr int32_t kFieldLength = 10;

// --- the caller role ----------------------------------------------------

void ReportField(const std::string& key, int32_t position) {
    std::vector<char> field(HLLAPI_MAX_DATA, '\0');
    const Outcome copied = Run(HA_COPY_FIELD_TO_STR, field.data(), kFieldLength, position);
    Say(key + " " + Num(copied.rc) + " " + Hex(field.data(), kFieldLength));
}

// Follows the host's message row until it shows `text` (or 10 s pass) and
// reports it.
void ReportMessageRow(const std::string& key, const std::string& text) {
    std::vector<char> row(HLLAPI_MAX_DATA, '\0');
    for (auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
         std::chrono::steady_clock::now() < deadline;) {
        const Outcome copied = Run(HA_COPY_PS_TO_STR, row.data(), 80, kMessageRow);
        if (copied.rc == 0 && std::string(row.data(), 80).find(text) != std::string::npos) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Say(key + " " + Hex(row.data(), 80));
}

// send_key_escapes L: on the sign-on screen of L: text around an Enter; a
// System Request; the escape character changed to '#'; "@@".
int SendKeyEscapesRole(const std::vector<std::string>& args) {
    Say("connect " + Num(RunText(HA_CONNECT_PS, args[0])));

    // The user ID goes to the host with the Enter; the text after it waits
    // for the host's answer and lands in the password field.
    Say("enter_between " + Num(RunText(HA_SENDKEY, "ABC@Edef")));
    ReportMessageRow("enter_message", "not correct");
    ReportField("enter_user", kUserField);
    ReportField("enter_password", kPasswordField);

    Say("sysreq " + Num(RunText(HA_SENDKEY, "@A@H")));
    ReportMessageRow("sysreq_message", "system request");

    Say("esc_parms " + Num(RunText(HA_SET_SESSION_PARMS, "ESC=#")));
    Say("esc_enter " + Num(RunText(HA_SENDKEY, "X@E#E")));
    ReportMessageRow("esc_message", "not correct");
    ReportField("esc_user", kUserField);
    // Typed as it is, but still sent without retry: the reset test looks for
    // "@R" whatever the escape character.
    Say("esc_literal_reset " + Num(RunText(HA_SENDKEY, "@Rx")));
    ReportField("esc_password", kPasswordField);

    Say("esc_back " + Num(RunText(HA_SET_SESSION_PARMS, "ESC=@")));
    Say("set_cursor " + Num(Run(HA_SET_CURSOR, nullptr, 0, kUserField).rc));
    Say("at_sign " + Num(RunText(HA_SENDKEY, "@Fa@@b")));
    ReportField("at_user", kUserField);
    return 0;
}

[[maybe_unused]] const bool kRegistered = RegisterRoles({
    {"send_key_escapes", SendKeyEscapesRole, 1},
});

// --- the test -----------------------------------------------------------

// A field's text as the caller read it, without the trailing nulls and blanks.
std::string FieldText(const Report& report, const std::string& key) {
    const auto values = report[key];
    if (values.size() != 2 || values[0] != "0") return "<rc " + (values.empty() ? "?" : values[0]) + ">";
    std::string text = FromHex(values[1]);
    while (!text.empty() && (text.back() == '\0' || text.back() == ' ')) text.pop_back();
    return text;
}

std::string RowText(const Report& report, const std::string& key) {
    const auto values = report[key];
    return values.size() == 1 ? FromHex(values[0]) : "";
}

TEST_F(EmulatorEndToEnd, SendKeyEscapeCodesReachTheDemonstrationHost) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    Report report = RunCaller("send_key_escapes", {"A"});
    ASSERT_EQ(report.Joined("connect"), "0");

    ExpectLines(report, {"enter_between 0", "sysreq 0", "esc_parms 0", "esc_enter 0", "esc_literal_reset 0",
                         "esc_back 0", "set_cursor 0", "at_sign 0"});
    EXPECT_NE(RowText(report, "enter_message").find("Sign-on information is not correct."), std::string::npos)
        << "the Enter did not reach the host";
    EXPECT_EQ(FieldText(report, "enter_user"), "ABC") << "as the host painted it back";
    EXPECT_EQ(FieldText(report, "enter_password"), "def") << "typed after the host's answer";
    EXPECT_NE(RowText(report, "sysreq_message").find("Session ended by system request."), std::string::npos);
    EXPECT_NE(RowText(report, "esc_message").find("Sign-on information is not correct."), std::string::npos)
        << "#E did not work as Enter";
    EXPECT_EQ(FieldText(report, "esc_user"), "X@E") << "@E is two characters once the escape is '#'";
    EXPECT_EQ(FieldText(report, "esc_password"), "@Rx");
    EXPECT_EQ(FieldText(report, "at_user"), "a@b");

    // What the emulator received: every string after a reset without retry;
    // retry off for System Request and for anything starting "@R".
    const std::vector<std::string> expected = {
        "false [reset]", "true ABC[enter]def",   //
        "false [reset]", "false [sysreq]",       //
        "false [reset]", "true X@E[enter]",      //
        "false [reset]", "false @Rx",            //
        "false [reset]", "true [eraseeof]a@b",
    };
    EXPECT_EQ(emulator_->Command("sent A"), expected);
    EXPECT_EQ(emulator_->Command("sent A"), std::vector<std::string>{}) << "taken once";
}

}  // namespace
}  // namespace trv::e2e
