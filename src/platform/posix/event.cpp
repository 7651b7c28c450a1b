// Named events on POSIX: the state is a futex word in the event's shared
// memory, beside a count of the threads sleeping on it, so that setting an
// event nobody waits for is one atomic exchange and no system call.
//
// An auto-reset event is consumed by a compare-and-exchange from 1 to 0; a
// signal wakes one sleeper, which consumes it or passes the wake on. A
// manual-reset event wakes every sleeper. Waits for several events sleep in
// one futex_waitv on all of them (plus the thread's stop word).
//
// A wait for all is not atomic across the events as on Windows: it sleeps
// until every event is signalled, then consumes the auto-reset ones one by
// one; when another thread takes one of them first, the ones already taken
// are signalled again and the wait goes on. Meanwhile another observer may see
// some of them consumed for a moment.
#include "platform/event.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <memory>
#include <new>

#include "platform/posix/futex.h"
#include "platform/posix/handle_table.h"
#include "platform/posix/namespace.h"

namespace trv::platform {
namespace {

using posix::FutexWord;
using posix::SleepOutcome;

struct EventState {
    std::atomic<std::uint32_t> signalled;  // 0: futex word, 1 signalled, 0 not
    std::atomic<std::uint32_t> waiters;    // 4: threads registered to sleep on it
    std::uint32_t manualReset;             // 8
};
static_assert(sizeof(EventState) == 12);

class EventObject : public posix::KernelObject {
public:
    static constexpr posix::HandleType kType = posix::HandleType::event;
    explicit EventObject(std::unique_ptr<posix::NamespaceObject> object)
        : KernelObject(kType), object_(std::move(object)),
          state_(static_cast<EventState*>(object_->data())) {}
    EventState& state() const { return *state_; }
    std::uint64_t identity() const { return object_->identity(); }

private:
    std::unique_ptr<posix::NamespaceObject> object_;
    EventState* state_;
};

bool TryConsume(EventState& event) {
    if (event.manualReset != 0) return event.signalled.load() != 0;
    std::uint32_t expected = 1;
    return event.signalled.compare_exchange_strong(expected, 0);
}

void Signal(EventState& event) {
    if (event.signalled.exchange(1) != 0) return;
    // seq_cst exchange, then load: either a sleeper registered before this
    // load and is woken, or it registers after and sees the signal itself.
    if (event.waiters.load() != 0) {
        posix::WakeWord(&event.signalled, event.manualReset != 0 ? INT_MAX : 1, true);
    }
}

// A waiter that leaves may have taken the one wake an auto-reset signal gave;
// hands it on to another sleeper of every event still signalled.
void PassOnWakes(EventState* const* events, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        EventState& event = *events[i];
        if (event.manualReset == 0 && event.signalled.load() != 0 && event.waiters.load() != 0) {
            posix::WakeWord(&event.signalled, 1, true);
        }
    }
}

// All signalled: consumes the auto-reset ones. A loser of a race for one of
// them signals back what it took and answers false.
bool TryConsumeAll(EventState* const* events, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (events[i]->signalled.load() == 0) return false;
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (TryConsume(*events[i])) continue;
        for (std::size_t j = 0; j < i; ++j) {
            if (events[j]->manualReset == 0) Signal(*events[j]);
        }
        return false;
    }
    return true;
}

// TryWait's answer when the wait is not satisfied yet.
constexpr std::uint32_t kNotYet = 0xFFFFFFFEu;

std::uint32_t TryWait(EventState* const* events, std::size_t count, bool waitAll) {
    if (waitAll) return TryConsumeAll(events, count) ? kWaitObject0 : kNotYet;
    for (std::size_t i = 0; i < count; ++i) {
        if (TryConsume(*events[i])) return kWaitObject0 + static_cast<std::uint32_t>(i);
    }
    return kNotYet;
}

std::uint32_t WaitStates(EventState* const* events, std::size_t count, bool waitAll,
                         std::uint32_t timeoutMs) {
    if (posix::StopRequestedHere()) {
        posix::RecordError(ECANCELED);
        return kWaitFailed;
    }
    std::uint32_t result = TryWait(events, count, waitAll);
    if (result != kNotYet) return result;
    if (timeoutMs == 0) return kWaitTimeout;

    posix::Deadline deadline = posix::Deadline::After(timeoutMs);
    std::array<FutexWord, kMaxWaitObjects> words;
    for (;;) {
        for (std::size_t i = 0; i < count; ++i) events[i]->waiters.fetch_add(1);
        // Registered first, checked second: a signal after this check sees
        // the registration and wakes, and futex_waitv refuses to sleep on a
        // word that changed in between.
        std::size_t sleeping = 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (events[i]->signalled.load() == 0) {
                words[sleeping++] = FutexWord{&events[i]->signalled, 0, true};
            }
        }
        bool ready = waitAll ? sleeping == 0 : sleeping < count;
        SleepOutcome outcome = SleepOutcome::woken;
        if (!ready) outcome = posix::SleepOnWords(words.data(), sleeping, deadline, true);
        for (std::size_t i = 0; i < count; ++i) events[i]->waiters.fetch_sub(1);

        result = TryWait(events, count, waitAll);
        if (result != kNotYet || outcome != SleepOutcome::woken) {
            if (outcome == SleepOutcome::stopped || outcome == SleepOutcome::failed) {
                // A stopped thread gives back an event it just consumed.
                if (result != kNotYet) {
                    if (waitAll) {
                        for (std::size_t i = 0; i < count; ++i) {
                            if (events[i]->manualReset == 0) Signal(*events[i]);
                        }
                    } else if (events[result - kWaitObject0]->manualReset == 0) {
                        Signal(*events[result - kWaitObject0]);
                    }
                }
                result = kWaitFailed;
            } else if (result == kNotYet) {
                result = kWaitTimeout;
            }
            PassOnWakes(events, count);
            return result;
        }
        if (deadline.Passed()) {
            PassOnWakes(events, count);
            return kWaitTimeout;
        }
    }
}

