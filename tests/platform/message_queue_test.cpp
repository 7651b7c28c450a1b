// Thread message queues: posting across processes in order, refusal for a
// thread without a queue, the quit message and time limits. (A stop request
// ending a message wait is tested with the other stops in thread_test.cpp.)
#include <gtest/gtest.h>

#include <string>

#include "platform/event.h"
#include "platform/message_queue.h"
#include "platform/thread.h"
#include "queue_support.h"
#include "support/child_role.h"

namespace trv::platform {
namespace {

// Application-defined message numbers (the Win32 WM_USER range).
constexpr std::uint32_t kFirstMessage = 0x0400 + 0x21;

// args: thread id, message count. Posts messages numbered in sequence with
// wParam = i and lParam = -i.
TRV_CHILD_ROLE(thread_poster) {
    if (args.size() != 2) return 10;
    const auto thread = static_cast<std::uint32_t>(std::stoul(args[0]));
    const int count = std::stoi(args[1]);
    for (int i = 0; i < count; ++i) {
        if (!PostToThread(thread, kFirstMessage + static_cast<std::uint32_t>(i % 7),
                          static_cast<std::uintptr_t>(i), -static_cast<std::intptr_t>(i))) {
            return 11;
        }
    }
    return 0;
}

TEST(ThreadMessageQueueTest, MessagesFromAnotherProcessArriveInPostingOrder) {
    DrainQueue();
    constexpr int kCount = 200;
    trv::test::RoleProcess poster(
        "thread_poster", {std::to_string(CurrentThreadId()), std::to_string(kCount)});
    ASSERT_TRUE(poster.started());

    for (int i = 0; i < kCount; ++i) {
        ThreadMessage message;
        ASSERT_EQ(GetThreadMessage(message, kReceiveLimitMs), MessageWait::message) << i;
        EXPECT_EQ(message.window, 0u);
        EXPECT_EQ(message.message, kFirstMessage + static_cast<std::uint32_t>(i % 7));
        EXPECT_EQ(message.wParam, static_cast<std::uintptr_t>(i));
        ASSERT_EQ(message.lParam, -static_cast<std::intptr_t>(i));
    }
    EXPECT_EQ(poster.Wait(), 0);
    ThreadMessage extra;
    EXPECT_EQ(GetThreadMessage(extra, 0), MessageWait::timed_out);
}

struct QueueWorker {
    UniqueHandle ready{CreateNamedEvent(true, nullptr)};
    UniqueHandle release{CreateNamedEvent(true, nullptr)};
    MessageWait result = MessageWait::failed;
    ThreadMessage received;
};

// Never touches a message queue: waits until released.
std::uint32_t WorkWithoutQueue(void* raw) {
    auto* worker = static_cast<QueueWorker*>(raw);
    SignalEvent(worker->ready.get());
    WaitForEvent(worker->release.get(), kReceiveLimitMs);
    return 0;
}

// Makes its queue, then reads one message.
std::uint32_t ReadOneMessage(void* raw) {
    auto* worker = static_cast<QueueWorker*>(raw);
    EnsureMessageQueue();
    SignalEvent(worker->ready.get());
    worker->result = GetThreadMessage(worker->received, kReceiveLimitMs);
    return 0;
}

TEST(ThreadMessageQueueTest, PostsReachOnlyThreadsWithAQueue) {
    QueueWorker idle;
    StartedThread idleThread = StartThread(WorkWithoutQueue, &idle);
    ASSERT_NE(idleThread.handle, kNoHandle);
    UniqueHandle idleOwner(idleThread.handle);
    ASSERT_EQ(WaitForEvent(idle.ready.get(), kReceiveLimitMs), kWaitObject0);
    EXPECT_FALSE(PostToThread(idleThread.id, kFirstMessage, 1, 2));
    SignalEvent(idle.release.get());
    EXPECT_EQ(WaitForThread(idleThread.handle, kJoinLimitMs), kWaitObject0);

    QueueWorker reader;
    StartedThread readerThread = StartThread(ReadOneMessage, &reader);
    ASSERT_NE(readerThread.handle, kNoHandle);
    UniqueHandle readerOwner(readerThread.handle);
    ASSERT_EQ(WaitForEvent(reader.ready.get(), kReceiveLimitMs), kWaitObject0);
    EXPECT_TRUE(PostToThread(readerThread.id, kFirstMessage + 1, 3, 4));
    ASSERT_EQ(WaitForThread(readerThread.handle, kJoinLimitMs), kWaitObject0);
    EXPECT_EQ(reader.result, MessageWait::message);
    EXPECT_EQ(reader.received.message, kFirstMessage + 1);
    EXPECT_EQ(reader.received.wParam, 3u);
    EXPECT_EQ(reader.received.lParam, 4);
}

TEST(ThreadMessageQueueTest, QuitMessageAnswersQuitAfterEarlierMessages) {
    DrainQueue();
    ASSERT_TRUE(PostToThread(CurrentThreadId(), kFirstMessage, 1, 0));
    ASSERT_TRUE(PostToThread(CurrentThreadId(), kQuitMessage, 7, 9));

    ThreadMessage message;
    ASSERT_EQ(GetThreadMessage(message, kReceiveLimitMs), MessageWait::message);
    EXPECT_EQ(message.message, kFirstMessage);
    ASSERT_EQ(GetThreadMessage(message, kReceiveLimitMs), MessageWait::quit);
    EXPECT_EQ(message.message, kQuitMessage);
    EXPECT_EQ(message.wParam, 7u);
    EXPECT_EQ(message.lParam, 9);
}

TEST(ThreadMessageQueueTest, EmptyQueueTimesOut) {
    DrainQueue();
    ThreadMessage message;
    EXPECT_EQ(GetThreadMessage(message, 0), MessageWait::timed_out);
    EXPECT_EQ(GetThreadMessage(message, 30), MessageWait::timed_out);

    // A message already queued is taken even with no time to wait.
    ASSERT_TRUE(PostToThread(CurrentThreadId(), kFirstMessage + 2, 5, 6));
    EXPECT_EQ(GetThreadMessage(message, 0), MessageWait::message);
    EXPECT_EQ(message.message, kFirstMessage + 2);
}

}  // namespace
}  // namespace trv::platform
