// The emulator's top-level windows on POSIX: there is no windowing system to
// ask, so every operation answers failure (0, false or an empty text) and
// records ENOSYS.
#include "platform/emulator_window.h"

#include <cerrno>

#include "platform/posix/system.h"

namespace trv::platform {
namespace {

template <typename T>
T Unsupported(T answer) {
    posix::RecordError(ENOSYS);
    return answer;
}

}  // namespace

WindowHandle FindTopLevelWindow(const char*, const char*) { return Unsupported<WindowHandle>(0); }
bool IsWindowMaximized(WindowHandle) { return Unsupported(false); }
bool IsWindowMinimized(WindowHandle) { return Unsupported(false); }
bool SetWindowShowState(WindowHandle, int) { return Unsupported(false); }
WindowHandle GetForegroundWindowHandle() { return Unsupported<WindowHandle>(0); }
bool SetForegroundWindowHandle(WindowHandle) { return Unsupported(false); }
WindowHandle GetActiveWindowHandle() { return Unsupported<WindowHandle>(0); }
WindowHandle SetActiveWindowHandle(WindowHandle) { return Unsupported<WindowHandle>(0); }
WindowHandle SetFocusWindow(WindowHandle) { return Unsupported<WindowHandle>(0); }
WindowHandle GetRelatedWindow(WindowHandle, std::uint32_t) { return Unsupported<WindowHandle>(0); }

std::size_t GetWindowTitle(WindowHandle, char* buffer, std::size_t size) {
    if (buffer != nullptr && size > 0) buffer[0] = '\0';
    return Unsupported<std::size_t>(0);
}

bool SetWindowTitle(WindowHandle, const char*) { return Unsupported(false); }

bool SetWindowPlacement(WindowHandle, WindowHandle, int, int, int, int, std::uint32_t) {
    return Unsupported(false);
}

bool BringWindowToFront(WindowHandle) { return Unsupported(false); }

}  // namespace trv::platform
