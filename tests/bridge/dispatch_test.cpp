// ProcessEHLLAPICall and the presentation-space handlers, called directly on
// a caller block of this process for a registered fake session: the Java
// calls made, the arguments passed, how packed and plain results become the
// return code and DataLength, and what a failing Java side answers.
#include <cstring>
#include <string>
#include <vector>

#include "bridge/dispatch.h"
#include "bridge/emulator_state.h"
#include "bridge/bridge_call.h"
#include "tables/session_parms.h"
#include "bridge_fixture.h"
#include "platform/thread.h"
#include "tables/application_block.h"
#include "tables/session_list.h"
#include "trvha64.h"

namespace trv::test {
namespace {

class DispatchTest : public BridgeTest {
public:
    void SetUp() override {
        BridgeTest::SetUp();
        bridge_ = NewBridge('F');
        Register(bridge_);
        // The service thread attaches as it starts; the counts below are
        // the test's own.
        ASSERT_TRUE(Eventually([this] { return jvm().daemonAttaches() == 1; }));
    }

    // Runs one request of `function` with the given parameters.
    std::int32_t Run(std::uint32_t function, std::uint32_t parms = 0, std::uint32_t dataLength = 0,
                     std::int32_t position = 0) {
        ApplicationBlock& block = ServedBlock('F');
        block.Function = function;
        block.SessionParms = parms;
        block.DataLength = dataLength;
        block.ReturnCode = static_cast<std::uint32_t>(position);
        ProcessEHLLAPICall(block, Sessions()->GetSession('F'));
        return static_cast<std::int32_t>(block.ReturnCode);
    }

    // Records the arguments of every call of a method.
    void Record(const std::string& name, const std::string& signature, int argCount, jlong result) {
        Define(bridge_, name, signature, [this, argCount, result](JNIEnv*, jobject, const jvalue* args) {
            recorded_.emplace_back(args, args + argCount);
            return JLong(result);
        });
    }

