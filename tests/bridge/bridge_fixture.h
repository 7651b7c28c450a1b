// What the bridge tests share: the test process attached to the shared state
// as the emulator (in a namespace of named objects of its own), a JNI double
// per test with the test thread attached as a Java thread, fake HLLBridge
// objects whose methods are callbacks, and one registered session served by
// the test thread's block.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "protocol/caller_data.h"
#include "support/jni_double.h"

namespace trv {
struct ApplicationBlock;
}

namespace trv::test {

constexpr std::uint32_t kTestLimitMs = 20000;
constexpr std::uint32_t kScreenBytes = 1920;
constexpr jlong kScreenSizePacked = static_cast<jlong>(kScreenBytes) << 16;

// Polls `condition` every 10 ms until it holds or `limitMs` passes.
bool Eventually(const std::function<bool()>& condition, std::uint32_t limitMs = kTestLimitMs);

class BridgeTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A fake HLLBridge object answering `letter` to getSessionID (any char,
    // so that bad letters can be tried); its class has no other method until
    // a test defines one with Define.
    jobject NewBridge(jchar letter);
    void Define(jobject bridge, const std::string& name, const std::string& signature, FakeMethod body);

    // Registration through the natives, on the test thread; Register also
    // remembers the object so that TearDown unregisters it.
    void Register(jobject bridge);
    void Unregister(jobject bridge);

    // A caller block of this process (one per test thread), made the caller
    // that session `letter` is serving.
    ApplicationBlock& ServedBlock(char letter);

    JNIEnv* env() { return jvm_->env(); }
    FakeJvm& jvm() { return *jvm_; }

private:
    std::unique_ptr<FakeJvm> jvm_;
    std::unique_ptr<JavaThreadScope> javaThread_;
    std::map<jobject, jclass> classes_;
    std::vector<jobject> registered_;
    std::vector<std::uint32_t> blockThreads_;
};

// One call of a recorded method: the byte-array and string arguments as
// texts (`text` the last of them), the others as ints (booleans as 0 or 1).
struct RecordedCall {
    std::string text;
    std::vector<std::string> texts;
    std::vector<jint> ints;
};

// Session kSessionLetter registered by a fake HLLBridge object, its service
// thread started, and the test thread's block as the caller it serves.
class SessionTest : public BridgeTest {
public:
    static constexpr char kSessionLetter = 'H';

    void SetUp() override;
    // The test thread's block with Data zeroed, the request's parameters, its
    // position (the ReturnCode on entry), AttrMode 3, escape '@' and end ';'.
    ApplicationBlock& Block(std::uint32_t parms = 0, std::uint32_t dataLength = 0, std::int32_t position = 0);
    // Runs `function` on `block` as the service thread would: the return code.
    std::int32_t Run(ApplicationBlock& block, std::uint32_t function);
    // Defines `name` to answer `result` and to record its arguments, as
    // `signature` types them, in calls_[name]; while it runs it writes
    // `write` (when not empty), with its NUL, into `block`'s Data, as the
    // reply natives would.
    void Record(const std::string& name, const std::string& signature, jlong result,
                ApplicationBlock* block = nullptr, std::string write = {});
    // Window Status on the test thread's block: the request (`option`,
    // `flags`, and for a set X, Y, Width, Height and ZOrder) into Data, the
    // rest of Data as it is; answers the return code and leaves in `status_`
    // the record Data holds afterwards.
    std::int32_t WindowStatus(std::uint8_t option, std::uint16_t flags, std::array<std::int32_t, 5> geometry = {});

    jobject bridge_ = nullptr;
    std::map<std::string, std::vector<RecordedCall>> calls_;
    WindowStatusRecord status_{};
};

// A packed result of the emulator's methods: the value above the low 16
// bits, the return code in them.
constexpr jlong Packed(std::int32_t value, std::int32_t code = 0) {
    return (static_cast<jlong>(value) << 16) | code;
}

}  // namespace trv::test
