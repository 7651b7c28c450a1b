// "Choose a Session": the modal dialog of template 101 in the library's
// resources, run by ListSessionsProc.
#include "platform/session_chooser.h"

#include "platform/win32/windows_api.h"

namespace trv::platform {
namespace {

constexpr int kDialogTemplate = 101;
constexpr int kListBox = 1000;

struct ChooserData {
    const std::string* title;
    const std::vector<std::string>* entries;
    int chosen;
};

// The step hook of the dialog running on this thread (the dialog is modal,
// so one at a time); it sees every message, also those before
// WM_INITDIALOG.
thread_local ChooserStepHook t_stepHook = nullptr;

INT_PTR HandleMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            auto* data = reinterpret_cast<ChooserData*>(lParam);
            SetWindowLongPtrA(dialog, DWLP_USER, lParam);
            if (!data->title->empty()) SetWindowTextA(dialog, data->title->c_str());
            for (const std::string& entry : *data->entries) {
                SendDlgItemMessageA(dialog, kListBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
            }
            SendDlgItemMessageA(dialog, kListBox, LB_SETCURSEL, 0, 0);
            return TRUE;
        }
        case WM_COMMAND: {
            auto* data = reinterpret_cast<ChooserData*>(GetWindowLongPtrA(dialog, DWLP_USER));
            if (LOWORD(wParam) == IDOK) {
                const LRESULT selected = SendDlgItemMessageA(dialog, kListBox, LB_GETCURSEL, 0, 0);
                data->chosen = selected == LB_ERR ? -1 : static_cast<int>(selected);
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                data->chosen = -1;
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            return FALSE;
        }
        default:
            return FALSE;
    }
}

INT_PTR CALLBACK ListSessionsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    const ChooserStepHook hook = t_stepHook;
    if (hook != nullptr) hook(true, 0);
    const INT_PTR answer = HandleMessage(dialog, message, wParam, lParam);
    if (hook != nullptr) hook(false, answer);
    return answer;
}

HMODULE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ListSessionsProc), &module);
    return module;
}

}  // namespace

int ChooseSession(std::uintptr_t owner, const std::string& title, const std::vector<std::string>& entries,
                  bool unattended, ChooserStepHook hook) {
    if (unattended) return -1;
    ChooserData data{&title, &entries, -1};
    t_stepHook = hook;
    HWND ownerWindow = reinterpret_cast<HWND>(owner);
    if (ownerWindow != nullptr && !IsWindow(ownerWindow)) ownerWindow = nullptr;
    const INT_PTR result = DialogBoxParamA(ThisModule(), MAKEINTRESOURCEA(kDialogTemplate), ownerWindow,
                                           ListSessionsProc, reinterpret_cast<LPARAM>(&data));
    t_stepHook = nullptr;
    return result == IDOK ? data.chosen : -1;
}

}  // namespace trv::platform
