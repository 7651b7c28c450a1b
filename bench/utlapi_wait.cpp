// UTLWaitForString's reaction time on the reference emulator, Linux only.
// The headless emulator serves session A of the demonstration host; this
// process binds a UTLAPI client to it and, a few hundred times, waits with
// UTLWaitForString for one character at the sign-on screen's user field
// while a second thread, at a random moment 5 to 25 ms into the wait, has
// the emulator type that character there (its "keys" command, the
// operator's keyboard, then a cursor-left so that the next one lands on the
// same place). Reported, as median and p99:
//   - update to return: from writing the "keys" command to the return of
//     UTLWaitForString;
//   - the emulator's own share: from writing the command to reading its
//     answer (the screen has changed by then);
// next to the waits' poll interval of 10 ms, which bounds the reaction from
// above (plus the wait's own EHLLAPI exchanges).
//
//   bench_utlapi_wait [--count N]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "trvha64_utlapi.h"

namespace {

using bench::Child;
using bench::Summarise;
using bench::Summary;

constexpr int kDefaultCount = 300;
constexpr int kStartLimitMs = 60000;
constexpr int kAnswerLimitMs = 10000;
constexpr double kPollIntervalMs = 10.0;
constexpr trvUTLClient kClient = 0xBE7C;
constexpr int kFieldRow = 6;
constexpr int kFieldColumn = 35;

double NowMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Reads the lines of one command's answer up to its "end" line.
bool ReadAnswer(Child& emulator) {
    while (auto line = emulator.ReadLine(kAnswerLimitMs)) {
        if (*line == "end") return true;
    }
    return false;
}

void PrintRow(const char* what, const Summary& s) {
    std::printf("  %-48s median %7.2f ms  p99 %7.2f ms\n", what, s.median, s.p99);
}

int Run(int count) {
    auto started = Child::Start({TRV_BENCH_JAVA, std::string("-Dtrvha64.library=") + TRV_BENCH_LIBRARY, "-cp",
                                 TRV_BENCH_JAR, "com.ombrel.eQintra.hllbridge.HeadlessEmulator", "--profiles",
                                 TRV_BENCH_PROFILES, "demo=A"});
    if (!started) {
        std::fprintf(stderr, "cannot start %s\n", TRV_BENCH_JAVA);
        return 1;
    }
    Child& emulator = *started;
    const std::optional<std::string> ready = bench::ReadyLine(emulator, kStartLimitMs);
    if (!ready) {
        std::fprintf(stderr, "no ready line from the emulator\n");
        return 1;
    }
    if (UTLRegisterClient(kClient) != 1 || UTLConnectSession(kClient, "A") != 1) {
        std::fprintf(stderr, "cannot bind a UTLAPI client to session A\n");
        return 1;
    }

    std::mutex lock;
    std::condition_variable changed;
    int waitingFor = -1;  // the iteration whose wait has begun
    std::atomic<bool> failed{false};
    std::vector<double> written(static_cast<std::size_t>(count)), answered(static_cast<std::size_t>(count));
    std::thread typist([&] {
        std::mt19937 random(12345);
        std::uniform_real_distribution<double> delay(5.0, 25.0);
        for (int i = 0; i < count && !failed; ++i) {
            {
                std::unique_lock<std::mutex> hold(lock);
                changed.wait(hold, [&] { return waitingFor >= i; });
            }
            std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(delay(random)));
            written[static_cast<std::size_t>(i)] = NowMs();
            if (!emulator.Write(std::string("keys A ") + (i % 2 == 0 ? "X" : "Y") + "[left]\n") ||
                !ReadAnswer(emulator)) {
                failed = true;
            }
            answered[static_cast<std::size_t>(i)] = NowMs();
        }
    });
    std::vector<double> toReturn, emulatorShare;
    const int position = (kFieldRow - 1) * 80 + kFieldColumn;
    for (int i = 0; i < count && !failed; ++i) {
        {
            std::lock_guard<std::mutex> hold(lock);
            waitingFor = i;
        }
        changed.notify_all();
        const int32_t found = UTLWaitForString(kClient, kFieldRow, kFieldColumn, i % 2 == 0 ? "X" : "Y", 10);
        const double returned = NowMs();
        if (found != position) {
            std::fprintf(stderr, "UTLWaitForString answered %d in round %d\n", found, i);
            failed = true;
            break;
        }
        toReturn.push_back(returned - written[static_cast<std::size_t>(i)]);
    }
    typist.join();
    if (failed) return 1;
    for (int i = 0; i < count; ++i) {
        emulatorShare.push_back(answered[static_cast<std::size_t>(i)] - written[static_cast<std::size_t>(i)]);
    }
    UTLDisconnectSession(kClient);
    UTLUnregisterClient(kClient);
    emulator.Write("quit\n");
    emulator.Finish(kAnswerLimitMs);

    std::printf("UTLWaitForString on the reference emulator (%s), %d screen updates\n", ready->c_str(), count);
    PrintRow("update to UTLWaitForString's return", Summarise(toReturn));
    PrintRow("of which the emulator's command round trip", Summarise(emulatorShare));
    std::printf("  %-48s        %7.2f ms (the waits poll; no early wake)\n", "poll interval", kPollIntervalMs);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int count = kDefaultCount;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--count") == 0) count = std::max(10, std::atoi(argv[i + 1]));
    }
    // The library attaches when this program loads and takes its namespace
    // from the environment then. The run uses TRVHA64_NAMESPACE when it is
    // set; otherwise it starts again in a namespace of its own, so that two
    // runs on one machine never share sessions. The emulator inherits it.
    if (std::getenv("TRVHA64_NAMESPACE") == nullptr) {
        setenv("TRVHA64_NAMESPACE", ("bench-utlwait-" + std::to_string(getpid())).c_str(), 1);
        setenv("TRVHA64_UNATTENDED", "1", 1);
        execv("/proc/self/exe", argv);
        std::perror("execv");
        return 1;
    }
    setenv("TRVHA64_UNATTENDED", "1", 0);  // never a session prompt on the terminal
    signal(SIGPIPE, SIG_IGN);
    return Run(count);
}
