// A lock that cannot be taken is an error, never a reason to go on unlocked.
// Each row's call runs once for every mutex acquisition it makes, with that
// acquisition failing (the platform's fault seam): the process's call mutex
// (always the first), the session mutex and the table locks. The call
// answers 9; where the
// failing lock guarded only a copy of a session record, the copy's failure
// result is the all-zero record of an unregistered letter, so the call may
// answer 1 (no session), or its own answer when it did not need the copy.
// Afterwards no lock is left held (a call from another thread goes through),
// and the application table holds at most this process's one block, whole.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "ehllapi_fixture.h"
#include "platform/mutex.h"
#include "platform/process.h"
#include "shared/process_state.h"
#include "tables/application_block.h"
#include "tables/application_list.h"
#include "tables/session_list.h"

namespace trv::test {
namespace {

struct LockRow {
    const char* name;
    std::int32_t function;
    std::vector<unsigned char> data;
    std::int32_t length;
    bool connectFirst;
    std::int32_t answer;  // the call's answer when every lock is taken
};

std::string PrintRow(const testing::TestParamInfo<LockRow>& info) { return info.param.name; }
void PrintTo(const LockRow& row, std::ostream* out) { *out << row.name; }

// Blocks of this process in the application table; each must be whole.
int WholeBlocksOfThisProcess() {
    const std::uint32_t self = platform::CurrentProcessId();
    int count = 0;
    for (const ApplicationBlock& block : Applications()->Blocks) {
        if (block.ProcessId != self) continue;
        if (block.BlockName[0] == '\0' || block.ReplyEventName[0] == '\0') return -1;
        ++count;
    }
    return count;
}

class LockFailureTest : public ResponderTest, public testing::WithParamInterface<LockRow> {
protected:
    void TearDown() override {
        platform::FailMutexAcquisitionOnThisThread(0);
        ResponderTest::TearDown();
    }

    static std::int32_t RunRow(const LockRow& row) {
        std::vector<unsigned char> data = row.data;
        data.resize(256, 0);
        return Call(row.function, row.length).Run(data.data()).result;
    }
};

TEST_P(LockFailureTest, EachFailingAcquisitionAnswers9AndLeavesNothingHeld) {
    const LockRow& row = GetParam();
    int refused = 0;
    std::uint32_t failing = 1;
    for (;; ++failing) {
        ASSERT_LT(failing, 64u) << "the call never ran out of acquisitions";
        ForgetCallerBlocks();
        if (row.connectFirst) {
            ASSERT_EQ(Connect('A'), HLLAPI_RC_SUCCESS);
        }

        platform::FailMutexAcquisitionOnThisThread(failing);
        const std::int32_t result = RunRow(row);
        const bool reached = !platform::MutexFaultPending();
        platform::FailMutexAcquisitionOnThisThread(0);
        if (!reached) break;  // the call makes fewer acquisitions

        if (result == HLLAPI_RC_SYSTEM_ERROR) ++refused;
        // The first acquisition of every call is the process's call mutex.
        if (failing == 1) {
            EXPECT_EQ(result, HLLAPI_RC_SYSTEM_ERROR) << "the call mutex failed";
        }
        EXPECT_TRUE(result == HLLAPI_RC_SYSTEM_ERROR || result == HLLAPI_RC_NO_SESSION ||
                    result == row.answer)
            << "acquisition " << failing << " failed, the call answered " << result;
        const int blocks = WholeBlocksOfThisProcess();
        EXPECT_TRUE(blocks == 0 || blocks == 1) << "acquisition " << failing << ": " << blocks;

        // Another thread's call would wait for ever on a lock left held.
        std::int32_t other = -1;
        CallerThread thread([&] {
            if (row.connectFirst) Connect('A');
            other = RunRow(row);
        });
        ASSERT_TRUE(thread.Join()) << "acquisition " << failing << " left a lock held";
        EXPECT_EQ(other, row.answer) << "after acquisition " << failing << " failed";
    }
    EXPECT_GT(failing, 2u) << "the call took fewer locks than expected";
    EXPECT_GT(refused, 0) << "no failing lock was answered with 9";
}

INSTANTIATE_TEST_SUITE_P(
    Calls, LockFailureTest,
    testing::Values(LockRow{"Connect", HA_CONNECT_PS, {'A'}, 1, false, HLLAPI_RC_SUCCESS},
                    LockRow{"QueryCursor", HA_QUERY_CURSOR_LOC, {}, 0, true, HLLAPI_RC_SUCCESS},
                    LockRow{"StartHostNotification", HA_START_HOST_NOTIFY,
                            {'A', 0, 0, 0, 'B'}, 24, true,
                            HLLAPI_RC_SUCCESS}),
    PrintRow);

}  // namespace
}  // namespace trv::test
