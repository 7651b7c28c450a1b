// Named mutexes: Win32 mutexes are already re-entrant for their owner thread
// and hand an abandoned mutex to the next waiter with WAIT_ABANDONED.
#include "platform/mutex.h"

#include "platform/win32/windows_api.h"

namespace trv::platform {

Handle CreateNamedMutex(const char* name) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
    if (mutex == nullptr) win32::RecordLastError();
    return win32::FromNative(mutex);
}

Handle OpenNamedMutex(const char* name) {
    if (name == nullptr) {
        win32::RecordError(ERROR_INVALID_PARAMETER);
        return kNoHandle;
    }
    HANDLE mutex = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name);
    if (mutex == nullptr) win32::RecordLastError();
    return win32::FromNative(mutex);
}

LockResult WaitMutex(Handle mutex, std::uint32_t timeoutMs) {
    if (mutex == kNoHandle) {
        win32::RecordError(ERROR_INVALID_HANDLE);
        return LockResult::failed;
    }
    if (MutexAcquisitionFaultDue()) {
        win32::RecordError(ERROR_GEN_FAILURE);
        return LockResult::failed;
    }
    HANDLE native = win32::ToNative(mutex);
    switch (win32::StoppableWait(1, &native, false, timeoutMs)) {
        case WAIT_OBJECT_0: return LockResult::acquired;
        case WAIT_ABANDONED_0: return LockResult::acquired_owner_died;
        case WAIT_TIMEOUT: return LockResult::timed_out;
        default: return LockResult::failed;  // error already recorded
    }
}

bool ReleaseNamedMutex(Handle mutex) {
    if (mutex == kNoHandle) {
        win32::RecordError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (!ReleaseMutex(win32::ToNative(mutex))) {
        win32::RecordLastError();
        return false;
    }
    return true;
}

// Win32 handles reach the kernel object directly; there is nothing to
// resolve, so the hold keeps only the handle.
MutexHold::MutexHold(Handle mutex, std::uint32_t timeoutMs) : mutex_(mutex) {
    if (mutex_ == kNoHandle) return;
    result_ = WaitMutex(mutex_, timeoutMs);
}

MutexHold::~MutexHold() {
    if (held()) ReleaseNamedMutex(mutex_);
}

}  // namespace trv::platform
