// Thread message queues and message-only windows: thread and window messages
// posted from another process arriving in one queue in posting order, window
// messages going to the thread that created the window, a destroyed window
// gone for every process, and refusal for a thread without a queue. (A stop
// request ending a message wait is tested with the other stops in
// thread_test.cpp; the quit message ends the session API's threads in its
// tests.)
#include <gtest/gtest.h>

#include <string>

#include "platform/event.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "platform_support.h"

namespace trv::platform {
namespace {

// Application-defined message numbers (the Win32 WM_USER range).
constexpr std::uint32_t kFirstMessage = 0x0400 + 0x21;

// args: thread id, window, message count. Posts messages numbered in
// sequence with wParam = i and lParam = -i, every third one to the thread and
// the others to the window. Exit code 11: the window is unknown here.
TRV_CHILD_ROLE(queue_poster) {
    if (args.size() != 3) return 10;
    const auto thread = static_cast<std::uint32_t>(std::stoul(args[0]));
    const WindowHandle window = std::stoull(args[1]);
    const int count = std::stoi(args[2]);
    if (!IsWindowHandle(window)) return 11;
    for (int i = 0; i < count; ++i) {
        const std::uint32_t message = kFirstMessage + static_cast<std::uint32_t>(i % 7);
        const auto wParam = static_cast<std::uintptr_t>(i);
        const std::intptr_t lParam = -i;
        if (!(i % 3 == 0 ? PostToThread(thread, message, wParam, lParam)
                         : PostWindowMessage(window, message, wParam, lParam))) {
            return 12;
        }
    }
    return 0;
}

TEST(ThreadMessageQueueTest, ThreadAndWindowMessagesFromAnotherProcessArriveInPostingOrder) {
    DrainQueue();
    const WindowHandle window = CreateMessageWindow();
    ASSERT_NE(window, 0u);
    constexpr int kCount = 200;
    test::RoleProcess poster("queue_poster", {std::to_string(CurrentThreadId()),
                                              std::to_string(window), std::to_string(kCount)});
    for (int i = 0; i < kCount; ++i) {
        ThreadMessage message;
        ASSERT_EQ(GetThreadMessage(message, kLimitMs), MessageWait::message) << i;
        EXPECT_EQ(message.window, i % 3 == 0 ? 0u : window) << i;
        EXPECT_EQ(message.message, kFirstMessage + static_cast<std::uint32_t>(i % 7)) << i;
        EXPECT_EQ(message.wParam, static_cast<std::uintptr_t>(i));
        ASSERT_EQ(message.lParam, -static_cast<std::intptr_t>(i));
    }
    EXPECT_EQ(poster.Wait(), 0);
    ThreadMessage extra;
    EXPECT_EQ(GetThreadMessage(extra, 0), MessageWait::timed_out);

    DestroyMessageWindow(window);
    EXPECT_FALSE(IsWindowHandle(window));
    EXPECT_FALSE(PostWindowMessage(window, kFirstMessage, 0, 0));
    test::RoleProcess checker("queue_poster", {std::to_string(CurrentThreadId()), std::to_string(window), "1"});
    EXPECT_EQ(checker.Wait(), 11) << "the destroyed window lives on in another process";
}

// A thread that never touched a queue refuses posts; window messages go to
// the thread that created the window, and that thread's destroy takes.
TEST(ThreadMessageQueueTest, PostsReachTheThreadWithTheQueueOrTheWindow) {
    DrainQueue();
    UniqueHandle ready(CreateNamedEvent(false, nullptr));
    UniqueHandle release(CreateNamedEvent(true, nullptr));
    ASSERT_TRUE(ready && release);
    test::TestThread idle([&] {
        SignalEvent(ready.get());
        WaitForEvent(release.get(), kLimitMs);
    });
    ASSERT_EQ(WaitForEvent(ready.get(), kLimitMs), kWaitObject0);
    EXPECT_FALSE(PostToThread(idle.id(), kFirstMessage, 1, 2));
    SignalEvent(release.get());
    EXPECT_TRUE(idle.Join());

    WindowHandle window = 0;
    ThreadMessage received[2];
    MessageWait results[2] = {MessageWait::failed, MessageWait::failed};
    test::TestThread owner([&] {
        window = CreateMessageWindow();
        SignalEvent(ready.get());
        if (window == 0) return;
        for (int i = 0; i < 2; ++i) results[i] = GetThreadMessage(received[i], kLimitMs);
        DestroyMessageWindow(window);
    });
    ASSERT_EQ(WaitForEvent(ready.get(), kLimitMs), kWaitObject0);
    ASSERT_NE(window, 0u);
    EXPECT_TRUE(PostToThread(owner.id(), kFirstMessage + 1, 3, 4));
    EXPECT_TRUE(PostWindowMessage(window, kFirstMessage + 5, 55, 66));
    ASSERT_TRUE(owner.Join());
    EXPECT_EQ(results[0], MessageWait::message);
    EXPECT_EQ(received[0].message, kFirstMessage + 1);
    EXPECT_EQ(received[0].lParam, 4);
    EXPECT_EQ(results[1], MessageWait::message);
    EXPECT_EQ(received[1].window, window);
    EXPECT_EQ(received[1].message, kFirstMessage + 5);
    EXPECT_EQ(received[1].wParam, 55u);
    EXPECT_EQ(received[1].lParam, 66);

    ThreadMessage mine;
    EXPECT_EQ(GetThreadMessage(mine, 0), MessageWait::timed_out);
    EXPECT_FALSE(IsWindowHandle(window)) << "the owner's destroy did not take";
}

}  // namespace
}  // namespace trv::platform
