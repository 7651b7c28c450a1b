// The UTLAPI functions of a client bound to the screen responder's session
// (screen_responder.h): what reached the session and what came back.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/thread.h"
#include "tables/application_list.h"
#include "tables/session_parms.h"
#include "utlapi_fixture.h"

namespace trv::test {
namespace {

class UtlScreenTest : public BoundClientTest {
protected:
    static std::string Read(std::int32_t row, std::int32_t column, std::int32_t length) {
        std::string text(static_cast<std::size_t>(length), '\0');
        EXPECT_EQ(UTLGetString(kClient, row, column, text.data(), length), 1) << row << "," << column;
        return text;
    }
};

TEST_F(UtlScreenTest, BindingUpperCasesTheNameAndNeedsARegisteredClientAndSession) {
    EXPECT_EQ(UTLGetSessionSize(kClient), 24 * 80);
    char buffer[UTL_ERROR_BUFFER];
    EXPECT_EQ(UTLGetError(kClient, buffer, UTL_ERROR_BUFFER), 0);
    EXPECT_EQ(UTLConnectSession(kClient, "Q"), UTL_NO_SUCH_SESSION);
    EXPECT_EQ(UTLConnectSession(kClient + 1, "A"), UTL_NOT_REGISTERED);
}

TEST_F(UtlScreenTest, WritesAndReadsByRowAndColumnPositionOrCursor) {
    EXPECT_EQ(UTLSendString(kClient, 3, 5, "HELLO"), 1);
    EXPECT_EQ(Read(3, 5, 5), "HELLO");
    EXPECT_EQ(Read(0, 2 * 80 + 5, 5), "HELLO");
    EXPECT_EQ(Read(1, 1, 9), "MAIN MENU");
    // Without row or column Send String writes at the cursor.
    ASSERT_EQ(UTLSetCursorLocation(kClient, 2, 10), 1);
    EXPECT_EQ(UTLSendString(kClient, 0, 0, "AB"), 1);
    ASSERT_EQ(UTLSetCursorLocation(kClient, 4, 1), 1);
    EXPECT_EQ(UTLSendString(kClient, 3, 0, "CD"), 1);
    EXPECT_EQ(Read(2, 10, 2), "AB");
    EXPECT_EQ(Read(4, 1, 2), "CD");
    EXPECT_EQ(Read(3, 1, 2), "  ");
    ASSERT_EQ(UTLSetCursorLocation(kClient, 10, 1), 1);
    EXPECT_EQ(UTLSendKey(kClient, "KEYS"), 1);
    EXPECT_EQ(Read(10, 1, 4), "KEYS");
    EXPECT_EQ(UTLGetCursorLocation(kClient), 9 * 80 + 5);
    EXPECT_EQ(UTLSendKey(kClient, nullptr), UTL_INVALID_PARAMETER);
    // Control bytes read as blanks unless attributes are asked for.
    EXPECT_EQ(Read(2, 1, 1), " ");
    EXPECT_EQ(UTLSetParameter(kClient, 1, 1, nullptr), 2);
    EXPECT_EQ(Read(2, 1, 1), "\x1F");
}

TEST_F(UtlScreenTest, RowColumnConvertsPositionsBothWays) {
    const struct {
        std::int32_t position, option, result;
    } rows[] = {{160, 0, 2}, {160, 1, 80}, {161, 0, 3}, {161, 1, 1},
                {1, 0, 1},   {1, 1, 1},    {160, 2, UTL_INVALID_PARAMETER}};
    for (const auto& row : rows) {
        EXPECT_EQ(UTLRowColumn(kClient, row.position, row.option), row.result) << row.position << "/" << row.option;
    }
}

TEST_F(UtlScreenTest, FieldSearchAndOIAFunctionsReadTheSession) {
    EXPECT_EQ(UTLSendStringToField(kClient, 5, 30, "FIELD"), 1);
    std::string text(5, '\0');
    EXPECT_EQ(UTLGetStringFromField(kClient, 5, 40, text.data(), 5), 1);
    EXPECT_EQ(text, "FIELD");
    EXPECT_EQ(UTLGetFieldPosition(kClient, 5, 7, 1), 5 * 80 + 1);
    EXPECT_EQ(UTLGetFieldLength(kClient, 5, 7, 1), 80);
    // The EHLLAPI side reports no position for Search Field (its length word
    // comes back 0), so a found text answers 0 and a missing one -24.
    EXPECT_EQ(UTLSearchField(kClient, 5, 1, "ELD"), 0);
    EXPECT_EQ(UTLSearchField(kClient, 5, 1, "NOWHERE"), -24);
    EXPECT_EQ(UTLSearchSession(kClient, 1, 1, "MENU", 1), 6);
    EXPECT_EQ(UTLSearchSession(kClient, 1, 1, "ABSENT", 1), 0);
    EXPECT_EQ(UTLSearchSession(kClient, 1, 1, "MAIN", 3), 1);
    EXPECT_EQ(UTLSearchSession(kClient, 1, 2, "MAIN", 3), 0);

    std::string oia(110, 'x');
    EXPECT_EQ(UTLGetOIABytes(kClient, oia.data(), 103), 1);
    EXPECT_EQ(oia[0], '9');
    EXPECT_EQ(oia[89], 0x04);
    EXPECT_EQ(oia[103], 'x');
    EXPECT_EQ(UTLGetConnectionStatus(kClient, 1), 1);
    EXPECT_EQ(UTLGetConnectionStatus(kClient, 2), 5);
    EXPECT_EQ(UTLGetConnectionStatus(kClient, 4), 1);
}

TEST_F(UtlScreenTest, FieldInfoTestsTheAttributeForTheSessionType) {
    // Rows 1..12 answer 0x24, the rows below 0x08, on a display session.
    const struct {
        std::int32_t row, type, result;
    } rows[] = {{1, 1, 1}, {1, 2, 0}, {1, 3, 1}, {1, 4, 0}, {1, 5, 0}, {1, 6, 0},
                {13, 1, 0}, {13, 3, 1}, {13, 4, 1}, {13, 5, 0}, {13, 7, 0}};
    for (const auto& row : rows) {
        EXPECT_EQ(UTLGetFieldInfo(kClient, row.row, 1, row.type), row.result) << row.row << "/" << row.type;
    }
}

TEST_F(UtlScreenTest, ParametersSendTheirKeywordsToTheSessionAndRefusedOnesNothing) {
    const ApplicationBlock* block =
        Applications()->FindApplicationBlock(platform::CurrentProcessId(), platform::CurrentThreadId());
    ASSERT_NE(block, nullptr);
    const struct {
        std::int32_t setting;
        std::uint32_t halfMinutes;
    } timeouts[] = {{7, 7}, {10, 10}, {14, 14}, {20, 14}};
    std::int32_t previous = 0;
    for (const auto& row : timeouts) {
        EXPECT_EQ(UTLSetParameter(kClient, 8, row.setting, nullptr), previous) << row.setting;
        EXPECT_EQ(block->TimeoutValue, 30u * row.halfMinutes) << row.setting;
        previous = row.setting;
    }
    EXPECT_EQ(UTLSetParameter(kClient, 12, 0, "#"), '@');
    EXPECT_EQ(block->EscChar, '#');
    EXPECT_EQ(UTLGetParameter(kClient, 12), '#');
    EXPECT_EQ(UTLSetParameter(kClient, 10, 3, nullptr), 1);
    EXPECT_EQ(block->WaitTimeout, 0u);
    EXPECT_EQ(UTLSetParameter(kClient, 2, 2, nullptr), 1);
    EXPECT_NE(block->SessionParms & parms::kNoReset, 0u);
    EXPECT_EQ(UTLSetParameter(kClient, 2, 1, nullptr), 2);
    EXPECT_EQ(block->SessionParms & parms::kNoReset, 0u);

    const std::uint32_t before = block->SessionParms;
    const struct {
        std::int32_t index, setting;
    } rows[] = {{5, 1}, {13, 1}, {0, 1}, {1, 3}, {10, 4}, {2, 0}};
    for (const auto& row : rows) {
        EXPECT_EQ(UTLSetParameter(kClient, row.index, row.setting, nullptr), UTL_INVALID_PARAMETER)
            << row.index << "/" << row.setting;
    }
    EXPECT_EQ(block->SessionParms, before);
    EXPECT_EQ(UTLSetParameter(kClient + 1, 1, 1, nullptr), UTL_SYSTEM_ERROR);
}

TEST_F(UtlScreenTest, UnboundClientsAreRefusedBeforeAnyCall) {
    ASSERT_EQ(UTLRegisterClient(kClient + 1), 1);
    const trvUTLClient unbound = kClient + 1;
    char buffer[QMX_PROFILE_SIZE] = {};
    const struct {
        const char* name;
        std::function<std::int32_t()> call;
        std::int32_t result;
    } rows[] = {
        {"SendKey", [&] { return UTLSendKey(unbound, "x"); }, UTL_NOT_REGISTERED},
        {"GetString", [&] { return UTLGetString(unbound, 1, 1, buffer, 1); }, UTL_NOT_REGISTERED},
        {"SendString", [&] { return UTLSendString(unbound, 1, 1, "x"); }, UTL_NOT_REGISTERED},
        {"GetCursorLocation", [&] { return UTLGetCursorLocation(unbound); }, UTL_NOT_REGISTERED},
        {"RowColumn", [&] { return UTLRowColumn(unbound, 1, 0); }, UTL_NOT_REGISTERED},
        {"GetFieldInfo", [&] { return UTLGetFieldInfo(unbound, 1, 1, 1); }, UTL_NOT_REGISTERED},
        {"GetConnectionStatus", [&] { return UTLGetConnectionStatus(unbound, 1); }, 0},
        {"QueryHostUpdate *", [&] { return UTLQueryHostUpdate(unbound, "*"); }, UTL_NOT_REGISTERED},
        {"GetOIABytes unregistered", [&] { return UTLGetOIABytes(kClient + 2, buffer, 8); }, 0},
        {"ReceiveFile", [&] { return UTLReceiveFile(unbound, "x", 1); }, 0},
        {"SendFile unregistered", [&] { return UTLSendFile(kClient + 2, "x", 1); }, UTL_NOT_REGISTERED},
        {"SessionOn", [&] { return UTLSessionOn(unbound); }, UTL_NO_RECORD},
        {"GetConfiguration", [&] { return UTLGetConfiguration(unbound, buffer, sizeof buffer); }, UTL_INVALID_PARAMETER},
    };
    for (const auto& row : rows) EXPECT_EQ(row.call(), row.result) << row.name;
    UTLUnregisterClient(unbound);
}

// The single-shot waits, with the cursor at row 2, column 80; no emulator
// answers QMXAPI and no key is ever typed.
TEST_F(UtlScreenTest, EachWaitAnswersWhatItFoundOrTimesOut) {
    struct Row {
        const char* what;
        std::function<std::int32_t(trvUTLClient)> wait;
        std::int32_t expected;
        std::int32_t unbound = UTL_NOT_REGISTERED;  // for an unregistered client
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
    ASSERT_EQ(UTLSetCursorLocation(kClient, 2, 80), 1);
    for (const Row& row : rows) {
        EXPECT_EQ(row.wait(kClient), row.expected) << row.what;
        EXPECT_EQ(row.wait(kClient + 1), row.unbound) << row.what;
    }
}

}  // namespace
}  // namespace trv::test
