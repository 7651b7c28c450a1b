// Thread message queues: a message with two parameters posted to a thread of
// any process by thread identifier, and window messages for the windows the
// thread owns (see window.h), read in posting order.
#pragma once

#include <cstdint>

#include "platform/timeout.h"

namespace trv::platform {

constexpr std::uint32_t kQuitMessage = 18;

struct ThreadMessage {
    std::uintptr_t window = 0;  // 0 for a thread message
    std::uint32_t message = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
};

// Gives the calling thread its message queue now (it is otherwise created by
// the first read). Posts to a thread without a queue fail.
void EnsureMessageQueue();

// Posts to the queue of thread `threadId`, in this or another process.
bool PostToThread(std::uint32_t threadId, std::uint32_t message, std::uintptr_t wParam,
                  std::intptr_t lParam);

enum class MessageWait { message, quit, timed_out, failed };

// Takes the next message of the calling thread's queue, waiting up to
// `timeoutMs`. A message numbered kQuitMessage answers `quit` (and is filled
// into `out` like any other).
MessageWait GetThreadMessage(ThreadMessage& out, std::uint32_t timeoutMs);

}  // namespace trv::platform
