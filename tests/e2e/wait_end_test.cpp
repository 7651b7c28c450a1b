// End to end: waits without a time limit on the reference emulator's
// sessions end with the session, answering 9: Wait and Get Key when the
// emulator is killed, and Wait when its session is stopped.
#include <gtest/gtest.h>

#include "e2e_fixture.h"

namespace trv::e2e {
namespace {

// --- the caller roles ---------------------------------------------------

// unbounded_wait L: connected to L with LWAIT, waits for the test's
// go-ahead (input is then inhibited), then waits for input.
int UnboundedWaitRole(const std::vector<std::string>& args) {
    const int32_t connected = RunText(HA_CONNECT_PS, args[0]);
    const int32_t parms = RunText(HA_SET_SESSION_PARMS, "LWAIT");
    Say("ready");
    Say("connect " + Num(connected));
    Say("parms " + Num(parms));
    AwaitGo();
    Say("calling");
    Say("wait " + Num(Run(HA_WAIT, nullptr, 0).rc));
    return 0;
}

// unbounded_get_key L: intercepts every keystroke of L and waits for one
// with LWAIT.
int UnboundedGetKeyRole(const std::vector<std::string>& args) {
    const auto letter = static_cast<unsigned char>(args[0][0]);
    const int32_t parms = RunText(HA_SET_SESSION_PARMS, "LWAIT");
    unsigned char request[24] = {letter, 0, 0, 0, 'L'};
    const int32_t started = Run(HA_START_KEY_INTERCEPT, request, 0).rc;
    Say("ready");
    Say("parms " + Num(parms));
    Say("start " + Num(started));
    Say("calling");
    unsigned char key[16] = {letter};
    Say("get_key " + Num(Run(HA_GET_KEY, key, sizeof key).rc));
    return 0;
}

[[maybe_unused]] const bool kRegistered = RegisterRoles({
    {"unbounded_wait", UnboundedWaitRole, 1},
    {"unbounded_get_key", UnboundedGetKeyRole, 1},
});

// --- the tests ----------------------------------------------------------

using WaitEndEndToEnd = EmulatorEndToEnd;

// Long enough for a caller to be inside its wait.
constexpr Milliseconds kSettle{300};

TEST_F(WaitEndEndToEnd, AKilledEmulatorEndsWaitAndGetKeyWithoutALimit) {
    ASSERT_NO_FATAL_FAILURE(StartHolder());
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A", "slow=C"}));
    auto keys = StartReady("unbounded_get_key", {"A"});
    ASSERT_TRUE(keys != nullptr);
    auto waiter = StartReady("unbounded_wait", {"C"});
    ASSERT_TRUE(waiter != nullptr);
    // The Enter leaves input inhibited for the slow host's minute.
    ASSERT_EQ(emulator_->Command("keys C [enter]"), std::vector<std::string>{"OK"});
    ASSERT_TRUE(waiter->WriteLine("go"));
    ASSERT_TRUE(waiter->ReadUntil("calling", kAnswerLimit).has_value());
    std::this_thread::sleep_for(kSettle);
    ASSERT_TRUE(waiter->Running()) << "the Wait did not wait for the inhibited session";
    ASSERT_TRUE(keys->Running()) << "Get Key did not wait";

    Report waited = KillEmulatorAndAwaitRelease(*waiter);
    EXPECT_EQ(waited.Joined("wait"), "9");
    Report got = Finish(*keys);
    EXPECT_EQ(got.Joined("get_key"), "9");
    ExpectEmulatorGone();
}

TEST_F(WaitEndEndToEnd, AStoppedSessionEndsAWaitInProgress) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"slow=C"}));
    auto waiter = StartReady("unbounded_wait", {"C"});
    ASSERT_TRUE(waiter != nullptr);
    ASSERT_EQ(waiter->ReadUntil("connect ", kAnswerLimit), "connect 0");
    ASSERT_EQ(emulator_->Command("keys C [enter]"), std::vector<std::string>{"OK"});
    ASSERT_TRUE(waiter->WriteLine("go"));
    ASSERT_TRUE(waiter->ReadUntil("calling", kAnswerLimit).has_value());
    std::this_thread::sleep_for(kSettle);
    ASSERT_TRUE(waiter->Running()) << "the Wait did not wait for the inhibited session";

    ASSERT_EQ(emulator_->Command("stop C"), std::vector<std::string>{"stopped"});
    Report report = Finish(*waiter);
    EXPECT_EQ(report.Joined("wait"), "9") << "the session ended; it did not accept input";
}

}  // namespace
}  // namespace trv::e2e
