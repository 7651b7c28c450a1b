// Child processes (POSIX: fork and exec with pipes, poll for output,
// waitpid for the end), paths, namespaces and the emulator process of the
// end-to-end tests.
#include "e2e_environment.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
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


const Installation& Installed() {
    static const Installation installed{TRV_E2E_JAVA, TRV_E2E_JAR, TRV_E2E_LIBRARY, TRV_E2E_PROFILES};
    return installed;
}

std::string MissingParts() {
    const Installation& parts = Installed();
    std::string missing;
    if (access(parts.java.c_str(), X_OK) != 0) missing += " JDK 17 launcher " + parts.java + ";";
    if (access(parts.jar.c_str(), R_OK) != 0) missing += " emulator jar " + parts.jar + " (run java/build.sh);";
    if (access(parts.library.c_str(), R_OK) != 0) missing += " library " + parts.library + ";";
    if (access((parts.profiles + "/demo.prf").c_str(), R_OK) != 0) missing += " profiles in " + parts.profiles + ";";
    return missing;
}

std::string RunNamespace() {
    // One per test binary, so that a run killed half-way is cleaned up by the next.
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "e2e-%08zx", std::hash<std::string>{}(SelfPath()) & 0xFFFFFFFFu);
    return suffix;
}

std::string TestNamespace() {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = RunNamespace() + "-" + (info != nullptr ? info->name() : "none");
    for (char& c : name) {
        if (c == '/') c = '_';
    }
    return name;
}

std::filesystem::path NamespaceDirectory(const std::string& name) {
    // Where the library puts it: under the user's private runtime directory
    // when there is one, else in /dev/shm.
    auto isPrivate = [](const std::string& path) {
        struct stat info;
        return !path.empty() && path[0] == '/' && lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
               info.st_uid == geteuid() && (info.st_mode & 077) == 0;
    };
    const char* variable = std::getenv("XDG_RUNTIME_DIR");
    std::string runtime = variable != nullptr && isPrivate(variable) ? variable : "";
    if (runtime.empty() && isPrivate("/run/user/" + std::to_string(geteuid()))) {
        runtime = "/run/user/" + std::to_string(geteuid());
    }
    if (!runtime.empty()) return runtime + "/trvha64-" + name;
    return "/dev/shm/trvha64-" + std::to_string(geteuid()) + "-" + name;
}

std::unique_ptr<ChildProcess> StartCaller(const std::string& space, const std::string& role,
                                          const std::vector<std::string>& args) {
    std::vector<std::string> argv{SelfPath(), "--role", role};
    argv.insert(argv.end(), args.begin(), args.end());
    return ChildProcess::Start(argv, {{"TRVHA64_NAMESPACE", space}, {"TRVHA64_UNATTENDED", "1"}});
}

std::unique_ptr<Emulator> Emulator::Start(const std::string& space, const std::vector<std::string>& sessions,
                                          std::string* why) {
    const Installation& parts = Installed();
    std::vector<std::string> argv{parts.java,
                                  "-XX:TieredStopAtLevel=1",
                                  "-Dtrvha64.library=" + parts.library,
                                  "-Dpalvero.hostfiles=" + (NamespaceDirectory(space) / "hostfiles").string(),
                                  "-cp",
                                  parts.jar,
                                  "com.ombrel.eQintra.hllbridge.HeadlessEmulator",
                                  "--profiles",
                                  parts.profiles};
    argv.insert(argv.end(), sessions.begin(), sessions.end());
    auto process = ChildProcess::Start(argv, {{"TRVHA64_NAMESPACE", space}, {"TRVHA64_UNATTENDED", "1"}});
    if (!process) {
        *why = "cannot start " + parts.java;
        return nullptr;
    }
    std::unique_ptr<Emulator> emulator(new Emulator(std::move(process)));
    std::vector<std::string> seen;
    auto ready = emulator->process_->ReadUntil("ready ", kEmulatorStartLimit, &seen);
    if (!ready) {
        *why = "no ready line from the emulator; it wrote:";
        for (const auto& line : seen) *why += "\n  " + line;
        return nullptr;
    }
    emulator->ready_ = *ready;
    return emulator;
}

std::optional<std::vector<std::string>> Emulator::Command(const std::string& command) {
    if (!process_->WriteLine(command)) return std::nullopt;
    std::vector<std::string> lines;
    for (;;) {
        auto line = process_->ReadLine(kAnswerLimit);
        if (!line) return std::nullopt;
        if (*line == "end") return lines;
        lines.push_back(*line);
    }
}

std::vector<std::string> Emulator::ScreenRows(char letter) {
    // The dump frames the rows: "+---+", then "|row|" lines, then "+---+".
    std::vector<std::string> rows;
    auto lines = Command(std::string("show ") + letter);
    if (!lines) return rows;
    for (const auto& line : *lines) {
        if (line.size() >= 2 && line.front() == '|' && line.back() == '|') {
            rows.push_back(line.substr(1, line.size() - 2));
        }
    }
    return rows;
}

std::string Emulator::StatusLine(char letter) {
    auto lines = Command(std::string("show ") + letter);
    if (!lines || lines->empty()) return {};
    // The last line: a blank, the status text, then the cursor.
    const std::string& last = lines->back();
    auto cursor = last.rfind("   cursor ");
    return last.substr(1, cursor == std::string::npos ? std::string::npos : cursor - 1);
}

std::optional<int> Emulator::Quit() {
    process_->WriteLine("quit");
    return process_->Wait(kExitLimit);
}

}  // namespace trv::e2e
