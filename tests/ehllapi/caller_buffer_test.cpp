// The library writes into a caller's buffer only what belongs there, and
// reads only the request's own bytes: every buffer here ends at a page that
// may not be touched, so a single byte too many ends the test binary. Each
// row gives the buffer exactly the size include/trvha64.h states for the
// function.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "ehllapi_fixture.h"
#include "protocol/caller_data.h"
#include "support/guarded_buffer.h"
#include "tables/application_block.h"
#include "tables/session_list.h"

namespace trv::test {
namespace {

class CallerBufferTest : public ResponderTest {
protected:
    void SetUp() override {
        ResponderTest::SetUp();
        ASSERT_EQ(Connect('A'), HLLAPI_RC_SUCCESS);
    }
};

struct BufferRow {
    const char* name;
    std::int32_t function;
    const char* sessionParms;  // set first when not empty
    std::size_t bufferSize;    // the size include/trvha64.h gives
    const char* request;       // the buffer's first bytes
    std::int32_t length;       // the caller's length word
    std::int32_t position;
    std::int32_t expectedResult;
    std::int32_t expectedLength;
    const char* reply = "";  // the buffer's first bytes afterwards
};

std::ostream& operator<<(std::ostream& out, const BufferRow& row) { return out << row.name; }

class BufferSizeTest : public CallerBufferTest, public testing::WithParamInterface<BufferRow> {};

TEST_P(BufferSizeTest, StaysWithinTheDocumentedSize) {
    const BufferRow& row = GetParam();
    if (row.sessionParms[0] != '\0') {
        ASSERT_EQ(SetParameters(row.sessionParms), HLLAPI_RC_SUCCESS);
    }
    GuardedBuffer buffer(row.bufferSize);
    std::memcpy(buffer.data(), row.request, std::strlen(row.request));
    Call call(row.function, row.length, row.position);
    EXPECT_EQ(call.Run(buffer.data()).result, row.expectedResult);
    EXPECT_EQ(call.length, row.expectedLength);
    EXPECT_EQ(std::string(buffer.chars(), std::strlen(row.reply)), row.reply);
}

// The responder's replies: ehllapi_fixture.h.
INSTANTIATE_TEST_SUITE_P(
    Functions, BufferSizeTest,
    testing::Values(
        // The emulator asks for three screens' worth with STREOT; the caller
        // receives the screen it delivered.
        BufferRow{"CopyPSWithStrEot", HA_COPY_PS, "STREOT", 1920, "", 1920, 0, HLLAPI_RC_SUCCESS, 1920},
        BufferRow{"CopyPS", HA_COPY_PS, "", 1920, "", 0, 0, HLLAPI_RC_SUCCESS, 1920},
        // The emulator's status line is 104 bytes; a caller's is 103.
        BufferRow{"CopyOIA", HA_COPY_OIA, "", sizeof(OIAReply), "", 103, 0, HLLAPI_RC_SUCCESS, 104, "OOO"},
        // A reply longer than the caller's length is cut at it.
        BufferRow{"CopyPSToString", HA_COPY_PS_TO_STR, "", 10, "", 10, 7, HLLAPI_RC_SUCCESS, 5, "COPIED-TEX"},
        // ReplyCount -1 reports ReplyLength; any other count as it stands.
        BufferRow{"CopyPSToStringWhole", HA_COPY_PS_TO_STR, "", 12, "", 12, 1, HLLAPI_RC_SUCCESS, 12,
                  "COPIED-TEXT!"},
        BufferRow{"CopyFieldToString", HA_COPY_FIELD_TO_STR, "", 12, "", 12, 7, HLLAPI_RC_SUCCESS, 5,
                  "COPIED-TEXT!"},
        // A failed search reports no length.
        BufferRow{"SearchPS", HA_SEARCH_PS, "", 6, "needle", 6, 0, 24, 0},
        BufferRow{"QueryCursor", HA_QUERY_CURSOR_LOC, "", 2, "", 0, 0, HLLAPI_RC_SUCCESS, 1234},
        BufferRow{"CopyStringToPS", HA_COPY_STR_TO_PS, "", 5, "hello", 5, 0, HLLAPI_RC_SUCCESS, 0},
        // Only the request's bytes travel: the emulator counts what arrived.
        BufferRow{"SendKey", HA_SENDKEY, "", 10, "ABCDEFGHIJ", 4, 0, HLLAPI_RC_SUCCESS, 4},
        BufferRow{"FindFieldPositionLongLength", HA_FIND_FIELD_POS, "", 11, "12345678XYZ", 11, 1,
                  HLLAPI_RC_SUCCESS, 2},
        BufferRow{"FindFieldPosition", HA_FIND_FIELD_POS, "", sizeof(FieldCodeRequest), "T ", 2, 1,
                  HLLAPI_RC_SUCCESS, 2},
        // The emulator's raise-window reply (516) is a success.
        BufferRow{"SetCursorRaisesTheWindow", HA_SET_CURSOR, "", 1, "", 0, 81, HLLAPI_RC_SUCCESS, 0},
        BufferRow{"FindFieldLength", HA_FIND_FIELD_LEN, "", sizeof(FieldCodeRequest), "NU", 2, 1,
                  HLLAPI_RC_SUCCESS, 2},
        // Convert Position goes to the session it names.
        BufferRow{"ConvertPosition", HA_CONVERT_POS_ROW_COL, "", sizeof(ConvertPositionRequest), "c   P", 0, 81,
                  HLLAPI_RC_SUCCESS, 102},
        BufferRow{"ConvertPositionNoSession", HA_CONVERT_POS_ROW_COL, "", sizeof(ConvertPositionRequest),
                  "1   P", 0, 81, HLLAPI_RC_NO_SESSION, 0},
        // The session named, folded.
        BufferRow{"QuerySessionStatus", HA_QUERY_SESSION_STATUS, "", sizeof(QuerySessionStatusReply), "b", 20,
                  0, HLLAPI_RC_SUCCESS, 20, "BSTATUS"},
        // Query System leaves the length alone.
        BufferRow{"QuerySystem", HA_QUERY_SYSTEM, "", sizeof(QuerySystemReply), "", 5, 0, HLLAPI_RC_SUCCESS, 5,
                  "119"}),
    [](const testing::TestParamInfo<BufferRow>& info) { return std::string(info.param.name); });

// A request that fails after an earlier one answered: the earlier reply's
// length is neither reported nor copied.
TEST_F(CallerBufferTest, AFailedCopyReportsNothingOfAnEarlierReply) {
    for (std::int32_t function : {HA_COPY_PS_TO_STR, HA_COPY_FIELD_TO_STR}) {
        for (std::int32_t badPosition : {0, 5000}) {
            SCOPED_TRACE(testing::Message() << "function " << function << " position " << badPosition);
            char earlier[64] = {};
            ASSERT_EQ(Call(function, 12, 1).Run(earlier).result, HLLAPI_RC_SUCCESS);
            GuardedBuffer buffer(10);
            Call failed(function, 10, badPosition);
            EXPECT_EQ(failed.Run(buffer.data()).result, 7);
            EXPECT_EQ(failed.length, 0);
            EXPECT_EQ(buffer.data()[0], '#') << "the earlier reply reached the buffer";
        }
    }
}

// Start requests that are malformed, or name no session, answer their code
// and leave nothing registered: not in the block (the query answers 8), not
// in the session's lists, not with the emulator; corrected, each starts (a
// refused one was not taken for a first start).
TEST_F(CallerBufferTest, RefusedStartsRegisterNothing) {
    using namespace std::string_view_literals;
    struct StartRow {
        const char* name;
        std::int32_t start, query;
        std::size_t size;  // the buffer's, from the request's first bytes
        std::int32_t length;
        std::string_view request;
        std::int32_t expected;
    };
    const std::int32_t eventSize = sizeof(trv::NotifyRequest);
    const StartRow rows[] = {
        {"host, type X", HA_START_HOST_NOTIFY, HA_QUERY_HOST_UPDATE, 5, 5, "B   X", HLLAPI_RC_BAD_PARAMETER},
        {"host, type 0", HA_START_HOST_NOTIFY, HA_QUERY_HOST_UPDATE, 5, 5, "B", HLLAPI_RC_BAD_PARAMETER},
        {"host event form, type X", HA_START_HOST_NOTIFY, HA_QUERY_HOST_UPDATE, sizeof(trv::NotifyRequest),
         eventSize, "B   A\0\0\0\0\0\0\0\0\0\0\0X"sv, HLLAPI_RC_BAD_PARAMETER},
        {"host event form in 5 bytes", HA_START_HOST_NOTIFY, HA_QUERY_HOST_UPDATE, 5, 5, "B   A",
         HLLAPI_RC_BAD_PARAMETER},
        {"host message form in 16 bytes", HA_START_HOST_NOTIFY, HA_QUERY_HOST_UPDATE, 16, 16, "B   M",
         HLLAPI_RC_BAD_PARAMETER},
        {"host basic form in 4 bytes", HA_START_HOST_NOTIFY, HA_QUERY_HOST_UPDATE, 4, 4, "B   ",
         HLLAPI_RC_BAD_PARAMETER},
        {"host basic form", HA_START_HOST_NOTIFY, HA_QUERY_HOST_UPDATE, 5, 5, "B   P", HLLAPI_RC_SUCCESS},
        {"key option X", HA_START_KEY_INTERCEPT, 0, 5, 0, "B   X", HLLAPI_RC_BAD_PARAMETER},
        {"key option D", HA_START_KEY_INTERCEPT, 0, 5, 0, "B   D", HLLAPI_RC_SUCCESS},
        {"close in 5 bytes", HA_START_CLOSE_INTERCEPT, HA_QUERY_CLOSE_INTERCEPT, 5, 5, "B", HLLAPI_RC_BAD_PARAMETER},
        {"close of no session", HA_START_CLOSE_INTERCEPT, HA_QUERY_CLOSE_INTERCEPT, kCloseInterceptRequestSize,
         16, "Z   Q", HLLAPI_RC_NO_SESSION},
        {"close in 16 bytes", HA_START_CLOSE_INTERCEPT, HA_QUERY_CLOSE_INTERCEPT, kCloseInterceptRequestSize, 16,
         "B", HLLAPI_RC_SUCCESS},
    };
    for (const StartRow& row : rows) {
        SCOPED_TRACE(row.name);
        GuardedBuffer buffer(row.size, 0);
        std::memcpy(buffer.data(), row.request.data(), std::min(row.size, row.request.size()));
        EXPECT_EQ(Call(row.start, row.length).Run(buffer.data()).result, row.expected);
        const SessionBlock session = Sessions()->GetSession('B');
        const bool started = row.expected == HLLAPI_RC_SUCCESS;
        EXPECT_EQ(session.HostNotifyCount + session.KeyNotifyCount + session.CloseNotifyCount, started ? 1 : 0);
        if (row.query != 0) {
            EXPECT_EQ(Named(row.query, 'B'), started ? HLLAPI_RC_SUCCESS : HLLAPI_RC_NOT_STARTED);
        }
        ASSERT_EQ(Call(HA_RESET_SYSTEM).Run(nullptr).result, HLLAPI_RC_SUCCESS);
    }
}

}  // namespace
}  // namespace trv::test
