// What the session-API tests share: the test process attached to the shared
// state (in a namespace of its own); a stand-in QMXAPIEnabler whose Java
// methods answer from a script (DefineScriptedEnabler, whose answers the
// tests know); a responder child that registers it with the library, so
// that callers meet a real service thread in another process; and caller
// threads with a time limit. The library itself answers connection info and
// link timeout with 0, and adds the established bit for a session that is
// established in the session table.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

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
// script finds them by name, in this process or a responder child.
class Hold {
public:
    Hold();
    bool WaitHeld();
    void Release();

private:
    platform::UniqueHandle held_;
    platform::UniqueHandle release_;
};

// A responder child; ready() once its service thread serves. Destroying it
// asks it to quit and waits (killing it past the limit).
class Responder {
public:
    Responder();
    ~Responder();
    Responder(const Responder&) = delete;
    Responder& operator=(const Responder&) = delete;

    bool ready() const { return ready_; }
    std::uint32_t serviceThread() const { return serviceThread_; }
    void Kill() {
        process_.Kill();
        stopped_ = true;
    }
    bool stopped() const { return stopped_; }
    // Posts the quit message to its service thread; the exit code.
    int Stop();

private:
    platform::UniqueHandle readyEvent_;
    RoleProcess process_;
    std::uint32_t serviceThread_ = 0;
    bool ready_ = false;
    bool stopped_ = false;
};

// A caller thread of the test process (see support/test_thread.h) that frees
// its session-API record when its body ends.
class CallerThread : public TestThread {
public:
    explicit CallerThread(std::function<void()> body);
};

// Frees the calling thread's session-API record.
void ForgetOwnRecord();

}  // namespace trv::test
