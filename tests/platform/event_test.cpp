// Named events, waited for in this process and in others.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/event.h"
#include "platform/timeout.h"
#include "platform_support.h"

namespace trv::platform {
namespace {

// Two waiter processes on one event (manual-reset or not, the parameter): one
// signal releases one waiter of an auto-reset event and both of a manual one;
// an auto-reset event needs a signal per waiter.
class TwoWaitersTest : public testing::TestWithParam<bool> {};

TEST_P(TwoWaitersTest, OneSignalReleasesOneWaiterOrAll) {
    const bool manual = GetParam();
    const std::string name = test::UniqueName(manual ? "ev_manual" : "ev_auto");
    const std::string readyName = name + "_ready";
    UniqueHandle event(CreateNamedEvent(manual, name.c_str()));
    UniqueHandle ready(CreateNamedEvent(false, readyName.c_str()));
    // No time limit: a waiter at its limit would still find a manual-reset event set.
    const test::RoleArgs args{readyName, std::to_string(kInfinite), name};
    test::RoleProcess first("wait_events", args);
    ASSERT_EQ(WaitForEvent(ready.get(), kLimitMs), kWaitObject0);
    test::RoleProcess second("wait_events", args);
    ASSERT_EQ(WaitForEvent(ready.get(), kLimitMs), kWaitObject0);
    SleepMs(50);  // lets both reach their wait; the outcome does not depend on it
    const ProcessWatch ends[2] = {{first.id(), ProcessStartStamp(first.id())},
                                  {second.id(), ProcessStartStamp(second.id())}};
    const auto released = [&] { return int{ends[0].Ended()} + int{ends[1].Ended()}; };

    ASSERT_TRUE(SignalEvent(event.get()));
    const int expected = manual ? 2 : 1;
    ASSERT_TRUE(Eventually([&] { return released() >= expected; }));
    SleepMs(300);  // a further release would show within this window
    EXPECT_EQ(released(), expected);
    ASSERT_TRUE(manual || SignalEvent(event.get()));  // an auto-reset event releases the other one now
    EXPECT_EQ(first.Wait(), 0);
    EXPECT_EQ(second.Wait(), 0);
}

INSTANTIATE_TEST_SUITE_P(EventAcrossProcesses, TwoWaitersTest, testing::Bool(),
                         [](const auto& info) { return info.param ? "ManualReset" : "AutoReset"; });

// Wait-any answers the lowest signalled index and takes only auto-reset
// events; wait-all takes nothing until every event is signalled, then the
// auto-reset ones only. Signals from another process end both. References
// signal, clear and wait as their handles do. Bad counts and no event fail.
TEST(EventWaitTest, WaitAnyAnswersTheLowestIndexWaitAllWaitsForEverySignalAndBadArgumentsFail) {
    const std::string name = test::UniqueName("ev_any_all");
    UniqueHandle autoFirst(CreateNamedEvent(false, nullptr));
    UniqueHandle manual(CreateNamedEvent(true, nullptr));
    UniqueHandle autoLast(CreateNamedEvent(false, name.c_str()));
    const Handle handles[3] = {autoFirst.get(), manual.get(), autoLast.get()};
    const EventRef manualRef(manual.get());
    const EventRef lastRef(autoLast.get());

    EXPECT_EQ(WaitForEvents(3, handles, false, 30), kWaitTimeout);
    test::RoleProcess signaller("signal_event", {name});
    EXPECT_EQ(WaitForEvents(3, handles, false, kLimitMs), kWaitObject0 + 2);
    EXPECT_EQ(signaller.Wait(), 0);
    EXPECT_TRUE(lastRef.Signal());
    EXPECT_TRUE(lastRef.Signal());  // signalling a signalled event changes nothing
    EXPECT_TRUE(manualRef.Signal());
    EXPECT_EQ(WaitForEvents(3, handles, false, 0), kWaitObject0 + 1);
    EXPECT_EQ(manualRef.Wait(0), kWaitObject0);  // manual stays set
    EXPECT_TRUE(manualRef.Clear());
    EXPECT_EQ(WaitForEvents(3, handles, false, 0), kWaitObject0 + 2);
    EXPECT_EQ(WaitForEvents(3, handles, false, 0), kWaitTimeout);
    SignalEvent(autoFirst.get());
    EXPECT_EQ(WaitForEvents(3, handles, false, kLimitMs), kWaitObject0);

    SignalEvent(autoFirst.get());
    SignalEvent(manual.get());
    EXPECT_EQ(WaitForEvents(3, handles, true, 50), kWaitTimeout);
    EXPECT_EQ(WaitForEvent(autoFirst.get(), 0), kWaitObject0);  // still there, not consumed
    SignalEvent(autoFirst.get());
    test::RoleProcess lastSignaller("signal_event", {name});
    EXPECT_EQ(WaitForEvents(3, handles, true, kLimitMs), kWaitObject0);
    EXPECT_EQ(lastSignaller.Wait(), 0);
    EXPECT_EQ(WaitForEvent(manual.get(), 0), kWaitObject0) << "a manual-reset event was consumed";
    EXPECT_EQ(WaitForEvents(2, handles, false, 0), kWaitObject0 + 1) << "an auto-reset event stayed set";
    EXPECT_EQ(lastRef.Wait(0), kWaitTimeout);

    const std::vector<Handle> many(kMaxWaitObjects + 1, manual.get());
    EXPECT_EQ(WaitForEvents(0, many.data(), false, 0), kWaitFailed);
    EXPECT_EQ(WaitForEvents(many.size(), many.data(), false, 0), kWaitFailed);
    EXPECT_EQ(WaitForEvent(kNoHandle, 0), kWaitFailed);
    EXPECT_FALSE(SignalEvent(kNoHandle));
    EXPECT_FALSE(ClearEvent(kNoHandle));
}

}  // namespace
}  // namespace trv::platform
