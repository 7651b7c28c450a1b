// The tables across processes: what callers killed outright, or whose id a
// later process has, leave behind, and what a detaching process frees.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/event.h"
#include "protocol/notification.h"
#include "table_fixture.h"
#include "tables/cleanup.h"

namespace trv::test {
namespace {

TRV_CHILD_ROLE(tables_block_holder) {
    Tables tables("trv_holders", false);
    ApplicationBlock* block = nullptr;
    if (tables.ok()) block = tables.applications->AddApplicationBlock(kSelf, platform::CurrentThreadId(), true);
    if (block == nullptr || args.empty()) return 10;
    block->HostUpdateNotifyType['H' - 'A'] = kNotifyBoth;
    tables.sessions->AddToHostNotificationList('H', *block);
    tables.sessions->AddToCloseNotificationList('H', *block);
    if (args[0] == "0") {
        tables.sessions->ConnectSessionPS(block->BlockName, 'H');
        block->ShortName = 'H';
    } else if (args[0] == "1") {
        tables.sessions->ConnectSessionWin(block->BlockName, 'H');
        block->WinConnected['H' - 'A'] = 1;
    }
    platform::UniqueHandle ready(platform::CreateNamedEvent(true, UniqueName("trv_holder_ready_" + args[0]).c_str()));
    platform::SignalEvent(ready.get());
    platform::SleepMs(60000);  // until killed
    return 5;
}

// One tables_block_holder child ("0": connected to H's presentation space,
// "1": to its window services; any other argument: only in H's host and
// close lists); ok once it is ready.
class Holder : public RoleProcess {
public:
    explicit Holder(const std::string& what) : RoleProcess("tables_block_holder", RoleArgs{what}) {
        platform::UniqueHandle ready(platform::CreateNamedEvent(true, UniqueName("trv_holder_ready_" + what).c_str()));
        ok = platform::WaitForEvent(ready.get(), 20000) == platform::kWaitObject0;
    }
    bool ok = false;
};

// The tables that the holders open.
class CallerProcessesTest : public testing::Test {
protected:
    Tables tables_{"trv_holders"};
    void SetUp() override { ASSERT_TRUE(tables_.ok()); }
    const SessionBlock& H() const { return tables_.sessions->Blocks['H' - 'A']; }
    ApplicationBlock* BlockOf(const RoleProcess& holder) {
        return tables_.applications->FindApplicationBlock(holder.id());
    }
};

// Three callers of H: one killed is given back to the next new caller while
// the table has room; one killed while the host list is full makes room for
// a newcomer; one whose id now names a later process (another start stamp)
// is given back when its name is checked, as is a session registered so.
TEST_F(CallerProcessesTest, KilledCallersAndThoseWhoseIdWasReusedAreReclaimed) {
    Holder ps("0"), win("1"), listed("2");
    ASSERT_TRUE(ps.ok && win.ok && listed.ok);
    ASSERT_TRUE(H().PSConnection[0] != '\0' && H().WinConnection[0] != '\0');
    const std::string winName = BlockOf(win)->BlockName;

    listed.Kill();
    ASSERT_NE(tables_.applications->AddApplicationBlock(kSelf, 1, false), nullptr);
    EXPECT_EQ(BlockOf(listed), nullptr) << "the killed caller's block was kept";
    EXPECT_EQ(H().HostNotifyCount, 2);
    EXPECT_EQ(H().CloseNotifyCount, 2);
    for (std::uint32_t tid = 1; tid < kSessionCount - 1; ++tid) {
        ApplicationBlock* block = tables_.applications->AddApplicationBlock(kSelf, tid, false);
        ASSERT_NE(block, nullptr);
        ASSERT_GE(tables_.sessions->AddToHostNotificationList('H', *block), 0);
    }
    ASSERT_EQ(H().HostNotifyCount, kSessionCount);
    win.Kill();
    // A caller whose block is not in this table (another view of the table
    // would be the same): a list entry only needs a name.
    auto newcomer = std::make_unique<ApplicationBlock>();
    std::strcpy(newcomer->BlockName, "APPL_BLOCK_NEWCOMER");
    EXPECT_GE(tables_.sessions->AddToHostNotificationList('H', *newcomer), 0) << "the list stays full of the dead";
    EXPECT_EQ(H().HostNotifyCount, kSessionCount);
    for (int i = 0; i < kSessionCount; ++i) EXPECT_NE(std::string(H().HostNotifyList[i]), winName) << i;
    EXPECT_EQ(H().WinConnection[0], '\0');

    ApplicationBlock* psBlock = BlockOf(ps);
    ASSERT_NE(psBlock, nullptr);
    const std::string psName = psBlock->BlockName;
    const std::uint32_t stamp = platform::ProcessStartStamp(ps.id());
    ASSERT_NE(stamp, 0u);
    EXPECT_EQ(psBlock->OwnerStartStamp, stamp);
    EXPECT_FALSE(tables_.applications->ReclaimIfHolderEnded(psName.c_str())) << "a live holder was reclaimed";
    psBlock->OwnerStartStamp = stamp ^ 0x5A5A;  // as if written by an earlier process with this id
    EXPECT_TRUE(tables_.applications->ReclaimIfHolderEnded(psName.c_str()));
    EXPECT_EQ(psBlock->ProcessId, 0u);
    EXPECT_EQ(H().PSConnection[0], '\0');
    EXPECT_EQ(H().CloseNotifyCount, 0);

    SessionBlock templ = RegistrationTemplate(ps.id());
    templ.SetOwnerStartStamp(stamp);
    ASSERT_TRUE(tables_.sessions->AddNamedSession(templ, 'J'));
    EXPECT_EQ(ReclaimSessionsOfEndedProcesses(), 0);
    EXPECT_EQ(tables_.sessions->IsSessionEstablished('J'), 1);
    tables_.sessions->Blocks['J' - 'A'].SetOwnerStartStamp(stamp ^ 0x5A5A);
    EXPECT_EQ(ReclaimSessionsOfEndedProcesses(), 1);
    EXPECT_EQ(tables_.sessions->IsSessionEstablished('J'), 0);
}

// The detach of a process frees every block it has, whichever thread
// detaches, with their ties to the sessions and the handles it made, around
// another process's caller listed first; when that process ends in turn,
// the handles stored in its block are left to it.
TEST_F(CallerProcessesTest, ApplicationDestroyedFreesEveryBlockOfTheProcessAndClosesOnlyItsOwnHandles) {
    Holder other("2");  // in H's host and close lists
    ASSERT_TRUE(other.ok);
    SessionList& sessions = *tables_.sessions;
    const int h = 'H' - 'A';
    ApplicationBlock* shared = tables_.applications->AddApplicationBlock(kSelf, 10, true);
    ApplicationBlock* t11 = tables_.applications->AddApplicationBlock(kSelf, 11, false);
    ApplicationBlock* t12 = tables_.applications->AddApplicationBlock(kSelf, 12, false);
    const std::string closeName = UniqueName("trv_tables_close_intercept");
    const std::string keyName = UniqueName("trv_tables_key_intercept");
    const std::string ownEvents[] = {shared->ReplyEventName, t11->ReplyEventName, t12->ReplyEventName, closeName,
                                     keyName};
    sessions.ConnectSessionPS(shared->BlockName, 'H');
    shared->ShortName = 'H';
    shared->HostUpdateNotifyType[h] = kNotifyBoth;
    sessions.AddToHostNotificationList('H', *shared);
    sessions.ConnectSessionWin(t11->BlockName, 'E');
    t11->WinConnected['E' - 'A'] = 1;
    t11->CloseInterceptMode[h] = kCloseByEvent;
    t11->CloseInterceptHandle[h] = platform::CreateNamedEvent(true, closeName.c_str());
    sessions.AddToCloseNotificationList('H', *t11);
    t12->KeyInterceptEvent['F' - 'A'] = platform::CreateNamedEvent(false, keyName.c_str());
    sessions.AddToKeyNotificationList('F', *t12);

    ApplicationDestroyed(kSelf, 0xBEEF);  // a thread that owns no block

    EXPECT_EQ(tables_.applications->FindApplicationBlock(kSelf), nullptr);
    ApplicationBlock* otherBlock = BlockOf(other);
    ASSERT_NE(otherBlock, nullptr);
    for (const std::string& name : ownEvents) EXPECT_FALSE(EventExists(name)) << name << " was not closed";
    EXPECT_EQ(H().PSConnection[0], '\0');
    EXPECT_EQ(H().HostNotifyCount, 1);
    EXPECT_STREQ(H().HostNotifyList[0], otherBlock->BlockName);
    EXPECT_EQ(H().CloseNotifyCount, 1);
    EXPECT_EQ(sessions.Blocks['E' - 'A'].WinConnection[0], '\0');
    EXPECT_EQ(sessions.Blocks['F' - 'A'].KeyNotifyCount, 0);

    const std::string probeName = UniqueName("trv_tables_foreign_probe");
    platform::UniqueHandle probe(platform::CreateNamedEvent(true, probeName.c_str()));
    otherBlock->CloseInterceptMode[h] = kCloseByEvent;
    otherBlock->CloseInterceptHandle[h] = probe.get();
    otherBlock->KeyInterceptEvent[h] = probe.get();
    ApplicationDestroyed(other.id(), 5);
    EXPECT_EQ(otherBlock->ProcessId, 0u);
    EXPECT_EQ(H().HostNotifyCount + H().CloseNotifyCount, 0);
    EXPECT_TRUE(EventExists(probeName)) << "a handle stored for another process was closed";
}

}  // namespace
}  // namespace trv::test
