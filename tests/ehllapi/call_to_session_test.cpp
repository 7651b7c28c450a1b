// Requests to a session and their replies as the caller sees them. The
// buffers of the per-function rows have the size include/trvha64.h states
// for the function and end at a page that may not be touched: a byte read or
// written too many ends the test binary.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ehllapi/call_to_session.h"
#include "ehllapi_fixture.h"
#include "protocol/caller_data.h"
#include "support/guarded_buffer.h"
#include "tables/session_list.h"

namespace trv::test {
namespace {

TEST(SessionIndexTest, FoldsLettersAndRejectsEverythingElse) {
    const std::pair<const char*, int> rows[] = {{"b", 1},  {"B", 1},  {"Zeta", 25}, {"a", 0},   {"1", -1},
                                                {"@", -1}, {"[", -1}, {"\xC1", -1}, {"", -1}, {nullptr, -1}};
    for (auto [name, index] : rows) EXPECT_EQ(SessionIndex(name), index) << (name ? name : "null");
}

using CallToSessionTest = ResponderTest;

TEST_F(CallToSessionTest, ARequestNeedsAConnectionAndLeavesTheBlockClear) {
    std::vector<char> screen(4000, '#');
    EXPECT_EQ(Call(HA_COPY_PS, 4000).Run(screen.data()).result, HLLAPI_RC_NO_SESSION);
    EXPECT_EQ(screen[0], '#') << "the buffer was touched without a connection";
    char named[8] = "c";
    EXPECT_EQ(Call(HA_CONVERT_POS_ROW_COL, 8, 81).Run(named).length, 102) << "Convert Position needs no connection";

    ASSERT_EQ(Connect('A'), HLLAPI_RC_SUCCESS);
    EXPECT_EQ(Call(HA_COPY_PS, 4000).Run(nullptr).result, HLLAPI_RC_BAD_PARAMETER);
    EXPECT_EQ(Call(HA_QUERY_SYSTEM).Run(nullptr).result, HLLAPI_RC_BAD_PARAMETER);
    EXPECT_EQ(Call(HA_COPY_PS, 4000).Run(screen.data()).result, HLLAPI_RC_SUCCESS);
    ApplicationBlock* block = ProcessBlock();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->DataLength + block->ReturnCode + block->Waiting, 0u);

