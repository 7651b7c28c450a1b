// What the bridge tests share: the test process attached to the shared state
// as the emulator (in a namespace of named objects of its own), a JNI double
// per test with the test thread attached as a Java thread, fake HLLBridge
// objects whose methods are callbacks, and a caller child process.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/handle.h"
#include "support/child_role.h"
#include "support/jni_double.h"

namespace trv {
struct ApplicationBlock;
}

namespace trv::test {

constexpr std::uint32_t kTestLimitMs = 20000;
constexpr std::uint32_t kScreenBytes = 1920;
constexpr jlong kScreenSizePacked = static_cast<jlong>(kScreenBytes) << 16;

// The screen the fake emulator shows: 'A'..'Z' repeated.
std::vector<std::uint8_t> FakeScreen();

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
    // A "()J" method answering `result`.
    void DefineLong(jobject bridge, const std::string& name, jlong result);

    // Registration through the natives, on the test thread; Register also
    // remembers the object so that TearDown unregisters it.
    void Register(jobject bridge);
    void Unregister(jobject bridge);

    // A caller block of this process (one per test thread), made the caller
    // that session `letter` is serving.
    ApplicationBlock& ServedBlock(char letter);

public:
    JNIEnv* env() { return jvm_->env(); }
    FakeJvm& jvm() { return *jvm_; }

private:
    std::unique_ptr<FakeJvm> jvm_;
    std::unique_ptr<JavaThreadScope> javaThread_;
    std::map<jobject, jclass> classes_;
    std::vector<jobject> registered_;
    std::vector<std::uint32_t> blockThreads_;
};

}  // namespace trv::test
