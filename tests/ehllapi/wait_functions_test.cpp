// Waiting for the host as a caller sees it, with the emulator's side played
// by the responder child, and every wait ended by the session's end.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "ehllapi_fixture.h"
#include "platform/event.h"
#include "platform/message_queue.h"
#include "platform/window.h"
#include "tables/session_list.h"

namespace trv::test {
namespace {

class WaitFunctionsTest : public ResponderTest {
protected:
    // Updates an earlier test left unconsumed must not end this one's pause.
    void SetUp() override {
        ResponderTest::SetUp();
        const SessionBlock session = Sessions()->GetSession('A');
        for (const auto* name : {&session.PSEventName, &session.OIAEventName, &session.BothEventName}) {
            platform::ClearEvent(OpenSessionEvent(*name).get());
        }
    }
    void TearDown() override {
        Sessions()->SetInhibitedStatus('A', 0);
        ResponderTest::TearDown();
    }
};

// A release signalled before the Wait began does not count.
TEST_F(WaitFunctionsTest, WaitAnswersAtOnceUnlessInputIsInhibitedThenForTheWaitEvent) {
    ASSERT_EQ(Connect('A'), HLLAPI_RC_SUCCESS);
    ASSERT_EQ(SetParameters("LWAIT").result, HLLAPI_RC_SUCCESS);
    Call free(HA_WAIT);
    TestThread notInhibited([&free] { free.Run(nullptr); });
    EXPECT_TRUE(notInhibited.Join());
    EXPECT_EQ(free.result, HLLAPI_RC_SUCCESS);

    Sessions()->SetInhibitedStatus('A', 1);
    ASSERT_EQ(Notify('A', "wait"), 0);
    Call wait(HA_WAIT);
    TestThread waiter([&wait] { wait.Run(nullptr); });
    EXPECT_TRUE(waiter.StillRunningAfter(300));
    ASSERT_EQ(Notify('A', "wait"), 0);
    EXPECT_TRUE(waiter.Join());
    EXPECT_EQ(wait.result, HLLAPI_RC_SUCCESS);

    ASSERT_EQ(SetParameters("NWAIT").result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(Call(HA_WAIT).Run(nullptr).result, HLLAPI_RC_WAIT_TIMEOUT);
    ProcessBlock()->WaitTimeout = 100;
    EXPECT_EQ(Call(HA_WAIT).Run(nullptr).result, HLLAPI_RC_WAIT_TIMEOUT);
}

TEST_F(WaitFunctionsTest, PauseEndsEarlyOnlyForARegisteredUpdate) {
    ASSERT_EQ(Connect('A'), HLLAPI_RC_SUCCESS);
    // Without IPAUSE the pause is a plain sleep of the half-seconds asked.
    EXPECT_EQ(Call(HA_PAUSE, 1).Run(nullptr).result, HLLAPI_RC_SUCCESS);

    ASSERT_EQ(SetParameters("IPAUSE").result, HLLAPI_RC_SUCCESS);
    // Interruptible, but nothing registered that could interrupt it.
    EXPECT_EQ(Call(HA_PAUSE, 0).Run(nullptr).result, HLLAPI_RC_SYSTEM_ERROR);

    ASSERT_EQ(Start(HA_START_HOST_NOTIFY, NotifyRequest('A', 'p')), HLLAPI_RC_SUCCESS);
    EXPECT_EQ(Call(HA_PAUSE, 1).Run(nullptr).result, HLLAPI_RC_SUCCESS) << "ran to its end";

    Call pause(HA_PAUSE, 40);
    TestThread pauser([&pause] { pause.Run(nullptr); });
    EXPECT_TRUE(pauser.StillRunningAfter(300));
    ASSERT_EQ(Notify('A', "ps"), 0);
    EXPECT_TRUE(pauser.Join());
    EXPECT_EQ(pause.result, HLLAPI_RC_EVENT_OCCURRED);
    // Pause leaves the update to Query Host Update.
    EXPECT_EQ(Named(HA_QUERY_HOST_UPDATE, 'A'), HLLAPI_RC_PS_UPDATED);

    // Status line only: a presentation-space update is not reported.
    ASSERT_EQ(Named(HA_STOP_HOST_NOTIFY, 'A'), HLLAPI_RC_SUCCESS);
    ASSERT_EQ(Start(HA_START_HOST_NOTIFY, NotifyRequest('A', 'O')), HLLAPI_RC_SUCCESS);
    ASSERT_EQ(Notify('A', "ps"), 0);
    EXPECT_EQ(Named(HA_QUERY_HOST_UPDATE, 'A'), HLLAPI_RC_SUCCESS);
}

// Host notification and close intercept in their event and message forms:
// the event form hands out the address of the block's handle to wait on,
// which a notification signals and the query resets; the message form posts
// to the caller's window (refused for anything else) only for the kinds
// registered. The query reports each kind registered once, and consumes it.
struct FormRow {
    const char* name;
    std::int32_t start, query, stop;
    char form, type;
    const char* before;     // an event (see Notify) before the one waited for
    const char* event;      // the event waited for
    std::int32_t occurred;  // the query's answer after it
    std::intptr_t lParam;   // the message's, in message form
};
void PrintTo(const FormRow& row, std::ostream* out) { *out << row.name; }

class NotificationFormTest : public WaitFunctionsTest, public testing::WithParamInterface<FormRow> {};

TEST_P(NotificationFormTest, ReportsTheEventInItsForm) {
    const FormRow& row = GetParam();
    const bool message = row.form == 'm';
    platform::WindowHandle window = 0;
    if (message) {
        platform::EnsureMessageQueue();
        window = platform::CreateMessageWindow();
        ASSERT_NE(window, 0u);
        EXPECT_EQ(Start(row.start, NotifyRequest('A', 'M', row.type, window + 0x1000)), HLLAPI_RC_BAD_PARAMETER);
        EXPECT_EQ(Named(row.query, 'A'), HLLAPI_RC_NOT_STARTED);
    }
    NotifyRequest request('a', row.form, row.type, window);
    ASSERT_EQ(Call(row.start, sizeof request.bytes).Run(request.bytes).result, HLLAPI_RC_SUCCESS);
    ApplicationBlock* block = ProcessBlock();
    ASSERT_NE(block, nullptr);
    std::uint64_t answer;  // the message identifier or the address of the event handle
    std::memcpy(&answer, request.bytes + offsetof(trv::NotifyRequest, Handle), sizeof answer);
    const auto* handle = reinterpret_cast<const std::uintptr_t*>(answer);
    if (message) {
        EXPECT_EQ(answer & 0xFFFF, HLLAPI_NOTIFY_WPARAM_BASE) << "the message identifier";
    } else {
        ASSERT_LT(answer - reinterpret_cast<std::uintptr_t>(block), sizeof *block) << "not the block's";
        ASSERT_NE(*handle, platform::kNoHandle);
        platform::ClearEvent(*handle);
    }
    EXPECT_EQ(Named(row.query, 'A'), HLLAPI_RC_SUCCESS);
    ASSERT_EQ(Notify('A', row.before), 0);
    ASSERT_EQ(Notify('A', row.event), 0);
    if (message) {
        platform::ThreadMessage posted;
        ASSERT_EQ(platform::GetThreadMessage(posted, kTestLimitMs), platform::MessageWait::message);
        EXPECT_EQ(posted.window, window);
        EXPECT_EQ(posted.wParam, HLLAPI_NOTIFY_WPARAM_BASE);
        EXPECT_EQ(posted.lParam, row.lParam) << "only the registered kind is posted";
    } else {
        EXPECT_EQ(platform::WaitForEvent(*handle, kTestLimitMs), platform::kWaitObject0);
    }
    EXPECT_EQ(Named(row.query, 'A'), row.occurred);
    if (!message) {
        EXPECT_EQ(platform::WaitForEvent(*handle, 0), platform::kWaitTimeout) << "the query resets it";
    }
    EXPECT_EQ(Named(row.query, 'A'), HLLAPI_RC_SUCCESS);
    EXPECT_EQ(Named(row.stop, 'A'), HLLAPI_RC_SUCCESS);
    EXPECT_EQ(Sessions()->GetSession('A').HostNotifyCount + Sessions()->GetSession('A').CloseNotifyCount, 0);
    if (!message) {
        EXPECT_EQ(*handle, 0u);
    }
    EXPECT_EQ(Named(row.stop, 'A'), HLLAPI_RC_NOT_STARTED);
    if (message) platform::DestroyMessageWindow(window);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, NotificationFormTest,
    testing::Values(FormRow{"HostEvent", HA_START_HOST_NOTIFY, HA_QUERY_HOST_UPDATE, HA_STOP_HOST_NOTIFY, 'a', 'b',
                            "ps", "oia", HLLAPI_RC_BOTH_UPDATED, 0},
                    FormRow{"HostMessage", HA_START_HOST_NOTIFY, HA_QUERY_HOST_UPDATE, HA_STOP_HOST_NOTIFY, 'm',
                            'p', "oia", "ps", HLLAPI_RC_PS_UPDATED, HLLAPI_NOTIFY_PRESENTATION_SPACE},
                    FormRow{"CloseEvent", HA_START_CLOSE_INTERCEPT, HA_QUERY_CLOSE_INTERCEPT,
                            HA_STOP_CLOSE_INTERCEPT, 'q', '\0', "ps", "close", HLLAPI_RC_EVENT_OCCURRED, 0},
                    FormRow{"CloseMessage", HA_START_CLOSE_INTERCEPT, HA_QUERY_CLOSE_INTERCEPT,
                            HA_STOP_CLOSE_INTERCEPT, 'm', '\0', "ps", "close", HLLAPI_RC_EVENT_OCCURRED,
                            HLLAPI_NOTIFY_CLOSE_ATTEMPT}),
    [](const testing::TestParamInfo<FormRow>& info) { return std::string(info.param.name); });

// A session's emulator ends, unregistering the session or killed, while a
// caller waits on it without a time limit: for a reply the emulator holds, in
// Wait, in Get Key or in Pause. The caller keeps the session's request event
// open between requests, so when another emulator registers the session
// again, its next requests must reach that one.
TEST(SessionEndTest, EachWaitAnswersThatTheSessionIsGoneAndTheNextEmulatorIsReached) {
    const std::pair<std::int32_t, bool> rows[] = {  // the wait; killed, else unregistered
        {HA_COPY_PS, true},  {HA_WAIT, true},  {HA_WAIT, false},
        {HA_GET_KEY, true}, {HA_GET_KEY, false}, {HA_PAUSE, true}};
    std::vector<char> screen(2000, '#');
    for (const auto& [function, killed] : rows) {
        SCOPED_TRACE(testing::Message() << "function " << function << (killed ? ", killed" : ", unregistered"));
        {
            Responder first("E");
            ASSERT_TRUE(first.ready());
            ASSERT_EQ(Connect('E'), HLLAPI_RC_SUCCESS);
            ASSERT_EQ(SetParameters(function == HA_PAUSE ? "IPAUSE" : "LWAIT").result, HLLAPI_RC_SUCCESS);
            char name[24] = "E";
            const bool copy = function == HA_COPY_PS;  // held by the emulator until it ends
            Call wait(function, copy ? 2000 : function == HA_GET_KEY ? 16 : 0, copy ? kDiePosition : 0);
            if (function == HA_WAIT) {
                Sessions()->SetInhibitedStatus('E', 1);
            } else if (!copy) {
                const bool keys = function == HA_GET_KEY;
                ASSERT_EQ(Start(keys ? HA_START_KEY_INTERCEPT : HA_START_HOST_NOTIFY,
                                NotifyRequest('E', keys ? 'L' : 'B')),
                          HLLAPI_RC_SUCCESS);
            }
            TestThread waiter([&] { wait.Run(copy ? screen.data() : name); });
            if (copy) {
                ASSERT_TRUE(first.WaitHeld());
            } else {
                ASSERT_TRUE(waiter.StillRunningAfter(300)) << "answered " << wait.result << " before the end";
            }
            if (killed) {
                first.Kill();
            } else {
                ASSERT_EQ(first.Stop(), 0);
            }
            ASSERT_TRUE(waiter.Join()) << "still waiting after the session's end";
            EXPECT_EQ(wait.result, HLLAPI_RC_SYSTEM_ERROR);
            EXPECT_EQ(wait.returnCode, HLLAPI_RC_SYSTEM_ERROR);
        }
        EXPECT_EQ(Sessions()->GetSession('E').Established, 0);
        EXPECT_EQ(Call(HA_COPY_PS, 2000).Run(screen.data()).result, HLLAPI_RC_NO_SESSION);

        Responder second("E");
        ASSERT_TRUE(second.ready());
        ASSERT_EQ(Connect('E'), HLLAPI_RC_SUCCESS);
        screen[0] = '#';
        for (int i = 0; i < 3; ++i) {
            Call copy(HA_COPY_PS, 2000);
            TestThread caller([&] { copy.Run(screen.data()); });
            EXPECT_TRUE(caller.Join()) << "request " << i << " never reached the session's emulator";
            EXPECT_EQ(copy.result, HLLAPI_RC_SUCCESS) << "request " << i;
        }
        EXPECT_EQ(screen[0], 'A');
        ForgetCallerBlocks();
    }
}

}  // namespace
}  // namespace trv::test
