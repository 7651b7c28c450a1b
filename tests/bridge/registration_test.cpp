// Registration and the other session natives, with callers in other
// processes that reach a session through the EHLLAPI entry (bridge_caller).
#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "bridge/emulator_state.h"
#include "bridge/hll_bridge_natives.h"
#include "bridge/version.h"
#include "bridge_fixture.h"
#include "library/process_lifecycle.h"
#include "platform/event.h"
#include "platform/thread.h"
#include "shared/process_state.h"
#include "shared/shared_control.h"
#include "support/child_role.h"
#include "tables/application_list.h"
#include "tables/session_list.h"
#include "trvha64.h"

namespace trv::test {
namespace {

using RegistrationTest = BridgeTest;

// Bit n set: letter 'A' + n is free.
std::uint32_t AvailableMap(JNIEnv* env) {
    return static_cast<std::uint32_t>(
        Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppGetAvailableSessionIDMap(env, nullptr));
}

// Bad letters, a throwing or missing getSessionID and a letter taken already
// ('d' folds to D) are refused and leave nothing behind; the session
// registered is served by a thread of its own until it is unregistered.
TEST_F(RegistrationTest, SessionsAreRegisteredOnceAndUnregisteredCleanly) {
    const int globalsBefore = jvm().liveGlobalRefs();
    const std::uint32_t freeBefore = AvailableMap(env());
    for (jchar bad : {jchar{'#'}, jchar{0}, jchar{'['}, jchar{0x100}}) Register(NewBridge(bad));
    jobject throwing = NewBridge('E');
    Define(throwing, "getSessionID", "()C", [this](JNIEnv*, jobject, const jvalue*) {
        jvm().Throw("java/lang/IllegalStateException", "no session yet");
        return JChar(0);
    });
    Register(throwing);
    Register(jvm().NewObject(jvm().DefineClass("BridgeWithoutSessionID")));
    EXPECT_EQ(AvailableMap(env()), freeBefore);
    EXPECT_EQ(jvm().liveGlobalRefs(), globalsBefore);
    EXPECT_EQ(jvm().attaches(), 1);  // the test thread only: no service thread
    EXPECT_FALSE(jvm().exceptionPending());
    EXPECT_EQ(jvm().exceptionsCleared(), 2);
    EXPECT_EQ(Control().SessionsAvailable.load(), 0);

    jobject first = NewBridge('D');
    Register(first);
    EXPECT_EQ(Control().SessionsAvailable.load(), 1);
    EXPECT_TRUE(Process().registeredSessions);
    EXPECT_EQ(jvm().liveGlobalRefs(), globalsBefore + 2);
    ASSERT_TRUE(Eventually([&] { return jvm().daemonAttaches() == 1; }));
    Register(NewBridge('d'));
    EXPECT_EQ(jvm().liveGlobalRefs(), globalsBefore + 2);
    EXPECT_EQ(jvm().daemonAttaches(), 1);
    EXPECT_TRUE(env()->IsSameObject(BridgeObject(3), first));

    const int detachesBefore = jvm().detaches();
    Unregister(first);
    EXPECT_EQ(Sessions()->IsSessionEstablished('D'), 0);
    EXPECT_EQ(Control().SessionsAvailable.load(), 0);
    EXPECT_FALSE(HasServiceThread(3));
    EXPECT_EQ(jvm().liveGlobalRefs(), globalsBefore);
    // The service thread detached what it attached, leaving no local
    // reference behind (the double aborts on a leak at detach).
    EXPECT_EQ(jvm().detaches(), detachesBefore + 1);
    EXPECT_EQ(jvm().failedDetaches(), 0);
}

TEST_F(RegistrationTest, AvailableSessionIDsFollowTheTable) {
    auto available = [this](jchar wanted) {
        return Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppGetAvailableSessionID(env(), nullptr, wanted);
    };
    EXPECT_EQ(available('c'), 'C');
    EXPECT_EQ(AvailableMap(env()), 0x3FFFFFFu);

    Register(NewBridge('A'));
    Register(NewBridge('C'));
    EXPECT_EQ(AvailableMap(env()), 0x3FFFFFAu);
    EXPECT_EQ(available('c'), 'B');
    EXPECT_EQ(available('1'), 'B');

    for (char letter = 'B'; letter <= 'Z'; ++letter) {
        if (letter != 'C') Register(NewBridge(static_cast<jchar>(letter)));
    }
    EXPECT_EQ(AvailableMap(env()), 0u);
    EXPECT_EQ(available('c'), 0);
}

TEST_F(RegistrationTest, VersionTextCarriesTheBuildDate) {
    EXPECT_EQ(FormatVersion("Apr  1 2025"), "1.19 040125");
    EXPECT_EQ(FormatVersion("Dec 15 2024"), "1.19 121524");
    EXPECT_EQ(FormatVersion("Foo 15 2024"), "1.19 0?1524");
    EXPECT_EQ(FormatVersion(nullptr).size(), 11u);

    jstring version = Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppGetVersion(env(), nullptr);
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(jvm().Utf8Of(version), LibraryVersion());
    EXPECT_FALSE(ProgressOptionSuppressed());
}

// The screen the fake emulator shows: 'A'..'Z' repeated.
std::vector<std::uint8_t> FakeScreen() {
    std::vector<std::uint8_t> screen(kScreenBytes);
    for (std::uint32_t i = 0; i < kScreenBytes; ++i) screen[i] = static_cast<std::uint8_t>('A' + i % 26);
    return screen;
}

std::int32_t CallEHLLAPI(std::int32_t function, void* data, std::int32_t length) {
    std::int32_t returnCode = 0;
    return hllapi(&function, static_cast<char*>(data), &length, &returnCode);
}

// Connects to session `letter` and copies the presentation space: 0 when the
// screen came back whole, 100 + the code of a failed connect, the return
// code of Copy PS when it is not 0, 99 when the screen differs from the fake
// emulator's, 97 when the block's Data is not zero afterwards.
int CopyScreen(char letter) {
    char session[2] = {letter, '\0'};
    const std::int32_t connected = CallEHLLAPI(HA_CONNECT_PS, session, 1);
    if (connected != 0) return 100 + connected;
    std::vector<std::uint8_t> screen(kScreenBytes + 64, 0xEE);
    const std::int32_t copied = CallEHLLAPI(HA_COPY_PS, screen.data(), static_cast<std::int32_t>(screen.size()));
    if (copied != 0) return copied;
    if (std::memcmp(screen.data(), FakeScreen().data(), kScreenBytes) != 0) return 99;
    // The copy-back leaves Data zero, clearing only what the exchange wrote.
    const ApplicationBlock* block = Applications()->FindApplicationBlock(platform::CurrentProcessId());
    const bool clean = block != nullptr && std::ranges::all_of(block->Data, [](std::uint8_t b) { return b == 0; });
    return clean ? 0 : 97;
}

// args[0]: the session letter; args[1], when given: an event. Exit code:
// CopyScreen's. With the event, the first copy must answer 9 (the session
// ends meanwhile; 90 when it does not), and once the event is signalled the
// caller copies once more: that copy's code.
TRV_CHILD_ROLE(bridge_caller) {
    if (args.empty() || args.size() > 2 || args[0].size() != 1) return 98;
    platform::UniqueHandle again(args.size() == 2 ? platform::OpenNamedEvent(args[1].c_str()) : platform::kNoHandle);
    if (args.size() == 2 && !again) return 98;
    OnProcessAttach();
    int exitCode = CopyScreen(args[0][0]);
    if (again && exitCode != 9) {
        exitCode = 90;
    } else if (again) {
        const bool signalled = platform::WaitForEvent(again.get(), kTestLimitMs) == platform::kWaitObject0;
        exitCode = signalled ? CopyScreen(args[0][0]) : 91;
    }
    OnProcessDetach();
    return exitCode;
}

class CrossProcessTest : public BridgeTest {
protected:
    // Defines GetPSSize (held, when `gate` is given, until it is set) and a
    // CopyPS that sends the fake screen back through cppSetRawData, counts
    // the reply in `replies_` and answers `answer`.
    void DefineEmulator(jobject bridge, jchar letter, std::atomic<bool>* gate = nullptr, jlong answer = 0) {
        Define(bridge, "GetPSSize", "()J", [this, gate](JNIEnv*, jobject, const jvalue*) {
            if (gate != nullptr) {
                // Stuck as Java code would be: a stop of the service thread
                // ends the library's waits, not this one.
                platform::SignalEvent(held_.get());
                Eventually([gate] { return gate->load(); });
            }
            return JLong(kScreenSizePacked);
        });
        Define(bridge, "CopyPS", "(IIIZI)J", [this, letter, answer](JNIEnv* env, jobject self, const jvalue* args) {
            jbyteArray data = env->NewByteArray(kScreenBytes);
            env->SetByteArrayRegion(data, 0, kScreenBytes, reinterpret_cast<const jbyte*>(FakeScreen().data()));
            Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSetRawData(env, self, letter, data, args[1].i);
            env->DeleteLocalRef(data);
            ++replies_;
            return JLong(answer);
        });
    }

