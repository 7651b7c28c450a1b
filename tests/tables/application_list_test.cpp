// The application table of callers' exchange blocks.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <vector>

#include "support/test_thread.h"
#include "table_fixture.h"
#include "tables/table_support.h"

namespace trv::test {
namespace {

TEST(ApplicationListTest, ProcessFormSharesOneBlockThreadFormGivesEachThreadItsOwnFoundByAllOfItsName) {
    Tables tables;
    ApplicationList& list = *tables.applications;
    ApplicationBlock* block = list.AddApplicationBlock(0x1A2B, 0x3C, true);
    ASSERT_EQ(block, &list.Blocks[0]);
    EXPECT_EQ(list.AddApplicationBlock(0x1A2B, 0x3D, true), block);
    EXPECT_EQ(block->ThreadId, 0x3Cu);
    EXPECT_EQ(block->SessionID, -1);
    EXPECT_EQ(block->WaitTimeout, 60000u);
    EXPECT_EQ(block->EscChar, '@');
    const char name[kBlockNameSize] = "APPL_BLOCK_00001A2B0000003C";
    EXPECT_EQ(std::memcmp(block->BlockName, name, kBlockNameSize), 0);
    EXPECT_STREQ(block->ReplyEventName, "APPL_EVENT_00001A2B0000003C");

    ApplicationBlock* threadA = list.AddApplicationBlock(kSelf, 21, false);
    ApplicationBlock* threadB = list.AddApplicationBlock(kSelf, 22, false);
    ASSERT_TRUE(threadA != nullptr && threadB != nullptr);
    EXPECT_STRNE(threadA->ReplyEventName, threadB->ReplyEventName);
    EXPECT_EQ(list.AddApplicationBlock(kSelf, 21, false), threadA);
    EXPECT_EQ(list.FindApplicationBlock(kSelf), threadA);
    EXPECT_EQ(list.FindApplicationBlock(kSelf, 22), threadB);
    EXPECT_EQ(list.FindApplicationBlock(0), nullptr) << "a free block is nobody's";

    char lookup[kBlockNameSize];
    std::memcpy(lookup, threadA->BlockName, kBlockNameSize);
    EXPECT_EQ(list.GetApplicationBlock(lookup), threadA);
    lookup[kBlockNameSize - 1] = 'x';
    EXPECT_EQ(list.GetApplicationBlock(lookup), nullptr) << "the 28th byte was not compared";
    const char empty[kBlockNameSize] = {};
    EXPECT_EQ(list.GetApplicationBlock(empty), nullptr) << "matched a free block";
}

TEST(ApplicationListTest, TwentySeventhCallerIsRefusedAndAFreedSlotIsZeroedAndReused) {
    Tables tables;
    ApplicationList& list = *tables.applications;
    // Every owner is this living process, so nothing can be reclaimed.
    for (std::uint32_t tid = 1; tid <= 26; ++tid) ASSERT_NE(list.AddApplicationBlock(kSelf, tid, false), nullptr);
    EXPECT_EQ(list.AddApplicationBlock(kSelf, 27, false), nullptr);

    ApplicationBlock& used = list.Blocks[5];
    used.KeyQueueCount[7] = 9;  // near the block's end, where a new block has zeroes
    platform::CloseObject(used.ReplyEvent);
    list.RemoveApplicationBlock(kSelf, 6);
    EXPECT_TRUE(AllZero(&used, sizeof used));

    ApplicationBlock* reused = list.AddApplicationBlock(kSelf, 27, false);
    ASSERT_EQ(reused, &used) << "not the lowest free slot";
    EXPECT_EQ(reused->ThreadId, 27u);
}

TEST(ApplicationBlockTest, DataAndTheQueuedKeyCountStayWithinTheBlock) {
    Tables tables;
    ApplicationBlock* block = tables.applications->AddApplicationBlock(kSelf, 1, false);
    std::vector<std::uint8_t> big(kDataSize + 500, 0xEE);
    EXPECT_EQ(block->StoreData(big.data(), big.size()), kDataSize);
    EXPECT_EQ(block->KeyQueue[0][0].Kind, 0) << "Data overran into the key queue";

    // A count spoiled by a process that died mid-update reads within the queue.
    for (auto [spoiled, read] : {std::pair{-5, 0}, std::pair{5000, 1024}}) {
        block->KeyQueueCount[3] = static_cast<std::int16_t>(spoiled);
        EXPECT_EQ(block->QueuedKeys(3), read) << spoiled;
    }
    EXPECT_EQ(block->QueuedKeys(kSessionCount), 0);
}

// Whether the table mutex is reached by name or, as in an attached process,
// through the handle the process holds open, adding a block waits while
// another thread holds the table.
TEST(ApplicationListTest, AddingABlockWaitsForTheTableLock) {
    Tables tables;
    platform::UniqueHandle heldOpen(platform::OpenNamedMutex(kApplicationListMutexName));
    ASSERT_TRUE(heldOpen);
    platform::Handle& processHandle = Process().tableMutexes[1];
    const platform::Handle saved = processHandle;
    for (const std::uint32_t thread : {0x61u, 0x62u}) {
        processHandle = thread == 0x61u ? platform::kNoHandle : heldOpen.get();
        std::optional<TableLock> table(std::in_place, kApplicationListMutexName);
        ASSERT_TRUE(table->held());
        TestThread adder([&] { tables.applications->AddApplicationBlock(kSelf, thread, false); });
        EXPECT_TRUE(adder.StillRunningAfter(100)) << "added while the table was held";
        table.reset();
        ASSERT_TRUE(adder.Join());
        EXPECT_NE(tables.applications->FindApplicationBlock(kSelf, thread), nullptr);
    }
    processHandle = saved;
}

}  // namespace
}  // namespace trv::test
