// Send Key on the emulator side: what the fake emulator's "SendKeys" receives
// for a caller's keystroke string (mnemonics, the reset before the keys, the
// retry flag), and that strings at the edge of Data are read within it.
#include <cstring>
#include <string>
#include <vector>

#include "bridge/dispatch.h"
#include "bridge/keystroke_translation.h"
#include "protocol/mnemonic_table.h"
#include "tables/session_parms.h"
#include "bridge_fixture.h"
#include "tables/application_block.h"
#include "tables/session_list.h"
#include "trvha64.h"

namespace trv::test {
namespace {

struct SentKeys {
    std::string text;
    bool retry;
    bool operator==(const SentKeys&) const = default;
};

std::ostream& operator<<(std::ostream& out, const SentKeys& keys) {
    return out << '"' << keys.text << "\" retry " << keys.retry;
}

const SentKeys kReset{"[reset]", false};

class SendKeyTest : public BridgeTest {
public:
    void SetUp() override {
        BridgeTest::SetUp();
        bridge_ = NewBridge('K');
        Register(bridge_);
        ASSERT_TRUE(Eventually([this] { return jvm().daemonAttaches() == 1; }));
        Define(bridge_, "SendKeys", "([BZ)J", [this](JNIEnv*, jobject, const jvalue* args) {
            const std::vector<std::uint8_t> bytes = jvm().BytesOf(static_cast<jbyteArray>(args[0].l));
            sent_.push_back({std::string(bytes.begin(), bytes.end()), args[1].z == JNI_TRUE});
            return JLong(answer_);
        });
    }

    // Sends `keys` (DataLength its size unless given) and answers the return code.
    std::int32_t Send(const std::string& keys, std::uint32_t parms = 0, char escape = '@', char eot = 0) {
        ApplicationBlock& block = Prepare(parms, escape, eot);
        std::memcpy(block.Data, keys.data(), keys.size());
        block.DataLength = static_cast<std::uint32_t>(keys.size());
        return Run(block);
    }

    ApplicationBlock& Prepare(std::uint32_t parms, char escape = '@', char eot = 0) {
        sent_.clear();
        ApplicationBlock& block = ServedBlock('K');
        std::memset(block.Data, 0, kDataSize);
        block.Function = HA_SENDKEY;
        block.SessionParms = parms;
        block.EscChar = escape;
        block.EotChar = eot;
        return block;
    }

    std::int32_t Run(ApplicationBlock& block) {
        ProcessEHLLAPICall(block, Sessions()->GetSession('K'));
        return static_cast<std::int32_t>(block.ReturnCode);
    }

    // What reached the emulator after the reset.
    std::vector<SentKeys> Keys() const {
        std::vector<SentKeys> keys = sent_;
        if (!keys.empty() && keys.front() == kReset) keys.erase(keys.begin());
        return keys;
    }

