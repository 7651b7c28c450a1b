// End to end: what processes that end without detaching leave behind, with
// the reference emulator and callers killed outright. A caller killed while
// connected leaves the presentation space free for the next one; a caller
// that intercepted keystrokes and ended without stopping (exited, or was
// killed) leaves the operator's keyboard working; a killed caller's close
// intercept or reservation is forgotten by the emulator; an emulator killed while
// another process keeps the tables alive leaves its sessions to the next
// emulator; and callers leave no named objects behind, whether they exited
// or were killed.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "e2e_fixture.h"

namespace trv::e2e {
namespace {

// The callers, as steps of the "script" role.
std::vector<std::string> ConnectTo(char letter) {
    return {Step("connect call", HA_CONNECT_PS, std::string(1, letter)), Step("disconnect call", HA_DISCONNECT_PS)};
}
const std::vector<std::string> kHoldConnected = {Step("connect call", HA_CONNECT_PS, "A"), "ready say", "- go"};
const std::vector<std::string> kInterceptUnstopped = {Step("start start", HA_START_KEY_INTERCEPT, "A", 0, "L"),
                                                      "ready say", "- go"};

// --- the tests ----------------------------------------------------------

using DeadCallerEndToEnd = EmulatorEndToEnd;

// How the intercepting caller ends: "exit" (normally, without Stop) or
// "kill" (outright).
class UnstoppedInterceptEndToEnd : public EmulatorEndToEnd,
                                  public testing::WithParamInterface<const char*> {};

TEST_P(UnstoppedInterceptEndToEnd, TheOperatorsKeysReachTheScreenAfterTheInterceptorIsGone) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    auto interceptor = StartReady("script", kInterceptUnstopped);
    ASSERT_TRUE(interceptor != nullptr);
    // While it lives, the intercept takes the operator's key.
    EXPECT_EQ(emulator_->Command("keys A x"), std::vector<std::string>{"OK"});
    EXPECT_EQ(emulator_->ScreenRows('A').at(5).substr(34, 1), " ");
    if (std::string(GetParam()) == "kill") {
        interceptor->Kill();
        ASSERT_TRUE(interceptor->Wait(kExitLimit).has_value());
    } else {
        EXPECT_TRUE(interceptor->WriteLine("go"));
        EXPECT_EQ(interceptor->Wait(kCallerLimit), 0);
    }
    EXPECT_EQ(emulator_->Command("keys A q"), std::vector<std::string>{"OK"});
    EXPECT_EQ(emulator_->ScreenRows('A').at(5).substr(34, 1), "q") << "the operator's keyboard stays dead";
}

INSTANTIATE_TEST_SUITE_P(Ends, UnstoppedInterceptEndToEnd, testing::Values("exit", "kill"));

// What a killed caller held in the emulator: a close intercept, or the
// keyboard reserved. The emulator learns of the end from the library (at a
// close attempt, or at its look about once a second), so the operator's
// command is repeated until it answers as for a free session, or the limit
// passes.
struct HeldByTheDead {
    const char* held;
    std::vector<std::string> steps;
    const char* command;
    const char* whileHeld;
    const char* onceFree;
};

void PrintTo(const HeldByTheDead& row, std::ostream* out) { *out << row.held; }

class KilledHolderEndToEnd : public EmulatorEndToEnd, public testing::WithParamInterface<HeldByTheDead> {};

TEST_P(KilledHolderEndToEnd, TheEmulatorForgetsWhatAKilledCallerHeld) {
    const HeldByTheDead& row = GetParam();
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    auto holder = StartReady("script", row.steps);
    ASSERT_TRUE(holder != nullptr);
    EXPECT_EQ(emulator_->Command(row.command), std::vector<std::string>{row.whileHeld}) << row.held;
    holder->Kill();
    ASSERT_TRUE(holder->Wait(kExitLimit).has_value());

    std::optional<std::vector<std::string>> answer;
    Eventually([&] { return (answer = emulator_->Command(row.command)) == std::vector<std::string>{row.onceFree}; },
               kExitLimit, Milliseconds(100));
    EXPECT_EQ(answer, std::vector<std::string>{row.onceFree}) << "still held for the killed caller: " << row.held;
}

INSTANTIATE_TEST_SUITE_P(Holds, KilledHolderEndToEnd,
                         testing::Values(HeldByTheDead{"close",
                                                       {Step("start start", HA_START_CLOSE_INTERCEPT, "A", 16, "Q"),
                                                        "ready say", "- go"},
                                                       "close A", "intercepted", "closed"},
                                         HeldByTheDead{"reserve",
                                                       {Step("connect call", HA_CONNECT_PS, "A"),
                                                        Step("start call", HA_RESERVE), "ready say", "- go"},
                                                       "keys A q", "INHIBITED", "OK"}),
                         [](const testing::TestParamInfo<HeldByTheDead>& info) {
                             return std::string(info.param.held);
                         });

TEST_F(DeadCallerEndToEnd, AnEmulatorStartedAfterOneWasKilledServesItsSessions) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    // Another process keeps the tables, and the killed emulator's entry, alive.
    ASSERT_NO_FATAL_FAILURE(StartHolder());
    emulator_->process().Kill();
    ASSERT_TRUE(emulator_->process().Wait(kExitLimit).has_value());
    emulator_.reset();

    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    Report next = RunCaller("script", ConnectTo('A'));
    EXPECT_EQ(next.Joined("connect"), "0") << "the session entry of the killed emulator was not taken over";
    EXPECT_EQ(emulator_->ScreenRows('A').size(), 24u);
}

// The files of the test's namespace, the named objects that exist.
std::set<std::string> NamespaceObjects(const std::string& space) {
    std::error_code ignored;
    std::set<std::string> names;
    for (auto it = std::filesystem::directory_iterator(NamespaceDirectory(space), ignored);
         it != std::filesystem::directory_iterator(); it.increment(ignored)) {
        names.insert(it->path().filename().string());
    }
    return names;
}

std::string Listed(const std::set<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += " " + name;
    return text;
}

// Polls until the namespace holds the `expected` objects again or the
// limit passes; answers the last listing. The emulator gives up a gone caller's
// reply event at its next look, about a second later.
std::set<std::string> AwaitNamespaceObjects(const std::string& space, const std::set<std::string>& expected) {
    std::set<std::string> count;
    Eventually([&] { return (count = NamespaceObjects(space)) == expected; }, kExitLimit, Milliseconds(100));
    return count;
}

TEST_F(DeadCallerEndToEnd, CallersThatEndedLeaveNoNamedObjectsNorAHeldSessionBehind) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    ASSERT_NO_FATAL_FAILURE(StartHolder());
    const std::set<std::string> before = NamespaceObjects(space_);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(RunCaller("script", ConnectTo('A')).Joined("connect"), "0");
    EXPECT_EQ(Listed(AwaitNamespaceObjects(space_, before)), Listed(before))
        << "callers that exited cleanly left objects";

    auto killed = StartReady("script", kHoldConnected);
    ASSERT_TRUE(killed != nullptr);
    killed->Kill();
    ASSERT_TRUE(killed->Wait(kExitLimit).has_value());
    EXPECT_EQ(Listed(AwaitNamespaceObjects(space_, before)), Listed(before))
        << "a killed caller's objects were not swept";
    // Nor does it still hold the presentation space it was connected to.
    ExpectLines(RunCaller("script", ConnectTo('A')), {"connect 0", "disconnect 0"});
}

}  // namespace
}  // namespace trv::e2e
