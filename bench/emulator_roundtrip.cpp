// EHLLAPI round trips through the reference emulator's JVM, Linux only: a
// native caller process loads the shared library (as applications do, by
// dlopen, then "hllapi"), and the headless emulator serves three sessions in
// its own JVM with the same library: A and B on the demonstration host, C on
// one that answers after two seconds. Measured in one run, after a warm-up,
// in this order:
//   - as users run it, nothing pinned: Copy Presentation Space (a 24x80
//     screen: 1,920 bytes), Query Cursor Location and Send Key (a cursor key
//     that stays in the emulator); for Copy PS also the median of every
//     block of 1,000 calls against the overall median, which shows whether
//     the round trip switches between modes as the scheduler moves the two
//     sides between CPUs;
//   - the same full-screen read from s3270's scripted interface: Ascii() over
//     its standard input and output, the screen painted with 24 rows of text
//     by a local process (s3270's NVT mode, "-e"), so that Ascii() formats a
//     full 24x80 screen of characters; the time is from writing "Ascii()" to
//     reading its "ok" line;
//   - the throughput of 1, 2 and 4 concurrent caller processes, alternating
//     between sessions A and B, each repeating one call for a fixed time:
//     Copy PS for 1 and 2 callers (a session takes one connection at a
//     time), Query Session Status (named by letter, no connection; a 20-byte
//     reply from the JVM) for 1, 2 and 4;
//   - what idling costs: the CPU time of session A's service thread over 10
//     idle seconds, and of this caller's thread in a Wait (function 4) for
//     C's two-second answer to an Enter;
//   - pinned: the caller and the service thread of A on one CPU (found as
//     the JVM thread that was switched out once per request of a probe run
//     with pauses between requests), Copy PS again, and the floor, the bare
//     cross-process event round trip of this platform (bench_event_roundtrip,
//     next to this binary, two processes pinned to the same CPU).
// --cpu N picks the CPU to pin to (default: the last one this process may
// use); --cpu none leaves out the pinned part.
//
// The run uses the object namespace TRVHA64_NAMESPACE names, as everything
// else does; when it is not set, a namespace of its own ("bench-<pid>"), so
// that it meets no other process's sessions.
//
//   bench_emulator_roundtrip [--count N] [--seconds S] [--library PATH] [--jar PATH] [--cpu N|none]
// Role of its own caller processes: --caller LIBRARY LETTER copy|status START_MS END_MS.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"
#include "trvha64.h"

namespace {

using bench::Child;
using bench::Summarise;
using bench::Summary;
using HllapiEntry = int32_t (*)(int32_t*, char*, int32_t*, int32_t*);

constexpr int kWarmUp = 3000;
constexpr int kDefaultCount = 10000;
constexpr std::size_t kBlockCalls = 1000;
constexpr int kIdleSeconds = 10;
constexpr double kDefaultSeconds = 2.0;
constexpr int kStartLimitMs = 60000;   // the JVM's start-up
constexpr int kAnswerLimitMs = 10000;  // any single answer
constexpr int kScreenBytes = 1920;

std::string g_self;

double NowMicros() {
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::int64_t WallMillis() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}


void PrintRow(const char* what, const Summary& s) {
    std::printf("  %-44s median %9.2f us  p99 %9.2f us\n", what, s.median, s.p99);
}

// The lowest and highest median of the blocks of kBlockCalls calls, in the
// order the calls were made.
std::pair<double, double> BlockMedianRange(const std::vector<double>& micros) {
    double lowest = 0;
    double highest = 0;
    for (std::size_t start = 0; start + kBlockCalls <= micros.size(); start += kBlockCalls) {
        std::vector<double> block(micros.begin() + static_cast<std::ptrdiff_t>(start),
                                  micros.begin() + static_cast<std::ptrdiff_t>(start + kBlockCalls));
        const double median = Summarise(block).median;
        if (start == 0 || median < lowest) lowest = median;
        if (start == 0 || median > highest) highest = median;
    }
    return {lowest, highest};
}

// Time thread `tid` of process `pid` has run on a CPU, in nanoseconds; -1
// when it cannot be read.
long long ThreadCpuNanos(pid_t pid, pid_t tid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) + "/schedstat");
    long long onCpu = -1;
    if (!(stat >> onCpu)) return -1;
    return onCpu;
}

