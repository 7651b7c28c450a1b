// End to end: Send Key and the field functions on the demonstration host's
// real screens. A native caller works the sign-on screen through the field
// functions, signs on with keystrokes (user ID, Tab, password, Enter) and
// waits for the host's main menu.
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
    // The sign-on screen through the field functions; then keystrokes: an
    // unknown code, a literal bracket, the sign-on; the main menu.
    Report report = RunCaller(
        "script",
        {Step("connect call", HA_CONNECT_PS, "A"), Step("field_attribute calln", HA_QUERY_FIELD_ATTR, "-", kUserField),
         Step("field_position calln", HA_FIND_FIELD_POS, "T~", kUserField + 3),
         Step("field_length calln", HA_FIND_FIELD_LEN, "T~", kUserField),
         Step("next_unprotected calln", HA_FIND_FIELD_POS, "NU", kUserField),
         Step("protected_attribute calln", HA_QUERY_FIELD_ATTR, "-", 1),
         Step("copy_string_to_field call", HA_COPY_STR_TO_FIELD, "demo", kUserField),
         Step("copy_string_to_ps_protected call", HA_COPY_STR_TO_PS, "x", 3),
         Step("copy_field_to_string calld", HA_COPY_FIELD_TO_STR, "-", kUserField, 10, 10),
         Step("search_field calln", HA_SEARCH_FIELD, "mo", kUserField),
         Step("search_field_missing call", HA_SEARCH_FIELD, "Sign", kUserField),
         Step("set_cursor call", HA_SET_CURSOR, "-", kPasswordField), Step("cursor calln", HA_QUERY_CURSOR_LOC),
         Step("set_cursor_off_screen call", HA_SET_CURSOR, "-", 1921),
         Step("convert_pos calln", HA_CONVERT_POS_ROW_COL, "A~~~P", kPasswordField, 0),
         Step("convert_row_col call", HA_CONVERT_POS_ROW_COL, "A~~~r", 35, 7),
         Step("session_status calld", HA_QUERY_SESSION_STATUS, "-", 0, 20, 20),
         Step("set_cursor_user call", HA_SET_CURSOR, "-", kUserField), Step("send_unknown call", HA_SENDKEY, "ab@K"),
         Step("send_bracket call", HA_SENDKEY, "@Fa[b]"),
         Step("user_field calld", HA_COPY_FIELD_TO_STR, "-", kUserField, 10, 10),
         Step("set_cursor_user_again call", HA_SET_CURSOR, "-", kUserField),
         Step("send_sign_on call", HA_SENDKEY, "@Fdemo01@Tpalvero@E"), Step("menu_wait call", HA_WAIT),
         Step("menu row 1 80"), Step("menu_cursor calln", HA_QUERY_CURSOR_LOC)});
    ASSERT_EQ(report.Joined("connect"), "0");

    // Fields of the sign-on screen; strings into and out of fields (Search
    // Field's caller side reports no length); cursor and conversion (column
    // as the return code, row as the length).
    ExpectLines(report, {"field_position 0 " + std::to_string(kUserField), "field_length 0 10",
                         "next_unprotected 0 " + std::to_string(kPasswordField), "copy_string_to_field 0",
                         "copy_string_to_ps_protected 5", "search_field 0 0", "search_field_missing 24",
                         "set_cursor 0", "cursor 0 " + std::to_string(kPasswordField), "set_cursor_off_screen 7",
                         "convert_pos 35 7", "convert_row_col " + std::to_string(kPasswordField),
                         "set_cursor_user 0", "send_unknown 2", "send_bracket 0", "send_sign_on 0", "menu_wait 0",
                         "menu_cursor 0 " + std::to_string(kSelectionField)});
    ASSERT_EQ(report["field_attribute"].size(), 2u);
    ASSERT_EQ(report["protected_attribute"].size(), 2u);
    EXPECT_EQ(report["field_attribute"][0] + report["protected_attribute"][0], "00");
    EXPECT_NE(report["protected_attribute"][1], report["field_attribute"][1]);
    ASSERT_EQ(report["copy_field_to_string"].size(), 3u);
    EXPECT_EQ(report["copy_field_to_string"][2].substr(0, 8), Hex(std::string("demo")));
    ASSERT_EQ(report["session_status"].size(), 3u);
    EXPECT_EQ(report["session_status"][0], "0");
    const std::string status = FromHex(report["session_status"][2]);
    ASSERT_EQ(status.size(), 20u);
    // The 32-bit layout: letter, three reserved bytes, the name, the type,
    // then rows and columns at 14 and 16.
    EXPECT_EQ(std::string() + status[0] + status[12], "AD");
    EXPECT_EQ(ReadU16(reinterpret_cast<const unsigned char*>(status.data()) + 14), 24u);
    EXPECT_EQ(ReadU16(reinterpret_cast<const unsigned char*>(status.data()) + 16), 80u);

    // An unknown code sends nothing but the reset, a literal bracket is
    // typed as itself, and the sign-on reaches the host.
    ASSERT_EQ(report["user_field"].size(), 3u);
    EXPECT_EQ(report["user_field"][0], "0");
    EXPECT_EQ(Lower(FromHex(report["user_field"][2]).substr(0, 4)), "a[b]")
        << "the unknown code's text must not have been typed";
    EXPECT_NE(FromHex(report.Joined("menu")).find("Main Menu"), std::string::npos) << FromHex(report.Joined("menu"));

    // The emulator's own rendering agrees.
    const auto rows = emulator_->ScreenRows('A');
    ASSERT_FALSE(rows.empty());
    EXPECT_NE(rows.front().find("Main Menu"), std::string::npos);
}

}  // namespace
}  // namespace trv::e2e
