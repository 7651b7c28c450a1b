// The 16-bit parameter conversion against a recording 32-bit entry: what
// the entry receives and what the caller gets back, byte for byte.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "compat/conversion.h"
#include "support/guarded_buffer.h"
#include "trvha64.h"

namespace trv::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using compat::ConvertedCall;

// A byte string of `size` bytes of `fill` with pieces written at offsets.
struct Piece {
    std::size_t at;
    Bytes bytes;
};
Bytes Make(std::size_t size, std::vector<Piece> pieces, std::uint8_t fill = 0) {
    Bytes bytes(size, fill);
    for (const Piece& piece : pieces) std::copy(piece.bytes.begin(), piece.bytes.end(), bytes.begin() + piece.at);
    return bytes;
}
Bytes Text(const char* text) { return Bytes(text, text + std::strlen(text)); }
Bytes U16(std::uint16_t value) { return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)}; }
Bytes U32(std::uint32_t value) { return Make(4, {{0, U16(value & 0xFFFF)}, {2, U16(value >> 16)}}); }

// The 32-bit entry of the tests: keeps what it was handed and answers as
// scripted.
struct Recorder {
    std::int32_t function = 0;  // 0: not called
    Bytes seen;
    Bytes reply;  // written over the converted string
    std::int32_t replyLength = -1;  // -1: leave the length
};
Recorder g_recorder;

std::int32_t RecordingEntry(std::int32_t* function, char* data, std::int32_t* length, std::int32_t* returnCode) {
    g_recorder.function = *function;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
    g_recorder.seen = bytes != nullptr ? Bytes(bytes, bytes + *length) : Bytes{};
    if (data != nullptr) std::memcpy(data, g_recorder.reply.data(), g_recorder.reply.size());
    if (g_recorder.replyLength >= 0) *length = g_recorder.replyLength;
    *returnCode = 0;
    return 0;
}

struct Shape {
    const char* name;
    std::uint16_t function;
    Bytes callerIn;           // the caller's buffer; its size is the length word
    Bytes converted;          // what the entry must see, all of it, and its length
    Bytes reply;
    std::int32_t replyLength;
    Bytes callerOut;          // the caller's buffer afterwards
    std::uint16_t lengthOut;
};

constexpr std::uint8_t kFill = 0xEE;  // caller bytes the conversion must not touch

