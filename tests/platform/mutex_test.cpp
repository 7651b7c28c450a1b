// Named mutexes: exclusion across processes, hand-over to a waiter, a mutex
// left by a killed process or an ended thread coming back as abandoned, and
// re-entry by the owner thread.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/event.h"
#include "platform/mutex.h"
#include "platform/thread.h"
#include "platform/timeout.h"
#include "support/child_role.h"

namespace trv::platform {
namespace {

constexpr std::uint32_t kLimitMs = 10000;

// Exit codes of the mutex roles, one per lock result.
int ExitCodeOf(LockResult result) {
    switch (result) {
        case LockResult::acquired: return 0;
        case LockResult::timed_out: return 1;
        case LockResult::acquired_owner_died: return 2;
        case LockResult::failed: return 3;
    }
    return 4;
}

// args: mutex, time limit in ms, optional event to signal just before waiting.
// Waits for the mutex and releases it again.
TRV_CHILD_ROLE(mutex_waiter) {
    if (args.size() < 2) return 10;
    UniqueHandle mutex(OpenNamedMutex(args[0].c_str()));
    if (!mutex) return 11;
    if (args.size() > 2) {
        UniqueHandle waiting(OpenNamedEvent(args[2].c_str()));
        if (!waiting) return 12;
        SignalEvent(waiting.get());
    }
    LockResult result = WaitMutex(mutex.get(), static_cast<std::uint32_t>(std::stoul(args[1])));
    if (result == LockResult::acquired || result == LockResult::acquired_owner_died) {
        if (!ReleaseNamedMutex(mutex.get())) return 13;
    }
    return ExitCodeOf(result);
}

// args: mutex, event. Takes the mutex, signals the event, and sleeps holding
// it until killed.
TRV_CHILD_ROLE(mutex_holder) {
    if (args.size() != 2) return 10;
    UniqueHandle mutex(OpenNamedMutex(args[0].c_str()));
    UniqueHandle held(OpenNamedEvent(args[1].c_str()));
    if (!mutex || !held) return 11;
    if (WaitMutex(mutex.get(), kLimitMs) != LockResult::acquired) return 12;
    SignalEvent(held.get());
    UniqueHandle never(CreateNamedEvent(false, nullptr));
    WaitForEvent(never.get(), 60000);
    return 13;
}

TEST(MutexAcrossProcessesTest, AHeldMutexExcludesAnotherProcessUntilReleased) {
    const std::string name = test::UniqueName("mx_exclusion");
    const std::string waitingName = test::UniqueName("mx_exclusion_waiting");
    UniqueHandle mutex(CreateNamedMutex(name.c_str()));
    UniqueHandle waiting(CreateNamedEvent(false, waitingName.c_str()));
    ASSERT_TRUE(mutex && waiting);
    ASSERT_EQ(WaitMutex(mutex.get(), 0), LockResult::acquired);

    test::RoleProcess refused("mutex_waiter", {name, "0"});
    EXPECT_EQ(refused.Wait(), 1);
    test::RoleProcess timedOut("mutex_waiter", {name, "100"});
    EXPECT_EQ(timedOut.Wait(), 1);

    // A waiter blocked in the kernel gets the mutex when it is released.
    test::RoleProcess blocked("mutex_waiter", {name, std::to_string(kLimitMs), waitingName});
    ASSERT_EQ(WaitForEvent(waiting.get(), kLimitMs), kWaitObject0);
    ASSERT_TRUE(ReleaseNamedMutex(mutex.get()));
    EXPECT_EQ(blocked.Wait(), 0);
    EXPECT_EQ(WaitMutex(mutex.get(), kLimitMs), LockResult::acquired);
    EXPECT_TRUE(ReleaseNamedMutex(mutex.get()));
}

TEST(MutexAcrossProcessesTest, AMutexHeldByAKilledProcessIsHandedOverAsAbandoned) {
    const std::string name = test::UniqueName("mx_abandoned");
    const std::string heldName = test::UniqueName("mx_abandoned_held");
    UniqueHandle mutex(CreateNamedMutex(name.c_str()));
    UniqueHandle held(CreateNamedEvent(false, heldName.c_str()));
    ASSERT_TRUE(mutex && held);

    test::RoleProcess holder("mutex_holder", {name, heldName});
    ASSERT_EQ(WaitForEvent(held.get(), kLimitMs), kWaitObject0);
    EXPECT_EQ(WaitMutex(mutex.get(), 0), LockResult::timed_out);
    holder.Kill();

    EXPECT_EQ(WaitMutex(mutex.get(), kLimitMs), LockResult::acquired_owner_died);
    ASSERT_TRUE(ReleaseNamedMutex(mutex.get()));
    // Abandonment is reported once; afterwards the mutex is an ordinary one.
    EXPECT_EQ(WaitMutex(mutex.get(), kLimitMs), LockResult::acquired);
    EXPECT_TRUE(ReleaseNamedMutex(mutex.get()));
}

TEST(MutexAcrossProcessesTest, AWaiterBlockedWhenTheOwnerIsKilledGetsTheMutexAsAbandoned) {
    const std::string name = test::UniqueName("mx_abandoned_waiter");
    const std::string heldName = test::UniqueName("mx_abandoned_waiter_held");
    const std::string waitingName = test::UniqueName("mx_abandoned_waiter_waiting");
    UniqueHandle mutex(CreateNamedMutex(name.c_str()));
    UniqueHandle held(CreateNamedEvent(false, heldName.c_str()));
    UniqueHandle waiting(CreateNamedEvent(false, waitingName.c_str()));
    ASSERT_TRUE(mutex && held && waiting);

    test::RoleProcess holder("mutex_holder", {name, heldName});
    ASSERT_EQ(WaitForEvent(held.get(), kLimitMs), kWaitObject0);
    test::RoleProcess waiter("mutex_waiter", {name, std::to_string(kLimitMs), waitingName});
    ASSERT_EQ(WaitForEvent(waiting.get(), kLimitMs), kWaitObject0);
    holder.Kill();
    EXPECT_EQ(waiter.Wait(), 2);
    EXPECT_EQ(WaitMutex(mutex.get(), kLimitMs), LockResult::acquired);
    EXPECT_TRUE(ReleaseNamedMutex(mutex.get()));
}

struct ThreadProbe {
    Handle mutex = kNoHandle;
    std::uint32_t limitMs = 0;
    bool release = true;
    std::atomic<int> result{-1};
};

// Waits for probe->mutex once, and releases it unless told not to.
std::uint32_t ProbeMutex(void* argument) {
    auto* probe = static_cast<ThreadProbe*>(argument);
    LockResult result = WaitMutex(probe->mutex, probe->limitMs);
    if (probe->release &&
        (result == LockResult::acquired || result == LockResult::acquired_owner_died)) {
        ReleaseNamedMutex(probe->mutex);
    }
    probe->result.store(static_cast<int>(result));
    return 0;
}

LockResult ProbeFromAnotherThread(Handle mutex, std::uint32_t limitMs, bool release = true) {
    ThreadProbe probe;
    probe.mutex = mutex;
    probe.limitMs = limitMs;
    probe.release = release;
    StartedThread thread = StartThread(ProbeMutex, &probe);
    if (thread.handle == kNoHandle) return LockResult::failed;
    UniqueHandle owner(thread.handle);
    if (WaitForThread(thread.handle, kLimitMs) != kWaitObject0) return LockResult::failed;
    return static_cast<LockResult>(probe.result.load());
}

TEST(MutexRecursionTest, TheOwnerReentersAndEveryWaitNeedsItsRelease) {
    UniqueHandle mutex(CreateNamedMutex(test::UniqueName("mx_recursion").c_str()));
    ASSERT_TRUE(mutex);
    ASSERT_EQ(WaitMutex(mutex.get(), 0), LockResult::acquired);
    ASSERT_EQ(WaitMutex(mutex.get(), kLimitMs), LockResult::acquired);

    EXPECT_EQ(ProbeFromAnotherThread(mutex.get(), 0), LockResult::timed_out);
    ASSERT_TRUE(ReleaseNamedMutex(mutex.get()));
    EXPECT_EQ(ProbeFromAnotherThread(mutex.get(), 20), LockResult::timed_out);
    ASSERT_TRUE(ReleaseNamedMutex(mutex.get()));
    EXPECT_EQ(ProbeFromAnotherThread(mutex.get(), kLimitMs), LockResult::acquired);
    EXPECT_FALSE(ReleaseNamedMutex(mutex.get()));  // no longer the owner
}

TEST(MutexRecursionTest, ReleaseByANonOwnerFails) {
    UniqueHandle mutex(CreateNamedMutex(nullptr));
    ASSERT_TRUE(mutex);
    EXPECT_FALSE(ReleaseNamedMutex(mutex.get()));  // not owned at all
    ASSERT_EQ(WaitMutex(mutex.get(), 0), LockResult::acquired);

    struct Attempt {
        Handle mutex;
        std::atomic<int> released{-1};
    } attempt{mutex.get()};
    StartedThread thread = StartThread(
        [](void* argument) -> std::uint32_t {
            auto* a = static_cast<Attempt*>(argument);
            a->released.store(ReleaseNamedMutex(a->mutex) ? 1 : 0);
            return 0;
        },
        &attempt);
    ASSERT_NE(thread.handle, kNoHandle);
    UniqueHandle owner(thread.handle);
    ASSERT_EQ(WaitForThread(thread.handle, kLimitMs), kWaitObject0);
    EXPECT_EQ(attempt.released.load(), 0);
    EXPECT_TRUE(ReleaseNamedMutex(mutex.get()));
}

TEST(MutexRecursionTest, AMutexLeftByAnEndedThreadIsAbandoned) {
    UniqueHandle mutex(CreateNamedMutex(test::UniqueName("mx_thread_end").c_str()));
    ASSERT_TRUE(mutex);
    ASSERT_EQ(ProbeFromAnotherThread(mutex.get(), 0, false), LockResult::acquired);
    EXPECT_EQ(WaitMutex(mutex.get(), kLimitMs), LockResult::acquired_owner_died);
    EXPECT_TRUE(ReleaseNamedMutex(mutex.get()));
}

TEST(MutexRecursionTest, CreateOpensAnExistingMutexWithoutTakingIt) {
    const std::string name = test::UniqueName("mx_reopen");
    UniqueHandle created(CreateNamedMutex(name.c_str()));
    ASSERT_TRUE(created);
    ASSERT_EQ(WaitMutex(created.get(), 0), LockResult::acquired);
    UniqueHandle again(CreateNamedMutex(name.c_str()));
    UniqueHandle opened(OpenNamedMutex(name.c_str()));
    ASSERT_TRUE(again && opened);
    EXPECT_EQ(ProbeFromAnotherThread(again.get(), 0), LockResult::timed_out);
    // The owner reaches the same mutex through every handle.
    EXPECT_EQ(WaitMutex(opened.get(), 0), LockResult::acquired);
    EXPECT_TRUE(ReleaseNamedMutex(again.get()));
    EXPECT_TRUE(ReleaseNamedMutex(opened.get()));
    EXPECT_EQ(ProbeFromAnotherThread(created.get(), 0), LockResult::acquired);
}

TEST(MutexHoldTest, AHoldGivesBackTheOneLevelItTook) {
    UniqueHandle mutex(CreateNamedMutex(test::UniqueName("mx_hold").c_str()));
    ASSERT_TRUE(mutex);
    ASSERT_EQ(WaitMutex(mutex.get(), 0), LockResult::acquired);
    EXPECT_TRUE(MutexHold(mutex.get(), 0).held());
    EXPECT_EQ(ProbeFromAnotherThread(mutex.get(), 0), LockResult::timed_out);
    ASSERT_TRUE(ReleaseNamedMutex(mutex.get()));
    {
        MutexHold hold(mutex.get(), kLimitMs);
        EXPECT_EQ(ProbeFromAnotherThread(mutex.get(), 0), LockResult::timed_out);
    }
    EXPECT_EQ(ProbeFromAnotherThread(mutex.get(), 0), LockResult::acquired);
    EXPECT_FALSE(MutexHold(kNoHandle, kLimitMs).held());
}

}  // namespace
}  // namespace trv::platform