    // Missing data or length words are not dereferenced.
    for (std::int32_t function : {HA_SENDKEY, HA_COPY_OIA}) {
        std::int32_t returnCode = 0;
        EXPECT_EQ(hllapi(&function, nullptr, nullptr, &returnCode), HLLAPI_RC_SUCCESS) << function;
    }
    Call noData(HA_COPY_PS_TO_STR, 12, 7);
    EXPECT_EQ(noData.Run(nullptr).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(noData.length, 5);
}

struct BufferRow {
    const char* name;
    std::int32_t function;
    std::size_t bufferSize;  // the size include/trvha64.h gives
    const char* request;     // the buffer's first bytes
    std::int32_t length;     // the caller's length word
    std::int32_t position;
    std::int32_t expectedResult;
    std::int32_t expectedLength;
    const char* reply = "";         // the buffer's first bytes afterwards
    const char* sessionParms = "";  // set first when not empty
};

std::ostream& operator<<(std::ostream& out, const BufferRow& row) { return out << row.name; }

// The responder's replies: Answer in ehllapi_fixture.cpp.
const BufferRow kBufferRows[] = {
    // The emulator asks for three screens' worth with STREOT; the caller
    // receives the screen it delivered.
    {"CopyPSWithStrEot", HA_COPY_PS, 1920, "", 1920, 0, HLLAPI_RC_SUCCESS, 1920, "ABCDEFGHIJ", "STREOT"},
    // The emulator's status line is 104 bytes; a caller's is 103.
    {"CopyOIA", HA_COPY_OIA, sizeof(OIAReply), "", 103, 0, HLLAPI_RC_SUCCESS, 104, "OOO"},
    // A reply longer than the caller's length is cut at it.
    {"CopyPSToString", HA_COPY_PS_TO_STR, 10, "", 10, 7, HLLAPI_RC_SUCCESS, 5, "COPIED-TEX"},
    // ReplyCount -1 reports ReplyLength; any other count as it stands.
    {"CopyPSToStringWhole", HA_COPY_PS_TO_STR, 12, "", 12, 1, HLLAPI_RC_SUCCESS, 12, "COPIED-TEXT!"},
    {"CopyFieldToString", HA_COPY_FIELD_TO_STR, 12, "", 12, 7, HLLAPI_RC_SUCCESS, 5, "COPIED-TEXT!"},
    // A failed search reports no length.
    {"SearchPS", HA_SEARCH_PS, 6, "needle", 6, 0, 24, 0},
    {"QueryCursor", HA_QUERY_CURSOR_LOC, 2, "", 0, 0, HLLAPI_RC_SUCCESS, 1234},
    {"CopyStringToPS", HA_COPY_STR_TO_PS, 5, "hello", 5, 0, HLLAPI_RC_SUCCESS, 0},
    // Only the request's bytes travel: the emulator counts what arrived.
    {"SendKey", HA_SENDKEY, 10, "ABCDEFGHIJ", 4, 0, HLLAPI_RC_SUCCESS, 4},
    {"FindFieldPositionLongLength", HA_FIND_FIELD_POS, 11, "12345678XYZ", 11, 1, HLLAPI_RC_SUCCESS, 2},
    // The emulator's raise-window reply (516) is a success.
    {"SetCursorRaisesTheWindow", HA_SET_CURSOR, 1, "", 0, 81, HLLAPI_RC_SUCCESS, 0},
    {"FindFieldLength", HA_FIND_FIELD_LEN, sizeof(FieldCodeRequest), "NU", 2, 1, HLLAPI_RC_SUCCESS, 2},
    // Convert Position goes to the session it names.
    {"ConvertPosition", HA_CONVERT_POS_ROW_COL, sizeof(ConvertPositionRequest), "c   P", 0, 81, HLLAPI_RC_SUCCESS, 102},
    {"ConvertPositionNoSession", HA_CONVERT_POS_ROW_COL, sizeof(ConvertPositionRequest), "1   P", 0, 81,
     HLLAPI_RC_NO_SESSION, 0},
    // The session named, folded.
    {"QuerySessionStatus", HA_QUERY_SESSION_STATUS, sizeof(QuerySessionStatusReply), "b", 20, 0, HLLAPI_RC_SUCCESS,
     20, "BSTATUS"},
    // Query System leaves the length alone.
    {"QuerySystem", HA_QUERY_SYSTEM, sizeof(QuerySystemReply), "", 5, 0, HLLAPI_RC_SUCCESS, 5, "119"},
};

class BufferSizeTest : public CallToSessionTest, public testing::WithParamInterface<BufferRow> {};

TEST_P(BufferSizeTest, StaysWithinTheDocumentedSize) {
    const BufferRow& row = GetParam();
    ASSERT_EQ(Connect('A'), HLLAPI_RC_SUCCESS);
    if (row.sessionParms[0] != '\0') {
        ASSERT_EQ(SetParameters(row.sessionParms).result, HLLAPI_RC_SUCCESS);
    }
    GuardedBuffer buffer(row.bufferSize);
    std::memcpy(buffer.data(), row.request, std::strlen(row.request));
    Call call(row.function, row.length, row.position);
    EXPECT_EQ(call.Run(buffer.data()).result, row.expectedResult);
    EXPECT_EQ(call.length, row.expectedLength);
    EXPECT_EQ(std::string(buffer.chars(), std::strlen(row.reply)), row.reply);
}

INSTANTIATE_TEST_SUITE_P(Functions, BufferSizeTest, testing::ValuesIn(kBufferRows),
                         [](const testing::TestParamInfo<BufferRow>& info) { return std::string(info.param.name); });

// A request that fails after an earlier one answered: the earlier reply's
// length is neither reported nor copied.
TEST_F(CallToSessionTest, AFailedCopyReportsNothingOfAnEarlierReply) {
    ASSERT_EQ(Connect('A'), HLLAPI_RC_SUCCESS);
    for (std::int32_t function : {HA_COPY_PS_TO_STR, HA_COPY_FIELD_TO_STR}) {
        SCOPED_TRACE(testing::Message() << "function " << function);
        char earlier[64] = {};
        ASSERT_EQ(Call(function, 12, 1).Run(earlier).result, HLLAPI_RC_SUCCESS);
        GuardedBuffer buffer(10);
        Call failed(function, 10, 0);  // off the screen: the responder answers 7
        EXPECT_EQ(failed.Run(buffer.data()).result, 7);
        EXPECT_EQ(failed.length, 0);
        EXPECT_EQ(buffer.data()[0], '#') << "the earlier reply reached the buffer";
    }
}

TEST_F(CallToSessionTest, OversizedAndNegativeLengthsAreRefused) {
    ASSERT_EQ(Connect('A'), HLLAPI_RC_SUCCESS);
    std::vector<char> big(HLLAPI_MAX_DATA + 16, 'x');
    for (std::int32_t function : {HA_SENDKEY, HA_SEARCH_PS, HA_COPY_STR_TO_PS, HA_SEARCH_FIELD,
                                  HA_COPY_STR_TO_FIELD, HA_COPY_FIELD_TO_STR}) {
        for (std::int32_t length : {HLLAPI_MAX_DATA + 1, -1, INT32_MIN, INT32_MAX}) {
            Call call(function, length);
            EXPECT_EQ(call.Run(big.data()).result, HLLAPI_RC_BAD_PARAMETER) << function << " " << length;
            EXPECT_EQ(call.length, length);
        }
    }
    ApplicationBlock* block = ProcessBlock();
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(std::all_of(std::begin(block->Data), std::end(block->Data), [](std::uint8_t b) { return b == 0; }))
        << "refused bytes reached the block";

    // The largest request that fits goes through whole.
    Call full(HA_SENDKEY, HLLAPI_MAX_DATA);
    EXPECT_EQ(full.Run(big.data()).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(full.length, HLLAPI_MAX_DATA);
}

// Start requests that are malformed, or name no session, answer their code
// and leave nothing registered: not in the block (the query answers 8), not
// in the session's lists, not with the emulator; corrected, each starts (a
// refused one was not taken for a first start).
TEST_F(CallToSessionTest, RefusedStartsRegisterNothing) {
    using namespace std::string_view_literals;
    struct StartRow {
        std::int32_t start;
        std::size_t size;          // the buffer and the length word
        std::string_view request;  // the buffer's first bytes
        std::int32_t expected;
    };
    const StartRow rows[] = {
        {HA_START_HOST_NOTIFY, 5, "B   X", HLLAPI_RC_BAD_PARAMETER},
        {HA_START_HOST_NOTIFY, 5, "B", HLLAPI_RC_BAD_PARAMETER},
        {HA_START_HOST_NOTIFY, sizeof(trv::NotifyRequest), "B   A\0\0\0\0\0\0\0\0\0\0\0X"sv, HLLAPI_RC_BAD_PARAMETER},
        {HA_START_HOST_NOTIFY, 5, "B   A", HLLAPI_RC_BAD_PARAMETER},   // the event form in 5 bytes
        {HA_START_HOST_NOTIFY, 16, "B   M", HLLAPI_RC_BAD_PARAMETER},  // the message form in 16
        {HA_START_HOST_NOTIFY, 4, "B   ", HLLAPI_RC_BAD_PARAMETER},   // the basic form in 4
        {HA_START_HOST_NOTIFY, 5, "B   P", HLLAPI_RC_SUCCESS},
        {HA_START_KEY_INTERCEPT, 5, "B   X", HLLAPI_RC_BAD_PARAMETER},
        {HA_START_KEY_INTERCEPT, 5, "B   D", HLLAPI_RC_SUCCESS},
        {HA_START_CLOSE_INTERCEPT, 5, "B", HLLAPI_RC_BAD_PARAMETER},
        {HA_START_CLOSE_INTERCEPT, kCloseInterceptRequestSize, "Z   Q", HLLAPI_RC_NO_SESSION},
        {HA_START_CLOSE_INTERCEPT, kCloseInterceptRequestSize, "B", HLLAPI_RC_SUCCESS},
    };
    for (const StartRow& row : rows) {
        SCOPED_TRACE(testing::Message() << "function " << row.start << ", " << row.size << " bytes: " << row.request);
        GuardedBuffer buffer(row.size, 0);
        std::memcpy(buffer.data(), row.request.data(), std::min(row.size, row.request.size()));
        EXPECT_EQ(Call(row.start, static_cast<std::int32_t>(row.size)).Run(buffer.data()).result, row.expected);
        const SessionBlock session = Sessions()->GetSession('B');
        const bool started = row.expected == HLLAPI_RC_SUCCESS;
        EXPECT_EQ(session.HostNotifyCount + session.KeyNotifyCount + session.CloseNotifyCount, started ? 1 : 0);
        if (row.start != HA_START_KEY_INTERCEPT) {
            const std::int32_t query =
                row.start == HA_START_HOST_NOTIFY ? HA_QUERY_HOST_UPDATE : HA_QUERY_CLOSE_INTERCEPT;
            EXPECT_EQ(Named(query, 'B'), started ? HLLAPI_RC_SUCCESS : HLLAPI_RC_NOT_STARTED);
        }
        ASSERT_EQ(Call(HA_RESET_SYSTEM).Run(nullptr).result, HLLAPI_RC_SUCCESS);
    }
}

}  // namespace
}  // namespace trv::test