double ThisThreadCpuMillis() {
    timespec used{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &used);
    return static_cast<double>(used.tv_sec) * 1000.0 + static_cast<double>(used.tv_nsec) / 1e6;
}


struct Library {
    void* handle = nullptr;
    HllapiEntry hllapi = nullptr;

    Library() = default;
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    ~Library() {
        if (handle != nullptr) dlclose(handle);  // detaches from the tables
    }

    bool Load(const std::string& path) {
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) return false;
        hllapi = reinterpret_cast<HllapiEntry>(dlsym(handle, "hllapi"));
        return hllapi != nullptr;
    }

    int32_t Call(int32_t function, char* data, int32_t length, int32_t position = 0) const {
        int32_t rc = position;
        hllapi(&function, data, &length, &rc);
        return rc;
    }

    int32_t Connect(char letter) const {
        char name[2] = {letter, '\0'};
        return Call(HA_CONNECT_PS, name, 1);
    }
};

// Times `count` calls after the warm-up; empty when one answers other than 0.
std::vector<double> TimeCalls(const std::function<int32_t(int)>& call, int count, int32_t* failure) {
    for (int i = 0; i < kWarmUp; ++i) {
        if ((*failure = call(i)) != 0) return {};
    }
    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const double start = NowMicros();
        const int32_t rc = call(i);
        micros.push_back(NowMicros() - start);
        if (rc != 0) {
            *failure = rc;
            return {};
        }
    }
    return micros;
}

// ---- placement ------------------------------------------------------------

// The context switches (voluntary and not) of every thread of process
// `pid`, by id.
std::map<pid_t, long> ContextSwitches(pid_t pid) {
    std::map<pid_t, long> switches;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = opendir(tasks.c_str());
    if (dir == nullptr) return switches;
    while (const dirent* entry = readdir(dir)) {
        const pid_t tid = static_cast<pid_t>(std::atol(entry->d_name));
        if (tid <= 0) continue;
        std::ifstream status(tasks + "/" + entry->d_name + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.find("voluntary_ctxt_switches:") != std::string::npos) {
                switches[tid] += std::atol(line.c_str() + line.find(':') + 1);
            }
        }
    }
    closedir(dir);
    return switches;
}

// The thread of process `pid` that was switched out more often than any
// other during `calls` calls of `probe`, and at least every other call: the
// service thread of the session the calls go to (between two requests it
// sleeps, or the caller it has just woken takes its CPU). 0 when there is
// no such thread.
pid_t ThreadSwitchedPerCall(pid_t pid, int calls, const std::function<void()>& probe) {
    const std::map<pid_t, long> before = ContextSwitches(pid);
    for (int i = 0; i < calls; ++i) probe();
    pid_t found = 0;
    long most = 0;
    for (const auto& [tid, count] : ContextSwitches(pid)) {
        const auto old = before.find(tid);
        const long switched = count - (old != before.end() ? old->second : 0);
        if (switched > most) {
            most = switched;
            found = tid;
        }
    }
    return most >= calls / 2 ? found : 0;
}

// Pins the calling thread (and so the processes it starts), and one thread
// of the emulator, to one CPU, and undoes both.
class Placement {
public:
    Placement() { sched_getaffinity(0, sizeof original_, &original_); }
    ~Placement() { Release(); }
    Placement(const Placement&) = delete;
    Placement& operator=(const Placement&) = delete;

    // The last CPU this process may run on.
    int LastAllowedCpu() const {
        for (int cpu = CPU_SETSIZE - 1; cpu >= 0; --cpu) {
            if (CPU_ISSET(cpu, &original_)) return cpu;
        }
        return 0;
    }

    bool Pin(int cpu, pid_t emulatorThread) {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(cpu, &one);
        if (sched_getaffinity(emulatorThread, sizeof emulatorOriginal_, &emulatorOriginal_) != 0) return false;
        if (sched_setaffinity(emulatorThread, sizeof one, &one) != 0) return false;
        emulatorThread_ = emulatorThread;
        return sched_setaffinity(0, sizeof one, &one) == 0;
    }

