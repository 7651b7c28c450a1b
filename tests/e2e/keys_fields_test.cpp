// End to end: Send Key and the field functions on the demonstration host's
// real screens. A native caller works the sign-on screen through the field
// functions, signs on with keystrokes (user ID, Tab, password, Enter) and
// follows the screen until the host's main menu shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

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

    // Fields of the sign-on screen; strings into and out of fields (Search
    // Field's caller side reports no length); cursor and conversion (column
    // as the return code, row as the length).
    ExpectLines(report, {"field_position 0 " + std::to_string(kUserField), "field_length 0 10",
                         "next_unprotected 0 " + std::to_string(kPasswordField), "copy_string_to_field 0",
                         "copy_string_to_ps_protected 5", "search_field 0 0", "search_field_missing 24",
                         "set_cursor 0", "cursor " + std::to_string(kPasswordField), "set_cursor_off_screen 7",
                         "convert_pos 35 7", "convert_row_col " + std::to_string(kPasswordField),
                         "set_cursor_user 0", "send_unknown 2", "send_bracket 0", "send_sign_on 0",
                         "menu_cursor 0 " + std::to_string(kSelectionField), "selection_length 0 2"});
    ASSERT_EQ(report["field_attribute"].size(), 2u);
    ASSERT_EQ(report["protected_attribute"].size(), 2u);
    EXPECT_EQ(report["field_attribute"][0] + report["protected_attribute"][0], "00");
    EXPECT_NE(report["protected_attribute"][1], report["field_attribute"][1]);
    EXPECT_EQ(report.Joined("copy_field_to_string").substr(0, 10), "0 " + Hex(std::string("demo")));
    ASSERT_EQ(report["session_status"].size(), 2u);
    EXPECT_EQ(report["session_status"][0], "0");
    const std::string status = FromHex(report["session_status"][1]);
    ASSERT_EQ(status.size(), 20u);
    // The 32-bit layout: letter, three reserved bytes, the name, the type,
    // then rows and columns at 14 and 16.
    EXPECT_EQ(std::string() + status[0] + status[12], "AD");
    EXPECT_EQ(ReadU16(reinterpret_cast<const unsigned char*>(status.data()) + 14), 24u);
    EXPECT_EQ(ReadU16(reinterpret_cast<const unsigned char*>(status.data()) + 16), 80u);

    // An unknown code sends nothing but the reset, a literal bracket is
    // typed as itself, and the sign-on reaches the host.
    ASSERT_EQ(report["user_field"].size(), 2u);
    EXPECT_EQ(report["user_field"][0], "0");
    EXPECT_EQ(Lower(FromHex(report["user_field"][1]).substr(0, 4)), "a[b]")
        << "the unknown code's text must not have been typed";
    ASSERT_EQ(report["menu"].size(), 2u);
    EXPECT_EQ(report["menu"][0], "1") << "the main menu did not show; top row: " << FromHex(report["menu"][1]);

    // The emulator's own rendering agrees.
    const auto rows = emulator_->ScreenRows('A');
    ASSERT_FALSE(rows.empty());
    EXPECT_NE(rows.front().find("Main Menu"), std::string::npos);
}

}  // namespace
}  // namespace trv::e2e
