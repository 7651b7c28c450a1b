// The UTLAPI event tables and UTLWaitForEvent against the screen responder
// of screen_responder.h. The entry each add function makes is checked with
// the parameter-block entry's packing (parameter_block_test.cpp).
#include <gtest/gtest.h>

#include <vector>

#include "utlapi/event_tables.h"
#include "utlapi_fixture.h"

namespace trv::test {
namespace {

using utl::EventTable;
using utl::UTLEventEntry;

constexpr trvUTLClient kOther = 0xE7E8;
constexpr int kTable = 49;

// A second client, kOther, bound to A beside kClient.
class UtlEventTableTest : public BoundClientTest {
protected:
    void SetUp() override {
        BoundClientTest::SetUp();
        ASSERT_EQ(UTLRegisterClient(kOther), 1);
        ASSERT_EQ(UTLConnectSession(kOther, "A"), 1);
    }
    void TearDown() override {
        EventTable('A', kTable).Clear();
        UTLUnregisterClient(kOther);
        BoundClientTest::TearDown();
    }
    // (owner, event) of each entry, first to last, with the back links checked.
    static std::vector<std::pair<std::uint64_t, std::uint32_t>> Entries() {
        std::vector<std::pair<std::uint64_t, std::uint32_t>> entries;
        const UTLEventEntry* previous = nullptr;
        for (const UTLEventEntry* e = EventTable('A', kTable).First(); e != nullptr; e = e->next) {
            EXPECT_EQ(e->previous, previous);
            previous = e;
            entries.emplace_back(e->owner, e->event);
        }
        EXPECT_EQ(EventTable('A', kTable).Last(), previous);
        EXPECT_EQ(EventTable('A', kTable).Count(), entries.size());
        return entries;
    }
};

TEST_F(UtlEventTableTest, TableFiftyOrADisconnectedClientIsRefused) {
    EXPECT_EQ(UTLAddWaitForCursor(kClient, 50, 1, 1, 1), UTL_BAD_TABLE);
    EXPECT_EQ(UTLDeleteEvent(kClient, 50, 1), UTL_BAD_TABLE);
    EXPECT_EQ(UTLClearEventTable(kClient, 50), UTL_BAD_TABLE);
    EXPECT_EQ(UTLWaitForEvent(kClient, 50, 1), UTL_BAD_TABLE);
    ASSERT_EQ(UTLDisconnectSession(kOther), 1);
    EXPECT_EQ(UTLAddWait(kOther, kTable, 1), UTL_NOT_REGISTERED);
    EXPECT_EQ(UTLAddWaitForString(kOther, 50, 1, 1, 1, "X"), UTL_NOT_REGISTERED);
    EXPECT_EQ(UTLDeleteEvent(kOther, kTable, 1), UTL_NOT_REGISTERED);
    EXPECT_EQ(UTLClearEventTable(kOther, kTable), UTL_NOT_REGISTERED);
    EXPECT_EQ(UTLWaitForEvent(kOther, kTable, 1), UTL_NOT_REGISTERED);
    EXPECT_TRUE(Entries().empty());
}

TEST_F(UtlEventTableTest, DeleteRemovesTheFirstMatchThisClientAddedAndClearRemovesAll) {
    ASSERT_EQ(UTLAddWait(kOther, kTable, 7), 1);
    ASSERT_EQ(UTLAddWait(kClient, kTable, 8), 1);
    ASSERT_EQ(UTLAddWait(kClient, kTable, 7), 1);
    ASSERT_EQ(UTLAddWaitForCursorMove(kClient, kTable, 7), 1);
    using List = std::vector<std::pair<std::uint64_t, std::uint32_t>>;
    EXPECT_EQ(UTLDeleteEvent(kClient, kTable, 7), 1);
    EXPECT_EQ(Entries(), (List{{kOther, 7}, {kClient, 8}, {kClient, 7}}));
    EXPECT_EQ(EventTable('A', kTable).Last()->kind, utl::EventKind::CursorMove);
    EXPECT_EQ(UTLDeleteEvent(kClient, kTable, 9), 1);
    EXPECT_EQ(UTLDeleteEvent(kClient, kTable, 7), 1);
    EXPECT_EQ(UTLDeleteEvent(kClient, kTable, 7), 1);
    EXPECT_EQ(Entries(), (List{{kOther, 7}, {kClient, 8}}));
    EXPECT_EQ(UTLClearEventTable(kClient, kTable), 1);
    EXPECT_TRUE(Entries().empty());
    ASSERT_EQ(UTLAddWait(kClient, kTable, 3), 1);
    EXPECT_EQ(UTLDeleteEvent(kClient, kTable, 3), 1);
    EXPECT_TRUE(Entries().empty());
    EXPECT_EQ(UTLAddWait(kClient, kTable, 4), 1);
    EXPECT_EQ(Entries(), (List{{kClient, 4}}));
}

TEST_F(UtlEventTableTest, WaitForEventAnswersTheFirstEntryThatHoldsAndRestoresTheWaitMode) {
    ASSERT_EQ(UTLAddWaitForString(kClient, kTable, 1, 1, 1, "NOT THERE"), 1);
    ASSERT_EQ(UTLAddWaitForStringNotAt(kClient, kTable, 2, 1, 1, "MAIN MENU"), 1);
    ASSERT_EQ(UTLAddWaitForCursorMove(kClient, kTable, 3), 1);
    ASSERT_EQ(UTLAddWaitForHostDisconnect(kClient, kTable, 4), 1);  // no emulator answers: never
    ASSERT_EQ(UTLAddWaitForString(kClient, kTable, 5, 1, 6, "MENU"), 1);
    ASSERT_EQ(UTLAddWaitForCursor(kClient, kTable, 6, 1, 1), 1);
    // Another client bound to A waits on the same table.
    EXPECT_EQ(UTLWaitForEvent(kOther, kTable, 4), 5);
    EXPECT_EQ(UTLGetParameter(kOther, 10), 1);
    EXPECT_EQ(UTLWaitForEvent(kClient, kTable, 0), UTL_TIMEOUT);
    ASSERT_EQ(UTLDeleteEvent(kClient, kTable, 5), 1);
    EXPECT_EQ(UTLWaitForEvent(kClient, kTable, 4), 6);
    ASSERT_EQ(UTLAddWaitHostQuiet(kClient, kTable, 6, 0), 1);
    ASSERT_EQ(UTLDeleteEvent(kClient, kTable, 6), 1);  // the cursor entry; the quiet one, 6 too, stays
    EXPECT_EQ(UTLWaitForEvent(kClient, kTable, 4), 6);
    ASSERT_EQ(UTLClearEventTable(kClient, kTable), 1);
    ASSERT_EQ(UTLAddWaitForStringNotAt(kClient, kTable, 9, 1, 1, "MAIN MANU"), 1);
    EXPECT_EQ(UTLWaitForEvent(kClient, kTable, 4), 9);
    ASSERT_EQ(UTLClearEventTable(kClient, kTable), 1);
    EXPECT_EQ(UTLWaitForEvent(kClient, kTable, 1), UTL_TIMEOUT);
    EXPECT_EQ(UTLGetParameter(kClient, 10), 1);
    // Every request of the wait was served whole: the next ones get their own answers.
    for (int column : {10, 20, 30}) {
        ASSERT_EQ(UTLSetCursorLocation(kClient, 2, column), 1);
        EXPECT_EQ(UTLGetCursorLocation(kClient), 80 + column);
    }
}

}  // namespace
}  // namespace trv::test
