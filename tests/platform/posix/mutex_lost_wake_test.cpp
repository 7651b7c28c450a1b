// A contended mutex wait must not depend on the one wake an unlock gives:
// the sleeper it goes to may die before it takes the mutex, and the kernel
// passes that wake on to no one. Here the first sleeper is a bare futex
// waiter that leaves as soon as it is woken, as a killed waiter would.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include <linux/futex.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/mutex.h"
#include "platform/posix/namespace.h"
#include "../platform_support.h"
#include "support/test_files.h"

namespace trv::platform {
namespace {

// NAME: sleeps on the lock word of the named mutex (announcing itself as a
// sleeper, as a waiter does) and ends at its first wake without the mutex.
TRV_CHILD_ROLE(bare_mutex_sleeper) {
    if (args.size() != 1) return 2;
    auto object = posix::NamespaceObject::Open(posix::ObjectKind::mutex, args[0].c_str(), true);
    if (!object) return 3;
    std::atomic_ref<int> word(static_cast<pthread_mutex_t*>(object->data())->__data.__lock);
    int value = word.load();
    if ((value & FUTEX_TID_MASK) == 0) return 4;
    word.fetch_or(static_cast<int>(FUTEX_WAITERS));
    syscall(SYS_futex, &static_cast<pthread_mutex_t*>(object->data())->__data.__lock, FUTEX_WAIT,
            value | static_cast<int>(FUTEX_WAITERS), nullptr, nullptr, 0);
    return 0;
}

// NAME: waits for the named mutex without a time limit; 0 once it had it.
TRV_CHILD_ROLE(mutex_taker) {
    if (args.size() != 1) return 2;
    UniqueHandle mutex(OpenNamedMutex(args[0].c_str()));
    if (!mutex) return 3;
    const LockResult result = WaitMutex(mutex.get(), kInfinite);
    if (result != LockResult::acquired) return 4;
    return ReleaseNamedMutex(mutex.get()) ? 0 : 5;
}

// Whether the process's main thread sleeps in a futex wait.
bool AsleepOnAFutex(std::uint32_t processId) {
    return test::ReadFile("/proc/" + std::to_string(processId) + "/wchan").find("futex") != std::string::npos;
}

TEST(MutexLostWakeTest, ASleeperGetsTheMutexWhenTheUnlocksWakeWentToOneThatLeft) {
    const std::string name = test::UniqueName("lost_wake");
    UniqueHandle mutex(CreateNamedMutex(name.c_str()));
    ASSERT_EQ(WaitMutex(mutex.get(), 0), LockResult::acquired);
    test::RoleProcess bare("bare_mutex_sleeper", {name});
    ASSERT_TRUE(Eventually([&] { return AsleepOnAFutex(bare.id()); }));
    test::RoleProcess taker("mutex_taker", {name});
    ASSERT_TRUE(Eventually([&] { return AsleepOnAFutex(taker.id()); }));

    // Sleepers are woken first come, first served: the unlock's wake goes to
    // the bare sleeper, which leaves.
    ASSERT_TRUE(ReleaseNamedMutex(mutex.get()));
    EXPECT_EQ(bare.Wait(kLimitMs), 0);
    EXPECT_EQ(taker.Wait(kLimitMs), 0) << "the waiter slept on beside the free mutex";
}

}  // namespace
}  // namespace trv::platform