    jobject bridge_ = nullptr;
    std::vector<std::vector<jvalue>> recorded_;
};

TEST_F(DispatchTest, FunctionsWithoutHandlerAnswer10WithoutJava) {
    DefineLong(bridge_, "GetPSSize", kScreenSizePacked);
    for (std::uint32_t function : {0u, 2u, 4u, 9u, 18u, 200u}) {
        EXPECT_EQ(Run(function), kNoHandlerCode) << function;
    }
    EXPECT_EQ(jvm().callsOf("GetPSSize"), 0);
}

TEST_F(DispatchTest, CopyPSSizesTheRequestByTheSessionParameters) {
    DefineLong(bridge_, "GetPSSize", kScreenSizePacked);
    Record("CopyPS", "(IIIZI)J", 5, 0);
    struct Case {
        std::uint32_t parms;
        std::uint32_t length;
        jint eabMode;
    } cases[] = {{0, 1920, 0}, {parms::kEab, 3840, 1}, {parms::kStrEot, 5760, 0},
                 {parms::kEab | parms::kStrEot | parms::kXlate, 7680, 2}};
    for (const Case& c : cases) {
        recorded_.clear();
        ApplicationBlock& block = ServedBlock('F');
        block.AttrMode = 3;
        EXPECT_EQ(Run(HA_COPY_PS, c.parms | parms::kNoDisplay, 1), 0);
        EXPECT_EQ(block.DataLength, c.length);
        ASSERT_EQ(recorded_.size(), 1u);
        EXPECT_EQ(recorded_[0][0].i, 1);
        EXPECT_EQ(recorded_[0][1].i, static_cast<jint>(c.length));
        EXPECT_EQ(recorded_[0][2].i, 3);
        EXPECT_EQ(recorded_[0][3].z, JNI_FALSE);
        EXPECT_EQ(recorded_[0][4].i, c.eabMode);
    }
}

TEST_F(DispatchTest, MethodsAreLookedUpOncePerRegistration) {
    DefineLong(bridge_, "GetPSSize", kScreenSizePacked);
    Record("CopyPS", "(IIIZI)J", 5, 0);
    EXPECT_EQ(Run(HA_COPY_PS, 0, 1), 0);
    EXPECT_EQ(Run(HA_COPY_PS, 0, 1), 0);
    EXPECT_EQ(jvm().callsOf("CopyPS"), 2);
    EXPECT_EQ(jvm().lookupsOf("GetPSSize"), 1);
    EXPECT_EQ(jvm().lookupsOf("CopyPS"), 1);

    // The letter registered again by an object of another class: that
    // class's methods are looked up and called, not the ones kept before.
    Unregister(bridge_);
    bridge_ = NewBridge('F');
    DefineLong(bridge_, "GetPSSize", jlong{80} << 16);
    Record("CopyPS", "(IIIZI)J", 5, 0);
    Register(bridge_);
    recorded_.clear();
    EXPECT_EQ(Run(HA_COPY_PS, 0, 1), 0);
    EXPECT_EQ(ServedBlock('F').DataLength, 80u);
    ASSERT_EQ(recorded_.size(), 1u);
    EXPECT_EQ(recorded_[0][1].i, 80);
    EXPECT_EQ(jvm().lookupsOf("GetPSSize"), 2);
    EXPECT_EQ(jvm().lookupsOf("CopyPS"), 2);
}

TEST_F(DispatchTest, FailingPSSizeSkipsTheCopy) {
    DefineLong(bridge_, "GetPSSize", kScreenSizePacked | 2);
    Define(bridge_, "CopyPS", "(IIIZI)J", [](JNIEnv*, jobject, const jvalue*) { return JLong(0); });
    EXPECT_EQ(Run(HA_COPY_PS, 0, 77), 2);
    EXPECT_EQ(ServedBlock('F').DataLength, 77u);
    EXPECT_EQ(jvm().callsOf("CopyPS"), 0);
}

TEST_F(DispatchTest, PackedAndPlainResults) {
    DefineLong(bridge_, "QueryCursorLocation", 458752);  // value 7, code 0
    EXPECT_EQ(Run(HA_QUERY_CURSOR_LOC, 0, 1), 0);
    EXPECT_EQ(ServedBlock('F').DataLength, 7u);

    DefineLong(bridge_, "QueryCursorLocation", (jlong{99} << 16) | 2);
    EXPECT_EQ(Run(HA_QUERY_CURSOR_LOC, 0, 1234), 2);
    EXPECT_EQ(ServedBlock('F').DataLength, 1234u);

    DefineLong(bridge_, "Reserve", (jlong{1} << 32) | 5);  // plain: low 32 bits
    EXPECT_EQ(Run(HA_RESERVE), 5);
    DefineLong(bridge_, "Release", 0);
    EXPECT_EQ(Run(HA_RELEASE), 0);
    DefineLong(bridge_, "SendToFront", 0xFFFFFFFF);
    EXPECT_EQ(Run(HA_CONNECT_PS), -1);
    DefineLong(bridge_, "CopyOIA", 0);
    EXPECT_EQ(Run(HA_COPY_OIA), 0);
    Record("CopyPS", "(IIIZI)J", 5, 0);
    EXPECT_EQ(Run(HA_COPY_PS_TO_STR, parms::kEab, 40, 81), 0);
    ASSERT_EQ(recorded_.size(), 1u);
    EXPECT_EQ(recorded_[0][0].i, 81);  // Copy PS to String starts at the caller's position
    EXPECT_EQ(recorded_[0][1].i, 40);
    EXPECT_EQ(recorded_[0][3].z, JNI_TRUE);
}

TEST_F(DispatchTest, SearchPSPassesTheStringAndDirection) {
    std::vector<std::string> strings;
    std::vector<std::vector<jint>> calls;
    Define(bridge_, "SearchPS", "([BIIZ)J", [&](JNIEnv*, jobject, const jvalue* args) {
        const std::vector<std::uint8_t> bytes = jvm().BytesOf(static_cast<jbyteArray>(args[0].l));
        strings.emplace_back(bytes.begin(), bytes.end());
        calls.push_back({args[1].i, args[2].i, args[3].z});
        return JLong((jlong{321} << 16));
    });
    const int localsBefore = jvm().liveLocalRefsOnThread(platform::CurrentThreadId());
    ApplicationBlock& block = ServedBlock('F');
    std::memcpy(block.Data, "ABC$DEF", 8);
    block.EotChar = '$';
    EXPECT_EQ(Run(HA_SEARCH_PS, parms::kStrEot, 7, 50), 0);
    EXPECT_EQ(block.DataLength, 321u);
    EXPECT_EQ(Run(HA_SEARCH_PS, parms::kSrchBkwd, 5, 50), 0);
    EXPECT_EQ(Run(HA_SEARCH_PS, parms::kSrchFrom | parms::kSrchBkwd, 2, 50), 0);
    ASSERT_EQ(strings.size(), 3u);
    EXPECT_EQ(strings[0], "ABC");
    EXPECT_EQ(strings[1], "ABC$D");
    EXPECT_EQ(strings[2], "AB");
    EXPECT_EQ(calls[0], (std::vector<jint>{1, 0, JNI_TRUE}));
    EXPECT_EQ(calls[1], (std::vector<jint>{1, 0, JNI_TRUE}));  // SRCHBKWD alone changes nothing
    EXPECT_EQ(calls[2], (std::vector<jint>{50, 1, JNI_FALSE}));

    // STREOT with no end character anywhere in Data: refused, nothing read
    // beyond Data, no Java call.
    std::memset(block.Data, 'x', kDataSize);
    EXPECT_EQ(Run(HA_SEARCH_PS, parms::kStrEot, 7, 1), 2);
    EXPECT_EQ(strings.size(), 3u);
    // The byte arrays made for the calls were deleted with them.
    EXPECT_EQ(jvm().liveLocalRefsOnThread(platform::CurrentThreadId()), localsBefore);
}

TEST_F(DispatchTest, QuerySessionWritesTheSessionRecord) {
    DefineLong(bridge_, "GetPSSizeRows", jlong{25} << 16);
    DefineLong(bridge_, "GetPSSizeCols", jlong{80} << 16);
    DefineLong(bridge_, "GetPSSize", jlong{3000} << 16);
    EXPECT_EQ(Run(HA_QUERY_SESSIONS, 0, 16), 0);
    const std::uint8_t expected[16] = {'F', 0, 0, 0, 'F', 0, 0, 0, 0, 0, 0, 0, 'H', 0, 0x80, 0x07};
    EXPECT_EQ(std::memcmp(ServedBlock('F').Data, expected, 16), 0);
    EXPECT_EQ(ServedBlock('F').DataLength, 16u);

    DefineLong(bridge_, "GetPSSizeRows", jlong{27} << 16);
    DefineLong(bridge_, "GetPSSizeCols", jlong{132} << 16);
    EXPECT_EQ(Run(HA_QUERY_SESSIONS, 0, 16), 0);
    EXPECT_EQ(ServedBlock('F').Data[14] | ServedBlock('F').Data[15] << 8, 3564);

    EXPECT_EQ(Run(HA_QUERY_SESSIONS, parms::kNoCfgSize | parms::kExtendPS, 16), 0);
    EXPECT_EQ(ServedBlock('F').Data[14] | ServedBlock('F').Data[15] << 8, 3000);

    DefineLong(bridge_, "GetPSSize", 2);
    std::memset(ServedBlock('F').Data, 0x55, 16);
    EXPECT_EQ(Run(HA_QUERY_SESSIONS, parms::kNoCfgSize | parms::kExtendPS, 16), 2);
    EXPECT_EQ(ServedBlock('F').Data[0], 0x55);
}

TEST_F(DispatchTest, JavaFailuresAnswerNonZeroAndLeaveNothingPending) {
    Define(bridge_, "GetPSSize", "()J", [this](JNIEnv*, jobject, const jvalue*) {
        jvm().Throw("java/lang/IllegalStateException", "screen not ready");
        return JLong(0);
    });
    Define(bridge_, "CopyPS", "(IIIZI)J", [](JNIEnv*, jobject, const jvalue*) { return JLong(0); });
    EXPECT_EQ(Run(HA_COPY_PS, 0, 10), kJavaCallFailed);
    EXPECT_FALSE(jvm().exceptionPending());
    EXPECT_EQ(jvm().exceptionsCleared(), 1);
    EXPECT_EQ(jvm().callsOf("CopyPS"), 0);

    // No such method: the lookup's exception is cleared too.
    EXPECT_EQ(Run(HA_RESERVE), kJavaCallFailed);
    EXPECT_FALSE(jvm().exceptionPending());
    EXPECT_EQ(jvm().exceptionsCleared(), 2);

    // A session this process has no emulator object for.
    ApplicationBlock& block = ServedBlock('F');
    block.Function = HA_RELEASE;
    ProcessEHLLAPICall(block, Sessions()->GetSession('G'));
    EXPECT_EQ(block.ReturnCode, static_cast<std::uint32_t>(kJavaCallFailed));
}

TEST_F(DispatchTest, HandlersKeepTheCallersAttachment) {
    DefineLong(bridge_, "Reserve", 0);
    const int detaches = jvm().detaches();
    EXPECT_EQ(Run(HA_RESERVE), 0);
    EXPECT_TRUE(jvm().IsCurrentThreadAttached());
    EXPECT_EQ(jvm().detaches(), detaches);

    // A thread that was not attached is attached for the call and detached
    // after it.
    std::int32_t result = -1;
    bool attachedAfter = true;
    struct Work {
        DispatchTest* test;
        std::int32_t* result;
        bool* attachedAfter;
    } work{this, &result, &attachedAfter};
    const int attaches = jvm().attaches();
    platform::StartedThread thread = platform::StartThread(
        [](void* argument) -> std::uint32_t {
            auto* w = static_cast<Work*>(argument);
            *w->result = w->test->Run(HA_RESERVE);
            *w->attachedAfter = w->test->jvm().IsCurrentThreadAttached();
            return 0;
        },
        &work);
    ASSERT_NE(thread.handle, platform::kNoHandle);
    EXPECT_EQ(platform::WaitForThread(thread.handle, kTestLimitMs), platform::kWaitObject0);
    platform::CloseObject(thread.handle);
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(attachedAfter);
    EXPECT_EQ(jvm().attaches(), attaches + 1);
    EXPECT_EQ(jvm().detaches(), detaches + 1);
    EXPECT_EQ(jvm().daemonAttaches(), 1);  // the session's service thread only
}

TEST_F(DispatchTest, NoVirtualMachineAnswersNonZero) {
    DefineLong(bridge_, "Reserve", 0);
    SetEmulatorJavaVM(nullptr);
    std::int32_t result = -1;
    struct Work {
        DispatchTest* test;
        std::int32_t* result;
    } work{this, &result};
    platform::StartedThread thread = platform::StartThread(
        [](void* argument) -> std::uint32_t {
            auto* w = static_cast<Work*>(argument);
            *w->result = w->test->Run(HA_RESERVE);
            return 0;
        },
        &work);
    ASSERT_NE(thread.handle, platform::kNoHandle);
    EXPECT_EQ(platform::WaitForThread(thread.handle, kTestLimitMs), platform::kWaitObject0);
    platform::CloseObject(thread.handle);
    EXPECT_EQ(result, kJavaCallFailed);
    EXPECT_EQ(jvm().callsOf("Reserve"), 0);
}

}  // namespace
}  // namespace trv::test
