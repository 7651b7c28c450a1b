// Threads, identifiers, and the cooperative stop.
//
// StartThread gives every thread it starts a control record with a private
// manual-reset stop event. The waits of this layer on such a thread include
// that event (or wait alertably, see StoppableWait), so RequestThreadStop
// ends the thread's current or next wait without tearing anything down under
// it. Records are found by thread identifier; each keeps a duplicate of the
// thread handle, which reserves the identifier until the record is pruned
// after the thread has ended.
#include "platform/thread.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

#include "platform/timeout.h"
#include "platform/win32/windows_api.h"

namespace trv::platform {
namespace {

// Exit code of a thread whose entry let an exception escape.
constexpr DWORD kEntryThrewExitCode = 0xE0000001u;

struct ThreadControl {
    HANDLE stopEvent = nullptr;
    std::atomic<bool> stopRequested{false};

    ThreadControl() = default;
    ThreadControl(const ThreadControl&) = delete;
    ThreadControl& operator=(const ThreadControl&) = delete;
    ~ThreadControl() {
        if (stopEvent != nullptr) CloseHandle(stopEvent);
    }
};

struct ThreadStart {
    ThreadEntry entry;
    void* argument;
    std::shared_ptr<ThreadControl> control;
    bool cancelled = false;  // set when StartThread gave up before resuming it
};

struct RegisteredThread {
    DWORD id;
    UniqueHandle thread;  // duplicate, for the APC and to see the thread end
    std::shared_ptr<ThreadControl> control;
};

struct ThreadRegistry {
    SRWLOCK lock = SRWLOCK_INIT;
    std::vector<RegisteredThread> threads;

    // Drops the records of threads that have ended. Caller holds `lock`.
    void PruneEnded() {
        std::erase_if(threads, [](const RegisteredThread& t) {
            return WaitForSingleObject(win32::ToNative(t.thread.get()), 0) == WAIT_OBJECT_0;
        });
    }
};

ThreadRegistry& Registry() {
    static ThreadRegistry registry;
    return registry;
}

thread_local ThreadControl* currentControl = nullptr;

DWORD WINAPI RunThread(LPVOID raw) {
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(raw));
    if (start->cancelled) return 0;
    currentControl = start->control.get();
    DWORD code = kEntryThrewExitCode;
    // No exception may leave a thread entry.
    try {
        code = start->entry(start->argument);
    } catch (...) {
    }
    currentControl = nullptr;
    return code;
}

void CALLBACK WakeForStop(ULONG_PTR) {}

}  // namespace

std::uint32_t CurrentProcessId() { return GetCurrentProcessId(); }
std::uint32_t CurrentThreadId() { return GetCurrentThreadId(); }

StartedThread StartThread(ThreadEntry entry, void* argument) {
    StartedThread result;
    if (entry == nullptr) {
        win32::RecordError(ERROR_INVALID_PARAMETER);
        return result;
    }
    auto control = std::make_shared<ThreadControl>();
    control->stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (control->stopEvent == nullptr) {
        win32::RecordLastError();
        return result;
    }
    auto* start = new ThreadStart{entry, argument, control};
    DWORD id = 0;
    // Suspended until it is registered, so that a stop request made as soon
    // as StartThread returns already finds it.
    HANDLE thread = CreateThread(nullptr, 0, RunThread, start, CREATE_SUSPENDED, &id);
    if (thread == nullptr) {
        win32::RecordLastError();
        delete start;
        return result;
    }
    HANDLE duplicate = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &duplicate, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
        win32::RecordLastError();
        // Let it run to its end without calling the entry.
        start->cancelled = true;
        ResumeThread(thread);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        return result;
    }
    {
        auto& registry = Registry();
        win32::ExclusiveLock guard(registry.lock);
        registry.PruneEnded();
        registry.threads.push_back({id, UniqueHandle(win32::FromNative(duplicate)), control});
    }
    ResumeThread(thread);
    result.handle = win32::FromNative(thread);
    result.id = id;
    return result;
}

std::uint32_t WaitForThread(Handle thread, std::uint32_t timeoutMs) {
    if (thread == kNoHandle) {
        win32::RecordError(ERROR_INVALID_HANDLE);
        return kWaitFailed;
    }
    switch (WaitForSingleObject(win32::ToNative(thread), timeoutMs)) {
        case WAIT_OBJECT_0: return kWaitObject0;
        case WAIT_TIMEOUT: return kWaitTimeout;
        default: win32::RecordLastError(); return kWaitFailed;
    }
}

