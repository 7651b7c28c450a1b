// The emulator side against a stand-in virtual machine: a fake QMXAPIEnabler
// whose methods answer from C++, registered through the library's native
// method, its service thread serving callers (callers in other processes
// are caller_test.cpp's), Java failures, vanished callers and the end of the
// thread.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "jni/java_vm.h"
#include "platform/clock.h"
#include "platform/message_queue.h"
#include "platform/process.h"
#include "platform/thread.h"
#include "sessionapi/enabler.h"
#include "sessionapi_fixture.h"
#include "library/process_lifecycle.h"
#include "shared/process_state.h"
#include "shared/shared_control.h"
#include "support/jni_double.h"
#include "tables/qmxapi_list.h"
#include "tables/session_list.h"
#include "trvha64.h"

namespace trv::test {
namespace {

constexpr const char* kEnablerClass = "com/ombrel/eQintra/hllbridge/QMXAPIEnabler";
constexpr const char* kShortNameZ = "(Ljava/lang/Object;Ljava/lang/String;)Z";
constexpr const char* kStartSignature = "(Ljava/lang/Object;Ljava/lang/String;Ljava/lang/String;I)J";
constexpr jlong kStartAnswer = (jlong{5} << 32) | 42;  // only the low 32 bits count
constexpr std::uint32_t kStatusBits = 0x30;

struct SessionEntryBytes {
    char letter;
    std::uint32_t status;
};

std::vector<std::uint8_t> SessionListBytes(const std::vector<SessionEntryBytes>& sessions) {
    std::vector<std::uint8_t> bytes(sessions.size() * sizeof(QMXAPISessionEntry));
    for (std::size_t i = 0; i < sessions.size(); ++i) {
        QMXAPISessionEntry entry{sessions[i].letter, {'q', 'r', 's'}, sessions[i].status};
        std::memcpy(bytes.data() + i * sizeof entry, &entry, sizeof entry);
    }
    return bytes;
}

// Hands `bytes` to the library as the enabler's Java code does.
void SetReplyData(JNIEnv* env, jobject self, const std::vector<std::uint8_t>& bytes) {
    jbyteArray array = env->NewByteArray(static_cast<jsize>(bytes.size()));
    env->SetByteArrayRegion(array, 0, static_cast<jsize>(bytes.size()),
                            reinterpret_cast<const jbyte*>(bytes.data()));
    Java_com_ombrel_eQintra_hllbridge_QMXAPIEnabler_cppSetQMXAPIData(
        env, self, array, static_cast<jint>(bytes.size()));
    env->DeleteLocalRef(array);
}

class QMXAPIEnablerSide : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(QMXAPITable(), nullptr);
        ASSERT_EQ(Control().QMXAPIThreadId.load(), 0u);
        enablerClass_ = jvm_.DefineClass(kEnablerClass);
        argumentClass_ = jvm_.DefineClass("java/lang/Object");
        DefineAnsweringMethods();
        SessionBlock templ;
        templ.ProcessID = platform::CurrentProcessId();
        templ.Established = 1;
        ASSERT_TRUE(Sessions()->AddNamedSession(templ, 'B'));
    }

    void TearDown() override {
        if (Process().startedQMXAPIThread) Unregister();
        Sessions()->RemoveSession('B');
        if (argument_ != nullptr) {
            JavaThreadScope java(jvm_);
            jvm_.env()->DeleteGlobalRef(argument_);
        }
        ForgetOwnRecord();
        SetEmulatorJavaVM(nullptr);  // the stand-in dies with the test
    }