bool InitialiseEvent(void* data, bool manualReset) {
    auto* state = new (data) EventState{};
    state->manualReset = manualReset ? 1 : 0;
    return true;
}

}  // namespace

Handle CreateNamedEvent(bool manualReset, const char* name) {
    std::unique_ptr<posix::NamespaceObject> object = posix::NamespaceObject::Create(
        posix::ObjectKind::event, name, sizeof(EventState), true,
        [manualReset](void* data) { return InitialiseEvent(data, manualReset); }, nullptr);
    if (!object) return kNoHandle;
    return posix::InsertHandle(std::make_shared<EventObject>(std::move(object)));
}

Handle OpenNamedEvent(const char* name) {
    std::unique_ptr<posix::NamespaceObject> object =
        posix::NamespaceObject::Open(posix::ObjectKind::event, name, true);
    if (!object) return kNoHandle;
    if (object->dataSize() < sizeof(EventState)) {
        posix::RecordError(EINVAL);
        return kNoHandle;
    }
    return posix::InsertHandle(std::make_shared<EventObject>(std::move(object)));
}

bool SignalEvent(Handle event) {
    std::shared_ptr<EventObject> object = posix::LookupAs<EventObject>(event);
    if (!object) return false;
    Signal(object->state());
    return true;
}

bool ClearEvent(Handle event) {
    std::shared_ptr<EventObject> object = posix::LookupAs<EventObject>(event);
    if (!object) return false;
    object->state().signalled.store(0);
    return true;
}

std::uint32_t WaitForEvent(Handle event, std::uint32_t timeoutMs) {
    std::shared_ptr<EventObject> object = posix::LookupAs<EventObject>(event);
    if (!object) return kWaitFailed;
    EventState* state = &object->state();
    return WaitStates(&state, 1, false, timeoutMs);
}

std::uint32_t WaitForEvents(std::size_t count, const Handle* events, bool waitAll,
                            std::uint32_t timeoutMs) {
    if (count == 0 || count > kMaxWaitObjects || events == nullptr) {
        posix::RecordError(EINVAL);
        return kWaitFailed;
    }
    // The objects are held for the whole wait, so a concurrent CloseObject
    // cannot unmap a word this thread sleeps on.
    std::array<std::shared_ptr<EventObject>, kMaxWaitObjects> objects;
    std::array<EventState*, kMaxWaitObjects> states;
    for (std::size_t i = 0; i < count; ++i) {
        objects[i] = posix::LookupAs<EventObject>(events[i]);
        if (!objects[i]) return kWaitFailed;
        states[i] = &objects[i]->state();
        for (std::size_t j = 0; j < i && waitAll; ++j) {
            if (objects[j]->identity() == objects[i]->identity()) {
                // Waiting for all of a list that names one event twice is refused, as on Windows.
                posix::RecordError(EINVAL);
                return kWaitFailed;
            }
        }
    }
    return WaitStates(states.data(), count, waitAll, timeoutMs);
}

EventRef::EventRef(Handle event) : handle_(event) {
    if (event != kNoHandle) object_ = posix::LookupAs<EventObject>(event);
}

namespace {

// The state of a reference's event, or nullptr (EBADF recorded) for an
// empty reference, as a lookup of a bad handle answers.
EventState* StateOf(const std::shared_ptr<void>& object) {
    if (!object) {
        posix::RecordError(EBADF);
        return nullptr;
    }
    return &static_cast<const EventObject*>(object.get())->state();
}

// Signal under a name the member functions below do not hide.
void SignalState(EventState& event) { Signal(event); }

}  // namespace

bool EventRef::Signal() const {
    EventState* state = StateOf(object_);
    if (state == nullptr) return false;
    SignalState(*state);
    return true;
}

bool EventRef::Clear() const {
    EventState* state = StateOf(object_);
    if (state == nullptr) return false;
    state->signalled.store(0);
    return true;
}

std::uint32_t EventRef::Wait(std::uint32_t timeoutMs) const {
    EventState* state = StateOf(object_);
    if (state == nullptr) return kWaitFailed;
    return WaitStates(&state, 1, false, timeoutMs);
}

}  // namespace trv::platform
