// Operations on the emulator's top-level windows, used by the window services
// of the dispatcher and the emulator side. Each is one call of the windowing
// system with no logic of its own; a backend without a windowing system
// answers failure (0, false or an empty text).
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

}  // namespace trv::platform
