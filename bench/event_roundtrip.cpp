// Event ping-pong round trip: a request/reply exchange between two processes
// through two named auto-reset events (what every EHLLAPI call to a session
// costs in signalling), against the same ping-pong between two threads of
// one process as the baseline, measured in the same run.
//
//   bench_event_roundtrip [round trips]
// The binary re-runs itself as "--pong PING PONG COUNT" to play the other
// process.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/event.h"
#include "platform/process.h"
#include "platform/thread.h"
#include "platform/timeout.h"

namespace {

using trv::platform::Handle;
using trv::platform::kWaitObject0;

constexpr int kWarmUp = 2000;
constexpr int kDefaultRoundTrips = 20000;
constexpr std::uint32_t kStepLimitMs = 5000;

// Answers every ping with a pong, `count` times.
bool Pong(Handle ping, Handle pong, int count) {
    for (int i = 0; i < count; ++i) {
        if (trv::platform::WaitForEvent(ping, kStepLimitMs) != kWaitObject0) return false;
        trv::platform::SignalEvent(pong);
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
std::vector<double> PingPong(Handle ping, Handle pong, int count) {
    for (int i = 0; i < kWarmUp; ++i) {
        trv::platform::SignalEvent(ping);
        if (trv::platform::WaitForEvent(pong, kStepLimitMs) != kWaitObject0) return {};
    }
    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        auto start = std::chrono::steady_clock::now();
        trv::platform::SignalEvent(ping);
        if (trv::platform::WaitForEvent(pong, kStepLimitMs) != kWaitObject0) return {};
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

int RunPongProcess(int argc, char** argv) {
    if (argc != 5) return 2;
    trv::platform::UniqueHandle ping(trv::platform::OpenNamedEvent(argv[2]));
    trv::platform::UniqueHandle pong(trv::platform::OpenNamedEvent(argv[3]));
    if (!ping || !pong) return 3;
    return Pong(ping.get(), pong.get(), std::atoi(argv[4])) ? 0 : 4;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--pong") == 0) return RunPongProcess(argc, argv);
    const int count = argc >= 2 ? std::max(100, std::atoi(argv[1])) : kDefaultRoundTrips;
    const int total = kWarmUp + count;

    // Between processes.
    const std::string pingName = EventName("ping");
    const std::string pongName = EventName("pong");
    trv::platform::UniqueHandle ping(trv::platform::CreateNamedEvent(false, pingName.c_str()));
    trv::platform::UniqueHandle pong(trv::platform::CreateNamedEvent(false, pongName.c_str()));
    if (!ping || !pong) {
        std::fprintf(stderr, "cannot create the events\n");
        return 1;
    }
    trv::platform::ChildProcess child = trv::platform::SpawnProcess(
        trv::platform::ExecutablePath(), {"--pong", pingName, pongName, std::to_string(total)});
    if (child.handle == trv::platform::kNoHandle) {
        std::fprintf(stderr, "cannot start the pong process\n");
        return 1;
    }
    trv::platform::UniqueHandle childHandle(child.handle);
    std::vector<double> processMicros = PingPong(ping.get(), pong.get(), count);
    int exitCode = -1;
    if (trv::platform::WaitForProcess(child.handle, kStepLimitMs, &exitCode) != kWaitObject0) {
        trv::platform::KillProcess(child.handle);
    }
    if (processMicros.empty() || exitCode != 0) {
        std::fprintf(stderr, "process ping-pong failed (pong exit code %d)\n", exitCode);
        return 1;
    }

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
    Summary threads = Summarise(threadMicros);
    std::printf("event round trip, %d round trips after %d warm-up\n", count, kWarmUp);
    std::printf("  two processes: median %8.2f us  p99 %8.2f us\n", process.median, process.p99);
    std::printf("  two threads:   median %8.2f us  p99 %8.2f us  (baseline)\n", threads.median,
                threads.p99);
    std::printf("  ratio processes/threads: median %.2f  p99 %.2f\n",
                process.median / threads.median, process.p99 / threads.p99);
    return 0;
}