    void DefineAnsweringMethods() {
        jvm_.DefineMethod(enablerClass_, "startSession", kStartSignature,
                          [this](JNIEnv* env, jobject, const jvalue* args) {
                              firstArgumentIsRegistration_ = env->IsSameObject(args[0].l, argument_);
                              startProfile_ = jvm_.Utf8Of(static_cast<jstring>(args[1].l));
                              startLetter_ = jvm_.Utf8Of(static_cast<jstring>(args[2].l));
                              startMode_ = args[3].i;
                              return JLong(kStartAnswer);
                          });
        auto yesFor = [this](const char* letter) {
            return [this, letter](JNIEnv*, jobject, const jvalue* args) {
                return JBoolean(jvm_.Utf8Of(static_cast<jstring>(args[1].l)) == letter);
            };
        };
        jvm_.DefineMethod(enablerClass_, "stopSession", kShortNameZ, yesFor("A"));
        jvm_.DefineMethod(enablerClass_, "connectSession", kShortNameZ, yesFor("B"));
        jvm_.DefineMethod(enablerClass_, "disconnectSession", kShortNameZ, yesFor("C"));
        jvm_.DefineMethod(enablerClass_, "queryProfile", kShortNameZ,
                          [this](JNIEnv* env, jobject self, const jvalue* args) {
                              if (jvm_.Utf8Of(static_cast<jstring>(args[1].l)) != "C") return JBoolean(false);
                              const char text[] = "PROFILE-OF-C";
                              SetReplyData(env, self, {text, text + sizeof text});
                              return JBoolean(true);
                          });
        jvm_.DefineMethod(enablerClass_, "queryEmulatorStatus", "(Ljava/lang/Object;Ljava/lang/String;)J",
                          [](JNIEnv*, jobject, const jvalue*) { return JLong(kStatusBits); });
        jvm_.DefineMethod(enablerClass_, "querySessionList", "(Ljava/lang/Object;)J",
                          [](JNIEnv* env, jobject self, const jvalue*) {
                              SetReplyData(env, self,
                                           SessionListBytes({{'A', 0x10}, {'B', 0x20}, {'C', 0x30}}));
                              return JLong(3);
                          });
    }

    // Registers as the emulator does, from a Java thread.
    void Register() {
        JavaThreadScope java(jvm_);
        JNIEnv* env = jvm_.env();
        jobject enabler = jvm_.NewObject(enablerClass_);
        jobject argument = jvm_.NewObject(argumentClass_);
        argument_ = env->NewGlobalRef(argument);
        Java_com_ombrel_eQintra_hllbridge_QMXAPIEnabler_cppRegisterQMXAPI(env, enabler, argument);
        env->DeleteLocalRef(enabler);
        env->DeleteLocalRef(argument);
    }

    void Unregister() {
        JavaThreadScope java(jvm_);
        Java_com_ombrel_eQintra_hllbridge_QMXAPIEnabler_cppUnregisterQMXAPI(jvm_.env(), nullptr,
                                                                           nullptr);
    }

    // Runs one request through the handlers on the calling (Java) thread.
    QMXAPIBlock Serve(std::uint32_t request, char letter, const char* text = "",
                      std::uint32_t mode = 0) {
        QMXAPIBlock record;
        std::memset(static_cast<void*>(&record), 0, sizeof record);
        record.Request = request;
        record.ShortName = letter;
        record.WindowMode = mode;
        std::strncpy(record.Text, text, sizeof record.Text - 1);
        record.Result = 1234;
        JavaThreadScope java(jvm_);
        ProcessQMXAPICall(record);
        return record;
    }

    FakeJvm jvm_;
    jclass enablerClass_ = nullptr;
    jclass argumentClass_ = nullptr;
    jobject argument_ = nullptr;
    bool firstArgumentIsRegistration_ = false;
    std::string startProfile_;
    std::string startLetter_;
    jint startMode_ = -1;
};

