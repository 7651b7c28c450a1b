// The QMXAPI entries as a caller sees them, against the scripted enabler
// (sessionapi_fixture.h) served in this process or in a child.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/event.h"
#include "platform/thread.h"
#include "sessionapi_fixture.h"
#include "shared/process_state.h"
#include "shared/shared_control.h"
#include "tables/qmxapi_list.h"
#include "trvha64.h"

namespace trv::test {
namespace {

using QMXAPICaller = QMXAPITest;
using ServedCaller = ServedQMXAPITest;

TEST_F(ServedCaller, SessionListCopiesAtMostTheEntriesAskedForAndAnswersTheEmulatorsCount) {
    for (std::uint32_t asked : {0u, 2u, 10u}) {
        trvQMXSessionEntry entries[10];
        std::memset(entries, 0xCD, sizeof entries);
        const trvQMXSessionEntry untouched = entries[0];
        EXPECT_EQ(trvQuerySessionList(asked, entries), kListedSessions) << asked;
        const std::uint32_t copied = std::min(asked, kListedSessions);
        for (std::uint32_t i = 0; i < copied; ++i) {
            EXPECT_EQ(entries[i].short_name, static_cast<char>('A' + i)) << asked;
            EXPECT_EQ(std::memcmp(entries[i].reserved, "xyz", 3), 0) << asked;
            EXPECT_EQ(entries[i].status, (0x100u * (i + 1)) | (i == 1 ? QMX_SESSION_ESTABLISHED : 0)) << asked;
        }
        EXPECT_EQ(std::memcmp(&entries[copied], &untouched, sizeof untouched), 0)
            << "asked for " << asked << ", an entry beyond was written";
    }
}

// Each entry against the scripted answers: the letter goes upper case, B's
// status carries the established bit, the answers of 0 follow answers of 1
// (a request not sent would answer the record's last result), and the
// profile of a start is cut to 259 characters, a shorter one after it
// leaving no tail.
TEST_F(ServedCaller, EachEntrySendsItsRequestAndAnswersTheEmulatorsResult) {
    const std::string longProfile(300, 'p');
    struct Row {
        const char* call;
        std::function<std::uint32_t()> run;
        std::uint32_t expected;
    };
#define ROW(call, expected) Row{#call, [&] { return call; }, expected}
    const Row rows[] = {
        ROW(trvQueryEmulatorStatus('d'), 0x1000u | 'D'),
        ROW(trvQueryEmulatorStatus('b'), 0x1000u | 'B' | QMX_SESSION_ESTABLISHED),
        ROW(trvStopSession('a', 7), 1u),
        ROW(trvQueryConnectionInfo('A', nullptr), 0u),
        ROW(trvConnectSession('b'), 1u),
        ROW(trvSetLinkTimeout('x', 30), 0u),
        ROW(trvStopSession('B', 0), 0u),
        ROW(trvConnectSession('A'), 0u),
        ROW(trvDisconnectSession('b'), 1u),
        ROW(trvDisconnectSession('C'), 0u),
        ROW(trvStartSession("work.ws", 'c', 2), StartAnswer('C', 7, 2)),
        ROW(trvStartSession(longProfile.c_str(), 'Z', 3), StartAnswer('Z', 259, 3)),
        ROW(trvStartSession("ab", 'A', 1), StartAnswer('A', 2, 1)),
    };
#undef ROW
    for (const Row& row : rows) EXPECT_EQ(row.run(), row.expected) << row.call;
}

TEST_F(ServedCaller, WorkstationProfileCopiesTheReplyTextOrWhatTheThreadLeftThere) {
    char profile[QMX_PROFILE_SIZE];
    std::memset(profile, '#', sizeof profile);
    EXPECT_EQ(trvQueryWorkstationProfile('c', profile), 1u);
    EXPECT_STREQ(profile, kProfileOfC);

    // No profile for D: the text of the previous reply comes back with 0 ...
    std::memset(profile, '#', sizeof profile);
    EXPECT_EQ(trvQueryWorkstationProfile('D', profile), 0u);
    EXPECT_STREQ(profile, kProfileOfC);
    // ... and after a start, the profile name that the start sent.
    trvStartSession("started.ws", 'E', 1);
    EXPECT_EQ(trvQueryWorkstationProfile('D', profile), 0u);
    EXPECT_STREQ(profile, "started.ws");
    EXPECT_EQ(trvQueryWorkstationProfile('C', nullptr), 1u);
}

TEST_F(QMXAPICaller, WithoutAnEmulatorRequestsAnswerNineAtOnceAndTheReservedOrdinalAlways) {
    EXPECT_EQ(trvQMXAPIReserved(), QMX_SYSTEM_ERROR);
    EXPECT_EQ(QMXAPITable()->FindQMXAPIBlock(platform::CurrentProcessId()), nullptr)
        << "the reserved ordinal took a record";
    const std::vector<std::uint32_t> answers = {trvStopSession('A', 0), trvQuerySessionList(0, nullptr),
                                                trvQueryEmulatorStatus('A'), trvSetLinkTimeout('A', 1)};
    EXPECT_EQ(answers, std::vector<std::uint32_t>(4, QMX_SYSTEM_ERROR));
}

TEST_F(QMXAPICaller, AStartWithoutAnEmulatorGoesThroughWhenOneRegistersMeanwhile) {
    std::uint32_t result = 0;
    TestThread caller([&result] { result = trvStartSession("late.ws", 'b', 1); });
    EXPECT_TRUE(caller.StillRunningAfter(400)) << "the start did not wait for an emulator";
    Register();
    EXPECT_TRUE(caller.Join());
    EXPECT_EQ(result, StartAnswer('B', 7, 1));
}

TEST_F(ServedCaller, AThreadWithoutARecordGetsTheNoRecordAnswers) {
    // Every free record taken by (made-up) threads of this live process.
    const std::uint32_t self = platform::CurrentProcessId();
    for (std::uint32_t tid = 0x7F000000; tid < 0x7F000000 + kSessionCount; ++tid) {
        if (QMXAPIBlock* record = QMXAPITable()->AddQMXAPIBlock(self, tid)) platform::CloseObject(record->Event);
    }
    ASSERT_EQ(GetQMXAPIBlock(), nullptr);

    char profile[QMX_PROFILE_SIZE] = "unchanged";
    const std::vector<std::uint32_t> answers = {
        trvStartSession("x", 'A', 1),   trvSetLinkTimeout('A', 1),
        trvStopSession('A', 0),         trvConnectSession('B'),
        trvDisconnectSession('B'),      trvQuerySessionList(0, nullptr),
        trvQueryEmulatorStatus('A'),    trvQueryWorkstationProfile('C', profile),
        trvQueryConnectionInfo('A', nullptr)};
    EXPECT_EQ(answers, (std::vector<std::uint32_t>{9, 9, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_STREQ(profile, "unchanged");
}

// Requests served by an emulator in another process; then the caller that
// waits finds the emulator gone, and one that comes later only its stale id.
TEST_F(QMXAPICaller, AKilledEmulatorReleasesItsWaitingCallerWithNineAndItsIdIsCleared) {
    Hold hold;
    const std::string readyName = UniqueName("qmx_ready");
    platform::UniqueHandle ready(platform::CreateNamedEvent(false, readyName.c_str()));
    RoleProcess emulator("qmx_emulator", {readyName});
    ASSERT_EQ(platform::WaitForEvent(ready.get(), kTestLimitMs), platform::kWaitObject0);
    const std::uint32_t service = Control().QMXAPIThreadId.load();
    EXPECT_EQ(trvQueryEmulatorStatus('b'), 0x1000u | 'B' | QMX_SESSION_ESTABLISHED);

    std::uint32_t result = 0;
    TestThread caller([&result] { result = trvStopSession(kHoldLetter, 0); });
    ASSERT_TRUE(hold.WaitHeld());
    emulator.Kill();
    EXPECT_TRUE(caller.Join(kTestLimitMs));
    EXPECT_EQ(result, QMX_SYSTEM_ERROR);
    EXPECT_EQ(Control().QMXAPIThreadId.load(), 0u) << "the dead emulator's thread id stayed";

    Control().QMXAPIThreadId.store(service);
    EXPECT_EQ(trvQueryEmulatorStatus('A'), QMX_SYSTEM_ERROR);
    EXPECT_EQ(Control().QMXAPIThreadId.load(), 0u) << "a stale thread id stayed";
}

TEST_F(ServedCaller, AStaleReleaseDoesNotAnswerTheNextRequest) {
    // A release that arrived after its request was answered.
    QMXAPIBlock* record = GetQMXAPIBlock();
    ASSERT_NE(record, nullptr);
    record->Result = 777;
    platform::SignalEvent(record->Event);

    EXPECT_EQ(trvQueryEmulatorStatus('E'), 0x1000u | 'E');
}

}  // namespace
}  // namespace trv::test
