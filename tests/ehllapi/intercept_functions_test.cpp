// The close and keystroke intercepts as a caller sees them. The responder
// answers the start and stop requests; keystrokes are queued into this
// process's block and the session's key event signalled by name, as the
// emulator's key path does, or typed by the typer child through the
// emulator's keystroke native.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "protocol/mnemonic_table.h"
#include "ehllapi_fixture.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "tables/application_block.h"
#include "tables/session_list.h"

namespace trv::test {
namespace {

// The typer's keys: key i is two characters of kKeyAlphabet, which no
// mnemonic begins with, numbered i modulo kTypedKeyNumbers; -1 for any
// other pair.
int TypedKeyNumber(unsigned char low, unsigned char high) {
    const char* lowAt = std::strchr(kKeyAlphabet, low);
    const char* highAt = std::strchr(kKeyAlphabet, high);
    if (low == 0 || high == 0 || lowAt == nullptr || highAt == nullptr) return -1;
    const int base = static_cast<int>(std::strlen(kKeyAlphabet));
    return static_cast<int>(lowAt - kKeyAlphabet) + base * static_cast<int>(highAt - kKeyAlphabet);
}

struct KeyRead {
    std::int32_t result = -1;
    std::int32_t length = 0;
    unsigned char data[16] = {};
};

class InterceptFunctionsTest : public ResponderTest {
protected:
    void TearDown() override {
        Call(HA_RESET_SYSTEM).Run(nullptr);
        ResponderTest::TearDown();
    }

    static std::int32_t Named(std::int32_t function, char session, char status = '\0') {
        char data[8] = {session, 0, 0, 0, status};
        return Call(function, 4).Run(data).result;
    }
    static std::int32_t StartKeys(char session, char option, std::int32_t length = 16) {
        NotifyRequest request(session, option);
        return Call(HA_START_KEY_INTERCEPT, length).Run(request.bytes).result;
    }
    static KeyRead GetKey(char session) {
        KeyRead read;
        read.data[0] = static_cast<unsigned char>(session);
        Call call(HA_GET_KEY, sizeof read.data);
        read.result = call.Run(read.data).result;
        read.length = call.length;
        return read;
    }
    static void QueueCharacters(ApplicationBlock& block, int slot, const std::string& text) {
        for (char c : text) {
            ASSERT_TRUE(block.QueueKey(slot, KeyQueueEntry{'A', 0, static_cast<std::uint8_t>(c)}));
        }
    }
    static void SignalKeyEvent(char letter) {
        const SessionBlock session = Sessions()->GetSession(letter);
        char name[kBlockNameSize + 1] = {};
        std::memcpy(name, session.KeyEventName, kBlockNameSize);
        platform::UniqueHandle event(platform::OpenNamedEvent(name));
        platform::SignalEvent(event.get());
    }
    static SessionBlock SessionOf(char letter) { return Sessions()->GetSession(letter); }
};

// The forms of the close intercept: wait_functions_test.cpp.
TEST_F(InterceptFunctionsTest, CloseInterceptIsRecordedInTheBlockAndTheSessionsList) {
    EXPECT_EQ(Named(HA_QUERY_CLOSE_INTERCEPT, 'A'), HLLAPI_RC_NOT_STARTED);
    EXPECT_EQ(Named(HA_QUERY_CLOSE_INTERCEPT, 'Z'), HLLAPI_RC_NOT_ESTABLISHED);
    EXPECT_EQ(Named(HA_QUERY_CLOSE_INTERCEPT, ' '), HLLAPI_RC_NO_SESSION);
    NotifyRequest unknown('Z', 'Q');
    EXPECT_EQ(Call(HA_START_CLOSE_INTERCEPT, 16).Run(unknown.bytes).result, HLLAPI_RC_NO_SESSION);

    NotifyRequest request('a', 'q');
    ASSERT_EQ(Call(HA_START_CLOSE_INTERCEPT, 16).Run(request.bytes).result, HLLAPI_RC_SUCCESS);
    ApplicationBlock* block = ProcessBlock();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->CloseInterceptMode[0], 'Q');
    EXPECT_EQ(SessionOf('A').CloseNotifyCount, 1);
    EXPECT_EQ(Named(HA_STOP_CLOSE_INTERCEPT, 'A'), HLLAPI_RC_SUCCESS);
    EXPECT_EQ(block->CloseInterceptMode[0], '\0');
    EXPECT_EQ(SessionOf('A').CloseNotifyCount, 0);
}

TEST_F(InterceptFunctionsTest, GetKeyDeliversQueuedKeysInOrder) {
    EXPECT_EQ(GetKey('A').result, HLLAPI_RC_NOT_STARTED);
    EXPECT_EQ(GetKey('Z').result, HLLAPI_RC_NO_SESSION);
    ASSERT_EQ(StartKeys('A', 'L'), HLLAPI_RC_SUCCESS);
    ApplicationBlock* block = ProcessBlock();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->KeyInterceptOptions[0], 3u);
    EXPECT_EQ(block->KeyQueueLimit[0], 96);
    EXPECT_EQ(SessionOf('A').KeyNotifyCount, 1);

