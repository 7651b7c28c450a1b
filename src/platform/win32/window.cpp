// Message-only windows (parent HWND_MESSAGE) of one window class registered
// per module. Their window procedure is DefWindowProcA: posted messages are
// read from the owner thread's queue by GetThreadMessage, never dispatched.
#include "platform/window.h"

#include "platform/win32/windows_api.h"

namespace trv::platform {
namespace {

constexpr const char* kMessageWindowClass = "TrvMessageWindow";

// The module this code is linked into (the DLL, or a test executable), which
// owns the window class.
HINSTANCE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ThisModule), &module);
    return module;
}

BOOL CALLBACK RegisterClassOnce(PINIT_ONCE, PVOID, PVOID*) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = ThisModule();
    windowClass.lpszClassName = kMessageWindowClass;
    // A class left registered by an earlier load of the same module is
    // as good as a new one.
    if (RegisterClassExA(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        win32::RecordLastError();
        return FALSE;
    }
    return TRUE;
}

bool EnsureWindowClass() {
    static INIT_ONCE once = INIT_ONCE_STATIC_INIT;
    // A failed attempt is retried by the next caller.
    return InitOnceExecuteOnce(&once, RegisterClassOnce, nullptr, nullptr) != FALSE;
}

}  // namespace

WindowHandle CreateMessageWindow() {
    if (!EnsureWindowClass()) return 0;
    HWND window = CreateWindowExA(0, kMessageWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                  nullptr, ThisModule(), nullptr);
    if (window == nullptr) win32::RecordLastError();
    return win32::FromWindow(window);
}

void DestroyMessageWindow(WindowHandle window) {
    if (window == 0) return;
    if (!DestroyWindow(win32::ToWindow(window))) win32::RecordLastError();
}

bool PostWindowMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                       std::intptr_t lParam) {
    if (window == 0) {
        win32::RecordError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    if (!PostMessageA(win32::ToWindow(window), message, wParam, lParam)) {
        win32::RecordLastError();
        return false;
    }
    return true;
}

bool IsWindowHandle(WindowHandle window) {
    return window != 0 && IsWindow(win32::ToWindow(window)) != FALSE;
}

}  // namespace trv::platform
