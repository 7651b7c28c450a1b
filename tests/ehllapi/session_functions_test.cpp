// The session and connection functions as a caller sees them: Connect,
// Disconnect, Set Session Parameters, Query Sessions, Reserve, Release,
// Query System, Reset System, Query Session Status, and functions the
// dispatcher does not carry out.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ehllapi/keyword_table.h"
#include "ehllapi_fixture.h"
#include "platform/environment.h"
#include "platform/thread.h"
#include "protocol/notification.h"
#include "tables/application_block.h"
#include "tables/application_list.h"
#include "tables/session_list.h"
#include "tables/session_parms.h"

namespace trv::test {
namespace {

std::string PSConnectionOf(char letter) { return FieldText(Sessions()->GetSession(letter).PSConnection); }

using SessionFunctionsTest = ResponderTest;

TEST_F(SessionFunctionsTest, ConnectFoldsTheNameAndRecordsTheConnection) {
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

    EXPECT_EQ(Connect('Z'), HLLAPI_RC_NO_SESSION) << "Z is not established";
    EXPECT_EQ(Call(HA_CONNECT_PS, 1).Run(nullptr).result, HLLAPI_RC_NO_SESSION);
    EXPECT_EQ(block->ShortName, 'A') << "a refused connect changed the connection";
}

TEST_F(SessionFunctionsTest, ConnectToAPresentationSpaceHeldByAnotherBlockIsRefused) {
    // Per-thread blocks: a per-process call would find the other thread's
    // block as the process's block.
    auto connectOwn = [](char letter) {
        char name[4] = {letter};
        return Call(HA_CONNECT_PS, 1).RunPerThread(name).result;
    };
    std::int32_t otherResult = -1;
    CallerThread other([&] { otherResult = connectOwn('A'); });
    ASSERT_TRUE(other.Join());
    ASSERT_EQ(otherResult, HLLAPI_RC_SUCCESS);
    const std::string holder = PSConnectionOf('A');

    ASSERT_EQ(connectOwn('C'), HLLAPI_RC_SUCCESS);
    EXPECT_EQ(connectOwn('a'), HLLAPI_RC_IN_USE);
    EXPECT_EQ(PSConnectionOf('A'), holder);
    EXPECT_NE(PSConnectionOf('C'), holder) << "the refused connect gave up C";
}

TEST_F(SessionFunctionsTest, OnlyTheConnectingThreadDisconnects) {
    ASSERT_EQ(Connect('A'), HLLAPI_RC_SUCCESS);
    std::int32_t otherResult = -1;
    CallerThread other([&otherResult] { otherResult = Call(HA_DISCONNECT_PS).Run(nullptr).result; });
    ASSERT_TRUE(other.Join());
    EXPECT_EQ(otherResult, HLLAPI_RC_NO_SESSION);
    EXPECT_NE(PSConnectionOf('A'), "");

    EXPECT_EQ(Call(HA_DISCONNECT_PS).Run(nullptr).result, HLLAPI_RC_SUCCESS);
    ApplicationBlock* block = ProcessBlock();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->ShortName, 0);
    EXPECT_EQ(block->SessionID, -1);
    EXPECT_EQ(PSConnectionOf('A'), "");
    EXPECT_EQ(Call(HA_DISCONNECT_PS).Run(nullptr).result, HLLAPI_RC_NO_SESSION);
}

TEST_F(SessionFunctionsTest, SetSessionParametersAppliesKeywordsInOrder) {
    Call first = SetParametersCall("XLATE");
    ASSERT_EQ(first.result, HLLAPI_RC_SUCCESS);
    ApplicationBlock* block = ProcessBlock();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->SessionParms & parms::kXlate, parms::kXlate);