    QueueCharacters(*block, 0, "xyz");
    // A second start changes nothing, the queue included.
    EXPECT_EQ(StartKeys('A', 'D'), HLLAPI_RC_SUCCESS);
    EXPECT_EQ(block->KeyInterceptOptions[0], 3u);
    for (char expected : std::string("xyz")) {
        const KeyRead read = GetKey('A');
        EXPECT_EQ(read.result, HLLAPI_RC_SUCCESS);
        EXPECT_EQ(read.length, 1);
        EXPECT_EQ(read.data[4], 'A');
        EXPECT_EQ(read.data[5], expected);
    }
    EXPECT_EQ(block->KeyQueueCount[0], 0);

    // A mnemonic comes back with the caller's escape character.
    const int enter = FindMnemonicPrefixOf("[enter]");
    ASSERT_GE(enter, 0);
    block->EscChar = '#';
    ASSERT_TRUE(block->QueueKey(0, KeyQueueEntry{'M', 0, static_cast<std::uint16_t>(enter)}));
    const KeyRead mnemonic = GetKey('A');
    EXPECT_EQ(mnemonic.result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(mnemonic.data + 5)),
              "#" + std::string(MnemonicTable[static_cast<std::size_t>(enter)].code + 1));
    EXPECT_EQ(mnemonic.length, static_cast<std::int32_t>(std::strlen(MnemonicTable[static_cast<std::size_t>(enter)].code)));

    block->WaitTimeout = 0;  // NWAIT
    const KeyRead none = GetKey('A');
    EXPECT_EQ(none.result, HLLAPI_RC_NO_KEY);
    EXPECT_EQ(none.length, 0);

    EXPECT_EQ(Named(HA_POST_INTERCEPT_STATUS, 'A', 'r'), HLLAPI_RC_SUCCESS);
    EXPECT_EQ(Named(HA_POST_INTERCEPT_STATUS, 'A', 'A'), HLLAPI_RC_SUCCESS);
    EXPECT_EQ(Named(HA_POST_INTERCEPT_STATUS, 'A', 'X'), HLLAPI_RC_BAD_PARAMETER);
    EXPECT_EQ(Named(HA_POST_INTERCEPT_STATUS, 'B', 'A'), HLLAPI_RC_NOT_STARTED);
}

TEST_F(InterceptFunctionsTest, GetKeyBeyondAThirdOfTheLimitDropsTheNewestKey) {
    ASSERT_EQ(StartKeys('A', 'L'), HLLAPI_RC_SUCCESS);
    ApplicationBlock* block = ProcessBlock();
    ASSERT_NE(block, nullptr);
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
    EXPECT_EQ(block->KeyQueue[0][39].Kind, 0);
    const KeyRead second = GetKey('A');
    EXPECT_EQ(second.data[5], '1');
    EXPECT_EQ(block->KeyQueueCount[0], 36);

    // A longer caller length raises the limit, up to its cap.
    ASSERT_EQ(Named(HA_STOP_KEY_INTERCEPT, 'A'), HLLAPI_RC_SUCCESS);
    EXPECT_EQ(block->KeyQueueLimit[0], 32);
    ASSERT_EQ(StartKeys('A', 'L', 300), HLLAPI_RC_SUCCESS);
    EXPECT_EQ(block->KeyQueueLimit[0], 300);
    EXPECT_EQ(block->KeyQueueCount[0], 0);
    ASSERT_EQ(Named(HA_STOP_KEY_INTERCEPT, 'A'), HLLAPI_RC_SUCCESS);
    ASSERT_EQ(StartKeys('A', 'L', 50000), HLLAPI_RC_SUCCESS);
    EXPECT_EQ(block->KeyQueueLimit[0], 3069);
}

