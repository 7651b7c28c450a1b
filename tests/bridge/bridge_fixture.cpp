// The test process as the emulator: attached once for the whole binary in a
// namespace of its own, with error boxes unattended.
#include "bridge_fixture.h"

#include <cstring>

#include "bridge/dispatch.h"
#include "bridge/emulator_state.h"
#include "bridge/hll_bridge_natives.h"
#include "jni/java_vm.h"
#include "platform/clock.h"
#include "support/attached_caller.h"
#include "platform/thread.h"
#include "tables/application_list.h"
#include "tables/session_list.h"
#include "trvha64.h"

namespace trv::test {
namespace {

[[maybe_unused]] testing::Environment* const g_attached =
    testing::AddGlobalTestEnvironment(new AttachedCaller("bridge-tests"));

}  // namespace

bool Eventually(const std::function<bool()>& condition, std::uint32_t limitMs) {
    const std::uint32_t started = platform::TickCount();
    while (!condition()) {
        if (platform::TickCount() - started > limitMs) return false;
        platform::SleepMs(10);
    }
    return true;
}

void BridgeTest::SetUp() {
    ASSERT_NE(Sessions(), nullptr);
    ASSERT_NE(Applications(), nullptr);
    jvm_ = std::make_unique<FakeJvm>();
    javaThread_ = std::make_unique<JavaThreadScope>(*jvm_);
    SetServiceStopWait(kDefaultServiceStopWaitMs);
}

void BridgeTest::TearDown() {
    for (jobject bridge : registered_) {
        Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppUnregisterEHLLAPI(env(), bridge);
    }
    for (std::uint32_t thread : blockThreads_) {
        Applications()->RemoveApplicationBlock(platform::CurrentProcessId(), thread);
    }
    SetEmulatorJavaVM(nullptr);
    javaThread_.reset();
    jvm_.reset();
}

jobject BridgeTest::NewBridge(jchar letter) {
    jclass type = jvm_->DefineClass("com/ombrel/eQintra/hllbridge/HLLBridge#" +
                                    std::to_string(classes_.size()));
    jvm_->DefineMethod(type, "getSessionID", "()C",
                       [letter](JNIEnv*, jobject, const jvalue*) { return JChar(letter); });
    jobject bridge = jvm_->NewObject(type);
    classes_[bridge] = type;
    return bridge;
}

void BridgeTest::Define(jobject bridge, const std::string& name, const std::string& signature,
                        FakeMethod body) {
    jvm_->DefineMethod(classes_.at(bridge), name, signature, std::move(body));
}

void BridgeTest::Register(jobject bridge) {
    Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppRegisterEHLLAPI(env(), bridge, bridge);
    registered_.push_back(bridge);
}

void BridgeTest::Unregister(jobject bridge) {
    Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppUnregisterEHLLAPI(env(), bridge);
    std::erase(registered_, bridge);
}

ApplicationBlock& BridgeTest::ServedBlock(char letter) {
    const std::uint32_t thread = platform::CurrentThreadId();
    ApplicationBlock* block = Applications()->AddApplicationBlock(platform::CurrentProcessId(), thread, false);
    if (block == nullptr) throw std::runtime_error("no free exchange block");
    blockThreads_.push_back(thread);
    char name[kBlockNameSize + 1] = {};
    std::memcpy(name, block->BlockName, kBlockNameSize);
    Sessions()->SetCaller(name, letter);
    return *block;
}

void SessionTest::SetUp() {
    BridgeTest::SetUp();
    bridge_ = NewBridge(kSessionLetter);
    Register(bridge_);
    // The service thread attaches as it starts; the counts the tests read
    // after this are their own.
    ASSERT_TRUE(Eventually([this] { return jvm().daemonAttaches() == 1; }));
}

ApplicationBlock& SessionTest::Block(std::uint32_t parms, std::uint32_t dataLength, std::int32_t position) {
    ApplicationBlock& block = ServedBlock(kSessionLetter);
    std::memset(block.Data, 0, kDataSize);
    block.SessionParms = parms;
    block.DataLength = dataLength;
    block.ReturnCode = static_cast<std::uint32_t>(position);
    block.AttrMode = 3;
    block.EotChar = ';';
    block.EscChar = '@';
    return block;
}

std::int32_t SessionTest::Run(ApplicationBlock& block, std::uint32_t function) {
    block.Function = function;
    ProcessEHLLAPICall(block, Sessions()->GetSession(kSessionLetter));
    return static_cast<std::int32_t>(block.ReturnCode);
}

std::int32_t SessionTest::WindowStatus(std::uint8_t option, std::uint16_t flags,
                                      std::array<std::int32_t, 5> geometry) {
    ApplicationBlock& block = ServedBlock(kSessionLetter);
    status_ = {};
    status_.ShortName = kSessionLetter;
    status_.Option = option;
    status_.Flags = flags;
    std::memcpy(&status_.X, geometry.data(), sizeof geometry);
    std::memcpy(block.Data, &status_, sizeof status_);
    const std::int32_t result = Run(block, HA_PM_WINDOW_STATUS);
    std::memcpy(&status_, block.Data, sizeof status_);
    return result;
}

void SessionTest::Record(const std::string& name, const std::string& signature, jlong result,
                         ApplicationBlock* block, std::string write) {
    Define(bridge_, name, signature, [=, this](JNIEnv*, jobject, const jvalue* args) {
        RecordedCall call;
        const jvalue* arg = args;
        for (std::size_t i = 1; signature[i] != ')'; ++i, ++arg) {
            if (signature[i] == '[') {
                const auto bytes = jvm().BytesOf(static_cast<jbyteArray>(arg->l));
                call.text.assign(bytes.begin(), bytes.end());
                call.texts.push_back(call.text);
                ++i;
            } else if (signature[i] == 'L') {
                call.text = jvm().Utf8Of(static_cast<jstring>(arg->l));
                call.texts.push_back(call.text);
                i = signature.find(';', i);
            } else {
                call.ints.push_back(signature[i] == 'Z' ? arg->z : arg->i);
            }
        }
        calls_[name].push_back(call);
        if (block != nullptr && !write.empty()) std::memcpy(block->Data, write.c_str(), write.size() + 1);
        return JLong(result);
    });
}

}  // namespace trv::test
