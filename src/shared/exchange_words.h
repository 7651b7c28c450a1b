// The words a request and its reply are announced on before any event is
// signalled, so that a side that is still running when the other answers
// picks the answer up by polling instead of paying a sleeping thread's
// wake-up.
//
// They live in their own named mapping, "TRVHA_EXCHANGE_WORDS", beside the
// byte-exact tables: one word per session (its service thread waits there
// for the next request) and one per exchange block (its caller waits there
// for the reply). Every process maps it at attach; a new mapping starts all
// zero, which is every word's resting state.
//
// The events stay the truth. A waiter polls its word for at most one spin
// budget, then commits to sleep on its event; a poster signals the event
// unless the word shows the waiter still polling, or a service thread still
// serving (it looks at the word again before it sleeps), in which case the
// post is taken from the word and the event is left alone. The state
// changes are compare-and-exchange steps, so each post is taken exactly
// once: from the word (quiet) or from the event (loud), never both. A poster
// that does not know the words (AlertWaitingBlocks, a process not attached
// to the tables) signals the event only; the waiter sees it once it sleeps,
// at most one budget later.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "platform/event.h"
#include "shared/process_state.h"

namespace trv {

// The waiter's side of one word, as the poster reads it.
enum ExchangeState : std::uint32_t {
    kExchangeIdle = 0,        // at rest: nobody waits, nothing posted
    kExchangeSpinning = 1,    // the waiter polls: a post needs no event
    kExchangeSleeping = 2,    // the waiter sleeps (or is about to) on the event
    kExchangePostedQuiet = 3, // posted to a polling or serving waiter; the event was left alone
    kExchangePostedLoud = 4,  // posted with the event signalled (or about to be)
    kExchangeServing = 5,     // a service thread is serving: a post needs no event
};

struct alignas(64) ExchangeWord {
    std::atomic<std::uint32_t> state;  // ExchangeState
    // The CPU the waiting side last ran on, as it armed its wait or took
    // a request (platform::kUnknownCpu when not known).
    std::atomic<std::uint32_t> cpu;
    // Exchange blocks only: bytes at the start of Data that may be non-zero
    // since Data was last cleared (each writer raises it before writing).
    std::atomic<std::uint32_t> dataExtent;
    // Exchange blocks only: the number of the caller's latest request
    // (counted up before it is posted) and of the latest one a service
    // thread answered. A wake-up that finds them equal has nothing to serve:
    // it was meant for a caller that died after posting, whose session a
    // new caller took over before the service thread looked.
    std::atomic<std::uint32_t> posted;
    std::atomic<std::uint32_t> served;
};
static_assert(std::atomic<std::uint32_t>::is_always_lock_free);

struct ExchangeWords {
    ExchangeWord requests[kSessionCount];  // by session index
    ExchangeWord replies[kSessionCount];   // by exchange-block index
};

inline constexpr const char* kExchangeWordsName = "TRVHA_EXCHANGE_WORDS";

// Maps the words for this process (attach) and releases them (detach).
// Without them every exchange goes through its events alone.
void MapExchangeWords();
void UnmapExchangeWords();

// The session's word and the exchange block's word; nullptr when the words
// are not mapped or the index is out of range.
ExchangeWord* RequestWord(int sessionIndex);
ExchangeWord* ReplyWord(int blockIndex);

// How long one waiter polls next time, kept by that waiter (process-local,
// used by one thread at a time): about one wake-up's cost
// (platform::WakeUpCostNs). After the second poll in a row that missed,
// every further miss doubles the number of following waits that do not poll
// at all (up to 63), so that a peer whose answers take longer than a budget
// costs at most one budget per 64 waits; one poll that paid starts polling
// every time again.
class SpinAdvisor {
public:
    std::uint64_t NextBudgetNs();  // 0: sleep at once this time
    void Paid();
    void Missed();

private:
    std::uint32_t misses_ = 0;
    std::uint32_t skip_ = 0;
};

// Posts on `word` and answers the state the waiter was in before: when it
// was kExchangeSpinning or kExchangeServing the post is quiet and `event` is
// not signalled; otherwise `event` is signalled. A service thread stores
// kExchangeServing only while it will come back to PollForPost before it
// sleeps.
std::uint32_t PostExchange(ExchangeWord& word, const platform::EventRef& event);

// What a poller does while the peer it polls for last ran on its own CPU,
// where polling only keeps the peer from answering. Two threads that take
// turns on one CPU pay a switch each way on every exchange, and the
// scheduler can leave them together for hundreds of milliseconds while
// another CPU idles, so one side moves away.
enum class SharedCpu {
    kYield,  // give way at every look (platform::YieldCpu): a caller's thread,
             // whose affinity belongs to the application
    kMove,   // move to another CPU (platform::MoveOffCpu), at most once in a
             // few milliseconds, else give way: a service thread, the
             // library's own
};

// Waits for a quiet post on `word` by polling for up to `budgetNs` (0: not
// at all), asking `keepPolling` now and then whether polling still makes
// sense (the peer still running, no stop requested). While the peer's last
// published CPU (`peer`'s cpu, when given) is this thread's, each look steps
// aside as `onPeerCpu` says. True when a quiet post was taken: the word is
// left at `taken`. False when the caller must now wait on the event: the
// word says kExchangeSleeping, or kExchangePostedLoud.
bool PollForPost(ExchangeWord& word, const ExchangeWord* peer, std::uint64_t budgetNs,
                 const std::function<bool()>& keepPolling, std::uint32_t taken,
                 SharedCpu onPeerCpu = SharedCpu::kYield);

}  // namespace trv