TEST_F(QMXAPIEnablerSide, EveryRequestCodeCallsItsMethodAndFillsTheRecord) {
    Register();

    QMXAPIBlock start = Serve(kQMXStartSession, 'Z', "night.ws", 3);
    EXPECT_EQ(start.Result, 42u);
    EXPECT_EQ(startProfile_, "night.ws");
    EXPECT_EQ(startLetter_, "Z");
    EXPECT_EQ(startMode_, 3);
    EXPECT_TRUE(firstArgumentIsRegistration_);

    EXPECT_EQ(Serve(kQMXStopSession, 'A').Result, 1u);
    EXPECT_EQ(Serve(kQMXStopSession, 'B').Result, 0u);
    EXPECT_EQ(Serve(kQMXConnectSession, 'B').Result, 1u);
    EXPECT_EQ(Serve(kQMXConnectSession, 'A').Result, 0u);
    EXPECT_EQ(Serve(kQMXDisconnectSession, 'C').Result, 1u);
    EXPECT_EQ(Serve(kQMXDisconnectSession, 'B').Result, 0u);
    // B is established in the session table: its status carries the bit.
    EXPECT_EQ(Serve(kQMXQueryEmulatorStatus, 'B').Result, kStatusBits | kQMXSessionEstablishedBit);
    EXPECT_EQ(Serve(kQMXQueryEmulatorStatus, 'D').Result, kStatusBits);

    QMXAPIBlock profile = Serve(kQMXQueryWorkstationProfile, 'C', "old text");
    EXPECT_EQ(profile.Result, 1u);
    EXPECT_STREQ(profile.Text, "PROFILE-OF-C");
    QMXAPIBlock noProfile = Serve(kQMXQueryWorkstationProfile, 'D', "old text");
    EXPECT_EQ(noProfile.Result, 0u);
    EXPECT_STREQ(noProfile.Text, "old text");

    QMXAPIBlock list = Serve(kQMXQuerySessionList, 0);
    ASSERT_EQ(list.Result, 3u);
    QMXAPISessionEntry entries[4];
    std::memcpy(entries, list.SessionList, sizeof entries);
    EXPECT_EQ(entries[0].ShortName, 'A');
    EXPECT_EQ(entries[0].Status, 0x10u);
    EXPECT_EQ(entries[1].ShortName, 'B');
    EXPECT_EQ(entries[1].Status, 0x20u | kQMXSessionEstablishedBit);
    EXPECT_EQ(entries[2].Status, 0x30u);
    EXPECT_EQ(std::memcmp(entries[2].Delivered, "qrs", 3), 0);
    EXPECT_EQ(entries[3].ShortName, 0) << "the reply area beyond the sessions is not cleared";

    // Answered without Java: 0, and an unknown code leaves the result alone.
    EXPECT_EQ(Serve(kQMXQueryConnectionInfo, 'A').Result, 0u);
    EXPECT_EQ(Serve(kQMXSetLinkTimeout, 'A').Result, 0u);
    EXPECT_EQ(Serve(3, 'A').Result, 1234u);
    EXPECT_EQ(jvm_.liveLocalRefs(), 0);
}

TEST_F(QMXAPIEnablerSide, JavaFailuresAnswerNineAndLeaveNothingPending) {
    Register();
    auto throwing = [this](JNIEnv*, jobject, const jvalue*) {
        jvm_.Throw("java/lang/IllegalStateException", "emulator busy");
        return JLong(0);
    };
    jvm_.DefineMethod(enablerClass_, "startSession", kStartSignature, throwing);
    jvm_.DefineMethod(enablerClass_, "querySessionList", "(Ljava/lang/Object;)J", throwing);
    jvm_.DefineMethod(enablerClass_, "stopSession", kShortNameZ, [this](JNIEnv*, jobject, const jvalue*) {
        jvm_.Throw("java/lang/RuntimeException");
        return JBoolean(true);
    });
    jvm_.RemoveMethod(enablerClass_, "connectSession", kShortNameZ);

    EXPECT_EQ(Serve(kQMXStartSession, 'A', "p").Result, QMX_SYSTEM_ERROR);
    EXPECT_EQ(Serve(kQMXStopSession, 'A').Result, QMX_SYSTEM_ERROR);
    EXPECT_EQ(Serve(kQMXConnectSession, 'B').Result, QMX_SYSTEM_ERROR);
    QMXAPIBlock list = Serve(kQMXQuerySessionList, 0);
    EXPECT_EQ(list.Result, QMX_SYSTEM_ERROR);
    EXPECT_EQ(list.SessionList[0], 0);
    {
        JavaThreadScope java(jvm_);
        EXPECT_FALSE(jvm_.exceptionPending());
    }
    EXPECT_GE(jvm_.exceptionsCleared(), 3);

    // The same failures on the service thread, and it goes on serving,
    // attached once and holding no local reference between requests.
    EXPECT_EQ(trvStopSession('A', 0), QMX_SYSTEM_ERROR);
    EXPECT_EQ(trvConnectSession('B'), QMX_SYSTEM_ERROR);
    EXPECT_EQ(trvQueryEmulatorStatus('A'), kStatusBits);
    EXPECT_EQ(jvm_.liveLocalRefs(), 0);
    EXPECT_EQ(jvm_.daemonAttaches(), 1) << "a request attached the service thread again";
    EXPECT_EQ(jvm_.liveLocalRefsOnThread(Process().qmxapiThreadId), 0);
}

TEST_F(QMXAPIEnablerSide, ARequestWhoseCallerEndedIsDropped) {
    Register();
    RoleProcess ended("qmx_exit_at_once");
    ASSERT_TRUE(ended.started());
    ASSERT_EQ(ended.Wait(kTestLimitMs), 0);
    const std::uint32_t gone = ended.id();
    ASSERT_FALSE(platform::IsProcessAlive(gone));

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
    EXPECT_EQ(trvQueryEmulatorStatus('A'), kStatusBits);
    EXPECT_EQ(jvm_.callsOf("stopSession"), 0);
    EXPECT_EQ(orphan->Result, 5555u);
    QMXAPITable()->RemoveQMXAPIBlock(gone, 0x51);

    // A message naming no record, and one of another number, are dropped too.
    platform::PostToThread(Control().QMXAPIThreadId.load(), Control().ControlMessage.load(), 0xC123, 0);
    platform::PostToThread(Control().QMXAPIThreadId.load(), Control().ControlMessage.load() ^ 1, 0, 0);
    EXPECT_EQ(trvStopSession('A', 0), 1u);
}

