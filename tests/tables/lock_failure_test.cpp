// Table operations whose lock cannot be taken change nothing and answer
// their failure result: no half-registered session (no events created), no
// half-built exchange block, no list entry, no record.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/mutex.h"
#include "table_fixture.h"

namespace trv::test {
namespace {

// Runs `operation` with its first mutex acquisition failing; checks that it
// reached the lock.
template <typename Operation>
auto WithFailingLock(Operation operation) {
    platform::FailMutexAcquisitionOnThisThread(1);
    auto result = operation();
    EXPECT_FALSE(platform::MutexFaultPending()) << "the operation took no lock";
    platform::FailMutexAcquisitionOnThisThread(0);
    return result;
}

TEST(TableLockFailureTest, OperationsChangeNothingAndAnswerTheirFailure) {
    Tables tables;
    SessionList& sessions = *tables.sessions;
    ApplicationList& applications = *tables.applications;

    EXPECT_FALSE(WithFailingLock([&] { return sessions.AddNamedSession(RegistrationTemplate(kSelf), 'K'); }));
    EXPECT_EQ(sessions.IsSessionEstablished('K'), 0);
    EXPECT_EQ(sessions.SessionCount, 0);
    EXPECT_FALSE(EventExists("HLL_EVENT_SESS_K")) << "events of a refused registration were created";

    EXPECT_EQ(WithFailingLock([&] { return applications.AddApplicationBlock(kSelf, 0x77, false); }), nullptr);
    for (const ApplicationBlock& block : applications.Blocks) EXPECT_EQ(block.ProcessId, 0u);

    ASSERT_TRUE(sessions.AddNamedSession(RegistrationTemplate(kSelf), 'K'));
    ApplicationBlock* caller = applications.AddApplicationBlock(kSelf, 0x78, false);
    ASSERT_NE(caller, nullptr);
    const SessionBlock before = sessions.GetSession('K');
    EXPECT_EQ(WithFailingLock([&] { return applications.GetApplicationBlock(caller->BlockName); }), nullptr);
    EXPECT_EQ(WithFailingLock([&] { return sessions.GetSession('K'); }).Established, 0)
        << "a copy taken without the lock";
    EXPECT_FALSE(WithFailingLock([&] { return sessions.ConnectSessionPS(caller->BlockName, 'K'); }));
    EXPECT_FALSE(WithFailingLock([&] { return sessions.SetCaller(caller->BlockName, 'K'); }));
    EXPECT_EQ(WithFailingLock([&] { return sessions.AddToHostNotificationList('K', *caller); }), -1);
    const SessionBlock after = sessions.GetSession('K');
    EXPECT_EQ(std::memcmp(&before, &after, sizeof after), 0) << "the session record changed";

    WithFailingLock([&] {
        sessions.RemoveSession('K');
        return 0;
    });
    EXPECT_EQ(sessions.IsSessionEstablished('K'), 1) << "removed without the lock";
    sessions.RemoveSession('K');
    EXPECT_EQ(sessions.IsSessionEstablished('K'), 0);
}

}  // namespace
}  // namespace trv::test
