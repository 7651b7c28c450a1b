// What the message-queue and window tests share: their time limit and a way
// to start each test with the calling thread's queue empty.
#pragma once

#include <cstdint>

#include "platform/message_queue.h"

namespace trv::platform {

inline constexpr std::uint32_t kReceiveLimitMs = 10000;

// Leaves the calling thread's queue empty, so that each test sees only its
// own messages although the tests share the main thread.
inline void DrainQueue() {
    EnsureMessageQueue();
    ThreadMessage message;
    while (GetThreadMessage(message, 0) != MessageWait::timed_out) {
    }
}

}  // namespace trv::platform
