// What the platform tests share: their time limit, the child roles that
// several files start (defined in common_roles.cpp), and helpers for message
// queues and mutexes probed from another thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/clock.h"
#include "platform/message_queue.h"
#include "platform/mutex.h"
#include "platform/process.h"
#include "support/child_role.h"
#include "support/test_thread.h"

namespace trv::platform {

inline constexpr std::uint32_t kLimitMs = 10000;

// The common child roles:
//   "signal_event" EVENT: opens the event and signals it; 0 when it did.
//   "wait_events" READY LIMIT EVENT...: signals READY, then waits for any
//     of the events for up to LIMIT ms; the exit code is the index of the
//     event that ended the wait, 100 timed out, 101 failed.
//   "mutex_waiter" MUTEX LIMIT [EVENT]: signals EVENT when given, then waits
//     up to LIMIT ms for the mutex and releases it; the exit code is
//     LockExit of the result.
//   "hold_until_killed" MAPPING EVENT MUTEX READY: creates (or joins) the
//     mapping of kHeldMappingSize bytes and fills it with 0xAB, the
//     manual-reset event and signals it, and the mutex and tries to take it;
//     then signals READY and sleeps until killed.
inline constexpr std::size_t kHeldMappingSize = 8192;
constexpr int LockExit(LockResult result) { return static_cast<int>(result); }

// Looks at `done` every few milliseconds for up to kLimitMs; whether it held.
template <class Condition>
bool Eventually(Condition done) {
    for (std::uint32_t waited = 0; waited < kLimitMs && !done(); waited += 5) SleepMs(5);
    return done();
}

// Waits for the mutex once on another thread and gives back what it took,
// unless told to leave the mutex with the ended thread.
inline LockResult LockFromAnotherThread(Handle mutex, std::uint32_t limitMs, bool release = true) {
    LockResult result = LockResult::failed;
    test::TestThread other([&] {
        result = WaitMutex(mutex, limitMs);
        if (release && (result == LockResult::acquired || result == LockResult::acquired_owner_died)) {
            ReleaseNamedMutex(mutex);
        }
    });
    return other.Join() ? result : LockResult::failed;
}

// Leaves the calling thread's queue empty, so that each test sees only its
// own messages although the tests share the main thread.
inline void DrainQueue() {
    EnsureMessageQueue();
    ThreadMessage message;
    while (GetThreadMessage(message, 0) != MessageWait::timed_out) {
    }
}

}  // namespace trv::platform
