// UTLAPIEntry against the screen responder of screen_responder.h, with the
// calling thread's id as the client handle.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "library/process_lifecycle.h"
#include "platform/thread.h"
#include "support/test_thread.h"
#include "trvha64_utlapi.h"
#include "utlapi/event_tables.h"
#include "utlapi_fixture.h"

namespace trv::test {
namespace {

using utl::EventKind;
using utl::EventTable;

constexpr int kTable = 3;

struct EntryCall {
    std::int32_t result;
    std::int32_t length;    // as written back
    std::int32_t argument;  // as written back
};

EntryCall Entry(std::int32_t function, char* data, std::int32_t length, std::int32_t argument = 0,
                std::int32_t a = 0, std::int32_t b = 0) {
    EntryCall call{0, length, argument};
    call.result = UTLAPIEntry725(&function, data, &call.length, &call.argument, &a, &b);
    return call;
}

std::int32_t EntryResult(std::int32_t function, std::string data = {}, std::int32_t length = 0,
                         std::int32_t argument = 0, std::int32_t a = 0, std::int32_t b = 0) {
    data.resize(data.size() + 16, '\0');
    return Entry(function, data.data(), length, argument, a, b).result;
}

// The calling thread registered by the entry and bound to session A.
class UtlParameterBlockTest : public ScreenResponderTest {
protected:
    void SetUp() override {
        ScreenResponderTest::SetUp();
        ASSERT_EQ(EntryResult(244), 1);
        ASSERT_EQ(EntryResult(214, "A"), 1);
    }
    void TearDown() override {
        EventTable('A', kTable).Clear();
        EXPECT_EQ(EntryResult(268), 1);
        ScreenResponderTest::TearDown();
    }
};

// The add operations cover every packing shape (A, B; Ph, Pl; L, P; D ended
// at L) and every kind of event-table entry. High bits beyond the 16 taken
// are set to show they are dropped.
TEST_F(UtlParameterBlockTest, AddOperationsUnpackTheirArguments) {
    constexpr std::int32_t kHigh = 0x70000;
    struct Row {
        std::int32_t number;
        std::string data;
        std::int32_t length, argument, a, b;
        EventKind kind;
        std::uint32_t event;
        std::int32_t row, column, settle;
        std::string text;
    };
    const Row rows[] = {
        {201, "", 0, 0, kTable | kHigh, 11 | kHigh, EventKind::Wait, 11, -1, -1, -1, ""},
        {202, "", 0, 327696, kTable, 12, EventKind::Cursor, 12, 5, 16, -1, ""},
        {203, "", kTable | kHigh, 13 | kHigh, 0, 0, EventKind::CursorMove, 13, -1, -1, -1, ""},
        {204, "", 0, 0, kTable, 14, EventKind::HostConnect, 14, -1, -1, -1, ""},
        {205, "", 0, 0, kTable, 15, EventKind::HostDisconnect, 15, -1, -1, -1, ""},
        {206, "@E@F", 2, 0, kTable, 16, EventKind::Key, 16, -1, -1, -1, "@E"},
        {207, "READYxyz", 5, (2 << 16) | 7, kTable, 17, EventKind::String, 17, 2, 7, -1, "READY"},
        {208, "BUSY!", 4, (3 << 16) | 9, kTable, 18, EventKind::StringNotAt, 18, 3, 9, -1, "BUSY"},
        {209, "", 0, 250 | kHigh, kTable, 19, EventKind::HostQuiet, 19, -1, -1, 250, ""},
    };
    for (const Row& row : rows) {
        ASSERT_EQ(EntryResult(row.number, row.data + "zzzzzzzz", row.length, row.argument, row.a, row.b), 1)
            << row.number;
        const utl::UTLEventEntry* entry = EventTable('A', kTable).Last();
        ASSERT_NE(entry, nullptr) << row.number;
        EXPECT_EQ(std::tie(entry->kind, entry->event, entry->row, entry->column, entry->settleTime, entry->text),
                  std::tie(row.kind, row.event, row.row, row.column, row.settle, row.text))
            << row.number;
        EXPECT_EQ(entry->owner, platform::CurrentThreadId()) << row.number;
    }
    EXPECT_EQ(EventTable('A', kTable).Count(), std::size(rows));
    EXPECT_EQ(EntryResult(272, "", 0, 2, kTable), 11);  // the first entry that holds: UTLAddWait's
    EXPECT_EQ(EntryResult(215, "", 0, 0, kTable, 11), 1);
    EXPECT_EQ(EntryResult(212, "", 0, 0, kTable), 1);
    EXPECT_EQ(EventTable('A', kTable).Count(), 0u);
}

TEST_F(UtlParameterBlockTest, ScreenOperationsTakeRowColumnTextAndTimeOutAndOtherNumbersAnswerOne) {
    EXPECT_EQ(EntryResult(260, "", 0, 0, 10, 1), 1);
    EXPECT_EQ(EntryResult(255, "HIJUNK", 2), 1);
    EXPECT_EQ(EntryResult(221), 9 * 80 + 3);
    std::string text(8, '\0');
    EXPECT_EQ(Entry(235, text.data(), 3, 0, 10, 1).result, 1);
    EXPECT_EQ(text.substr(0, 4), std::string("HI ") + '\0');
    EXPECT_EQ(EntryResult(276, "MAIN MENUzz", 9, 2, 1, 0), 1);
    EXPECT_EQ(EntryResult(276, "MENU", 4, 2, 1, 6), 6);
    EXPECT_EQ(EntryResult(276, "NOWHERE", 7, 1, 1, 0), UTL_TIMEOUT);
    EXPECT_EQ(EntryResult(253, "abc,HIabc!!", 9, 2, 10, 1), 9 * 80 + 1);
    EXPECT_EQ(EntryResult(247, "", 0, 165, 0, 0), 3);
    EXPECT_EQ(EntryResult(247, "", 1, 165, 0, 0), 5);
    EXPECT_EQ(EntryResult(261, "", 2, 2), 1);
    EXPECT_EQ(EntryResult(230, "", 0, 2), 2);
    std::string version(8, 'x');
    EXPECT_EQ(Entry(218, version.data(), 5).result, 1);
    EXPECT_STREQ(version.c_str(), UTL_VERSION_TEXT);

    // Numbers without an operation answer 1 and leave their arguments (the
    // length whole, as every operation does).
    for (std::int32_t number : {150, 278}) {
        char data[8] = "keep";
        const EntryCall call = Entry(number, data, 0x10003, 77);
        EXPECT_EQ(call.result, 1) << number;
        EXPECT_EQ(call.argument, 1) << number;
        EXPECT_EQ(call.length, 0x10003) << number;
        EXPECT_STREQ(data, "keep") << number;
    }
}

// A fresh process: its first 214 registers the calling thread (so its 244
// finds it registered); a second thread, which never used 244, is not
// registered by its 214, and registers with its own 244.
TEST(UtlParameterBlockProcessTest, TheFirstConnectRegistersOnlyTheFirstThread) {
    ScreenResponder responder;
    ASSERT_TRUE(responder.ready());
    RoleProcess child("utl_entry_first_connect");
    EXPECT_EQ(child.Wait(kTestLimitMs), 0);
}

TRV_CHILD_ROLE(utl_entry_first_connect) {
    AttachInPrivateNamespace("utl-tests");
    int failures = 0;
    if (EntryResult(214, "A") != 1) failures |= 1;
    if (EntryResult(244) != UTL_SYSTEM_ERROR) failures |= 2;
    std::int32_t connect = 0, registered = 0;
    std::uint32_t other = 0;
    {
        TestThread thread([&] {
            other = platform::CurrentThreadId();
            connect = EntryResult(214, "A");
            registered = EntryResult(244);
        });
        if (!thread.Join()) failures |= 4;
    }
    if (connect != UTL_NOT_REGISTERED || registered != 1) failures |= 8;
    if (UTLUnregisterClient(platform::CurrentThreadId()) != 1 || UTLUnregisterClient(other) != 1) failures |= 16;
    OnProcessDetach();
    return failures;
}

}  // namespace
}  // namespace trv::test
