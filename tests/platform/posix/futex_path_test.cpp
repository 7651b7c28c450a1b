// The suites run twice on Linux, the second time with TRVHA64_NO_FUTEX_WAITV
// set (tests/CMakeLists.txt): that run must really take the waits' path for
// kernels without futex_waitv.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <iterator>
#include <string>

#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>

#include "platform/event.h"
#include "platform/handle.h"
#include "platform/posix/futex.h"
#include "platform/timeout.h"
#include "support/child_role.h"
#include "support/test_files.h"

namespace trv::platform {
namespace {

TEST(FutexPathTest, TheSettingForcesThePathWithoutFutexWaitv) {
    const char* forced = std::getenv("TRVHA64_NO_FUTEX_WAITV");
    if (forced == nullptr) GTEST_SKIP() << "the run with futex_waitv where the kernel has it";
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
    test::ScopedEnvironment path("TRVHA64_NO_FUTEX_WAITV", "0");
    test::RoleProcess refused("futex_waitv_refused");
    EXPECT_EQ(refused.Wait(), 0);
}

}  // namespace
}  // namespace trv::platform
