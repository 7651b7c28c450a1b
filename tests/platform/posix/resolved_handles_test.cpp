// Mutex holds and event references of the POSIX backend keep the object their
// handle named: they go on working after that handle is closed, and a handle
// of another kind resolves to nothing.
#include <gtest/gtest.h>

#include <string>

#include "platform/event.h"
#include "platform/mutex.h"
#include "../platform_support.h"

namespace trv::platform {
namespace {

TEST(ResolvedHandleTest, HoldsAndReferencesOutliveTheirHandles) {
    const std::string mutexName = test::UniqueName("mx_hold_closed");
    const std::string eventName = test::UniqueName("ev_ref_closed");
    UniqueHandle mutex(CreateNamedMutex(mutexName.c_str()));
    UniqueHandle event(CreateNamedEvent(false, eventName.c_str()));
    const Handle closedMutex = OpenNamedMutex(mutexName.c_str());
    const Handle closedEvent = OpenNamedEvent(eventName.c_str());
    ASSERT_TRUE(mutex && event && closedMutex != kNoHandle && closedEvent != kNoHandle);
    {
        MutexHold hold(closedMutex, 0);
        ASSERT_TRUE(hold.held());
        CloseObject(closedMutex);
        EXPECT_EQ(LockFromAnotherThread(mutex.get(), 0), LockResult::timed_out);
    }
    EXPECT_EQ(LockFromAnotherThread(mutex.get(), 0), LockResult::acquired) << "the hold's release was lost";

    const EventRef ref(closedEvent);
    CloseObject(closedEvent);
    EXPECT_TRUE(ref.Signal());
    EXPECT_EQ(WaitForEvent(event.get(), 0), kWaitObject0);

    const EventRef notAnEvent(mutex.get());
    EXPECT_FALSE(notAnEvent.Signal());
    EXPECT_EQ(notAnEvent.Wait(0), kWaitFailed);
    EXPECT_EQ(MutexHold(event.get(), 0).result(), LockResult::failed);
}

}  // namespace
}  // namespace trv::platform
