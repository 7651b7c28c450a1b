// A watch on another process's end: it tells a live process from one that
// was killed, and a process from a later one that took over its id.
#include <gtest/gtest.h>

#include <utility>

#include "platform/clock.h"
#include "platform/process.h"
#include "platform/thread.h"
#include "support/child_role.h"

namespace trv::platform {
namespace {

TRV_CHILD_ROLE(watched_sleeper) {
    SleepMs(20000);
    return 0;
}

TEST(ProcessWatchTest, AKilledProcessIsSeenToHaveEnded) {
    test::RoleProcess child("watched_sleeper");
    ASSERT_TRUE(child.started());
    const std::uint32_t stamp = ProcessStartStamp(child.id());
    ASSERT_NE(stamp, 0u);
    ProcessWatch watch(child.id(), stamp);
    EXPECT_FALSE(watch.Ended());
    ProcessWatch moved(std::move(watch));
    EXPECT_FALSE(moved.Ended());

    child.Kill();
    EXPECT_TRUE(moved.Ended());
    // Another stamp: not the process meant, whatever bears the id now.
    EXPECT_TRUE(ProcessWatch(CurrentProcessId(), CurrentProcessStartStamp() + 1).Ended());
    EXPECT_FALSE(ProcessWatch(CurrentProcessId(), CurrentProcessStartStamp()).Ended());
}

}  // namespace
}  // namespace trv::platform
