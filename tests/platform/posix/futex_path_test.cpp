// The suites run twice on Linux, the second time with TRVHA64_NO_FUTEX_WAITV
// set (tests/CMakeLists.txt): that run must really take the waits' path for
// kernels without futex_waitv.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/posix/futex.h"

TEST(FutexPathTest, TheSettingForcesThePathWithoutFutexWaitv) {
    const char* forced = std::getenv("TRVHA64_NO_FUTEX_WAITV");
    if (forced == nullptr) GTEST_SKIP() << "the run with futex_waitv where the kernel has it";
    EXPECT_FALSE(trv::platform::posix::FutexWaitvInUse());
}
