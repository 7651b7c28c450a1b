// End to end: the keystroke table between the library and the reference
// emulator. Every escape code of the library's own table reaches a 3270
// (session A) and a 5250 (session B) through Send Key as a key the emulator
// knows: it answers 0, or 5 where the station lacks the key, never 2 as for
// a name it cannot read. Keys of each kind, and every PF key, also have their
// effect on the demonstration host's payment screen; what each key does on a
// station is the emulator's own tests'.
#include <set>

#include "e2e_fixture.h"
#include "protocol/mnemonic_table.h"

namespace trv::e2e {
namespace {

// The payment screen (24x80): field positions.
constexpr int32_t kNumber = 4 * 80 + 27;      // row 5, numeric, 6 long
constexpr int32_t kAmount = 6 * 80 + 27;      // row 7, signed numeric, 10 long
constexpr int32_t kReference = 10 * 80 + 27;  // row 11, plain text, 20 long
constexpr int32_t kMessage = 21 * 80 + 2;     // row 22, the host's messages
constexpr int32_t kTop = 1;
constexpr int kOiaInhibitText = 1 + 8;  // the status line's input-inhibited text in the Copy OIA image

struct KeyCase {
    char session;         // 'A' the 3270, 'B' the 5250
    int32_t start;        // cursor before the keys
    std::string keys;     // the Send Key string
    int32_t read;         // what is read afterwards: position and length
    int32_t length;
    std::string text;     // the read text, blanks for nulls; a part of it when shorter
    int32_t cursor;       // cursor afterwards, -1 for any
    const char* oia;      // the OIA's input-inhibited text afterwards ("" none)
    const char* restore;  // keys that bring the payment screen back, after a Reset
};

constexpr const char* kSignOnToPayments = "demo01@Tpalvero@E4@E";

// Attention keys the host names in its message.
#define TRV_HOST_SAYS(session, keys, text) {session, kNumber, keys, kMessage, 78, text, -1, "", ""}

// Keys of each kind (editing, attention, 5250 field keys, keypad, literal
// escape, a key of another kind of terminal), then every PF key:
// PF3 and PF12 lead to the main menu, the others the host names.
std::vector<KeyCase> MakeCases() {
    std::vector<KeyCase> cases = {
        TRV_HOST_SAYS('A', "@E", "Customer  was not found."),
        {'A', kNumber, "@T", kTop, 1, " ", kAmount, "", ""},
        {'A', kReference, "ABC@L@L@D", kReference, 3, "AC ", kReference + 1, "", ""},
        {'A', kReference, "@0", kTop, 1, " ", kNumber, "", ""},
        TRV_HOST_SAYS('A', "@u", "Function key PF7 is not active"),
        TRV_HOST_SAYS('A', "@x", "Function key PA1 is not active"),
        TRV_HOST_SAYS('A', "@A@C", "Test request received."),
        {'B', kAmount, "12@A@E", kAmount, 10, "       12 ", kReference, "", ""},
        {'B', kAmount, "12@A@-", kAmount, 10, "       12-", kReference, "", ""},
        {'A', kReference, "AB@S@x", kReference, 20, "AB******************", kNumber, "", ""},
        {'B', kReference, "@A@X41@A@X7a", kReference, 3, "Az ", kReference + 2, "", ""},
        {'A', kReference, "@M@0@M@1@M@2@M@3@M@4@M@5@M@6@M@7@M@8@M@9", kReference, 10,
         "0123456789", kReference + 10, "", ""},
        {'A', kReference, "a@@b", kReference, 3, "a@b", kReference + 3, "", ""},
        {'A', kReference, "@X@1", kReference, 3, "   ", kReference, "X -f", ""},  // a key the station lacks
    };
    const std::string pfCodes = "123456789abcdefghijklmno";
    for (int pf = 1; pf <= 24; ++pf) {
        const char session = pf == 2 || pf == 24 ? 'B' : 'A';
        const std::string keys = std::string("@") + pfCodes[pf - 1];
        if (pf == 3 || pf == 12) {
            cases.push_back({session, kNumber, keys, kTop, 80, "Main Menu", -1, "", "4@E"});
        } else {
            cases.push_back(TRV_HOST_SAYS(session, keys, "Function key PF" + std::to_string(pf) + " is not active"));
        }
    }
    return cases;
}

const std::vector<KeyCase> kCases = MakeCases();

#undef TRV_HOST_SAYS

// The rows of the table whose code no earlier row has: only those are sent.
std::vector<std::size_t> FirstRowOfEachCode() {
    std::vector<std::size_t> rows;
    std::set<std::string> codes;
    for (std::size_t row = 0; row < static_cast<std::size_t>(kMnemonicEndRow); ++row) {
        if (codes.insert(MnemonicTable[row].code).second) rows.push_back(row);
    }
    return rows;
}

// The status line's input-inhibited text, from the Copy OIA image.
std::string InhibitText() {
    std::vector<char> image(HLLAPI_MAX_DATA, '\0');
    Run(HA_COPY_OIA, image.data(), 104);
    return std::string(image.data() + kOiaInhibitText, 8);
}

// Send Key, then the host's answer (no "X SYSTEM", for up to 15 s; an Attn
// or System Request that replaced an earlier key's answer is answered like
// any other key): the return code.
int32_t SendKeys(const std::string& keys) {
    const int32_t rc = RunText(HA_SENDKEY, keys);
    Eventually([] { return InhibitText().find("SYSTEM") == std::string::npos; }, Milliseconds(15000),
               Milliseconds(10));
    return rc;
}

// keystroke_table: runs every case, one report line each:
// "case <index> <Send Key rc> <cursor> <read bytes, hex> <OIA inhibit text, hex>";
// then every code of the table on each station: "code <session> <row> <rc>".
int KeystrokeTableRole(const std::vector<std::string>&) {
    for (const char session : {'A', 'B'}) {
        if (RunText(HA_CONNECT_PS, std::string(1, session)) != 0 || SendKeys(kSignOnToPayments) != 0) return 1;
        RunText(HA_DISCONNECT_PS, "");
    }
    char connected = 0;
    for (std::size_t i = 0; i < kCases.size(); ++i) {
        const KeyCase& c = kCases[i];
        if (c.session != connected) {
            RunText(HA_DISCONNECT_PS, "");
            RunText(HA_CONNECT_PS, std::string(1, c.session));
            RunText(HA_SET_SESSION_PARMS, "NORESET");
            connected = c.session;
        }
        // With NORESET the Reset is a key of its own; then the input fields are erased.
        SendKeys("@R");
        SendKeys("@A@F");
        Run(HA_SET_CURSOR, nullptr, 0, c.start);
        const int32_t sent = SendKeys(c.keys);
        const int32_t cursor = Run(HA_QUERY_CURSOR_LOC, nullptr, 0).length;
        std::vector<char> read(HLLAPI_MAX_DATA, '\0');
        Run(HA_COPY_PS_TO_STR, read.data(), c.length, c.read);
        Say("case " + Num(static_cast<long long>(i)) + " " + Num(sent) + " " + Num(cursor) + " " +
            Hex({read.data(), static_cast<std::size_t>(c.length)}) + " " + Hex(InhibitText()));
        SendKeys("@R");
        if (c.restore[0] != '\0') SendKeys(c.restore);
    }
    // The library's Reset goes before each code (AUTORESET), so a key that
    // left an error does not refuse the next one.
    RunText(HA_SET_SESSION_PARMS, "AUTORESET");
    for (const char session : {'A', 'B'}) {
        RunText(HA_DISCONNECT_PS, "");
        RunText(HA_CONNECT_PS, std::string(1, session));
        for (const std::size_t row : FirstRowOfEachCode()) {
            const int32_t rc = SendKeys(MnemonicTable[row].code);
            Say("code " + std::string(1, session) + " " + Num(static_cast<long long>(row)) + " " + Num(rc));
        }
    }
    return 0;
}

[[maybe_unused]] const bool kRegistered = RegisterRoles({{"keystroke_table", KeystrokeTableRole}});

std::string Trimmed(std::string text) { return text.erase(text.find_last_not_of(' ') + 1); }

TEST_F(EmulatorEndToEnd, EveryCodeOfTheKeystrokeTableIsAKeyOfTheEmulator) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"keys3270=A", "keys5250=B"}));
    Report report = RunCaller("keystroke_table");
    const auto lines = report.All("case");
    ASSERT_EQ(lines.size(), kCases.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const KeyCase& c = kCases[i];
        const auto& got = lines[i];
        ASSERT_EQ(got.size(), 5u);
        SCOPED_TRACE(std::string(1, c.session) + ": " + c.keys);
        EXPECT_EQ(Trimmed(FromHex(got[4])), c.oia);
        EXPECT_EQ(got[1], c.oia[0] == '\0' ? "0" : "5") << "Send Key's return code";
        if (c.cursor >= 0) {
            EXPECT_EQ(std::stoi(got[2]), c.cursor) << "cursor";
        }
        const std::string read = FromHex(got[3]);
        if (c.text.size() == static_cast<std::size_t>(c.length)) {
            EXPECT_EQ(Trimmed(read), Trimmed(c.text));
        } else {
            EXPECT_NE(read.find(c.text), std::string::npos) << "read: " << read;
        }
    }

    const auto sent = report.All("code");
    EXPECT_EQ(sent.size(), 2 * FirstRowOfEachCode().size());
    for (const auto& line : sent) {
        ASSERT_EQ(line.size(), 3u);
        const MnemonicRow& row = MnemonicTable.at(std::stoul(line[1]));
        EXPECT_TRUE(line[2] == "0" || line[2] == "5")
            << row.code << " as " << row.mnemonic << " on " << line[0] << " answered " << line[2];
    }
}

}  // namespace
}  // namespace trv::e2e
