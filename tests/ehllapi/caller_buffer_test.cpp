// The library writes into a caller's buffer only what belongs there, and
// reads only the request's own bytes: every buffer here ends at a page that
// may not be touched, so a single byte too many ends the test binary. Each
// row gives the buffer exactly the size include/trvha64.h states for the
// function.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

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
        BufferRow{"QuerySessionStatus", HA_QUERY_SESSION_STATUS, "", sizeof(QuerySessionStatusReply), "A", 20,
                  0, HLLAPI_RC_SUCCESS, 20},
        BufferRow{"QuerySystem", HA_QUERY_SYSTEM, "", sizeof(QuerySystemReply), "", 0, 0, HLLAPI_RC_SUCCESS, 0}),
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

// Malformed notification and intercept requests answer 2 and leave nothing
// registered: not in the block, not in the session's lists, not with the
// emulator.
TEST_F(CallerBufferTest, MalformedHostNotificationRegistersNothing) {
    struct Malformed {
        const char* name;
        std::size_t size;  // buffer and length
        char form;
        char type;
    };
    for (const Malformed& bad : {Malformed{"type X", 5, 'X', 0}, Malformed{"type 0", 5, '\0', 0},
                                 Malformed{"event form, type X", sizeof(trv::NotifyRequest), 'A', 'X'},
                                 Malformed{"event form in 5 bytes", 5, 'A', 0},
                                 Malformed{"message form in 16 bytes", 16, 'M', 0},
                                 Malformed{"basic form in 4 bytes", 4, 'P', 0}}) {
        SCOPED_TRACE(bad.name);
        GuardedBuffer buffer(bad.size, 0);
        buffer.data()[0] = 'A';
        if (bad.size > offsetof(trv::NotifyRequest, Form)) buffer.data()[offsetof(trv::NotifyRequest, Form)] = bad.form;
        if (bad.size > offsetof(trv::NotifyRequest, Type)) buffer.data()[offsetof(trv::NotifyRequest, Type)] = bad.type;
        EXPECT_EQ(Call(HA_START_HOST_NOTIFY, static_cast<std::int32_t>(bad.size)).Run(buffer.data()).result,
                  HLLAPI_RC_BAD_PARAMETER);
        char name[4] = "A";
        EXPECT_EQ(Call(HA_QUERY_HOST_UPDATE, 1).Run(name).result, HLLAPI_RC_NOT_STARTED);
        EXPECT_EQ(Sessions()->GetSession('A').HostNotifyCount, 0);
    }
    GuardedBuffer basic(kBasicNotifyRequestSize, 0);
    std::memcpy(basic.data(), "A   P", kBasicNotifyRequestSize);
    EXPECT_EQ(Call(HA_START_HOST_NOTIFY, 5).Run(basic.data()).result, HLLAPI_RC_SUCCESS);
    char name[4] = "A";
    EXPECT_EQ(Call(HA_STOP_HOST_NOTIFY, 1).Run(name).result, HLLAPI_RC_SUCCESS);
}

TEST_F(CallerBufferTest, KeystrokeInterceptWithAnUnknownOptionRegistersNothing) {
    GuardedBuffer bad(kBasicNotifyRequestSize, 0);
    std::memcpy(bad.data(), "B   X", kBasicNotifyRequestSize);
    EXPECT_EQ(Call(HA_START_KEY_INTERCEPT, 0).Run(bad.data()).result, HLLAPI_RC_BAD_PARAMETER);
    EXPECT_EQ(Sessions()->GetSession('B').KeyNotifyCount, 0);
    ApplicationBlock* block = ProcessBlock();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->KeyInterceptOptions[1], 0u);
    char name[4] = "B";
    EXPECT_EQ(Call(HA_GET_KEY, 10).Run(name).result, HLLAPI_RC_NOT_STARTED);

    // Corrected, the start registers: the bad one was not taken for a first.
    GuardedBuffer good(kBasicNotifyRequestSize, 0);
    std::memcpy(good.data(), "B   D", kBasicNotifyRequestSize);
    EXPECT_EQ(Call(HA_START_KEY_INTERCEPT, 0).Run(good.data()).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(Sessions()->GetSession('B').KeyNotifyCount, 1);
    EXPECT_EQ(Call(HA_STOP_KEY_INTERCEPT, 1).Run(name).result, HLLAPI_RC_SUCCESS);
}

TEST_F(CallerBufferTest, CloseInterceptNeedsRoomForItsAnswer) {
    GuardedBuffer shortRequest(kBasicNotifyRequestSize, 0);
    shortRequest.data()[0] = 'B';
    EXPECT_EQ(Call(HA_START_CLOSE_INTERCEPT, static_cast<std::int32_t>(kBasicNotifyRequestSize))
                  .Run(shortRequest.data())
                  .result,
              HLLAPI_RC_BAD_PARAMETER);
    EXPECT_EQ(Sessions()->GetSession('B').CloseNotifyCount, 0);

    GuardedBuffer request(kCloseInterceptRequestSize, 0);
    request.data()[0] = 'B';
    EXPECT_EQ(Call(HA_START_CLOSE_INTERCEPT, static_cast<std::int32_t>(kCloseInterceptRequestSize))
                  .Run(request.data())
                  .result,
              HLLAPI_RC_SUCCESS);
    char name[4] = "B";
    EXPECT_EQ(Call(HA_STOP_CLOSE_INTERCEPT, 1).Run(name).result, HLLAPI_RC_SUCCESS);
}

}  // namespace
}  // namespace trv::test
