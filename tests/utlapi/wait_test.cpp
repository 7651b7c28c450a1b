// The UTLAPI single-shot waits against the screen responder of
// utlapi_fixture.h (24 x 80, "MAIN MENU" at row 1, the cursor set to row 2,
// column 80; no emulator answers QMXAPI and no key is ever typed).
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "trvha64_utlapi.h"
#include "utlapi_fixture.h"

namespace trv::test {
namespace {

constexpr trvUTLClient kClient = 0x3A17;
constexpr trvUTLClient kUnbound = 0x3A18;

class UtlWaitTest : public testing::Test {
protected:
    static void SetUpTestSuite() { responder_ = std::make_unique<ScreenResponder>("A"); }
    static void TearDownTestSuite() { responder_.reset(); }
    void SetUp() override {
        ASSERT_TRUE(responder_->ready());
        ASSERT_EQ(UTLRegisterClient(kClient), 1);
        ASSERT_EQ(UTLConnectSession(kClient, "A"), 1);
        ASSERT_EQ(UTLSetCursorLocation(kClient, 2, 80), 1);
    }
    void TearDown() override {
        UTLDisconnectSession(kClient);
        UTLUnregisterClient(kClient);
        ForgetCallerBlocks();
    }
    static std::unique_ptr<ScreenResponder> responder_;
};

std::unique_ptr<ScreenResponder> UtlWaitTest::responder_;

TEST_F(UtlWaitTest, EachWaitAnswersWhatItFoundOrTimesOut) {
    struct Row {
        const char* what;
        std::function<std::int32_t(trvUTLClient)> wait;
        std::int32_t expected;
        std::int32_t unbound = UTL_NOT_REGISTERED;  // for a client without a session
    };
    const Row rows[] = {
        {"string at row and column", [](trvUTLClient c) { return UTLWaitForString(c, 1, 1, "MAIN MENU", 2); }, 1},
        {"string in a row", [](trvUTLClient c) { return UTLWaitForString(c, 1, 0, "MENU", 2); }, 6},
        {"string in a column", [](trvUTLClient c) { return UTLWaitForString(c, 0, 6, "MENU", 2); }, 6},
        {"string anywhere", [](trvUTLClient c) { return UTLWaitForString(c, 0, 0, "MAIN", 2); }, 1},
        {"string not there", [](trvUTLClient c) { return UTLWaitForString(c, 3, 1, "MAIN", 1); }, UTL_TIMEOUT},
        {"no string", [](trvUTLClient c) { return UTLWaitForString(c, 1, 1, nullptr, 1); }, UTL_INVALID_PARAMETER},
        {"cursor at row and column", [](trvUTLClient c) { return UTLWaitForCursor(c, 2, 80, 1); }, 1},
        {"cursor in a row", [](trvUTLClient c) { return UTLWaitForCursor(c, 2, 0, 1); }, 1},
        {"cursor in the last column", [](trvUTLClient c) { return UTLWaitForCursor(c, 0, 80, 1); }, 1},
        {"cursor in another row", [](trvUTLClient c) { return UTLWaitForCursor(c, 3, 0, 1); }, UTL_TIMEOUT},
        {"cursor nowhere", [](trvUTLClient c) { return UTLWaitForCursor(c, 0, 0, 1); }, UTL_INVALID_PARAMETER},
        {"cursor that stays", [](trvUTLClient c) { return UTLWaitForCursorMove(c, 1); }, UTL_TIMEOUT, UTL_TIMEOUT},
        {"quiet, no settle time", [](trvUTLClient c) { return UTLWaitHostQuiet(c, 0, 0); }, 1},
        {"quiet longer than the time-out", [](trvUTLClient c) { return UTLWaitHostQuiet(c, 1000, 1); }, UTL_TIMEOUT},
        {"key never typed", [](trvUTLClient c) { return UTLWaitForKey(c, "@E", 1); }, UTL_TIMEOUT},
        {"host connect, no emulator", [](trvUTLClient c) { return UTLWaitForHostConnect(c, 1); }, UTL_TIMEOUT},
        {"host disconnect, no emulator", [](trvUTLClient c) { return UTLWaitForHostDisconnect(c, 1); }, UTL_TIMEOUT},
        {"send and wait", [](trvUTLClient c) { return UTLSendAndWait(c, 2, 80, "K", "K", 2); }, 160},
        {"send without a wait string", [](trvUTLClient c) { return UTLSendAndWait(c, 1, 1, "K", nullptr, 2); },
         UTL_INVALID_PARAMETER, UTL_INVALID_PARAMETER},
        {"EHLLAPI Wait", [](trvUTLClient c) { return UTLWait(c); }, 1},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.wait(kClient), row.expected) << row.what;
        EXPECT_EQ(UTLGetParameter(kClient, 10), 1) << row.what;
        EXPECT_EQ(row.wait(kUnbound), row.unbound) << row.what;
    }
}

}  // namespace
}  // namespace trv::test
