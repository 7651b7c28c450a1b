// The shared session-API fixture; see sessionapi_fixture.h.
#include "sessionapi_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "jni/java_vm.h"
#include "platform/event.h"
#include "sessionapi/enabler.h"
#include "shared/process_state.h"
#include "shared/shared_control.h"
#include "support/attached_caller.h"
#include "tables/qmxapi_list.h"
#include "tables/session_list.h"

namespace trv::test {
namespace {

constexpr std::uint32_t kWaitForTheTestMs = 60000;

[[maybe_unused]] testing::Environment* const g_attached =
    testing::AddGlobalTestEnvironment(new AttachedCaller("sessionapi-tests"));

std::string HeldEventName() { return UniqueName("qmx_held"); }
std::string ReleaseEventName() { return UniqueName("qmx_release"); }

// Hands `bytes` to the library as the enabler's Java code does.
void SetReplyData(FakeJvm& jvm, JNIEnv* env, jobject self, const std::vector<std::uint8_t>& bytes) {
    jbyteArray array = jvm.NewBytes(bytes);
    Java_com_ombrel_eQintra_hllbridge_QMXAPIEnabler_cppSetQMXAPIData(env, self, array,
                                                                     static_cast<jint>(bytes.size()));
    env->DeleteLocalRef(array);
}

std::vector<std::uint8_t> ListedSessions() {
    std::vector<std::uint8_t> bytes(kListedSessions * sizeof(QMXAPISessionEntry));
    for (std::uint32_t i = 0; i < kListedSessions; ++i) {
        QMXAPISessionEntry entry{static_cast<char>('A' + i), {'x', 'y', 'z'}, 0x100 * (i + 1)};
        std::memcpy(bytes.data() + i * sizeof entry, &entry, sizeof entry);
    }
    return bytes;
}

}  // namespace

ScriptedEnabler DefineScriptedEnabler(FakeJvm& jvm) {
    const ScriptedEnabler enabler{jvm.DefineClass("com/ombrel/eQintra/hllbridge/QMXAPIEnabler"),
                                  jvm.DefineClass("java/lang/Object")};
    auto text = [&jvm](const jvalue& arg) { return jvm.Utf8Of(static_cast<jstring>(arg.l)); };
    jvm.DefineMethod(enabler.type, "startSession", kStartSignature,
                     [text, enabler](JNIEnv* env, jobject, const jvalue* args) {
                         if (args[0].l == nullptr || !env->IsInstanceOf(args[0].l, enabler.argument)) {
                             return JLong(0xBAD);
                         }
                         const auto length = static_cast<std::uint32_t>(text(args[1]).size());
                         const auto mode = static_cast<std::uint32_t>(args[3].i);
                         return JLong((jlong{5} << 32) | StartAnswer(text(args[2])[0], length, mode));
                     });
    jvm.DefineMethod(enabler.type, "stopSession", kShortNameZ, [text](JNIEnv*, jobject, const jvalue* args) {
        if (text(args[1])[0] == kHoldLetter) {
            SignalNamedEvent(HeldEventName());
            platform::UniqueHandle release(platform::OpenNamedEvent(ReleaseEventName().c_str()));
            platform::WaitForEvent(release.get(), kWaitForTheTestMs);
        }
        return JBoolean(text(args[1]) == "A");
    });
    auto trueForB = [text](JNIEnv*, jobject, const jvalue* args) { return JBoolean(text(args[1]) == "B"); };
    jvm.DefineMethod(enabler.type, "connectSession", kShortNameZ, trueForB);
    jvm.DefineMethod(enabler.type, "disconnectSession", kShortNameZ, trueForB);
    jvm.DefineMethod(enabler.type, "queryEmulatorStatus", "(Ljava/lang/Object;Ljava/lang/String;)J",
                     [text](JNIEnv*, jobject, const jvalue* args) { return JLong(0x1000 | text(args[1])[0]); });
    jvm.DefineMethod(enabler.type, "queryProfile", kShortNameZ,
                     [text, &jvm](JNIEnv* env, jobject self, const jvalue* args) {
                         if (text(args[1]) != "C") return JBoolean(false);
                         SetReplyData(jvm, env, self, {kProfileOfC, kProfileOfC + std::strlen(kProfileOfC) + 1});
                         return JBoolean(true);
                     });
    jvm.DefineMethod(enabler.type, "querySessionList", "(Ljava/lang/Object;)J",
                     [&jvm](JNIEnv* env, jobject self, const jvalue*) {
                         SetReplyData(jvm, env, self, ListedSessions());
                         return JLong(kListedSessions);
                     });
    return enabler;
}

void RegisterEnabler(FakeJvm& jvm, const ScriptedEnabler& enabler) {
    JavaThreadScope java(jvm);
    JNIEnv* env = jvm.env();
    jobject object = jvm.NewObject(enabler.type);
    jobject argument = jvm.NewObject(enabler.argument);
    Java_com_ombrel_eQintra_hllbridge_QMXAPIEnabler_cppRegisterQMXAPI(env, object, argument);
    env->DeleteLocalRef(object);
    env->DeleteLocalRef(argument);
}

void UnregisterEnabler(FakeJvm& jvm) {
    JavaThreadScope java(jvm);
    Java_com_ombrel_eQintra_hllbridge_QMXAPIEnabler_cppUnregisterQMXAPI(jvm.env(), nullptr, nullptr);
}

Hold::Hold()
    : held_(platform::CreateNamedEvent(false, HeldEventName().c_str())),
      release_(platform::CreateNamedEvent(true, ReleaseEventName().c_str())) {}

void QMXAPITest::SetUp() {
    ASSERT_NE(QMXAPITable(), nullptr);
    ASSERT_EQ(Control().QMXAPIThreadId.load(), 0u) << "a service thread is left from earlier";
    SessionBlock templ;
    templ.ProcessID = platform::CurrentProcessId();
    templ.Established = 1;
    ASSERT_TRUE(Sessions()->AddNamedSession(templ, 'B'));
}

void QMXAPITest::TearDown() {
    if (Process().startedQMXAPIThread) UnregisterEnabler(jvm_);
    SetEmulatorJavaVM(nullptr);  // the stand-in dies with the test
    // Every record of this process (its threads' and made-up ones) goes, so
    // that the next request of a thread starts as a new caller's.
    const std::uint32_t self = platform::CurrentProcessId();
    while (QMXAPIBlock* record = QMXAPITable()->FindQMXAPIBlock(self)) {
        QMXAPITable()->RemoveQMXAPIBlock(self, record->ThreadId);
    }
    Sessions()->RemoveSession('B');
    Control().QMXAPIThreadId.store(0);  // a killed emulator's
}

}  // namespace trv::test
