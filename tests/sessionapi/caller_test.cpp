// The QMXAPI entries as a caller sees them, against a responder child that
// serves the requests at the protocol level: what each entry sends, what it
// copies back, the answers without an emulator or without a record, and an
// emulator killed while a caller waits.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/event.h"
#include "platform/process.h"
#include "platform/thread.h"
#include "sessionapi/call_to_emulator.h"
#include "sessionapi_fixture.h"
#include "shared/process_state.h"
#include "shared/shared_control.h"
#include "tables/qmxapi_list.h"
#include "trvha64.h"

namespace trv::test {
namespace {

// How long a caller may take to notice a killed emulator: one wait slice
// and the liveness checks, with room for a slow machine.
constexpr std::uint32_t kReleaseLimitMs = 2500;

class QMXAPICaller : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(QMXAPITable(), nullptr);
        ASSERT_EQ(Control().QMXAPIThreadId.load(), 0u) << "a service thread is left from earlier";
    }
    void TearDown() override {
        ForgetOwnRecord();
        Control().QMXAPIThreadId.store(0);
    }
};

TEST_F(QMXAPICaller, SessionListCopiesAtMostTheEntriesAskedForAndAnswersTheEmulatorsCount) {
    Responder responder;
    ASSERT_TRUE(responder.ready());

    EXPECT_EQ(trvQuerySessionList(0, nullptr), kListedSessions);
    trvQMXSessionEntry untouched[3];
    std::memset(untouched, 0xCD, sizeof untouched);
    trvQMXSessionEntry none[3];
    std::memset(none, 0xCD, sizeof none);
    EXPECT_EQ(trvQuerySessionList(0, none), kListedSessions);
    EXPECT_EQ(std::memcmp(none, untouched, sizeof none), 0);

    trvQMXSessionEntry two[3];
    std::memset(two, 0xCD, sizeof two);
    EXPECT_EQ(trvQuerySessionList(2, two), kListedSessions);
    EXPECT_EQ(two[0].short_name, 'A');
    EXPECT_EQ(two[1].short_name, 'B');
    EXPECT_EQ(two[1].status, 0x200u);
    EXPECT_EQ(std::memcmp(&two[2], &untouched[0], sizeof two[2]), 0) << "a third entry was written";

    trvQMXSessionEntry all[10];
    std::memset(all, 0xCD, sizeof all);
    EXPECT_EQ(trvQuerySessionList(10, all), kListedSessions);
    for (std::uint32_t i = 0; i < kListedSessions; ++i) {
        EXPECT_EQ(all[i].short_name, static_cast<char>('A' + i));
        EXPECT_EQ(std::memcmp(all[i].reserved, "xyz", 3), 0);
        EXPECT_EQ(all[i].status, 0x100u * (i + 1));
    }
    EXPECT_EQ(std::memcmp(&all[kListedSessions], &untouched[0], sizeof all[0]), 0)
        << "entries beyond the emulator's count were copied";
    EXPECT_EQ(responder.Stop(), 0);
}

TEST_F(QMXAPICaller, ShortNameRequestsSendTheUpperCaseLetterAndLinkTimeoutSendsNone) {
    Responder responder;
    ASSERT_TRUE(responder.ready());

    EXPECT_EQ(trvQueryEmulatorStatus('d'), 0x1000u | 'D');
    EXPECT_EQ(trvQueryEmulatorStatus('Q'), 0x1000u | 'Q');
    EXPECT_EQ(trvStopSession('a', 7), 1u);
    EXPECT_EQ(trvStopSession('B', 0), 0u);
    EXPECT_EQ(trvConnectSession('b'), 1u);
    EXPECT_EQ(trvConnectSession('A'), 0u);
    EXPECT_EQ(trvDisconnectSession('b'), 1u);
    EXPECT_EQ(trvDisconnectSession('C'), 0u);
    EXPECT_EQ(trvQueryConnectionInfo('A', nullptr), 0u);
    // The responder answers a link timeout with the letter it finds: the
    // previous request's, since set link timeout sends none.
    EXPECT_EQ(trvStopSession('k', 0), 0u);
    EXPECT_EQ(trvSetLinkTimeout('x', 30), static_cast<std::uint32_t>('K'));
    EXPECT_EQ(responder.Stop(), 0);
}

