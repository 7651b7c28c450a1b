// Moving a thread off a CPU: it runs elsewhere right after, and its affinity
// is as it was, so that the next move finds the CPU it left open again.
#include <gtest/gtest.h>

#include <thread>

#include "platform/spin.h"
#include "support/test_thread.h"

namespace trv::platform {
namespace {

TEST(MoveOffCpuTest, TheThreadRunsElsewhereAndMayRunEverywhereAgain) {
    if (std::thread::hardware_concurrency() < 2) GTEST_SKIP() << "one CPU: nowhere to move to";
    // On a thread of its own: a move that narrowed the affinity for good
    // must not pin the rest of the tests.
    test::TestThread mover([] {
        // Without the affinity restored, a two-CPU machine has nowhere left
        // to go at the second move, and a larger one runs out soon after.
        // The scheduler may bring the thread back between the move and the
        // look at its CPU (under Wine the restore is a call to its server,
        // during which the thread sleeps), and on a busy machine most moves
        // can go unseen that way. A thread left where it was is seen to
        // move by chance hardly ever: a few seen moves tell the two apart.
        constexpr int kMoves = 64;
        int seen = 0;
        for (int move = 0; move < kMoves; ++move) {
            const std::uint32_t cpu = CurrentCpu();
            ASSERT_NE(cpu, kUnknownCpu);
            ASSERT_TRUE(MoveOffCpu(cpu)) << "move " << move;
            if (CurrentCpu() != cpu) ++seen;
        }
        EXPECT_GE(seen, 4);
    });
    ASSERT_TRUE(mover.Join());
}

}  // namespace
}  // namespace trv::platform
