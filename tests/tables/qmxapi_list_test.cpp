// The session-API table of callers' records.
#include <gtest/gtest.h>

#include <string>

#include "platform/atom.h"
#include "platform/event.h"
#include "table_fixture.h"

namespace trv::test {
namespace {

TRV_CHILD_ROLE(tables_exit_at_once) { return 0; }

TEST(QMXAPIListTest, RecordCarriesItsNameAtomAndEventUntilRemoved) {
    Tables tables;
    QMXAPIList& list = *tables.qmxapi;
    QMXAPIBlock* record = list.AddQMXAPIBlock(6699, 60);
    ASSERT_EQ(record, &list.Blocks[0]);
    EXPECT_STREQ(record->BlockName, "QMXAPI_BLOCK_00001A2B0000003C");
    EXPECT_STREQ(record->EventName, "QMXAPI_EVENT_00001A2B0000003C");
    platform::UniqueHandle event(platform::OpenNamedEvent(record->EventName));
    platform::SignalEvent(event.get());
    EXPECT_EQ(platform::WaitForEvent(record->Event, 0), platform::kWaitObject0);
    EXPECT_EQ(list.GetQMXAPIBlock(""), nullptr) << "an empty name matched a free record";

    platform::CloseObject(record->Event);
    EXPECT_EQ(list.RemoveQMXAPIBlock(6699, 60), 0);
    EXPECT_TRUE(AllZero(record, sizeof *record));
    EXPECT_EQ(platform::FindGlobalAtom("QMXAPI_BLOCK_00001A2B0000003C"), 0) << "atom left behind";
}

TEST(QMXAPIListTest, AFullTableReclaimsEndedOwnersThenRefusesAndReusesTheLowestFreeIndex) {
    RoleProcess child("tables_exit_at_once");
    ASSERT_TRUE(child.started() && child.Wait() == 0);
    const std::uint32_t ended = child.id();
    Tables tables;
    QMXAPIList& list = *tables.qmxapi;
    for (std::uint32_t tid = 1; tid <= 25; ++tid) ASSERT_NE(list.AddQMXAPIBlock(kSelf, tid), nullptr);
    QMXAPIBlock* dead = list.AddQMXAPIBlock(ended, 7);
    const std::string deadName = dead->BlockName;
    platform::UniqueHandle deadEvent(dead->Event);  // made here, for the test's fake owner

    EXPECT_EQ(list.AddQMXAPIBlock(kSelf, 99), &list.Blocks[25]) << "the ended owner's record was kept";
    EXPECT_EQ(platform::FindGlobalAtom(deadName.c_str()), 0);

    EXPECT_EQ(list.AddQMXAPIBlock(kSelf, 100), nullptr);
    EXPECT_EQ(list.FindQMXAPIBlock(kSelf, 25), &list.Blocks[24]) << "owned records stopped working";
    platform::CloseObject(list.Blocks[7].Event);
    platform::CloseObject(list.Blocks[3].Event);
    list.RemoveQMXAPIBlock(kSelf, 8);
    list.RemoveQMXAPIBlock(kSelf, 4);
    EXPECT_EQ(list.AddQMXAPIBlock(kSelf, 100), &list.Blocks[3]);
}

// Which thread gets which record is the session API's tests' to check.
TEST(QMXAPIListTest, AThreadKeepsItsRecordAndAnAlertWakesItWhileItWaits) {
    Tables tables;
    QMXAPIBlock* waiting = GetQMXAPIBlock();
    ASSERT_NE(waiting, nullptr);
    const platform::Handle event = waiting->Event;
    EXPECT_EQ(tables.qmxapi->AddQMXAPIBlock(kSelf, platform::CurrentThreadId()), waiting);
    EXPECT_EQ(waiting->Event, event) << "a second event was made for the same thread";

    waiting->Waiting = 1;
    AlertWaitingQMXAPIBlocks();
    EXPECT_EQ(platform::WaitForEvent(waiting->Event, 0), platform::kWaitObject0);
}

}  // namespace
}  // namespace trv::test
