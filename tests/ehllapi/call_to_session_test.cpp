// Requests to a session and their replies as the caller sees them: what
// travels with the request, what is copied back and which length is
// reported per function, the raise-window reply, oversized requests, a
// caller released when its session's emulator dies mid-request, and requests
// reaching the emulator that registers a session next.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "ehllapi/call_to_session.h"
#include "ehllapi_fixture.h"
#include "shared/shared_control.h"
#include "tables/application_block.h"
#include "tables/cleanup.h"
#include "tables/session_list.h"

namespace trv::test {
namespace {

bool AllZero(const void* bytes, std::size_t size) {
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    return std::all_of(p, p + size, [](unsigned char b) { return b == 0; });
}

TEST(SessionIndexTest, FoldsLettersAndRejectsEverythingElse) {
    EXPECT_EQ(SessionIndex("b"), 1);
    EXPECT_EQ(SessionIndex("B"), 1);
    EXPECT_EQ(SessionIndex("Zeta"), 25);
    EXPECT_EQ(SessionIndex("a"), 0);
    EXPECT_EQ(SessionIndex("1"), -1);
    EXPECT_EQ(SessionIndex("@"), -1);
    EXPECT_EQ(SessionIndex("["), -1);
    EXPECT_EQ(SessionIndex("\xC1"), -1);
    EXPECT_EQ(SessionIndex(""), -1);
    EXPECT_EQ(SessionIndex(nullptr), -1);
}

class CallToSessionTest : public testing::Test {
protected:
    static void SetUpTestSuite() { responder_ = new Responder("ABC"); }
    static void TearDownTestSuite() {
        delete responder_;
        responder_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(responder_->ready()); }
    void TearDown() override { ForgetCallerBlocks(); }

