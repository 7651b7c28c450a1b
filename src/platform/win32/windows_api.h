// The one place of the library that includes <windows.h>, and the helpers the
// Win32 backend files share: handle conversions, recording the last error,
// a lock guard, and the per-thread stop control that this layer's waits
// honour.
//
// Assumes Windows 10 APIs (_WIN32_WINNT 0x0A00); mingw-w64 defaults to older
// ones. Private to src/platform/win32/.
#pragma once

#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0A00
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>

#include "platform/handle.h"

namespace trv::platform::win32 {

inline HANDLE ToNative(Handle handle) { return reinterpret_cast<HANDLE>(handle); }
inline Handle FromNative(HANDLE handle) {
    // Failing Win32 creators answer either NULL or INVALID_HANDLE_VALUE; this
    // layer answers 0 for both.
    if (handle == INVALID_HANDLE_VALUE) return kNoHandle;
    return reinterpret_cast<Handle>(handle);
}
inline HWND ToWindow(std::uintptr_t window) { return reinterpret_cast<HWND>(window); }
inline std::uintptr_t FromWindow(HWND window) { return reinterpret_cast<std::uintptr_t>(window); }

// Stores GetLastError() as this thread's LastError(). Call it on the line
// after the failing call, before anything else can overwrite the code.
void RecordLastError();
// Stores a code chosen by this layer (for failures it detects itself).
void RecordError(DWORD code);

// Scope guard over a slim reader/writer lock, taken exclusively.
class ExclusiveLock {
public:
    explicit ExclusiveLock(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
    ~ExclusiveLock() { ReleaseSRWLockExclusive(&lock_); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

private:
    SRWLOCK& lock_;
};

// The stop event of the calling thread when StartThread started it (and
// RequestThreadStop may therefore end its waits), otherwise nullptr. The
// event is manual-reset and stays signalled once a stop was requested.
HANDLE CurrentStopEvent();

// True once a stop was requested for the calling thread. A wait that cannot
// include the stop event (a wait for all objects, or one already using every
// slot) waits alertably instead: RequestThreadStop also queues an empty APC,
// which ends such a wait with WAIT_IO_COMPLETION.
bool CurrentThreadStopping();

// Milliseconds left of a time limit that started at `start` (GetTickCount64),
// INFINITE staying INFINITE.
DWORD RemainingMs(ULONGLONG start, DWORD timeoutMs);

// The error a wait ended by a stop request leaves in LastError().
constexpr DWORD kStopError = ERROR_OPERATION_ABORTED;

// What StoppableWait answers when a stop request ended the wait; no Win32
// wait answers it.
constexpr DWORD kWaitStopped = 0xFFFFFFFEu;

// WaitForMultipleObjects for the waits of this layer: the same answers
// (WAIT_OBJECT_0 + i, WAIT_ABANDONED_0 + i, WAIT_TIMEOUT, WAIT_FAILED with the
// error recorded), plus kWaitStopped when a stop was requested for the
// calling thread before or during the wait.
DWORD StoppableWait(DWORD count, const HANDLE* handles, bool waitAll, DWORD timeoutMs);

}  // namespace trv::platform::win32
