// Thread message queues on POSIX. Each queue is a named object of the
// namespace ("<thread id>" with a prefix no caller uses) holding a bounded
// ring of messages under a robust lock, and a sequence word that every post
// bumps and the owner thread sleeps on. The owner thread holds the queue open
// from its creation until the thread ends; a poster opens it by name for one
// post, so a queue whose owner died is absent to posters (see namespace.h),
// and one whose owner thread ended is refused by the owner check.
#include "platform/message_queue.h"

#include <atomic>
#include <cerrno>
#include <memory>
#include <new>
#include <string>

#include <pthread.h>

#include "platform/posix/futex.h"
#include "platform/posix/message_queue.h"
#include "platform/posix/namespace.h"
#include "platform/posix/robust_mutex.h"
#include "platform/thread.h"

namespace trv::platform {
namespace {

// As many as a Windows thread queue holds before posts fail.
constexpr std::uint32_t kQueueCapacity = 10000;

struct QueuedMessage {
    std::uint64_t window;    // 0
    std::uint64_t wParam;    // 8
    std::int64_t lParam;     // 16
    std::uint32_t message;   // 24
    std::uint32_t reserved;  // 28
};
static_assert(sizeof(QueuedMessage) == 32);

struct QueueState {
    std::uint32_t ownerPid;
    std::uint32_t ownerTid;
    pthread_mutex_t lock;
    std::atomic<std::uint32_t> sequence;       // bumped by every post; the owner sleeps on it
    std::atomic<std::uint32_t> ownerSleeping;  // set by the owner under the lock before sleeping
    std::uint32_t head;
    std::uint32_t count;
    QueuedMessage ring[kQueueCapacity];
};

std::string QueueName(std::uint32_t threadId) {
    return "trvha64 thread queue " + std::to_string(threadId);
}

// A previous holder died inside an update: keep what is consistent.
void RepairQueue(QueueState& queue) {
    if (queue.head >= kQueueCapacity || queue.count > kQueueCapacity) {
        queue.head = 0;
        queue.count = 0;
    }
}

// The calling thread's own queue, held open until the thread ends.
class OwnQueue {
public:
    QueueState* Get() {
        if (object_) return static_cast<QueueState*>(object_->data());
        bool existed = false;
        std::uint32_t pid = CurrentProcessId();
        std::uint32_t tid = CurrentThreadId();
        std::string name = QueueName(tid);
        std::unique_ptr<posix::NamespaceObject> object = posix::NamespaceObject::Create(
            posix::ObjectKind::message_queue, name.c_str(), sizeof(QueueState), true,
            [pid, tid](void* data) {
                auto* queue = new (data) QueueState{};
                queue->ownerPid = pid;
                queue->ownerTid = tid;
                return posix::InitialiseRobustMutex(&queue->lock, false);
            },
            &existed);
        if (!object) return nullptr;
        if (object->dataSize() < sizeof(QueueState)) {
            posix::RecordError(EINVAL);
            return nullptr;
        }
        auto* queue = static_cast<QueueState*>(object->data());
        if (existed) {
            // A poster still held the queue of an ended thread that had this
            // id: its messages were for that thread, not for this one.
            posix::RobustLockGuard guard(&queue->lock);
            if (!guard.held()) return nullptr;
            queue->ownerPid = pid;
            queue->ownerTid = tid;
            queue->head = 0;
            queue->count = 0;
        }
        object_ = std::move(object);
        return queue;
    }

private:
    std::unique_ptr<posix::NamespaceObject> object_;
};

thread_local OwnQueue ownQueue;

}  // namespace

namespace posix {

bool PostToQueue(std::uint32_t threadId, std::uintptr_t window, std::uint32_t message,
                 std::uintptr_t wParam, std::intptr_t lParam) {
    if (threadId == 0) {
        RecordError(ESRCH);
        return false;
    }
    std::string name = QueueName(threadId);
    std::unique_ptr<NamespaceObject> object =
        NamespaceObject::Open(ObjectKind::message_queue, name.c_str(), true);
    if (!object) {
        RecordError(ESRCH);
        return false;
    }
    if (object->dataSize() < sizeof(QueueState)) {
        RecordError(EINVAL);
        return false;
    }
    auto& queue = *static_cast<QueueState*>(object->data());
    bool wake = false;
    {
        RobustLockGuard guard(&queue.lock);
        if (!guard.held()) return false;
        if (guard.ownerDied()) RepairQueue(queue);
        if (queue.ownerTid != threadId || !IsThreadOf(queue.ownerPid, queue.ownerTid)) {
            RecordError(ESRCH);
            return false;
        }
        if (queue.count >= kQueueCapacity) {
            RecordError(EAGAIN);
            return false;
        }
        QueuedMessage& slot = queue.ring[(queue.head + queue.count) % kQueueCapacity];
        slot.window = window;
        slot.message = message;
        slot.wParam = wParam;
        slot.lParam = lParam;
        ++queue.count;
        queue.sequence.fetch_add(1);
        wake = queue.ownerSleeping.load() != 0;
    }
    if (wake) WakeWord(&queue.sequence, 1, true);
    return true;
}

}  // namespace posix

void EnsureMessageQueue() { ownQueue.Get(); }

bool PostToThread(std::uint32_t threadId, std::uint32_t message, std::uintptr_t wParam,
                  std::intptr_t lParam) {
    return posix::PostToQueue(threadId, 0, message, wParam, lParam);
}

MessageWait GetThreadMessage(ThreadMessage& out, std::uint32_t timeoutMs) {
    QueueState* queue = ownQueue.Get();
    if (queue == nullptr) return MessageWait::failed;
    if (posix::StopRequestedHere()) {
        posix::RecordError(ECANCELED);
        return MessageWait::failed;
    }
    posix::Deadline deadline = posix::Deadline::After(timeoutMs);
    bool lastLook = timeoutMs == 0;
    for (;;) {
        std::uint32_t sequence;
        {
            posix::RobustLockGuard guard(&queue->lock);
            if (!guard.held()) return MessageWait::failed;
            if (guard.ownerDied()) RepairQueue(*queue);
            if (queue->count > 0) {
                const QueuedMessage& slot = queue->ring[queue->head];
                out.window = static_cast<std::uintptr_t>(slot.window);
                out.message = slot.message;
                out.wParam = static_cast<std::uintptr_t>(slot.wParam);
                out.lParam = static_cast<std::intptr_t>(slot.lParam);
                queue->head = (queue->head + 1) % kQueueCapacity;
                --queue->count;
                queue->ownerSleeping.store(0);
                return out.message == kQuitMessage ? MessageWait::quit : MessageWait::message;
            }
            if (lastLook) {
                queue->ownerSleeping.store(0);
                return MessageWait::timed_out;
            }
            sequence = queue->sequence.load();
            queue->ownerSleeping.store(1);
        }
        posix::FutexWord word{&queue->sequence, sequence, true};
        switch (posix::SleepOnWords(&word, 1, deadline, true)) {
            case posix::SleepOutcome::woken:
                break;
            case posix::SleepOutcome::timed_out:
                lastLook = true;
                break;
            case posix::SleepOutcome::stopped:
            case posix::SleepOutcome::failed:
                return MessageWait::failed;
        }
    }
}

}  // namespace trv::platform