    // This process only, so that what it starts next is placed freely.
    void ReleaseSelf() { sched_setaffinity(0, sizeof original_, &original_); }

    void Release() {
        ReleaseSelf();
        if (emulatorThread_ > 0) sched_setaffinity(emulatorThread_, sizeof emulatorOriginal_, &emulatorOriginal_);
        emulatorThread_ = 0;
    }

private:
    cpu_set_t original_{};
    cpu_set_t emulatorOriginal_{};
    pid_t emulatorThread_ = 0;
};

// ---- the caller role of the throughput measurement ----------------------

// Copy PS needs the caller connected, and a session takes one connection at
// a time; Query Session Status names its session in the data and needs no
// connection, so any number of callers can share a session with it.
int RunCaller(int argc, char** argv) {
    if (argc != 7) return 2;
    Library library;
    if (!library.Load(argv[2])) return 3;
    const char letter = argv[3][0];
    const bool copy = std::strcmp(argv[4], "copy") == 0;
    if (copy && library.Connect(letter) != 0) return 4;
    const std::int64_t start = std::atoll(argv[5]);
    const std::int64_t end = std::atoll(argv[6]);
    char data[kScreenBytes + 1];
    while (WallMillis() < start) usleep(200);
    long calls = 0;
    while (WallMillis() < end) {
        if (copy) {
            if (library.Call(HA_COPY_PS, data, kScreenBytes) != 0) return 5;
        } else {
            std::memset(data, ' ', 20);
            data[0] = letter;
            if (library.Call(HA_QUERY_SESSION_STATUS, data, 20) != 0) return 5;
        }
        ++calls;
    }
    if (copy) library.Call(HA_DISCONNECT_PS, nullptr, 0);
    std::printf("%ld\n", calls);
    std::fflush(stdout);
    return 0;
}

// ---- the floor ------------------------------------------------------------

std::optional<Summary> Floor(int count) {
    const std::string dir = g_self.substr(0, g_self.rfind('/') + 1);
    auto child = Child::Start({dir + "bench_event_roundtrip", std::to_string(count)});
    if (!child) return std::nullopt;
    std::optional<Summary> result;
    while (auto line = child->ReadLine(kStartLimitMs)) {
        Summary s;
        if (std::sscanf(line->c_str(), " two processes: median %lf us p99 %lf us", &s.median, &s.p99) == 2) {
            result = s;
        }
    }
    child->Finish(kAnswerLimitMs);
    return result;
}

// ---- s3270 ----------------------------------------------------------------

// The painter s3270 runs as its host: 24 rows of 80 characters, then it
// stays until s3270 closes its input.
int RunPainter() {
    for (int row = 1; row <= 24; ++row) {
        char line[81];
        std::snprintf(line, sizeof line, "%02d %-77.77s", row,
                      "The quick brown fox jumps over the lazy dog; 0123456789 ABCDEFGHIJKLMNOPQRSTU");
        std::fwrite(line, 1, 80, stdout);
        if (row < 24) std::fputs("\r\n", stdout);
    }
    std::fflush(stdout);
    char sink[256];
    while (read(0, sink, sizeof sink) > 0) {
    }
    return 0;
}

// Sends one s3270 action and reads up to its "ok" (true) or "error" line;
// the data lines go to `data` when given.
bool S3270Action(Child& s3270, const std::string& action, std::vector<std::string>* data = nullptr) {
    if (!s3270.Write(action + "\n")) return false;
    for (;;) {
        auto line = s3270.ReadLine(kAnswerLimitMs);
        if (!line) return false;
        if (*line == "ok") return true;
        if (*line == "error") return false;
        if (data != nullptr && line->rfind("data: ", 0) == 0) data->push_back(line->substr(6));
    }
}