std::vector<Shape> Shapes() {
    std::vector<Shape> shapes;
    // A session letter alone: 1 (and 24, 25, 42, 43, 53, 101 alike).
    shapes.push_back({"PlainLetter", HA_CONNECT_PS, Text("B"), Make(4, {{0, Text("B")}}), {}, -1, Text("B"), 1});
    // Query Sessions: two entries and a remainder of 5 bytes.
    const Bytes listed = Make(37, {{0, Text("A")}, {4, Text("NAMEASSN")}, {12, Text("H")}, {13, Text("z")},
                                   {14, U16(0x0780)}, {16, Text("C")}, {20, Text("NAMECSSN")}, {28, Text("P")},
                                   {30, U16(0x0F00)}});
    const Bytes listed16 =
        Make(29, {{0, Text("ANAMEASSNH")}, {10, U16(0x0780)}, {12, Text("CNAMECSSNP")}, {22, U16(0x0F00)}}, kFill);
    shapes.push_back({"QuerySessions", HA_QUERY_SESSIONS, Make(29, {}, kFill), Bytes(37, 0), listed, 2, listed16, 2});
    Bytes oia(104);
    for (int i = 0; i < 104; ++i) oia[i] = static_cast<std::uint8_t>(i + 1);
    shapes.push_back({"CopyOia", HA_COPY_OIA, Make(103, {}, kFill), Bytes(104, 0), oia, -1,
                      Bytes(oia.begin(), oia.begin() + 103), 103});
    shapes.push_back({"QuerySessionStatus", HA_QUERY_SESSION_STATUS, Make(18, {{0, Text("A")}}, kFill),
                      Make(20, {{0, Text("A")}}),
                      Make(20, {{4, Text("SESSNAME")}, {12, Text("DX")}, {14, U16(24)}, {16, U16(80)},
                                {18, U16(1252)}}), -1,
                      Make(18, {{0, Text("ASESSNAMEDX")}, {11, U16(24)}, {13, U16(80)}, {15, U16(1252)}}, kFill), 18});
    shapes.push_back({"HostNotificationMessageForm", HA_START_HOST_NOTIFY,
                      Make(7, {{0, Text("AM")}, {2, U16(0x1234)}, {6, Text("B")}}, kFill),
                      Make(24, {{0, Text("A")}, {4, Text("M")}, {8, U16(0x1234)}, {16, Text("B")}}),
                      Make(10, {{8, U16(0x002E)}}), -1,
                      Make(7, {{0, Text("AM")}, {2, U16(0x002E)}, {6, Text("B")}}, kFill), 7});
    shapes.push_back({"CloseInterceptMessageForm", HA_START_CLOSE_INTERCEPT,
                      Make(8, {{0, Text("A")}, {2, U16(0x4321)}, {6, Text("M")}}, kFill),
                      Make(16, {{0, Text("A")}, {4, Text("M")}, {8, U16(0x4321)}}), Make(10, {{8, U16(0x002F)}}), -1,
                      Make(8, {{0, Text("A")}, {2, U16(0x002F)}, {6, Text("M")}}, kFill), 8});
    shapes.push_back({"KeyInterceptMessageForm", HA_START_KEY_INTERCEPT,
                      Make(7, {{0, Text("AM")}, {2, U16(0x0101)}, {6, Text("L")}}, kFill),
                      Make(7, {{0, Text("A")}, {4, Text("M")}}),
                      Make(10, {{0, Text("A")}, {4, Text("M")}, {8, U16(0x0030)}}), -1,
                      Make(7, {{0, Text("AM")}, {2, U16(0x0030)}, {6, Text("L")}}, kFill), 7});
    shapes.push_back({"GetKey", HA_GET_KEY, Make(8, {{0, Text("A")}}, kFill), Make(12, {{0, Text("A")}}),
                      Make(12, {{4, Text("S@E@A12")}}), -1, Text("AS@E@A12"), 8});
    // Window status, set form: the signed 16-bit coordinates widen to 32.
    shapes.push_back({"WindowStatus", HA_PM_WINDOW_STATUS,
                      Make(16, {{0, Text("A")}, {1, {1}}, {2, U16(8)}, {4, U16(static_cast<std::uint16_t>(-5))},
                                {6, U16(10)}, {8, U16(static_cast<std::uint16_t>(-300))}, {10, U16(400)},
                                {12, U32(0xDEADBEEF)}}),
                      Make(28, {{0, Text("A")}, {4, {1}}, {6, U16(8)}, {8, U32(static_cast<std::uint32_t>(-5))},
                                {12, U32(10)}, {16, U32(static_cast<std::uint32_t>(-300))}, {20, U32(400)},
                                {24, U32(0xDEADBEEF)}}),
                      Make(28, {{0, Text("A")}, {4, {1}}, {6, U16(0x10)}, {8, U32(70000)}, {12, U32(2)}, {16, U32(3)},
                                {20, U32(4)}, {24, U32(0x01020304)}}),
                      -1,
                      Make(16, {{0, Text("A")}, {1, {1}}, {2, U16(0x10)}, {4, U16(70000 & 0xFFFF)}, {6, U16(2)},
                                {8, U16(3)}, {10, U16(4)}, {12, U32(0x01020304)}}),
                      16});
    shapes.push_back({"WindowStatusExtended", HA_PM_WINDOW_STATUS, Make(18, {{0, Text("A")}, {1, {3}}}, kFill),
                      Make(32, {{0, Text("A")}, {4, {3}}}),
                      Make(32, {{6, Text("abcdefghijklmn")}, {24, U16(0xBEEF)}, {26, U16(0x1111)}}), -1,
                      Make(18, {{0, Text("A")}, {1, {3}}, {2, Text("abcdefghijklmn")}, {16, U16(0xBEEF)}}), 18});
    shapes.push_back({"ChangeWindowName", HA_CHANGE_WINDOW_NAME, Make(13, {{0, Text("Ax")}, {2, Text("New Title")}}),
                      Make(68, {{0, Text("A")}, {4, Text("xNew Title")}}), {}, -1,
                      Make(13, {{0, Text("Ax")}, {2, Text("New Title")}}), 13});
    shapes.push_back({"Function120", 120,
                      Make(32, {{0, Text("A")}, {1, Text("zzz")}, {8, Text("HANDLE!!")}, {16, U16(0x3344)},
                                {24, Text("12345678")}}),
                      Make(32, {{0, Text("A")}, {8, Text("HANDLE!!")}, {16, U16(0x3344)}, {24, Text("12345678")}}),
                      Make(18, {{16, U16(0x5566)}}), -1,
                      Make(32, {{0, Text("A")}, {1, Text("zzz")}, {8, Text("HANDLE!!")}, {16, U16(0x5566)},
                                {24, Text("12345678")}}),
                      32});
    shapes.push_back({"Function121", 121, Make(4, {{0, Text("A")}, {2, U16(0x7788)}}),
                      Make(8, {{0, Text("A")}, {4, U16(0x7788)}}), {}, -1,
                      Make(4, {{0, Text("A")}, {2, U16(0x7788)}}), 4});
    shapes.push_back({"Function122", 122, Make(10, {{0, Text("A")}}, kFill), Make(20, {{0, Text("A")}}),
                      Make(20, {{4, U32(0xA0001)}, {8, U32(0xB0002)}, {12, U32(0xC0003)}, {16, U32(0xD0004)}}), -1,
                      Make(10, {{0, Text("A")}, {1, {kFill}}, {2, U16(1)}, {4, U16(2)}, {6, U16(3)}, {8, U16(4)}}),
                      10});
    // A function without a converter works on the caller's own string.
    shapes.push_back({"Unconverted", HA_COPY_PS, Make(6, {{0, Text("ABCDEF")}}), Make(6, {{0, Text("ABCDEF")}}),
                      Text("xyz"), 3, Make(6, {{0, Text("xyzDEF")}}), 3});
    return shapes;
}