TEST_F(InterceptFunctionsTest, GetKeyWaitsForTheKeyEvent) {
    ASSERT_EQ(StartKeys('B', 'D'), HLLAPI_RC_SUCCESS);
    ApplicationBlock* block = ProcessBlock();
    ASSERT_NE(block, nullptr);
    KeyRead read;
    CallerThread reader([&read] { read = GetKey('B'); });
    EXPECT_TRUE(reader.StillRunningAfter(300));
    QueueCharacters(*block, 1, "k");
    SignalKeyEvent('B');
    EXPECT_TRUE(reader.Join());
    EXPECT_EQ(read.result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(read.data[5], 'k');
}

TEST_F(InterceptFunctionsTest, StopFromAnotherThreadReleasesAWaitingGetKey) {
    ASSERT_EQ(StartKeys('A', 'L'), HLLAPI_RC_SUCCESS);
    ApplicationBlock* block = ProcessBlock();
    ASSERT_NE(block, nullptr);
    KeyRead read;
    CallerThread reader([&read] { read = GetKey('A'); });
    ASSERT_TRUE(reader.StillRunningAfter(300));

    std::int32_t stopped = -1;
    CallerThread stopper([&stopped] { stopped = Named(HA_STOP_KEY_INTERCEPT, 'A'); });
    EXPECT_TRUE(stopper.Join());
    EXPECT_EQ(stopped, HLLAPI_RC_SUCCESS);
    EXPECT_TRUE(reader.Join());
    EXPECT_EQ(read.result, HLLAPI_RC_NO_KEY);
    EXPECT_EQ(read.length, 0);
    EXPECT_EQ(block->KeyInterceptOptions[0], 0u);
    EXPECT_EQ(block->KeyInterceptEvent[0], platform::kNoHandle);
    EXPECT_EQ(SessionOf('A').KeyNotifyCount, 0);
    EXPECT_EQ(Named(HA_STOP_KEY_INTERCEPT, 'A'), HLLAPI_RC_NOT_STARTED);
}

// Stop Keystroke Intercept runs outside the process's call mutex. From a
// second thread, while the first has a request in flight on the same block
// (reached through either entry), it must leave that request's fields and
// reply alone.
TEST_F(InterceptFunctionsTest, StopFromASecondThreadLeavesARequestInFlightAlone) {
    for (const bool perThread : {false, true}) {
        SCOPED_TRACE(perThread ? "first thread on the per-thread entry" : "first thread on the per-process entry");
        std::int32_t started = -1;
        Call status(HA_QUERY_SESSION_STATUS, 20, kHoldPosition);
        char statusData[32] = {'B'};
        CallerThread first([&] {
            NotifyRequest request('A', 'L');
            Call start(HA_START_KEY_INTERCEPT, 16);
            started = (perThread ? start.RunPerThread(request.bytes) : start.Run(request.bytes)).result;
            if (perThread) {
                status.RunPerThread(statusData);
            } else {
                status.Run(statusData);
            }
        });
        ASSERT_TRUE(responder_->WaitHeld());
        ASSERT_EQ(started, HLLAPI_RC_SUCCESS);
        std::int32_t stopped = -1;
        CallerThread second([&stopped] { stopped = Named(HA_STOP_KEY_INTERCEPT, 'A'); });
        EXPECT_TRUE(second.StillRunningAfter(300));
        responder_->Go();
        EXPECT_TRUE(first.Join());
        EXPECT_TRUE(second.Join());
        EXPECT_EQ(status.result, HLLAPI_RC_SUCCESS);
        EXPECT_EQ(std::string(statusData, 7), "BSTATUS");
        EXPECT_EQ(stopped, HLLAPI_RC_SUCCESS);
        EXPECT_EQ(SessionOf('A').KeyNotifyCount, 0);
        ForgetCallerBlocks();
    }
}

// The emulator appends to the key queue while the caller takes keys out of
// it: with an operator typing (the typer child, through the emulator's
// keystroke native) and the caller draining at the same time, every key
// arrives once and in order, and no key arrives that was not typed.
TEST_F(InterceptFunctionsTest, KeysTypedWhileTheCallerDrainsArriveOnceAndInOrder) {
    constexpr int kKeys = 40000;
    // A safety bound only: typing is much slower where every named-object
    // call is a round trip to another process (Wine's server).
    constexpr std::uint32_t kTypingLimitMs = 200000;
    ASSERT_EQ(StartKeys('B', 'L', 3069), HLLAPI_RC_SUCCESS);
    ApplicationBlock* block = ProcessBlock();
    ASSERT_NE(block, nullptr);
    block->WaitTimeout = 0;  // NWAIT: drain as fast as possible
    RoleProcess typer("ehllapi_typer", RoleArgs{"B", std::to_string(kKeys)});
    ASSERT_TRUE(typer.started());

    std::vector<int> received;
    int phantoms = 0;
    std::string firstPhantom;
    const std::uint32_t began = platform::TickCount();
    while (static_cast<int>(received.size()) < kKeys && platform::TickCount() - began < kTypingLimitMs) {
        const KeyRead read = GetKey('B');
        if (read.result == HLLAPI_RC_NO_KEY) continue;
        if (read.result != HLLAPI_RC_SUCCESS || read.data[4] != 'A') {
            if (phantoms++ == 0) {
                firstPhantom = "rc " + std::to_string(read.result) + ", kind " + std::to_string(read.data[4]);
            }
            continue;
        }
        received.push_back(TypedKeyNumber(read.data[5], read.data[6]));
    }
    EXPECT_EQ(typer.Wait(kTypingLimitMs), 0);
    EXPECT_EQ(phantoms, 0) << "the first: " << firstPhantom;
    ASSERT_EQ(received.size(), static_cast<std::size_t>(kKeys));
    for (int i = 0; i < kKeys; ++i) {
        ASSERT_EQ(received[static_cast<std::size_t>(i)], i % kTypedKeyNumbers) << "key " << i;
    }
}

}  // namespace
}  // namespace trv::test
