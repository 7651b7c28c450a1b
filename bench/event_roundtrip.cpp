// Event ping-pong round trip: a request/reply exchange between two processes
// through two named auto-reset events (the bare signalling an EHLLAPI call to
// a session would cost), against the same ping-pong between two threads of
// one process as the baseline, and the library's own wait between two
// processes: each side polls an exchange word for up to one spin budget
// before it sleeps on its event, as a caller and a session's service thread
// do. All three are measured in the same run; on Windows (under Wine) the
// last against the first is the gain of the library's wait there.
//
//   bench_event_roundtrip [round trips]
// The binary re-runs itself as "--pong PING PONG COUNT [WORDS]" to play the
// other process (WORDS: the mapping of the two exchange words).
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/event.h"
#include "platform/mapping.h"
#include "platform/spin.h"
#include "platform/process.h"
#include "platform/thread.h"
#include "platform/timeout.h"
#include "shared/exchange_words.h"

namespace {

using trv::platform::Handle;
using trv::platform::kWaitObject0;

constexpr int kWarmUp = 2000;
constexpr int kDefaultRoundTrips = 20000;
constexpr std::uint32_t kStepLimitMs = 5000;

// The exchange words of the library's wait: [0] the ping side's, [1] the
// pong side's; nullptr for the bare events.
using trv::ExchangeWord;

// The sides play the library's two roles on their words: the ping side is
// a caller, which arms its reply word before its request leaves and leaves
// it at rest once it has the reply; the pong side is a session's service
// thread, which marks its word as serving from taking a request until it
// polls for the next one, and which moves to another CPU when it finds the
// caller on its own.
constexpr int kPingSide = 0;
constexpr int kPongSide = 1;

std::uint32_t TakenState(int mine) { return mine == kPongSide ? trv::kExchangeServing : trv::kExchangeIdle; }

// One side's wait for the other's post: polls its word, then sleeps on the
// event.
bool AwaitPost(ExchangeWord* words, int mine, Handle event, trv::SpinAdvisor& advisor) {
    if (words == nullptr) return trv::platform::WaitForEvent(event, kStepLimitMs) == kWaitObject0;
    ExchangeWord& word = words[mine];
    // The caller's side published its CPU as it armed.
    if (mine == kPongSide) word.cpu.store(trv::platform::CurrentCpu(), std::memory_order_relaxed);
    const std::uint64_t budget = advisor.NextBudgetNs();
    const trv::SharedCpu onPeerCpu = mine == kPongSide ? trv::SharedCpu::kMove : trv::SharedCpu::kYield;
    if (trv::PollForPost(word, &words[1 - mine], budget, [] { return true; }, TakenState(mine), onPeerCpu)) {
        advisor.Paid();
        return true;
    }
    if (budget > 0) advisor.Missed();
    if (trv::platform::WaitForEvent(event, kStepLimitMs) != kWaitObject0) return false;
    word.state.store(TakenState(mine));
    return true;
}

// The caller's side arms its reply word before the request leaves, so that
// a reply that comes back at once finds it polling.
void ArmForReply(ExchangeWord* words) {
    if (words == nullptr) return;
    words[kPingSide].cpu.store(trv::platform::CurrentCpu(), std::memory_order_relaxed);
    words[kPingSide].state.store(trv::kExchangeSpinning);
}

void Post(ExchangeWord* words, int theirs, Handle event) {
    if (words == nullptr) {
        trv::platform::SignalEvent(event);
        return;
    }
    trv::PostExchange(words[theirs], trv::platform::EventRef(event));
}

// Answers every ping with a pong, `count` times.
bool Pong(Handle ping, Handle pong, int count, ExchangeWord* words = nullptr) {
    trv::SpinAdvisor advisor;
    for (int i = 0; i < count; ++i) {
        if (!AwaitPost(words, kPongSide, ping, advisor)) return false;
        Post(words, kPingSide, pong);
    }
    return true;
}

struct PongThread {
    Handle ping;
    Handle pong;
    int count;
    bool ok = false;
};

std::uint32_t PongThreadMain(void* argument) {
    auto* job = static_cast<PongThread*>(argument);
    job->ok = Pong(job->ping, job->pong, job->count);
    return 0;
}

// Times `count` round trips after the warm-up; empty when one went wrong.
std::vector<double> PingPong(Handle ping, Handle pong, int count, ExchangeWord* words = nullptr) {
    trv::SpinAdvisor advisor;
    for (int i = 0; i < kWarmUp; ++i) {
        ArmForReply(words);
        Post(words, kPongSide, ping);
        if (!AwaitPost(words, kPingSide, pong, advisor)) return {};
    }
    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        auto start = std::chrono::steady_clock::now();
        ArmForReply(words);
        Post(words, kPongSide, ping);
        if (!AwaitPost(words, kPingSide, pong, advisor)) return {};
        auto end = std::chrono::steady_clock::now();
        micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    return micros;
}

struct Summary {
    double median;
    double p99;
};

Summary Summarise(std::vector<double> micros) {
    std::sort(micros.begin(), micros.end());
    return Summary{micros[micros.size() / 2], micros[micros.size() * 99 / 100]};
}

std::string EventName(const char* role) {
    return std::string("bench_roundtrip_") + role + "_" +
           std::to_string(trv::platform::CurrentProcessId());
}

constexpr std::size_t kWordsSize = 2 * sizeof(ExchangeWord);

int RunPongProcess(int argc, char** argv) {
    if (argc != 5 && argc != 6) return 2;
    trv::platform::UniqueHandle ping(trv::platform::OpenNamedEvent(argv[2]));
    trv::platform::UniqueHandle pong(trv::platform::OpenNamedEvent(argv[3]));
    if (!ping || !pong) return 3;
    ExchangeWord* words = nullptr;
    trv::platform::UniqueHandle mapping;
    if (argc == 6) {
        mapping.reset(trv::platform::OpenNamedMapping(argv[5]));
        if (!mapping) return 3;
        words = static_cast<ExchangeWord*>(trv::platform::MapView(mapping.get(), kWordsSize));
        if (words == nullptr) return 3;
    }
    return Pong(ping.get(), pong.get(), std::atoi(argv[4]), words) ? 0 : 4;
}

// Ping-pong with a child process; empty when it went wrong. With `words`
// (the mapping named `wordsName`), through the library's wait.
std::vector<double> ProcessPingPong(int count, ExchangeWord* words, const std::string& wordsName) {
    const std::string pingName = EventName(words != nullptr ? "ping_words" : "ping");
    const std::string pongName = EventName(words != nullptr ? "pong_words" : "pong");
    trv::platform::UniqueHandle ping(trv::platform::CreateNamedEvent(false, pingName.c_str()));
    trv::platform::UniqueHandle pong(trv::platform::CreateNamedEvent(false, pongName.c_str()));
    if (!ping || !pong) {
        std::fprintf(stderr, "cannot create the events\n");
        return {};
    }
    std::vector<std::string> arguments = {"--pong", pingName, pongName, std::to_string(kWarmUp + count)};
    if (words != nullptr) arguments.push_back(wordsName);
    trv::platform::ChildProcess child = trv::platform::SpawnProcess(trv::platform::ExecutablePath(), arguments);
    if (child.handle == trv::platform::kNoHandle) {
        std::fprintf(stderr, "cannot start the pong process\n");
        return {};
    }
    trv::platform::UniqueHandle childHandle(child.handle);
    std::vector<double> micros = PingPong(ping.get(), pong.get(), count, words);
    int exitCode = -1;
    if (trv::platform::WaitForProcess(child.handle, kStepLimitMs, &exitCode) != kWaitObject0) {
        trv::platform::KillProcess(child.handle);
    }
    if (micros.empty() || exitCode != 0) {
        std::fprintf(stderr, "process ping-pong failed (pong exit code %d)\n", exitCode);
        return {};
    }
    return micros;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--pong") == 0) return RunPongProcess(argc, argv);
    const int count = argc >= 2 ? std::max(100, std::atoi(argv[1])) : kDefaultRoundTrips;
    const int total = kWarmUp + count;

    // Between processes, through the bare events.
    std::vector<double> processMicros = ProcessPingPong(count, nullptr, "");
    if (processMicros.empty()) return 1;

    // Between processes, through the library's wait.
    const std::string wordsName = EventName("words");
    trv::platform::CreatedMapping created = trv::platform::CreateNamedMapping(wordsName.c_str(), kWordsSize);
    trv::platform::UniqueHandle wordsMapping(created.handle);
    auto* words = wordsMapping ? static_cast<ExchangeWord*>(trv::platform::MapView(created.handle, kWordsSize))
                               : nullptr;
    if (words == nullptr) {
        std::fprintf(stderr, "cannot map the exchange words\n");
        return 1;
    }
    std::vector<double> wordsMicros = ProcessPingPong(count, words, wordsName);
    trv::platform::UnmapView(words, kWordsSize);
    if (wordsMicros.empty()) return 1;

    // Between two threads of this process: the baseline.
    trv::platform::UniqueHandle threadPing(trv::platform::CreateNamedEvent(false, nullptr));
    trv::platform::UniqueHandle threadPong(trv::platform::CreateNamedEvent(false, nullptr));
    PongThread job{threadPing.get(), threadPong.get(), total};
    trv::platform::StartedThread thread = trv::platform::StartThread(PongThreadMain, &job);
    if (thread.handle == trv::platform::kNoHandle) {
        std::fprintf(stderr, "cannot start the pong thread\n");
        return 1;
    }
    trv::platform::UniqueHandle threadHandle(thread.handle);
    std::vector<double> threadMicros = PingPong(threadPing.get(), threadPong.get(), count);
    trv::platform::WaitForThread(thread.handle, kStepLimitMs);
    if (threadMicros.empty() || !job.ok) {
        std::fprintf(stderr, "thread ping-pong failed\n");
        return 1;
    }

    Summary process = Summarise(processMicros);
    Summary library = Summarise(wordsMicros);
    Summary threads = Summarise(threadMicros);
    std::printf("event round trip, %d round trips after %d warm-up\n", count, kWarmUp);
    std::printf("  two processes: median %8.2f us  p99 %8.2f us\n", process.median, process.p99);
    std::printf("  two threads:   median %8.2f us  p99 %8.2f us  (baseline)\n", threads.median,
                threads.p99);
    std::printf("  ratio processes/threads: median %.2f  p99 %.2f\n",
                process.median / threads.median, process.p99 / threads.p99);
    std::printf("  library's wait, two processes: median %8.2f us  p99 %8.2f us\n", library.median,
                library.p99);
    std::printf("  ratio events/library's wait: median %.2f  p99 %.2f\n", process.median / library.median,
                process.p99 / library.p99);
    return 0;
}
