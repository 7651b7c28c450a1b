// The futex waits of the POSIX backend. The suites run twice on Linux, the
// second time with TRVHA64_NO_FUTEX_WAITV set: that run must really take the
// waits' path for kernels without futex_waitv.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <iterator>
#include <string>

#include <linux/filter.h>
#include <linux/futex.h>
#include <linux/seccomp.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/syscall.h>

#include "platform/event.h"
#include "platform/mutex.h"
#include "platform/posix/futex.h"
#include "platform/posix/namespace.h"
#include "platform/timeout.h"
#include "../platform_support.h"
#include "support/test_files.h"

namespace trv::platform {
namespace {

constexpr const char* kSetting = "TRVHA64_NO_FUTEX_WAITV";

// A child with the setting at `value` (the test's own stays as it was).
test::RoleProcess StartWithSetting(const char* value, const std::string& role, const test::RoleArgs& args = {}) {
    test::ScopedEnvironment path(kSetting, value);
    return test::RoleProcess(role, args);
}

TEST(FutexPathTest, TheSettingForcesThePathWithoutFutexWaitv) {
    const std::string forced = GetEnvironment(kSetting).value_or("");
    if (forced.empty() || forced == "0") GTEST_SKIP() << "the run with futex_waitv where the kernel has it";
    EXPECT_FALSE(posix::FutexWaitvInUse());
}

// A process whose system-call filter refuses futex_waitv with EPERM (as
// container profiles that predate it do) takes the path without it, and its
// waits work. Exit code 0 when they do.
TRV_CHILD_ROLE(futex_waitv_refused) {
    sock_filter rules[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_futex_waitv, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog program{static_cast<unsigned short>(std::size(rules)), rules};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
        return 20;
    }
    if (posix::FutexWaitvInUse()) return 21;
    UniqueHandle event(CreateNamedEvent(false, test::UniqueName("refused").c_str()));
    if (!event) return 22;
    return WaitForEvent(event.get(), 1) == kWaitTimeout ? 0 : 23;
}

TEST(FutexPathTest, AFilterThatRefusesFutexWaitvLeadsToThePathWithoutIt) {
    EXPECT_EQ(StartWithSetting("0", "futex_waitv_refused").Wait(), 0);
}

// Whether the process's main thread sleeps in a futex wait.
bool AsleepOnAFutex(std::uint32_t processId) {
    return test::ReadFile("/proc/" + std::to_string(processId) + "/wchan").find("futex") != std::string::npos;
}

// A waiter on two events on one path and a signaller on the other (the
// setting for one process only, or two kernels' worth of processes in one
// namespace): the signal ends the wait, in both directions.
class MixedPathsTest : public testing::TestWithParam<bool> {};

TEST_P(MixedPathsTest, ASignalFromTheOtherPathEndsAWait) {
    const bool waiterWithout = GetParam();
    const std::string names[3] = {test::UniqueName("mixed_first"), test::UniqueName("mixed_second"),
                                  test::UniqueName("mixed_ready")};
    UniqueHandle first(CreateNamedEvent(false, names[0].c_str()));
    UniqueHandle second(CreateNamedEvent(false, names[1].c_str()));
    UniqueHandle ready(CreateNamedEvent(false, names[2].c_str()));

    test::RoleProcess waiter = StartWithSetting(waiterWithout ? "1" : "0", "wait_events",
                                                {names[2], std::to_string(kInfinite), names[0], names[1]});
    ASSERT_EQ(WaitForEvent(ready.get(), kLimitMs), kWaitObject0);
    // Asleep in its wait, not about to look at the event once more.
    ASSERT_TRUE(Eventually([&] { return AsleepOnAFutex(waiter.id()); }));
    EXPECT_EQ(StartWithSetting(waiterWithout ? "0" : "1", "signal_event", {names[0]}).Wait(), 0);
    EXPECT_EQ(waiter.Wait(), 0) << "the waiter slept through the signal";
}

INSTANTIATE_TEST_SUITE_P(FutexPaths, MixedPathsTest, testing::Bool(), [](const testing::TestParamInfo<bool>& info) {
    return info.param ? "WaiterWithoutFutexWaitv" : "WaiterWithFutexWaitv";
});

// NAME: sleeps on the lock word of the named mutex (announcing itself as a
// sleeper, as a waiter does) and ends at its first wake without the mutex,
// as a waiter killed after the wake would.
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

// The sleeper it goes to may die before it takes the mutex, and the kernel
// passes that wake on to no one.
TEST(MutexLostWakeTest, ASleeperGetsTheMutexWhenTheUnlocksWakeWentToOneThatLeft) {
    const std::string name = test::UniqueName("lost_wake");
    UniqueHandle mutex(CreateNamedMutex(name.c_str()));
    ASSERT_EQ(WaitMutex(mutex.get(), 0), LockResult::acquired);
    test::RoleProcess bare("bare_mutex_sleeper", {name});
    ASSERT_TRUE(Eventually([&] { return AsleepOnAFutex(bare.id()); }));
    test::RoleProcess taker("mutex_waiter", {name, std::to_string(kInfinite)});
    ASSERT_TRUE(Eventually([&] { return AsleepOnAFutex(taker.id()); }));

    // Sleepers are woken first come, first served: the unlock's wake goes to
    // the bare sleeper, which leaves.
    ASSERT_TRUE(ReleaseNamedMutex(mutex.get()));
    EXPECT_EQ(bare.Wait(kLimitMs), 0);
    EXPECT_EQ(taker.Wait(kLimitMs), LockExit(LockResult::acquired)) << "the waiter slept on beside the free mutex";
}

}  // namespace
}  // namespace trv::platform