TEST_F(QMXAPIEnablerSide, QuitEndsTheThreadAndUnregistrationReleasesEverything) {
    Register();
    const std::uint32_t service = Process().qmxapiThreadId;
    ASSERT_NE(service, 0u);
    const int detachesBefore = jvm_.detaches();
    ASSERT_TRUE(platform::PostToThread(service, platform::kQuitMessage, 0, 0));
    EXPECT_EQ(platform::WaitForThread(Process().qmxapiThread, kTestLimitMs), platform::kWaitObject0);
    EXPECT_EQ(Control().QMXAPIThreadId.load(), 0u);
    EXPECT_EQ(jvm_.detaches(), detachesBefore + 1) << "the service thread stayed attached";

    Unregister();
    EXPECT_FALSE(Process().startedQMXAPIThread);
    EXPECT_EQ(Process().qmxapiThread, platform::kNoHandle);
    EXPECT_EQ(jvm_.liveGlobalRefs(), 1);  // only the test's own reference to the argument
    EXPECT_EQ(trvStopSession('A', 0), QMX_SYSTEM_ERROR);

    // A new registration serves again.
    Register();
    EXPECT_EQ(trvStopSession('A', 0), 1u);
}

TEST_F(QMXAPIEnablerSide, UnregistrationReleasesACallerWaitingForJava) {
    std::atomic<bool> inJava{false};
    std::atomic<bool> letGo{false};
    jvm_.DefineMethod(enablerClass_, "stopSession", kShortNameZ,
                      [&](JNIEnv*, jobject, const jvalue*) {
                          inJava = true;
                          while (!letGo) platform::SleepMs(5);
                          return JBoolean(true);
                      });
    Register();
    std::uint32_t result = 0;
    CallerThread caller([&result] { result = trvStopSession('A', 0); });
    const std::uint32_t started = platform::TickCount();
    while (!inJava && platform::TickCount() - started < kTestLimitMs) platform::SleepMs(5);
    ASSERT_TRUE(inJava);
    CallerThread unregister([this] { Unregister(); });
    EXPECT_TRUE(unregister.StillRunningAfter(100)) << "unregistration did not wait for the request";
    letGo = true;
    EXPECT_TRUE(unregister.Join());
    EXPECT_TRUE(caller.Join());
    EXPECT_EQ(result, 1u);
    EXPECT_FALSE(Process().startedQMXAPIThread);
}

// An emulator that ends with exit() while registered, as one whose windowing
// toolkit gives up on a lost display does, ends: the library's detach then
// runs from the end-of-process destructors, after the C++ statics are gone,
// and still stops the service thread.
TEST(QMXAPIEnablerEnd, AProcessThatCallsExitWhileRegisteredEnds) {
    RoleProcess emulator("qmx_exit_while_registered");
    ASSERT_TRUE(emulator.started());
    EXPECT_EQ(emulator.Wait(kTestLimitMs), 0) << "the process hung in its end";
}

bool g_detachAtEnd = false;

// Where a shared library's own destructor runs: after exit()'s C++ destructors.
__attribute__((destructor)) void DetachAtEnd() {
    if (g_detachAtEnd) OnProcessDetach();
}

}  // namespace

TRV_CHILD_ROLE(qmx_exit_at_once) { return 0; }

TRV_CHILD_ROLE(qmx_exit_while_registered) {
    OnProcessAttach();
    FakeJvm jvm;
    const jclass enabler = jvm.DefineClass(kEnablerClass);
    const jclass argument = jvm.DefineClass("java/lang/Object");
    {
        JavaThreadScope java(jvm);
        Java_com_ombrel_eQintra_hllbridge_QMXAPIEnabler_cppRegisterQMXAPI(jvm.env(), jvm.NewObject(enabler),
                                                                         jvm.NewObject(argument));
    }
    if (Control().QMXAPIThreadId.load() == 0) return 3;
    g_detachAtEnd = true;
    std::exit(0);
}

}  // namespace trv::test