TEST_F(QMXAPICaller, StartSendsProfileCutTo259CharactersLetterAndWindowMode) {
    Responder responder;
    ASSERT_TRUE(responder.ready());

    const std::uint32_t shortProfile = trvStartSession("work.ws", 'c', 2);
    EXPECT_EQ(shortProfile, (static_cast<std::uint32_t>('C') << 24) | (7u << 8) | 2u);

    const std::string longProfile(300, 'p');
    const std::uint32_t cut = trvStartSession(longProfile.c_str(), 'Z', 3);
    EXPECT_EQ(cut, (static_cast<std::uint32_t>('Z') << 24) | (259u << 8) | 3u);

    // A shorter profile after a longer one leaves no tail of the old text.
    EXPECT_EQ(trvStartSession("ab", 'A', 1) >> 8 & 0xFFFF, 2u);
    EXPECT_EQ(responder.Stop(), 0);
}

TEST_F(QMXAPICaller, WorkstationProfileCopiesTheReplyTextOrWhatTheThreadLeftThere) {
    Responder responder;
    ASSERT_TRUE(responder.ready());

    char profile[QMX_PROFILE_SIZE];
    std::memset(profile, '#', sizeof profile);
    EXPECT_EQ(trvQueryWorkstationProfile('c', profile), 1u);
    EXPECT_STREQ(profile, kProfileOfC);

    // No profile for D: the text of the previous reply comes back with 0.
    std::memset(profile, '#', sizeof profile);
    EXPECT_EQ(trvQueryWorkstationProfile('D', profile), 0u);
    EXPECT_STREQ(profile, kProfileOfC);

    // ... and after a start, the profile name that the start sent.
    trvStartSession("started.ws", 'E', 1);
    EXPECT_EQ(trvQueryWorkstationProfile('D', profile), 0u);
    EXPECT_STREQ(profile, "started.ws");

    EXPECT_EQ(trvQueryWorkstationProfile('C', nullptr), 1u);
    EXPECT_EQ(responder.Stop(), 0);
}

TEST_F(QMXAPICaller, CallersOfSeveralThreadsEachGetTheirOwnAnswer) {
    Responder responder;
    ASSERT_TRUE(responder.ready());
    constexpr int kThreads = 4;
    constexpr int kCalls = 25;
    std::vector<int> wrong(kThreads, 0);
    std::vector<std::unique_ptr<CallerThread>> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.push_back(std::make_unique<CallerThread>([t, &wrong] {
            const char letter = static_cast<char>('A' + t);
            for (int i = 0; i < kCalls; ++i) {
                if (trvQueryEmulatorStatus(letter) != (0x1000u | static_cast<unsigned char>(letter))) {
                    ++wrong[t];
                }
            }
        }));
    }
    for (auto& thread : threads) EXPECT_TRUE(thread->Join());
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(wrong[t], 0) << "thread " << t;
    EXPECT_EQ(responder.Stop(), 0);
}

TEST_F(QMXAPICaller, WithoutAnEmulatorRequestsAnswerNineAtOnce) {
    const std::uint32_t started = platform::TickCount();
    EXPECT_EQ(trvStopSession('A', 0), QMX_SYSTEM_ERROR);
    EXPECT_EQ(trvQuerySessionList(0, nullptr), QMX_SYSTEM_ERROR);
    EXPECT_EQ(trvQueryEmulatorStatus('A'), QMX_SYSTEM_ERROR);
    EXPECT_EQ(trvSetLinkTimeout('A', 1), QMX_SYSTEM_ERROR);
    EXPECT_LT(platform::TickCount() - started, 1000u);
}

TEST_F(QMXAPICaller, AStartWithoutAnEmulatorGoesThroughWhenOneRegistersMeanwhile) {
    std::uint32_t result = 0;
    CallerThread caller([&result] { result = trvStartSession("late.ws", 'b', 1); });
    ASSERT_TRUE(caller.started());
    EXPECT_TRUE(caller.StillRunningAfter(400)) << "the start did not wait for an emulator";
    Responder responder;
    ASSERT_TRUE(responder.ready());
    EXPECT_TRUE(caller.Join());
    EXPECT_EQ(result, (static_cast<std::uint32_t>('B') << 24) | (7u << 8) | 1u);
    EXPECT_EQ(responder.Stop(), 0);
}

TEST_F(QMXAPICaller, ReservedOrdinalAnswersNineAndTakesNoRecord) {
    std::uint32_t result = 0;
    bool hadRecord = true;
    CallerThread caller([&] {
        result = trvQMXAPIReserved();
        hadRecord = QMXAPITable()->FindQMXAPIBlock(platform::CurrentProcessId(),
                                                   platform::CurrentThreadId()) != nullptr;
    });
    EXPECT_TRUE(caller.Join());
    EXPECT_EQ(result, QMX_SYSTEM_ERROR);
    EXPECT_FALSE(hadRecord);
}

