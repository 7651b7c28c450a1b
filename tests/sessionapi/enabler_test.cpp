// The emulator side against a stand-in virtual machine: the scripted
// QMXAPIEnabler (sessionapi_fixture.h) and its service thread. (The answers
// themselves: caller_test.cpp.)
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "library/process_lifecycle.h"
#include "platform/message_queue.h"
#include "platform/thread.h"
#include "sessionapi/enabler.h"
#include "sessionapi_fixture.h"
#include "shared/process_state.h"
#include "shared/shared_control.h"
#include "tables/qmxapi_list.h"
#include "trvha64.h"

namespace trv::test {
namespace {

using QMXAPIEnablerSide = ServedQMXAPITest;

TEST_F(QMXAPIEnablerSide, JavaFailuresAnswerNineAndTheServiceThreadGoesOnLeavingNoReferences) {
    // An answered list first, which leaves its sessions in the reply area.
    EXPECT_EQ(trvQuerySessionList(0, nullptr), kListedSessions);

    auto throwing = [this](JNIEnv*, jobject, const jvalue*) {
        jvm_.Throw("java/lang/IllegalStateException", "emulator busy");
        return JLong(0);
    };
    jvm_.DefineMethod(enabler_.type, "startSession", kStartSignature, throwing);
    jvm_.DefineMethod(enabler_.type, "querySessionList", "(Ljava/lang/Object;)J", throwing);
    jvm_.DefineMethod(enabler_.type, "stopSession", kShortNameZ, throwing);
    jvm_.RemoveMethod(enabler_.type, "connectSession", kShortNameZ);

    EXPECT_EQ(trvStartSession("p", 'A', 1), QMX_SYSTEM_ERROR);
    EXPECT_EQ(trvStopSession('A', 0), QMX_SYSTEM_ERROR);
    EXPECT_EQ(trvConnectSession('B'), QMX_SYSTEM_ERROR);
    trvQMXSessionEntry entries[2];
    std::memset(entries, 0xCD, sizeof entries);
    EXPECT_EQ(trvQuerySessionList(2, entries), QMX_SYSTEM_ERROR);
    EXPECT_EQ(entries[0].short_name, 0) << "a failed list left the previous sessions in the reply";

    // A JNI call with an exception left pending, or local references left on
    // the service thread when it detaches, would have ended the run.
    EXPECT_EQ(trvQueryEmulatorStatus('A'), 0x1000u | 'A');
    EXPECT_EQ(jvm_.daemonAttaches(), 1) << "a request attached the service thread again";
}

TEST_F(QMXAPIEnablerSide, RequestsItCannotServeAreDroppedOrLeftUnanswered) {
    RoleProcess ended("qmx_exit_at_once");
    ASSERT_EQ(ended.Wait(kTestLimitMs), 0);
    const std::uint32_t gone = ended.id();

    QMXAPIBlock* orphan = QMXAPITable()->AddQMXAPIBlock(gone, 0x51);
    ASSERT_NE(orphan, nullptr);
    platform::CloseObject(orphan->Event);
    orphan->Request = kQMXStopSession;
    orphan->ShortName = 'A';
    orphan->Result = 5555;
    platform::PostToThread(Control().QMXAPIThreadId.load(), Control().ControlMessage.load(),
                           orphan->Atom, 0);
    // Requests are served in order: once this one is answered, the orphan's
    // message has been taken.
    EXPECT_EQ(trvQueryEmulatorStatus('A'), 0x1000u | 'A');
    EXPECT_EQ(jvm_.callsOf("stopSession"), 0);
    EXPECT_EQ(orphan->Result, 5555u);
    QMXAPITable()->RemoveQMXAPIBlock(gone, 0x51);

    // A message naming no record is dropped too.
    platform::PostToThread(Control().QMXAPIThreadId.load(), Control().ControlMessage.load(), 0xC123, 0);
    EXPECT_EQ(trvStopSession('A', 0), 1u);

    // An unknown request code runs nothing (no Java call: this thread is not
    // attached) and leaves the result alone.
    QMXAPIBlock record{};
    record.Request = 3;
    record.Result = 1234;
    ProcessQMXAPICall(record);
    EXPECT_EQ(record.Result, 1234u);
}

TEST_F(QMXAPIEnablerSide, QuitEndsTheThreadAndUnregistrationReleasesEverything) {
    const int detachesBefore = jvm_.detaches();
    ASSERT_TRUE(platform::PostToThread(Process().qmxapiThreadId, platform::kQuitMessage, 0, 0));
    EXPECT_EQ(platform::WaitForThread(Process().qmxapiThread, kTestLimitMs), platform::kWaitObject0);
    EXPECT_EQ(Control().QMXAPIThreadId.load(), 0u);
    EXPECT_EQ(jvm_.detaches(), detachesBefore + 1) << "the service thread stayed attached";

    UnregisterEnabler(jvm_);
    EXPECT_EQ(jvm_.liveGlobalRefs(), 0);
}

TEST_F(QMXAPIEnablerSide, UnregistrationWaitsForTheRequestInJavaAndItsCallerGetsTheAnswer) {
    Hold hold;
    std::uint32_t result = 77;
    TestThread caller([&result] { result = trvStopSession(kHoldLetter, 0); });
    ASSERT_TRUE(hold.WaitHeld());
    TestThread unregister([this] { UnregisterEnabler(jvm_); });
    EXPECT_TRUE(unregister.StillRunningAfter(100)) << "unregistration did not wait for the request";
    hold.Release();
    EXPECT_TRUE(unregister.Join());
    EXPECT_TRUE(caller.Join());
    EXPECT_EQ(result, 0u);
    EXPECT_FALSE(Process().startedQMXAPIThread);
}

// An emulator that ends with exit() while registered, as one whose windowing
// toolkit gives up on a lost display does, ends: the library's detach then
// runs from the end-of-process destructors, after the C++ statics are gone,
// and still stops the service thread.
TEST(QMXAPIEnablerEnd, AProcessThatCallsExitWhileRegisteredEnds) {
    RoleProcess emulator("qmx_emulator", {"exit"});
    EXPECT_EQ(emulator.Wait(kTestLimitMs), 0) << "the process hung in its end";
}

bool g_detachAtEnd = false;

// Where a shared library's own destructor runs: after exit()'s C++ destructors.
__attribute__((destructor)) void DetachAtEnd() {
    if (g_detachAtEnd) OnProcessDetach();
}

}  // namespace

TRV_CHILD_ROLE(qmx_exit_at_once) { return 0; }

// An emulator child serving the scripted enabler. args[0]: "exit" to end
// with exit() while registered; otherwise an event to signal once it serves,
// after which it serves until the test kills it.
TRV_CHILD_ROLE(qmx_emulator) {
    if (args.size() != 1) return 2;
    OnProcessAttach();
    FakeJvm jvm;
    RegisterEnabler(jvm, DefineScriptedEnabler(jvm));
    // Serving: the thread is started and has published its id.
    if (!Process().startedQMXAPIThread || Control().QMXAPIThreadId.load() == 0) return 3;
    if (args[0] == "exit") {
        g_detachAtEnd = true;
        std::exit(0);
    }
    SignalNamedEvent(args[0]);
    platform::WaitForThread(Process().qmxapiThread, 60000);  // the test kills it meanwhile
    return 0;
}

}  // namespace trv::test
