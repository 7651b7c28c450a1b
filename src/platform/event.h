// Named events with Win32 semantics on both backends. An auto-reset event
// releases exactly one waiter and then is non-signalled again; a manual-reset
// event releases every waiter until it is reset. Setting a signalled event
// changes nothing. Waits sleep in the kernel and honour their time limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/handle.h"
#include "platform/timeout.h"

namespace trv::platform {

// Creates the named event, initially non-signalled, or opens it when it
// exists (keeping its kind and state). A null name gives a private event.
// 0 on failure.
Handle CreateNamedEvent(bool manualReset, const char* name);

// Opens an existing named event; 0 when there is none.
Handle OpenNamedEvent(const char* name);

bool SignalEvent(Handle event);
bool ClearEvent(Handle event);

// kWaitObject0, kWaitTimeout or kWaitFailed.
std::uint32_t WaitForEvent(Handle event, std::uint32_t timeoutMs);

// Waits for any (or, with waitAll, every) of up to kMaxWaitObjects events.
// Any: kWaitObject0 + the lowest index that was signalled (an auto-reset
// event is consumed). All: kWaitObject0 once every event was signalled.
// kWaitTimeout or kWaitFailed otherwise (also for a bad count).
std::uint32_t WaitForEvents(std::size_t count, const Handle* events, bool waitAll,
                            std::uint32_t timeoutMs);

// An event handle resolved once for a series of operations on it (a signal
// and a later reset, a wait repeated in a loop), with the results of the
// functions above. A reference to 0 or to a handle that is no event answers
// every operation as such a handle does. Copies share the event; any thread
// may use a reference.
//
// The POSIX backend looks its handles up in a process-wide table; a
// reference looks the handle up once and keeps the event object, so each
// operation costs no lookup and the reference stays usable even if the
// handle is closed meanwhile. A Win32 handle is the kernel object itself:
// the reference is the handle, which must stay open while it is used.
class EventRef {
public:
    EventRef() = default;
    explicit EventRef(Handle event);

    Handle handle() const { return handle_; }
    bool Signal() const;
    bool Clear() const;
    std::uint32_t Wait(std::uint32_t timeoutMs) const;

private:
    Handle handle_ = kNoHandle;
    // The backend's object behind the handle, for a backend that resolves
    // handles; empty otherwise.
    std::shared_ptr<void> object_;
};

}  // namespace trv::platform
