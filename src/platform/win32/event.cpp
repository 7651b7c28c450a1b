// Named events: Win32 events, waited on through StoppableWait so that a stop
// request for the waiting thread ends the wait.
#include "platform/event.h"

#include "platform/win32/windows_api.h"

namespace trv::platform {
namespace {

std::uint32_t ToWaitStatus(DWORD result, DWORD count, bool waitAll) {
    // A wait for all may answer any index in range; this layer answers 0.
    if (result < WAIT_OBJECT_0 + count) return kWaitObject0 + (waitAll ? 0 : result - WAIT_OBJECT_0);
    if (result == WAIT_TIMEOUT) return kWaitTimeout;
    return kWaitFailed;  // failure or stop; the error is already recorded
}

}  // namespace

Handle CreateNamedEvent(bool manualReset, const char* name) {
    HANDLE event = CreateEventA(nullptr, manualReset ? TRUE : FALSE, FALSE, name);
    if (event == nullptr) win32::RecordLastError();
    return win32::FromNative(event);
}

Handle OpenNamedEvent(const char* name) {
    if (name == nullptr) {
        win32::RecordError(ERROR_INVALID_PARAMETER);
        return kNoHandle;
    }
    HANDLE event = OpenEventA(EVENT_ALL_ACCESS, FALSE, name);
    if (event == nullptr) win32::RecordLastError();
    return win32::FromNative(event);
}

bool SignalEvent(Handle event) {
    if (event == kNoHandle) {
        win32::RecordError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (!SetEvent(win32::ToNative(event))) {
        win32::RecordLastError();
        return false;
    }
    return true;
}

bool ClearEvent(Handle event) {
    if (event == kNoHandle) {
        win32::RecordError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (!ResetEvent(win32::ToNative(event))) {
        win32::RecordLastError();
        return false;
    }
    return true;
}

std::uint32_t WaitForEvent(Handle event, std::uint32_t timeoutMs) {
    return WaitForEvents(1, &event, false, timeoutMs);
}

std::uint32_t WaitForEvents(std::size_t count, const Handle* events, bool waitAll,
                            std::uint32_t timeoutMs) {
    if (count == 0 || count > kMaxWaitObjects || events == nullptr) {
        win32::RecordError(ERROR_INVALID_PARAMETER);
        return kWaitFailed;
    }
    HANDLE natives[kMaxWaitObjects];
    for (std::size_t i = 0; i < count; ++i) {
        if (events[i] == kNoHandle) {
            win32::RecordError(ERROR_INVALID_HANDLE);
            return kWaitFailed;
        }
        natives[i] = win32::ToNative(events[i]);
    }
    const auto n = static_cast<DWORD>(count);
    return ToWaitStatus(win32::StoppableWait(n, natives, waitAll, timeoutMs), n, waitAll);
}

// Win32 handles reach the kernel object directly: a reference is its handle.
EventRef::EventRef(Handle event) : handle_(event) {}

bool EventRef::Signal() const { return SignalEvent(handle_); }

bool EventRef::Clear() const { return ClearEvent(handle_); }

std::uint32_t EventRef::Wait(std::uint32_t timeoutMs) const { return WaitForEvent(handle_, timeoutMs); }

}  // namespace trv::platform
