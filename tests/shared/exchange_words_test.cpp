// The poll-then-sleep protocol on one exchange word: every post is taken
// exactly once, from the word when the waiter was polling and from the event
// otherwise, whatever state the waiter was in when it landed.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/event.h"
#include "platform/handle.h"
#include "shared/exchange_words.h"
#include "support/test_thread.h"

namespace trv {
namespace {

constexpr std::uint64_t kLongBudgetNs = 5000000000u;  // ended by the post unless polling is broken

struct Exchange {
    ExchangeWord word{};
    platform::UniqueHandle event{platform::CreateNamedEvent(false, nullptr)};
    platform::EventRef ref{event.get()};
};

TEST(ExchangeWordsTest, APostIsTakenFromTheWordOrFromTheEventNeverBoth) {
    const struct {
        ExchangeState waiter;  // the waiter's state when the post lands
        bool quiet;            // taken from the word, the event left alone
    } rows[] = {
        {kExchangeIdle, false},
        {kExchangeSpinning, true},
        {kExchangeSleeping, false},
        {kExchangeServing, true},  // looks at the word before it sleeps
        {kExchangePostedLoud, false},  // an earlier post nobody took yet
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.waiter);
        Exchange exchange;
        exchange.word.state.store(row.waiter);
        EXPECT_EQ(PostExchange(exchange.word, exchange.ref), static_cast<std::uint32_t>(row.waiter));
        // A waiter that comes to look without a budget takes a quiet post at
        // once and is sent to the event for a loud one.
        EXPECT_EQ(PollForPost(exchange.word, nullptr, 0, [] { return true; }, kExchangeServing), row.quiet);
        EXPECT_EQ(exchange.ref.Wait(0), row.quiet ? platform::kWaitTimeout : platform::kWaitObject0);
        EXPECT_EQ(exchange.word.state.load(), row.quiet ? kExchangeServing : kExchangePostedLoud);
    }
}

TEST(ExchangeWordsTest, APollingWaiterTakesAPostFromAnotherThreadWithoutTheEvent) {
    Exchange exchange;
    std::atomic<bool> pollEnded{false};
    test::TestThread poster([&] {
        while (exchange.word.state.load() != kExchangeSpinning && !pollEnded) std::this_thread::yield();
        PostExchange(exchange.word, exchange.ref);
    });
    EXPECT_TRUE(PollForPost(exchange.word, nullptr, kLongBudgetNs, [] { return true; }, kExchangeIdle));
    pollEnded = true;
    ASSERT_TRUE(poster.Join());
    EXPECT_EQ(exchange.ref.Wait(0), platform::kWaitTimeout);
    EXPECT_EQ(exchange.word.state.load(), kExchangeIdle);
}

}  // namespace
}  // namespace trv
