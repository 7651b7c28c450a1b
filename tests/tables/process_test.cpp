// The tables across processes (the interfaces' tests share them with child
// processes throughout): callers killed outright leave blocks that the next
// caller gets back, also before the table is full; a full notification list
// makes room in place of a killed caller; a holder whose id a later process
// has is not alive.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
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

// Callers killed outright, one connected to H's presentation space, one to
// its window services, both in its host and close lists: the next new
// caller gets a block (not only once the table is full) and the dead
// callers' ties to H are gone.
TEST(DeadHoldersTest, KilledCallersAreReclaimedByTheNextNewCaller) {
    Tables tables("trv_holders", true);
    ASSERT_TRUE(tables.ok());
    platform::UniqueHandle never(SharedEvent("trv_holder_never"));
    Holder ps("0"), win("1");
    ASSERT_TRUE(ps.ok() && win.ok());
    const SessionBlock& h = tables.sessions->Blocks['H' - 'A'];
    ASSERT_EQ(h.HostNotifyCount, 2);
    ASSERT_NE(h.PSConnection[0], '\0');
    ASSERT_NE(h.WinConnection[0], '\0');
    ps.Kill();
    win.Kill();

    const std::uint32_t self = platform::CurrentProcessId();
    ApplicationBlock* mine = tables.applications->AddApplicationBlock(self, platform::CurrentThreadId(), true);
    ASSERT_EQ(mine, &tables.applications->Blocks[0]) << "the killed callers' blocks were not reclaimed";
    EXPECT_EQ(BlockOfProcess(*tables.applications, ps.id()), nullptr);
    EXPECT_EQ(BlockOfProcess(*tables.applications, win.id()), nullptr);
    EXPECT_EQ(h.HostNotifyCount + h.CloseNotifyCount, 0);
    EXPECT_TRUE(AllZero(h.HostNotifyList, sizeof h.HostNotifyList));
    EXPECT_EQ(h.PSConnection[0], '\0');
    EXPECT_EQ(h.WinConnection[0], '\0');
    platform::CloseObject(mine->ReplyEvent);
}

TEST(DeadHoldersTest, AFullNotificationListTakesANewCallerInPlaceOfAKilledOne) {
    Tables tables("trv_holders", true);
    ASSERT_TRUE(tables.ok());
    platform::UniqueHandle never(SharedEvent("trv_holder_never"));
    Holder holder("2");
    ASSERT_TRUE(holder.ok());
    const std::uint32_t self = platform::CurrentProcessId();
    std::vector<ApplicationBlock*> mine;
    for (std::uint32_t tid = 1; tid < kSessionCount; ++tid) {
        mine.push_back(tables.applications->AddApplicationBlock(self, tid, false));
        ASSERT_NE(mine.back(), nullptr);
        ASSERT_GE(tables.sessions->AddToHostNotificationList('H', *mine.back()), 0);
    }
    const SessionBlock& h = tables.sessions->Blocks['H' - 'A'];
    ASSERT_EQ(h.HostNotifyCount, kSessionCount);
    const std::string killedName = NameOf(*BlockOfProcess(*tables.applications, holder.id()));
    holder.Kill();

    // A caller whose block is not in this table (another view of the table
    // would be the same): it only needs a name of its own.
    std::vector<unsigned char> newcomerBytes(sizeof(ApplicationBlock));
    auto* newcomer = reinterpret_cast<ApplicationBlock*>(newcomerBytes.data());
    std::strcpy(newcomer->BlockName, "APPL_BLOCK_NEWCOMER");
    EXPECT_GE(tables.sessions->AddToHostNotificationList('H', *newcomer), 0) << "the list stays full of the dead";
    EXPECT_EQ(h.HostNotifyCount, kSessionCount);
    for (int i = 0; i < kSessionCount; ++i) EXPECT_NE(std::string(h.HostNotifyList[i]), killedName) << i;
    for (ApplicationBlock* block : mine) platform::CloseObject(block->ReplyEvent);
}

// A process id is used again once its process has ended: a record naming
// a live process by id but with another start stamp is a dead holder's.
TEST(DeadHoldersTest, AHolderWhoseIdNowBelongsToAnotherProcessCountsAsEnded) {
    Tables tables("trv_holders", true);
    ASSERT_TRUE(tables.ok());
    platform::UniqueHandle never(SharedEvent("trv_holder_never"));
    Holder holder("0");
    ASSERT_TRUE(holder.ok());
    ApplicationBlock* block = BlockOfProcess(*tables.applications, holder.id());
    ASSERT_NE(block, nullptr);
    const std::string name = NameOf(*block);
    const std::uint32_t stamp = platform::ProcessStartStamp(holder.id());
    ASSERT_NE(stamp, 0u);
    EXPECT_EQ(block->OwnerStartStamp, stamp);

    EXPECT_FALSE(tables.applications->ReclaimIfHolderEnded(name.c_str())) << "a live holder was reclaimed";
    block->OwnerStartStamp = stamp ^ 0x5A5A;  // as if written by an earlier process with this id
    EXPECT_TRUE(tables.applications->ReclaimIfHolderEnded(name.c_str()));
    EXPECT_EQ(block->ProcessId, 0u);
    EXPECT_EQ(tables.sessions->Blocks['H' - 'A'].PSConnection[0], '\0');

    // The same for a session registered under the live process's id.
    SessionBlock templ = RegistrationTemplate(holder.id());
    templ.SetOwnerStartStamp(stamp);
    ASSERT_TRUE(tables.sessions->AddNamedSession(templ, 'J'));
    EXPECT_EQ(ReclaimSessionsOfEndedProcesses(), 0);
    EXPECT_EQ(tables.sessions->IsSessionEstablished('J'), 1);
    tables.sessions->Blocks['J' - 'A'].SetOwnerStartStamp(stamp ^ 0x5A5A);
    EXPECT_EQ(ReclaimSessionsOfEndedProcesses(), 1);
    EXPECT_EQ(tables.sessions->IsSessionEstablished('J'), 0);
}

}  // namespace
}  // namespace trv::test
