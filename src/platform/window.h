// Windows as message targets: posting a window message, testing that a
// window exists, and message-only windows that a caller thread creates to
// receive notifications. Messages posted to a message-only window arrive in
// its owner thread's queue (GetThreadMessage, with `window` set). On POSIX
// such windows live in a machine-wide registry so that other processes can
// post to them.
#pragma once

#include <cstdint>

namespace trv::platform {

using WindowHandle = std::uintptr_t;

WindowHandle CreateMessageWindow();  // 0 on failure; owned by the calling thread
void DestroyMessageWindow(WindowHandle window);

bool PostWindowMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                       std::intptr_t lParam);
bool IsWindowHandle(WindowHandle window);

}  // namespace trv::platform
