// The exported waiting functions of Linux callers: an event signalled by
// another process releases trvWaitForHandle, a time limit answers 258, and a
// registered message posted by another process to a caller's window arrives
// through trvGetMessage with its parameters. Bad handles and null pointers
// answer the failure values.
#include <gtest/gtest.h>

#include <string>

#include "platform/event.h"
#include "platform/window.h"
#include "../platform_support.h"
#include "trvha64.h"

namespace trv::platform {
namespace {

constexpr std::intptr_t kCloseAttempt = HLLAPI_NOTIFY_CLOSE_ATTEMPT;

// args: window. Registers the notification message under its own spelling,
// must not be able to destroy the caller's window, then posts a notification
// to it.
TRV_CHILD_ROLE(caller_message_poster) {
    if (args.size() != 1) return 10;
    const WindowHandle window = std::stoull(args[0]);
    const std::uint32_t message = trvRegisterWindowMessage("QmxHll");
    if (message == 0) return 11;
    if (trvDestroyMessageWindow(window) != -1) return 12;
    return PostWindowMessage(window, message, 47, -kCloseAttempt) ? 0 : 13;
}

TEST(CallerWaitApiTest, WaitForHandleAnswersSignalledTimeLimitOrFailure) {
    const std::string name = test::UniqueName("caller_wait_event");
    UniqueHandle event(CreateNamedEvent(true, name.c_str()));
    ASSERT_TRUE(event);
    EXPECT_EQ(trvWaitForHandle(event.get(), 50), TRV_WAIT_TIMEOUT);
    test::RoleProcess signaller("signal_event", {name});
    EXPECT_EQ(trvWaitForHandle(event.get(), kLimitMs), TRV_WAIT_SIGNALLED);
    EXPECT_EQ(signaller.Wait(), 0);

    // Handles that are not open events of this process.
    EXPECT_EQ(trvWaitForHandle(0, 0), TRV_WAIT_FAILED);
    EXPECT_EQ(trvWaitForHandle(0x7654321u, 0), TRV_WAIT_FAILED);
    Handle closed = CreateNamedEvent(true, nullptr);
    ASSERT_TRUE(SignalEvent(closed));
    CloseObject(closed);
    EXPECT_EQ(trvWaitForHandle(closed, 0), TRV_WAIT_FAILED);
}

TEST(CallerWaitApiTest, RegisteredMessageFromAnotherProcessArrivesWithItsParameters) {
    DrainQueue();
    const std::uint32_t notification = trvRegisterWindowMessage("QMXHLL");
    EXPECT_NE(notification, 0u);
    EXPECT_EQ(trvRegisterWindowMessage("qmxhll"), notification);
    EXPECT_NE(trvRegisterWindowMessage("PROCESS_QMXAPICALL"), notification);

    const std::uintptr_t window = trvCreateMessageWindow();
    ASSERT_NE(window, 0u);
    test::RoleProcess poster("caller_message_poster", {std::to_string(window)});
    trvMessage message{};
    ASSERT_EQ(trvGetMessage(&message, kLimitMs), 1);
    EXPECT_EQ(message.window, window);
    EXPECT_EQ(message.message, notification);
    EXPECT_EQ(message.wParam, 47u);
    EXPECT_EQ(message.lParam, -kCloseAttempt);
    EXPECT_EQ(poster.Wait(), 0) << "the poster could not post, or destroyed a window it does not own";

    trvMessage none{};
    EXPECT_EQ(trvGetMessage(&none, 0), 0);
    EXPECT_EQ(trvGetMessage(&none, 50), 0);
    // A null message pointer leaves a queued message where it is.
    ASSERT_TRUE(PostWindowMessage(window, 0xC123, 5, 6));
    EXPECT_EQ(trvGetMessage(nullptr, 0), -1);
    EXPECT_EQ(trvGetMessage(&none, 0), 1);
    EXPECT_EQ(none.wParam, 5u);

    EXPECT_EQ(trvDestroyMessageWindow(window), 0);
    EXPECT_FALSE(IsWindowHandle(window));
    EXPECT_EQ(trvDestroyMessageWindow(window), -1);
    EXPECT_EQ(trvDestroyMessageWindow(0), -1);
    EXPECT_EQ(trvRegisterWindowMessage(nullptr), 0u);
    EXPECT_EQ(trvRegisterWindowMessage(""), 0u);
}

}  // namespace
}  // namespace trv::platform
