// The reply natives and the notification natives.
#include <cstring>
#include <string>
#include <vector>

#include "bridge/hll_bridge_natives.h"
#include "tables/session_parms.h"
#include "bridge_fixture.h"
#include "platform/event.h"
#include "protocol/mnemonic_table.h"
#include "protocol/notification.h"
#include "tables/application_block.h"
#include "tables/session_list.h"

namespace trv::test {
namespace {

constexpr char kLetter = SessionTest::kSessionLetter;
constexpr int kSlot = kLetter - 'A';

class RepliesTest : public SessionTest {
protected:
    void SetUp() override {
        SessionTest::SetUp();
        block_ = &Block();
        // The bytes just past Data: a canary that no reply may touch.
        std::memset(block_->KeyQueue, 0x5A, 16);
    }

    // Whether the session's event `prefix` + letter was signalled; clears it.
    bool Signalled(const std::string& prefix) {
        platform::UniqueHandle event(platform::OpenNamedEvent((prefix + kLetter).c_str()));
        const bool signalled = platform::WaitForEvent(event.get(), 0) == platform::kWaitObject0;
        platform::ClearEvent(event.get());
        return signalled;
    }
    jboolean SendKey(const std::u16string& key) {
        return Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSendKeyNotifications(env(), bridge_, kLetter,
                                                                                  jvm().NewString(key));
    }

