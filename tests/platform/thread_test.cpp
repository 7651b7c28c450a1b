// Threads: start, identifiers, waits with a time limit, and cooperative stop
// ending a wait for an event, a mutex or a thread message.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/event.h"
#include "platform/message_queue.h"
#include "platform/mutex.h"
#include "platform/thread.h"
#include "platform/timeout.h"
#include "platform_support.h"

namespace trv::platform {
namespace {

struct Job {
    std::atomic<std::uint32_t> ranOn{0};
    Handle release = kNoHandle;  // waited for before the job ends
};

std::uint32_t RunJob(void* argument) {
    auto* job = static_cast<Job*>(argument);
    job->ranOn.store(CurrentThreadId());
    WaitForEvent(job->release, kLimitMs);
    return 0;
}

TEST(ThreadTest, AStartedThreadRunsItsEntryUnderItsOwnIdAndCanBeWaitedFor) {
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
    ASSERT_EQ(WaitForThread(thread.handle, kLimitMs), kWaitObject0);
    EXPECT_EQ(WaitForThread(thread.handle, 0), kWaitObject0);  // stays ended
    EXPECT_NE(thread.id, 0u);
    EXPECT_NE(thread.id, CurrentThreadId());
    EXPECT_EQ(job.ranOn.load(), thread.id);
    EXPECT_EQ(WaitForThread(kNoHandle, 0), kWaitFailed);
}

enum class Blocker { event, mutex, message };

// What a stopped thread saw.
struct StopProbe {
    Blocker blocker = Blocker::event;
    Handle never = kNoHandle;    // an event nobody signals
    Handle mutex = kNoHandle;    // held by the test's thread
    Handle started = kNoHandle;  // signalled just before the blocking wait
    std::atomic<bool> waitFailed{false};
    std::atomic<bool> stopSeen{false};
    std::atomic<bool> nextWaitFailed{false};
};

bool BlockingWaitFails(const StopProbe& probe) {
    ThreadMessage message;
    switch (probe.blocker) {
        case Blocker::event: return WaitForEvent(probe.never, kInfinite) == kWaitFailed;
        case Blocker::mutex: return WaitMutex(probe.mutex, kInfinite) == LockResult::failed;
        case Blocker::message: return GetThreadMessage(message, kInfinite) == MessageWait::failed;
    }
    return false;
}

std::uint32_t BlockUntilStopped(void* argument) {
    auto* probe = static_cast<StopProbe*>(argument);
    if (probe->blocker == Blocker::message) EnsureMessageQueue();
    SignalEvent(probe->started);
    probe->waitFailed.store(BlockingWaitFails(*probe));
    probe->stopSeen.store(ThreadStopRequested());
    // The next wait fails at once too, rather than blocking.
    probe->nextWaitFailed.store(BlockingWaitFails(*probe));
    return 0;
}

// A stop request ends a thread's wait for an event, for a mutex held
// elsewhere and for a thread message (the parameter), and its next wait.
class ThreadStopTest : public testing::TestWithParam<Blocker> {};

TEST_P(ThreadStopTest, AStopEndsTheWaitAndTheNextOne) {
    UniqueHandle never(CreateNamedEvent(false, nullptr));
    UniqueHandle mutex(CreateNamedMutex(nullptr));
    UniqueHandle started(CreateNamedEvent(false, nullptr));
    ASSERT_TRUE(never && mutex && started);
    ASSERT_EQ(WaitMutex(mutex.get(), 0), LockResult::acquired);
    StopProbe probe;
    probe.blocker = GetParam();
    probe.never = never.get();
    probe.mutex = mutex.get();
    probe.started = started.get();
    StartedThread thread = StartThread(BlockUntilStopped, &probe);
    ASSERT_NE(thread.handle, kNoHandle);
    UniqueHandle owner(thread.handle);
    ASSERT_EQ(WaitForEvent(started.get(), kLimitMs), kWaitObject0);
    // The wait may or may not have begun; a stop ends it either way.
    EXPECT_EQ(WaitForThread(thread.handle, 20), kWaitTimeout);
    ASSERT_TRUE(RequestThreadStop(thread.handle));
    ASSERT_EQ(WaitForThread(thread.handle, kLimitMs), kWaitObject0);
    EXPECT_TRUE(probe.waitFailed.load());
    EXPECT_TRUE(probe.stopSeen.load());
    EXPECT_TRUE(probe.nextWaitFailed.load());
    EXPECT_FALSE(ThreadStopRequested());  // only the stopped thread sees it
    EXPECT_TRUE(ReleaseNamedMutex(mutex.get()));  // still this thread's
    EXPECT_FALSE(RequestThreadStop(kNoHandle));
}

std::string BlockerName(const testing::TestParamInfo<Blocker>& info) {
    return info.param == Blocker::event ? "Event" : info.param == Blocker::mutex ? "Mutex" : "Message";
}

INSTANTIATE_TEST_SUITE_P(Waits, ThreadStopTest,
                         testing::Values(Blocker::event, Blocker::mutex, Blocker::message), BlockerName);

}  // namespace
}  // namespace trv::platform
