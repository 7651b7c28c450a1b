// Named mutexes on POSIX: a robust, recursive, process-shared pthread mutex
// in the mutex's shared memory. The kernel marks it when its owner thread
// ends holding it, and the next locker gets it as abandoned (EOWNERDEAD is
// answered as acquired_owner_died after marking it consistent).
//
// An uncontended lock is a pthread_mutex_trylock, which makes no system call.
// A contended wait does not block inside the C library, which could not be
// stopped: it sleeps on the mutex's own futex word (the lock word of the
// glibc robust mutex: owner thread id | FUTEX_WAITERS | FUTEX_OWNER_DIED) in
// futex_waitv together with the thread's stop word. It sets FUTEX_WAITERS
// before sleeping, as glibc does, so that the unlocking thread or the kernel
// (at the owner's death) wakes one sleeper; a sleeper that leaves without the
// mutex passes that wake on.
#include "platform/mutex.h"

#include <atomic>
#include <cerrno>
#include <memory>

#include <linux/futex.h>
#include <pthread.h>
#include <unistd.h>

#include "platform/posix/futex.h"
#include "platform/posix/handle_table.h"
#include "platform/posix/namespace.h"
#include "platform/posix/robust_mutex.h"

namespace trv::platform {
namespace {

struct MutexState {
    pthread_mutex_t mutex;
};

class MutexObject : public posix::KernelObject {
public:
    static constexpr posix::HandleType kType = posix::HandleType::mutex;
    explicit MutexObject(std::unique_ptr<posix::NamespaceObject> object)
        : KernelObject(kType), object_(std::move(object)),
          state_(static_cast<MutexState*>(object_->data())) {}

    ~MutexObject() override {
        // A mutex this process still owns is on its thread's robust list,
        // which the C library and the kernel walk; its memory must stay mapped.
        int owner = state_->mutex.__data.__owner;
        if (owner != 0 && posix::IsThreadOf(static_cast<std::uint32_t>(getpid()),
                                            static_cast<std::uint32_t>(owner))) {
            object_->KeepDataMapped();
        }
    }

