// Processes on POSIX: liveness by kill(pid, 0) (a zombie counts as ended)
// and the start time in /proc/<pid>/stat (a reused id has another),
// children by posix_spawn, waited on through a pidfd so that a wait can have
// a time limit, then reaped with waitpid.
#include "platform/process.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/posix/futex.h"
#include "platform/posix/handle_table.h"
#include "platform/posix/namespace.h"
#include "platform/posix/system.h"
#include "platform/timeout.h"

extern char** environ;

namespace trv::platform {
namespace {

class ProcessObject : public posix::KernelObject {
public:
    static constexpr posix::HandleType kType = posix::HandleType::process;
    ProcessObject(pid_t pid, posix::UniqueFd pidfd)
        : KernelObject(kType), pid_(pid), pidfd_(std::move(pidfd)) {}

    ~ProcessObject() override {
        // Reaps a child that already ended; one still running stays a child
        // of this process, as it would stay running on Windows.
        std::lock_guard lock(mutex_);
        if (!reaped_) ::waitpid(pid_, nullptr, WNOHANG);
    }

    // The lock is not held while polling, so a Kill from another thread
    // does not wait for this wait.
    std::uint32_t Wait(std::uint32_t timeoutMs, int* exitCode) {
        posix::Deadline deadline = posix::Deadline::After(timeoutMs);
        for (;;) {
            {
                std::lock_guard lock(mutex_);
                if (reaped_) break;
            }
            pollfd ready{pidfd_.get(), POLLIN, 0};
            int result = ::poll(&ready, 1, MillisecondsLeft(deadline));
            if (result > 0) {
                std::lock_guard lock(mutex_);
                if (!reaped_) {
                    int status = 0;
                    if (posix::RetryOnInterrupt([&] { return ::waitpid(pid_, &status, 0); }) !=
                        pid_) {
                        posix::RecordErrno();
                        return kWaitFailed;
                    }
                    reaped_ = true;
                    // Ended by a signal: 128 + the signal, as shells report it.
                    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                }
                break;
            }
            if (result == 0) return kWaitTimeout;
            if (errno != EINTR) {
                posix::RecordErrno();
                return kWaitFailed;
            }
        }
        std::lock_guard lock(mutex_);
        if (exitCode != nullptr) *exitCode = exitCode_;
        return kWaitObject0;
    }

    bool Kill() {
        std::lock_guard lock(mutex_);
        if (reaped_) {
            posix::RecordError(ESRCH);
            return false;
        }
        // Through the pidfd, so a reused process id is never hit.
        if (::syscall(SYS_pidfd_send_signal, pidfd_.get(), SIGKILL, nullptr, 0) != 0) {
            posix::RecordErrno();
            return false;
        }
        return true;
    }

private:
    static int MillisecondsLeft(const posix::Deadline& deadline) {
        if (deadline.infinite()) return -1;
        timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        long long left = (deadline.at()->tv_sec - now.tv_sec) * 1000LL +
                         (deadline.at()->tv_nsec - now.tv_nsec + 999999) / 1000000;
        if (left < 0) return 0;
        return left > INT_MAX ? INT_MAX : static_cast<int>(left);
    }

