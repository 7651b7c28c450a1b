// Named events: how many waiters a signal releases in other processes,
// wait-any indices, wait-all, time limits and argument checks.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/event.h"
#include "platform/mapping.h"
#include "platform/timeout.h"
#include "support/child_role.h"

namespace trv::platform {
namespace {

constexpr std::uint32_t kLimitMs = 10000;

// Counters the waiter processes share with the test.
struct WaiterCounters {
    std::atomic<std::int32_t> ready;     // waiters about to wait
    std::atomic<std::int32_t> released;  // waiters whose wait succeeded
};

// A view of the counters, kept open for the test's length.
class Counters {
public:
    explicit Counters(const std::string& name)
        : handle_(CreateNamedMapping(name.c_str(), sizeof(WaiterCounters)).handle),
          view_(handle_
                    ? static_cast<WaiterCounters*>(MapView(handle_.get(), sizeof(WaiterCounters)))
                    : nullptr) {}
    ~Counters() {
        if (view_ != nullptr) UnmapView(view_, sizeof(WaiterCounters));
    }
    WaiterCounters* operator->() const { return view_; }
    bool ok() const { return view_ != nullptr; }

private:
    UniqueHandle handle_;
    WaiterCounters* view_;
};

// args: event, counters mapping, ready event, released event. Waits once for
// the event; counts itself ready before and released after.
TRV_CHILD_ROLE(event_waiter) {
    if (args.size() != 4) return 10;
    UniqueHandle event(OpenNamedEvent(args[0].c_str()));
    UniqueHandle mapping(OpenNamedMapping(args[1].c_str()));
    UniqueHandle ready(OpenNamedEvent(args[2].c_str()));
    UniqueHandle released(OpenNamedEvent(args[3].c_str()));
    if (!event || !mapping || !ready || !released) return 11;
    auto* counters = static_cast<WaiterCounters*>(MapView(mapping.get(), sizeof(WaiterCounters)));
    if (counters == nullptr) return 12;
    counters->ready.fetch_add(1);
    SignalEvent(ready.get());
    std::uint32_t result = WaitForEvent(event.get(), kLimitMs);
    if (result == kWaitObject0) counters->released.fetch_add(1);
    SignalEvent(released.get());
    UnmapView(counters, sizeof(WaiterCounters));
    return result == kWaitObject0 ? 0 : 13;
}

// args: event name. Opens the event by name and signals it.
TRV_CHILD_ROLE(event_signaller) {
    if (args.size() != 1) return 10;
    UniqueHandle event(OpenNamedEvent(args[0].c_str()));
    if (!event) return 11;
    return SignalEvent(event.get()) ? 0 : 12;
}

// Two waiter processes on one event, with the counters and the events they
// report through.
class TwoWaiters {
public:
    TwoWaiters(const std::string& tag, bool manualReset)
        : eventName_(test::UniqueName("ev_" + tag)),
          countersName_(test::UniqueName("ev_" + tag + "_counters")),
          readyName_(test::UniqueName("ev_" + tag + "_ready")),
          releasedName_(test::UniqueName("ev_" + tag + "_released")),
          event_(CreateNamedEvent(manualReset, eventName_.c_str())),
          counters_(countersName_),
          ready_(CreateNamedEvent(false, readyName_.c_str())),
          released_(CreateNamedEvent(false, releasedName_.c_str())) {}

    bool Start() {
        if (!event_ || !counters_.ok() || !ready_ || !released_) return false;
        const test::RoleArgs args{eventName_, countersName_, readyName_, releasedName_};
        first_ = std::make_unique<test::RoleProcess>("event_waiter", args);
        second_ = std::make_unique<test::RoleProcess>("event_waiter", args);
        if (!first_->started() || !second_->started()) return false;
        while (counters_->ready.load() < 2) {
            if (WaitForEvent(ready_.get(), kLimitMs) != kWaitObject0) return false;
        }
        SleepMs(50);  // lets both reach their wait; the outcome does not depend on it
        return true;
    }

