// The keystroke intercept as a caller sees it (the close intercept's forms:
// wait_functions_test.cpp). Keystrokes are queued into this process's block
// as the emulator's key path does, or typed by the typer child through the
// emulator's keystroke native.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "bridge/hll_bridge_natives.h"
#include "ehllapi_fixture.h"
#include "library/process_lifecycle.h"
#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/event.h"
#include "protocol/caller_data.h"
#include "protocol/mnemonic_table.h"
#include "protocol/notification.h"
#include "support/jni_double.h"
#include "tables/application_list.h"
#include "tables/session_list.h"

namespace trv::test {
namespace {

// The typer's key i, on session B: two characters of kKeyAlphabet (no
// mnemonic begins with either), so that 62 * 62 keys in a row differ.
constexpr const char* kKeyAlphabet = "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr int kTypedKeys = 40000;

std::string TypedKey(int i) {
    const int n = i % (62 * 62);
    return {kKeyAlphabet[n % 62], kKeyAlphabet[n / 62]};
}

struct KeyRead {
    std::int32_t result = -1;
    std::int32_t length = 0;
    char data[16] = {};
};

class InterceptFunctionsTest : public ResponderTest {
protected:
    static std::int32_t StartKeys(char session, char option, std::int32_t length = 16) {
        return Start(HA_START_KEY_INTERCEPT, NotifyRequest(session, option), length);
    }
    static KeyRead GetKey(char session) {
        KeyRead read;
        read.data[0] = session;
        Call call(HA_GET_KEY, sizeof read.data);
        read.result = call.Run(read.data).result;
        read.length = call.length;
        return read;
    }
};

TEST_F(InterceptFunctionsTest, GetKeyDeliversQueuedKeysInOrderAndBeyondAThirdOfTheLimitDropsTheNewest) {
    ASSERT_EQ(StartKeys('A', 'L'), HLLAPI_RC_SUCCESS);
    ApplicationBlock* block = ProcessBlock();
    ASSERT_NE(block, nullptr);

    for (char c : std::string("xyz")) {
        ASSERT_TRUE(block->QueueKey(0, KeyQueueEntry{'A', 0, static_cast<std::uint8_t>(c)}));
    }
    // A second start changes nothing, the queue and the option included.
    EXPECT_EQ(StartKeys('A', 'D'), HLLAPI_RC_SUCCESS);
    EXPECT_EQ(block->KeyInterceptOptions[0], kInterceptAidKeys | kInterceptAllKeys);
    for (char expected : std::string("xyz")) {
        const KeyRead read = GetKey('A');
        EXPECT_EQ(read.result, HLLAPI_RC_SUCCESS);
        EXPECT_EQ(read.length, 1);
        EXPECT_EQ(read.data[4], 'A');
        EXPECT_EQ(read.data[5], expected);
    }

    // A mnemonic comes back with the caller's escape character.
    const int enter = FindMnemonicPrefixOf("[enter]");
    ASSERT_GE(enter, 0);
    const std::string code = MnemonicTable[static_cast<std::size_t>(enter)].code;
    block->EscChar = '#';
    ASSERT_TRUE(block->QueueKey(0, KeyQueueEntry{'M', 0, static_cast<std::uint16_t>(enter)}));
    const KeyRead mnemonic = GetKey('A');
    EXPECT_EQ(mnemonic.result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(std::string(mnemonic.data + 5), "#" + code.substr(1));
    EXPECT_EQ(mnemonic.length, static_cast<std::int32_t>(code.size()));

    block->WaitTimeout = 0;  // NWAIT
    const KeyRead none = GetKey('A');
    EXPECT_EQ(none.result, HLLAPI_RC_NO_KEY);
    EXPECT_EQ(none.length, 0);

    EXPECT_EQ(Named(HA_POST_INTERCEPT_STATUS, 'A', 'r'), HLLAPI_RC_SUCCESS);
    EXPECT_EQ(Named(HA_POST_INTERCEPT_STATUS, 'A', 'A'), HLLAPI_RC_SUCCESS);
    EXPECT_EQ(Named(HA_POST_INTERCEPT_STATUS, 'A', 'X'), HLLAPI_RC_BAD_PARAMETER);

    // Beyond a third of the limit, Get Key drops the newest key.
    for (int i = 0; i < 40; ++i) {
        ASSERT_TRUE(block->QueueKey(0, KeyQueueEntry{'A', 0, static_cast<std::uint16_t>('0' + i)}));
    }
    const KeyRead first = GetKey('A');
    EXPECT_EQ(first.result, HLLAPI_RC_KEY_QUEUE_OVERFLOW);
    EXPECT_EQ(first.data[5], '0');
    EXPECT_EQ(first.length, 1);
    EXPECT_EQ(block->KeyQueueCount[0], 38);
    EXPECT_EQ(block->KeyQueue[0][37].Value, '0' + 38);
    EXPECT_EQ(block->KeyQueue[0][38].Kind, 0) << "the newest key is gone";
    EXPECT_EQ(GetKey('A').data[5], '1');
    EXPECT_EQ(block->KeyQueueCount[0], 36);

    // A longer caller length raises the limit, up to its cap.
    for (const auto& [length, limit] : {std::pair{300, 300}, std::pair{50000, 3069}}) {
        ASSERT_EQ(Named(HA_STOP_KEY_INTERCEPT, 'A'), HLLAPI_RC_SUCCESS);
        ASSERT_EQ(StartKeys('A', 'L', length), HLLAPI_RC_SUCCESS);
        EXPECT_EQ(block->KeyQueueLimit[0], limit);
        EXPECT_EQ(block->KeyQueueCount[0], 0);
    }
}

TEST_F(InterceptFunctionsTest, AWaitingGetKeyEndsWithTheKeyEventOrAStop) {
    ASSERT_EQ(StartKeys('B', 'D'), HLLAPI_RC_SUCCESS);
    ApplicationBlock* block = ProcessBlock();
    ASSERT_NE(block, nullptr);
    KeyRead read;
    TestThread reader([&read] { read = GetKey('B'); });
    EXPECT_TRUE(reader.StillRunningAfter(300));
    ASSERT_TRUE(block->QueueKey(1, KeyQueueEntry{'A', 0, 'k'}));
    platform::SignalEvent(OpenSessionEvent(Sessions()->GetSession('B').KeyEventName).get());
    EXPECT_TRUE(reader.Join());
    EXPECT_EQ(read.result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(read.data[5], 'k');

    TestThread waiting([&read] { read = GetKey('B'); });
    ASSERT_TRUE(waiting.StillRunningAfter(300));
    std::int32_t stopped = -1;
    TestThread stopper([&stopped] { stopped = Named(HA_STOP_KEY_INTERCEPT, 'B'); });
    EXPECT_TRUE(stopper.Join());
    EXPECT_EQ(stopped, HLLAPI_RC_SUCCESS);
    EXPECT_TRUE(waiting.Join());
    EXPECT_EQ(read.result, HLLAPI_RC_NO_KEY);
    EXPECT_EQ(read.length, 0);
    EXPECT_EQ(block->KeyInterceptEvent[1], platform::kNoHandle);
    EXPECT_EQ(Sessions()->GetSession('B').KeyNotifyCount, 0);
    EXPECT_EQ(Named(HA_STOP_KEY_INTERCEPT, 'B'), HLLAPI_RC_NOT_STARTED);
}

// A process's calls run one at a time, whichever entry they come through,
// except Stop Keystroke Intercept: without an intercept to stop it answers
// beside a call in flight; with one, it waits only for the request in flight
// on the same block, and leaves that request's fields and reply alone.
TEST_F(InterceptFunctionsTest, CallsRunOneAtATimeAndStopKeyInterceptWaitsOnlyForTheRequestInFlight) {
    for (const bool perThread : {false, true}) {
        SCOPED_TRACE(perThread ? "first thread on the per-thread entry" : "first thread on the per-process entry");
        std::int32_t started = -1;
        Call status(HA_QUERY_SESSION_STATUS, 20, kHoldPosition);
        char statusData[32] = {'B'};
        TestThread first([&] {
            NotifyRequest request('A', 'L');
            Call start(HA_START_KEY_INTERCEPT, 16);
            started = (perThread ? start.RunPerThread(request.bytes) : start.Run(request.bytes)).result;
            perThread ? status.RunPerThread(statusData) : status.Run(statusData);
        });
        ASSERT_TRUE(responder_->WaitHeld());
        ASSERT_EQ(started, HLLAPI_RC_SUCCESS);
        QuerySystemReply system{};
        Call query(HA_QUERY_SYSTEM);
        TestThread second([&] { query.Run(&system); });
        std::int32_t stopped = -1;
        TestThread stopper([&stopped] { stopped = Named(HA_STOP_KEY_INTERCEPT, 'A'); });
        EXPECT_TRUE(second.StillRunningAfter(300)) << "a second call ran beside the first";
        std::int32_t notStarted = -1;
        TestThread idleStop([&notStarted] { notStarted = Named(HA_STOP_KEY_INTERCEPT, 'C'); });
        EXPECT_TRUE(idleStop.Join()) << "Stop Keystroke Intercept waited for the process's other call";
        EXPECT_EQ(notStarted, HLLAPI_RC_NOT_STARTED);
        EXPECT_TRUE(second.StillRunningAfter(0));

        responder_->Go();
        EXPECT_TRUE(first.Join());
        EXPECT_TRUE(second.Join());
        EXPECT_TRUE(stopper.Join());
        EXPECT_EQ(status.result, HLLAPI_RC_SUCCESS);
        EXPECT_EQ(std::string(statusData, 7), "BSTATUS");
        EXPECT_EQ(query.result, HLLAPI_RC_SUCCESS);
        EXPECT_EQ(system.CodePage, platform::AnsiCodePage());
        EXPECT_EQ(stopped, HLLAPI_RC_SUCCESS);
        EXPECT_EQ(Sessions()->GetSession('A').KeyNotifyCount, 0);
        ForgetCallerBlocks();
    }
}

// The emulator appends to the key queue while the caller takes keys out of
// it: no key may be lost, doubled or made up.
TEST_F(InterceptFunctionsTest, KeysTypedWhileTheCallerDrainsArriveOnceAndInOrder) {
    // A safety bound only: typing is much slower where every named-object
    // call is a round trip to another process (Wine's server).
    constexpr std::uint32_t kTypingLimitMs = 200000;
    ASSERT_EQ(StartKeys('B', 'L', 3069), HLLAPI_RC_SUCCESS);
    ASSERT_EQ(SetParameters("NWAIT").result, HLLAPI_RC_SUCCESS);  // drain as fast as possible
    RoleProcess typer("ehllapi_typer");
    ASSERT_TRUE(typer.started());

    int received = 0;
    const std::uint32_t began = platform::TickCount();
    while (received < kTypedKeys && platform::TickCount() - began < kTypingLimitMs) {
        const KeyRead read = GetKey('B');
        if (read.result == HLLAPI_RC_NO_KEY) continue;
        ASSERT_EQ(read.result, HLLAPI_RC_SUCCESS) << "key " << received;
        ASSERT_EQ(std::string(read.data + 4, 3), "A" + TypedKey(received)) << "key " << received;
        ++received;
    }
    EXPECT_EQ(typer.Wait(kTypingLimitMs), 0);
    EXPECT_EQ(received, kTypedKeys);
}

}  // namespace

// The typer: an operator typing kTypedKeys keys on session B while a caller
// intercepts them. It types through the emulator's own keystroke native
// (with a stand-in for the Java side), so the keys are queued as the emulator
// queues them; it holds back while the intercepting caller's queue is nearly
// a third full, so that no key is dropped for lack of room.
TRV_CHILD_ROLE(ehllapi_typer) {
    OnProcessAttach();
    if (Sessions() == nullptr || Applications() == nullptr) return 3;
    const SessionBlock session = Sessions()->GetSession('B');
    if (session.Established == 0 || session.KeyNotifyCount < 1) return 4;
    const ApplicationBlock* caller = Applications()->GetApplicationBlock(FieldText(session.KeyNotifyList[0]).c_str());
    if (caller == nullptr) return 5;
    FakeJvm jvm;
    jvm.AttachCurrentThreadAsJava();
    int result = 0;
    for (int i = 0; i < kTypedKeys && result == 0; ++i) {
        while (caller->QueuedKeys(1) + 1 >= caller->KeyQueueLimit[1] / 3) platform::SleepMs(1);
        const std::string key = TypedKey(i);
        jstring text = jvm.NewString(std::u16string(key.begin(), key.end()));
        if (Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSendKeyNotifications(jvm.env(), nullptr, 'B', text) !=
            JNI_TRUE) {
            result = 6;
        }
        jvm.env()->DeleteLocalRef(text);
    }
    jvm.DetachCurrentThreadAsJava();
    OnProcessDetach();
    return result;
}

}  // namespace trv::test
