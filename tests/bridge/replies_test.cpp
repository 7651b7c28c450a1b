// The reply natives (bounded copies into the served caller's Data) and the
// notification natives (flags, key queues, messages and session events).
#include <cstring>
#include <string>
#include <vector>

#include "bridge/hll_bridge_natives.h"
#include "tables/session_parms.h"
#include "bridge_fixture.h"
#include "platform/event.h"
#include "platform/message_queue.h"
#include "platform/window.h"
#include "protocol/notification.h"
#include "shared/process_state.h"
#include "tables/application_block.h"
#include "tables/session_list.h"

namespace trv::test {
namespace {

constexpr char kLetter = 'R';
constexpr int kSlot = kLetter - 'A';

class RepliesTest : public BridgeTest {
protected:
    void SetUp() override {
        BridgeTest::SetUp();
        bridge_ = NewBridge(kLetter);
        Register(bridge_);
        block_ = &ServedBlock(kLetter);
        std::memset(block_->Data, 0x11, kDataSize);
        // The bytes just past Data: a canary that no reply may touch.
        std::memset(block_->KeyQueue, 0x5A, 16);
    }

    bool CanaryIntact() const {
        for (int i = 0; i < 16; ++i) {
            if (reinterpret_cast<const std::uint8_t*>(block_->KeyQueue)[i] != 0x5A) return false;
        }
        return true;
    }

    void SetRawData(const std::vector<std::uint8_t>& bytes, jint length, jchar letter = kLetter) {
        Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSetRawData(env(), bridge_, letter,
                                                                jvm().NewBytes(bytes), length);
    }