    Handle event() const { return event_.get(); }
    Handle released() const { return released_.get(); }
    std::int32_t releasedCount() const { return counters_->released.load(); }
    test::RoleProcess& first() { return *first_; }
    test::RoleProcess& second() { return *second_; }

private:
    std::string eventName_, countersName_, readyName_, releasedName_;
    UniqueHandle event_;
    Counters counters_;
    UniqueHandle ready_, released_;
    std::unique_ptr<test::RoleProcess> first_, second_;
};

TEST(EventAcrossProcessesTest, AutoResetSignalReleasesExactlyOneOfTwoWaiters) {
    TwoWaiters waiters("auto", false);
    ASSERT_TRUE(waiters.Start());

    ASSERT_TRUE(SignalEvent(waiters.event()));
    ASSERT_EQ(WaitForEvent(waiters.released(), kLimitMs), kWaitObject0);
    // A second release would show within this window; none may come.
    EXPECT_EQ(WaitForEvent(waiters.released(), 300), kWaitTimeout);
    EXPECT_EQ(waiters.releasedCount(), 1);

    // The other waiter is still waiting, and a second signal releases it.
    ASSERT_TRUE(SignalEvent(waiters.event()));
    ASSERT_EQ(WaitForEvent(waiters.released(), kLimitMs), kWaitObject0);
    EXPECT_EQ(waiters.releasedCount(), 2);
    EXPECT_EQ(waiters.first().Wait(), 0);
    EXPECT_EQ(waiters.second().Wait(), 0);
    // Both signals were consumed.
    EXPECT_EQ(WaitForEvent(waiters.event(), 0), kWaitTimeout);
}

TEST(EventAcrossProcessesTest, ManualResetSignalReleasesBothWaitersAndStaysSignalled) {
    TwoWaiters waiters("manual", true);
    ASSERT_TRUE(waiters.Start());

    ASSERT_TRUE(SignalEvent(waiters.event()));
    EXPECT_EQ(waiters.first().Wait(), 0);
    EXPECT_EQ(waiters.second().Wait(), 0);
    EXPECT_EQ(waiters.releasedCount(), 2);
    EXPECT_EQ(WaitForEvent(waiters.event(), 0), kWaitObject0);
    ASSERT_TRUE(ClearEvent(waiters.event()));
    EXPECT_EQ(WaitForEvent(waiters.event(), 0), kWaitTimeout);
}

TEST(EventAcrossProcessesTest, WaitAnyReportsTheIndexOfTheEventSignalledByAnotherProcess) {
    std::string names[3];
    UniqueHandle events[3];
    Handle handles[3];
    for (int i = 0; i < 3; ++i) {
        names[i] = test::UniqueName("ev_any_" + std::to_string(i));
        events[i].reset(CreateNamedEvent(false, names[i].c_str()));
        ASSERT_TRUE(events[i]);
        handles[i] = events[i].get();
    }
    test::RoleProcess signaller("event_signaller", {names[1]});
    ASSERT_TRUE(signaller.started());
    EXPECT_EQ(WaitForEvents(3, handles, false, kLimitMs), kWaitObject0 + 1);
    EXPECT_EQ(signaller.Wait(), 0);
    EXPECT_EQ(WaitForEvents(3, handles, false, 0), kWaitTimeout);  // consumed
}

TEST(EventWaitTest, WaitAnyAnswersTheLowestSignalledIndexAndConsumesOnlyAutoReset) {
    UniqueHandle autoFirst(CreateNamedEvent(false, nullptr));
    UniqueHandle manual(CreateNamedEvent(true, nullptr));
    UniqueHandle autoLast(CreateNamedEvent(false, nullptr));
    ASSERT_TRUE(autoFirst && manual && autoLast);
    const Handle handles[3] = {autoFirst.get(), manual.get(), autoLast.get()};

    SignalEvent(autoLast.get());
    SignalEvent(manual.get());
    EXPECT_EQ(WaitForEvents(3, handles, false, 0), kWaitObject0 + 1);
    EXPECT_EQ(WaitForEvents(3, handles, false, 0), kWaitObject0 + 1);  // manual stays set
    ClearEvent(manual.get());
    EXPECT_EQ(WaitForEvents(3, handles, false, 0), kWaitObject0 + 2);
    EXPECT_EQ(WaitForEvents(3, handles, false, 0), kWaitTimeout);
    SignalEvent(autoFirst.get());
    SignalEvent(autoLast.get());
    EXPECT_EQ(WaitForEvents(3, handles, false, kLimitMs), kWaitObject0);
    EXPECT_EQ(WaitForEvents(3, handles, false, kLimitMs), kWaitObject0 + 2);
}

TEST(EventWaitTest, ZeroAndShortTimeLimitsAnswerTimeout) {
    UniqueHandle event(CreateNamedEvent(false, test::UniqueName("ev_limits").c_str()));
    ASSERT_TRUE(event);
    EXPECT_EQ(WaitForEvent(event.get(), 0), kWaitTimeout);
    EXPECT_EQ(WaitForEvent(event.get(), 30), kWaitTimeout);
    const Handle handles[1] = {event.get()};
    EXPECT_EQ(WaitForEvents(1, handles, false, 0), kWaitTimeout);
    EXPECT_EQ(WaitForEvents(1, handles, true, 30), kWaitTimeout);

    // Signalling a signalled event changes nothing: one wait consumes it.
    SignalEvent(event.get());
    SignalEvent(event.get());
    EXPECT_EQ(WaitForEvent(event.get(), kInfinite), kWaitObject0);
    EXPECT_EQ(WaitForEvent(event.get(), 0), kWaitTimeout);
}

TEST(EventWaitTest, WaitAllTakesNothingUntilEverySignalIsThere) {
    UniqueHandle first(CreateNamedEvent(false, nullptr));
    UniqueHandle second(CreateNamedEvent(false, nullptr));
    ASSERT_TRUE(first && second);
    const Handle handles[2] = {first.get(), second.get()};

    SignalEvent(first.get());
    EXPECT_EQ(WaitForEvents(2, handles, true, 50), kWaitTimeout);
    EXPECT_EQ(WaitForEvent(first.get(), 0), kWaitObject0);  // still there, not consumed

    SignalEvent(first.get());
    SignalEvent(second.get());
    EXPECT_EQ(WaitForEvents(2, handles, true, kLimitMs), kWaitObject0);
    EXPECT_EQ(WaitForEvent(first.get(), 0), kWaitTimeout);
    EXPECT_EQ(WaitForEvent(second.get(), 0), kWaitTimeout);
}

TEST(EventWaitTest, WaitAllEndsWhenAnotherProcessSignalsTheLastEvent) {
    const std::string lastName = test::UniqueName("ev_all_last");
    UniqueHandle first(CreateNamedEvent(true, nullptr));
    UniqueHandle last(CreateNamedEvent(false, lastName.c_str()));
    ASSERT_TRUE(first && last);
    SignalEvent(first.get());
    const Handle handles[2] = {first.get(), last.get()};
    test::RoleProcess signaller("event_signaller", {lastName});
    ASSERT_TRUE(signaller.started());
    EXPECT_EQ(WaitForEvents(2, handles, true, kLimitMs), kWaitObject0);
    EXPECT_EQ(signaller.Wait(), 0);
    EXPECT_EQ(WaitForEvent(first.get(), 0), kWaitObject0);  // manual-reset stays set
}

TEST(EventWaitTest, CreatingAnExistingEventKeepsItsKindAndState) {
    const std::string name = test::UniqueName("ev_reopen");
    UniqueHandle created(CreateNamedEvent(true, name.c_str()));
    ASSERT_TRUE(created);
    SignalEvent(created.get());
    UniqueHandle again(CreateNamedEvent(false, name.c_str()));
    ASSERT_TRUE(again);
    EXPECT_EQ(WaitForEvent(again.get(), 0), kWaitObject0);
    EXPECT_EQ(WaitForEvent(created.get(), 0), kWaitObject0);  // manual: still set
    ClearEvent(again.get());
    EXPECT_EQ(WaitForEvent(created.get(), 0), kWaitTimeout);
}

TEST(EventWaitTest, BadCountsAndHandlesFail) {
    UniqueHandle event(CreateNamedEvent(false, nullptr));
    ASSERT_TRUE(event);
    Handle many[kMaxWaitObjects + 1];
    for (Handle& handle : many) handle = event.get();
    EXPECT_EQ(WaitForEvents(0, many, false, 0), kWaitFailed);
    EXPECT_EQ(WaitForEvents(kMaxWaitObjects + 1, many, false, 0), kWaitFailed);
    EXPECT_EQ(WaitForEvent(kNoHandle, 0), kWaitFailed);
    EXPECT_FALSE(SignalEvent(kNoHandle));
    EXPECT_FALSE(ClearEvent(kNoHandle));
}

TEST(EventRefTest, AReferenceActsOnItsEventAsTheHandleDoes) {
    UniqueHandle autoReset(CreateNamedEvent(false, nullptr));
    UniqueHandle manual(CreateNamedEvent(true, nullptr));
    ASSERT_TRUE(autoReset && manual);
    const EventRef once(autoReset.get());
    const EventRef stays(manual.get());
    const EventRef none;
    EXPECT_TRUE(once.Signal());
    EXPECT_EQ(WaitForEvent(autoReset.get(), 0), kWaitObject0);
    EXPECT_EQ(once.Wait(0), kWaitTimeout) << "one auto-reset signal released two waits";
    EXPECT_TRUE(stays.Signal());
    EXPECT_EQ(stays.Wait(0), kWaitObject0);
    EXPECT_TRUE(stays.Clear());
    EXPECT_EQ(WaitForEvent(manual.get(), 0), kWaitTimeout);
    EXPECT_FALSE(none.Signal());
    EXPECT_EQ(none.Wait(0), kWaitFailed);
}

}  // namespace
}  // namespace trv::platform
