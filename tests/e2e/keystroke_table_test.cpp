// End to end: every row of the keystroke table that names a key of a 3270
// or a 5250 station reaches the reference emulator through Send Key and has
// its effect on the screen; keys of other kinds of terminal, and keys the
// station lacks, show "minus function". Session A is a 3270 and session B
// a 5250, both on the demonstration host's payment screen, whose fields
// are numeric, signed numeric, a selector-pen field and plain text.
//
// One caller role runs every case of the table below and reports what it
// saw; the test holds each report against the case's expectation. Between
// cases the caller resets the keyboard (NORESET is on, so Reset is a key of
// its own here), erases the input fields and sets the cursor.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "e2e_fixture.h"

namespace trv::e2e {
namespace {

// The payment screen (24x80): field positions.
constexpr int32_t kNumber = 4 * 80 + 27;      // row 5, numeric, 6 long
constexpr int32_t kAmount = 6 * 80 + 27;      // row 7, signed numeric, 10 long
constexpr int32_t kReceipt = 8 * 80 + 27;     // row 9, selector-pen field, designator '?'
constexpr int32_t kReference = 10 * 80 + 27;  // row 11, plain text, 20 long
constexpr int32_t kMessage = 21 * 80 + 2;     // row 22, the host's messages
constexpr int32_t kTop = 1;
constexpr int kOiaInhibitText = 1 + 8;  // the status line's input-inhibited text in the Copy OIA image

enum class Check { kExact, kContains, kAttribute };

struct KeyCase {
    std::string rows;     // the table rows the case covers (rows sharing a code go together)
    char session;         // 'A' the 3270, 'B' the 5250
    int32_t start;        // cursor before the keys
    std::string keys;     // Send Key strings, '|' between calls
    int32_t read;         // what is read afterwards: position and length
    int32_t length;
    Check check;
    std::string text;     // kExact: the read text, blanks for nulls; kContains: a part of it;
                          // kAttribute: the character and its extended attribute, two hex digits each
    int32_t cursor;       // cursor afterwards, -1 for any
    const char* oia;      // the OIA's input-inhibited text afterwards ("" none)
    const char* restore;  // keys that bring the payment screen back, after a Reset
};

constexpr const char* kBackToPayments = "4@E";
constexpr const char* kSignOnToPayments = "demo01@Tpalvero@E4@E";

// Cases whose keys do nothing on the screen: the screen is read at the
// reference field, which stays blank, and the cursor stays.
#define TRV_NO_EFFECT(rows, session, keys) \
    {rows, session, kReference, keys, kReference, 3, Check::kExact, "   ", kReference, "", ""}
// Keys the station lacks.
#define TRV_MINUS(rows, session, keys) \
    {rows, session, kReference, keys, kReference, 3, Check::kExact, "   ", kReference, "X -f", ""}
// Attention keys the host names in its message.
#define TRV_HOST_SAYS(rows, session, keys, text) \
    {rows, session, kNumber, keys, kMessage, 78, Check::kContains, text, -1, "", ""}

std::vector<KeyCase> ListedCases() {
    return {
    TRV_HOST_SAYS("0", 'A', "@E", "Customer  was not found."),
    {"1", 'A', kNumber, "@T", kTop, 1, Check::kExact, " ", kAmount, "", ""},
    {"2", 'A', kAmount + 3, "@B", kTop, 1, Check::kExact, " ", kAmount, "", ""},
    {"3", 'A', kNumber, "@C", kTop, 80, Check::kExact, "", 1, "", "@E"},
    {"4 5", 'A', kReference, "ABC@L@L@D", kReference, 3, Check::kExact, "AC ", kReference + 1, "", ""},
    {"6 7", 'A', kReference, "ABCD@L@L@F", kReference, 4, Check::kExact, "AB  ", kReference + 2, "", ""},
    {"8", 'A', kReference, "AB@<", kReference, 2, Check::kExact, "AB", kReference + 1, "", ""},
    {"9", 'A', kNumber, "@N", kTop, 1, Check::kExact, " ", kAmount, "", ""},
    {"10", 'A', kNumber, "x|@R", kNumber, 1, Check::kExact, " ", kNumber, "", ""},
    {"11", 'A', kAmount, "@U", kTop, 1, Check::kExact, " ", kAmount - 80, "", ""},
    {"12", 'A', kNumber, "@V", kTop, 1, Check::kExact, " ", kNumber + 80, "", ""},
    {"13", 'A', kNumber, "@Z", kTop, 1, Check::kExact, " ", kNumber + 1, "", ""},
    {"14", 'A', kNumber + 2, "@L", kTop, 1, Check::kExact, " ", kNumber + 1, "", ""},
    {"15", 'A', kReference, "@0", kTop, 1, Check::kExact, " ", kNumber, "", ""},
    {"18", 'A', kNumber, "@3", kTop, 80, Check::kContains, "Main Menu", -1, "", kBackToPayments},
    {"27", 'B', kNumber, "@c", kTop, 80, Check::kContains, "Main Menu", -1, "", kBackToPayments},
    {"28 29", 'A', kReference, "AB@L@L@q", kReference, 2, Check::kExact, "AB", kReference + 2, "", ""},
    TRV_HOST_SAYS("30 31", 'A', "@u", "Function key PF7 is not active"),
    TRV_HOST_SAYS("30 31", 'B', "@u", "Function key PF7 is not active"),
    TRV_HOST_SAYS("32 33", 'A', "@v", "Function key PF8 is not active"),
    TRV_HOST_SAYS("32 33", 'B', "@v", "Function key PF8 is not active"),
    TRV_HOST_SAYS("34", 'A', "@x", "Function key PA1 is not active"),
    TRV_HOST_SAYS("35", 'A', "@y", "Function key PA2 is not active"),
    TRV_HOST_SAYS("36", 'A', "@z", "Function key PA3 is not active"),
    TRV_MINUS("34", 'B', "@x"),
    {"37", 'B', kAmount, "12@A@E", kAmount, 10, Check::kExact, "       12 ", kReference, "", ""},
    TRV_MINUS("37", 'A', "@A@E"),
    {"38 39", 'A', kNumber, "@A@H", kTop, 80, Check::kContains, "Sign On", -1, "", kSignOnToPayments},
    {"40 41", 'A', kReference, "AB@L@L@A@IX", kReference, 3, Check::kExact, "XAB", kReference + 1, "", ""},
    {"42 43 44", 'A', kReceipt + 2, "@A@J", kReceipt, 3, Check::kExact, "> s", kReceipt + 2, "", "@A@J"},
    TRV_MINUS("42 43 44", 'B', "@A@J"),
    TRV_HOST_SAYS("45", 'B', "@A@O", "Customer  was not found."),
    TRV_HOST_SAYS("46 47", 'A', "@A@Q", "Attention received"),
    TRV_HOST_SAYS("46 47", 'B', "@A@Q", "Attention received"),
    {"48", 'B', kAmount, "12@A@-", kAmount, 10, Check::kExact, "       12-", kReference, "", ""},
    TRV_MINUS("48", 'A', "@A@-"),
    {"49", 'B', kAmount, "12@A@+", kAmount, 10, Check::kExact, "       12 ", kReference, "", ""},
    TRV_MINUS("49", 'A', "@A@+"),
    {"50", 'B', kReference, "@A@<", kTop, 1, Check::kExact, " ", kNumber, "", ""},
    TRV_MINUS("50", 'A', "@A@<"),
    {"51", 'A', kReference, "AB@S@x", kReference, 20, Check::kExact, "AB******************", kNumber, "", ""},
    {"51", 'B', kAmount, "1@S@x", kAmount, 4, Check::kExact, "1***", kReference, "", ""},
    {"52 53", 'A', kReference, "A@S@yB", kReference, 3, Check::kExact, "A;B", kReference + 3, "", ""},
    TRV_MINUS("52 53", 'B', "@S@y"),
    {"54", 'A', kReference, "AB@L@L@IX", kReference, 3, Check::kExact, "XAB", kReference + 1, "", ""},
    TRV_HOST_SAYS("67", 'A', "@A@u", "Function key PF8 is not active"),
    TRV_HOST_SAYS("68", 'B', "@A@v", "Function key PF7 is not active"),
    {"69 70", 'A', kReference, "ab cd ef@B@A@yX", kReference, 8, Check::kExact, "ab Xd ef", kReference + 4, "", ""},
    {"71 72", 'A', kReference, "ab cd ef@A@zX", kReference, 8, Check::kExact, "ab cd Xf", kReference + 7, "", ""},
    {"73 74 75", 'A', kReference, "ab cd ef@B@A@D", kReference, 8, Check::kExact, "cd ef   ", kReference, "", ""},
    {"76 77 78", 'A', kReference, "abcd@A@LX", kReference, 4, Check::kExact, "abXd", kReference + 3, "", ""},
    {"79 80 81", 'A', kReference, "@A@ZX", kReference, 3, Check::kExact, "  X", kReference + 3, "", ""},
    {"82 83 84", 'A', kReference, "@A@U", kTop, 1, Check::kExact, " ", kReference - 160, "", ""},
    {"85 86 87", 'A', kReference, "@A@V", kTop, 1, Check::kExact, " ", kReference + 160, "", ""},
    {"94 95", 'A', kReference, "AB@A@F", kReference, 2, Check::kExact, "  ", kNumber, "", ""},
    TRV_HOST_SAYS("96", 'B', "@H", "Help: Enter submits"),
    TRV_MINUS("96", 'A', "@H"),
    TRV_NO_EFFECT("97", 'A', "@J"),
    TRV_NO_EFFECT("98 99", 'A', "@A@R"),
    TRV_NO_EFFECT("100", 'A', "@A@T"),
    TRV_NO_EFFECT("101", 'A', "@A@t"),
    TRV_NO_EFFECT("102", 'A', "@S@E"),
    TRV_NO_EFFECT("103", 'A', "@P"),
    TRV_HOST_SAYS("100", 'B', "@A@T", "Print request accepted."),
    TRV_HOST_SAYS("103", 'B', "@P", "Print request accepted."),
    {"104 105", 'A', kReference, "A@OB", kReference, 3, Check::kExact, "A B", kReference + 3, "", ""},
    {"106", 'B', kReference, "@A@X41@A@X7a", kReference, 3, Check::kExact, "Az ", kReference + 2, "", ""},
    TRV_MINUS("106", 'A', "@A@X"),
    {"140 141 142 143 144 145 146 147 148 149", 'A', kReference, "@M@0@M@1@M@2@M@3@M@4@M@5@M@6@M@7@M@8@M@9",
     kReference, 10, Check::kExact, "0123456789", kReference + 10, "", ""},
    {"150 151 152", 'B', kReference, "@M@-@M@,@M@.", kReference, 3, Check::kExact, "-,.", kReference + 3, "", ""},
    TRV_HOST_SAYS("153", 'A', "@M@e", "Customer  was not found."),
    {"180", 'A', kReference, "@A@9X@A@c", kReference, 1, Check::kAttribute, "5880", -1, "", ""},
    {"181", 'A', kReference, "@A@bX@A@c", kReference, 1, Check::kAttribute, "58c0", -1, "", ""},
    {"182", 'A', kReference, "@A@9@A@cX", kReference, 1, Check::kAttribute, "5800", -1, "", ""},
    {"183", 'A', kReference, "@A@d@A@lX", kReference, 1, Check::kAttribute, "5800", -1, "", ""},
    {"184", 'A', kReference, "@A@dX@A@l", kReference, 1, Check::kAttribute, "5810", -1, "", ""},
    {"185", 'A', kReference, "@A@eX@A@l", kReference, 1, Check::kAttribute, "5818", -1, "", ""},
    {"186", 'A', kReference, "@A@fX@A@l", kReference, 1, Check::kAttribute, "5820", -1, "", ""},
    {"187", 'A', kReference, "@A@gX@A@l", kReference, 1, Check::kAttribute, "5830", -1, "", ""},
    {"188", 'A', kReference, "@A@hX@A@l", kReference, 1, Check::kAttribute, "5808", -1, "", ""},
    {"189", 'A', kReference, "@A@iX@A@l", kReference, 1, Check::kAttribute, "5828", -1, "", ""},
    {"190", 'A', kReference, "@A@jX@A@l", kReference, 1, Check::kAttribute, "5838", -1, "", ""},
    TRV_MINUS("184", 'B', "@A@d"),
    {"191 192", 'A', kReference, "@Yab@Y", kReference, 2, Check::kExact, "AB", kReference + 2, "", ""},
    TRV_NO_EFFECT("193 194", 'A', "@s"),
    TRV_NO_EFFECT("195 196", 'B', "@t"),
    TRV_NO_EFFECT("197 198", 'A', "@$"),
    TRV_MINUS("197 198", 'B', "@$"),
    TRV_HOST_SAYS("199 200", 'A', "@A@C", "Test request received."),
    TRV_HOST_SAYS("199 200", 'B', "@A@C", "Test request received."),
    {"201", 'A', kReference, "a@@b", kReference, 3, Check::kExact, "a@b", kReference + 3, "", ""},
    // Keys of double-byte, character and bidirectional terminals (more below).
    TRV_MINUS("88", 'A', "@X@1"), TRV_MINUS("89", 'A', "@X@5"), TRV_MINUS("90", 'A', "@X@6"),
    TRV_MINUS("91", 'A', "@X@7"), TRV_MINUS("92", 'A', "@X@c"), TRV_MINUS("93", 'A', "@X"),
    TRV_MINUS("222", 'A', "@Sr"), TRV_MINUS("204", 'A', "@Se"),
    };
}

// The listed cases, then the rows that follow a pattern: the function keys
// the payment screen does not use (PF3 and PF12 lead to the main menu,
// listed), which the host names; and runs of codes of other kinds of
// terminal, each tried on the 3270 but the last of a run on the 5250.
std::vector<KeyCase> MakeCases() {
    std::vector<KeyCase> cases = ListedCases();
    const std::string pfCodes = "123456789abcdefghijklmno";
    for (int pf = 1; pf <= 24; ++pf) {
        if (pf == 3 || pf == 12) continue;
        const int row = pf <= 12 ? 15 + pf : 42 + pf;
        const char session = pf == 2 || pf == 24 ? 'B' : 'A';
        cases.push_back(TRV_HOST_SAYS(std::to_string(row), session, std::string("@") + pfCodes[pf - 1],
                                      "Function key PF" + std::to_string(pf) + " is not active"));
    }
    const struct {
        int firstRow;
        const char* prefix;
        std::string finals;
        bool lastOn5250;
    } runs[] = {
        {107, "@M@", " ABCDEFGHIJKLMNOPQRSTUVWXYZuvwxyz", true},
        {154, "@M@", "firspnabcdh", false},
        {165, "@Q@", "ABCDEFGHIJKLMNO", true},
        {202, "@:@", "snlFpeardfimthubo", false},
        {219, "@S@", "SRA<>", true},
    };
    for (const auto& run : runs) {
        for (std::size_t i = 0; i < run.finals.size(); ++i) {
            const char session = run.lastOn5250 && i + 1 == run.finals.size() ? 'B' : 'A';
            cases.push_back(TRV_MINUS(std::to_string(run.firstRow + static_cast<int>(i)), session,
                                      run.prefix + std::string(1, run.finals[i])));
        }
    }
    return cases;
}

const std::vector<KeyCase> kCases = MakeCases();

#undef TRV_NO_EFFECT
#undef TRV_MINUS
#undef TRV_HOST_SAYS

// --- the caller role ----------------------------------------------------

// The 104-byte status image.
std::vector<char> StatusImage() {
    std::vector<char> image(HLLAPI_MAX_DATA, '\0');
    Run(HA_COPY_OIA, image.data(), 104);
    return image;
}

// Follows the status line until the host has answered (no "X SYSTEM"), for
// up to 15 s. An Attn or System Request that replaced an earlier key's
// answer is answered like any other key.
void AwaitHost() {
    Eventually([] { return std::string(StatusImage().data() + kOiaInhibitText, 8).find("SYSTEM") == std::string::npos; },
               Milliseconds(15000), Milliseconds(10));
}

int32_t SendKeys(const std::string& keys) {
    int32_t rc = 0;
    std::size_t start = 0;
    while (start <= keys.size()) {
        std::size_t end = keys.find('|', start);
        if (end == std::string::npos) end = keys.size();
        rc = RunText(HA_SENDKEY, keys.substr(start, end - start));
        AwaitHost();
        start = end + 1;
    }
    return rc;
}

// keystroke_table: runs every case, one report line each:
// "case <index> <Send Key rc> <cursor> <read bytes, hex> <OIA inhibit text, hex>".
int KeystrokeTableRole(const std::vector<std::string>&) {
    for (const char session : {'A', 'B'}) {
        Say("connect_" + std::string(1, session) + " " + Num(RunText(HA_CONNECT_PS, std::string(1, session))));
        Say("sign_on_" + std::string(1, session) + " " + Num(SendKeys(kSignOnToPayments)));
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
        SendKeys("@R");
        SendKeys("@A@F");
        Run(HA_SET_CURSOR, nullptr, 0, c.start);
        const int32_t sent = SendKeys(c.keys);
        const int32_t cursor = Run(HA_QUERY_CURSOR_LOC, nullptr, 0).length;
        std::vector<char> read(HLLAPI_MAX_DATA, '\0');
        std::size_t bytes = static_cast<std::size_t>(c.length);
        if (c.check == Check::kAttribute) {
            RunText(HA_SET_SESSION_PARMS, "EAB");
            Run(HA_COPY_PS_TO_STR, read.data(), 2 * c.length, c.read);
            RunText(HA_SET_SESSION_PARMS, "NOEAB");
            bytes *= 2;
        } else {
            Run(HA_COPY_PS_TO_STR, read.data(), c.length, c.read);
        }
        const auto image = StatusImage();
        Say("case " + Num(static_cast<long long>(i)) + " " + Num(sent) + " " + Num(cursor) + " " +
            Hex(read.data(), bytes) + " " + Hex(image.data() + kOiaInhibitText, 8));
        SendKeys("@R");
        if (c.restore[0] != '\0') SendKeys(c.restore);
    }
    return 0;
}

[[maybe_unused]] const bool kRegistered = RegisterRoles({
    {"keystroke_table", KeystrokeTableRole, 0},
});

// --- the test -----------------------------------------------------------

std::string Trimmed(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

TEST_F(EmulatorEndToEnd, EveryTerminalKeyOfTheKeystrokeTableHasItsEffect) {
    // Every row but the end row is covered by some case.
    std::set<int> covered;
    for (const KeyCase& c : kCases) {
        std::istringstream rows(c.rows);
        for (int row; rows >> row;) covered.insert(row);
    }
    for (int row = 0; row < 224; ++row) EXPECT_TRUE(covered.count(row)) << "no case for row " << row;

    ASSERT_NO_FATAL_FAILURE(StartEmulator({"keys3270=A", "keys5250=B"}));
    Report report = RunCaller("keystroke_table");
    for (const char* session : {"A", "B"}) {
        ASSERT_EQ(report.Joined(std::string("connect_") + session), "0");
        ASSERT_EQ(report.Joined(std::string("sign_on_") + session), "0");
    }
    const auto lines = report.All("case");
    ASSERT_EQ(lines.size(), kCases.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const KeyCase& c = kCases[i];
        const auto& got = lines[i];
        ASSERT_EQ(got.size(), 5u);
        SCOPED_TRACE(std::string("rows ") + c.rows + " on " + c.session + ": " + c.keys);
        const std::string oia = Trimmed(FromHex(got[4]));
        EXPECT_EQ(oia, c.oia);
        EXPECT_EQ(got[1], c.oia[0] == '\0' ? "0" : "5") << "Send Key's return code";
        if (c.cursor >= 0) {
            EXPECT_EQ(std::stoi(got[2]), c.cursor) << "cursor";
        }
        const std::string read = FromHex(got[3]);
        switch (c.check) {
            case Check::kExact:
                EXPECT_EQ(Trimmed(read), Trimmed(c.text));
                EXPECT_EQ(read.size(), static_cast<std::size_t>(c.length));
                break;
            case Check::kContains:
                EXPECT_NE(read.find(c.text), std::string::npos) << "read: " << read;
                break;
            case Check::kAttribute:
                EXPECT_EQ(got[3], c.text);
                break;
        }
    }
}

}  // namespace
}  // namespace trv::e2e
