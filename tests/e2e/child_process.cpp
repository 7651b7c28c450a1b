// POSIX implementation of the end-to-end tests' child processes: fork and
// exec with pipes, poll for output, waitpid for the end.
#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <thread>

extern char** environ;

namespace trv::e2e {
namespace {

using Clock = std::chrono::steady_clock;

int PollMillis(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<Milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(left > INT_MAX ? INT_MAX : left);
}

void CloseIfOpen(int& fd) {
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

}  // namespace

std::string SelfPath() {
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return {};
    return std::string(path, static_cast<std::size_t>(length));
}

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::vector<std::string>& argv,
                                                  const std::map<std::string, std::string>& environment) {
    if (argv.empty()) return nullptr;
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        std::string text = *entry;
        std::string name = text.substr(0, text.find('='));
        if (environment.count(name) == 0) env.push_back(text);
    }
    for (const auto& [name, value] : environment) env.push_back(name + "=" + value);
    std::vector<char*> argp;
    for (const auto& arg : argv) argp.push_back(const_cast<char*>(arg.c_str()));
    argp.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);

    int in[2];
    int out[2];
    if (pipe2(in, O_CLOEXEC) != 0) return nullptr;
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return nullptr;
    }
    pid_t pid = fork();
    if (pid == 0) {
        // Child: only async-signal-safe calls until exec. The test binary
        // ignores SIGPIPE; its children start with the default.
        signal(SIGPIPE, SIG_DFL);
        // Should the test binary die (a crash, the ctest time-out), its
        // children go with it: no virtual machine outlives a test run.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        execve(argp[0], argp.data(), envp.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    if (pid < 0) {
        close(in[1]);
        close(out[0]);
        return nullptr;
    }
    std::unique_ptr<ChildProcess> child(new ChildProcess);
    child->pid_ = pid;
    child->input_ = in[1];
    child->output_ = out[0];
    return child;
}

ChildProcess::~ChildProcess() {
    if (Running()) Kill();
    CloseIfOpen(input_);
    CloseIfOpen(output_);
}

bool ChildProcess::Fill(Milliseconds limit) {
    if (outputEnded_ || output_ < 0) return false;
    auto deadline = Clock::now() + limit;
    for (;;) {
        pollfd poller{output_, POLLIN, 0};
        int ready = poll(&poller, 1, PollMillis(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        char chunk[4096];
        ssize_t got = read(output_, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            outputEnded_ = true;
            return false;
        }
        buffered_.append(chunk, static_cast<std::size_t>(got));
        return true;
    }
}

std::optional<std::string> ChildProcess::ReadLine(Milliseconds limit) {
    auto deadline = Clock::now() + limit;
    for (;;) {
        auto newline = buffered_.find('\n');
        if (newline != std::string::npos) {
            std::string line = buffered_.substr(0, newline);
            buffered_.erase(0, newline + 1);
            return line;
        }
        if (Clock::now() >= deadline) return std::nullopt;
        if (!Fill(std::chrono::duration_cast<Milliseconds>(deadline - Clock::now())) && outputEnded_) {
            return std::nullopt;
        }
    }
}

std::optional<std::string> ChildProcess::ReadUntil(const std::string& prefix, Milliseconds limit,
                                                   std::vector<std::string>* seen) {
    auto deadline = Clock::now() + limit;
    for (;;) {
        auto left = std::chrono::duration_cast<Milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return std::nullopt;
        auto line = ReadLine(left);
        if (!line) return std::nullopt;
        if (seen != nullptr) seen->push_back(*line);
        if (line->rfind(prefix, 0) == 0) return line;
    }
}

std::vector<std::string> ChildProcess::ReadRemainingLines(Milliseconds limit) {
    std::vector<std::string> lines;
    auto deadline = Clock::now() + limit;
    for (;;) {
        auto left = std::chrono::duration_cast<Milliseconds>(deadline - Clock::now());
        auto line = ReadLine(left.count() > 0 ? left : Milliseconds(0));
        if (!line) break;
        lines.push_back(*line);
    }
    if (!buffered_.empty() && outputEnded_) {
        lines.push_back(buffered_);
        buffered_.clear();
    }
    return lines;
}

bool ChildProcess::WriteLine(const std::string& line) {
    if (input_ < 0) return false;
    std::string text = line + "\n";
    const char* next = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        ssize_t written = write(input_, next, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        next += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

void ChildProcess::CloseInput() { CloseIfOpen(input_); }

std::optional<int> ChildProcess::Wait(Milliseconds limit) {
    if (status_) return status_;
    auto deadline = Clock::now() + limit;
    for (;;) {
        int status = 0;
        pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return status_;
        }
        if (done < 0 && errno != EINTR) {
            status_ = -1;
            return status_;
        }
        if (Clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(Milliseconds(5));
    }
}

void ChildProcess::Signal(int signal) {
    if (!status_ && pid_ > 0) kill(pid_, signal);
}

void ChildProcess::Kill() {
    if (status_ || pid_ <= 0) return;
    kill(pid_, SIGKILL);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool ChildProcess::Running() { return pid_ > 0 && !Wait(Milliseconds(0)); }

}  // namespace trv::e2e