TEST_F(QMXAPICaller, AThreadWithoutARecordGetsTheNoRecordAnswers) {
    Responder responder;
    ASSERT_TRUE(responder.ready());
    // Occupy every free record with threads of this (live) process.
    const std::uint32_t self = platform::CurrentProcessId();
    std::vector<std::uint32_t> fillers;
    for (std::uint32_t tid = 0x7F000000; fillers.size() < 26; ++tid) {
        QMXAPIBlock* record = QMXAPITable()->AddQMXAPIBlock(self, tid);
        if (record == nullptr) break;
        platform::CloseObject(record->Event);
        fillers.push_back(tid);
    }
    ASSERT_FALSE(fillers.empty());

    std::vector<std::uint32_t> answers;
    CallerThread caller([&answers] {
        char profile[QMX_PROFILE_SIZE] = "unchanged";
        answers = {trvStartSession("x", 'A', 1), trvSetLinkTimeout('A', 1), trvStopSession('A', 0),
                   trvConnectSession('B'),       trvDisconnectSession('B'),  trvQuerySessionList(0, nullptr),
                   trvQueryEmulatorStatus('A'),  trvQueryWorkstationProfile('C', profile),
                   trvQueryConnectionInfo('A', nullptr)};
    });
    EXPECT_TRUE(caller.Join());
    for (std::uint32_t tid : fillers) QMXAPITable()->RemoveQMXAPIBlock(self, tid);

    const std::vector<std::uint32_t> expected = {9, 9, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(answers, expected);
    // The records free again, the same requests reach the emulator.
    EXPECT_EQ(trvStopSession('A', 0), 1u);
    EXPECT_EQ(responder.Stop(), 0);
}

TEST_F(QMXAPICaller, AnEmulatorKilledWhileACallerWaitsReleasesItWithNine) {
    Responder responder;
    ASSERT_TRUE(responder.ready());
    const std::uint32_t service = responder.serviceThread();
    ASSERT_NE(service, 0u);

    std::uint32_t result = 0;
    CallerThread caller([&result] { result = trvStopSession(kHoldLetter, 0); });
    ASSERT_TRUE(responder.WaitHeld());
    const std::uint32_t killed = platform::TickCount();
    responder.Kill();
    EXPECT_TRUE(caller.Join(kTestLimitMs));
    const std::uint32_t released = platform::TickCount() - killed;
    EXPECT_EQ(result, QMX_SYSTEM_ERROR);
    EXPECT_LT(released, kReleaseLimitMs);
    EXPECT_EQ(Control().QMXAPIThreadId.load(), 0u) << "the dead emulator's thread id stayed";

    // Later callers are told at once that there is no emulator.
    const std::uint32_t asked = platform::TickCount();
    EXPECT_EQ(trvConnectSession('B'), QMX_SYSTEM_ERROR);
    EXPECT_LT(platform::TickCount() - asked, 1000u);
}

TEST_F(QMXAPICaller, AStaleServiceThreadIdIsClearedByTheNextCaller) {
    Responder responder;
    ASSERT_TRUE(responder.ready());
    const std::uint32_t service = responder.serviceThread();
    responder.Kill();
    ASSERT_EQ(Control().QMXAPIThreadId.load(), service) << "nobody should have cleared it yet";

    const std::uint32_t asked = platform::TickCount();
    EXPECT_EQ(trvQueryEmulatorStatus('A'), QMX_SYSTEM_ERROR);
    EXPECT_LT(platform::TickCount() - asked, 1000u);
    EXPECT_EQ(Control().QMXAPIThreadId.load(), 0u);
    EXPECT_EQ(LiveQMXAPIThread(), 0u);
}

TEST_F(QMXAPICaller, AStaleReleaseDoesNotAnswerTheNextRequest) {
    Responder responder;
    ASSERT_TRUE(responder.ready());
    QMXAPIBlock* record = GetQMXAPIBlock();
    ASSERT_NE(record, nullptr);
    // A release that arrived after its request was answered.
    char eventName[kQMXAPINameSize + 1] = {};
    std::memcpy(eventName, record->EventName, kQMXAPINameSize);
    platform::UniqueHandle event(platform::OpenNamedEvent(eventName));
    ASSERT_TRUE(event);
    record->Result = 777;
    platform::SignalEvent(event.get());

    EXPECT_EQ(trvQueryEmulatorStatus('E'), 0x1000u | 'E');
    EXPECT_EQ(responder.Stop(), 0);
}

}  // namespace
}  // namespace trv::test
