// The window-services, lock, macro and file-transfer functions as a caller
// sees them, against the responder.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ehllapi_fixture.h"
#include "library/process_lifecycle.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "tables/application_list.h"
#include "tables/session_list.h"

namespace trv::test {
namespace {

std::string HolderEventName() { return UniqueName("TRV_TEST_WIN_HOLDER"); }

std::string WinConnectionOf(char letter) { return FieldText(Sessions()->GetSession(letter).WinConnection); }
std::string CallerOf(char letter) { return FieldText(Sessions()->GetSession(letter).Caller); }

std::int32_t ConnectWindow(char letter) { return Named(HA_CONNECT_PM_SRVCS, letter); }
std::int32_t DisconnectWindow(char letter) { return Named(HA_DISCONNECT_PM_SRVCS, letter); }

// A is not established here.
class WindowFunctionsTest : public ResponderTest {
protected:
    static void SetUpTestSuite() { responder_ = std::make_unique<Responder>("BC"); }
};

// Window services are held by one caller, and only its thread lets go. The
// window requests reach the emulator for the holder (without the services
// they answer 1: the table in session_functions_test.cpp); locks and the
// macro go to their session.
TEST_F(WindowFunctionsTest, WindowServicesHolderAndTheWindowLockAndMacroRequests) {
    EXPECT_EQ(Call(HA_QUERY_WINDOW_COORDS, 4).Run(nullptr).result, HLLAPI_RC_BAD_PARAMETER);
    EXPECT_EQ(ConnectWindow('b'), HLLAPI_RC_SUCCESS);
    ApplicationBlock* block = ProcessBlock();
    ASSERT_NE(block, nullptr);
    const std::string own = FieldText(block->BlockName);
    EXPECT_EQ(WinConnectionOf('B'), own);
    EXPECT_EQ(ConnectWindow('B'), HLLAPI_RC_SUCCESS) << "a second connect of the holder";

    // The same block from another thread may not disconnect; another caller
    // (the other thread's own block, through the per-thread entry) is refused.
    std::int32_t otherDisconnect = -1, otherConnect = -1;
    TestThread other([&] {
        char name[4] = {'B'};
        otherDisconnect = DisconnectWindow('B');
        otherConnect = Call(HA_CONNECT_PM_SRVCS, 4).RunPerThread(name).result;
    });
    ASSERT_TRUE(other.Join());
    EXPECT_EQ(otherDisconnect, HLLAPI_RC_NO_SESSION);
    EXPECT_EQ(otherConnect, HLLAPI_RC_IN_USE);
    EXPECT_EQ(WinConnectionOf('B'), own);

    // The responder answers with the count of non-zero request bytes, which
    // the window functions do not report; the code says they got through.
    unsigned char data[80] = {'B'};
    for (std::int32_t function : {HA_QUERY_WINDOW_COORDS, HA_PM_WINDOW_STATUS, HA_CHANGE_WINDOW_NAME}) {
        data[4] = 2;
        Sessions()->SetCaller("", 'B');
        EXPECT_EQ(Call(function, 4).Run(data).result, HLLAPI_RC_SUCCESS) << function;
        EXPECT_EQ(CallerOf('B'), own) << function;
    }
    // Setting an empty window name is refused before the emulator is asked.
    std::memset(data, 0, sizeof data);
    data[0] = 'B';
    data[4] = 1;
    EXPECT_EQ(Call(HA_CHANGE_SWITCH_NAME, 4).Run(data).result, HLLAPI_RC_BAD_PARAMETER);
    data[5] = 'N';
    EXPECT_EQ(Call(HA_CHANGE_SWITCH_NAME, 4).Run(data).result, HLLAPI_RC_SUCCESS);
    data[0] = 'c';
    EXPECT_EQ(Call(HA_LOCK_PS, 8).Run(data).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(CallerOf('C'), own);
    char macro[] = "SIGNON";
    ASSERT_EQ(Connect('B'), HLLAPI_RC_SUCCESS);
    Call start(HA_START_PLAYING_MACRO, 6);
    EXPECT_EQ(start.Run(macro).result, HLLAPI_RC_SUCCESS);
    EXPECT_EQ(start.length, 6) << "the responder did not see the macro name";

    EXPECT_EQ(DisconnectWindow('B'), HLLAPI_RC_SUCCESS);
    EXPECT_EQ(WinConnectionOf('B'), "");
    EXPECT_EQ(DisconnectWindow('B'), HLLAPI_RC_NO_SESSION);
}

TEST_F(WindowFunctionsTest, AKilledHolderDoesNotKeepWindowServices) {
    platform::UniqueHandle held(platform::CreateNamedEvent(false, HolderEventName().c_str()));
    RoleProcess holder("ehllapi_window_holder", {"C"});
    ASSERT_TRUE(holder.started());
    ASSERT_EQ(platform::WaitForEvent(held.get(), kTestLimitMs), platform::kWaitObject0);
    const std::string holderName = WinConnectionOf('C');
    ASSERT_NE(holderName, "");
    EXPECT_EQ(ConnectWindow('C'), HLLAPI_RC_IN_USE) << "the holder still lives";

    // Started before the kill: a caller attaching afterwards would reclaim
    // the dead holder's block first.
    RoleProcess other("ehllapi_window_holder", {"B"});
    ASSERT_EQ(platform::WaitForEvent(held.get(), kTestLimitMs), platform::kWaitObject0);

    holder.Kill();
    // The dead holder's id now names a live process of another start (the
    // holder of B; the two may have started within one tick of the clock
    // that stamps starts, so the stamp is made to differ): that process is
    // not the holder.
    ApplicationBlock* dead = Applications()->GetApplicationBlock(holderName.c_str());
    ASSERT_NE(dead, nullptr);
    dead->ProcessId = other.id();
    dead->OwnerStartStamp = platform::ProcessStartStamp(other.id()) + 1;
    EXPECT_EQ(ConnectWindow('C'), HLLAPI_RC_SUCCESS);
    ASSERT_NE(ProcessBlock(), nullptr);
    EXPECT_EQ(WinConnectionOf('C'), FieldText(ProcessBlock()->BlockName));
    EXPECT_EQ(Applications()->GetApplicationBlock(holderName.c_str()), nullptr)
        << "the dead holder's block was not reclaimed";
}

// The file-transfer command split into the block: the fields it leaves and
// the session the request reached (0: none). Length -1: the command's own.
struct TransferRow {
    std::string command;
    std::int32_t result;
    std::string pcFile;   // XferPCFile after the call
    std::string options;  // XferOptions after the call
    char session;
    std::int32_t length = -1;
    bool strEot = false;  // with '#' as the end character
};

TEST_F(WindowFunctionsTest, FileTransferCommandsSplitIntoTheBlock) {
    const std::string name255(255, 'N');
    const std::string rest510 = std::string(504, 'H') + " FT A1";  // 511 with the blank
    const TransferRow rows[] = {
        {"pcfile.txt b:hostfile opts", 0, "PCFILE.TXT", "HOSTFILE OPTS ", 'B'},
        {"\"my file.txt\" c: fn ft a1 (time(5)", 0, "MY FILE.TXT", "FN FT A1 (TIME(5) ", 'C'},
        {"\"a b\"B:X", 0, "A B", "X ", 'B'},
        {"pcfile fn ft a1", HLLAPI_RC_BAD_PARAMETER, "PCFILE", "FN FT A1 ", 0},  // A is not established
        {"\"my file b:fn ft a1", HLLAPI_RC_BAD_PARAMETER, "", "", 0},
        {"pcfile", HLLAPI_RC_BAD_PARAMETER, "PCFILE", "", 0},
        {"pcfile b:   ", HLLAPI_RC_BAD_PARAMETER, "PCFILE", "", 0},
        {"pcfile b:fn ft a1 clear", 0, "PCFILE", "FN FT A1 ", 'B', 17},
        {"pcfile b:fn ft a1#clear", 0, "PCFILE", "FN FT A1 ", 'B', 200, true},
        {"pcfile b:fn ft a1", HLLAPI_RC_BAD_PARAMETER, "", "", 0, -1, true},
        {"pcfile 1:fn ft a1", HLLAPI_RC_NO_SESSION, "PCFILE", "FN FT A1 ", 0},
        {name255 + " b:x", 0, name255, "X ", 'B'},
        {name255 + "N b:x", HLLAPI_RC_BAD_PARAMETER, "", "X ", 0},
        {"\"" + name255 + "N\" b:x", HLLAPI_RC_BAD_PARAMETER, "", "X ", 0},
        {"p b:" + rest510, 0, "P", rest510 + " ", 'B'},
        {"p b:" + rest510 + "X", HLLAPI_RC_BAD_PARAMETER, "P", "", 0},
        {"pcfile b:fn ft a1", HLLAPI_RC_BAD_PARAMETER, "", "", 0, -5},
    };
    for (std::int32_t function : {HA_SEND_FILE, HA_RECEIVE_FILE}) {
        for (const TransferRow& row : rows) {
            SCOPED_TRACE(testing::Message() << "function " << function << ": " << row.command.substr(0, 40));
            ForgetCallerBlocks();
            if (row.strEot) {
                ASSERT_EQ(SetParameters("STREOT,EOT=#").result, HLLAPI_RC_SUCCESS);
            }
            for (char letter : {'B', 'C'}) Sessions()->SetCaller("", letter);
            std::vector<char> data(row.command.begin(), row.command.end());
            // STREOT searches the end character within one Data's worth.
            data.resize(data.size() + HLLAPI_MAX_DATA, '\0');
            Call call(function, row.length == -1 ? static_cast<std::int32_t>(row.command.size()) : row.length);
            EXPECT_EQ(call.Run(data.data()).result, row.result);
            EXPECT_EQ(call.returnCode, row.result);
            ApplicationBlock* block = ProcessBlock();
            ASSERT_NE(block, nullptr);
            EXPECT_EQ(std::string(block->XferPCFile), row.pcFile);
            EXPECT_EQ(std::string(block->XferOptions), row.options);
            EXPECT_STREQ(block->XferHostFile, "");
            for (char letter : {'B', 'C'}) {
                EXPECT_EQ(CallerOf(letter) == FieldText(block->BlockName), letter == row.session) << letter;
            }
        }
    }
}

}  // namespace

// The holder: connects window services of session args[0], signals the
// test's event and waits to be killed.
TRV_CHILD_ROLE(ehllapi_window_holder) {
    if (args.empty() || args[0].empty()) return 2;
    OnProcessAttach();
    if (ConnectWindow(args[0][0]) != HLLAPI_RC_SUCCESS) return 3;
    platform::UniqueHandle held(platform::OpenNamedEvent(HolderEventName().c_str()));
    platform::SignalEvent(held.get());
    platform::SleepMs(2 * kTestLimitMs);
    return 0;
}

}  // namespace trv::test
