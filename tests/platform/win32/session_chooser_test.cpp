// The "Choose a Session" dialog (a resource linked into this binary): a
// worker thread runs it while the test finds it, checks its list, selects an
// entry and presses a button with window messages, as a user would.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "platform/session_chooser.h"
#include "support/test_thread.h"
#include "support/win32/windows_test.h"

namespace trv::test {
namespace {

constexpr int kListBox = 1000;
constexpr const char* kDialogClass = "#32770";

struct ChooserRow {
    const char* what;
    int select;  // the entry selected before the button, -1 none (the first stays selected)
    WORD button;
    int chosen;
};

TEST(SessionChooserTest, TheDialogAnswersTheEntryChosenOrCancelled) {
    if (const std::string why = NoDisplayReason(); !why.empty()) GTEST_SKIP() << why;
    const std::vector<std::string> entries = {"A - demo", "B - payroll", "C - stock"};
    const ChooserRow rows[] = {
        {"OK on the first entry, selected at the start", -1, IDOK, 0},
        {"OK on the third", 2, IDOK, 2},
        {"Cancel after selecting", 1, IDCANCEL, -1},
    };
    for (const ChooserRow& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string title = "Choose a session for test " + std::to_string(GetCurrentProcessId());
        std::atomic<int> chosen{-2};
        TestThread worker([&] { chosen = platform::ChooseSession(0, title, entries, false); });
        HWND dialog = nullptr;
        for (int i = 0; i < 2000 && dialog == nullptr; ++i) {
            dialog = FindWindowA(kDialogClass, title.c_str());
            if (dialog == nullptr) Sleep(10);
        }
        if (dialog == nullptr) {
            ADD_FAILURE() << "the dialog did not appear";
            PostThreadMessageA(worker.id(), WM_QUIT, 0, 0);  // ends the dialog's modal loop
        } else {
            EXPECT_EQ(SendDlgItemMessageA(dialog, kListBox, LB_GETCOUNT, 0, 0), 3);
            char text[64] = {};
            SendDlgItemMessageA(dialog, kListBox, LB_GETTEXT, 2, reinterpret_cast<LPARAM>(text));
            EXPECT_STREQ(text, "C - stock");
            EXPECT_EQ(SendDlgItemMessageA(dialog, kListBox, LB_GETCURSEL, 0, 0), 0);
            if (row.select >= 0) SendDlgItemMessageA(dialog, kListBox, LB_SETCURSEL, row.select, 0);
            PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(row.button, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(dialog, row.button)));
        }
        EXPECT_TRUE(worker.Join());
        EXPECT_EQ(chosen, row.chosen);
    }
    EXPECT_EQ(platform::ChooseSession(0, "unattended", entries, true), -1) << "nothing is shown unattended";
}

}  // namespace
}  // namespace trv::test