    jobject bridge_ = nullptr;
    jlong answer_ = 0;
    std::vector<SentKeys> sent_;
};

TEST_F(SendKeyTest, TextAndCodesBecomeMnemonics) {
    struct Case {
        const char* keys;
        const char* sent;
    } cases[] = {
        {"ABC@Edef", "ABC[enter]def"},
        {"@D", "[delete]"},            // the first row with the code, not "[delete char]"
        {"@@", "@"},
        {"a[b]c", "a[[b]]c"},
        {"x@Oy", "x y"},
        {"@A@L", "[left][left]"},
        {"@X@1@X", "[dispsosi][dbcs]"},  // four-byte codes are found before the two-byte one
        {"@AxH", "[sysreq]"},            // the third byte is not compared
        {"@c@T@q", "[pf12][tab][eof]"},
        {"@Sr", "[screenrtl]"},
        {"@Sl@Se@Sh", "[screenltr][latinlayer][bidilayer]"},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Send(c.keys), 0) << c.keys;
        ASSERT_EQ(sent_.size(), 2u) << c.keys;
        EXPECT_EQ(sent_[0], kReset) << c.keys;
        EXPECT_EQ(sent_[1].text, c.sent) << c.keys;
    }
}

TEST_F(SendKeyTest, RetryIsOffForResetAttentionKeysAndNoRetry) {
    Send("@A@H");
    EXPECT_EQ(Keys(), (std::vector<SentKeys>{{"[sysreq]", false}}));
    Send("@A@Qx");
    EXPECT_EQ(Keys(), (std::vector<SentKeys>{{"[attn]x", false}}));
    Send("@Rabc");
    EXPECT_EQ(Keys(), (std::vector<SentKeys>{{"[reset]abc", false}}));
    Send("ab@E", parms::kNoRetry);
    EXPECT_EQ(Keys(), (std::vector<SentKeys>{{"ab[enter]", false}}));
    Send("ab@A@H");  // only the string's start counts
    EXPECT_EQ(Keys(), (std::vector<SentKeys>{{"ab[sysreq]", true}}));
}

TEST_F(SendKeyTest, ChangedEscapeCharacter) {
    Send("#E", 0, '#');
    EXPECT_EQ(Keys(), (std::vector<SentKeys>{{"[enter]", true}}));
    Send("#A#Q", 0, '#');
    EXPECT_EQ(Keys(), (std::vector<SentKeys>{{"[attn]", true}}));  // the retry test looks for '@' only
    Send("@E#T", 0, '#');
    EXPECT_EQ(Keys(), (std::vector<SentKeys>{{"@E[tab]", true}}));
    Send("@A@Hx", 0, '#');
    EXPECT_EQ(Keys(), (std::vector<SentKeys>{{"@A@Hx", false}}));
}

TEST_F(SendKeyTest, UnknownCodesAnswer2AndSendOnlyTheReset) {
    // "@Sr@Sr": only the first occurrence is pre-translated; "@S@r" is no code.
    for (const char* keys : {"@K", "abc@", "x@A", "@A@W", "@[", "@Sr@Sr"}) {
        EXPECT_EQ(Send(keys), kUnknownKeyCode) << keys;
        EXPECT_EQ(sent_, std::vector<SentKeys>{kReset}) << keys;
    }
    EXPECT_EQ(Send("@K", parms::kNoReset), kUnknownKeyCode);
    EXPECT_TRUE(sent_.empty());
}

TEST_F(SendKeyTest, ResetAndTheEmulatorsAnswer) {
    EXPECT_EQ(Send("@E", parms::kNoReset), 0);
    EXPECT_EQ(sent_, (std::vector<SentKeys>{{"[enter]", true}}));
    answer_ = (jlong{1} << 32) | 5;  // plain: the low 32 bits
    EXPECT_EQ(Send("x"), 5);
    EXPECT_EQ(sent_.size(), 2u);  // the reset's answer does not stop the keys
}

TEST_F(SendKeyTest, EndCharacterAndLength) {
    EXPECT_EQ(Send("ABC@E$XYZ", parms::kStrEot, '@', '$'), 0);
    EXPECT_EQ(Keys(), (std::vector<SentKeys>{{"ABC[enter]", true}}));

    ApplicationBlock& block = Prepare(0);
    std::memcpy(block.Data, "ABC@EXYZ", 8);
    block.DataLength = 5;
    EXPECT_EQ(Run(block), 0);
    EXPECT_EQ(Keys(), (std::vector<SentKeys>{{"ABC[enter]", true}}));

    // The text ends at a zero byte within the caller's length.
    ApplicationBlock& zero = Prepare(0);
    std::memcpy(zero.Data, "AB\0@E", 5);
    zero.DataLength = 5;
    EXPECT_EQ(Run(zero), 0);
    EXPECT_EQ(Keys(), (std::vector<SentKeys>{{"AB", true}}));
}

TEST_F(SendKeyTest, ReadsStayWithinData) {
    // STREOT without an end character anywhere in Data: refused.
    ApplicationBlock& open = Prepare(parms::kStrEot, '@', '$');
    std::memset(open.Data, 'x', kDataSize);
    open.DataLength = 3;
    EXPECT_EQ(Run(open), kUnknownKeyCode);
    EXPECT_EQ(sent_, std::vector<SentKeys>{kReset});

    // A caller length beyond Data is cut at Data's end.
    ApplicationBlock& whole = Prepare(0);
    std::memset(whole.Data, 'x', kDataSize);
    whole.DataLength = 0xFFFFFFF0u;
    EXPECT_EQ(Run(whole), 0);
    ASSERT_EQ(Keys().size(), 1u);
    EXPECT_EQ(Keys()[0].text, std::string(kDataSize, 'x'));

    // An escape character in Data's last byte: an unknown code, read as if
    // zeros followed.
    ApplicationBlock& last = Prepare(0);
    std::memset(last.Data, 'y', kDataSize);
    last.Data[kDataSize - 1] = '@';
    last.DataLength = kDataSize;
    EXPECT_EQ(Run(last), kUnknownKeyCode);

    // A pre-translation pattern in Data's last bytes: its replacement is
    // cut at Data's end (leaving no known code) and nothing beyond is written.
    ApplicationBlock& edge = Prepare(0);
    std::memset(edge.Data, 'z', kDataSize);
    std::memcpy(edge.Data + kDataSize - 3, "@Sr", 3);
    edge.DataLength = kDataSize;
    const auto afterData = reinterpret_cast<const std::uint8_t*>(&edge.Data) + kDataSize;
    const std::vector<std::uint8_t> beyond(afterData, afterData + 16);
    EXPECT_EQ(Run(edge), kUnknownKeyCode);
    EXPECT_EQ(edge.DataLength, kDataSize + 1);
    EXPECT_EQ(std::memcmp(edge.Data + kDataSize - 4, "z@S@", 4), 0);
    EXPECT_EQ(std::vector<std::uint8_t>(afterData, afterData + 16), beyond);

    // The same pattern with room after it is moved and replaced.
    ApplicationBlock& room = Prepare(0);
    std::memset(room.Data, 'z', kDataSize - 4);
    std::memcpy(room.Data + kDataSize - 8, "@Sr", 3);
    room.DataLength = kDataSize - 4;
    EXPECT_EQ(Run(room), 0);
    ASSERT_EQ(Keys().size(), 1u);
    EXPECT_EQ(Keys()[0].text, std::string(kDataSize - 8, 'z') + "[screenrtl]z");
}

TEST(MnemonicTable, RowsThatOtherPartsDependOn) {
    EXPECT_STREQ(MnemonicTable[0].mnemonic, "[enter]");
    EXPECT_STREQ(MnemonicTable[104].mnemonic, " ");
    EXPECT_STREQ(MnemonicTable[201].mnemonic, "@");
    EXPECT_STREQ(MnemonicTable[201].code, "@@");
    EXPECT_STREQ(MnemonicTable[kMnemonicEndRow].mnemonic, "[null]");
    EXPECT_EQ(MnemonicTable[kMnemonicEndRow].codeLength, 0);
    for (std::size_t row = 0; row < static_cast<std::size_t>(kMnemonicEndRow); ++row) {
        const MnemonicRow& r = MnemonicTable[row];
        ASSERT_EQ(std::strlen(r.code), r.codeLength) << row;
        ASSERT_TRUE(r.codeLength == 2 || r.codeLength == 4) << row;
        EXPECT_EQ(r.code[0], '@') << row;
        if (r.codeLength == 4) {
            EXPECT_EQ(r.code[2], '@') << row;
        }
        EXPECT_LE(std::strlen(r.mnemonic), 15u) << row;
    }
}

}  // namespace
}  // namespace trv::test