    jobject bridge_ = nullptr;
    ApplicationBlock* block_ = nullptr;
};

TEST_F(RepliesTest, SetRawDataCopiesTheReplyWithATerminator) {
    SetRawData({'A', 'B', 'C', 'D', 'E', 'F'}, 5);
    EXPECT_EQ(std::memcmp(block_->Data, "ABCDE", 6), 0);
    EXPECT_EQ(block_->ReplyLength, 5u);
    EXPECT_EQ(block_->ReplyCount, 5);

    // Length -1: the request's own length, doubled for EAB and STREOT of a
    // Copy PS (to String) only.
    const std::vector<std::uint8_t> big(8000, 'x');
    struct Case {
        std::uint32_t function;
        std::uint32_t parms;
        std::uint32_t expected;
    } cases[] = {{5, parms::kEab, 3840}, {5, 0, 1920}, {8, parms::kEab | parms::kStrEot, 7680},
                 {13, parms::kEab | parms::kStrEot, 1920}};
    for (const Case& c : cases) {
        block_->Function = c.function;
        block_->SessionParms = c.parms;
        block_->DataLength = 1920;
        SetRawData(big, -1);
        EXPECT_EQ(block_->ReplyLength, c.expected) << c.function << "/" << c.parms;
        EXPECT_EQ(block_->Data[c.expected], 0);
    }
}

TEST_F(RepliesTest, RepliesNeverRunPastData) {
    const std::vector<std::uint8_t> huge(20000, 'y');
    SetRawData(huge, 20000);
    EXPECT_EQ(block_->ReplyLength, kDataSize - 1);
    EXPECT_EQ(block_->Data[kDataSize - 1], 0);
    EXPECT_TRUE(CanaryIntact());

    // A length beyond the Java array is cut to the array.
    SetRawData({'a', 'b', 'c'}, 500);
    EXPECT_EQ(block_->ReplyLength, 3u);
    EXPECT_EQ(std::memcmp(block_->Data, "abc", 4), 0);

    block_->DataLength = 10000;  // twice that is beyond Data
    Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSetRawDataUnicodePS(env(), bridge_, kLetter,
                                                                     jvm().NewBytes(huge), 20000, 77);
    EXPECT_EQ(block_->ReplyLength, kDataSize - 2);
    EXPECT_EQ(block_->ReplyCount, 77);
    EXPECT_EQ(block_->Data[kDataSize - 2], 0);
    EXPECT_EQ(block_->Data[kDataSize - 1], 0);
    EXPECT_TRUE(CanaryIntact());

    block_->DataLength = 20000;
    Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSetRawDataString(
        env(), bridge_, kLetter, jvm().NewStringFromUtf8(std::string(15000, 'z')), 15000);
    EXPECT_EQ(block_->ReplyLength, kDataSize - 1);
    EXPECT_TRUE(CanaryIntact());

    // Negative lengths store nothing but the terminator.
    SetRawData({'q'}, -7);
    EXPECT_EQ(block_->ReplyLength, 0u);
    EXPECT_EQ(block_->Data[0], 0);
    EXPECT_EQ(jvm().heldArrayElements(), 0);
    EXPECT_EQ(jvm().heldStrings(), 0);
}

TEST_F(RepliesTest, BoundedFormsFollowTheRequestLength) {
    const std::vector<std::uint8_t> text(5000, 'u');
    block_->DataLength = 1920;
    std::memset(block_->Data, 0x11, kDataSize);
    Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSetRawDataUnicodePS(env(), bridge_, kLetter,
                                                                     jvm().NewBytes(text), 5000, 1234);
    EXPECT_EQ(block_->ReplyLength, 3840u);
    EXPECT_EQ(block_->ReplyCount, 1234);
    EXPECT_EQ(block_->Data[3839], 'u');
    EXPECT_EQ(block_->Data[3840], 0);
    EXPECT_EQ(block_->Data[3841], 0);
    EXPECT_EQ(block_->Data[3842], 0x11);

    block_->DataLength = 40;
    Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSetRawDataString(
        env(), bridge_, kLetter, jvm().NewStringFromUtf8(std::string(100, 's')), 100);
    EXPECT_EQ(block_->ReplyLength, 40u);
    EXPECT_EQ(block_->Data[40], 0);

    // A length beyond the text is cut to the text.
    Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSetRawDataString(
        env(), bridge_, kLetter, jvm().NewStringFromUtf8("short"), 30);
    EXPECT_EQ(block_->ReplyLength, 5u);
    EXPECT_STREQ(reinterpret_cast<const char*>(block_->Data), "short");
}

TEST_F(RepliesTest, RepliesWithoutACallerAreDropped) {
    SetRawData({'A', 'B'}, 2, 'S');  // a session nobody serves
    SetRawData({'A', 'B'}, 2, '%');  // no session letter at all
    Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSetRawData(env(), bridge_, kLetter, nullptr, 2);  // no array
    EXPECT_EQ(block_->Data[0], 0x11);
    EXPECT_EQ(block_->ReplyLength, 0u);
    Sessions()->SetCaller("APPL_BLOCK_FFFFFFFFFFFFFFFF", kLetter);  // caller gone
    SetRawData({'A', 'B'}, 2);
    EXPECT_EQ(block_->Data[0], 0x11);
    EXPECT_EQ(jvm().heldArrayElements(), 0);
}

// Notifications, with the test thread's block as the notified caller.
class NotificationsTest : public RepliesTest {
protected:
    bool Signalled(const char* pattern) {
        char name[32];
        std::snprintf(name, sizeof name, pattern, kLetter);
        platform::UniqueHandle event(platform::OpenNamedEvent(name));
        const bool signalled = platform::WaitForEvent(event.get(), 0) == platform::kWaitObject0;
        platform::ClearEvent(event.get());
        return signalled;
    }
    // The next notification message of this thread, or 0.
    platform::ThreadMessage NextMessage() {
        platform::ThreadMessage message;
        if (platform::GetThreadMessage(message, 200) != platform::MessageWait::message) return {};
        return message;
    }
    jboolean SendKey(const std::u16string& key) {
        return Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSendKeyNotifications(env(), bridge_, kLetter,
                                                                                  jvm().NewString(key));
    }
    void InterceptKeys(std::uint32_t options, std::uint16_t limit) {
        block_->KeyInterceptOptions[kSlot] = options;
        block_->ClearKeyQueue(kSlot, limit);
        ASSERT_EQ(Sessions()->AddToKeyNotificationList(kLetter, *block_), 0);
    }
};

TEST_F(NotificationsTest, HostUpdatesMarkOnlyTheCallersThatAskedAndSignalTheEvents) {
    platform::EnsureMessageQueue();
    platform::WindowHandle window = platform::CreateMessageWindow();
    ASSERT_NE(window, 0u);
    block_->HostUpdateNotifyType[kSlot] = kNotifyPS;
    block_->HostNotifyHandle[kSlot] = window;
    ASSERT_EQ(Sessions()->AddToHostNotificationList(kLetter, *block_), 0);
    Signalled("OIA_EVENT_SESS_%c");
    Signalled("BOTH_EVENT_SESS_%c");

    Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSendOIANotifications(env(), bridge_, kLetter, JNI_TRUE);
    EXPECT_EQ(block_->OIAUpdated, 0);
    EXPECT_EQ(Sessions()->GetSession(kLetter).InhibitedStatus, 1);
    EXPECT_TRUE(Signalled("OIA_EVENT_SESS_%c"));
    EXPECT_TRUE(Signalled("BOTH_EVENT_SESS_%c"));

    block_->HostUpdateNotifyType[kSlot] = kNotifyBoth | kNotifyByMessage;
    Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSendPSNotifications(env(), bridge_, kLetter);
    EXPECT_EQ(block_->PSUpdated, 1);
    EXPECT_TRUE(Signalled("PS_EVENT_SESS_%c"));
    platform::ThreadMessage message = NextMessage();
    EXPECT_EQ(message.message, Process().notifyMessage);
    EXPECT_EQ(message.wParam, kNotifyWParamBase);
    EXPECT_EQ(message.lParam, HLLAPI_NOTIFY_PRESENTATION_SPACE);

    Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSendOIANotifications(env(), bridge_, kLetter, JNI_FALSE);
    EXPECT_EQ(block_->OIAUpdated, 1);
    EXPECT_EQ(Sessions()->GetSession(kLetter).InhibitedStatus, 0);
    EXPECT_EQ(NextMessage().lParam, HLLAPI_NOTIFY_STATUS_LINE);

    Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppInterruptWait(env(), bridge_, kLetter);
    EXPECT_TRUE(Signalled("WAIT_EVENT_SESS_%c"));

    block_->CloseInterceptMode[kSlot] = kCloseByMessage;
    block_->CloseInterceptHandle[kSlot] = window;
    ASSERT_EQ(Sessions()->AddToCloseNotificationList(kLetter, *block_), 0);
    Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSendClosingNotifications(env(), bridge_, kLetter);
    EXPECT_EQ(block_->CloseRequested, 1);
    EXPECT_TRUE(Signalled("CLOSE_EVENT_SESS_%c"));
    EXPECT_EQ(NextMessage().lParam, HLLAPI_NOTIFY_CLOSE_ATTEMPT);

    Sessions()->RemoveFromHostNotificationList(kLetter, *block_);
    Sessions()->RemoveFromCloseNotificationList(kLetter, *block_);
    platform::DestroyMessageWindow(window);
}

TEST_F(NotificationsTest, KeysAreQueuedAsTheInterceptAsks) {
    // Nobody intercepts: the key stays the operator's.
    EXPECT_EQ(SendKey(u"[enter]"), JNI_FALSE);
    EXPECT_FALSE(Signalled("KEY_EVENT_SESS_%c"));

    InterceptKeys(0, 96);  // option D: AID keys only
    EXPECT_EQ(SendKey(u"[enter]"), JNI_TRUE);
    EXPECT_TRUE(Signalled("KEY_EVENT_SESS_%c"));
    EXPECT_EQ(SendKey(u"[tab]"), JNI_FALSE);
    EXPECT_EQ(SendKey(u"x"), JNI_FALSE);
    EXPECT_FALSE(Signalled("KEY_EVENT_SESS_%c"));
    ASSERT_EQ(block_->KeyQueueCount[kSlot], 1);
    EXPECT_EQ(block_->KeyQueue[kSlot][0].Kind, 'M');
    EXPECT_EQ(block_->KeyQueue[kSlot][0].Value, 0);

    block_->KeyInterceptOptions[kSlot] = kInterceptAllKeys;
    EXPECT_EQ(SendKey(u"x"), JNI_TRUE);
    EXPECT_EQ(SendKey(u"[pf13]"), JNI_TRUE);
    ASSERT_EQ(block_->KeyQueueCount[kSlot], 3);
    EXPECT_EQ(block_->KeyQueue[kSlot][1].Kind, 'A');
    EXPECT_EQ(block_->KeyQueue[kSlot][1].Value, 0x0078);
    EXPECT_EQ(block_->KeyQueue[kSlot][2].Value, 55);  // row of "[pf13]"; "[pf1]" is no prefix of it

    // A full queue (33 keys with limit 96) takes no more; all-keys mode
    // still reports the key as taken.
    block_->KeyQueueCount[kSlot] = 33;
    std::memset(&block_->KeyQueue[kSlot][33], 0, 4);
    EXPECT_EQ(SendKey(u"y"), JNI_TRUE);
    EXPECT_EQ(block_->KeyQueueCount[kSlot], 33);
    EXPECT_EQ(block_->KeyQueue[kSlot][33].Kind, 0);

    // A count spoiled beyond the queue never leads outside it.
    block_->KeyQueueCount[kSlot] = -5;
    block_->KeyQueueLimit[kSlot] = 0x7FFF;
    EXPECT_EQ(SendKey(u"y"), JNI_TRUE);
    EXPECT_EQ(block_->KeyQueueCount[kSlot], -5);

    Sessions()->RemoveFromKeyNotificationList(kLetter, *block_);
}

}  // namespace
}  // namespace trv::test
