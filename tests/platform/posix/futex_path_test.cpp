// The suites run twice on Linux, the second time with TRVHA64_NO_FUTEX_WAITV
// set: that run must really take the waits' path for kernels without
// futex_waitv. Processes on the two paths also wake each other.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstddef>
#include <iterator>
#include <string>

#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>

#include "platform/event.h"
#include "platform/posix/futex.h"
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

// Whether the process runs (state R or D in /proc/<pid>/stat).
bool Running(std::uint32_t processId) {
    const std::string stat = test::ReadFile("/proc/" + std::to_string(processId) + "/stat");
    const std::size_t end = stat.rfind(") ");
    return end != std::string::npos && (stat[end + 2] == 'R' || stat[end + 2] == 'D');
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
    ASSERT_TRUE(first && second && ready);

    test::RoleProcess waiter = StartWithSetting(waiterWithout ? "1" : "0", "wait_events",
                                                {names[2], std::to_string(kInfinite), names[0], names[1]});
    ASSERT_EQ(WaitForEvent(ready.get(), kLimitMs), kWaitObject0);
    // Asleep in its wait, not about to look at the event once more.
    ASSERT_TRUE(Eventually([&] { return !Running(waiter.id()); }));
    EXPECT_EQ(StartWithSetting(waiterWithout ? "0" : "1", "signal_event", {names[0]}).Wait(), 0);
    EXPECT_EQ(waiter.Wait(), 0) << "the waiter slept through the signal";
}

INSTANTIATE_TEST_SUITE_P(FutexPaths, MixedPathsTest, testing::Bool(), [](const testing::TestParamInfo<bool>& info) {
    return info.param ? "WaiterWithoutFutexWaitv" : "WaiterWithFutexWaitv";
});

}  // namespace
}  // namespace trv::platform
