// The exported waiting functions of Linux callers where they do more than
// hand over to the backend: argument checks and another process's window.
// (Signals, time limits, message fields: tests/e2e/notification_test.cpp.)
#include <gtest/gtest.h>

#include <string>

#include "platform/window.h"
#include "../platform_support.h"
#include "trvha64.h"

namespace trv::platform {
namespace {

// args: a window of the parent process. 0 when destroying it is refused.
TRV_CHILD_ROLE(foreign_window_destroyer) {
    return args.size() == 1 && trvDestroyMessageWindow(std::stoull(args[0])) == -1 ? 0 : 10;
}

TEST(CallerWaitApiTest, BadArgumentsAndOtherProcessesObjectsFail) {
    EXPECT_EQ(trvWaitForHandle(0, 0), TRV_WAIT_FAILED);
    EXPECT_EQ(trvWaitForHandle(0x7654321u, 0), TRV_WAIT_FAILED);
    EXPECT_EQ(trvRegisterWindowMessage(nullptr), 0u);
    EXPECT_EQ(trvRegisterWindowMessage(""), 0u);

    DrainQueue();
    const std::uintptr_t window = trvCreateMessageWindow();
    EXPECT_EQ(test::RoleProcess("foreign_window_destroyer", {std::to_string(window)}).Wait(), 0);
    ASSERT_TRUE(PostWindowMessage(window, 0xC123, 5, 6)) << "the other process destroyed the window";
    trvMessage message{};
    EXPECT_EQ(trvGetMessage(nullptr, 0), -1);
    EXPECT_EQ(trvGetMessage(&message, 0), 1) << "the read without a message pointer took the message";
    EXPECT_EQ(trvGetMessage(&message, 0), 0);

    EXPECT_EQ(trvDestroyMessageWindow(window), 0);
    EXPECT_EQ(trvDestroyMessageWindow(window), -1);
    EXPECT_EQ(trvDestroyMessageWindow(0), -1);
}

}  // namespace
}  // namespace trv::platform
