// Named mutexes with Win32 semantics on both backends: re-entrant for the
// owning thread (each successful wait needs one release), and a mutex whose
// owner thread or process ended while holding it is handed to the next waiter
// as abandoned rather than left locked for ever.
#pragma once

#include <cstdint>
#include <memory>

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

// Fault injection for the tests: the calling thread's `n`th mutex
// acquisition from now (WaitMutex or a MutexHold; 1 is the next one) fails
// as a failed wait does, and only that one; 0 cancels. The library's exports
// never call it, so outside the test programs it stays disarmed.
void FailMutexAcquisitionOnThisThread(std::uint32_t n);
// True while the fault armed on this thread has not happened yet.
bool MutexFaultPending();
// For the backends, at the start of every acquisition: true when this one is
// to fail (and counts it).
bool MutexAcquisitionFaultDue();

// One level of ownership of a mutex for a scope: waits as WaitMutex does when
// constructed and, when that acquired the mutex, releases it when destroyed.
// A 0 handle gives a hold that failed, with no error recorded. Used by the
// thread that constructed it.
//
// The POSIX backend looks its handles up in a process-wide table; a hold
// looks the handle up once, for the wait and the release together, and keeps
// the mutex object, so the release reaches the mutex even if the handle is
// closed meanwhile. A Win32 handle is the kernel object itself: nothing is
// looked up, and the handle must stay open until the hold ends.
class MutexHold {
public:
    MutexHold(Handle mutex, std::uint32_t timeoutMs);
    ~MutexHold();
    MutexHold(const MutexHold&) = delete;
    MutexHold& operator=(const MutexHold&) = delete;

    LockResult result() const { return result_; }
    bool held() const {
        return result_ == LockResult::acquired || result_ == LockResult::acquired_owner_died;
    }

private:
    Handle mutex_;
    LockResult result_ = LockResult::failed;
    // The backend's object behind the handle, kept for the release by a
    // backend that resolves handles; empty otherwise.
    std::shared_ptr<void> object_;
};

}  // namespace trv::platform
