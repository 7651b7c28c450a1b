// Posting into a thread's message queue on POSIX, with or without a window
// (window.cpp posts window messages through it).
#pragma once

#include <cstdint>

namespace trv::platform::posix {

// Fails (ESRCH) when the thread has no live queue, (EAGAIN) when it is full.
bool PostToQueue(std::uint32_t threadId, std::uintptr_t window, std::uint32_t message,
                 std::uintptr_t wParam, std::intptr_t lParam);

}  // namespace trv::platform::posix
