// What the message-queue and window tests share: their time limits and a
// way to start each test with the calling thread's queue empty.
#pragma once

#include <cstdint>

#include "platform/message_queue.h"

namespace trv::platform {

inline constexpr std::uint32_t kReceiveLimitMs = 10000;
// Longer than any wait of a worker thread, so that a worker has always ended
// (and no longer uses the test's stack) when the test returns.
inline constexpr std::uint32_t kJoinLimitMs = 2 * kReceiveLimitMs;

// Leaves the calling thread's queue empty, so that each test sees only its
// own messages although the tests share the main thread.
inline void DrainQueue() {
    EnsureMessageQueue();
    ThreadMessage message;
    while (GetThreadMessage(message, 0) != MessageWait::timed_out) {
    }
}

}  // namespace trv::platform
