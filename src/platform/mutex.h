// Named mutexes with Win32 semantics on both backends: re-entrant for the
// owning thread (each successful wait needs one release), and a mutex whose
// owner thread or process ended while holding it is handed to the next waiter
// as abandoned rather than left locked for ever.
#pragma once

#include <cstdint>

#include "platform/handle.h"
#include "platform/timeout.h"

namespace trv::platform {

enum class LockResult {
    acquired,
    acquired_owner_died,  // acquired; the previous owner died holding it, so
                          // what it guarded may be half-updated
    timed_out,
    failed,
};

// Creates the named mutex, not owned, or opens it when it exists. A null name
// gives a private mutex. 0 on failure.
Handle CreateNamedMutex(const char* name);

// Opens an existing named mutex; 0 when there is none.
Handle OpenNamedMutex(const char* name);

// Waits up to `timeoutMs` (kInfinite for no limit) for ownership.
LockResult WaitMutex(Handle mutex, std::uint32_t timeoutMs);

// Gives up one level of ownership; false when the caller is not the owner.
bool ReleaseNamedMutex(Handle mutex);

}  // namespace trv::platform