    std::mutex mutex_;
    pid_t pid_;
    posix::UniqueFd pidfd_;
    bool reaped_ = false;
    int exitCode_ = 0;
};

}  // namespace

namespace {

// The fields of /proc/<pid>/stat after the command name; empty when the
// process does not exist.
std::string StatFields(pid_t pid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/stat", pid);
    std::FILE* stat = std::fopen(path, "re");
    if (stat == nullptr) return std::string();
    char text[1024];
    std::size_t length = std::fread(text, 1, sizeof text - 1, stat);
    std::fclose(stat);
    text[length] = '\0';
    const char* end = std::strrchr(text, ')');  // the command name may hold anything
    if (end == nullptr || end[1] == '\0') return std::string();
    return std::string(end + 2);
}

// Field 22 of the stat line, the start time in clock ticks since boot.
std::uint32_t StartStampOf(const std::string& fields) {
    // `fields` begins with field 3 (the state).
    std::size_t at = 0;
    for (int field = 3; field < 22; ++field) {
        at = fields.find(' ', at);
        if (at == std::string::npos) return 0;
        ++at;
    }
    const unsigned long long ticks = std::strtoull(fields.c_str() + at, nullptr, 10);
    const auto stamp = static_cast<std::uint32_t>(ticks ^ (ticks >> 32));
    return stamp != 0 ? stamp : 1;
}

}  // namespace

bool IsProcessAlive(std::uint32_t processId) {
    if (processId == 0 || processId > static_cast<std::uint32_t>(INT_MAX)) return false;
    auto pid = static_cast<pid_t>(processId);
    if (::kill(pid, 0) != 0 && errno != EPERM) return false;
    const std::string fields = StatFields(pid);
    if (fields.empty()) return true;
    // An ended child that was not reaped yet still answers kill; it is dead.
    return fields[0] != 'Z' && fields[0] != 'X';
}

std::uint32_t ProcessStartStamp(std::uint32_t processId) {
    if (processId == 0 || processId > static_cast<std::uint32_t>(INT_MAX)) return 0;
    return StartStampOf(StatFields(static_cast<pid_t>(processId)));
}

std::uint32_t CurrentProcessStartStamp() { return ProcessStartStamp(static_cast<std::uint32_t>(::getpid())); }

bool IsProcessAlive(std::uint32_t processId, std::uint32_t startStamp) {
    if (processId == 0 || processId > static_cast<std::uint32_t>(INT_MAX)) return false;
    auto pid = static_cast<pid_t>(processId);
    if (::kill(pid, 0) != 0 && errno != EPERM) return false;
    // One read of the status line for both answers: waits on a session look
    // at its emulator this way several times a second, and the status of a
    // process of many threads (a JVM) is summed over all of them.
    const std::string fields = StatFields(pid);
    if (fields.empty()) return true;
    if (fields[0] == 'Z' || fields[0] == 'X') return false;
    if (startStamp == 0) return true;
    const std::uint32_t now = StartStampOf(fields);
    // Unreadable (another user's process under a restrictive /proc): the id alone.
    return now == 0 || now == startStamp;
}

ProcessWatch::ProcessWatch(std::uint32_t processId, std::uint32_t startStamp)
    : processId_(processId), startStamp_(startStamp) {
    if (processId == 0 || processId > static_cast<std::uint32_t>(INT_MAX)) {
        goneAtStart_ = true;
        return;
    }
    const long fd = ::syscall(SYS_pidfd_open, static_cast<pid_t>(processId), 0u);
    if (fd >= 0) {
        ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
        watch_ = fd;
    }
    // Opened after the id could have passed to another process: the stamp
    // tells whether the descriptor names the process meant.
    goneAtStart_ = !IsProcessAlive(processId, startStamp);
}

ProcessWatch::~ProcessWatch() {
    if (watch_ >= 0) ::close(static_cast<int>(watch_));
}

ProcessWatch::ProcessWatch(ProcessWatch&& other) noexcept { *this = std::move(other); }

ProcessWatch& ProcessWatch::operator=(ProcessWatch&& other) noexcept {
    if (this == &other) return *this;
    if (watch_ >= 0) ::close(static_cast<int>(watch_));
    processId_ = other.processId_;
    startStamp_ = other.startStamp_;
    watch_ = other.watch_;
    goneAtStart_ = other.goneAtStart_;
    other.watch_ = -1;
    return *this;
}

bool ProcessWatch::Ended() const {
    if (goneAtStart_) return true;
    if (watch_ < 0) return !IsProcessAlive(processId_, startStamp_);
    // A pidfd turns readable when its process ends (reaped or not).
    pollfd ended{static_cast<int>(watch_), POLLIN, 0};
    return ::poll(&ended, 1, 0) > 0;
}

void OpenObjectsToAllProcesses() {
    if (posix::EnsureNamespace()) posix::SweepStaleObjects();
}

std::string ObjectsProblem() { return posix::NamespaceProblem(); }

void SweepObjectsOfEndedProcesses() { posix::SweepStaleObjects(); }

ChildProcess SpawnProcess(const std::string& program, const std::vector<std::string>& arguments) {
    ChildProcess child;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    int error = ::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ);
    if (error != 0) {
        posix::RecordError(error);
        return child;
    }
    int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (pidfd < 0) {
        posix::RecordErrno();
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        return child;
    }
    ::fcntl(pidfd, F_SETFD, FD_CLOEXEC);
    child.handle = posix::InsertHandle(
        std::make_shared<ProcessObject>(pid, posix::UniqueFd(pidfd)));
    child.id = child.handle != kNoHandle ? static_cast<std::uint32_t>(pid) : 0;
    return child;
}

std::uint32_t WaitForProcess(Handle process, std::uint32_t timeoutMs, int* exitCode) {
    std::shared_ptr<ProcessObject> object = posix::LookupAs<ProcessObject>(process);
    if (!object) return kWaitFailed;
    return object->Wait(timeoutMs, exitCode);
}

bool KillProcess(Handle process) {
    std::shared_ptr<ProcessObject> object = posix::LookupAs<ProcessObject>(process);
    if (!object) return false;
    return object->Kill();
}

std::string ExecutablePath() {
    char path[4096];
    ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length < 0) {
        posix::RecordErrno();
        return std::string();
    }
    return std::string(path, static_cast<std::size_t>(length));
}

}  // namespace trv::platform
