// ProcessEHLLAPICall and the handlers behind it, called directly on a caller
// block of this process for a registered fake session.
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bridge/bridge_call.h"
#include "bridge/dispatch.h"
#include "bridge_fixture.h"
#include "jni/java_vm.h"
#include "platform/thread.h"
#include "protocol/caller_data.h"
#include "tables/application_block.h"
#include "tables/session_list.h"
#include "tables/session_parms.h"
#include "trvha64.h"

namespace trv::test {
namespace {

using namespace std::string_literals;
using DispatchTest = SessionTest;

// A function whose handler makes one Java call: the method, what it answers,
// and the request. `method` null: no call may be made.
struct HandlerRow {
    std::uint32_t function;
    const char* method;
    const char* signature;
    jlong answer;
    std::uint32_t parms;
    std::string data;
    std::uint32_t dataLength;
    std::int32_t position;
    // What comes back, and what the method received.
    std::int32_t returnCode;
    std::uint32_t dataLengthAfter;
    std::string text;
    std::vector<jint> ints;
};

std::ostream& operator<<(std::ostream& out, const HandlerRow& row) {
    return out << "function " << row.function << " " << (row.method ? row.method : "-") << " parms 0x"
               << std::hex << row.parms << std::dec << " data \"" << row.data.substr(0, 16) << "\"";
}

const jlong kHigh = jlong{3} << 32;  // plain results read only the low 32 bits
const std::uint32_t kEabPut = parms::kPutEab | parms::kEab;
const std::string kOpen(kDataSize, 'x');  // Data without an end character

const HandlerRow kHandlerRows[] = {
    {HA_CONNECT_PS, "SendToFront", "()J", 0xFFFFFFFF, 0, "", 0, 0, -1, 0, "", {}},
    {HA_RESERVE, "Reserve", "()J", kHigh | 5, 0, "", 0, 0, 5, 0, "", {}},
    {HA_RELEASE, "Release", "()J", kHigh | 6, 0, "", 0, 0, 6, 0, "", {}},
    {HA_COPY_OIA, "CopyOIA", "()J", kHigh | 7, 0, "", 0, 0, 7, 0, "", {}},
    {HA_QUERY_SESSION_STATUS, "QuerySessionStatus", "()J", kHigh | 1, 0, "", 0, 0, 1, 0, "", {}},
    {HA_START_CLOSE_INTERCEPT, "StartCloseIntercept", "()J", kHigh | 2, 0, "", 0, 0, 2, 0, "", {}},
    {HA_STOP_CLOSE_INTERCEPT, "StopCloseIntercept", "()J", kHigh | 3, 0, "", 0, 0, 3, 0, "", {}},
    {HA_START_KEY_INTERCEPT, "StartKeystrokeIntercept", "()J", kHigh | 4, 0, "", 0, 0, 4, 0, "", {}},
    {HA_STOP_KEY_INTERCEPT, "StopKeystrokeIntercept", "()J", kHigh | 8, 0, "", 0, 0, 8, 0, "", {}},
    {HA_QUERY_CURSOR_LOC, "QueryCursorLocation", "()J", Packed(7), 0, "", 1, 0, 0, 7, "", {}},
    {HA_QUERY_CURSOR_LOC, "QueryCursorLocation", "()J", Packed(99, 2), 0, "", 1234, 0, 2, 1234, "", {}},
    // Copy PS to String starts at the caller's position, for DataLength.
    {HA_COPY_PS_TO_STR, "CopyPS", "(IIIZI)J", 0, parms::kEab, "", 40, 81, 0, 40, "", {81, 40, 3, 1, 1}},
    {HA_SEARCH_PS, "SearchPS", "([BIIZ)J", Packed(321), parms::kStrEot, "ABC;DEF", 7, 50, 0, 321, "ABC", {1, 0, 1}},
    // SRCHBKWD alone changes nothing; a zero byte ends the string.
    {HA_SEARCH_PS, "SearchPS", "([BIIZ)J", Packed(321), parms::kSrchBkwd, "AB;D\0F"s, 6, 50, 0, 321, "AB;D",
     {1, 0, 1}},
    {HA_SEARCH_PS, "SearchPS", "([BIIZ)J", Packed(321), parms::kSrchFrom | parms::kSrchBkwd, "ABCD", 2, 50, 0, 321,
     "AB", {50, 1, 0}},
    {HA_SEARCH_PS, "SearchPS", "([BIIZ)J", Packed(321, 24), 0, "ABCD", 4, 50, 24, 4, "ABCD", {1, 0, 1}},
    {HA_COPY_STR_TO_PS, "CopyStringToPS", "([BI)J", 0, parms::kStrEot, "ABC;XYZ", 99, 81, 0, 99, "ABC", {81}},
    // Copy String to PS sends every byte; the field's string ends at a zero.
    {HA_COPY_STR_TO_PS, "CopyStringToPS", "([BI)J", 0, 0, "AB\0D"s, 4, 1, 0, 4, "AB\0D"s, {1}},
    {HA_COPY_STR_TO_FIELD, "CopyStringToField", "([BI)J", 0, 0, "AB\0D"s, 4, 1, 0, 4, "AB", {1}},
    // PUTEAB with EAB: every second byte is an extended attribute.
    {HA_COPY_STR_TO_FIELD, "CopyStringToField", "([BI)J", kHigh | 6, kEabPut, "AxByCz", 3, 500, 6, 3, "ABC", {500}},
    {HA_COPY_STR_TO_FIELD, "CopyStringToField", "([BI)J", 0, parms::kPutEab, "AxByCz", 3, 500, 0, 3, "AxB", {500}},
    // Ints: position, backward, whole field. Searches take every byte.
    {HA_SEARCH_FIELD, "SearchField", "([BIIZ)J", Packed(321), 0, "AbCd", 4, 90, 0, 321, "AbCd", {90, 0, 1}},
    {HA_SEARCH_FIELD, "SearchField", "([BIIZ)J", Packed(321), parms::kSrchBkwd, "AbCd", 4, 90, 0, 321, "AbCd",
     {90, 0, 1}},
    {HA_SEARCH_FIELD, "SearchField", "([BIIZ)J", Packed(321), parms::kSrchFrom, "AbCd", 4, 90, 0, 321, "AbCd",
     {90, 0, 0}},
    {HA_SEARCH_FIELD, "SearchField", "([BIIZ)J", Packed(321), parms::kSrchFrom | parms::kSrchBkwd, "AbCd", 4, 90, 0,
     321, "AbCd", {90, 1, 0}},
    {HA_SEARCH_FIELD, "SearchField", "([BIIZ)J", Packed(321), kEabPut, "AbCd", 4, 90, 0, 321, "AbCd", {90, 0, 1}},
    // A field without positions: 28, and where it starts all the same.
    {HA_FIND_FIELD_POS, "FindFieldPosition", "(Ljava/lang/String;I)J", Packed(161, 28), 0, "NU\0\0"s, 4, 200, 28,
     161, "NU", {200}},
    {HA_FIND_FIELD_POS, "FindFieldPosition", "(Ljava/lang/String;I)J", Packed(7, 2), 0, "", 4, 200, 2, 4, "", {200}},
    {HA_FIND_FIELD_LEN, "FindFieldLength", "(Ljava/lang/String;I)J", Packed(0, 28), 0, "P ", 4, 200, 28, 4, "P ",
     {200}},
    // Only the request's two bytes count.
    {HA_FIND_FIELD_LEN, "FindFieldLength", "(Ljava/lang/String;I)J", Packed(12), 0, "T\xff moretext", 4, 200, 0,
     12, "T?", {200}},
    {HA_SET_CURSOR, "SetCursor", "(I)J", kHigh | 7, 0, "", 1, 1920, 7, 1, "", {1920}},
    {HA_QUERY_FIELD_ATTR, "QueryFieldAttribute", "(I)J", Packed(0xE0), 0, "", 1, 85, 0, 0xE0, "", {85}},
    // Convert Position answers the column and puts the row in DataLength.
    {HA_CONVERT_POS_ROW_COL, "ConvertPos", "(I)J", Packed(3) | 41, 0, "A\0\0\0P"s, 0, 201, 41, 3, "", {201}},
    {HA_CONVERT_POS_ROW_COL, "ConvertRowCol", "(II)J", 201, 0, "A\0\0\0r"s, 3, 41, 201, 3, "", {3, 41}},
    {HA_CONVERT_POS_ROW_COL, "ConvertRowCol", "(II)J", 0xFFFFFFFF, 0, "A\0\0\0R"s, 30, 90, 0, 0, "", {30, 90}},
    {HA_CONVERT_POS_ROW_COL, nullptr, "", 0, 0, "A\0\0\0X"s, 3, 41, 9999, 3, "", {}},
    // Strings are taken within Data: STREOT without its end character in
    // Data, or a string (with its attribute bytes) running past it, answers
    // 2 without a Java call; the largest strings that fit are sent whole.
    {HA_COPY_STR_TO_PS, nullptr, "", 0, parms::kStrEot, kOpen, 3, 1, 2, 3, "", {}},
    {HA_SEARCH_FIELD, nullptr, "", 0, parms::kStrEot, kOpen, 3, 1, 2, 3, "", {}},
    {HA_SEARCH_PS, nullptr, "", 0, parms::kStrEot, kOpen, 3, 1, 2, 3, "", {}},
    {HA_COPY_STR_TO_FIELD, nullptr, "", 0, kEabPut, "", kDataSize / 2 + 1, 1, 2, kDataSize / 2 + 1, "", {}},
    {HA_COPY_STR_TO_PS, nullptr, "", 0, 0, "", 0xFFFFFFFFu, 1, 2, 0xFFFFFFFFu, "", {}},
    {HA_COPY_STR_TO_FIELD, "CopyStringToField", "([BI)J", 0, kEabPut, kOpen, kDataSize / 2, 1, 0, kDataSize / 2,
     std::string(kDataSize / 2, 'x'), {1}},
    {HA_COPY_STR_TO_PS, "CopyStringToPS", "([BI)J", 0, 0, kOpen, kDataSize, 1, 0, kDataSize, kOpen, {1}},
    // A macro's name ends at a zero or at DataLength; the low bits answer.
    {HA_START_PLAYING_MACRO, "StartMacro", "([B)J", Packed(5), 0, "SIGNON\0junk"s, 11, 0, 0, 11, "SIGNON", {}},
    {HA_START_PLAYING_MACRO, "StartMacro", "([B)J", Packed(5, 2), 0, "SIGNON"s, 3, 0, 2, 3, "SIG", {}},
};

class HandlerRowTest : public SessionTest, public testing::WithParamInterface<HandlerRow> {};

TEST_P(HandlerRowTest, OneJavaCallAndItsResult) {
    const HandlerRow& row = GetParam();
    auto request = [&]() -> ApplicationBlock& {
        ApplicationBlock& block = Block(row.parms, row.dataLength, row.position);
        std::memcpy(block.Data, row.data.data(), row.data.size());
        return block;
    };
    if (row.method != nullptr) {
        // Without the method: 9 and no pending exception; a conversion must
        // not read as a position, so it answers 0 with DataLength 0.
        const bool conversion = row.function == HA_CONVERT_POS_ROW_COL;
        ApplicationBlock& block = request();
        EXPECT_EQ(Run(block, row.function), conversion ? 0 : kJavaCallFailed);
        EXPECT_EQ(block.DataLength, conversion ? 0u : row.dataLength);
        EXPECT_FALSE(jvm().exceptionPending());
        Record(row.method, row.signature, row.answer);
    }
    const int localsBefore = jvm().liveLocalRefsOnThread(platform::CurrentThreadId());
    ApplicationBlock& block = request();
    EXPECT_EQ(Run(block, row.function), row.returnCode);
    EXPECT_EQ(block.DataLength, row.dataLengthAfter);
    if (row.method == nullptr) {
        EXPECT_TRUE(calls_.empty());
        return;
    }
    ASSERT_EQ(calls_[row.method].size(), 1u);
    EXPECT_EQ(calls_[row.method][0].text, row.text);
    EXPECT_EQ(calls_[row.method][0].ints, row.ints);
    EXPECT_EQ(jvm().liveLocalRefsOnThread(platform::CurrentThreadId()), localsBefore);
}

INSTANTIATE_TEST_SUITE_P(Handlers, HandlerRowTest, testing::ValuesIn(kHandlerRows));

TEST_F(DispatchTest, FunctionsWithoutHandlerAnswer10WithoutJava) {
    Record("GetPSSize", "()J", kScreenSizePacked);
    for (std::uint32_t function : {0u, 2u, 4u, 9u, 18u, 200u}) {
        EXPECT_EQ(Run(Block(), function), kNoHandlerCode) << function;
    }
    EXPECT_EQ(jvm().callsOf("GetPSSize"), 0);
}

// The copies of the presentation space and of a field: what length they ask
// the emulator for (the screen's or field's size, doubled by EAB and again by
// XLATE with it, and for Copy PS by STREOT) and give back in DataLength.
TEST_F(DispatchTest, CopiesSizeTheRequestByTheSessionParameters) {
    Record("GetPSSize", "()J", kScreenSizePacked);
    Record("CopyPS", "(IIIZI)J", 6);
    Record("FindFieldLength", "(Ljava/lang/String;I)J", Packed(10));
    Record("CopyFieldToString", "(IIIZI)J", 6);
    struct Case {
        std::uint32_t function;
        std::uint32_t parms;
        std::uint32_t dataLength;
        std::uint32_t after;
        jint copyLength;
        jint eabMode;
    } cases[] = {{HA_COPY_PS, 0, 1, 1920, 1920, 0},
                 {HA_COPY_PS, parms::kEab, 1, 3840, 3840, 1},
                 {HA_COPY_PS, parms::kStrEot, 1, 5760, 5760, 0},
                 {HA_COPY_PS, parms::kEab | parms::kStrEot | parms::kXlate, 1, 7680, 7680, 2},
                 {HA_COPY_FIELD_TO_STR, 0, 50, 10, 50, 0},
                 {HA_COPY_FIELD_TO_STR, parms::kEab, 50, 20, 50, 1},
                 {HA_COPY_FIELD_TO_STR, parms::kEab, 8, 8, 8, 1},
                 {HA_COPY_FIELD_TO_STR, parms::kEab | parms::kXlate | parms::kStrEot, 100, 40, 100, 2},
                 {HA_COPY_FIELD_TO_STR, parms::kXlate, 50, 10, 50, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE("function " + std::to_string(c.function) + " parms " + std::to_string(c.parms));
        calls_.clear();
        ApplicationBlock& block = Block(c.parms | parms::kNoDisplay, c.dataLength, 300);
        EXPECT_EQ(Run(block, c.function), 6);
        EXPECT_EQ(block.DataLength, c.after);
        const bool field = c.function == HA_COPY_FIELD_TO_STR;
        ASSERT_EQ(calls_.size(), 2u) << "the size, then the copy";
        const std::vector<RecordedCall>& copies = calls_[field ? "CopyFieldToString" : "CopyPS"];
        ASSERT_EQ(copies.size(), 1u);
        EXPECT_EQ(copies[0].ints, (std::vector<jint>{field ? 300 : 1, c.copyLength, 3, 0, c.eabMode}));
        if (field) {
            EXPECT_EQ(calls_["FindFieldLength"][0].text, "  ");
            EXPECT_EQ(calls_["FindFieldLength"][0].ints, std::vector<jint>{300});
        }
    }
    EXPECT_EQ(jvm().lookupsOf("GetPSSize"), 1) << "one method lookup for all the calls";
    EXPECT_EQ(jvm().lookupsOf("CopyFieldToString"), 1);
    // A failing size: its code, and no copy. No field: the length becomes 0
    // and the copy still answers.
    calls_.clear();
    Record("GetPSSize", "()J", kScreenSizePacked | 2);
    Record("FindFieldLength", "(Ljava/lang/String;I)J", Packed(10, 24));
    Record("CopyFieldToString", "(IIIZI)J", 24);
    ApplicationBlock& block = Block(0, 77);
    EXPECT_EQ(Run(block, HA_COPY_PS), 2);
    EXPECT_EQ(block.DataLength, 77u);
    EXPECT_EQ(calls_.count("CopyPS"), 0u);
    ApplicationBlock& none = Block(0, 50, 300);
    EXPECT_EQ(Run(none, HA_COPY_FIELD_TO_STR), 24);
    EXPECT_EQ(none.DataLength, 0u);
    EXPECT_EQ(calls_["CopyFieldToString"].back().ints[3], 1);  // display
}

// The entry's other fields are the end-to-end emulator test's.
TEST_F(DispatchTest, QuerySessionSizesTheEntryByTheSessionParameters) {
    Record("GetPSSize", "()J", Packed(3000));
    // Rows of 25, 28, 33 and 44 lose their status line; both NOCFGSIZE and
    // EXTENDPS take the whole presentation space.
    struct Case {
        std::int32_t rows, columns;
        std::uint32_t parms;
        std::uint16_t size;
    } cases[] = {{25, 80, 0, 1920}, {27, 132, 0, 3564}, {25, 80, parms::kNoCfgSize, 1920},
                 {27, 132, parms::kNoCfgSize | parms::kExtendPS, 3000}};
    for (const Case& c : cases) {
        Record("GetPSSizeRows", "()J", Packed(c.rows));
        Record("GetPSSizeCols", "()J", Packed(c.columns));
        ApplicationBlock& block = Block(c.parms, 16);
        EXPECT_EQ(Run(block, HA_QUERY_SESSIONS), 0);
        EXPECT_EQ(block.DataLength, 16u);
        QuerySessionsEntry entry;
        std::memcpy(&entry, block.Data, sizeof entry);
        EXPECT_EQ(entry.PSSize, c.size) << c.rows << "x" << c.columns;
    }
    Record("GetPSSize", "()J", 2);
    ApplicationBlock& failing = Block(parms::kNoCfgSize | parms::kExtendPS, 16);
    std::memset(failing.Data, 0x55, 16);
    EXPECT_EQ(Run(failing, HA_QUERY_SESSIONS), 2);
    EXPECT_EQ(failing.Data[0], 0x55);
}

TEST_F(DispatchTest, JavaFailuresAnswer9AndLeaveNothingPending) {
    Define(bridge_, "GetPSSize", "()J", [this](JNIEnv*, jobject, const jvalue*) {
        jvm().Throw("java/lang/IllegalStateException", "screen not ready");
        return JLong(0);
    });
    EXPECT_EQ(Run(Block(0, 10), HA_COPY_PS), kJavaCallFailed);
    EXPECT_FALSE(jvm().exceptionPending());
    EXPECT_EQ(jvm().exceptionsCleared(), 1);
    EXPECT_EQ(Run(Block(), HA_COPY_FIELD_TO_STR), kJavaCallFailed);

    // A session this process has no emulator object for.
    ApplicationBlock& block = Block();
    block.Function = HA_RELEASE;
    ProcessEHLLAPICall(block, Sessions()->GetSession('G'));
    EXPECT_EQ(block.ReturnCode, static_cast<std::uint32_t>(kJavaCallFailed));
}

TEST_F(DispatchTest, HandlersAttachOnlyThreadsThatWereNotAttached) {
    Record("Reserve", "()J", 0);
    const int detaches = jvm().detaches();
    EXPECT_EQ(Run(Block(), HA_RESERVE), 0);

    // A thread that was not attached is attached for the call and detached
    // after it; without a virtual machine nothing is called.
    const int attaches = jvm().attaches();
    for (bool withVm : {true, false}) {
        if (!withVm) SetEmulatorJavaVM(nullptr);
        std::int32_t result = -1;
        bool attachedAfter = true;
        std::thread([&] {
            result = Run(Block(), HA_RESERVE);
            attachedAfter = jvm().IsCurrentThreadAttached();
        }).join();
        EXPECT_EQ(result, withVm ? 0 : kJavaCallFailed);
        EXPECT_FALSE(attachedAfter);
    }
    EXPECT_EQ(jvm().callsOf("Reserve"), 2);
    EXPECT_EQ(jvm().attaches(), attaches + 1);
    EXPECT_EQ(jvm().detaches(), detaches + 1);
    EXPECT_EQ(jvm().daemonAttaches(), 1);  // the session's service thread only
}

}  // namespace
}  // namespace trv::test