bool RequestThreadStop(Handle thread) {
    if (thread == kNoHandle) {
        win32::RecordError(ERROR_INVALID_HANDLE);
        return false;
    }
    const DWORD id = GetThreadId(win32::ToNative(thread));
    if (id == 0) {
        win32::RecordLastError();
        return false;
    }
    auto& registry = Registry();
    win32::ExclusiveLock guard(registry.lock);
    registry.PruneEnded();
    auto found = std::find_if(registry.threads.begin(), registry.threads.end(),
                              [id](const RegisteredThread& t) { return t.id == id; });
    if (found == registry.threads.end()) {
        // Either it has ended (its record was pruned, and there is nothing
        // left to stop) or StartThread did not start it.
        if (WaitForSingleObject(win32::ToNative(thread), 0) == WAIT_OBJECT_0) return true;
        win32::RecordError(ERROR_INVALID_PARAMETER);
        return false;
    }
    // The flag first: a wait that ends on the event or the APC reads it.
    found->control->stopRequested.store(true);
    SetEvent(found->control->stopEvent);
    QueueUserAPC(WakeForStop, win32::ToNative(found->thread.get()), 0);
    return true;
}

bool ThreadStopRequested() { return win32::CurrentThreadStopping(); }

std::uint32_t ProcessOfThread(std::uint32_t threadId) {
    if (threadId == 0) return 0;
    HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, threadId);
    if (thread == nullptr) {
        win32::RecordLastError();
        return 0;
    }
    DWORD processId = GetProcessIdOfThread(thread);
    if (processId == 0) win32::RecordLastError();
    // The thread object outlives the thread while any handle to it is open.
    if (WaitForSingleObject(thread, 0) != WAIT_TIMEOUT) processId = 0;
    CloseHandle(thread);
    return processId;
}

namespace win32 {

HANDLE CurrentStopEvent() { return currentControl ? currentControl->stopEvent : nullptr; }

bool CurrentThreadStopping() {
    return currentControl != nullptr && currentControl->stopRequested.load();
}

DWORD RemainingMs(ULONGLONG start, DWORD timeoutMs) {
    if (timeoutMs == INFINITE) return INFINITE;
    const ULONGLONG elapsed = GetTickCount64() - start;
    return elapsed >= timeoutMs ? 0 : static_cast<DWORD>(timeoutMs - elapsed);
}

DWORD StoppableWait(DWORD count, const HANDLE* handles, bool waitAll, DWORD timeoutMs) {
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr) {
        RecordError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    HANDLE stop = CurrentStopEvent();
    if (stop == nullptr) {
        const DWORD result = WaitForMultipleObjects(count, handles, waitAll, timeoutMs);
        if (result == WAIT_FAILED) RecordLastError();
        return result;
    }
    if (CurrentThreadStopping()) {
        RecordError(kStopError);
        return kWaitStopped;
    }
    if (!waitAll && count < MAXIMUM_WAIT_OBJECTS) {
        // The stop event goes first: when it and an object are both
        // signalled the stop wins, and the object (an auto-reset event, a
        // mutex) is left untouched.
        HANDLE all[MAXIMUM_WAIT_OBJECTS];
        all[0] = stop;
        std::copy(handles, handles + count, all + 1);
        const DWORD result = WaitForMultipleObjects(count + 1, all, FALSE, timeoutMs);
        if (result == WAIT_OBJECT_0) {
            RecordError(kStopError);
            return kWaitStopped;
        }
        if (result > WAIT_OBJECT_0 && result <= WAIT_OBJECT_0 + count) return result - 1;
        if (result > WAIT_ABANDONED_0 && result <= WAIT_ABANDONED_0 + count) return result - 1;
        if (result == WAIT_FAILED) RecordLastError();
        return result;
    }
    // A wait for all objects cannot include the stop event; it waits
    // alertably, and RequestThreadStop's APC ends it.
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        const DWORD result =
            WaitForMultipleObjectsEx(count, handles, waitAll, RemainingMs(start, timeoutMs), TRUE);
        if (result != WAIT_IO_COMPLETION) {
            if (result == WAIT_FAILED) RecordLastError();
            return result;
        }
        if (CurrentThreadStopping()) {
            RecordError(kStopError);
            return kWaitStopped;
        }
    }
}

}  // namespace win32
}  // namespace trv::platform
