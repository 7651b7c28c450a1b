// Threads: a cooperative stop ending a wait for an event, a mutex or a thread
// message. (Start, identifiers and joins: every test's TestThread.)
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "platform/event.h"
#include "platform/thread.h"
#include "platform/timeout.h"
#include "platform_support.h"

namespace trv::platform {
namespace {

enum class Blocker { event, mutex, message };
constexpr const char* kBlockerNames[] = {"Event", "Mutex", "Message"};

// A stop request ends a thread's wait for an event, for a mutex held
// elsewhere and for a thread message (the parameter), and its next wait.
class ThreadStopTest : public testing::TestWithParam<Blocker> {};

TEST_P(ThreadStopTest, AStopEndsTheWaitAndTheNextOne) {
    UniqueHandle never(CreateNamedEvent(false, nullptr));
    UniqueHandle mutex(CreateNamedMutex(nullptr));
    UniqueHandle started(CreateNamedEvent(false, nullptr));
    ASSERT_EQ(WaitMutex(mutex.get(), 0), LockResult::acquired);
    const Blocker blocker = GetParam();
    const auto blockingWaitFails = [&] {
        ThreadMessage message;
        switch (blocker) {
            case Blocker::event: return WaitForEvent(never.get(), kInfinite) == kWaitFailed;
            case Blocker::mutex: return WaitMutex(mutex.get(), kInfinite) == LockResult::failed;
            case Blocker::message: return GetThreadMessage(message, kInfinite) == MessageWait::failed;
        }
        return false;
    };
    std::atomic<bool> waitFailed{false}, stopSeen{false}, nextWaitFailed{false};
    test::TestThread thread([&] {
        if (blocker == Blocker::message) EnsureMessageQueue();
        SignalEvent(started.get());
        waitFailed = blockingWaitFails();
        stopSeen = ThreadStopRequested();
        nextWaitFailed = blockingWaitFails();  // at once too, rather than blocking
    });
    ASSERT_EQ(WaitForEvent(started.get(), kLimitMs), kWaitObject0);
    // The wait may or may not have begun; a stop ends it either way.
    EXPECT_TRUE(thread.StillRunningAfter(20));
    ASSERT_TRUE(RequestThreadStop(thread.handle()));
    ASSERT_TRUE(thread.Join(kLimitMs));
    EXPECT_TRUE(waitFailed.load());
    EXPECT_TRUE(stopSeen.load());
    EXPECT_TRUE(nextWaitFailed.load());
    EXPECT_FALSE(ThreadStopRequested());  // only the stopped thread sees it
    EXPECT_TRUE(ReleaseNamedMutex(mutex.get()));  // still this thread's
    EXPECT_FALSE(RequestThreadStop(kNoHandle));
}

INSTANTIATE_TEST_SUITE_P(Waits, ThreadStopTest, testing::Values(Blocker::event, Blocker::mutex, Blocker::message),
                         [](const auto& info) { return std::string(kBlockerNames[static_cast<int>(info.param)]); });

}  // namespace
}  // namespace trv::platform
