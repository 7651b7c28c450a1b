// The session and connection functions as a caller sees them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ehllapi/keyword_table.h"
#include "ehllapi_fixture.h"
#include "protocol/notification.h"
#include "tables/session_list.h"
#include "tables/session_parms.h"

namespace trv::test {
namespace {

std::string PSConnectionOf(char letter) { return FieldText(Sessions()->GetSession(letter).PSConnection); }

using SessionFunctionsTest = ResponderTest;

TEST_F(SessionFunctionsTest, ConnectReserveAndDisconnectActOnTheConnectingThreadsSession) {
    EXPECT_EQ(Connect('b'), HLLAPI_RC_SUCCESS);
    ApplicationBlock* block = ProcessBlock();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->ShortName, 'B');
    EXPECT_EQ(block->SessionID, 1);
    EXPECT_EQ(PSConnectionOf('B'), FieldText(block->BlockName));

    // Moving to another session gives the first one up.
    EXPECT_EQ(Connect('A'), HLLAPI_RC_SUCCESS);
    EXPECT_EQ(block->ShortName, 'A');
    EXPECT_EQ(PSConnectionOf('B'), "");
    EXPECT_EQ(PSConnectionOf('A'), FieldText(block->BlockName));
    EXPECT_EQ(Call(HA_CONNECT_PS, 1).Run(nullptr).result, HLLAPI_RC_NO_SESSION);
    EXPECT_EQ(block->ShortName, 'A') << "a refused connect changed the connection";
    char status[20] = " ";
    EXPECT_EQ(Call(HA_QUERY_SESSION_STATUS, 20).Run(status).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(status[0], 'A') << "a blank name is the connected session";

    // Only the connecting thread disconnects. Another block (the other
    // thread's own, through the per-thread entry) is refused A and keeps the
    // session it holds.
    std::int32_t disconnect = -1, ownConnect = -1, heldConnect = -1;
    TestThread other([&] {
        char c[4] = "C", a[4] = "a";
        disconnect = Call(HA_DISCONNECT_PS).Run(nullptr).result;
        ownConnect = Call(HA_CONNECT_PS, 1).RunPerThread(c).result;
        heldConnect = Call(HA_CONNECT_PS, 1).RunPerThread(a).result;
    });
    ASSERT_TRUE(other.Join());
    EXPECT_EQ(disconnect, HLLAPI_RC_NO_SESSION);
    EXPECT_EQ(ownConnect, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(heldConnect, HLLAPI_RC_IN_USE);
    EXPECT_EQ(PSConnectionOf('A'), FieldText(block->BlockName));
    EXPECT_NE(PSConnectionOf('C'), "") << "the refused connect gave up C";

    EXPECT_EQ(Call(HA_RESERVE).Run(nullptr).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(block->Reserved, 1);
    EXPECT_EQ(Call(HA_RELEASE).Run(nullptr).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(block->Reserved, 0);
    block->KeyInterceptOptions[0] = kInterceptAidKeys;
    EXPECT_EQ(Call(HA_RESERVE).Run(nullptr).result, HLLAPI_RC_KEY_INTERCEPT_ACTIVE);
    EXPECT_EQ(block->Reserved, 0);
    block->KeyInterceptOptions[0] = 0;

    // Disconnecting releases a reservation first.
    EXPECT_EQ(Call(HA_RESERVE).Run(nullptr).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(Call(HA_DISCONNECT_PS).Run(nullptr).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(block->ShortName, 0);
    EXPECT_EQ(block->SessionID, -1);
    EXPECT_EQ(block->Reserved, 0);
    EXPECT_EQ(PSConnectionOf('A'), "");
    EXPECT_EQ(Call(HA_RELEASE).Run(nullptr).result, HLLAPI_RC_SUCCESS) << "nothing connected";
}

// Keywords apply in order, separated by commas or blanks, up to the first
// one refused; the length reported is the number of keywords taken.
TEST_F(SessionFunctionsTest, SetSessionParametersAppliesKeywordsInOrderWithinTheLength) {
    const struct {
        const char* text;
        std::int32_t result, length;
    } rows[] = {{"XLATE", HLLAPI_RC_SUCCESS, 1},
                {"IPAUSE,EAB  NOXLATE", HLLAPI_RC_SUCCESS, 3},
                {"QUIET, frobnicate", HLLAPI_RC_BAD_PARAMETER, 1},
                {"TIMEOUT=J", HLLAPI_RC_SUCCESS, 1},
                {"timeout=j", HLLAPI_RC_SUCCESS, 1},  // a lower-case letter is no timeout
                {"esc=#,EOT=;,lwait,nullattrb", HLLAPI_RC_SUCCESS, 4},
                {"ESC=", HLLAPI_RC_SUCCESS, 1}};  // an empty value replaces nothing
    for (const auto& row : rows) {
        const Call call = SetParameters(row.text);
        EXPECT_EQ(call.result, row.result) << row.text;
        EXPECT_EQ(call.length, row.length) << row.text;
    }
    ApplicationBlock* block = ProcessBlock();
    ASSERT_NE(block, nullptr);
    const std::uint32_t checked = parms::kIPause | parms::kEab | parms::kXlate | parms::kQuiet;
    EXPECT_EQ(block->SessionParms & checked, parms::kIPause | parms::kEab | parms::kQuiet);
    EXPECT_EQ(block->TimeoutValue, 300u);
    EXPECT_EQ(block->EscChar, '#');
    EXPECT_EQ(block->EotChar, ';');
    EXPECT_EQ(block->WaitTimeout, kNoWaitLimit);
    EXPECT_EQ(block->AttrMode, 2u);

    // The text ends at the caller's length, not at its terminator.
    char text[] = "CONPHYS STREOT";
    EXPECT_EQ(Call(HA_SET_SESSION_PARMS, 7).Run(text).length, 1);
    EXPECT_EQ(block->SessionParms & (parms::kConPhys | parms::kStrEot), parms::kConPhys);

    // Lengths it cannot read are refused, changing nothing.
    const std::uint32_t before = block->SessionParms;
    std::string data = "NOEAB" + std::string(59, ' ');
    for (std::int32_t length : {-1, INT32_MIN, HLLAPI_MAX_DATA + 1, INT32_MAX}) {
        Call call(HA_SET_SESSION_PARMS, length);
        EXPECT_EQ(call.Run(data.data()).result, HLLAPI_RC_BAD_PARAMETER) << length;
        EXPECT_EQ(call.length, 0) << length;
    }
    EXPECT_EQ(Call(HA_SET_SESSION_PARMS, 5).Run(nullptr).result, HLLAPI_RC_BAD_PARAMETER);
    EXPECT_EQ(block->SessionParms, before);

    // A full-size parameter string, every byte used.
    std::vector<char> full(HLLAPI_MAX_DATA, ',');
    std::memcpy(full.data() + HLLAPI_MAX_DATA - 5, "NOEAB", 5);
    Call whole(HA_SET_SESSION_PARMS, HLLAPI_MAX_DATA);
    EXPECT_EQ(whole.Run(full.data()).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(whole.length, 1);
    EXPECT_EQ(block->SessionParms & parms::kEab, 0u);
}

// Whatever the buffer, the length reports the number of sessions; the
// entries that fit the caller's length are written, and nothing past them.
TEST_F(SessionFunctionsTest, QuerySessionsReportsWhatTheBufferHolds) {
    const struct {
        std::int32_t length;
        bool withData;
        std::int32_t result;
        std::string entries;  // the sessions of the entries written
    } rows[] = {{16, true, HLLAPI_RC_BAD_PARAMETER, "A"},
                {50, true, HLLAPI_RC_SUCCESS, "ABC"},
                {48, false, HLLAPI_RC_BAD_PARAMETER, ""},
                {-16, true, HLLAPI_RC_BAD_PARAMETER, ""}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "length " << row.length);
        std::vector<char> data(64, '#');
        Call call(HA_QUERY_SESSIONS, row.length);
        EXPECT_EQ(call.Run(row.withData ? data.data() : nullptr).result, row.result);
        EXPECT_EQ(call.length, 3);
        for (std::size_t i = 0; i < row.entries.size(); ++i) {
            EXPECT_EQ(std::string(&data[16 * i], 8), row.entries[i] + std::string("SESSION"));
        }
        EXPECT_EQ(data[16 * row.entries.size()], '#');
    }
}

TEST_F(SessionFunctionsTest, ResetSystemUndoesEverythingAndFreesTheBlock) {
    ASSERT_EQ(Connect('A'), HLLAPI_RC_SUCCESS);
    ASSERT_EQ(Call(HA_RESERVE).Run(nullptr).result, HLLAPI_RC_SUCCESS);
    ASSERT_EQ(Start(HA_START_CLOSE_INTERCEPT, NotifyRequest('B', 'Q'), 16), HLLAPI_RC_SUCCESS);
    ASSERT_EQ(Start(HA_START_KEY_INTERCEPT, NotifyRequest('C', 'D'), 16), HLLAPI_RC_SUCCESS);
    ASSERT_EQ(Start(HA_START_HOST_NOTIFY, NotifyRequest('A', 'P'), 5), HLLAPI_RC_SUCCESS);
    ASSERT_EQ(Named(HA_CONNECT_PM_SRVCS, 'C'), HLLAPI_RC_SUCCESS);

    Call reset(HA_RESET_SYSTEM);
    EXPECT_EQ(reset.Run(nullptr).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(reset.returnCode, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(ProcessBlock(), nullptr) << "the block was not freed";
    EXPECT_EQ(PSConnectionOf('A'), "");
    EXPECT_EQ(Sessions()->GetSession('B').CloseNotifyCount, 0);
    EXPECT_EQ(Sessions()->GetSession('C').KeyNotifyCount, 0);
    EXPECT_EQ(Sessions()->GetSession('A').HostNotifyCount, 0);
    EXPECT_EQ(FieldText(Sessions()->GetSession('C').WinConnection), "");
}

// Requests for a session that is not established, not connected (a blank
// name) or has nothing started, and functions the dispatcher does not carry
// out: each answers its code at once.
TEST_F(SessionFunctionsTest, RequestsForNoSessionOrNothingStartedAreRefused) {
    struct Row {
        char letter;
        std::int32_t expected;
        std::vector<std::int32_t> functions;
    };
    const Row rows[] = {
        {'A', HLLAPI_RC_NOT_STARTED,
         {HA_QUERY_HOST_UPDATE, HA_STOP_HOST_NOTIFY, HA_QUERY_CLOSE_INTERCEPT, HA_STOP_CLOSE_INTERCEPT, HA_GET_KEY,
          HA_STOP_KEY_INTERCEPT, HA_POST_INTERCEPT_STATUS}},
        {'Z', HLLAPI_RC_NO_SESSION, {HA_CONNECT_PS, HA_CONNECT_PM_SRVCS, HA_QUERY_SESSION_STATUS,
                                     HA_QUERY_HOST_UPDATE, HA_GET_KEY, HA_LOCK_PMSVC}},
        {'Z', HLLAPI_RC_NOT_ESTABLISHED, {HA_QUERY_CLOSE_INTERCEPT}},
        {' ', HLLAPI_RC_NO_SESSION, {HA_DISCONNECT_PS, HA_RESERVE, HA_WAIT, HA_QUERY_SESSION_STATUS,
                                     HA_QUERY_HOST_UPDATE, HA_QUERY_CLOSE_INTERCEPT, HA_START_PLAYING_MACRO}},
        // Window services not held.
        {'B', HLLAPI_RC_NO_SESSION, {HA_DISCONNECT_PM_SRVCS, HA_QUERY_WINDOW_COORDS, HA_PM_WINDOW_STATUS,
                                     HA_CHANGE_SWITCH_NAME, HA_CHANGE_WINDOW_NAME}},
        {'A', HLLAPI_RC_UNSUPPORTED, {16, 17, 120, 127, 129}},
    };
    for (const Row& row : rows) {
        for (std::int32_t function : row.functions) {
            SCOPED_TRACE(testing::Message() << "function " << function << " session '" << row.letter << "'");
            char data[8] = {row.letter, 0, 0, 0, 'A'};  // byte 4: a status for Post Intercept Status
            Call call(function, 4);
            EXPECT_EQ(call.Run(data).result, row.expected);
            EXPECT_EQ(call.returnCode, row.expected);
            EXPECT_EQ(data[0], row.letter);
        }
    }
}

}  // namespace
}  // namespace trv::test
