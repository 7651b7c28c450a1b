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

#include "trvha64_utlapi.h"

namespace {

constexpr int kDefaultCount = 300;
constexpr int kStartLimitMs = 60000;
constexpr int kAnswerLimitMs = 10000;
constexpr double kPollIntervalMs = 10.0;
constexpr trvUTLClient kClient = 0xBE7C;
constexpr int kFieldRow = 6;
constexpr int kFieldColumn = 35;
constexpr const char* kNamespace = "bench-utlwait";

double NowMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The emulator with its standard input and output on pipes.
class Emulator {
public:
    bool Start(const std::vector<std::string>& argv) {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return false;
        pid_ = fork();
        if (pid_ < 0) return false;
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            std::vector<char*> args;
            for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execvp(args[0], args.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        in_ = in[1];
        out_ = out[0];
        return true;
    }
    ~Emulator() {
        if (in_ >= 0) close(in_);
        if (out_ >= 0) close(out_);
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool Write(const std::string& text) { return write(in_, text.data(), text.size()) == ssize_t(text.size()); }
    std::optional<std::string> ReadLine(int limitMs) {
        const double deadline = NowMs() + limitMs;
        for (;;) {
            const auto end = buffer_.find('\n');
            if (end != std::string::npos) {
                std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                return line;
            }
            const int left = static_cast<int>(deadline - NowMs());
            pollfd p{out_, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, left) <= 0) return std::nullopt;
            char chunk[4096];
            const ssize_t n = read(out_, chunk, sizeof chunk);
            if (n <= 0) return std::nullopt;
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }
    // Reads the lines of one command's answer up to its "end" line.
    bool ReadAnswer() {
        while (auto line = ReadLine(kAnswerLimitMs)) {
            if (*line == "end") return true;
        }
        return false;
    }
    void Quit() {
        Write("quit\n");
        close(in_);
        in_ = -1;
        for (int waited = 0; waited < kAnswerLimitMs && pid_ > 0; waited += 10) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) pid_ = -1;
            else usleep(10000);
        }
    }

private:
    pid_t pid_ = -1;
    int in_ = -1;
    int out_ = -1;
    std::string buffer_;
};

struct Summary {
    double median = 0;
    double p99 = 0;
};

Summary Summarise(std::vector<double> ms) {
    if (ms.empty()) return {};
    std::sort(ms.begin(), ms.end());
    return Summary{ms[ms.size() / 2], ms[ms.size() * 99 / 100]};
}

void PrintRow(const char* what, const Summary& s) {
    std::printf("  %-48s median %7.2f ms  p99 %7.2f ms\n", what, s.median, s.p99);
}

int Run(int count) {
    Emulator emulator;
    if (!emulator.Start({TRV_BENCH_JAVA, std::string("-Dtrvha64.library=") + TRV_BENCH_LIBRARY, "-cp", TRV_BENCH_JAR,
                         "com.ombrel.eQintra.hllbridge.HeadlessEmulator", "--profiles", TRV_BENCH_PROFILES,
                         "demo=A"})) {
        std::fprintf(stderr, "cannot start %s\n", TRV_BENCH_JAVA);
        return 1;
    }
    std::optional<std::string> ready;
    while (auto line = emulator.ReadLine(kStartLimitMs)) {
        if (line->rfind("ready ", 0) == 0) {
            ready = line;
            break;
        }
    }
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
                !emulator.ReadAnswer()) {
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
    emulator.Quit();

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
    // from the environment then: a run in its own namespace starts again
    // with it set. The emulator inherits it.
    const char* space = std::getenv("TRVHA64_NAMESPACE");
    if (space == nullptr || std::strcmp(space, kNamespace) != 0) {
        setenv("TRVHA64_NAMESPACE", kNamespace, 1);
        setenv("TRVHA64_UNATTENDED", "1", 1);
        execv("/proc/self/exe", argv);
        std::perror("execv");
        return 1;
    }
    signal(SIGPIPE, SIG_IGN);
    return Run(count);
}
