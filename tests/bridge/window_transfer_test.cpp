// The file-transfer and window-services handlers. No test here has a real
// emulator window: window operations answer as for one that cannot be found.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "bridge/bridge_call.h"
#include "bridge/transfer_options.h"
#include "bridge_fixture.h"
#include "protocol/caller_data.h"
#include "tables/application_block.h"
#include "tables/session_list.h"
#include "trvha64.h"

namespace trv::test {
namespace {

using WindowTransferTest = SessionTest;

struct SplitRow {
    const char* rest;
    bool removeProgress;
    bool valid;
    const char* hostFile;
    const char* options;
    std::int32_t timeout;
    bool clear;
};

TEST(TransferOptionsTest, TheRestSplitsIntoHostFileAndOptions) {
    const SplitRow rows[] = {
        {"FN FT A1 (TIME(30) CLEAR ", false, true, "FN FT A1", "( ", 30, true},
        {"FN FT A1 NOCLEAR QUIET ", false, true, "FN FT A1", "  ", -1, false},
        {"FN FT ", false, false, "FN FT", "", -1, false},
        {"FN  FT   A1    ASCII CRLF ", false, true, "FN FT A1", "ASCII CRLF ", -1, false},
        {"FN FT A1", false, true, "FN FT A1", "", -1, false},
        {"FN FT A1 (ASCII TIME (45) CRLF ", false, true, "FN FT A1", "(ASCII  CRLF ", 45, false},
        {"FN FT A1 (TIME 7 APPEND ", false, true, "FN FT A1", "(APPEND ", 7, false},
        {"FN FT A1 (TIME(12", false, true, "FN FT A1", "(", 12, false},
        {"FN FT A1 TIME (12 APPEND ", false, true, "FN FT A1", "APPEND ", 12, false},
        {"FN FT A1 ASCII TIME ", false, true, "FN FT A1", "ASCII ", -1, false},
        {"FN FT A1 TIME(99999999999) ", false, true, "FN FT A1", "", 2147483647, false},
        {"FN FT A1 CLEAR,QUIET,ASCII ", false, true, "FN FT A1", "ASCII ", -1, true},
        {"FN FT A1 NOCLEAR,CLEAR ", false, true, "FN FT A1", " ", -1, true},
        {"FN FT A1 PROGRESS,ASCII PROGRESS ", true, true, "FN FT A1", "ASCII  ", -1, false},
        {"FN FT A1 PROGRESS,ASCII PROGRESS ", false, true, "FN FT A1", "PROGRESS,ASCII PROGRESS ", -1, false},
    };
    for (const SplitRow& row : rows) {
        SCOPED_TRACE(std::string("rest [") + row.rest + "]");
        const TransferRequest request = SplitTransferOptions(row.rest, row.removeProgress);
        EXPECT_EQ(request.valid, row.valid);
        EXPECT_EQ(request.hostFile, row.hostFile);
        EXPECT_EQ(request.options, row.options);
        EXPECT_EQ(request.timeout, row.timeout);
        EXPECT_EQ(request.clear, row.clear);
    }
    EXPECT_FALSE(SplitTransferOptions(std::string(130, 'H') + " " + std::string(130, 'F') + " A1 ", false).valid)
        << "a host file longer than 255 characters";
}

TEST_F(WindowTransferTest, SendReceiveFileHandsTheTransferToTheEmulator) {
    ApplicationBlock& block = Block();
    std::strcpy(block.XferPCFile, "C:\\DATA\\PCFILE.TXT");
    // A transfer with `options` (XferOptions' size at most), the emulator
    // answering `answer`: the return code, then what the emulator received.
    auto transfer = [&](std::uint32_t function, const std::string& options, jlong answer) {
        calls_.clear();
        Record("SendReceiveFile", "(ILjava/lang/String;Ljava/lang/String;Ljava/lang/String;ZZ)J", answer);
        std::memset(block.XferOptions, 0, sizeof block.XferOptions);
        std::memcpy(block.XferOptions, options.data(), std::min(options.size(), sizeof block.XferOptions));
        std::string sent = std::to_string(Run(block, function));
        for (const RecordedCall& call : calls_["SendReceiveFile"]) {
            for (const std::string& text : call.texts) sent += " [" + text + "]";
            for (jint value : call.ints) sent += " " + std::to_string(value);
        }
        return sent;
    };
    EXPECT_EQ(transfer(HA_SEND_FILE, "FN FT A1 (ASCII TIME(30) CLEAR ", 0),
              "3 [C:\\DATA\\PCFILE.TXT] [FN FT A1] [(ASCII  ] 30 1 1") << "a completed transfer answers 3";
    // Receive, no TIME: -1; the emulator's own codes pass unchanged.
    EXPECT_EQ(transfer(HA_RECEIVE_FILE, "FN FT A1 NOCLEAR ", 27), "27 [C:\\DATA\\PCFILE.TXT] [FN FT A1] [ ] -1 0 0");
    EXPECT_EQ(transfer(HA_RECEIVE_FILE, "FN FT ", 27), "2") << "fewer than three words";
    // Options filling the whole field, with no terminator, are read within it.
    EXPECT_EQ(transfer(HA_RECEIVE_FILE, "FN FT A1 " + std::string(kTransferOptionsSize, 'X'), 27),
              "27 [C:\\DATA\\PCFILE.TXT] [FN FT A1] [" + std::string(kTransferOptionsSize - 9, 'X') + "] -1 0 0");
}

// Connect Window Services keeps the emulator's title (no window has it).
// Query Window Coordinates reads the emulator's text " L<left> B<bottom>
// R<right> T<top>W" between its markers into the reply record; any other
// text answers 9. The emulator's own codes pass unchanged.
TEST_F(WindowTransferTest, ConnectAndCoordinatesTakeTheEmulatorsAnswers) {
    ApplicationBlock& block = Block();
    block.Data[0] = kSessionLetter;
    Record("GetWindowTitle", "()J", 0, &block, "Session H - demo");
    EXPECT_EQ(Run(block, HA_CONNECT_PM_SRVCS), 0);
    const SessionBlock session = Sessions()->GetSession(kSessionLetter);
    EXPECT_STREQ(session.WindowTitle, "Session H - demo");
    EXPECT_EQ(session.WindowHandle, 0u) << "no such window exists";
    EXPECT_EQ(std::vector<std::uint8_t>(block.Data, block.Data + 5),
              std::vector<std::uint8_t>({kSessionLetter, 0, 0, 0, 0}));
    Record("GetWindowTitle", "()J", 12);
    EXPECT_EQ(Run(block, HA_CONNECT_PM_SRVCS), 12);

    Record("QueryWindowCoordinates", "()J", 0, &block, "xx L10 B410 R610 T-300W");
    EXPECT_EQ(Run(block, HA_QUERY_WINDOW_COORDS), 0);
    WindowCoordinatesReply reply;
    std::memcpy(&reply, block.Data, sizeof reply);
    EXPECT_EQ(reply.ShortName, kSessionLetter);
    EXPECT_EQ(std::vector<std::int32_t>({reply.XLeft, reply.YBottom, reply.XRight, reply.YTop}),
              std::vector<std::int32_t>({10, 410, 610, -300}));
    EXPECT_EQ(block.Data[sizeof reply], 0);
    for (const char* bad : {"nothing", "L10 B410 R610 T10W", " L10 B410 R610 T10", " L10 R610 B410 T10W",
                            " L B1 R2 T3W", " L1000000000 B1000000000 R1000000000 T100W"}) {
        Record("QueryWindowCoordinates", "()J", 0, &block, bad);
        EXPECT_EQ(Run(block, HA_QUERY_WINDOW_COORDS), kJavaCallFailed) << bad;
    }
    Record("QueryWindowCoordinates", "()J", 7);
    EXPECT_EQ(Run(block, HA_QUERY_WINDOW_COORDS), 7);
}

TEST_F(WindowTransferTest, WindowStatusWithoutAWindow) {
    ApplicationBlock& block = Block();
    Record("IsVisible", "()J", 1);
    Record("QueryWindowCoordinates", "()J", 0, &block, " L10 B410 R610 T10W");
    Record("GetFontDimensions", "()J", (jlong{8} << 16) | 16);

    // Queries: only the visibility is known, the rectangle is the emulator's.
    std::memset(block.Data, 0x5A, kDataSize);
    EXPECT_EQ(WindowStatus(kWindowStatusQuery, 0xFFFF), 0);
    EXPECT_EQ(status_.ShortName, kSessionLetter);
    EXPECT_EQ(status_.Flags, window_flags::kShow);
    EXPECT_EQ(std::vector<std::int32_t>({status_.X, status_.Y, status_.Width, status_.Height}),
              std::vector<std::int32_t>({10, 10, 600, 400}));
    EXPECT_EQ(block.Data[sizeof status_], 0) << "the rest of Data is cleared";

    Record("IsVisible", "()J", 0);
    std::memset(block.Data, 0x5A, kDataSize);
    EXPECT_EQ(WindowStatus(kWindowStatusQueryExtended, 0xFFFF), 0);
    EXPECT_EQ(status_.Flags, window_flags::kHide);
    std::uint16_t words[6];
    std::memcpy(words, block.Data + kWindowStatusFontWidthOffset, sizeof words);
    EXPECT_EQ(std::vector<std::uint16_t>(words, words + 6), std::vector<std::uint16_t>({8, 16, 0, 0, 1, 1}));
    std::uint64_t window = 1;
    std::memcpy(&window, block.Data + kWindowStatusHandleOffset, sizeof window);
    EXPECT_EQ(window, 0u);
    EXPECT_EQ(block.Data[sizeof status_], 0x5A) << "the extended query leaves the rest of Data";

    Record("IsVisible", "()J", 9);
    EXPECT_EQ(WindowStatus(kWindowStatusQuery, 0), 9);
    EXPECT_EQ(WindowStatus(7, 0xFFFF), 0);
    EXPECT_EQ(status_.Flags, 0xFFFF) << "another option changes nothing";

    // Sets: the flags and what SetVisible received (sizing and moving the
    // missing window fail before it; foreground failures do not stop the
    // request and answer 516); its own failure answers its code.
    Record("SetVisible", "(Z)J", 0);
    namespace flags = window_flags;
    const struct {
        std::uint16_t flags;
        std::int32_t result;
        std::vector<jint> visible;
    } sets[] = {{flags::kShow, 0, {1}},
                {flags::kSize | flags::kShow, 1, {}},
                {flags::kMove | flags::kMinimize, 1, {}},
                {flags::kActivate | flags::kHide, 516, {0}},
                {flags::kDeactivate, 1, {}},
                {flags::kMinimize | flags::kMaximize | flags::kRestore, 0, {}}};
    for (const auto& set : sets) {
        SCOPED_TRACE("flags " + std::to_string(set.flags));
        calls_.clear();
        EXPECT_EQ(WindowStatus(kWindowStatusSet, set.flags), set.result);
        std::vector<jint> visible;
        for (const RecordedCall& call : calls_["SetVisible"]) visible.push_back(call.ints[0]);
        EXPECT_EQ(visible, set.visible);
    }
    Record("SetVisible", "(Z)J", 33);
    EXPECT_EQ(WindowStatus(kWindowStatusSet, window_flags::kShow), 33);
}

TEST_F(WindowTransferTest, ChangeWindowNameSavesAndRestoresTheTitle) {
    ApplicationBlock& block = Block();
    Sessions()->SetWindowTitle(kSessionLetter, "");
    // One request, the emulator answering `answer` and writing `title` back
    // as the one it had: the return code, then the name and the save flag the
    // emulator received.
    auto request = [&](std::uint8_t letter, const char* name, jlong answer, const char* title = "") {
        Record("ChangeWindowName", "([BZ)J", answer, &block, title);
        std::memset(block.Data, 0, kDataSize);
        block.Data[0] = kSessionLetter;
        block.Data[kWindowNameRequestOffset] = letter;
        std::strcpy(reinterpret_cast<char*>(block.Data + kWindowNameTextOffset), name);
        const std::int32_t result = Run(block, HA_CHANGE_WINDOW_NAME);
        const std::vector<RecordedCall>& calls = calls_["ChangeWindowName"];
        if (calls.empty()) return std::string("no call");
        return std::to_string(result) + " " + calls.back().text + " " + std::to_string(calls.back().ints[0]);
    };
    EXPECT_EQ(request(kWindowNameReset, "", 0), "0 @@@@@DO***NOTHING@@@@@ 0");
    // The first set keeps the title the emulator had, and puts the request back.
    EXPECT_EQ(request(kWindowNameSet, "New name", 0, "Original title"), "0 New name 1");
    EXPECT_STREQ(Sessions()->GetSession(kSessionLetter).WindowTitle, "Original title");
    EXPECT_STREQ(reinterpret_cast<const char*>(block.Data + kWindowNameTextOffset), "New name");
    EXPECT_EQ(request(kWindowNameSet, "Second", 4), "4 Second 0") << "a title is saved already";
    EXPECT_EQ(request(kWindowNameReset, "", 4), "4 Original title 0");
    EXPECT_EQ(calls_["ChangeWindowName"].size(), 4u);
}

}  // namespace
}  // namespace trv::test
