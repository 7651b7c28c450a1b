// Child processes (POSIX: fork and exec with pipes, poll for output,
// waitpid for the end), paths and namespaces of the end-to-end tests.
#include "e2e_environment.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <functional>
#include <thread>

extern char** environ;

namespace trv::e2e {
namespace {

Milliseconds Left(Clock::time_point deadline) {
    return std::max(Milliseconds(0), std::chrono::duration_cast<Milliseconds>(deadline - Clock::now()));
}

void CloseIfOpen(int& fd) {
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

// The null-terminated pointer array that execve takes.
std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (auto& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// The path of this test binary, for starting its caller roles.
std::string SelfPath() {
    std::error_code ignored;
    return std::filesystem::read_symlink("/proc/self/exe", ignored).string();
}

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::Start(std::vector<std::string> argv, const std::string& space) {
    std::vector<std::string> env{"TRVHA64_NAMESPACE=" + space, "TRVHA64_UNATTENDED=1"};
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (text.rfind("TRVHA64_NAMESPACE=", 0) != 0 && text.rfind("TRVHA64_UNATTENDED=", 0) != 0) env.push_back(text);
    }
    const std::vector<char*> argp = Pointers(argv);
    const std::vector<char*> envp = Pointers(env);

    int in[2];
    int out[2];
    if (pipe2(in, O_CLOEXEC) != 0) return nullptr;
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return nullptr;
    }
    const pid_t pid = fork();
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
    // Owned at once, so that a failed fork closes the pipes too.
    std::unique_ptr<ChildProcess> child(new ChildProcess);
    child->pid_ = pid;
    child->input_ = in[1];
    child->output_ = out[0];
    return pid > 0 ? std::move(child) : nullptr;
}

ChildProcess::~ChildProcess() {
    if (Running()) Kill();
    CloseIfOpen(input_);
    CloseIfOpen(output_);
}

std::optional<std::string> ChildProcess::ReadLine(Milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        const auto newline = buffered_.find('\n');
        if (newline != std::string::npos) {
            std::string line = buffered_.substr(0, newline);
            buffered_.erase(0, newline + 1);
            return line;
        }
        pollfd poller{output_, POLLIN, 0};
        const int ready = poll(&poller, 1, static_cast<int>(std::min<long long>(Left(deadline).count(), INT_MAX)));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return std::nullopt;
        char chunk[4096];
        const ssize_t got = read(output_, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return std::nullopt;  // the output has ended
        buffered_.append(chunk, static_cast<std::size_t>(got));
    }
}

std::optional<std::string> ChildProcess::ReadUntil(const std::string& prefix, Milliseconds limit,
                                                   std::vector<std::string>* seen) {
    const auto deadline = Clock::now() + limit;
    while (auto line = ReadLine(Left(deadline))) {
        if (seen != nullptr) seen->push_back(*line);
        if (line->rfind(prefix, 0) == 0) return line;
    }
    return std::nullopt;
}

std::vector<std::string> ChildProcess::ReadRemainingLines(Milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    std::vector<std::string> lines;
    while (auto line = ReadLine(Left(deadline))) lines.push_back(*line);
    return lines;
}

bool ChildProcess::WriteLine(const std::string& line) {
    // A line shorter than PIPE_BUF is written whole by one write, or not at all.
    const std::string text = line + "\n";
    return write(input_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

void ChildProcess::CloseInput() { CloseIfOpen(input_); }

std::optional<int> ChildProcess::Wait(Milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (!status_) {
        int status = 0;
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        } else if (done < 0 && errno != EINTR) {
            status_ = -1;
        } else if (Clock::now() >= deadline) {
            return std::nullopt;
        } else {
            std::this_thread::sleep_for(Milliseconds(5));
        }
    }
    return status_;
}

bool ChildProcess::Kill() {
    if (!status_ && pid_ > 0) kill(pid_, SIGKILL);
    return Wait(kExitLimit).has_value();
}

bool ChildProcess::Running() { return pid_ > 0 && !Wait(Milliseconds(0)); }

std::string RunNamespace() {
    // One per test binary, so that a run killed half-way is cleaned up by the next.
    return "e2e-" + std::to_string(std::hash<std::string>{}(SelfPath()) & 0xFFFFFFFFu);
}

std::filesystem::path NamespaceDirectory(const std::string& name) {
    // Where the library puts it: under the user's private runtime directory
    // when there is one, else in /dev/shm.
    const std::string user = std::to_string(geteuid());
    const char* variable = std::getenv("XDG_RUNTIME_DIR");
    for (const std::string& runtime : {std::string(variable != nullptr ? variable : ""), "/run/user/" + user}) {
        struct stat info;
        if (runtime.rfind('/', 0) == 0 && lstat(runtime.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
            info.st_uid == geteuid() && (info.st_mode & 077) == 0) {
            return runtime + "/trvha64-" + name;
        }
    }
    return "/dev/shm/trvha64-" + user + "-" + name;
}

std::unique_ptr<ChildProcess> StartCaller(const std::string& space, const std::string& role,
                                          const std::vector<std::string>& args) {
    std::vector<std::string> argv{SelfPath(), "--role", role};
    argv.insert(argv.end(), args.begin(), args.end());
    return ChildProcess::Start(argv, space);
}

}  // namespace trv::e2e
