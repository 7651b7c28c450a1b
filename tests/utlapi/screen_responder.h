// The responder child that the UTLAPI and WinHLLAPI tests share: it
// registers sessions and plays a 24 x 80 display session on each, answering
// in the 32-bit layouts of the exchange block (the functions it serves are
// listed at Answer in screen_responder.cpp). The screen starts blank with
// "MAIN MENU" at row 1 column 1, the byte 1F at row 2 column 1 and the
// cursor at position 1. On Notify() it raises, for each of its sessions, the
// notifications an emulator raises for a screen update and a close attempt.
// The child attaches in the namespace the test process set up, which it
// inherits.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/handle.h"
#include "support/attached_caller.h"
#include "support/child_role.h"

namespace trv::test {

constexpr std::uint32_t kTestLimitMs = 20000;

class ScreenResponder {
public:
    explicit ScreenResponder(const std::string& letters);
    ~ScreenResponder();
    ScreenResponder(const ScreenResponder&) = delete;
    ScreenResponder& operator=(const ScreenResponder&) = delete;
    bool ready() const { return ready_; }
    void Notify();

private:
    platform::UniqueHandle readyEvent_;
    platform::UniqueHandle stop_;
    platform::UniqueHandle notify_;
    std::unique_ptr<RoleProcess> process_;
    bool ready_ = false;
};

// A screen responder with session A that the suite's tests share (so a test
// sees what the ones before it wrote); each test ends as a new caller.
class ScreenResponderTest : public testing::Test {
protected:
    static void SetUpTestSuite() { responder_ = std::make_unique<ScreenResponder>("A"); }
    static void TearDownTestSuite() { responder_.reset(); }
    void SetUp() override { ASSERT_TRUE(responder_->ready()); }
    void TearDown() override { ForgetCallerBlocks(); }
    static inline std::unique_ptr<ScreenResponder> responder_;
};

}  // namespace trv::test