    Call mixed = SetParametersCall("IPAUSE,EAB  NOXLATE");
    EXPECT_EQ(mixed.result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(mixed.length, 3);
    EXPECT_EQ(block->SessionParms & (parms::kIPause | parms::kEab | parms::kXlate), parms::kIPause | parms::kEab);

    Call junk = SetParametersCall("QUIET, frobnicate");
    EXPECT_EQ(junk.result, HLLAPI_RC_BAD_PARAMETER);
    EXPECT_EQ(junk.length, 1);
    EXPECT_EQ(block->SessionParms & parms::kQuiet, parms::kQuiet);

    EXPECT_EQ(SetParametersCall("TIMEOUT=J").result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(SetParametersCall("timeout=j").result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(block->TimeoutValue, 300u) << "a lower-case letter changed the timeout";

    EXPECT_EQ(SetParametersCall("esc=#,EOT=;,lwait,nullattrb").length, 4);
    EXPECT_EQ(block->EscChar, '#');
    EXPECT_EQ(block->EotChar, ';');
    EXPECT_EQ(block->WaitTimeout, kNoWaitLimit);
    EXPECT_EQ(block->AttrMode, 2u);
    EXPECT_EQ(SetParametersCall("ESC=").result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(block->EscChar, '#') << "an empty value replaced the escape character";

    // The text ends at the caller's length, not at its terminator.
    char text[] = "CONPHYS STREOT";
    Call cut(HA_SET_SESSION_PARMS, 7);
    EXPECT_EQ(cut.Run(text).length, 1);
    EXPECT_EQ(block->SessionParms & (parms::kConPhys | parms::kStrEot), parms::kConPhys);
    SetParametersCall("CONLOG");
}

TEST_F(SessionFunctionsTest, SetSessionParametersRefusesLengthsItCannotRead) {
    ASSERT_EQ(SetParametersCall("EAB").result, HLLAPI_RC_SUCCESS);
    ApplicationBlock* block = ProcessBlock();
    ASSERT_NE(block, nullptr);
    const std::uint32_t before = block->SessionParms;
    std::vector<char> data(64, ' ');
    std::memcpy(data.data(), "NOEAB", 5);
    for (std::int32_t length : {-1, INT32_MIN, HLLAPI_MAX_DATA + 1, INT32_MAX}) {
        Call call(HA_SET_SESSION_PARMS, length);
        EXPECT_EQ(call.Run(data.data()).result, HLLAPI_RC_BAD_PARAMETER) << length;
        EXPECT_EQ(call.length, 0) << length;
    }
    Call missing(HA_SET_SESSION_PARMS, 5);
    EXPECT_EQ(missing.Run(nullptr).result, HLLAPI_RC_BAD_PARAMETER);
    EXPECT_EQ(block->SessionParms, before);

    // A full-size parameter string, every byte used.
    std::vector<char> full(HLLAPI_MAX_DATA, ',');
    std::memcpy(full.data() + HLLAPI_MAX_DATA - 5, "NOEAB", 5);
    Call whole(HA_SET_SESSION_PARMS, HLLAPI_MAX_DATA);
    EXPECT_EQ(whole.Run(full.data()).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(whole.length, 1);
    EXPECT_EQ(block->SessionParms & parms::kEab, 0u);
}

TEST_F(SessionFunctionsTest, QuerySessionsReportsWhatTheBufferHolds) {
    std::vector<char> data(64, '#');
    Call one(HA_QUERY_SESSIONS, 16);
    EXPECT_EQ(one.Run(data.data()).result, HLLAPI_RC_BAD_PARAMETER);
    EXPECT_EQ(one.length, 3);
    EXPECT_EQ(std::string(data.data(), 8), "ASESSION");
    EXPECT_EQ(data[16], '#');

    std::fill(data.begin(), data.end(), '#');
    Call all(HA_QUERY_SESSIONS, 50);
    EXPECT_EQ(all.Run(data.data()).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(all.length, 3);
    EXPECT_EQ(data[0], 'A');
    EXPECT_EQ(data[16], 'B');
    EXPECT_EQ(data[32], 'C');
    EXPECT_EQ(data[48], '#');

    Call countOnly(HA_QUERY_SESSIONS, 48);
    EXPECT_EQ(countOnly.Run(nullptr).result, HLLAPI_RC_BAD_PARAMETER);
    EXPECT_EQ(countOnly.length, 3);
    Call negative(HA_QUERY_SESSIONS, -16);
    EXPECT_EQ(negative.Run(data.data()).result, HLLAPI_RC_BAD_PARAMETER);
    EXPECT_EQ(negative.length, 3);
}

TEST_F(SessionFunctionsTest, ReserveAndRelease) {
    EXPECT_EQ(Call(HA_RESERVE).Run(nullptr).result, HLLAPI_RC_NO_SESSION);
    EXPECT_EQ(Call(HA_RELEASE).Run(nullptr).result, HLLAPI_RC_SUCCESS);

    ASSERT_EQ(Connect('B'), HLLAPI_RC_SUCCESS);
    ApplicationBlock* block = ProcessBlock();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(Call(HA_RESERVE).Run(nullptr).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(block->Reserved, 1);
    EXPECT_EQ(Call(HA_RELEASE).Run(nullptr).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(block->Reserved, 0);

    block->KeyInterceptOptions[1] = kInterceptAidKeys;
    EXPECT_EQ(Call(HA_RESERVE).Run(nullptr).result, HLLAPI_RC_KEY_INTERCEPT_ACTIVE);
    EXPECT_EQ(block->Reserved, 0);
    block->KeyInterceptOptions[1] = 0;

    // Disconnecting releases a reservation first.
    EXPECT_EQ(Call(HA_RESERVE).Run(nullptr).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(Call(HA_DISCONNECT_PS).Run(nullptr).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(block->Reserved, 0);
}

TEST_F(SessionFunctionsTest, QuerySessionStatusOfTheNamedOrConnectedSession) {
    char data[32];
    std::memset(data, '#', sizeof data);
    data[0] = 'b';
    Call named(HA_QUERY_SESSION_STATUS, 20);
    EXPECT_EQ(named.Run(data).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(std::string(data, 7), std::string("BSTATUS"));
    EXPECT_EQ(data[20], '#');

    std::memset(data, ' ', sizeof data);
    EXPECT_EQ(Call(HA_QUERY_SESSION_STATUS, 20).Run(data).result, HLLAPI_RC_NO_SESSION);
    ASSERT_EQ(Connect('C'), HLLAPI_RC_SUCCESS);
    EXPECT_EQ(Call(HA_QUERY_SESSION_STATUS, 20).Run(data).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(data[0], 'C');

    char unknown[32] = "Q";
    EXPECT_EQ(Call(HA_QUERY_SESSION_STATUS, 20).Run(unknown).result, HLLAPI_RC_NO_SESSION);
}

TEST_F(SessionFunctionsTest, QuerySystemDescribesTheLibrary) {
    char data[40];
    std::memset(data, '#', sizeof data);
    Call query(HA_QUERY_SYSTEM, 5);
    EXPECT_EQ(query.Run(data).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(query.length, 5) << "Query System changed the length";
    EXPECT_EQ(std::string(data, 3), "119");
    std::uint16_t nls = 0;
    std::memcpy(&nls, data + 30, 2);
    EXPECT_EQ(nls, platform::AnsiCodePage());
    EXPECT_EQ(data[36], '#');
    EXPECT_EQ(Call(HA_QUERY_SYSTEM).Run(nullptr).result, HLLAPI_RC_BAD_PARAMETER);
}

TEST_F(SessionFunctionsTest, ResetSystemUndoesEverythingAndFreesTheBlock) {
    ASSERT_EQ(Connect('A'), HLLAPI_RC_SUCCESS);
    ASSERT_EQ(Call(HA_RESERVE).Run(nullptr).result, HLLAPI_RC_SUCCESS);
    ApplicationBlock* block = ProcessBlock();
    ASSERT_NE(block, nullptr);
    const std::string name = FieldText(block->BlockName);
    // Registrations whose own stop functions are not carried out yet.
    block->CloseInterceptMode[1] = kCloseByMessage;
    ASSERT_GE(Sessions()->AddToCloseNotificationList('B', *block), 0);
    block->KeyInterceptOptions[2] = kInterceptAidKeys;
    ASSERT_GE(Sessions()->AddToKeyNotificationList('C', *block), 0);
    block->HostUpdateNotifyType[0] = kNotifyPS;
    ASSERT_GE(Sessions()->AddToHostNotificationList('A', *block), 0);

    Call reset(HA_RESET_SYSTEM);
    EXPECT_EQ(reset.Run(nullptr).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(reset.returnCode, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(ProcessBlock(), nullptr) << "the block was not freed";
    EXPECT_EQ(PSConnectionOf('A'), "");
    EXPECT_EQ(Sessions()->GetSession('B').CloseNotifyCount, 0);
    EXPECT_EQ(Sessions()->GetSession('C').KeyNotifyCount, 0);
    EXPECT_EQ(Sessions()->GetSession('A').HostNotifyCount, 0);

    // Nothing set up: still 0, and the next call starts with a fresh block.
    EXPECT_EQ(Call(HA_RESET_SYSTEM).Run(nullptr).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(SetParametersCall("EAB").result, HLLAPI_RC_SUCCESS);
    ASSERT_NE(ProcessBlock(), nullptr);
    EXPECT_EQ(ProcessBlock()->ShortName, 0);
    EXPECT_EQ(ProcessBlock()->SessionParms, parms::kEab);
}

TEST_F(SessionFunctionsTest, FunctionsNotCarriedOutAnswerUnsupported) {
    char data[64] = "A";
    std::int32_t length = 4;
    for (std::int32_t function : {16, 17, 120, 127, 129}) {
        Call call(function, length);
        EXPECT_EQ(call.Run(data).result, HLLAPI_RC_UNSUPPORTED) << function;
        EXPECT_EQ(call.returnCode, HLLAPI_RC_UNSUPPORTED) << function;
        EXPECT_EQ(call.length, length) << function;
    }
    EXPECT_EQ(std::string(data), "A");
}

}  // namespace
}  // namespace trv::test
