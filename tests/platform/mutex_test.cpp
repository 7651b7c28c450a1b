// Named mutexes, across processes and across threads of one process.
#include <gtest/gtest.h>

#include <string>

#include "platform/event.h"
#include "platform/timeout.h"
#include "platform_support.h"

namespace trv::platform {
namespace {

// Another process is refused a held mutex (at once or at its time limit),
// gets it when it is released, and gets it as abandoned, once, when its owner
// is killed. A watch on the id with another start stamp sees that process
// ended, whatever bears the id now.
TEST(MutexAcrossProcessesTest, AWaitingProcessGetsTheMutexOnReleaseOrAsAbandonedOnTheOwnersEnd) {
    const std::string name = test::UniqueName("mx_across");
    const std::string readyName = name + "_ready";
    UniqueHandle mutex(CreateNamedMutex(name.c_str()));
    UniqueHandle ready(CreateNamedEvent(false, readyName.c_str()));
    ASSERT_EQ(WaitMutex(mutex.get(), 0), LockResult::acquired);
    for (const char* limit : {"0", "100"}) {
        EXPECT_EQ(test::RoleProcess("mutex_waiter", {name, limit}).Wait(), LockExit(LockResult::timed_out)) << limit;
    }
    const test::RoleArgs blockedWaiter{name, std::to_string(kLimitMs), readyName};
    test::RoleProcess blocked("mutex_waiter", blockedWaiter);
    ASSERT_EQ(WaitForEvent(ready.get(), kLimitMs), kWaitObject0);
    ASSERT_TRUE(ReleaseNamedMutex(mutex.get()));
    EXPECT_EQ(blocked.Wait(), LockExit(LockResult::acquired));

    test::RoleProcess holder("hold_until_killed", {name + "_mapping", name + "_event", name, readyName});
    ASSERT_EQ(WaitForEvent(ready.get(), kLimitMs), kWaitObject0);
    EXPECT_EQ(WaitMutex(mutex.get(), 0), LockResult::timed_out);
    test::RoleProcess waiter("mutex_waiter", blockedWaiter);
    ASSERT_EQ(WaitForEvent(ready.get(), kLimitMs), kWaitObject0);
    holder.Kill();
    EXPECT_EQ(waiter.Wait(), LockExit(LockResult::acquired_owner_died));
    EXPECT_EQ(LockFromAnotherThread(mutex.get(), kLimitMs), LockResult::acquired);
    EXPECT_TRUE(ProcessWatch(CurrentProcessId(), CurrentProcessStartStamp() + 1).Ended());
    EXPECT_FALSE(ProcessWatch(CurrentProcessId(), CurrentProcessStartStamp()).Ended());
}

// The owner re-enters the mutex through every handle of it (a create of an
// existing one opens it without taking it); only the owner releases, a level
// at a time; a hold gives back the one level it took; a thread that ends
// holding the mutex leaves it abandoned, once.
TEST(MutexRecursionTest, TheOwnerReentersThroughEveryHandleAndReleasesLevelByLevel) {
    const std::string name = test::UniqueName("mx_recursion");
    UniqueHandle mutex(CreateNamedMutex(name.c_str()));
    ASSERT_EQ(WaitMutex(mutex.get(), 0), LockResult::acquired);
    UniqueHandle again(CreateNamedMutex(name.c_str()));
    UniqueHandle opened(OpenNamedMutex(name.c_str()));
    EXPECT_EQ(LockFromAnotherThread(again.get(), 0), LockResult::timed_out);
    ASSERT_EQ(WaitMutex(opened.get(), kLimitMs), LockResult::acquired);

    bool releasedByOther = true;
    test::TestThread other([&] { releasedByOther = ReleaseNamedMutex(mutex.get()); });
    ASSERT_TRUE(other.Join());
    EXPECT_FALSE(releasedByOther);
    EXPECT_EQ(LockFromAnotherThread(mutex.get(), 0), LockResult::timed_out);
    ASSERT_TRUE(ReleaseNamedMutex(again.get()));
    EXPECT_EQ(LockFromAnotherThread(mutex.get(), 20), LockResult::timed_out);
    EXPECT_TRUE(MutexHold(opened.get(), 0).held());
    EXPECT_EQ(LockFromAnotherThread(mutex.get(), 0), LockResult::timed_out) << "a hold gave back more than its level";
    ASSERT_TRUE(ReleaseNamedMutex(mutex.get()));
    EXPECT_EQ(LockFromAnotherThread(mutex.get(), kLimitMs), LockResult::acquired);
    EXPECT_FALSE(ReleaseNamedMutex(mutex.get()));  // no longer the owner
    {
        MutexHold hold(mutex.get(), kLimitMs);
        EXPECT_EQ(LockFromAnotherThread(mutex.get(), 0), LockResult::timed_out);
    }

    ASSERT_EQ(LockFromAnotherThread(mutex.get(), 0, false), LockResult::acquired);
    EXPECT_EQ(WaitMutex(mutex.get(), kLimitMs), LockResult::acquired_owner_died);
    EXPECT_TRUE(ReleaseNamedMutex(mutex.get()));
    EXPECT_EQ(LockFromAnotherThread(mutex.get(), 0), LockResult::acquired);
    EXPECT_FALSE(MutexHold(kNoHandle, kLimitMs).held());
}

}  // namespace
}  // namespace trv::platform
