// Waiting for the host as a caller sees it: Wait released by the session's
// wait event, Pause ended by a host update, host notification and close
// intercept in their forms, with the emulator's side played by the responder
// child; and every wait ended by the session's end, whether the emulator
// unregisters it or is killed.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ehllapi_fixture.h"
#include "platform/event.h"
#include "platform/message_queue.h"
#include "platform/window.h"
#include "shared/process_state.h"
#include "tables/application_block.h"
#include "tables/session_list.h"

namespace trv::test {
namespace {

class WaitFunctionsTest : public ResponderTest {
protected:
    void SetUp() override {
        ResponderTest::SetUp();
        ClearUpdateEvents();
    }
    // Updates an earlier test left unconsumed must not end this one's pause.
    static void ClearUpdateEvents() {
        for (char letter : {'A', 'B'}) {
            const SessionBlock session = Sessions()->GetSession(letter);
            for (const char* name : {session.PSEventName, session.OIAEventName, session.BothEventName}) {
                char terminated[kBlockNameSize + 1] = {};
                std::memcpy(terminated, name, kBlockNameSize);
                platform::UniqueHandle event(platform::OpenNamedEvent(terminated));
                platform::ClearEvent(event.get());
            }
        }
    }
    void TearDown() override {
        Sessions()->SetInhibitedStatus('A', 0);
        Call(HA_RESET_SYSTEM).Run(nullptr);
        ResponderTest::TearDown();
    }
    static std::int32_t Start(NotifyRequest& request) {
        return Call(HA_START_HOST_NOTIFY, sizeof request.bytes).Run(request.bytes).result;
    }
    static std::int32_t Query(char session) {
        char data[4] = {session};
        return Call(HA_QUERY_HOST_UPDATE, 1).Run(data).result;
    }
    static std::int32_t Stop(char session) {
        char data[4] = {session};
        return Call(HA_STOP_HOST_NOTIFY, 1).Run(data).result;
    }
    static int HostListCount(char letter) { return Sessions()->GetSession(letter).HostNotifyCount; }
};

TEST_F(WaitFunctionsTest, WaitAnswersAtOnceUnlessInputIsInhibited) {
    EXPECT_EQ(Call(HA_WAIT).Run(nullptr).result, HLLAPI_RC_NO_SESSION);
    ASSERT_EQ(Connect('A'), HLLAPI_RC_SUCCESS);
    // Not inhibited: no limit at all does not matter.
    ASSERT_EQ(SetParameters("LWAIT"), HLLAPI_RC_SUCCESS);
    Call free(HA_WAIT);
    CallerThread notInhibited([&free] { free.Run(nullptr); });
    EXPECT_TRUE(notInhibited.Join());
    EXPECT_EQ(free.result, HLLAPI_RC_SUCCESS);

    Sessions()->SetInhibitedStatus('A', 1);
    ASSERT_EQ(SetParameters("NWAIT"), HLLAPI_RC_SUCCESS);
    EXPECT_EQ(Call(HA_WAIT).Run(nullptr).result, HLLAPI_RC_WAIT_TIMEOUT);
    ProcessBlock()->WaitTimeout = 100;
    EXPECT_EQ(Call(HA_WAIT).Run(nullptr).result, HLLAPI_RC_WAIT_TIMEOUT);
}

TEST_F(WaitFunctionsTest, WaitIsReleasedByTheSessionsWaitEvent) {
    ASSERT_EQ(Connect('A'), HLLAPI_RC_SUCCESS);
    Sessions()->SetInhibitedStatus('A', 1);
    // A release signalled before the Wait began does not count.
    ASSERT_EQ(Notify('A', "wait"), 0);
    Call wait(HA_WAIT);
    CallerThread waiter([&wait] { wait.Run(nullptr); });
    EXPECT_TRUE(waiter.StillRunningAfter(300));
    ASSERT_EQ(Notify('A', "wait"), 0);
    EXPECT_TRUE(waiter.Join());
    EXPECT_EQ(wait.result, HLLAPI_RC_SUCCESS);
}

TEST_F(WaitFunctionsTest, PauseEndsEarlyOnlyForARegisteredUpdate) {
    ASSERT_EQ(Connect('A'), HLLAPI_RC_SUCCESS);
    // Without IPAUSE the pause is a plain sleep of the half-seconds asked.
    Call sleep(HA_PAUSE, 1);
    EXPECT_EQ(sleep.Run(nullptr).result, HLLAPI_RC_SUCCESS);

    ASSERT_EQ(SetParameters("IPAUSE"), HLLAPI_RC_SUCCESS);
    // Interruptible, but nothing registered that could interrupt it.
    EXPECT_EQ(Call(HA_PAUSE, 0).Run(nullptr).result, HLLAPI_RC_SYSTEM_ERROR);

    NotifyRequest request('A', 'p');
    ASSERT_EQ(Start(request), HLLAPI_RC_SUCCESS);
    Call timed(HA_PAUSE, 1);
    EXPECT_EQ(timed.Run(nullptr).result, HLLAPI_RC_SUCCESS) << "ran to its end";

    Call pause(HA_PAUSE, 40);
    CallerThread pauser([&pause] { pause.Run(nullptr); });
    EXPECT_TRUE(pauser.StillRunningAfter(300));
    ASSERT_EQ(Notify('A', "ps"), 0);
    EXPECT_TRUE(pauser.Join());
    EXPECT_EQ(pause.result, HLLAPI_RC_EVENT_OCCURRED);
    // Pause leaves the update to Query Host Update.
    EXPECT_EQ(Query('A'), HLLAPI_RC_PS_UPDATED);
}

TEST_F(WaitFunctionsTest, QueryHostUpdateReportsAndConsumesTheRegisteredKinds) {
    EXPECT_EQ(Query('A'), HLLAPI_RC_NOT_STARTED);
    EXPECT_EQ(Query('Z'), HLLAPI_RC_NO_SESSION);
    EXPECT_EQ(Query(' '), HLLAPI_RC_NO_SESSION) << "blank names the connected session: none";

    NotifyRequest both('A', 'B');
    ASSERT_EQ(Start(both), HLLAPI_RC_SUCCESS);
    EXPECT_EQ(HostListCount('A'), 1);
    EXPECT_EQ(Query('A'), HLLAPI_RC_SUCCESS);
    ASSERT_EQ(Notify('A', "ps"), 0);
    ASSERT_EQ(Notify('A', "oia"), 0);
    EXPECT_EQ(Query('A'), HLLAPI_RC_BOTH_UPDATED);
    EXPECT_EQ(Query('A'), HLLAPI_RC_SUCCESS);
    ASSERT_EQ(Notify('A', "oia"), 0);
    EXPECT_EQ(Query('A'), HLLAPI_RC_OIA_UPDATED);

    // Status line only: a presentation-space update is not reported.
    ASSERT_EQ(Stop('A'), HLLAPI_RC_SUCCESS);
    NotifyRequest oia('B', 'O');
    ASSERT_EQ(Start(oia), HLLAPI_RC_SUCCESS);
    ASSERT_EQ(Notify('B', "ps"), 0);
    EXPECT_EQ(Query('B'), HLLAPI_RC_SUCCESS);

    EXPECT_EQ(Stop('B'), HLLAPI_RC_SUCCESS);
    EXPECT_EQ(Stop('B'), HLLAPI_RC_NOT_STARTED);
    EXPECT_EQ(Query('B'), HLLAPI_RC_NOT_STARTED);
    EXPECT_EQ(HostListCount('A'), 0);
    EXPECT_EQ(HostListCount('B'), 0);
}

// Host notification and close intercept in their event and message forms:
// the event form hands out the address of the block's handle to wait on,
// which a notification signals and the query resets; the message form posts
// to the caller's window (refused for anything else) only for the kinds
// registered.
struct FormRow {
    const char* name;
    std::int32_t start, query, stop;
    char form, type;
    const char* unregistered;  // an event (see Notify) that must not be reported, or ""
    const char* event;         // the event that is
    std::int32_t occurred;     // the query's answer after it
    std::intptr_t lParam;      // the message's, in message form
};
void PrintTo(const FormRow& row, std::ostream* out) { *out << row.name; }

class NotificationFormTest : public WaitFunctionsTest, public testing::WithParamInterface<FormRow> {};

TEST_P(NotificationFormTest, ReportsTheEventInItsForm) {
    const FormRow& row = GetParam();
    const bool message = row.form == 'm';
    char name[4] = "A";
    platform::WindowHandle window = 0;
    if (message) {
        platform::EnsureMessageQueue();
        window = platform::CreateMessageWindow();
        ASSERT_NE(window, 0u);
        NotifyRequest notAWindow('A', 'M', row.type, window + 0x1000);
        EXPECT_EQ(Call(row.start, sizeof notAWindow.bytes).Run(notAWindow.bytes).result, HLLAPI_RC_BAD_PARAMETER);
        EXPECT_EQ(Call(row.query, 1).Run(name).result, HLLAPI_RC_NOT_STARTED);
    }
    NotifyRequest request('A', row.form, row.type, window);
    ASSERT_EQ(Call(row.start, sizeof request.bytes).Run(request.bytes).result, HLLAPI_RC_SUCCESS);
    ApplicationBlock* block = ProcessBlock();
    ASSERT_NE(block, nullptr);
    const auto* handle = reinterpret_cast<const std::uintptr_t*>(request.Word8());
    if (message) {
        EXPECT_EQ(request.MessageId(), HLLAPI_NOTIFY_WPARAM_BASE);
    } else {
        ASSERT_LT(request.Word8() - reinterpret_cast<std::uintptr_t>(block), sizeof *block) << "not the block's";
        ASSERT_NE(*handle, platform::kNoHandle);
        platform::ClearEvent(*handle);
    }
    EXPECT_EQ(Call(row.query, 1).Run(name).result, HLLAPI_RC_SUCCESS);
    if (row.unregistered[0] != '\0') {
        ASSERT_EQ(Notify('A', row.unregistered), 0);
    }

    ASSERT_EQ(Notify('A', row.event), 0);
    if (message) {
        platform::ThreadMessage posted;
        ASSERT_EQ(platform::GetThreadMessage(posted, kTestLimitMs), platform::MessageWait::message);
        EXPECT_EQ(posted.window, window);
        EXPECT_EQ(posted.message, Process().notifyMessage);
        EXPECT_EQ(posted.wParam, HLLAPI_NOTIFY_WPARAM_BASE);
        EXPECT_EQ(posted.lParam, row.lParam) << "only the registered kind is posted";
    } else {
        EXPECT_EQ(platform::WaitForEvent(*handle, kTestLimitMs), platform::kWaitObject0);
    }
    EXPECT_EQ(Call(row.query, 1).Run(name).result, row.occurred);
    if (!message) {
        EXPECT_EQ(platform::WaitForEvent(*handle, 0), platform::kWaitTimeout) << "the query resets it";
    }
    EXPECT_EQ(Call(row.query, 1).Run(name).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(Call(row.stop, 1).Run(name).result, HLLAPI_RC_SUCCESS);
    if (!message) {
        EXPECT_EQ(*handle, 0u);
    }
    EXPECT_EQ(Call(row.stop, 1).Run(name).result, HLLAPI_RC_NOT_STARTED);
    if (message) platform::DestroyMessageWindow(window);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, NotificationFormTest,
    testing::Values(FormRow{"HostEvent", HA_START_HOST_NOTIFY, HA_QUERY_HOST_UPDATE, HA_STOP_HOST_NOTIFY, 'a', 'b',
                            "", "oia", HLLAPI_RC_OIA_UPDATED, 0},
                    FormRow{"HostMessage", HA_START_HOST_NOTIFY, HA_QUERY_HOST_UPDATE, HA_STOP_HOST_NOTIFY, 'm',
                            'p', "oia", "ps", HLLAPI_RC_PS_UPDATED, HLLAPI_NOTIFY_PRESENTATION_SPACE},
                    FormRow{"CloseEvent", HA_START_CLOSE_INTERCEPT, HA_QUERY_CLOSE_INTERCEPT,
                            HA_STOP_CLOSE_INTERCEPT, 'q', '\0', "", "close", HLLAPI_RC_EVENT_OCCURRED, 0},
                    FormRow{"CloseMessage", HA_START_CLOSE_INTERCEPT, HA_QUERY_CLOSE_INTERCEPT,
                            HA_STOP_CLOSE_INTERCEPT, 'm', '\0', "", "close", HLLAPI_RC_EVENT_OCCURRED,
                            HLLAPI_NOTIFY_CLOSE_ATTEMPT}),
    [](const testing::TestParamInfo<FormRow>& info) { return std::string(info.param.name); });

// A wait of each kind in progress when the process serving its session is
// killed or unregisters the session: the wait ends, answering that the
// session is gone (9), even without a time limit.
struct EndedDuringTheWait {
    const char* name;
    std::int32_t function;
    bool killed;  // else unregistered
};

class WaitEndedBySessionEndTest : public testing::TestWithParam<EndedDuringTheWait> {
protected:
    void TearDown() override {
        Call(HA_RESET_SYSTEM).Run(nullptr);
        ForgetCallerBlocks();
    }
};

TEST_P(WaitEndedBySessionEndTest, AnswersThatTheSessionIsGone) {
    const EndedDuringTheWait& row = GetParam();
    Responder responder("E");
    ASSERT_TRUE(responder.ready());
    char name[24] = "E";
    Call wait(row.function);
    if (row.function == HA_WAIT) {
        ASSERT_EQ(Call(HA_CONNECT_PS, 1).Run(name).result, HLLAPI_RC_SUCCESS);
        ASSERT_EQ(SetParameters("LWAIT"), HLLAPI_RC_SUCCESS);
        Sessions()->SetInhibitedStatus('E', 1);
    } else if (row.function == HA_GET_KEY) {
        ASSERT_EQ(SetParameters("LWAIT"), HLLAPI_RC_SUCCESS);
        NotifyRequest start('E', 'L');
        ASSERT_EQ(Call(HA_START_KEY_INTERCEPT, 16).Run(start.bytes).result, HLLAPI_RC_SUCCESS);
        wait.length = 16;
    } else {
        ASSERT_EQ(SetParameters("IPAUSE"), HLLAPI_RC_SUCCESS);
        NotifyRequest start('E', 'B');
        ASSERT_EQ(Call(HA_START_HOST_NOTIFY, sizeof start.bytes).Run(start.bytes).result, HLLAPI_RC_SUCCESS);
        wait.length = 0;  // 1,200 seconds
    }
    CallerThread waiter([&wait, &name] { wait.Run(name); });
    ASSERT_TRUE(waiter.StillRunningAfter(300)) << "answered " << wait.result << " before the end";
    if (row.killed) {
        responder.Kill();
    } else {
        ASSERT_EQ(responder.Stop(), 0);
    }
    ASSERT_TRUE(waiter.Join()) << "still waiting after the session's end";
    EXPECT_EQ(wait.result, HLLAPI_RC_SYSTEM_ERROR);
    EXPECT_EQ(Sessions()->GetSession('E').Established, 0);
}

INSTANTIATE_TEST_SUITE_P(
    EachWait, WaitEndedBySessionEndTest,
    testing::Values(EndedDuringTheWait{"WaitKilled", HA_WAIT, true},
                    EndedDuringTheWait{"WaitUnregistered", HA_WAIT, false},
                    EndedDuringTheWait{"GetKeyKilled", HA_GET_KEY, true},
                    EndedDuringTheWait{"GetKeyUnregistered", HA_GET_KEY, false},
                    EndedDuringTheWait{"PauseKilled", HA_PAUSE, true}),
    [](const testing::TestParamInfo<EndedDuringTheWait>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace trv::test
