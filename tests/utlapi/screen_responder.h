// The responder child that the UTLAPI and WinHLLAPI tests share: it
// registers sessions and plays a 24 x 80 display session on each, in the
// 32-bit layouts of the exchange block:
//   3 Send Key: writes the key text at the cursor and moves the cursor on
//   6 Search Presentation Space: the position of the text's first occurrence
//   7 / 40: the cursor position
//   8 / 34: the screen (34: from the start of the position's row, one field
//      per row) at the position, length characters
//   13 Copy OIA: format '9', byte 89 = 0x04 (ready), other bytes 0
//   14 Query Field Attribute: 0x24 on rows 1..12, 0x08 below
//   15 / 33: writes the text at the position (33: at its row's start)
//   22 Query Session Status: the letter, "SESSION ", display 'D' with the
//      characteristics byte 'X', 24 rows, 80 columns, code page 1252
//   30 Search Field: the position of the text in the position's row
//   31 Find Field Position / 32 Length: the next row's start / 80
// The screen starts blank with "MAIN MENU" at row 1 column 1, the byte 1F at
// row 2 column 1 and the cursor at position 1. On Notify() it raises, for
// each of its sessions, the notifications an emulator raises for a screen
// update and a close attempt. The child attaches in the namespace the test
// process set up, which it inherits.
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
