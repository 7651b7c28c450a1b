// End to end: what processes that end without detaching leave behind, with
// the reference emulator and callers killed outright.
#include <filesystem>
#include <set>

#include "e2e_fixture.h"

namespace trv::e2e {
namespace {

using DeadCallerEndToEnd = EmulatorEndToEnd;

// What a caller held in the emulator when it ended without giving it up
// (exited without Stop, or was killed outright). The library drops an
// intercept at once; the emulator learns of a killed caller's end from the
// library only at a close attempt, or at its look about once a second, so
// then the operator's command is repeated until it answers as for a free
// session, or the limit passes.
struct HeldByTheEnded {
    const char* name;
    std::vector<std::string> steps;
    bool killed;
    const char* command;
    bool onScreen;  // the command's effect on the user field, not its answer, is compared
    bool later;     // the emulator learns of the end only later
    const char* whileHeld;
    const char* onceFree;
};

void PrintTo(const HeldByTheEnded& row, std::ostream* out) { *out << row.name; }

class EndedHolderEndToEnd : public EmulatorEndToEnd, public testing::WithParamInterface<HeldByTheEnded> {};

TEST_P(EndedHolderEndToEnd, TheEmulatorForgetsWhatAnEndedCallerHeld) {
    const HeldByTheEnded& row = GetParam();
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    ASSERT_NO_FATAL_FAILURE(StartReady("script", row.steps));
    auto state = [&]() -> std::string {
        const auto answer = Command(row.command);
        if (row.onScreen) return ScreenRows('A').at(5).substr(34, 1);
        return answer.size() == 1 ? answer.front() : "(no answer)";
    };
    EXPECT_EQ(state(), row.whileHeld);
    if (row.killed) {
        ASSERT_TRUE(caller_->Kill());
    } else {
        EXPECT_TRUE(caller_->WriteLine("go"));
        Finish();
    }
    std::string now;
    const auto freed = [&] { return (now = state()) == row.onceFree; };
    if (!freed() && row.later) Eventually(freed, kExitLimit, Milliseconds(100));
    EXPECT_EQ(now, row.onceFree) << "still held for the ended caller";
}

const std::vector<std::string> kInterceptKeys = {Step("start start", HA_START_KEY_INTERCEPT, "A", 0, "L"), "ready say",
                                                 "- go"};

INSTANTIATE_TEST_SUITE_P(
    Holds, EndedHolderEndToEnd,
    testing::Values(HeldByTheEnded{"keys_exited", kInterceptKeys, false, "keys A q", true, false, " ", "q"},
                    HeldByTheEnded{"keys_killed", kInterceptKeys, true, "keys A q", true, false, " ", "q"},
                    HeldByTheEnded{"close_killed",
                                   {Step("start start", HA_START_CLOSE_INTERCEPT, "A", 16, "Q"), "ready say", "- go"},
                                   true, "close A", false, true, "intercepted", "closed"},
                    HeldByTheEnded{"reserve_killed",
                                   {Step("connect call", HA_CONNECT_PS, "A"), Step("start call", HA_RESERVE),
                                    "ready say", "- go"},
                                   true, "keys A q", false, true, "INHIBITED", "OK"}),
    [](const testing::TestParamInfo<HeldByTheEnded>& info) { return std::string(info.param.name); });

TEST_F(DeadCallerEndToEnd, AnEmulatorStartedAfterOneWasKilledServesItsSessions) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    // Another process keeps the tables, and the killed emulator's entry, alive.
    ASSERT_NO_FATAL_FAILURE(StartHolder());
    ASSERT_TRUE(emulator_->Kill());

    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    EXPECT_EQ(RunCaller("script", {Step("connect call", HA_CONNECT_PS, "A")}).Joined("connect"), "0")
        << "the session entry of the killed emulator was not taken over";
}

// A caller killed while connected: the emulator's service thread reclaims
// its block at its next look for ended callers, about a second later, and
// the caller's named objects go with it.
TEST_F(DeadCallerEndToEnd, AKilledCallersNamedObjectsAreSwept) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    ASSERT_NO_FATAL_FAILURE(StartHolder());
    auto objects = [this] {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(NamespaceDirectory(space_))) {
            names.insert(entry.path().filename().string());
        }
        return names;
    };
    const std::set<std::string> before = objects();
    ASSERT_NO_FATAL_FAILURE(StartReady("script", {Step("connect call", HA_CONNECT_PS, "A"), "ready say", "- go"}));
    ASSERT_TRUE(caller_->Kill());
    std::set<std::string> now;
    Eventually([&] { return (now = objects()) == before; }, kExitLimit, Milliseconds(100));
    EXPECT_EQ(now, before) << "a killed caller's objects were not swept";
}

}  // namespace
}  // namespace trv::e2e
