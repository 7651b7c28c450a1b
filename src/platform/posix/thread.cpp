// Threads on POSIX: pthreads, detached, each with a record shared by the
// thread and its handles. The record holds the thread's stop word (a futex
// word every stoppable wait of this layer sleeps on too) and its end word,
// which WaitForThread sleeps on. Thread ids are kernel task ids (gettid),
// unique machine-wide among live threads.
#include "platform/thread.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <memory>

#include <pthread.h>
#include <unistd.h>

#include "platform/posix/futex.h"
#include "platform/posix/handle_table.h"
#include "platform/posix/system.h"
#include "platform/timeout.h"

namespace trv::platform {
namespace {

struct ThreadRecord {
    ThreadEntry entry = nullptr;
    void* argument = nullptr;
    std::atomic<std::uint32_t> id{0};     // set by the thread as it starts
    std::atomic<std::uint32_t> stop{0};   // 1 once a stop was requested
    std::atomic<std::uint32_t> ended{0};  // 1 once the entry returned
};

class ThreadObject : public posix::KernelObject {
public:
    static constexpr posix::HandleType kType = posix::HandleType::thread;
    explicit ThreadObject(std::shared_ptr<ThreadRecord> record)
        : KernelObject(kType), record_(std::move(record)) {}
    ThreadRecord& record() const { return *record_; }

private:
    std::shared_ptr<ThreadRecord> record_;
};

thread_local ThreadRecord* currentRecord = nullptr;
thread_local std::uint32_t cachedThreadId = 0;

std::atomic<std::uint32_t> cachedProcessId{0};

void ForgetProcessId() { cachedProcessId.store(0); }

void* ThreadMain(void* argument) {
    // The thread's own reference; the handles hold the others.
    std::unique_ptr<std::shared_ptr<ThreadRecord>> owned(
        static_cast<std::shared_ptr<ThreadRecord>*>(argument));
    std::shared_ptr<ThreadRecord> record = *owned;
    owned.reset();
    currentRecord = record.get();
    record->id.store(CurrentThreadId());
    posix::WakeWord(&record->id, INT_MAX, false);
    try {
        record->entry(record->argument);
    } catch (...) {
        // No exception leaves a thread entry; the thread just ends.
    }
    record->ended.store(1);
    posix::WakeWord(&record->ended, INT_MAX, false);
    currentRecord = nullptr;
    return nullptr;
}

}  // namespace

namespace posix {

const std::atomic<std::uint32_t>* CurrentStopWord() {
    return currentRecord != nullptr ? &currentRecord->stop : nullptr;
}

}  // namespace posix

std::uint32_t CurrentProcessId() {
    std::uint32_t id = cachedProcessId.load(std::memory_order_relaxed);
    if (id == 0) {
        static const bool registered = [] {
            return pthread_atfork(nullptr, nullptr, ForgetProcessId) == 0;
        }();
        (void)registered;
        id = static_cast<std::uint32_t>(getpid());
        cachedProcessId.store(id, std::memory_order_relaxed);
    }
    return id;
}

std::uint32_t CurrentThreadId() {
    if (cachedThreadId == 0) cachedThreadId = static_cast<std::uint32_t>(gettid());
    return cachedThreadId;
}

StartedThread StartThread(ThreadEntry entry, void* argument) {
    StartedThread started;
    if (entry == nullptr) {
        posix::RecordError(EINVAL);
        return started;
    }
    auto record = std::make_shared<ThreadRecord>();
    record->entry = entry;
    record->argument = argument;

    pthread_attr_t attributes;
    int error = pthread_attr_init(&attributes);
    if (error == 0) error = pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (error != 0) {
        posix::RecordError(error);
        return started;
    }
    auto* threadReference = new std::shared_ptr<ThreadRecord>(record);
    pthread_t thread;
    error = pthread_create(&thread, &attributes, ThreadMain, threadReference);
    pthread_attr_destroy(&attributes);
    if (error != 0) {
        delete threadReference;
        posix::RecordError(error);
        return started;
    }
    // The id is the thread's kernel task id, known once it runs.
    while (record->id.load() == 0) {
        posix::FutexWord word{&record->id, 0, false};
        posix::SleepOnWords(&word, 1, posix::Deadline::After(kInfinite), false);
    }
    started.handle = posix::InsertHandle(std::make_shared<ThreadObject>(record));
    started.id = started.handle != kNoHandle ? record->id.load() : 0;
    return started;
}

std::uint32_t WaitForThread(Handle thread, std::uint32_t timeoutMs) {
    std::shared_ptr<ThreadObject> object = posix::LookupAs<ThreadObject>(thread);
    if (!object) return kWaitFailed;
    ThreadRecord& record = object->record();
    if (record.ended.load() != 0) return kWaitObject0;
    if (timeoutMs == 0) return kWaitTimeout;
    posix::Deadline deadline = posix::Deadline::After(timeoutMs);
    for (;;) {
        posix::FutexWord word{&record.ended, 0, false};
        posix::SleepOutcome outcome = posix::SleepOnWords(&word, 1, deadline, false);
        if (record.ended.load() != 0) return kWaitObject0;
        if (outcome == posix::SleepOutcome::timed_out) return kWaitTimeout;
        if (outcome == posix::SleepOutcome::failed) return kWaitFailed;
    }
}

bool RequestThreadStop(Handle thread) {
    std::shared_ptr<ThreadObject> object = posix::LookupAs<ThreadObject>(thread);
    if (!object) return false;
    ThreadRecord& record = object->record();
    record.stop.store(1);
    posix::WakeWord(&record.stop, INT_MAX, false);
    return true;
}

bool ThreadStopRequested() { return posix::StopRequestedHere(); }

// Linux: /proc/<tid> answers for every live task, also one that is not its
// process's main thread; the status names the thread group (the process).
std::uint32_t ProcessOfThread(std::uint32_t threadId) {
    if (threadId == 0 || threadId > static_cast<std::uint32_t>(INT_MAX)) return 0;
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%u/status", threadId);
    std::FILE* status = std::fopen(path, "re");
    if (status == nullptr) return 0;
    std::uint32_t processId = 0;
    bool ended = false;
    char line[256];
    while (std::fgets(line, sizeof line, status) != nullptr) {
        unsigned value = 0;
        char state = 0;
        if (std::sscanf(line, "State: %c", &state) == 1) {
            ended = state == 'Z' || state == 'X';
        } else if (std::sscanf(line, "Tgid: %u", &value) == 1) {
            processId = value;
        }
    }
    std::fclose(status);
    return ended ? 0 : processId;
}

}  // namespace trv::platform