    pthread_mutex_t* mutex() const { return &state_->mutex; }

private:
    std::unique_ptr<posix::NamespaceObject> object_;
    MutexState* state_;
};

std::atomic_ref<int> LockWord(pthread_mutex_t* mutex) {
    return std::atomic_ref<int>(mutex->__data.__lock);
}

// One attempt: acquired, acquired_owner_died, failed, or timed_out for "busy".
LockResult TryLock(pthread_mutex_t* mutex) {
    int error = pthread_mutex_trylock(mutex);
    if (error == 0) return LockResult::acquired;
    if (error == EOWNERDEAD) {
        pthread_mutex_consistent(mutex);
        return LockResult::acquired_owner_died;
    }
    if (error == EBUSY) return LockResult::timed_out;
    posix::RecordError(error);  // EAGAIN (recursion too deep), ENOTRECOVERABLE
    return LockResult::failed;
}

// Leaving without the mutex after sleeping on it: makes sure a later unlock
// wakes the other sleepers, or wakes one now when the mutex is already free.
void PassOnWake(pthread_mutex_t* mutex) {
    std::atomic_ref<int> word = LockWord(mutex);
    int value = word.load();
    while (value != 0 && (value & FUTEX_WAITERS) == 0) {
        if (word.compare_exchange_weak(value, value | static_cast<int>(FUTEX_WAITERS))) return;
    }
    if (value == 0) posix::WakeWord(&mutex->__data.__lock, 1, true);
}

// The unlock wakes one sleeper. A sleeper killed after that wake and before
// it took the mutex takes the wake with it (the kernel passes a wake on only
// for a thread that owned the mutex or was inside the C library's lock), and
// the others would sleep on beside a free mutex. So no sleep lasts longer
// than a slice: a sleeper then looks at the mutex again, and such a lost wake
// costs the others at most one slice instead of their whole wait.
constexpr std::uint32_t kLostWakeSliceMs = 100;

LockResult LockContended(pthread_mutex_t* mutex, std::uint32_t timeoutMs) {
    posix::Deadline deadline = posix::Deadline::After(timeoutMs);
    std::atomic_ref<int> word = LockWord(mutex);
    bool slept = false;
    for (;;) {
        LockResult result = TryLock(mutex);
        if (result != LockResult::timed_out) {
            // Taken after sleeping: others may still sleep, so this owner's
            // unlock must wake one (glibc clears the flag at every unlock).
            if (slept && result != LockResult::failed) {
                word.fetch_or(static_cast<int>(FUTEX_WAITERS));
            }
            if (result == LockResult::failed && slept) PassOnWake(mutex);
            return result;
        }
        int value = word.load();
        if ((value & FUTEX_TID_MASK) == 0 || (value & FUTEX_OWNER_DIED) != 0) continue;
        if ((value & FUTEX_WAITERS) == 0) {
            int flagged = value | static_cast<int>(FUTEX_WAITERS);
            if (!word.compare_exchange_strong(value, flagged)) continue;
            value = flagged;
        }
        // The C library's unlock wakes this word, not WakeWord.
        posix::FutexWord sleepOn{&mutex->__data.__lock, static_cast<std::uint32_t>(value), true, true};
        const posix::Deadline slice = posix::Deadline::After(kLostWakeSliceMs);
        const bool sliceFirst = posix::Deadline::Sooner(slice, deadline);
        posix::SleepOutcome outcome = posix::SleepOnWords(&sleepOn, 1, sliceFirst ? slice : deadline, true);
        if (outcome == posix::SleepOutcome::timed_out && sliceFirst) outcome = posix::SleepOutcome::woken;
        slept = true;
        if (outcome == posix::SleepOutcome::woken) continue;
        if (outcome == posix::SleepOutcome::timed_out) {
            result = TryLock(mutex);
            if (result == LockResult::acquired || result == LockResult::acquired_owner_died) {
                word.fetch_or(static_cast<int>(FUTEX_WAITERS));
                return result;
            }
            PassOnWake(mutex);
            return result == LockResult::failed ? LockResult::failed : LockResult::timed_out;
        }
        PassOnWake(mutex);
        return LockResult::failed;  // stopped or failed; the error is recorded
    }
}

Handle InsertMutex(std::unique_ptr<posix::NamespaceObject> object) {
    if (!object) return kNoHandle;
    if (object->dataSize() < sizeof(MutexState)) {
        posix::RecordError(EINVAL);
        return kNoHandle;
    }
    return posix::InsertHandle(std::make_shared<MutexObject>(std::move(object)));
}

}  // namespace

Handle CreateNamedMutex(const char* name) {
    return InsertMutex(posix::NamespaceObject::Create(
        posix::ObjectKind::mutex, name, sizeof(MutexState), true,
        [](void* data) {
            return posix::InitialiseRobustMutex(&static_cast<MutexState*>(data)->mutex, true);
        },
        nullptr));
}

Handle OpenNamedMutex(const char* name) {
    return InsertMutex(posix::NamespaceObject::Open(posix::ObjectKind::mutex, name, true));
}

namespace {

LockResult WaitOn(const MutexObject& object, std::uint32_t timeoutMs) {
    if (MutexAcquisitionFaultDue()) {
        posix::RecordError(EIO);
        return LockResult::failed;
    }
    if (posix::StopRequestedHere()) {
        posix::RecordError(ECANCELED);
        return LockResult::failed;
    }
    LockResult result = TryLock(object.mutex());
    if (result != LockResult::timed_out || timeoutMs == 0) return result;
    return LockContended(object.mutex(), timeoutMs);
}

bool ReleaseOn(const MutexObject& object) {
    int error = pthread_mutex_unlock(object.mutex());
    if (error != 0) {
        posix::RecordError(error);  // EPERM: the caller is not the owner
        return false;
    }
    return true;
}

}  // namespace

LockResult WaitMutex(Handle mutex, std::uint32_t timeoutMs) {
    std::shared_ptr<MutexObject> object = posix::LookupAs<MutexObject>(mutex);
    if (!object) return LockResult::failed;
    return WaitOn(*object, timeoutMs);
}

bool ReleaseNamedMutex(Handle mutex) {
    std::shared_ptr<MutexObject> object = posix::LookupAs<MutexObject>(mutex);
    if (!object) return false;
    return ReleaseOn(*object);
}

MutexHold::MutexHold(Handle mutex, std::uint32_t timeoutMs) : mutex_(mutex) {
    if (mutex_ == kNoHandle) return;
    std::shared_ptr<MutexObject> object = posix::LookupAs<MutexObject>(mutex_);
    if (!object) return;
    result_ = WaitOn(*object, timeoutMs);
    if (held()) object_ = std::move(object);
}

MutexHold::~MutexHold() {
    if (object_) ReleaseOn(*static_cast<const MutexObject*>(object_.get()));
}

}  // namespace trv::platform
