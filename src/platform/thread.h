// Threads and process/thread identifiers.
//
// Thread identifiers are unique machine-wide among live threads on both
// backends (Linux thread ids are kernel task ids), so a thread message can be
// addressed to a thread of another process by its identifier alone.
#pragma once

#include <cstdint>

#include "platform/handle.h"
#include "platform/timeout.h"

namespace trv::platform {

std::uint32_t CurrentProcessId();
std::uint32_t CurrentThreadId();

using ThreadEntry = std::uint32_t (*)(void* argument);

struct StartedThread {
    Handle handle = kNoHandle;  // 0 on failure; close it with CloseObject
    std::uint32_t id = 0;
};

// Starts `entry(argument)` at once on a new thread with the default stack.
StartedThread StartThread(ThreadEntry entry, void* argument);

// Waits for the thread to end: kWaitObject0, kWaitTimeout or kWaitFailed.
std::uint32_t WaitForThread(Handle thread, std::uint32_t timeoutMs);

// Asks a thread started by StartThread to end. The stop is cooperative: the
// thread's current or next wait in this layer (events, mutexes, thread
// messages) ends at once with a failure, and ThreadStopRequested() is true on
// that thread from then on. Nothing is torn down under a running thread.
bool RequestThreadStop(Handle thread);
bool ThreadStopRequested();

// The process of the live thread `threadId`, in this or another process; 0
// when no such thread runs (it ended, or never existed) or it cannot be
// queried. Identifiers are recycled once a thread has ended, so a caller that
// watches another process's thread keeps the process id it found and asks
// IsProcessAlive about it afterwards.
std::uint32_t ProcessOfThread(std::uint32_t threadId);

}  // namespace trv::platform
