// Thread message queues and message-only windows. (Stops and the quit
// message: thread_test.cpp, the session API tests.)
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "platform/event.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "platform_support.h"

namespace trv::platform {
namespace {

// Application-defined message numbers (the Win32 WM_USER range).
constexpr std::uint32_t kFirstMessage = 0x0400 + 0x21;

// The fields of a message, compared in one expectation.
auto Fields(const ThreadMessage& m) { return std::make_tuple(m.window, m.message, m.wParam, m.lParam); }

// The `i`th message of a queue_poster: every third one to the thread, the
// others to the window.
ThreadMessage Posted(int i, WindowHandle window) {
    const auto n = static_cast<std::uint32_t>(i);
    return {n % 3 == 0 ? 0 : window, kFirstMessage + n % 7, n, -i};
}

// args: thread id, window, message count. Exit code 11: the window is
// unknown here.
TRV_CHILD_ROLE(queue_poster) {
    if (args.size() != 3) return 10;
    const auto thread = static_cast<std::uint32_t>(std::stoul(args[0]));
    const WindowHandle window = std::stoull(args[1]);
    if (!IsWindowHandle(window)) return 11;
    for (int i = 0; i < std::stoi(args[2]); ++i) {
        const ThreadMessage m = Posted(i, window);
        if (!(m.window == 0 ? PostToThread(thread, m.message, m.wParam, m.lParam)
                            : PostWindowMessage(window, m.message, m.wParam, m.lParam))) {
            return 12;
        }
    }
    return 0;
}

TEST(ThreadMessageQueueTest, ThreadAndWindowMessagesFromAnotherProcessArriveInPostingOrder) {
    DrainQueue();
    const WindowHandle window = CreateMessageWindow();
    constexpr int kCount = 200;
    test::RoleProcess poster("queue_poster", {std::to_string(CurrentThreadId()),
                                              std::to_string(window), std::to_string(kCount)});
    // Every message is queued before the first read, so that the reads show the queue's order.
    EXPECT_EQ(poster.Wait(), 0);
    for (int i = 0; i < kCount; ++i) {
        ThreadMessage message;
        ASSERT_EQ(GetThreadMessage(message, kLimitMs), MessageWait::message) << i;
        ASSERT_EQ(Fields(message), Fields(Posted(i, window))) << i;
    }
    ThreadMessage extra;
    EXPECT_EQ(GetThreadMessage(extra, 0), MessageWait::timed_out);

    DestroyMessageWindow(window);
    EXPECT_FALSE(IsWindowHandle(window));
    EXPECT_FALSE(PostWindowMessage(window, kFirstMessage, 0, 0));
    test::RoleProcess checker("queue_poster", {std::to_string(CurrentThreadId()), std::to_string(window), "1"});
    EXPECT_EQ(checker.Wait(), 11) << "the destroyed window lives on in another process";
}

// A thread that has not touched a queue yet refuses posts; window messages
// go to the thread that created the window, not to the main thread.
TEST(ThreadMessageQueueTest, PostsReachTheThreadWithTheQueueOrTheWindow) {
    UniqueHandle ready(CreateNamedEvent(false, nullptr));
    UniqueHandle go(CreateNamedEvent(false, nullptr));
    ASSERT_TRUE(ready && go);
    WindowHandle window = 0;
    ThreadMessage received{};
    test::TestThread owner([&] {
        SignalEvent(ready.get());
        WaitForEvent(go.get(), kLimitMs);
        window = CreateMessageWindow();
        SignalEvent(ready.get());
        if (window == 0) return;
        GetThreadMessage(received, kLimitMs);
        DestroyMessageWindow(window);
    });
    ASSERT_EQ(WaitForEvent(ready.get(), kLimitMs), kWaitObject0);
    EXPECT_FALSE(PostToThread(owner.id(), kFirstMessage, 1, 2)) << "a thread without a queue took a post";
    SignalEvent(go.get());
    ASSERT_EQ(WaitForEvent(ready.get(), kLimitMs), kWaitObject0);
    EXPECT_TRUE(PostWindowMessage(window, kFirstMessage + 5, 55, 66));
    ASSERT_TRUE(owner.Join());
    EXPECT_EQ(Fields(received), Fields({window, kFirstMessage + 5, 55, 66}));
}

}  // namespace
}  // namespace trv::platform
