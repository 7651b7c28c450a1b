// What the session-API tests share: the test process attached in a namespace
// of its own, and a stand-in QMXAPIEnabler answering from a script, registered
// through the library's native method in the test process or in a child. The
// library itself answers connection info and link timeout with 0, and adds
// the established bit for a session established in the session table.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "platform/event.h"
#include "platform/handle.h"
#include "support/child_role.h"
#include "support/jni_double.h"
#include "support/test_thread.h"

namespace trv::test {

constexpr std::uint32_t kTestLimitMs = 20000;
constexpr char kHoldLetter = 'H';
constexpr std::uint32_t kListedSessions = 5;
constexpr const char* kProfileOfC = "PROFILE-C.WS";
constexpr const char* kShortNameZ = "(Ljava/lang/Object;Ljava/lang/String;)Z";
constexpr const char* kStartSignature = "(Ljava/lang/Object;Ljava/lang/String;Ljava/lang/String;I)J";

constexpr std::uint32_t StartAnswer(char letter, std::uint32_t profileLength, std::uint32_t mode) {
    return (static_cast<std::uint32_t>(letter) << 24) | (profileLength << 8) | mode;
}

// The scripted QMXAPIEnabler class of `jvm` and the class of its
// registration's argument. The start answers StartAnswer() of what it was
// sent, with 5 in the high 32 bits that the library drops (0xBAD when the
// first argument is not the registration's); a stop of kHoldLetter waits
// for the Hold's release.
struct ScriptedEnabler {
    jclass type;
    jclass argument;
};
ScriptedEnabler DefineScriptedEnabler(FakeJvm& jvm);

// Registration and unregistration as the emulator does them, with the
// calling thread attached as a Java thread for the call.
void RegisterEnabler(FakeJvm& jvm, const ScriptedEnabler& enabler);
void UnregisterEnabler(FakeJvm& jvm);

// The events a stop request for kHoldLetter signals and waits for; the
// script finds them by name, in this process or an emulator child.
class Hold {
public:
    Hold();
    bool WaitHeld() { return platform::WaitForEvent(held_.get(), kTestLimitMs) == platform::kWaitObject0; }
    void Release() { platform::SignalEvent(release_.get()); }

private:
    platform::UniqueHandle held_;
    platform::UniqueHandle release_;
};

// The test process as its own emulator and caller: session B established in
// the session table; the scripted enabler, registered by Register() and
// unregistered at the end; no service thread or record left over from it.
class QMXAPITest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    void Register() { RegisterEnabler(jvm_, enabler_); }

    FakeJvm jvm_;
    const ScriptedEnabler enabler_ = DefineScriptedEnabler(jvm_);
};

class ServedQMXAPITest : public QMXAPITest {
protected:
    void SetUp() override {
        QMXAPITest::SetUp();
        Register();
    }
};

}  // namespace trv::test
