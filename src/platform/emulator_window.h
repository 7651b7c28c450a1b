// Operations on the emulator's top-level windows, used by the window services
// of the dispatcher and the emulator side. Each is one call of the windowing
// system, or the few calls its conventions need for the same effect; a
// backend without a windowing system (or without a display) answers failure
// (0, false or an empty text). The window is another thread's, usually
// another process's: the active window is the one the user works with
// (the foreground window), whichever thread owns it. A change may follow the
// call a moment later: on X11 when the window manager carries it out (the
// backend waits a short while for that), on Windows when the window's own
// thread does.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/window.h"

namespace trv::platform {

WindowHandle FindTopLevelWindow(const char* className, const char* title);
bool IsWindowMaximized(WindowHandle window);
bool IsWindowMinimized(WindowHandle window);
bool SetWindowShowState(WindowHandle window, int showCommand);
WindowHandle GetForegroundWindowHandle();
bool SetForegroundWindowHandle(WindowHandle window);
WindowHandle GetActiveWindowHandle();
WindowHandle SetActiveWindowHandle(WindowHandle window);
WindowHandle SetFocusWindow(WindowHandle window);
WindowHandle GetRelatedWindow(WindowHandle window, std::uint32_t relation);
std::size_t GetWindowTitle(WindowHandle window, char* buffer, std::size_t size);
bool SetWindowTitle(WindowHandle window, const char* title);
bool SetWindowPlacement(WindowHandle window, WindowHandle insertAfter, int x, int y, int cx,
                        int cy, std::uint32_t flags);
// Brings the window to the top of the window order; false when it could not.
bool BringWindowToFront(WindowHandle window);

// The emulator's top-level window titled `title`: the first window of the
// classes the Java runtime gives its frames ("MSAWT_Comp_Class",
// "SunAWTFrame", "AWTFrame", in that order) that has the title; 0 when none.
WindowHandle FindEmulatorWindow(const char* title);

// Window-order relation of GetRelatedWindow: the next shown window below.
inline constexpr std::uint32_t kNextWindow = 2;
// Show commands of SetWindowShowState.
inline constexpr int kShowMaximized = 3;
inline constexpr int kShowMinimized = 6;
inline constexpr int kShowRestore = 9;
// SetWindowPlacement flags: keep the size, keep the position, keep the
// window order, do not activate, show the window; and the insert-after
// handle that places a window at the bottom of the window order.
inline constexpr std::uint32_t kPlaceNoSize = 0x0001;
inline constexpr std::uint32_t kPlaceNoMove = 0x0002;
inline constexpr std::uint32_t kPlaceNoZOrder = 0x0004;
inline constexpr std::uint32_t kPlaceNoActivate = 0x0010;
inline constexpr std::uint32_t kPlaceShow = 0x0040;
inline constexpr WindowHandle kPlaceAtBottom = 1;

}  // namespace trv::platform