std::optional<Summary> S3270Screen(int count, std::string* why) {
    auto s3270 = Child::Start({"s3270", "-model", "2"});
    if (!s3270) {
        *why = "cannot start s3270";
        return std::nullopt;
    }
    if (!S3270Action(*s3270, "Connect(\"-e " + g_self + " --paint\")")) {
        *why = "s3270 cannot start the painter";
        return std::nullopt;
    }
    // Until the painter's last row is on the screen.
    std::vector<std::string> rows;
    for (int tries = 0; tries < 200; ++tries) {
        rows.clear();
        if (!S3270Action(*s3270, "Ascii()", &rows)) break;
        if (rows.size() == 24 && rows[23].rfind("24 ", 0) == 0) break;
        usleep(10000);
    }
    if (rows.size() != 24 || rows[23].rfind("24 ", 0) != 0 || rows[0].size() != 80) {
        *why = "s3270 never showed the painted 24x80 screen";
        return std::nullopt;
    }
    int32_t failure = 0;
    auto micros = TimeCalls([&](int) { return S3270Action(*s3270, "Ascii()") ? 0 : 1; }, count, &failure);
    S3270Action(*s3270, "Quit()");
    s3270->Finish(kAnswerLimitMs);
    if (micros.empty()) {
        *why = "an Ascii() action failed";
        return std::nullopt;
    }
    return Summarise(micros);
}

// ---- the emulator ---------------------------------------------------------

struct Settings {
    std::string library = TRV_BENCH_LIBRARY;
    std::string jar = TRV_BENCH_JAR;
    int count = kDefaultCount;
    double seconds = kDefaultSeconds;
    int cpu = -2;  // -2: the last allowed CPU; -1: no pinning
};

std::optional<double> Throughput(const Settings& settings, const char* function, int callers) {
    const std::int64_t start = WallMillis() + 1500;  // every caller attached and connected by then
    const std::int64_t end = start + static_cast<std::int64_t>(settings.seconds * 1000);
    std::vector<Child> children;
    for (int i = 0; i < callers; ++i) {
        const std::string letter(1, i % 2 == 0 ? 'A' : 'B');
        auto child = Child::Start({g_self, "--caller", settings.library, letter, function, std::to_string(start),
                                   std::to_string(end)});
        if (!child) return std::nullopt;
        children.push_back(std::move(*child));
    }
    long total = 0;
    bool ok = true;
    for (Child& child : children) {
        auto line = child.ReadLine(static_cast<int>(end - WallMillis()) + kAnswerLimitMs);
        if (!line) ok = false;
        else total += std::atol(line->c_str());
        if (child.Finish(kAnswerLimitMs) != 0) ok = false;
    }
    if (!ok) return std::nullopt;
    return static_cast<double>(total) / settings.seconds;
}