    // Session B, whose emulator holds GetPSSize until `go_`, with session C
    // beside it so that sessions stay available when B goes; unregistration
    // gives up on B's service thread after `stopWaitMs`. Answers B's bridge.
    jobject RegisterHeldSession(std::uint32_t stopWaitMs = 200) {
        SetServiceStopWait(stopWaitMs);
        jobject busy = NewBridge('B');
        DefineEmulator(busy, 'B', &go_);
        Register(busy);
        jobject other = NewBridge('C');
        DefineEmulator(other, 'C');
        Register(other);
        return busy;
    }

    platform::UniqueHandle held_{platform::CreateNamedEvent(false, nullptr)};
    std::atomic<bool> go_{false};
    std::atomic<int> replies_{0};
};

// The emulator stuck inside GetPSSize of session B: the unregistration ends
// the session all the same, and the waiting caller gets 9 while the Java call
// still runs; session C serves callers in other processes all along. The
// released service thread then finishes that request without replying: its
// caller may already wait for the next registration's reply.
TEST_F(CrossProcessTest, UnregistrationReleasesAWaitingCallerAndItsThreadAnswersNoMore) {
    jobject busy = RegisterHeldSession();
    const int detachesBefore = jvm().detaches();
    const std::string again = UniqueName("caller_again");
    platform::UniqueHandle againEvent(platform::CreateNamedEvent(false, again.c_str()));

    RoleProcess caller("bridge_caller", {"B", again});
    ASSERT_EQ(platform::WaitForEvent(held_.get(), kTestLimitMs), platform::kWaitObject0);
    Unregister(busy);
    const ApplicationBlock* waiting = Applications()->FindApplicationBlock(caller.id());
    ASSERT_NE(waiting, nullptr);
    EXPECT_TRUE(Eventually([&] { return waiting->Waiting == 0; })) << "released only after the Java call";
    for (int round = 0; round < 2; ++round) {
        RoleProcess other("bridge_caller", {"C"});
        EXPECT_EQ(other.Wait(kTestLimitMs), 0) << "round " << round;
    }

    // The released thread finishes its request (and detaches) while the
    // caller waits for a new registration's answer.
    std::atomic<bool> later{false};
    jobject fresh = NewBridge('B');
    DefineEmulator(fresh, 'B', &later, 7);
    Register(fresh);
    platform::SignalEvent(againEvent.get());
    ASSERT_EQ(platform::WaitForEvent(held_.get(), kTestLimitMs), platform::kWaitObject0);
    go_.store(true);
    ASSERT_TRUE(Eventually([&] { return jvm().detaches() == detachesBefore + 1; }));
    EXPECT_EQ(jvm().failedDetaches(), 0);
    // The screen its Java call still sent must not land in the block the new
    // registration serves.
    EXPECT_TRUE(std::ranges::all_of(waiting->Data, [](std::uint8_t b) { return b == 0; }));
    later.store(true);
    EXPECT_EQ(caller.Wait(kTestLimitMs), 7) << "0: it took the released thread's reply; 90: its first request was not answered 9";
    EXPECT_EQ(jvm().callsOf("CopyPS"), 4) << "C's two, and one for each registration of B";
    // The service threads made and deleted a byte array per copy: nothing of
    // it may stay alive on a thread that never returns to Java.
    EXPECT_EQ(jvm().liveLocalRefsOnThread(ServiceThreadId('C' - 'A')), 0);
    EXPECT_EQ(jvm().heldArrayElements(), 0);
}

// A caller killed while Java serves its request leaves its block to be
// reclaimed, here by this process; the reply Java sends afterwards must not
// land in the block's next owner.
TEST_F(CrossProcessTest, AReplyForAKilledCallerDoesNotLandInItsBlocksNextOwner) {
    jobject busy = RegisterHeldSession(kTestLimitMs);
    RoleProcess caller("bridge_caller", {"B"});
    ASSERT_EQ(platform::WaitForEvent(held_.get(), kTestLimitMs), platform::kWaitObject0);
    const ApplicationBlock* killed = Applications()->FindApplicationBlock(caller.id());
    caller.Kill();
    ApplicationBlock* next = Applications()->AddApplicationBlock(platform::CurrentProcessId(), 0, true);
    ASSERT_TRUE(next != nullptr && next == killed) << "this process was to take the killed caller's block";

    // The reply is sent while the session is still registered: no stop of its
    // service thread stands between it and the block.
    go_.store(true);
    ASSERT_TRUE(Eventually([&] { return replies_.load() == 1; }));
    Unregister(busy);
    EXPECT_TRUE(std::ranges::all_of(next->Data, [](std::uint8_t b) { return b == 0; }));
    Applications()->RemoveApplicationBlock(platform::CurrentProcessId());
}

}  // namespace
}  // namespace trv::test
