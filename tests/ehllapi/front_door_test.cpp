// The guarded entries and the front door, before a request reaches a session
// (the serialisation of one process's calls: intercept_functions_test.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <utility>
#include <vector>

#include "ehllapi/query_delay.h"
#include "ehllapi_fixture.h"
#include "platform/mutex.h"
#include "platform/process.h"
#include "shared/shared_control.h"
#include "tables/application_list.h"

namespace trv::test {
namespace {

// SessionsAvailable is forced by some tests, as if an emulator had
// registered (or none had), and put back after each.
class FrontDoorTest : public testing::Test {
protected:
    void TearDown() override {
        Control().SessionsAvailable.store(saved_);
        ForgetCallerBlocks();
    }
    const std::uint8_t saved_ = Control().SessionsAvailable.load();
};

TEST_F(FrontDoorTest, GuardRefusesMissingWordsAndFunctionsOutOfRange) {
    Control().SessionsAvailable = 1;
    std::int32_t function = HA_QUERY_SYSTEM;
    std::int32_t length = 7;
    char data[64] = {};
    EXPECT_EQ(hllapi(&function, data, &length, nullptr), HLLAPI_RC_BAD_PARAMETER);
    EXPECT_EQ(length, 7);

    std::int32_t returnCode = 0;
    EXPECT_EQ(hllapi(nullptr, data, &length, &returnCode), HLLAPI_RC_UNSUPPORTED);
    EXPECT_EQ(returnCode, HLLAPI_RC_UNSUPPORTED);

    for (std::int32_t outside : {0, HLLAPI_HIGHEST_FUNCTION + 1, -1, 100000}) {
        Call call(outside, 5);
        EXPECT_EQ(call.Run(data).result, HLLAPI_RC_UNSUPPORTED) << outside;
        EXPECT_EQ(call.returnCode, HLLAPI_RC_UNSUPPORTED) << outside;
        EXPECT_EQ(call.length, 5) << outside;
    }
    EXPECT_EQ(hllapi_async(nullptr, nullptr, nullptr, nullptr), HLLAPI_RC_UNSUPPORTED);
    EXPECT_EQ(ProcessBlock(), nullptr) << "a refused call took an exchange block";
    EXPECT_TRUE(std::all_of(std::begin(data), std::end(data), [](char c) { return c == 0; }));
}

TEST_F(FrontDoorTest, WithoutSessionsEveryCallAnswersAtOnce) {
    Control().SessionsAvailable = 0;
    char data[64] = "A";
    // Query Sessions answers that there are none; every other function, 1.
    const std::pair<std::int32_t, std::int32_t> rows[] = {{HA_QUERY_SESSIONS, HLLAPI_RC_SUCCESS},
                                                          {HA_CONNECT_PS, HLLAPI_RC_NO_SESSION}};
    for (const auto& [function, expected] : rows) {
        Call call(function, 64, 77);
        EXPECT_EQ(call.Run(data).result, expected) << function;
        EXPECT_EQ(call.returnCode, expected) << function;
        EXPECT_EQ(call.length, 0) << function;
    }
    std::int32_t function = HA_COPY_PS;
    std::int32_t returnCode = 0;
    EXPECT_EQ(hllapi(&function, nullptr, nullptr, &returnCode), HLLAPI_RC_NO_SESSION);
    EXPECT_EQ(ProcessBlock(), nullptr);
}

class SerialisedCallsTest : public ResponderTest {};

// The configured delay comes before every call, and Wait keeps its gap after
// a successful Send Key. The tick count may have advanced by up to its
// granularity before the clock here was read; the gap itself is 20 ms.
TEST_F(SerialisedCallsTest, DelaysComeBeforeEveryCallAndBetweenSendKeyAndWait) {
    using Clock = std::chrono::steady_clock;
    const auto msSince = [](Clock::time_point start) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    };
    SetQueryDelay(60);
    Clock::time_point start = Clock::now();
    const std::int32_t delayed = Connect('A');
    const auto elapsed = msSince(start);
    SetQueryDelay(0);
    ASSERT_EQ(delayed, HLLAPI_RC_SUCCESS);
    EXPECT_GE(elapsed, 55) << "the call did not wait for EHLLAPI_DELAY";

