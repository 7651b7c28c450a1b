// Operations on the emulator's top-level windows: each is one call of the
// window manager (the show state is a read-modify-write of the placement).
// The emulator's window belongs to another process's thread: the active
// window is the foreground window, and a show state is handed to the
// window's thread where the placement cannot be set from here.
#include "platform/emulator_window.h"

#include "platform/win32/windows_api.h"

namespace trv::platform {

using win32::FromWindow;
using win32::ToWindow;

WindowHandle FindTopLevelWindow(const char* className, const char* title) {
    HWND window = FindWindowA(className, title);
    if (window == nullptr) win32::RecordLastError();
    return FromWindow(window);
}

bool IsWindowMaximized(WindowHandle window) { return IsZoomed(ToWindow(window)) != FALSE; }

bool IsWindowMinimized(WindowHandle window) { return IsIconic(ToWindow(window)) != FALSE; }

bool SetWindowShowState(WindowHandle window, int showCommand) {
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof(placement);
    if (!GetWindowPlacement(ToWindow(window), &placement)) {
        win32::RecordLastError();
        return false;
    }
    placement.showCmd = static_cast<UINT>(showCommand);
    if (::SetWindowPlacement(ToWindow(window), &placement)) return true;
    // Wine changes only its own process's placements; the window's thread
    // carries the show command out for any other.
    if (!ShowWindowAsync(ToWindow(window), showCommand)) {
        win32::RecordLastError();
        return false;
    }
    return true;
}

WindowHandle GetForegroundWindowHandle() { return FromWindow(GetForegroundWindow()); }

bool SetForegroundWindowHandle(WindowHandle window) {
    return SetForegroundWindow(ToWindow(window)) != FALSE;
}

// The handlers never run on the thread that owns the emulator's window, so
// the active window is the foreground one, whichever thread owns it.
WindowHandle GetActiveWindowHandle() { return FromWindow(GetForegroundWindow()); }

WindowHandle SetActiveWindowHandle(WindowHandle window) {
    HWND previous = GetForegroundWindow();
    if (!SetForegroundWindow(ToWindow(window))) {
        win32::RecordLastError();
        return 0;
    }
    return FromWindow(previous);
}

WindowHandle SetFocusWindow(WindowHandle window) {
    HWND previous = SetFocus(ToWindow(window));
    if (previous == nullptr) win32::RecordLastError();
    return FromWindow(previous);
}

WindowHandle GetRelatedWindow(WindowHandle window, std::uint32_t relation) {
    HWND related = GetWindow(ToWindow(window), relation);
    // The next window is the next one shown: hidden windows (a thread's
    // input-method window, say) cannot take the focus.
    while (relation == GW_HWNDNEXT && related != nullptr && !IsWindowVisible(related)) {
        related = GetWindow(related, GW_HWNDNEXT);
    }
    if (related == nullptr) win32::RecordLastError();
    return FromWindow(related);
}

std::size_t GetWindowTitle(WindowHandle window, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) {
        win32::RecordError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const int clamped = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
    const int length = GetWindowTextA(ToWindow(window), buffer, clamped);
    if (length <= 0) {
        win32::RecordLastError();
        buffer[0] = '\0';
        return 0;
    }
    return static_cast<std::size_t>(length);
}

bool SetWindowTitle(WindowHandle window, const char* title) {
    if (!SetWindowTextA(ToWindow(window), title)) {
        win32::RecordLastError();
        return false;
    }
    return true;
}

bool SetWindowPlacement(WindowHandle window, WindowHandle insertAfter, int x, int y, int cx,
                        int cy, std::uint32_t flags) {
    if (!SetWindowPos(ToWindow(window), ToWindow(insertAfter), x, y, cx, cy, flags)) {
        win32::RecordLastError();
        return false;
    }
    return true;
}

bool BringWindowToFront(WindowHandle window) {
    if (!BringWindowToTop(ToWindow(window))) {
        win32::RecordLastError();
        return false;
    }
    return true;
}

}  // namespace trv::platform
