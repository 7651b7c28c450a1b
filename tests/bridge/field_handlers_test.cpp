// The field, cursor, intercept and conversion handlers: the arguments the
// fake emulator's methods receive, how their packed and plain results become
// the return code and DataLength, and that strings are taken within Data.
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bridge/dispatch.h"
#include "bridge/bridge_call.h"
#include "tables/session_parms.h"
#include "bridge_fixture.h"
#include "platform/thread.h"
#include "tables/application_block.h"
#include "tables/session_list.h"

namespace trv::test {
namespace {

// One recorded call: the byte-array or string argument as text, and the
// other arguments as ints (booleans as 0 or 1).
struct Call {
    std::string text;
    std::vector<jint> ints;
};

class FieldHandlerTest : public BridgeTest {
public:
    void SetUp() override {
        BridgeTest::SetUp();
        bridge_ = NewBridge('H');
        Register(bridge_);
        ASSERT_TRUE(Eventually([this] { return jvm().daemonAttaches() == 1; }));
    }

    ApplicationBlock& Block(std::uint32_t parms = 0, std::uint32_t dataLength = 0, std::int32_t position = 0) {
        ApplicationBlock& block = ServedBlock('H');
        std::memset(block.Data, 0, kDataSize);
        block.SessionParms = parms;
        block.DataLength = dataLength;
        block.ReturnCode = static_cast<std::uint32_t>(position);
        block.AttrMode = 0;
        block.EotChar = 0;
        return block;
    }

    std::int32_t Run(ApplicationBlock& block, std::uint32_t function) {
        block.Function = function;
        ProcessEHLLAPICall(block, Sessions()->GetSession('H'));
        return static_cast<std::int32_t>(block.ReturnCode);
    }

    // Records the calls of a method; `kinds` gives each argument's type by
    // its signature letter ('[' a byte array, 'L' a string, 'I', 'Z').
    void Record(const std::string& name, const std::string& signature, const std::string& kinds, jlong result) {
        Define(bridge_, name, signature, [this, name, kinds, result](JNIEnv*, jobject, const jvalue* args) {
            Call call;
            for (std::size_t i = 0; i < kinds.size(); ++i) {
                if (kinds[i] == '[') {
                    const auto bytes = jvm().BytesOf(static_cast<jbyteArray>(args[i].l));
                    call.text.assign(bytes.begin(), bytes.end());
                } else if (kinds[i] == 'L') {
                    call.text = jvm().Utf8Of(static_cast<jstring>(args[i].l));
                } else if (kinds[i] == 'Z') {
                    call.ints.push_back(args[i].z);
                } else {
                    call.ints.push_back(args[i].i);
                }
            }
            calls_[name].push_back(call);
            return JLong(result);
        });
    }