int Run(const Settings& settings) {
    // The emulator.
    auto emulator = Child::Start({TRV_BENCH_JAVA, "-Dtrvha64.library=" + settings.library,
                                  "-cp", settings.jar, "com.ombrel.eQintra.hllbridge.HeadlessEmulator",
                                  "--profiles", TRV_BENCH_PROFILES, "demo=A", "demo=B", "answer2s=C"});
    if (!emulator) {
        std::fprintf(stderr, "cannot start %s\n", TRV_BENCH_JAVA);
        return 1;
    }
    const std::optional<std::string> ready = bench::ReadyLine(*emulator, kStartLimitMs);
    if (!ready) {
        std::fprintf(stderr, "no ready line from the emulator\n");
        return 1;
    }

    Library library;
    if (!library.Load(settings.library)) {
        std::fprintf(stderr, "cannot load %s: %s\n", settings.library.c_str(), dlerror());
        return 1;
    }
    if (int32_t rc = library.Connect('A'); rc != 0) {
        std::fprintf(stderr, "Connect Presentation Space to A answered %d\n", rc);
        return 1;
    }

    std::printf("EHLLAPI through the JVM (%s), %d calls after %d warm-up\n", ready->c_str(), settings.count,
                kWarmUp);
    std::printf("as users run it: nothing pinned\n");
    char screen[kScreenBytes + 1];
    int32_t failure = 0;
    const auto copyScreen = [&](int) { return library.Call(HA_COPY_PS, screen, kScreenBytes); };
    auto copy = TimeCalls(copyScreen, settings.count, &failure);
    if (copy.empty()) {
        std::fprintf(stderr, "Copy Presentation Space answered %d\n", failure);
        return 1;
    }
    const Summary copyPS = Summarise(copy);
    PrintRow("Copy Presentation Space (1,920 bytes)", copyPS);
    const auto [lowest, highest] = BlockMedianRange(copy);
    std::printf("  %-44s lowest %9.2f us  highest %9.2f us  (x%.2f to x%.2f of the median)\n",
                "  medians of the blocks of 1,000 calls", lowest, highest, lowest / copyPS.median,
                highest / copyPS.median);

    auto cursor = TimeCalls([&](int) { return library.Call(HA_QUERY_CURSOR_LOC, nullptr, 0); }, settings.count,
                            &failure);
    if (cursor.empty()) {
        std::printf("  %-44s answered %d, not timed\n", "Query Cursor Location", failure);
    } else {
        PrintRow("Query Cursor Location", Summarise(cursor));
    }

    // Cursor right then left: keys the emulator handles without the host.
    char right[] = "@Z";
    char left[] = "@L";
    auto keys = TimeCalls([&](int i) { return library.Call(HA_SENDKEY, i % 2 == 0 ? right : left, 2); },
                          settings.count, &failure);
    if (keys.empty()) {
        std::printf("  %-44s answered %d, not timed\n", "Send Key (cursor right, left)", failure);
    } else {
        PrintRow("Send Key (cursor right, left)", Summarise(keys));
    }

    std::string why;
    const std::optional<Summary> s3270 = S3270Screen(std::min(settings.count, 2000), &why);
    if (s3270) {
        PrintRow("s3270 Ascii(), full 24x80 screen (NVT)", *s3270);
        std::printf("  s3270 / Copy PS:   median %6.2f  p99 %6.2f\n", s3270->median / copyPS.median,
                    s3270->p99 / copyPS.p99);
    } else {
        std::printf("  s3270 not measured: %s\n", why.c_str());
    }

    // The callers of the throughput runs connect to A and B themselves.
    library.Call(HA_DISCONNECT_PS, nullptr, 0);
    std::printf("throughput, callers alternating between sessions A and B, %.1f s each\n", settings.seconds);
    struct Run {
        const char* function;
        const char* title;
        std::vector<int> callers;
    };
    for (const Run& run : {Run{"copy", "Copy PS", {1, 2}}, Run{"status", "Query Session Status", {1, 2, 4}}}) {
        double single = 0;
        for (int callers : run.callers) {
            const std::optional<double> perSecond = Throughput(settings, run.function, callers);
            if (!perSecond) {
                std::printf("  %-21s %d caller(s): failed (a call answered other than 0)\n", run.title, callers);
                break;
            }
            if (callers == 1) single = *perSecond;
            std::printf("  %-21s %d caller(s): %9.0f calls/s", run.title, callers, *perSecond);
            if (single > 0) std::printf("  (x%.2f of one caller)", *perSecond / single);
            std::printf("\n");
        }
    }

    // The service thread of A switches out once per request when requests
    // come with pauses between them: it sleeps between them.
    library.Connect('A');
    constexpr int kProbeCalls = 300;
    const pid_t service = ThreadSwitchedPerCall(emulator->pid(), kProbeCalls, [&] {
        library.Call(HA_COPY_PS, screen, kScreenBytes);
        usleep(1000);
    });

    std::printf("idle\n");
    if (service == 0) {
        std::printf("  the service thread of A was not found\n");
    } else {
        const long long before = ThreadCpuNanos(emulator->pid(), service);
        sleep(kIdleSeconds);
        const long long after = ThreadCpuNanos(emulator->pid(), service);
        if (before < 0 || after < 0) {
            std::printf("  the service thread's CPU time cannot be read\n");
        } else {
            const double millis = static_cast<double>(after - before) / 1e6;
            std::printf("  service thread of an idle session, %d s: %8.3f ms CPU (%.4f%% of a CPU)\n", kIdleSeconds,
                        millis, millis / (kIdleSeconds * 10.0));
        }
    }
    library.Call(HA_DISCONNECT_PS, nullptr, 0);
    if (int32_t rc = library.Connect('C'); rc != 0) {
        std::printf("  Wait not measured: Connect Presentation Space to C answered %d\n", rc);
    } else {
        char enter[] = "@E";
        const int32_t sent = library.Call(HA_SENDKEY, enter, 2);
        const double cpuBefore = ThisThreadCpuMillis();
        const double wallBefore = NowMicros();
        const int32_t waited = library.Call(HA_WAIT, nullptr, 0);
        const double wallSeconds = (NowMicros() - wallBefore) / 1e6;
        const double cpuMillis = ThisThreadCpuMillis() - cpuBefore;
        std::printf("  caller in a Wait (Send Key %d, Wait %d) of %.2f s: %8.3f ms CPU\n", sent, waited,
                    wallSeconds, cpuMillis);
        library.Call(HA_DISCONNECT_PS, nullptr, 0);
    }

    if (settings.cpu == -1) {
        std::printf("pinned: left out (--cpu none)\n");
    } else {
        Placement placement;
        const int cpu = settings.cpu >= 0 ? settings.cpu : placement.LastAllowedCpu();
        library.Connect('A');
        if (service == 0 || !placement.Pin(cpu, service)) {
            placement.Release();
            std::printf("pinned: nothing pinned: %s\n", service == 0 ? "the service thread of A was not found"
                                                                      : "cannot set the CPU affinity");
        } else {
            std::printf("pinned: caller, service thread of A (%d) and the floor's processes on CPU %d\n",
                        static_cast<int>(service), cpu);
            auto pinned = TimeCalls(copyScreen, settings.count, &failure);
            const Summary pinnedCopy = Summarise(pinned);
            if (!pinned.empty()) {
                PrintRow("Copy Presentation Space (1,920 bytes)", pinnedCopy);
                std::printf("  unpinned / pinned Copy PS: median %6.2f\n", copyPS.median / pinnedCopy.median);
            }
            const std::optional<Summary> floor = Floor(settings.count * 4);
            if (floor) {
                PrintRow("floor: event round trip, two processes", *floor);
                if (!pinned.empty()) {
                    std::printf("  pinned Copy PS / floor: median %6.2f  p99 %6.2f\n",
                                pinnedCopy.median / floor->median, pinnedCopy.p99 / floor->p99);
                }
            } else {
                std::printf("  floor not measured (bench_event_roundtrip failed)\n");
            }
        }
        library.Call(HA_DISCONNECT_PS, nullptr, 0);
    }

    emulator->Write("quit\n");
    if (emulator->Finish(kAnswerLimitMs) != 0) std::fprintf(stderr, "the emulator did not end cleanly\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    g_self = n > 0 ? std::string(self, static_cast<std::size_t>(n)) : argv[0];
    if (argc >= 2 && std::strcmp(argv[1], "--caller") == 0) return RunCaller(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "--paint") == 0) return RunPainter();

    Settings settings;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--count") == 0) settings.count = std::max(100, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--seconds") == 0) settings.seconds = std::max(0.2, std::atof(argv[i + 1]));
        else if (std::strcmp(argv[i], "--library") == 0) settings.library = argv[i + 1];
        else if (std::strcmp(argv[i], "--jar") == 0) settings.jar = argv[i + 1];
        else if (std::strcmp(argv[i], "--cpu") == 0) {
            settings.cpu = std::strcmp(argv[i + 1], "none") == 0 ? -1 : std::max(0, std::atoi(argv[i + 1]));
        }
    }
    // The namespace the environment names, as everywhere; without one, a
    // namespace of this run's own, so that it meets no other process's
    // sessions. Inherited by the emulator and the caller processes.
    const char* named = std::getenv("TRVHA64_NAMESPACE");
    if (named == nullptr || named[0] == '\0') {
        setenv("TRVHA64_NAMESPACE", ("bench-" + std::to_string(getpid())).c_str(), 1);
    }
    setenv("TRVHA64_UNATTENDED", "1", 1);
    signal(SIGPIPE, SIG_IGN);
    const int status = Run(settings);
    return status;
}
