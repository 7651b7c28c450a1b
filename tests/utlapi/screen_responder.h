// The responder child that the UTLAPI and WinHLLAPI tests share: it
// registers session A and plays a 24 x 80 display session on it, answering
// in the 32-bit layouts of the exchange block. The screen starts blank with
// "MAIN MENU" at row 1 column 1, the byte 1F at row 2 column 1 and the
// cursor at position 1. On Notify() it raises, for its session, the
// notifications an emulator raises for a screen update and a close attempt.
// The child attaches in the namespace the test process set up.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "platform/handle.h"
#include "support/attached_caller.h"
#include "support/child_role.h"

namespace trv::test {

constexpr std::uint32_t kTestLimitMs = 20000;

class ScreenResponder {
public:
    ScreenResponder();
    ~ScreenResponder();
    bool ready() const { return ready_; }
    void Notify();

private:
    platform::UniqueHandle stop_;
    platform::UniqueHandle notify_;
    std::unique_ptr<RoleProcess> process_;
    bool ready_ = false;
};

// A screen responder that the suite's tests share (so a test
// sees what the ones before it wrote); each test ends as a new caller.
class ScreenResponderTest : public testing::Test {
protected:
    static void SetUpTestSuite() { responder_ = std::make_unique<ScreenResponder>(); }
    static void TearDownTestSuite() { responder_.reset(); }
    void SetUp() override { ASSERT_TRUE(responder_->ready()); }
    void TearDown() override { ForgetCallerBlocks(); }
    static inline std::unique_ptr<ScreenResponder> responder_;
};

}  // namespace trv::test