    char keys[8] = "abc";
    ASSERT_EQ(Call(HA_SENDKEY, 3).Run(keys).result, HLLAPI_RC_SUCCESS);
    start = Clock::now();
    Call(HA_WAIT).Run(nullptr);
    EXPECT_GE(msSince(start), 10);
}

TEST(QueryDelayTest, EhllapiDelayIsInHundredthsOfASecondAfterBlanks) {
    EXPECT_EQ(ParseQueryDelay("  5"), 50);
    EXPECT_EQ(ParseQueryDelay("abc"), 0);
    EXPECT_EQ(ParseQueryDelay("-3"), 0);
    EXPECT_EQ(ParseQueryDelay(nullptr), 0);
}

// A lock that cannot be taken is an error, never a reason to go on unlocked.
// Each row's call runs once for every mutex acquisition it makes, with that
// acquisition failing (the platform's fault seam). The process's call mutex
// (always the first) answers 9, and so does the application table's (the
// second): without an exchange block, as in a full table, no call goes on.
// Where the failing lock guarded only a copy of a session record, the copy's
// failure result is the all-zero record of an unregistered letter, so the
// call may answer 1, or succeed where it did not need the copy. Afterwards
// no lock is left held, and this process has at most one block, whole.
int WholeBlocksOfThisProcess() {
    int count = 0;
    for (const ApplicationBlock& block : Applications()->Blocks) {
        if (block.ProcessId != platform::CurrentProcessId()) continue;
        if (block.BlockName[0] == '\0' || block.ReplyEventName[0] == '\0') return -1;
        ++count;
    }
    return count;
}

TEST_F(SerialisedCallsTest, EachFailingLockAnswers9AndLeavesNothingHeld) {
    struct Row {
        std::int32_t function;
        std::vector<unsigned char> data;
        std::int32_t length;
    };
    const Row rows[] = {{HA_CONNECT_PS, {'A'}, 1},
                        {HA_QUERY_CURSOR_LOC, {}, 0},
                        {HA_START_HOST_NOTIFY, {'A', 0, 0, 0, 'B'}, 24}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "function " << row.function);
        // Connect is the caller's first call; the others run connected. The
        // call's answer, or none when it made fewer than `failing` acquisitions.
        const auto run = [&row](std::uint32_t failing) -> std::optional<std::int32_t> {
            if (row.function != HA_CONNECT_PS) {
                EXPECT_EQ(Connect('A'), HLLAPI_RC_SUCCESS);
            }
            std::vector<unsigned char> data = row.data;
            data.resize(256, 0);
            platform::FailMutexAcquisitionOnThisThread(failing);
            const std::int32_t result = Call(row.function, row.length).Run(data.data()).result;
            const bool reached = !platform::MutexFaultPending();
            platform::FailMutexAcquisitionOnThisThread(0);
            return reached ? std::optional(result) : std::nullopt;
        };
        std::uint32_t failing = 1;
        for (;; ++failing) {
            ASSERT_LT(failing, 64u) << "the call never ran out of acquisitions";
            ForgetCallerBlocks();
            const std::optional<std::int32_t> result = run(failing);
            if (!result) break;

            SCOPED_TRACE(testing::Message() << "acquisition " << failing << " failed");
            if (failing <= 2) {
                EXPECT_EQ(*result, HLLAPI_RC_SYSTEM_ERROR) << "the call mutex or the table's failed";
            }
            EXPECT_TRUE(*result == HLLAPI_RC_SYSTEM_ERROR || *result == HLLAPI_RC_NO_SESSION ||
                        *result == HLLAPI_RC_SUCCESS)
                << "the call answered " << *result;
            const int blocks = WholeBlocksOfThisProcess();
            EXPECT_TRUE(blocks == 0 || blocks == 1) << blocks;

            std::optional<std::int32_t> other;
            TestThread thread([&] { other = run(0); });
            ASSERT_TRUE(thread.Join()) << "a lock was left held";
            EXPECT_EQ(other, HLLAPI_RC_SUCCESS);
        }
        EXPECT_GT(failing, 2u) << "the call took fewer locks than expected";
    }
}

}  // namespace
}  // namespace trv::test
