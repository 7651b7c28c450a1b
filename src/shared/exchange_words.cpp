// The exchange words' mapping and the poll-then-sleep protocol on them.
#include "shared/exchange_words.h"

#include <mutex>

#include "platform/mapping.h"
#include "platform/spin.h"
#include "shared/named_objects.h"
#include "shared/trace.h"

namespace trv {
namespace {

// Set at attach and cleared at detach, while no exchange runs in this process.
std::atomic<ExchangeWords*> g_words{nullptr};
platform::Handle g_mapping = platform::kNoHandle;

// Misses in a row before polls are skipped, and the most skipped: 2^6 - 1.
constexpr std::uint32_t kToleratedMisses = 2;
constexpr std::uint32_t kMaxBackoffShift = 6;
// Polling iterations between two looks at the clock and at keepPolling.
constexpr std::uint32_t kPollsPerCheck = 32;
// The least time between two moves of one thread to another CPU: a move
// costs a few wake-ups, and where the scheduler keeps putting the two sides
// back together, moving again at once would only add to that.
constexpr std::uint64_t kMoveIntervalNs = 5000000;

// Gives way to a peer that last ran on this thread's CPU: moves off the CPU
// when `onPeerCpu` allows it and this thread has not moved lately (and then
// publishes its new CPU on `word`), else yields.
void StepAsideFor(const ExchangeWord& peer, ExchangeWord& word, SharedCpu onPeerCpu) {
    const std::uint32_t cpu = platform::CurrentCpu();
    if (peer.cpu.load(std::memory_order_relaxed) != cpu) return;
    thread_local std::uint64_t lastMoveNs = 0;
    if (onPeerCpu == SharedCpu::kMove) {
        const std::uint64_t now = platform::MonotonicNs();
        if ((lastMoveNs == 0 || now - lastMoveNs >= kMoveIntervalNs) && platform::MoveOffCpu(cpu)) {
            lastMoveNs = now;
            word.cpu.store(platform::CurrentCpu(), std::memory_order_relaxed);
            return;
        }
    }
    platform::YieldCpu();
}

}  // namespace

void MapExchangeWords() {
    if (g_words.load() != nullptr) return;
    const platform::CreatedMapping created = platform::CreateNamedMapping(kExchangeWordsName, sizeof(ExchangeWords));
    if (created.handle == platform::kNoHandle) {
        TRV_TRACE("AttachProcess - no exchange words, requests use their events alone");
        return;
    }
    void* view = platform::MapView(created.handle, sizeof(ExchangeWords));
    if (view == nullptr) {
        platform::CloseObject(created.handle);
        TRV_TRACE("AttachProcess - exchange words not mapped, requests use their events alone");
        return;
    }
    g_mapping = created.handle;
    // A new mapping is zero-filled: every word at rest.
    g_words.store(static_cast<ExchangeWords*>(view));
}

void UnmapExchangeWords() {
    ExchangeWords* words = g_words.exchange(nullptr);
    if (words != nullptr) platform::UnmapView(words, sizeof(ExchangeWords));
    if (g_mapping != platform::kNoHandle) platform::CloseObject(g_mapping);
    g_mapping = platform::kNoHandle;
}

ExchangeWord* RequestWord(int sessionIndex) {
    ExchangeWords* words = g_words.load(std::memory_order_acquire);
    if (words == nullptr || sessionIndex < 0 || sessionIndex >= kSessionCount) return nullptr;
    return &words->requests[sessionIndex];
}

ExchangeWord* ReplyWord(int blockIndex) {
    ExchangeWords* words = g_words.load(std::memory_order_acquire);
    if (words == nullptr || blockIndex < 0 || blockIndex >= kSessionCount) return nullptr;
    return &words->replies[blockIndex];
}

std::uint64_t SpinAdvisor::NextBudgetNs() {
    if (skip_ > 0) {
        --skip_;
        return 0;
    }
    return platform::WakeUpCostNs();
}

void SpinAdvisor::Paid() {
    misses_ = 0;
    skip_ = 0;
}

void SpinAdvisor::Missed() {
    if (misses_ < kToleratedMisses + kMaxBackoffShift) ++misses_;
    skip_ = misses_ > kToleratedMisses ? (1u << (misses_ - kToleratedMisses)) - 1 : 0;
}

std::uint32_t PostExchange(ExchangeWord& word, const platform::EventRef& event) {
    std::uint32_t before = word.state.load();
    // Only a waiter that is polling, or a service thread that is serving
    // (it polls the word again before it sleeps), is sure to see the post
    // without the event; any other may be asleep, or go to sleep next.
    bool quiet = false;
    for (;;) {
        quiet = before == kExchangeSpinning || before == kExchangeServing;
        if (word.state.compare_exchange_weak(before, quiet ? kExchangePostedQuiet : kExchangePostedLoud)) break;
    }
    if (!quiet) TriggerHLLEvent(event);
    return before;
}

bool PollForPost(ExchangeWord& word, const ExchangeWord* peer, std::uint64_t budgetNs,
                 const std::function<bool()>& keepPolling, std::uint32_t taken, SharedCpu onPeerCpu) {
    std::uint32_t state = word.state.load();
    // Arm: from rest to polling (or straight to sleeping without a budget);
    // a post that is already there decides at once.
    for (;;) {
        if (state == kExchangePostedQuiet) {
            word.state.store(taken);
            return true;
        }
        if (state == kExchangePostedLoud) return false;
        const std::uint32_t armed = budgetNs > 0 ? kExchangeSpinning : kExchangeSleeping;
        if (state == armed || word.state.compare_exchange_weak(state, armed)) break;
    }
    if (budgetNs > 0) {
        const std::uint64_t end = platform::MonotonicNs() + budgetNs;
        for (;;) {
            for (std::uint32_t i = 0; i < kPollsPerCheck; ++i) {
                if (word.state.load(std::memory_order_acquire) == kExchangePostedQuiet) {
                    word.state.store(taken);
                    return true;
                }
                platform::CpuPause();
            }
            if (platform::MonotonicNs() >= end || !keepPolling()) break;
            if (peer != nullptr) StepAsideFor(*peer, word, onPeerCpu);
        }
        // Commit to sleep; a post that landed meanwhile was quiet (a post
        // turns only a polling waiter's word quiet) and is taken here.
        std::uint32_t expected = kExchangeSpinning;
        if (!word.state.compare_exchange_strong(expected, kExchangeSleeping)) {
            if (expected == kExchangePostedQuiet) {
                word.state.store(taken);
                return true;
            }
        }
    }
    return false;
}

}  // namespace trv
