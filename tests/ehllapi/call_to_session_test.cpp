// Requests to a session and their replies as the caller sees them (the
// per-function replies are rows of caller_buffer_test.cpp): the screen copied
// back, oversized requests, callers released when their session's emulator
// ends, and requests reaching the emulator that registers a session next.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
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
    const std::pair<const char*, int> rows[] = {{"b", 1},  {"B", 1},  {"Zeta", 25}, {"a", 0},   {"1", -1},
                                                {"@", -1}, {"[", -1}, {"\xC1", -1}, {"", -1}, {nullptr, -1}};
    for (auto [name, index] : rows) EXPECT_EQ(SessionIndex(name), index) << (name ? name : "null");
}

class CallToSessionTest : public ResponderTest {};

TEST_F(CallToSessionTest, CopyPresentationSpaceCopiesTheScreenAndClearsTheBlock) {
    std::vector<char> screen(4000, '#');
    EXPECT_EQ(Call(HA_COPY_PS, 4000).Run(screen.data()).result, HLLAPI_RC_NO_SESSION);
    EXPECT_EQ(screen[0], '#') << "the buffer was touched without a connection";
    char named[8] = "c";
    EXPECT_EQ(Call(HA_CONVERT_POS_ROW_COL, 8, 81).Run(named).length, 102) << "Convert Position needs no connection";

    ASSERT_EQ(Connect('A'), HLLAPI_RC_SUCCESS);
    EXPECT_EQ(Call(HA_COPY_PS, 4000).Run(nullptr).result, HLLAPI_RC_BAD_PARAMETER);
    Call copy(HA_COPY_PS, 4000);
    EXPECT_EQ(copy.Run(screen.data()).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(copy.returnCode, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(screen[27], 'B');
    EXPECT_EQ(screen[1920], '#') << "more than DataLength bytes were copied back";

    ApplicationBlock* block = ProcessBlock();
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(AllZero(block->Data, sizeof block->Data));
    EXPECT_EQ(block->DataLength + block->ReturnCode + block->Waiting, 0u);
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
    EXPECT_TRUE(AllZero(block->Data, sizeof block->Data)) << "refused bytes reached the block";

    // The largest request that fits goes through whole.
    Call full(HA_SENDKEY, HLLAPI_MAX_DATA);
    EXPECT_EQ(full.Run(big.data()).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(full.length, HLLAPI_MAX_DATA);
}

TEST_F(CallToSessionTest, MissingDataOrLengthIsNotDereferenced) {
    ASSERT_EQ(Connect('A'), HLLAPI_RC_SUCCESS);
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

// A session's emulator ends, unregistering or killed while it holds the
// caller's request: a held caller notices that the process serving its
// session has ended and is released with 9; the session is no longer
// offered and the caller's connection ends with it. The caller keeps the
// session's request event open between requests, so when another emulator
// registers the session again, the caller's next requests must reach it.
TEST(CallerReleaseTest, CallersOfAnEndedEmulatorAreReleasedAndReachTheSessionsNext) {
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
            ASSERT_EQ(Connect('F'), HLLAPI_RC_SUCCESS);
            ASSERT_EQ(copyScreen(), HLLAPI_RC_SUCCESS);
            if (killed) {
                Call copy(HA_COPY_PS, 2000, kDiePosition);
                CallerThread caller([&] { copy.Run(screen.data()); });
                ASSERT_TRUE(first.WaitHeld());
                first.Kill();
                EXPECT_TRUE(caller.Join()) << "the caller was not released";
                EXPECT_EQ(copy.result, HLLAPI_RC_SYSTEM_ERROR);
                EXPECT_EQ(copy.returnCode, HLLAPI_RC_SYSTEM_ERROR);
            } else {
                EXPECT_EQ(first.Stop(), 0);
            }
        }
        EXPECT_EQ(Sessions()->GetSession('F').Established, 0);
        EXPECT_EQ(Control().SessionsAvailable.load(), 0);
        ApplicationBlock* block = ProcessBlock();
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(block->ShortName, 0);
        EXPECT_EQ(block->Waiting, 0);
        EXPECT_EQ(Call(HA_COPY_PS, 2000).Run(screen.data()).result, HLLAPI_RC_NO_SESSION);
        EXPECT_EQ(Connect('F'), HLLAPI_RC_NO_SESSION);

        Responder second("F");
        ASSERT_TRUE(second.ready());
        ASSERT_EQ(Connect('F'), HLLAPI_RC_SUCCESS);
        screen[0] = '#';
        for (int i = 0; i < 3; ++i) EXPECT_EQ(copyScreen(), HLLAPI_RC_SUCCESS) << "request " << i;
        EXPECT_EQ(screen[0], 'A');
        ForgetCallerBlocks();
    }
}

}  // namespace
}  // namespace trv::test
