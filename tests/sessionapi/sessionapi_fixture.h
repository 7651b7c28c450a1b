// What the session-API tests share: the test process attached to the shared
// state (in a namespace of its own), a responder child that serves QMXAPI
// requests at the protocol level as the emulator's service thread does, and
// caller threads with a time limit.
//
// The responder answers by request code (see responder_role.cpp):
//   start (0)    (short name << 24) | (length of the profile << 8) | window mode
//   stop (1)     1 for 'A', else 0; 'H' signals "held" and never answers
//   connect (2), disconnect (4)   1 for 'B', else 0
//   list (8)     5 sessions 'A'..'E', bytes 1..3 "xyz", status 0x100 * (i + 1)
//   status (16)  0x1000 | short name
//   profile (32) 'C': text "PROFILE-C.WS" and 1; else 0, text untouched
//   connection info (64)   0
//   link timeout (128)     the short name found in the record (a test probe)
//   other codes: the result is left untouched
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/handle.h"
#include "platform/thread.h"
#include "support/child_role.h"
#include "support/test_thread.h"

namespace trv::test {

constexpr std::uint32_t kTestLimitMs = 20000;
constexpr char kHoldLetter = 'H';
constexpr std::uint32_t kListedSessions = 5;
constexpr const char* kProfileOfC = "PROFILE-C.WS";

std::string ResponderReadyEventName();
std::string ResponderHeldEventName();

// A responder child; ready() once its service id is in the control record.
// Destroying it asks it to quit and waits (killing it past the limit).
class Responder {
public:
    Responder();
    ~Responder();
    Responder(const Responder&) = delete;
    Responder& operator=(const Responder&) = delete;

    bool ready() const { return ready_; }
    std::uint32_t serviceThread() const { return serviceThread_; }
    bool WaitHeld();
    void Kill() {
        process_->Kill();
        stopped_ = true;
    }
    bool stopped() const { return stopped_; }
    // Posts the quit message to its service thread; the exit code.
    int Stop();

private:
    platform::UniqueHandle readyEvent_;
    platform::UniqueHandle heldEvent_;
    std::unique_ptr<RoleProcess> process_;
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