    ApplicationBlock* block_ = nullptr;
};

enum class Native { raw, unicodePS, string };

// One reply: `size` bytes of 'u' from Java, passed with `length`, to a
// request of `function` with `parms` and `dataLength`.
struct ReplyRow {
    Native native;
    std::uint32_t function;
    std::uint32_t parms;
    std::uint32_t dataLength;
    std::size_t size;
    jint length;
    std::uint32_t replyLength;
};

std::ostream& operator<<(std::ostream& out, const ReplyRow& row) {
    return out << "native " << static_cast<int>(row.native) << " function " << row.function << " parms "
               << row.parms << " DataLength " << row.dataLength << " size " << row.size << " length " << row.length;
}

const ReplyRow kReplyRows[] = {
    {Native::raw, HA_COPY_PS, 0, 1920, 6, 5, 5},
    // Length -1: the request's own length, doubled for EAB and STREOT of a
    // Copy PS (to String) only.
    {Native::raw, HA_COPY_PS, parms::kEab, 1920, 8000, -1, 3840},
    {Native::raw, HA_COPY_PS, 0, 1920, 8000, -1, 1920},
    {Native::raw, HA_COPY_PS_TO_STR, parms::kEab | parms::kStrEot, 1920, 8000, -1, 7680},
    {Native::raw, HA_COPY_OIA, parms::kEab | parms::kStrEot, 1920, 8000, -1, 1920},
    // Never beyond Data (less its terminator), the Java data, or (text
    // replies) the request's length; negative lengths store nothing.
    {Native::raw, HA_COPY_PS, 0, 1920, 20000, 20000, kDataSize - 1},
    {Native::raw, HA_COPY_PS, 0, 1920, 3, 500, 3},
    {Native::raw, HA_COPY_PS, 0, 1920, 1, -7, 0},
    {Native::unicodePS, HA_COPY_PS, 0, 10000, 20000, 20000, kDataSize - 2},
    {Native::unicodePS, HA_COPY_PS, 0, 1920, 5000, 5000, 3840},
    {Native::string, HA_COPY_PS, 0, 20000, 15000, 15000, kDataSize - 1},
    {Native::string, HA_COPY_PS, 0, 40, 100, 100, 40},
    {Native::string, HA_COPY_PS, 0, 40, 5, 30, 5},
};

TEST_F(RepliesTest, RepliesAreBoundedAndTerminated) {
    for (const ReplyRow& row : kReplyRows) {
        SCOPED_TRACE(testing::PrintToString(row));
        std::memset(block_->Data, 0x11, kDataSize);
        block_->Function = row.function;
        block_->SessionParms = row.parms;
        block_->DataLength = row.dataLength;
        const std::vector<std::uint8_t> bytes(row.size, 'u');
        std::uint32_t terminators = 1;
        if (row.native == Native::raw) {
            Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSetRawData(env(), bridge_, kLetter, jvm().NewBytes(bytes),
                                                                      row.length);
        } else if (row.native == Native::unicodePS) {
            Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSetRawDataUnicodePS(env(), bridge_, kLetter,
                                                                             jvm().NewBytes(bytes), row.length, 77);
            terminators = 2;
        } else {
            Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSetRawDataString(
                env(), bridge_, kLetter, jvm().NewStringFromUtf8(std::string(row.size, 'u')), row.length);
        }
        const std::uint32_t n = row.replyLength;
        EXPECT_EQ(block_->ReplyLength, n);
        EXPECT_EQ(block_->ReplyCount, row.native == Native::unicodePS ? 77 : static_cast<std::int32_t>(n));
        EXPECT_TRUE(n == 0 || block_->Data[n - 1] == 'u');
        for (std::uint32_t i = n; i < n + terminators; ++i) EXPECT_EQ(block_->Data[i], 0);
        EXPECT_TRUE(n + terminators == kDataSize || block_->Data[n + terminators] == 0x11);
        const auto* canary = reinterpret_cast<const std::uint8_t*>(block_->KeyQueue);
        EXPECT_EQ(std::vector<std::uint8_t>(canary, canary + 16), std::vector<std::uint8_t>(16, 0x5A));
    }
    EXPECT_EQ(jvm().heldArrayElements(), 0);
    EXPECT_EQ(jvm().heldStrings(), 0);
}

// What host notifications do for the callers that asked (flags, messages),
// and the presentation-space and wait events that end Pause and Wait, are
// checked through the callers' functions in the ehllapi tests; here, the
// status-line and either-update events and the input-inhibited state.
TEST_F(RepliesTest, NotificationsSignalTheSessionsEventsAndKeepTheInhibitedStatus) {
    Signalled("OIA_EVENT_SESS_");
    Signalled("BOTH_EVENT_SESS_");
    for (jboolean inhibited : {JNI_TRUE, JNI_FALSE}) {
        Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSendOIANotifications(env(), bridge_, kLetter, inhibited);
        EXPECT_EQ(Sessions()->GetSession(kLetter).InhibitedStatus, inhibited);
        EXPECT_TRUE(Signalled("OIA_EVENT_SESS_"));
        EXPECT_TRUE(Signalled("BOTH_EVENT_SESS_"));
    }
    Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSendPSNotifications(env(), bridge_, kLetter);
    EXPECT_TRUE(Signalled("BOTH_EVENT_SESS_"));
}

TEST_F(RepliesTest, KeysAreQueuedAsTheInterceptAsks) {
    // Nobody intercepts: the key stays the operator's.
    EXPECT_EQ(SendKey(u"[enter]"), JNI_FALSE);
    EXPECT_FALSE(Signalled("KEY_EVENT_SESS_"));

    block_->KeyInterceptOptions[kSlot] = 0;  // option D: AID keys only
    block_->ClearKeyQueue(kSlot, 96);
    ASSERT_EQ(Sessions()->AddToKeyNotificationList(kLetter, *block_), 0);
    EXPECT_EQ(SendKey(u"[enter]"), JNI_TRUE);
    EXPECT_TRUE(Signalled("KEY_EVENT_SESS_"));
    EXPECT_EQ(SendKey(u"[tab]"), JNI_FALSE);
    EXPECT_EQ(SendKey(u"x"), JNI_FALSE);
    EXPECT_FALSE(Signalled("KEY_EVENT_SESS_"));
    ASSERT_EQ(block_->KeyQueueCount[kSlot], 1);
    EXPECT_EQ(block_->KeyQueue[kSlot][0].Kind, 'M');
    EXPECT_STREQ(MnemonicTable.at(block_->KeyQueue[kSlot][0].Value).mnemonic, "[enter]");

    block_->KeyInterceptOptions[kSlot] = kInterceptAllKeys;
    EXPECT_EQ(SendKey(u"x"), JNI_TRUE);
    EXPECT_EQ(SendKey(u"[pf13]"), JNI_TRUE);
    ASSERT_EQ(block_->KeyQueueCount[kSlot], 3);  // the plain key's entry: the ehllapi typer test
    // The row of "[pf13]" itself: "[pf1]" is no prefix of it.
    EXPECT_STREQ(MnemonicTable.at(block_->KeyQueue[kSlot][2].Value).mnemonic, "[pf13]");

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
}

}  // namespace
}  // namespace trv::test
