// Named mutexes: exclusion across processes, hand-over to a waiter, a mutex
// left by a killed process or an ended thread coming back as abandoned, and
// re-entry by the owner thread.
#include <gtest/gtest.h>

#include <string>

#include "platform/event.h"
#include "platform/timeout.h"
#include "platform_support.h"

namespace trv::platform {
namespace {

// The exit code of a mutex_waiter that got `result`.
constexpr int Exit(LockResult result) { return static_cast<int>(result); }

// args: mutex, time limit in ms, optional event to signal just before waiting.
// Waits for the mutex and releases it again; the exit code is the result.
TRV_CHILD_ROLE(mutex_waiter) {
    if (args.size() < 2) return 10;
    UniqueHandle mutex(OpenNamedMutex(args[0].c_str()));
    if (!mutex) return 11;
    if (args.size() > 2) {
        UniqueHandle waiting(OpenNamedEvent(args[2].c_str()));
        if (!waiting) return 12;
        SignalEvent(waiting.get());
    }
    const LockResult result = WaitMutex(mutex.get(), static_cast<std::uint32_t>(std::stoul(args[1])));
    if (result == LockResult::acquired || result == LockResult::acquired_owner_died) {
        if (!ReleaseNamedMutex(mutex.get())) return 13;
    }
    return Exit(result);
}

TEST(MutexAcrossProcessesTest, AHeldMutexExcludesAnotherProcessUntilReleased) {
    const std::string name = test::UniqueName("mx_exclusion");
    const std::string waitingName = name + "_waiting";
    UniqueHandle mutex(CreateNamedMutex(name.c_str()));
    UniqueHandle waiting(CreateNamedEvent(false, waitingName.c_str()));
    ASSERT_TRUE(mutex && waiting);
    ASSERT_EQ(WaitMutex(mutex.get(), 0), LockResult::acquired);
    for (const char* limit : {"0", "100"}) {
        test::RoleProcess refused("mutex_waiter", {name, limit});
        EXPECT_EQ(refused.Wait(), Exit(LockResult::timed_out)) << limit;
    }

    // A waiter blocked in the kernel gets the mutex when it is released.
    test::RoleProcess blocked("mutex_waiter", {name, std::to_string(kLimitMs), waitingName});
    ASSERT_EQ(WaitForEvent(waiting.get(), kLimitMs), kWaitObject0);
    ASSERT_TRUE(ReleaseNamedMutex(mutex.get()));
    EXPECT_EQ(blocked.Wait(), Exit(LockResult::acquired));
    EXPECT_EQ(LockFromAnotherThread(mutex.get(), kLimitMs), LockResult::acquired);
}

TEST(MutexAcrossProcessesTest, AWaiterBlockedWhenTheOwnerIsKilledGetsTheMutexAsAbandoned) {
    const std::string name = test::UniqueName("mx_abandoned");
    const std::string readyName = name + "_ready";
    UniqueHandle mutex(CreateNamedMutex(name.c_str()));
    UniqueHandle ready(CreateNamedEvent(false, readyName.c_str()));
    ASSERT_TRUE(mutex && ready);
    test::RoleProcess holder("hold_until_killed", {name + "_mapping", name + "_event", name, readyName});
    ASSERT_EQ(WaitForEvent(ready.get(), kLimitMs), kWaitObject0);
    EXPECT_EQ(WaitMutex(mutex.get(), 0), LockResult::timed_out);
    test::RoleProcess waiter("mutex_waiter", {name, std::to_string(kLimitMs), readyName});
    ASSERT_EQ(WaitForEvent(ready.get(), kLimitMs), kWaitObject0);
    holder.Kill();
    EXPECT_EQ(waiter.Wait(), Exit(LockResult::acquired_owner_died));
    // Abandonment is reported once; afterwards the mutex is an ordinary one.
    EXPECT_EQ(WaitMutex(mutex.get(), kLimitMs), LockResult::acquired);
    EXPECT_TRUE(ReleaseNamedMutex(mutex.get()));
}

TEST(MutexRecursionTest, TheOwnerReentersEveryWaitNeedsItsReleaseAndOnlyTheOwnerReleases) {
    UniqueHandle mutex(CreateNamedMutex(test::UniqueName("mx_recursion").c_str()));
    ASSERT_TRUE(mutex);
    EXPECT_FALSE(ReleaseNamedMutex(mutex.get()));  // not owned at all
    ASSERT_EQ(WaitMutex(mutex.get(), 0), LockResult::acquired);
    ASSERT_EQ(WaitMutex(mutex.get(), kLimitMs), LockResult::acquired);

    bool releasedByOther = true;
    test::TestThread other([&] { releasedByOther = ReleaseNamedMutex(mutex.get()); });
    ASSERT_TRUE(other.Join());
    EXPECT_FALSE(releasedByOther);
    EXPECT_EQ(LockFromAnotherThread(mutex.get(), 0), LockResult::timed_out);
    ASSERT_TRUE(ReleaseNamedMutex(mutex.get()));
    EXPECT_EQ(LockFromAnotherThread(mutex.get(), 20), LockResult::timed_out);
    ASSERT_TRUE(ReleaseNamedMutex(mutex.get()));
    EXPECT_EQ(LockFromAnotherThread(mutex.get(), kLimitMs), LockResult::acquired);
    EXPECT_FALSE(ReleaseNamedMutex(mutex.get()));  // no longer the owner
}

TEST(MutexRecursionTest, AMutexLeftByAnEndedThreadIsAbandonedOnce) {
    UniqueHandle mutex(CreateNamedMutex(test::UniqueName("mx_thread_end").c_str()));
    ASSERT_TRUE(mutex);
    ASSERT_EQ(LockFromAnotherThread(mutex.get(), 0, false), LockResult::acquired);
    EXPECT_EQ(WaitMutex(mutex.get(), kLimitMs), LockResult::acquired_owner_died);
    EXPECT_TRUE(ReleaseNamedMutex(mutex.get()));
    EXPECT_EQ(LockFromAnotherThread(mutex.get(), 0), LockResult::acquired);
}

// Create opens an existing mutex without taking it; the owner reaches it
// through every handle; a hold gives back the one level it took.
TEST(MutexRecursionTest, EveryHandleReachesOneMutexAndAHoldGivesBackItsLevel) {
    const std::string name = test::UniqueName("mx_reopen");
    UniqueHandle created(CreateNamedMutex(name.c_str()));
    ASSERT_TRUE(created);
    ASSERT_EQ(WaitMutex(created.get(), 0), LockResult::acquired);
    UniqueHandle again(CreateNamedMutex(name.c_str()));
    UniqueHandle opened(OpenNamedMutex(name.c_str()));
    ASSERT_TRUE(again && opened);
    EXPECT_EQ(LockFromAnotherThread(again.get(), 0), LockResult::timed_out);
    EXPECT_EQ(WaitMutex(opened.get(), 0), LockResult::acquired);
    EXPECT_TRUE(ReleaseNamedMutex(again.get()));
    EXPECT_TRUE(MutexHold(opened.get(), 0).held());
    EXPECT_EQ(LockFromAnotherThread(created.get(), 0), LockResult::timed_out);
    EXPECT_TRUE(ReleaseNamedMutex(opened.get()));
    {
        MutexHold hold(created.get(), kLimitMs);
        EXPECT_EQ(LockFromAnotherThread(created.get(), 0), LockResult::timed_out);
    }
    EXPECT_EQ(LockFromAnotherThread(created.get(), 0), LockResult::acquired);
    EXPECT_FALSE(MutexHold(kNoHandle, kLimitMs).held());
}

}  // namespace
}  // namespace trv::platform