    static void Connect(char letter) {
        char name[4] = {letter};
        ASSERT_EQ(Call(HA_CONNECT_PS, 1).Run(name).result, HLLAPI_RC_SUCCESS);
    }
    static Responder* responder_;
};
Responder* CallToSessionTest::responder_ = nullptr;

TEST_F(CallToSessionTest, CopyPresentationSpaceCopiesTheScreenAndClearsTheBlock) {
    std::vector<char> screen(4000, '#');
    Call unconnected(HA_COPY_PS, 4000);
    EXPECT_EQ(unconnected.Run(screen.data()).result, HLLAPI_RC_NO_SESSION);
    EXPECT_EQ(screen[0], '#') << "the buffer was touched without a connection";

    Connect('A');
    EXPECT_EQ(Call(HA_COPY_PS, 4000).Run(nullptr).result, HLLAPI_RC_BAD_PARAMETER);

    Call copy(HA_COPY_PS, 4000);
    EXPECT_EQ(copy.Run(screen.data()).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(copy.returnCode, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(copy.length, 1920);
    EXPECT_EQ(screen[0], 'A');
    EXPECT_EQ(screen[27], 'B');
    EXPECT_EQ(screen[1919], static_cast<char>('A' + 1919 % 26));
    EXPECT_EQ(screen[1920], '#') << "more than DataLength bytes were copied back";

    ApplicationBlock* block = ProcessBlock();
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(AllZero(block->Data, sizeof block->Data));
    EXPECT_EQ(block->DataLength, 0u);
    EXPECT_EQ(block->ReturnCode, 0u);
    EXPECT_EQ(block->Waiting, 0);
}

TEST_F(CallToSessionTest, ReportedLengthFollowsTheFunction) {
    Connect('B');
    char text[64] = "needle";

    Call search(HA_SEARCH_PS, 6);
    EXPECT_EQ(search.Run(text).result, 24);
    EXPECT_EQ(search.length, 0) << "a failed search reports no length";

    Call cursor(HA_QUERY_CURSOR_LOC);
    EXPECT_EQ(cursor.Run(text).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(cursor.length, 1234);

    std::memset(text, '#', sizeof text);
    Call untilEnd(HA_COPY_PS_TO_STR, 12, 1);
    EXPECT_EQ(untilEnd.Run(text).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(untilEnd.length, 12) << "ReplyCount -1 reports ReplyLength";
    EXPECT_EQ(std::string(text, 13), "COPIED-TEXT!#");

    std::memset(text, '#', sizeof text);
    Call counted(HA_COPY_FIELD_TO_STR, 12, 7);
    EXPECT_EQ(counted.Run(text).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(counted.length, 5) << "any other ReplyCount is reported as it stands";
    EXPECT_EQ(std::string(text, 13), "COPIED-TEXT!#") << "ReplyLength bytes are still copied";

    char toScreen[32] = "hello";
    Call put(HA_COPY_STR_TO_PS, 5);
    EXPECT_EQ(put.Run(toScreen).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(put.length, 0);

    std::vector<char> oia(200, '#');
    Call copyOia(HA_COPY_OIA, 103);
    EXPECT_EQ(copyOia.Run(oia.data()).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(copyOia.length, 104);
    EXPECT_EQ(oia[102], 'O');
    EXPECT_EQ(oia[103], '#') << "more than the 103 bytes of the OIA were copied back";
}

TEST_F(CallToSessionTest, OnlyTheRequestBytesTravel) {
    Connect('A');
    char keys[16] = "ABCDEFGHIJ";
    Call send(HA_SENDKEY, 4);
    EXPECT_EQ(send.Run(keys).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(send.length, 4) << "the emulator saw a different number of bytes";

    char position[16] = "12345678XYZ";
    Call find(HA_FIND_FIELD_POS, 11);
    EXPECT_EQ(find.Run(position).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(find.length, 2) << "the field code is two bytes, whatever the length";
}

TEST_F(CallToSessionTest, RaiseWindowReplyBecomesSuccess) {
    Connect('C');
    Call cursor(HA_SET_CURSOR, 0, 81);
    EXPECT_EQ(cursor.Run(nullptr).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(cursor.returnCode, HLLAPI_RC_SUCCESS);
}

TEST_F(CallToSessionTest, ConvertPositionGoesToTheNamedSession) {
    char data[8] = "c";
    Call convert(HA_CONVERT_POS_ROW_COL, 8, 81);
    EXPECT_EQ(convert.Run(data).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(convert.length, 102) << "not answered by session C";

    Connect('A');
    EXPECT_EQ(Call(HA_CONVERT_POS_ROW_COL, 8).Run(data).length, 102);
    char invalid[8] = "1";
    EXPECT_EQ(Call(HA_CONVERT_POS_ROW_COL, 8).Run(invalid).result, HLLAPI_RC_NO_SESSION);
}

TEST_F(CallToSessionTest, OversizedAndNegativeLengthsAreRefused) {
    Connect('A');
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
    EXPECT_TRUE(AllZero(block->Data, sizeof block->Data)) << "refused bytes reached the block";

    // The largest request that fits goes through whole.
    Call full(HA_SENDKEY, HLLAPI_MAX_DATA);
    EXPECT_EQ(full.Run(big.data()).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(full.length, HLLAPI_MAX_DATA);
}

TEST_F(CallToSessionTest, MissingDataOrLengthIsNotDereferenced) {
    Connect('A');
    std::int32_t function = HA_SENDKEY;
    std::int32_t returnCode = 0;
    EXPECT_EQ(hllapi(&function, nullptr, nullptr, &returnCode), HLLAPI_RC_SUCCESS);
    function = HA_COPY_OIA;
    EXPECT_EQ(hllapi(&function, nullptr, nullptr, &returnCode), HLLAPI_RC_SUCCESS);
    function = HA_COPY_PS_TO_STR;
    returnCode = 7;
    std::int32_t length = 12;
    EXPECT_EQ(hllapi(&function, nullptr, &length, &returnCode), HLLAPI_RC_SUCCESS);
    EXPECT_EQ(length, 5);
}

// A responder killed while it holds a request: the caller notices that the
// process serving its session has ended, is released with 9, and the dead
// process's session is reclaimed so that later calls answer "no session".
TEST(CallerReleaseTest, CallerOfAKilledResponderIsReleasedWithSystemError) {
    Responder responder("D");
    ASSERT_TRUE(responder.ready());
    char name[4] = "D";
    ASSERT_EQ(Call(HA_CONNECT_PS, 1).Run(name).result, HLLAPI_RC_SUCCESS);

    std::vector<char> screen(2000, '#');
    Call copy(HA_COPY_PS, 2000, kDiePosition);
    CallerThread caller([&] { copy.Run(screen.data()); });
    ASSERT_TRUE(responder.WaitHeld());
    responder.Kill();

    EXPECT_TRUE(caller.Join()) << "the caller was not released";
    EXPECT_EQ(copy.result, HLLAPI_RC_SYSTEM_ERROR);
    EXPECT_EQ(copy.returnCode, HLLAPI_RC_SYSTEM_ERROR);
    EXPECT_EQ(Sessions()->GetSession('D').Established, 0);
    EXPECT_EQ(Control().SessionsAvailable.load(), 0);

    // The caller's connection ended with the session.
    ApplicationBlock* block = ProcessBlock();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->ShortName, 0);
    EXPECT_EQ(block->Waiting, 0);
    EXPECT_EQ(Call(HA_COPY_PS, 2000).Run(screen.data()).result, HLLAPI_RC_NO_SESSION);
    ForgetCallerBlocks();
}

// A session whose emulator was killed while nobody was waiting is not
// offered any more: Connect answers "no session" and the table is cleaned.
TEST(CallerReleaseTest, SessionOfAKilledResponderIsNotOfferedAgain) {
    Responder responder("E");
    ASSERT_TRUE(responder.ready());
    responder.Kill();
    char name[4] = "E";
    EXPECT_EQ(Call(HA_CONNECT_PS, 1).Run(name).result, HLLAPI_RC_NO_SESSION);
    EXPECT_EQ(Sessions()->GetSession('E').Established, 0);
    EXPECT_EQ(Control().SessionsAvailable.load(), 0);
    ForgetCallerBlocks();
}

// A caller keeps the request event of a session open between requests; when
// the session's emulator ends (unregistering, or killed) and another one
// registers the session again, the caller's next requests reach the new one.
TEST(CallerReleaseTest, RequestsReachTheSessionsNextEmulator) {
    char name[4] = "F";
    std::vector<char> screen(2000, '#');
    auto copyScreen = [&screen]() {
        Call copy(HA_COPY_PS, 2000);
        CallerThread caller([&] { copy.Run(screen.data()); });
        EXPECT_TRUE(caller.Join()) << "the request never reached the session's emulator";
        return copy.result;
    };
    for (const bool killed : {false, true}) {
        SCOPED_TRACE(killed ? "first emulator killed" : "first emulator unregistered");
        {
            Responder first("F");
            ASSERT_TRUE(first.ready());
            ASSERT_EQ(Call(HA_CONNECT_PS, 1).Run(name).result, HLLAPI_RC_SUCCESS);
            ASSERT_EQ(copyScreen(), HLLAPI_RC_SUCCESS);
            if (killed) {
                first.Kill();
            } else {
                EXPECT_EQ(first.Stop(), 0);
            }
        }
        EXPECT_EQ(Call(HA_CONNECT_PS, 1).Run(name).result, HLLAPI_RC_NO_SESSION);

        Responder second("F");
        ASSERT_TRUE(second.ready());
        ASSERT_EQ(Call(HA_CONNECT_PS, 1).Run(name).result, HLLAPI_RC_SUCCESS);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(copyScreen(), HLLAPI_RC_SUCCESS) << "request " << i;
        EXPECT_EQ(screen[0], 'A');
        ForgetCallerBlocks();
    }
}

}  // namespace
}  // namespace trv::test
