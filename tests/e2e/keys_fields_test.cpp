// End to end: Send Key and the field functions on the demonstration host's
// real screens. A native caller works the sign-on screen through the field
// functions, signs on with keystrokes (user ID, Tab, password, Enter) and
// follows the screen until the host's main menu shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "e2e_fixture.h"

namespace trv::e2e {
namespace {

constexpr int kUserField = 5 * 80 + 35;      // row 6, column 35
constexpr int kPasswordField = 6 * 80 + 35;  // row 7, column 35
constexpr int kSelectionField = 19 * 80 + 17;  // the main menu's row 20, column 17

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

TEST_F(EmulatorEndToEnd, KeystrokesAndFieldFunctionsWorkTheDemonstrationHost) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    Report report = RunCaller("keys_fields", {"A"});
    ASSERT_EQ(report.Joined("connect"), "0");

    // Fields of the sign-on screen.
    ASSERT_EQ(report["field_attribute"].size(), 2u);
    EXPECT_EQ(report["field_attribute"][0], "0");
    ASSERT_EQ(report["protected_attribute"].size(), 2u);
    EXPECT_EQ(report["protected_attribute"][0], "0");
    EXPECT_NE(report["protected_attribute"][1], report["field_attribute"][1]);
    EXPECT_EQ(report.Joined("field_position"), "0 " + std::to_string(kUserField));
    EXPECT_EQ(report.Joined("field_length"), "0 10");
    EXPECT_EQ(report.Joined("next_unprotected"), "0 " + std::to_string(kPasswordField));

    // Strings into and out of fields.
    EXPECT_EQ(report.Joined("copy_string_to_field"), "0");
    EXPECT_EQ(report.Joined("copy_string_to_ps_protected"), "5");
    ASSERT_EQ(report["copy_field_to_string"].size(), 2u);
    EXPECT_EQ(report["copy_field_to_string"][0], "0");
    EXPECT_EQ(FromHex(report["copy_field_to_string"][1]).substr(0, 4), "demo");
    // Search Field finds the text; its caller side reports no length.
    EXPECT_EQ(report.Joined("search_field"), "0 0");
    EXPECT_EQ(report.Joined("search_field_missing"), "24");

    // Cursor and conversion.
    EXPECT_EQ(report.Joined("set_cursor"), "0");
    EXPECT_EQ(report.Joined("cursor"), std::to_string(kPasswordField));
    EXPECT_EQ(report.Joined("set_cursor_off_screen"), "7");
    EXPECT_EQ(report.Joined("convert_pos"), "35 7");  // column as the return code, row as the length
    EXPECT_EQ(report.Joined("convert_row_col"), std::to_string(kPasswordField));
    ASSERT_EQ(report["session_status"].size(), 2u);
    EXPECT_EQ(report["session_status"][0], "0");
    const std::string status = FromHex(report["session_status"][1]);
    ASSERT_EQ(status.size(), 20u);
    EXPECT_EQ(status[0], 'A');
    EXPECT_EQ(status[9], 'D');

    // Keystrokes: an unknown code sends nothing but the reset, a literal
    // bracket is typed as itself, and the sign-on reaches the host.
    EXPECT_EQ(report.Joined("set_cursor_user"), "0");
    EXPECT_EQ(report.Joined("send_unknown"), "2");
    EXPECT_EQ(report.Joined("send_bracket"), "0");
    ASSERT_EQ(report["user_field"].size(), 2u);
    EXPECT_EQ(report["user_field"][0], "0");
    const std::string user = FromHex(report["user_field"][1]);
    EXPECT_EQ(Lower(user.substr(0, 4)), "a[b]") << "the unknown code's text must not have been typed";
    EXPECT_EQ(report.Joined("send_sign_on"), "0");
    ASSERT_EQ(report["menu"].size(), 2u);
    EXPECT_EQ(report["menu"][0], "1") << "the main menu did not show; top row: " << FromHex(report["menu"][1]);
    EXPECT_NE(FromHex(report["menu"][1]).find("Main Menu"), std::string::npos);
    EXPECT_EQ(report.Joined("menu_cursor"), "0 " + std::to_string(kSelectionField));
    EXPECT_EQ(report.Joined("selection_length"), "0 2");

    // The emulator's own rendering agrees.
    const auto rows = emulator_->ScreenRows('A');
    ASSERT_FALSE(rows.empty());
    EXPECT_NE(rows.front().find("Main Menu"), std::string::npos);
}

}  // namespace
}  // namespace trv::e2e
