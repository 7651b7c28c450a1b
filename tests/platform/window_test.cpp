// Message-only windows: messages go to the thread that created the window; a
// destroyed window is gone for every process. (Window messages from another
// process, in order with thread messages, are tested in
// message_queue_test.cpp.)
#include <gtest/gtest.h>

#include <string>

#include "platform/event.h"
#include "platform/message_queue.h"
#include "platform/window.h"
#include "queue_support.h"
#include "support/child_role.h"
#include "support/test_thread.h"

namespace trv::platform {
namespace {

constexpr std::uint32_t kFirstMessage = 0x0400 + 0x42;

// args: window. Exits 0 when the window is unknown and refuses a post.
TRV_CHILD_ROLE(window_absent) {
    if (args.size() != 1) return 10;
    const WindowHandle window = std::stoull(args[0]);
    if (IsWindowHandle(window)) return 11;
    return PostWindowMessage(window, kFirstMessage, 0, 0) ? 12 : 0;
}

TEST(MessageWindowTest, DestroyedWindowIsGoneForEveryProcess) {
    const WindowHandle window = CreateMessageWindow();
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(IsWindowHandle(window));
    DestroyMessageWindow(window);
    EXPECT_FALSE(IsWindowHandle(window));
    EXPECT_FALSE(PostWindowMessage(window, kFirstMessage, 0, 0));
    trv::test::RoleProcess checker("window_absent", {std::to_string(window)});
    EXPECT_EQ(checker.Wait(), 0);
}

TEST(MessageWindowTest, MessagesGoToTheThreadThatCreatedTheWindow) {
    DrainQueue();
    UniqueHandle ready(CreateNamedEvent(true, nullptr));
    ASSERT_TRUE(ready);
    WindowHandle window = 0;
    MessageWait result = MessageWait::failed;
    ThreadMessage received;
    trv::test::TestThread owner([&] {
        window = CreateMessageWindow();
        SignalEvent(ready.get());
        if (window == 0) return;
        result = GetThreadMessage(received, kReceiveLimitMs);
        DestroyMessageWindow(window);
    });
    ASSERT_EQ(WaitForEvent(ready.get(), kReceiveLimitMs), kWaitObject0);
    ASSERT_NE(window, 0u);

    EXPECT_TRUE(PostWindowMessage(window, kFirstMessage + 5, 55, 66));
    ASSERT_TRUE(owner.Join());
    EXPECT_EQ(result, MessageWait::message);
    EXPECT_EQ(received.window, window);
    EXPECT_EQ(received.message, kFirstMessage + 5);
    EXPECT_EQ(received.wParam, 55u);
    EXPECT_EQ(received.lParam, 66);

    ThreadMessage mine;
    EXPECT_EQ(GetThreadMessage(mine, 0), MessageWait::timed_out);
    EXPECT_FALSE(IsWindowHandle(window)) << "the owner's destroy did not take";
}

}  // namespace
}  // namespace trv::platform
