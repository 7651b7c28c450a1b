// The library's wrappers over named events, mutexes and mappings. The event
// wrappers write one trace line per operation, which makes the request and
// reply traffic between processes visible in the trace; AwaitHLLEvent flushes
// the trace before it blocks. Any thread may call them; they keep no state.
//
// Handles are process-local: a handle stored in a shared record may be used
// or closed only by the process that stored it; others open by name.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/event.h"
#include "platform/handle.h"
#include "platform/mutex.h"
#include "platform/timeout.h"

namespace trv {

using platform::Handle;

// Events. Wait results: 0 (+ index) signalled, 258 time limit, 0xFFFFFFFF
// failed. TriggerHLLEvent, ResetHLLEvent and FreeHLLEvent ignore a 0 handle.
Handle CreateHLLEvent(bool manualReset, const char* name);
Handle GetHLLEvent(const char* name);  // 0 when no such event exists
std::uint32_t AwaitHLLEvent(Handle event, std::uint32_t timeoutMs);
std::uint32_t AwaitMultipleHLLEvents(std::uint32_t count, const Handle* events, bool waitAll,
                                     std::uint32_t timeoutMs);
void TriggerHLLEvent(Handle event);
void ResetHLLEvent(Handle event);
void FreeHLLEvent(Handle event);
// The same, on an event resolved once for several operations (the request
// and reply events of every EHLLAPI exchange); the trace lines show its
// handle as above.
std::uint32_t AwaitHLLEvent(const platform::EventRef& event, std::uint32_t timeoutMs);
void TriggerHLLEvent(const platform::EventRef& event);
void ResetHLLEvent(const platform::EventRef& event);

// Mutexes.
// Creates or opens the named mutex, not owned; 0 on failure.
Handle CreateHLLMutex(const char* name);
// Opens the named mutex and waits for it. Answers the handle, owned, or 0
// when the mutex does not exist or the wait failed; the caller must then not
// do what the mutex guards (an EHLLAPI call answers 9). `result` receives the
// outcome of the wait when given; a mutex taken over from a dead owner
// counts as acquired.
Handle OpenAndWaitHLLMutex(const char* name, std::uint32_t timeoutMs,
                           platform::LockResult* result = nullptr);
void ReleaseAndCloseHLLMutex(Handle mutex);
void CloseHLLMutex(Handle mutex);

// Scope guard over OpenAndWaitHLLMutex: holds the named mutex from
// construction to destruction (also when left by an exception).
class HeldNamedMutex {
public:
    explicit HeldNamedMutex(const char* name, std::uint32_t timeoutMs = platform::kInfinite)
        : handle_(OpenAndWaitHLLMutex(name, timeoutMs, &result_)) {}
    ~HeldNamedMutex() { ReleaseAndCloseHLLMutex(handle_); }
    HeldNamedMutex(const HeldNamedMutex&) = delete;
    HeldNamedMutex& operator=(const HeldNamedMutex&) = delete;

    bool held() const { return handle_ != platform::kNoHandle; }
    // True when the previous owner died holding the mutex: what it guards
    // may be half-updated and is the holder's to repair.
    bool ownerDied() const { return result_ == platform::LockResult::acquired_owner_died; }

private:
    platform::LockResult result_ = platform::LockResult::failed;
    Handle handle_;
};

// Scope guard over a mutex handle this process already holds open (such as
// the session mutexes opened at attach): waits in the constructor, releases
// in the destructor, leaves the handle open. A 0 handle is not waited for.
class HeldMutexHandle {
public:
    explicit HeldMutexHandle(Handle mutex, std::uint32_t timeoutMs = platform::kInfinite)
        : hold_(mutex, timeoutMs) {}
    HeldMutexHandle(const HeldMutexHandle&) = delete;
    HeldMutexHandle& operator=(const HeldMutexHandle&) = delete;

    bool held() const { return hold_.held(); }
    bool ownerDied() const { return hold_.result() == platform::LockResult::acquired_owner_died; }

private:
    platform::MutexHold hold_;
};

// Mappings.
// Creates or opens the named mapping of `size` bytes; 0 on failure.
Handle CreateHLLMapping(const char* name, std::size_t size, bool* existed = nullptr);
// When `mapping` is 0, opens the named mapping into it; then maps and answers
// a view of `size` bytes (nullptr on failure).
void* OpenAndMapHLLMapping(Handle& mapping, const char* name, std::size_t size);
// Unmaps `view` and closes `mapping`, setting both to 0.
void UnmapAndCloseHLLMapping(void*& view, Handle& mapping, std::size_t size);

}  // namespace trv
