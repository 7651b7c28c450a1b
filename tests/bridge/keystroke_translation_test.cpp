// Send Key on the emulator side: what the fake emulator's "SendKeys" receives
// for a caller's keystroke string.
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "bridge/keystroke_translation.h"
#include "tables/session_parms.h"
#include "bridge_fixture.h"
#include "tables/application_block.h"
#include "trvha64.h"

namespace trv::test {
namespace {

// "SendKeys" records its calls; Sent() gives each as its text, with " retry"
// when the retry flag was set, and forgets them.
class SendKeyTest : public SessionTest {
public:
    void SetUp() override {
        SessionTest::SetUp();
        Record("SendKeys", "([BZ)J", 0);
    }

    std::vector<std::string> Sent() {
        std::vector<std::string> sent;
        for (const RecordedCall& call : calls_["SendKeys"]) sent.push_back(call.text + (call.ints[0] ? " retry" : ""));
        calls_.clear();
        return sent;
    }
};

// A keystroke string, its DataLength (its size unless given), and what
// "SendKeys" receives after the reset; no `sent`: refused with 2 and only the
// reset is sent. Which mnemonic each code stands for is the end-to-end
// keystroke table test's; here, how codes are found and the string is read.
struct KeysRow {
    std::string keys;
    std::optional<std::string> sent;
    bool retry = true;
    std::uint32_t parms = 0;
    char escape = '@';
    char eot = 0;
    std::uint32_t length = ~0u;
};

const KeysRow kKeysRows[] = {
    {"ABC@Edef", "ABC[enter]def"},
    {"@D", "[delete]"},  // the first row with the code, not "[delete char]"
    {"a[b]c", "a[[b]]c"},
    {"@X@1@X", "[dispsosi][dbcs]"},  // four-byte codes are found before the two-byte one
    {"@AxH", "[sysreq]"},            // the third byte is not compared
    {"@Sr", "[screenrtl]"},
    {"@Sl@Se@Sh", "[screenltr][latinlayer][bidilayer]"},
    {"", ""},
    // No retry for a reset, Sys Req or Attention at the string's start, and
    // with NORETRY.
    {"@A@H", "[sysreq]", false},
    {"@A@Qx", "[attn]x", false},
    {"@Rabc", "[reset]abc", false},
    {"ab@E", "ab[enter]", false, parms::kNoRetry},
    {"ab@A@H", "ab[sysreq]"},
    // Another escape character; the retry test looks for '@' only.
    {"#E", "[enter]", true, 0, '#'},
    {"#A#Q", "[attn]", true, 0, '#'},
    {"@E#T", "@E[tab]", true, 0, '#'},
    // The string ends at the end character, the caller's length, or a zero.
    {"ABC@E$XYZ", "ABC[enter]", true, parms::kStrEot, '@', '$'},
    {"ABC@EXYZ", "ABC[enter]", true, 0, '@', 0, 5},
    {std::string("AB\0@E", 5), "AB"},
    // "@Sr@Sr": only the first occurrence is pre-translated; "@S@r" is no code.
    {"@K", {}},
    {"abc@", {}},
    {"x@A", {}},
    {"@A@W", {}},
    {"@[", {}},
    {"@Sr@Sr", {}},
    // NORESET: nothing before the keys.
    {"@E", "[enter]", true, parms::kNoReset},
    {"@K", {}, true, parms::kNoReset},
    // Within Data: a length beyond it is cut at its end; STREOT without the
    // end character in Data is refused; an escape character in its last byte
    // is read as if zeros followed; a pre-translated code with room after it
    // moves the rest along.
    {std::string(kDataSize, 'x'), std::string(kDataSize, 'x'), true, 0, '@', 0, 0xFFFFFFF0u},
    {std::string(kDataSize, 'x'), {}, true, parms::kStrEot, '@', '$', 3},
    {std::string(kDataSize - 1, 'y') + "@", {}},
    {std::string(kDataSize - 8, 'z') + "@Srz", std::string(kDataSize - 8, 'z') + "[screenrtl]z"},
};

TEST_F(SendKeyTest, KeystrokesBecomeMnemonics) {
    for (const KeysRow& row : kKeysRows) {
        SCOPED_TRACE(row.keys.substr(0, 16));
        ApplicationBlock& block = Block(row.parms);
        block.EscChar = row.escape;
        block.EotChar = row.eot;
        std::memcpy(block.Data, row.keys.data(), row.keys.size());
        block.DataLength = row.length != ~0u ? row.length : static_cast<std::uint32_t>(row.keys.size());
        EXPECT_EQ(Run(block, HA_SENDKEY), row.sent ? 0 : kUnknownKeyCode);
        std::vector<std::string> expected;
        if ((row.parms & parms::kNoReset) == 0) expected.push_back("[reset]");
        if (row.sent) expected.push_back(*row.sent + (row.retry ? " retry" : ""));
        EXPECT_EQ(Sent(), expected);
    }
}

TEST_F(SendKeyTest, TheResetsAnswerDoesNotStopTheKeys) {
    Record("SendKeys", "([BZ)J", (jlong{1} << 32) | 5);  // plain: the low 32 bits
    ApplicationBlock& block = Block(0, 1);
    block.Data[0] = 'x';
    EXPECT_EQ(Run(block, HA_SENDKEY), 5);
    EXPECT_EQ(Sent().size(), 2u);
}

// A pre-translation pattern in Data's last bytes: its replacement is cut at
// Data's end (leaving no known code) and nothing beyond is written.
TEST_F(SendKeyTest, PreTranslationStaysWithinData) {
    ApplicationBlock& block = Block(0, kDataSize);
    std::memset(block.Data, 'z', kDataSize);
    std::memcpy(block.Data + kDataSize - 3, "@Sr", 3);
    const auto afterData = reinterpret_cast<const std::uint8_t*>(&block.Data) + kDataSize;
    const std::vector<std::uint8_t> beyond(afterData, afterData + 16);
    EXPECT_EQ(Run(block, HA_SENDKEY), kUnknownKeyCode);
    EXPECT_EQ(block.DataLength, kDataSize + 1);
    EXPECT_EQ(std::memcmp(block.Data + kDataSize - 4, "z@S@", 4), 0);
    EXPECT_EQ(std::vector<std::uint8_t>(afterData, afterData + 16), beyond);
}

}  // namespace
}  // namespace trv::test