class ShapeTest : public testing::TestWithParam<Shape> {};

TEST_P(ShapeTest, EntryGetsTheConvertedLayoutAndTheCallerTheRepliesInItsOwn) {
    const Shape& shape = GetParam();
    g_recorder = Recorder{};
    g_recorder.reply = shape.reply;
    g_recorder.replyLength = shape.replyLength;
    // A read or write past the caller's length faults.
    GuardedBuffer caller(shape.callerIn.size());
    std::copy(shape.callerIn.begin(), shape.callerIn.end(), caller.data());
    std::uint16_t function = shape.function;
    std::uint16_t length = static_cast<std::uint16_t>(shape.callerIn.size());
    std::uint16_t returnCode = 0;
    EXPECT_EQ(ConvertedCall(RecordingEntry, &function, caller.data(), &length, &returnCode), 0);
    EXPECT_EQ(g_recorder.function, shape.function);
    EXPECT_EQ(g_recorder.seen, shape.converted);
    EXPECT_EQ(Bytes(caller.data(), caller.data() + shape.callerIn.size()), shape.callerOut);
    EXPECT_EQ(length, shape.lengthOut);
}

INSTANTIATE_TEST_SUITE_P(Shapes, ShapeTest, testing::ValuesIn(Shapes()),
                         [](const testing::TestParamInfo<Shape>& info) { return std::string(info.param.name); });

// One byte less leaves the caller's string alone; the minimum reaches the entry.
TEST(ConversionTest, LengthsBelowTheMinimumAnswer2WithoutACall) {
    struct Row {
        std::uint16_t function;
        std::uint16_t minimum;
        std::uint8_t option;  // caller byte 1
    };
    const Row rows[] = {{13, 103, 0},  {17, 8, 0},  {20, 33, 0},  {22, 18, 0},  {23, 7, 0},   {41, 7, 0},
                        {50, 7, 0},    {51, 8, 0},  {52, 2, 0},   {60, 3, 0},   {61, 3, 0},   {102, 1, 0},
                        {103, 20, 0},  {104, 16, 1}, {104, 18, 3}, {105, 2, 0}, {120, 32, 0}, {121, 4, 0},
                        {122, 10, 0},  {123, 16, 0}, {124, 16, 0}, {125, 24, 0}, {126, 20, 0}};
    for (const Row& row : rows) {
        for (std::uint16_t given : {static_cast<std::uint16_t>(row.minimum - 1), row.minimum}) {
            g_recorder = Recorder{};
            Bytes caller(128, kFill);
            caller[0] = 'A';
            caller[1] = row.option != 0 ? row.option : 'P';
            const Bytes before = caller;
            std::uint16_t function = row.function;
            std::uint16_t length = given;
            std::uint16_t returnCode = 77;
            const std::int32_t result = ConvertedCall(RecordingEntry, &function, caller.data(), &length, &returnCode);
            if (given < row.minimum) {
                EXPECT_EQ(result, HLLAPI_RC_BAD_PARAMETER) << row.function << " length " << given;
                EXPECT_EQ(returnCode, HLLAPI_RC_BAD_PARAMETER) << row.function;
                EXPECT_EQ(g_recorder.function, 0) << row.function;
                EXPECT_EQ(caller, before) << row.function;
            } else {
                EXPECT_EQ(g_recorder.function, row.function) << " length " << given;
            }
        }
    }
}

TEST(ConversionTest, MissingPointersAnswerWithoutACall) {
    g_recorder = Recorder{};
    std::uint8_t data[8] = {'A'};
    std::uint16_t function = HA_CONNECT_PS;
    std::uint16_t length = 1;
    std::uint16_t returnCode = 5;
    EXPECT_EQ(ConvertedCall(RecordingEntry, &function, data, &length, nullptr), HLLAPI_RC_BAD_PARAMETER);
    EXPECT_EQ(ConvertedCall(RecordingEntry, nullptr, data, &length, &returnCode), HLLAPI_RC_SYSTEM_ERROR);
    EXPECT_EQ(returnCode, HLLAPI_RC_SYSTEM_ERROR);
    returnCode = 5;
    EXPECT_EQ(ConvertedCall(RecordingEntry, &function, data, nullptr, &returnCode), HLLAPI_RC_SYSTEM_ERROR);
    EXPECT_EQ(returnCode, HLLAPI_RC_SYSTEM_ERROR);
    // A converter that reads the caller's string needs one.
    for (std::uint16_t fn : {HA_CONNECT_PS, HA_QUERY_SESSIONS, HA_COPY_OIA, HA_CONVERT_POS_ROW_COL}) {
        function = fn;
        length = 120;
        EXPECT_EQ(ConvertedCall(RecordingEntry, &function, nullptr, &length, &returnCode), HLLAPI_RC_BAD_PARAMETER)
            << fn;
    }
    EXPECT_EQ(g_recorder.function, 0);
}

}  // namespace
}  // namespace trv::test
