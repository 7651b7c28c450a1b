// What the WinHLLAPI tests share: the test process attached as a caller (its
// attach registers the completion messages),
// and a responder child that registers sessions and answers requests in the
// 32-bit layouts, echoing part of each request so that a test sees what
// reached the session:
//   22 Query Session Status: request bytes 0..3 echoed, "STATUS" + letter +
//      "!" at 4..11, 'D' at 12, 'X' at 13, u16 24, 80, 1252 at 14, 16, 18
//   any other: code 0
// and, on Notify(), raises for each of its sessions the notifications an
// emulator raises for a screen update and a close attempt.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/handle.h"
#include "support/attached_caller.h"
#include "support/child_role.h"

namespace trv::test {

constexpr std::uint32_t kTestLimitMs = 20000;

class CompatResponder {
public:
    explicit CompatResponder(const std::string& letters);
    ~CompatResponder();
    CompatResponder(const CompatResponder&) = delete;
    CompatResponder& operator=(const CompatResponder&) = delete;
    bool ready() const { return ready_; }
    // Asks the responder to notify the callers registered with its sessions.
    void Notify();

private:
    platform::UniqueHandle readyEvent_;
    platform::UniqueHandle stop_;
    platform::UniqueHandle notify_;
    std::unique_ptr<RoleProcess> process_;
    bool ready_ = false;
};

}  // namespace trv::test