    jobject bridge_ = nullptr;
    std::map<std::string, std::vector<Call>> calls_;
};

constexpr jlong Packed(std::int32_t value, std::int32_t code = 0) {
    return (static_cast<jlong>(value) << 16) | code;
}

TEST_F(FieldHandlerTest, StringsToThePresentationSpaceAndFields) {
    Record("CopyStringToPS", "([BI)J", "[I", 0);
    Record("CopyStringToField", "([BI)J", "[I", (jlong{1} << 32) | 6);

    ApplicationBlock& eot = Block(parms::kStrEot, 99, 81);
    std::memcpy(eot.Data, "ABC;XYZ", 7);
    eot.EotChar = ';';
    EXPECT_EQ(Run(eot, 15), 0);
    ASSERT_EQ(calls_["CopyStringToPS"].size(), 1u);
    EXPECT_EQ(calls_["CopyStringToPS"][0].text, "ABC");
    EXPECT_EQ(calls_["CopyStringToPS"][0].ints, std::vector<jint>{81});

    // PUTEAB with EAB: every second byte is an extended attribute.
    ApplicationBlock& eab = Block(parms::kPutEab | parms::kEab, 3, 500);
    std::memcpy(eab.Data, "AxByCz", 6);
    EXPECT_EQ(Run(eab, 33), 6);  // plain: low 32 bits
    EXPECT_EQ(calls_["CopyStringToField"][0].text, "ABC");
    EXPECT_EQ(calls_["CopyStringToField"][0].ints, std::vector<jint>{500});
    // PUTEAB alone takes every byte.
    ApplicationBlock& put = Block(parms::kPutEab, 3, 500);
    std::memcpy(put.Data, "AxByCz", 6);
    Run(put, 33);
    EXPECT_EQ(calls_["CopyStringToField"][1].text, "AxB");

    // A zero byte ends the field's string; Copy String to PS sends all bytes.
    ApplicationBlock& zero = Block(0, 4, 1);
    std::memcpy(zero.Data, "AB\0D", 4);
    Run(zero, 33);
    EXPECT_EQ(calls_["CopyStringToField"][2].text, "AB");
    ApplicationBlock& zeroPS = Block(0, 4, 1);
    std::memcpy(zeroPS.Data, "AB\0D", 4);
    Run(zeroPS, 15);
    EXPECT_EQ(calls_["CopyStringToPS"][1].text, std::string("AB\0D", 4));
}

TEST_F(FieldHandlerTest, StringsAreTakenWithinData) {
    Record("CopyStringToPS", "([BI)J", "[I", 0);
    Record("CopyStringToField", "([BI)J", "[I", 0);
    Record("SearchField", "([BIIZ)J", "[IIZ", Packed(5));
    const int localsBefore = jvm().liveLocalRefsOnThread(platform::CurrentThreadId());

    ApplicationBlock& open = Block(parms::kStrEot, 3, 1);
    std::memset(open.Data, 'x', kDataSize);
    open.EotChar = ';';
    EXPECT_EQ(Run(open, 15), 2);
    EXPECT_EQ(Run(open, 30), 2);

    // Characters with attributes that would run past Data.
    ApplicationBlock& wide = Block(parms::kPutEab | parms::kEab, kDataSize / 2 + 1, 1);
    EXPECT_EQ(Run(wide, 33), 2);
    ApplicationBlock& huge = Block(0, 0xFFFFFFFFu, 1);
    EXPECT_EQ(Run(huge, 15), 2);
    EXPECT_TRUE(calls_.empty());

    // The largest strings that fit are sent whole.
    ApplicationBlock& half = Block(parms::kPutEab | parms::kEab, kDataSize / 2, 1);
    std::memset(half.Data, 'q', kDataSize);
    EXPECT_EQ(Run(half, 33), 0);
    EXPECT_EQ(calls_["CopyStringToField"][0].text, std::string(kDataSize / 2, 'q'));
    ApplicationBlock& full = Block(0, kDataSize, 1);
    std::memset(full.Data, 'r', kDataSize);
    EXPECT_EQ(Run(full, 15), 0);
    EXPECT_EQ(calls_["CopyStringToPS"][0].text.size(), kDataSize);
    EXPECT_EQ(jvm().liveLocalRefsOnThread(platform::CurrentThreadId()), localsBefore);
}

TEST_F(FieldHandlerTest, SearchFieldDirectionAndResult) {
    Record("SearchField", "([BIIZ)J", "[IIZ", Packed(321));
    struct Case {
        std::uint32_t parms;
        std::vector<jint> ints;  // position, backward, whole field
    } cases[] = {{0, {90, 0, 1}},
                 {parms::kSrchBkwd, {90, 0, 1}},
                 {parms::kSrchFrom, {90, 0, 0}},
                 {parms::kSrchFrom | parms::kSrchBkwd, {90, 1, 0}},
                 {parms::kPutEab | parms::kEab, {90, 0, 1}}};  // searches take every byte
    for (const Case& c : cases) {
        calls_.clear();
        ApplicationBlock& block = Block(c.parms, 4, 90);
        std::memcpy(block.Data, "AbCd", 4);
        EXPECT_EQ(Run(block, 30), 0);
        EXPECT_EQ(block.DataLength, 321u);
        ASSERT_EQ(calls_["SearchField"].size(), 1u);
        EXPECT_EQ(calls_["SearchField"][0].text, "AbCd");
        EXPECT_EQ(calls_["SearchField"][0].ints, c.ints) << c.parms;
    }
    Record("SearchField", "([BIIZ)J", "[IIZ", Packed(321, 24));
    ApplicationBlock& missing = Block(0, 4, 90);
    std::memcpy(missing.Data, "none", 4);
    EXPECT_EQ(Run(missing, 30), 24);
    EXPECT_EQ(missing.DataLength, 4u);
}

TEST_F(FieldHandlerTest, FindFieldPositionAndLength) {
    Record("FindFieldPosition", "(Ljava/lang/String;I)J", "LI", Packed(161, 28));
    Record("FindFieldLength", "(Ljava/lang/String;I)J", "LI", Packed(0, 28));
    ApplicationBlock& position = Block(0, 4, 200);
    std::memcpy(position.Data, "NU\0\0", 4);
    EXPECT_EQ(Run(position, 31), 28);
    EXPECT_EQ(position.DataLength, 161u);  // reported although the field has no positions
    EXPECT_EQ(calls_["FindFieldPosition"][0].text, "NU");
    EXPECT_EQ(calls_["FindFieldPosition"][0].ints, std::vector<jint>{200});

    ApplicationBlock& length = Block(0, 4, 200);
    std::memcpy(length.Data, "P ", 2);
    EXPECT_EQ(Run(length, 32), 28);
    EXPECT_EQ(length.DataLength, 4u);
    EXPECT_EQ(calls_["FindFieldLength"][0].text, "P ");

    Record("FindFieldLength", "(Ljava/lang/String;I)J", "LI", Packed(12));
    ApplicationBlock& found = Block(0, 4, 200);
    std::memcpy(found.Data, "T\xff moretext", 12);  // only the request's two bytes count
    EXPECT_EQ(Run(found, 32), 0);
    EXPECT_EQ(found.DataLength, 12u);
    EXPECT_EQ(calls_["FindFieldLength"][1].text, "T?");

    Record("FindFieldPosition", "(Ljava/lang/String;I)J", "LI", Packed(7, 2));
    ApplicationBlock& refused = Block(0, 4, 200);
    EXPECT_EQ(Run(refused, 31), 2);
    EXPECT_EQ(refused.DataLength, 4u);
}

TEST_F(FieldHandlerTest, CopyFieldToStringCapsTheLength) {
    Record("FindFieldLength", "(Ljava/lang/String;I)J", "LI", Packed(10));
    Record("CopyFieldToString", "(IIIZI)J", "IIIZI", 6);
    struct Case {
        std::uint32_t parms;
        std::uint32_t length;
        std::uint32_t capped;
        jint eabMode;
    } cases[] = {{0, 50, 10, 0},
                 {parms::kEab, 50, 20, 1},
                 {parms::kEab, 8, 8, 1},
                 {parms::kEab | parms::kXlate | parms::kStrEot, 100, 40, 2},
                 {parms::kXlate, 50, 10, 0}};
    for (const Case& c : cases) {
        calls_.clear();
        ApplicationBlock& block = Block(c.parms | parms::kNoDisplay, c.length, 300);
        block.AttrMode = 2;
        EXPECT_EQ(Run(block, 34), 6);
        EXPECT_EQ(block.DataLength, c.capped) << c.parms;
        ASSERT_EQ(calls_["FindFieldLength"].size(), 1u);
        EXPECT_EQ(calls_["FindFieldLength"][0].text, "  ");
        EXPECT_EQ(calls_["FindFieldLength"][0].ints, std::vector<jint>{300});
        ASSERT_EQ(calls_["CopyFieldToString"].size(), 1u);
        EXPECT_EQ(calls_["CopyFieldToString"][0].ints,
                  (std::vector<jint>{300, static_cast<jint>(c.length), 2, 0, c.eabMode}));
    }
    // No field: the length becomes 0 and the copy still answers.
    Record("FindFieldLength", "(Ljava/lang/String;I)J", "LI", Packed(10, 24));
    Record("CopyFieldToString", "(IIIZI)J", "IIIZI", 24);
    ApplicationBlock& none = Block(0, 50, 300);
    EXPECT_EQ(Run(none, 34), 24);
    EXPECT_EQ(none.DataLength, 0u);
    EXPECT_EQ(calls_["CopyFieldToString"].back().ints[3], 1);  // display
}

TEST_F(FieldHandlerTest, CursorAttributeStatusAndIntercepts) {
    Record("SetCursor", "(I)J", "I", 7);
    Record("QueryFieldAttribute", "(I)J", "I", Packed(0xE0));
    ApplicationBlock& block = Block(0, 1, 1920);
    EXPECT_EQ(Run(block, 40), 7);
    EXPECT_EQ(calls_["SetCursor"][0].ints, std::vector<jint>{1920});
    block.ReturnCode = 85;
    EXPECT_EQ(Run(block, 14), 0);
    EXPECT_EQ(block.DataLength, 0xE0u);
    EXPECT_EQ(calls_["QueryFieldAttribute"][0].ints, std::vector<jint>{85});
    Record("QueryFieldAttribute", "(I)J", "I", Packed(0xE0, 24));
    block.DataLength = 3;
    EXPECT_EQ(Run(block, 14), 24);
    EXPECT_EQ(block.DataLength, 3u);

    const std::pair<std::uint32_t, const char*> plain[] = {{22, "QuerySessionStatus"},
                                                           {41, "StartCloseIntercept"},
                                                           {43, "StopCloseIntercept"},
                                                           {50, "StartKeystrokeIntercept"},
                                                           {53, "StopKeystrokeIntercept"}};
    jlong answer = 0;
    for (const auto& [function, method] : plain) {
        DefineLong(bridge_, method, (jlong{3} << 32) | ++answer);
        EXPECT_EQ(Run(block, function), answer) << method;
        EXPECT_EQ(jvm().callsOf(method), 1) << method;
    }
}

TEST_F(FieldHandlerTest, ConvertPositionAndRowColumn) {
    Record("ConvertPos", "(I)J", "I", Packed(3) | 41);
    Record("ConvertRowCol", "(II)J", "II", 201);
    ApplicationBlock& pos = Block(0, 0, 201);
    std::memcpy(pos.Data, "A\0\0\0P", 5);
    EXPECT_EQ(Run(pos, 99), 41);  // the column
    EXPECT_EQ(pos.DataLength, 3u);  // the row
    EXPECT_EQ(calls_["ConvertPos"][0].ints, std::vector<jint>{201});

    ApplicationBlock& rc = Block(0, 3, 41);
    std::memcpy(rc.Data, "A\0\0\0r", 5);
    EXPECT_EQ(Run(rc, 99), 201);
    EXPECT_EQ(calls_["ConvertRowCol"][0].ints, (std::vector<jint>{3, 41}));

    Record("ConvertRowCol", "(II)J", "II", 0xFFFFFFFF);
    ApplicationBlock& off = Block(0, 30, 90);
    std::memcpy(off.Data, "A\0\0\0R", 5);
    EXPECT_EQ(Run(off, 99), 0);
    EXPECT_EQ(off.DataLength, 0u);

    ApplicationBlock& other = Block(0, 3, 41);
    std::memcpy(other.Data, "A\0\0\0X", 5);
    EXPECT_EQ(Run(other, 99), 9999);
    EXPECT_EQ(calls_["ConvertPos"].size() + calls_["ConvertRowCol"].size(), 3u);  // none for X
}

// A conversion the session cannot make (the bridge is going: its methods no
// longer answer) must not read as a position: 0, with length 0.
TEST_F(FieldHandlerTest, ConversionsThatCannotBeMadeAnswerNoPosition) {
    for (const char* request : {"A\0\0\0P", "A\0\0\0R"}) {
        ApplicationBlock& block = Block(0, 3, 41);
        std::memcpy(block.Data, request, 5);
        EXPECT_EQ(Run(block, 99), 0) << request[4];
        EXPECT_EQ(block.DataLength, 0u) << request[4];
        EXPECT_FALSE(jvm().exceptionPending());
    }
}

TEST_F(FieldHandlerTest, MissingMethodsAnswer9) {
    ApplicationBlock& block = Block(0, 4, 1);
    std::memcpy(block.Data, "ABCD", 4);
    for (std::uint32_t function : {14u, 15u, 22u, 30u, 31u, 32u, 33u, 34u, 40u, 41u, 43u, 50u, 53u}) {
        EXPECT_EQ(Run(block, function), kJavaCallFailed) << function;
        EXPECT_FALSE(jvm().exceptionPending());
    }
}

}  // namespace
}  // namespace trv::test
