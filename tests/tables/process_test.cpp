// The tables across processes (the interfaces' tests share them with child
// processes throughout): callers killed outright, or whose id a later
// process has, leave blocks and sessions that are given back, also before
// the table is full, and a full notification list makes room in place of a
// killed caller.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/event.h"
#include "protocol/notification.h"
#include "table_fixture.h"
#include "tables/cleanup.h"

namespace trv::test {
namespace {

constexpr std::uint32_t kChildWaitMs = 20000;

platform::Handle SharedEvent(const std::string& base) {
    return platform::CreateNamedEvent(true, UniqueName(base).c_str());
}

TRV_CHILD_ROLE(tables_block_holder) {
    Tables tables("trv_holders", false);
    ApplicationBlock* block = tables.ok() ? tables.applications->AddApplicationBlock(
                                                platform::CurrentProcessId(), platform::CurrentThreadId(), true)
                                          : nullptr;
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
    platform::UniqueHandle ready(SharedEvent("trv_holder_ready_" + args[0]));
    platform::UniqueHandle never(SharedEvent("trv_holder_never"));
    platform::SignalEvent(ready.get());
    platform::WaitForEvent(never.get(), 60000);  // until killed
    return 5;
}

// One tables_block_holder child ("0": connected to H's presentation space,
// "1": to its window services; any other argument: only in H's host and
// close lists), ready when made.
class Holder {
public:
    explicit Holder(const std::string& what)
        : ready_(SharedEvent("trv_holder_ready_" + what)), process_("tables_block_holder", RoleArgs{what}) {
        ok_ = platform::WaitForEvent(ready_.get(), kChildWaitMs) == platform::kWaitObject0;
    }
    bool ok() const { return ok_; }
    std::uint32_t id() const { return process_.id(); }
    // Ends it outright and waits until it is gone.
    void Kill() {
        process_.Kill();
        process_.Wait(kChildWaitMs);
    }

private:
    platform::UniqueHandle ready_;
    RoleProcess process_;
    bool ok_ = false;
};

std::string NameOf(const ApplicationBlock& block) {
    return std::string(block.BlockName, strnlen(block.BlockName, sizeof block.BlockName));
}

ApplicationBlock* BlockOfProcess(ApplicationList& list, std::uint32_t processId) {
    for (ApplicationBlock& block : list.Blocks) {
        if (block.ProcessId == processId) return &block;
    }
    return nullptr;
}

// The tables in named mappings that the holders open, and the event that
// keeps them waiting until they are killed.
class DeadHoldersTest : public testing::Test {
protected:
    Tables tables_{"trv_holders", true};
    platform::UniqueHandle never_{SharedEvent("trv_holder_never")};
    void SetUp() override { ASSERT_TRUE(tables_.ok()); }
    const SessionBlock& H() const { return tables_.sessions->Blocks['H' - 'A']; }
};

// Three callers in H's host and close lists, one connected to H's
// presentation space, one to its window services. One killed outright is
// given back to the next new caller while the table has room; one killed
// while the host list is full makes room for a newcomer; the one whose id
// now names a later process (another start stamp) is given back when its
// name is checked. Their ties to H go with them. A session registered
// under a reused id is given back the same way.
TEST_F(DeadHoldersTest, KilledCallersAndThoseWhoseIdWasReusedAreReclaimed) {
    Holder ps("0"), win("1"), listed("2");
    ASSERT_TRUE(ps.ok() && win.ok() && listed.ok());
    ASSERT_TRUE(H().PSConnection[0] != '\0' && H().WinConnection[0] != '\0');
    const std::string winName = NameOf(*BlockOfProcess(*tables_.applications, win.id()));

    listed.Kill();
    std::vector<ApplicationBlock*> mine = {tables_.applications->AddApplicationBlock(kSelf, 1, false)};
    ASSERT_NE(mine[0], nullptr);
    EXPECT_EQ(BlockOfProcess(*tables_.applications, listed.id()), nullptr) << "the killed caller's block was kept";
    EXPECT_EQ(H().HostNotifyCount, 2);
    EXPECT_EQ(H().CloseNotifyCount, 2);
    for (std::uint32_t tid = 2; tid < kSessionCount - 1; ++tid) {
        mine.push_back(tables_.applications->AddApplicationBlock(kSelf, tid, false));
        ASSERT_NE(mine.back(), nullptr);
    }
    for (ApplicationBlock* block : mine) ASSERT_GE(tables_.sessions->AddToHostNotificationList('H', *block), 0);
    ASSERT_EQ(H().HostNotifyCount, kSessionCount);
    win.Kill();
    // A caller whose block is not in this table (another view of the table
    // would be the same): a list entry only needs a name.
    std::vector<unsigned char> newcomerBytes(sizeof(ApplicationBlock));
    auto* newcomer = reinterpret_cast<ApplicationBlock*>(newcomerBytes.data());
    std::strcpy(newcomer->BlockName, "APPL_BLOCK_NEWCOMER");
    EXPECT_GE(tables_.sessions->AddToHostNotificationList('H', *newcomer), 0) << "the list stays full of the dead";
    EXPECT_EQ(H().HostNotifyCount, kSessionCount);
    for (int i = 0; i < kSessionCount; ++i) EXPECT_NE(std::string(H().HostNotifyList[i]), winName) << i;
    EXPECT_EQ(H().WinConnection[0], '\0');

    ApplicationBlock* psBlock = BlockOfProcess(*tables_.applications, ps.id());
    ASSERT_NE(psBlock, nullptr);
    const std::string psName = NameOf(*psBlock);
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

}  // namespace
}  // namespace trv::test
