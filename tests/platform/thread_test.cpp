// Threads: start, identifiers, waits with a time limit, and cooperative stop
// ending a wait for an event, a mutex or a thread message.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>

#include "platform/event.h"
#include "platform/message_queue.h"
#include "platform/mutex.h"
#include "platform/thread.h"
#include "platform/timeout.h"

namespace trv::platform {
namespace {

constexpr std::uint32_t kLimitMs = 10000;

struct Job {
    std::atomic<std::uint32_t> ranOn{0};
    Handle release = kNoHandle;  // waited for before the job ends, when set
};

std::uint32_t RunJob(void* argument) {
    auto* job = static_cast<Job*>(argument);
    job->ranOn.store(CurrentThreadId());
    if (job->release != kNoHandle) WaitForEvent(job->release, kLimitMs);
    return 0;
}

TEST(ThreadTest, AStartedThreadRunsItsEntryUnderItsOwnId) {
    Job job;
    StartedThread thread = StartThread(RunJob, &job);
    ASSERT_NE(thread.handle, kNoHandle);
    UniqueHandle owner(thread.handle);
    ASSERT_EQ(WaitForThread(thread.handle, kLimitMs), kWaitObject0);
    EXPECT_NE(thread.id, 0u);
    EXPECT_NE(thread.id, CurrentThreadId());
    EXPECT_EQ(job.ranOn.load(), thread.id);
    EXPECT_EQ(WaitForThread(thread.handle, 0), kWaitObject0);  // stays ended
    EXPECT_FALSE(ThreadStopRequested());
}

TEST(ThreadTest, WaitingForARunningThreadTimesOut) {
    UniqueHandle release(CreateNamedEvent(true, nullptr));
    ASSERT_TRUE(release);
    Job job;
    job.release = release.get();
    StartedThread thread = StartThread(RunJob, &job);
    ASSERT_NE(thread.handle, kNoHandle);
    UniqueHandle owner(thread.handle);
    EXPECT_EQ(WaitForThread(thread.handle, 0), kWaitTimeout);
    EXPECT_EQ(WaitForThread(thread.handle, 30), kWaitTimeout);
    SignalEvent(release.get());
    EXPECT_EQ(WaitForThread(thread.handle, kLimitMs), kWaitObject0);
    EXPECT_EQ(WaitForThread(kNoHandle, 0), kWaitFailed);
}

// What a stopped thread saw.
struct StopProbe {
    Handle event = kNoHandle;
    Handle mutex = kNoHandle;
    Handle started = kNoHandle;  // signalled just before the blocking wait
    std::atomic<std::uint32_t> eventResult{0};
    std::atomic<int> mutexResult{-1};
    std::atomic<int> messageResult{-1};
    std::atomic<bool> stopSeen{false};
    std::atomic<std::uint32_t> nextWaitResult{0};
};

std::uint32_t WaitForEventUntilStopped(void* argument) {
    auto* probe = static_cast<StopProbe*>(argument);
    SignalEvent(probe->started);
    probe->eventResult.store(WaitForEvent(probe->event, kInfinite));
    probe->stopSeen.store(ThreadStopRequested());
    // The next wait fails at once too, rather than blocking.
    probe->nextWaitResult.store(WaitForEvent(probe->event, kInfinite));
    return 0;
}

std::uint32_t WaitForMutexUntilStopped(void* argument) {
    auto* probe = static_cast<StopProbe*>(argument);
    SignalEvent(probe->started);
    probe->mutexResult.store(static_cast<int>(WaitMutex(probe->mutex, kInfinite)));
    probe->stopSeen.store(ThreadStopRequested());
    return 0;
}

std::uint32_t WaitForMessageUntilStopped(void* argument) {
    auto* probe = static_cast<StopProbe*>(argument);
    EnsureMessageQueue();
    SignalEvent(probe->started);
    ThreadMessage message;
    probe->messageResult.store(static_cast<int>(GetThreadMessage(message, kInfinite)));
    probe->stopSeen.store(ThreadStopRequested());
    return 0;
}

// Starts `entry`, lets it reach its wait, asks it to stop and waits for it.
bool RunAndStop(ThreadEntry entry, StopProbe& probe) {
    UniqueHandle started(CreateNamedEvent(false, nullptr));
    if (!started) return false;
    probe.started = started.get();
    StartedThread thread = StartThread(entry, &probe);
    if (thread.handle == kNoHandle) return false;
    UniqueHandle owner(thread.handle);
    if (WaitForEvent(started.get(), kLimitMs) != kWaitObject0) return false;
    // The wait may or may not have begun; a stop ends it either way.
    EXPECT_EQ(WaitForThread(thread.handle, 20), kWaitTimeout);
    if (!RequestThreadStop(thread.handle)) return false;
    return WaitForThread(thread.handle, kLimitMs) == kWaitObject0;
}

TEST(ThreadStopTest, AStopEndsAWaitForAnEventAndTheNextWait) {
    UniqueHandle never(CreateNamedEvent(false, nullptr));
    ASSERT_TRUE(never);
    StopProbe probe;
    probe.event = never.get();
    ASSERT_TRUE(RunAndStop(WaitForEventUntilStopped, probe));
    EXPECT_EQ(probe.eventResult.load(), kWaitFailed);
    EXPECT_EQ(probe.nextWaitResult.load(), kWaitFailed);
    EXPECT_TRUE(probe.stopSeen.load());
    EXPECT_FALSE(ThreadStopRequested());  // only the stopped thread sees it
}

TEST(ThreadStopTest, AStopEndsAWaitForAMutexHeldElsewhere) {
    UniqueHandle mutex(CreateNamedMutex(nullptr));
    ASSERT_TRUE(mutex);
    ASSERT_EQ(WaitMutex(mutex.get(), 0), LockResult::acquired);
    StopProbe probe;
    probe.mutex = mutex.get();
    ASSERT_TRUE(RunAndStop(WaitForMutexUntilStopped, probe));
    EXPECT_EQ(probe.mutexResult.load(), static_cast<int>(LockResult::failed));
    EXPECT_TRUE(probe.stopSeen.load());
    EXPECT_TRUE(ReleaseNamedMutex(mutex.get()));  // still this thread's
}

TEST(ThreadStopTest, AStopEndsAWaitForAThreadMessage) {
    StopProbe probe;
    ASSERT_TRUE(RunAndStop(WaitForMessageUntilStopped, probe));
    EXPECT_EQ(probe.messageResult.load(), static_cast<int>(MessageWait::failed));
    EXPECT_TRUE(probe.stopSeen.load());
}

TEST(ThreadStopTest, StoppingAnUnknownHandleFails) {
    EXPECT_FALSE(RequestThreadStop(kNoHandle));
}

}  // namespace
}  // namespace trv::platform
