// Message-only windows: messages posted from another process arrive in the
// owner thread's queue with their window; a destroyed window is gone for
// every process.
#include <gtest/gtest.h>

#include <string>

#include "platform/event.h"
#include "platform/message_queue.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "queue_support.h"
#include "support/child_role.h"

namespace trv::platform {
namespace {

constexpr std::uint32_t kFirstMessage = 0x0400 + 0x42;

// Destroys the window when the test leaves, also on a failed assertion.
class ScopedWindow {
public:
    ScopedWindow() : window_(CreateMessageWindow()) {}
    ~ScopedWindow() { DestroyMessageWindow(window_); }
    ScopedWindow(const ScopedWindow&) = delete;
    ScopedWindow& operator=(const ScopedWindow&) = delete;
    WindowHandle get() const { return window_; }

private:
    WindowHandle window_;
};

// args: window, message count.
TRV_CHILD_ROLE(window_poster) {
    if (args.size() != 2) return 10;
    const WindowHandle window = std::stoull(args[0]);
    const int count = std::stoi(args[1]);
    if (!IsWindowHandle(window)) return 11;
    for (int i = 0; i < count; ++i) {
        if (!PostWindowMessage(window, kFirstMessage + static_cast<std::uint32_t>(i),
                               static_cast<std::uintptr_t>(100 + i), -7 * i)) {
            return 12;
        }
    }
    return 0;
}

// args: window. Exits 0 when the window is unknown and refuses a post.
TRV_CHILD_ROLE(window_absent) {
    if (args.size() != 1) return 10;
    const WindowHandle window = std::stoull(args[0]);
    if (IsWindowHandle(window)) return 11;
    if (PostWindowMessage(window, kFirstMessage, 0, 0)) return 12;
    return 0;
}

TEST(MessageWindowTest, MessagesFromAnotherProcessArriveWithTheirWindow) {
    DrainQueue();
    ScopedWindow window;
    ASSERT_NE(window.get(), 0u);
    EXPECT_TRUE(IsWindowHandle(window.get()));

    constexpr int kCount = 20;
    trv::test::RoleProcess poster("window_poster",
                                  {std::to_string(window.get()), std::to_string(kCount)});
    ASSERT_TRUE(poster.started());
    for (int i = 0; i < kCount; ++i) {
        ThreadMessage message;
        ASSERT_EQ(GetThreadMessage(message, kReceiveLimitMs), MessageWait::message) << i;
        EXPECT_EQ(message.window, window.get());
        EXPECT_EQ(message.message, kFirstMessage + static_cast<std::uint32_t>(i));
        EXPECT_EQ(message.wParam, static_cast<std::uintptr_t>(100 + i));
        EXPECT_EQ(message.lParam, -7 * i);
    }
    EXPECT_EQ(poster.Wait(), 0);
}

TEST(MessageWindowTest, DestroyedWindowIsGoneForEveryProcess) {
    const WindowHandle window = CreateMessageWindow();
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(IsWindowHandle(window));
    DestroyMessageWindow(window);
    EXPECT_FALSE(IsWindowHandle(window));
    EXPECT_FALSE(PostWindowMessage(window, kFirstMessage, 0, 0));

    trv::test::RoleProcess checker("window_absent", {std::to_string(window)});
    ASSERT_TRUE(checker.started());
    EXPECT_EQ(checker.Wait(), 0);
}

TEST(MessageWindowTest, WindowsAndThreadMessagesShareOneQueueInOrder) {
    DrainQueue();
    ScopedWindow first;
    ScopedWindow second;
    ASSERT_NE(first.get(), 0u);
    ASSERT_NE(second.get(), 0u);
    ASSERT_NE(first.get(), second.get());

    ASSERT_TRUE(PostWindowMessage(second.get(), kFirstMessage, 1, 0));
    ASSERT_TRUE(PostToThread(CurrentThreadId(), kFirstMessage, 2, 0));
    ASSERT_TRUE(PostWindowMessage(first.get(), kFirstMessage, 3, 0));

    const WindowHandle expected[] = {second.get(), 0, first.get()};
    for (std::uintptr_t i = 0; i < 3; ++i) {
        ThreadMessage message;
        ASSERT_EQ(GetThreadMessage(message, kReceiveLimitMs), MessageWait::message);
        EXPECT_EQ(message.window, expected[i]);
        EXPECT_EQ(message.wParam, i + 1);
    }
}

struct WindowOwner {
    UniqueHandle ready{CreateNamedEvent(true, nullptr)};
    WindowHandle window = 0;
    MessageWait result = MessageWait::failed;
    ThreadMessage received;
};

// Creates a window, publishes it, reads one message and destroys the window.
std::uint32_t OwnWindowAndReadOne(void* raw) {
    auto* owner = static_cast<WindowOwner*>(raw);
    owner->window = CreateMessageWindow();
    SignalEvent(owner->ready.get());
    if (owner->window == 0) return 1;
    owner->result = GetThreadMessage(owner->received, kReceiveLimitMs);
    DestroyMessageWindow(owner->window);
    return 0;
}

TEST(MessageWindowTest, MessagesGoToTheThreadThatCreatedTheWindow) {
    DrainQueue();
    WindowOwner owner;
    StartedThread thread = StartThread(OwnWindowAndReadOne, &owner);
    ASSERT_NE(thread.handle, kNoHandle);
    UniqueHandle threadOwner(thread.handle);
    ASSERT_EQ(WaitForEvent(owner.ready.get(), kReceiveLimitMs), kWaitObject0);
    ASSERT_NE(owner.window, 0u);

    EXPECT_TRUE(PostWindowMessage(owner.window, kFirstMessage + 5, 55, 66));
    ASSERT_EQ(WaitForThread(thread.handle, kJoinLimitMs), kWaitObject0);
    EXPECT_EQ(owner.result, MessageWait::message);
    EXPECT_EQ(owner.received.window, owner.window);
    EXPECT_EQ(owner.received.message, kFirstMessage + 5);
    EXPECT_EQ(owner.received.wParam, 55u);
    EXPECT_EQ(owner.received.lParam, 66);

    ThreadMessage mine;
    EXPECT_EQ(GetThreadMessage(mine, 0), MessageWait::timed_out);
    EXPECT_FALSE(IsWindowHandle(owner.window));
}

}  // namespace
}  // namespace trv::platform
