// Named mutexes: exclusion across processes, hand-over to a waiter, a mutex
// left by a killed process or an ended thread coming back as abandoned, and
// re-entry by the owner thread.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/event.h"
#include "platform/mutex.h"
#include "platform/thread.h"
#include "platform/timeout.h"
#include "support/child_role.h"
#include "support/test_thread.h"

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

// A mutex and the event a child signals once it holds the mutex or is about
// to wait for it.
struct SharedMutex {
    explicit SharedMutex(const std::string& tag)
        : name(test::UniqueName(tag)), signalName(test::UniqueName(tag + "_signal")),
          mutex(CreateNamedMutex(name.c_str())), signal(CreateNamedEvent(false, signalName.c_str())) {}
    bool Signalled() const { return WaitForEvent(signal.get(), kLimitMs) == kWaitObject0; }
    std::string name, signalName;
    UniqueHandle mutex, signal;
};

TEST(MutexAcrossProcessesTest, AHeldMutexExcludesAnotherProcessUntilReleased) {
    SharedMutex shared("mx_exclusion");
    ASSERT_TRUE(shared.mutex && shared.signal);
    ASSERT_EQ(WaitMutex(shared.mutex.get(), 0), LockResult::acquired);

    test::RoleProcess refused("mutex_waiter", {shared.name, "0"});
    EXPECT_EQ(refused.Wait(), 1);
    test::RoleProcess timedOut("mutex_waiter", {shared.name, "100"});
    EXPECT_EQ(timedOut.Wait(), 1);

    // A waiter blocked in the kernel gets the mutex when it is released.
    test::RoleProcess blocked("mutex_waiter", {shared.name, std::to_string(kLimitMs), shared.signalName});
    ASSERT_TRUE(shared.Signalled());
    ASSERT_TRUE(ReleaseNamedMutex(shared.mutex.get()));
    EXPECT_EQ(blocked.Wait(), 0);
    EXPECT_EQ(WaitMutex(shared.mutex.get(), kLimitMs), LockResult::acquired);
    EXPECT_TRUE(ReleaseNamedMutex(shared.mutex.get()));
}

TEST(MutexAcrossProcessesTest, AWaiterBlockedWhenTheOwnerIsKilledGetsTheMutexAsAbandoned) {
    SharedMutex held("mx_abandoned_held");
    SharedMutex waiting("mx_abandoned_waiting");
    ASSERT_TRUE(held.mutex && held.signal && waiting.signal);

    test::RoleProcess holder("mutex_holder", {held.name, held.signalName});
    ASSERT_TRUE(held.Signalled());
    EXPECT_EQ(WaitMutex(held.mutex.get(), 0), LockResult::timed_out);
    test::RoleProcess waiter("mutex_waiter", {held.name, std::to_string(kLimitMs), waiting.signalName});
    ASSERT_TRUE(waiting.Signalled());
    holder.Kill();
    EXPECT_EQ(waiter.Wait(), 2);
    // Abandonment is reported once; afterwards the mutex is an ordinary one.
    EXPECT_EQ(WaitMutex(held.mutex.get(), kLimitMs), LockResult::acquired);
    EXPECT_TRUE(ReleaseNamedMutex(held.mutex.get()));
}

// Waits for the mutex once on another thread, and releases it unless told not to.
LockResult ProbeFromAnotherThread(Handle mutex, std::uint32_t limitMs, bool release = true) {
    LockResult result = LockResult::failed;
    test::TestThread probe([&] {
        result = WaitMutex(mutex, limitMs);
        if (release && (result == LockResult::acquired || result == LockResult::acquired_owner_died)) {
            ReleaseNamedMutex(mutex);
        }
    });
    return probe.Join() ? result : LockResult::failed;
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
    EXPECT_EQ(ProbeFromAnotherThread(mutex.get(), 0), LockResult::timed_out);
    ASSERT_TRUE(ReleaseNamedMutex(mutex.get()));
    EXPECT_EQ(ProbeFromAnotherThread(mutex.get(), 20), LockResult::timed_out);
    ASSERT_TRUE(ReleaseNamedMutex(mutex.get()));
    EXPECT_EQ(ProbeFromAnotherThread(mutex.get(), kLimitMs), LockResult::acquired);
    EXPECT_FALSE(ReleaseNamedMutex(mutex.get()));  // no longer the owner
}

TEST(MutexRecursionTest, AMutexLeftByAnEndedThreadIsAbandonedOnce) {
    UniqueHandle mutex(CreateNamedMutex(test::UniqueName("mx_thread_end").c_str()));
    ASSERT_TRUE(mutex);
    ASSERT_EQ(ProbeFromAnotherThread(mutex.get(), 0, false), LockResult::acquired);
    EXPECT_EQ(WaitMutex(mutex.get(), kLimitMs), LockResult::acquired_owner_died);
    EXPECT_TRUE(ReleaseNamedMutex(mutex.get()));
    EXPECT_EQ(ProbeFromAnotherThread(mutex.get(), 0), LockResult::acquired);
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
