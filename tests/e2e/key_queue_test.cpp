// End to end: the keystroke queue of an intercepting caller with the
// reference emulator's operator typing ("keys"): the queue's limit and what
// Get Key answers when more than a third of it is taken.
#include <gtest/gtest.h>

#include "e2e_fixture.h"

namespace trv::e2e {
namespace {

// More keys than any queue of the tests takes.
constexpr int kMostKeys = 100;

// --- the caller roles ---------------------------------------------------

// key_queue L LENGTH: intercepts every keystroke of L, starting with LENGTH
// as the length (the queue's limit when above 96); after the go-ahead reads
// keys without waiting until none is left, and stops.
int KeyQueueRole(const std::vector<std::string>& args) {
    const auto letter = static_cast<unsigned char>(args[0][0]);
    const int32_t parms = RunText(HA_SET_SESSION_PARMS, "NWAIT");
    unsigned char request[24] = {letter, 0, 0, 0, 'L'};
    const int32_t started = Run(HA_START_KEY_INTERCEPT, request, std::stoi(args[1])).rc;
    Say("ready");
    Say("parms " + Num(parms));
    Say("start " + Num(started));
    AwaitGo();
    for (int i = 0; i < kMostKeys; ++i) {
        unsigned char key[16] = {letter};
        const Outcome got = Run(HA_GET_KEY, key, sizeof key);
        if (got.rc != HLLAPI_RC_SUCCESS && got.rc != HLLAPI_RC_KEY_QUEUE_OVERFLOW) {
            SayOutcome("last", got);
            break;
        }
        Say("key " + KeyWords(got, key));
    }
    char name[4] = {args[0][0]};
    Say("stop " + Num(Run(HA_STOP_KEY_INTERCEPT, name, 1).rc));
    return 0;
}

[[maybe_unused]] const bool kRegistered = RegisterRoles({
    {"key_queue", KeyQueueRole, 2},
});

// --- the tests ----------------------------------------------------------

using KeyQueueEndToEnd = EmulatorEndToEnd;

// 40 different keys.
const std::string kTyped = "abcdefghijklmnopqrstuvwxyz0123456789ABCD";

std::vector<std::string> Key(const std::string& rc, char typed) { return {rc, "A", std::string(1, typed)}; }

TEST_F(KeyQueueEndToEnd, AQueueMoreThanAThirdFullDropsItsNewestKeyWithTheOldest) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    auto typeAndRead = [&](const std::string& length) {
        auto caller = StartReady("key_queue", {"A", length});
        EXPECT_TRUE(caller != nullptr);
        if (!caller) return Report{};
        EXPECT_EQ(emulator_->Command("keys A " + kTyped), std::vector<std::string>{"OK"});
        EXPECT_TRUE(caller->WriteLine("go"));
        return Finish(*caller);
    };

    // Limit 96: the emulator queues keys while no more than 32 wait, so 33
    // of the 40. The first Get Key finds more than a third of the limit
    // queued: it answers 31 with the oldest key, and the newest goes too.
    Report small = typeAndRead("0");
    ExpectLines(small, {"parms 0", "start 0", "last 25 0", "stop 0"});
    auto keys = small.All("key");
    ASSERT_EQ(keys.size(), 32u);
    EXPECT_EQ(keys[0], Key("31", kTyped[0]));
    for (std::size_t i = 1; i < keys.size(); ++i) EXPECT_EQ(keys[i], Key("0", kTyped[i])) << i;

    // Started with length 150 the limit is 150: all 40 keys fit.
    Report large = typeAndRead("150");
    keys = large.All("key");
    ASSERT_EQ(keys.size(), kTyped.size());
    for (std::size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(keys[i], Key("0", kTyped[i])) << i;
    ExpectLines(large, {"last 25 0", "stop 0"});

    // Taken by the intercepts, queued or not, no key reached the screen.
    EXPECT_EQ(emulator_->ScreenRows('A').at(5).substr(34, 10), std::string(10, ' '));
}

}  // namespace
}  // namespace trv::e2e
