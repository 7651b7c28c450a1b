// What the Linux benchmarks share: a child process (the emulator, s3270, a
// caller) with its standard input and output on pipes, and the median and
// p99 of a series of timings.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace bench {

// A child process with its standard input and output on pipes.
class Child {
public:
    static std::optional<Child> Start(const std::vector<std::string>& argv,
                                      const std::vector<std::pair<std::string, std::string>>& env = {}) {
        int in[2];
        int out[2];
        if (pipe2(in, O_CLOEXEC) != 0) return std::nullopt;
        if (pipe2(out, O_CLOEXEC) != 0) {
            close(in[0]);
            close(in[1]);
            return std::nullopt;
        }
        const pid_t pid = fork();
        if (pid < 0) return std::nullopt;
        if (pid == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
            std::vector<char*> args;
            for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execvp(args[0], args.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        Child child;
        child.pid_ = pid;
        child.in_ = in[1];
        child.out_ = out[0];
        return child;
    }

    Child(Child&& other) noexcept { *this = std::move(other); }
    Child& operator=(Child&& other) noexcept {
        std::swap(pid_, other.pid_);
        std::swap(in_, other.in_);
        std::swap(out_, other.out_);
        buffer_.swap(other.buffer_);
        return *this;
    }
    ~Child() {
        if (in_ >= 0) close(in_);
        if (out_ >= 0) close(out_);
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    pid_t pid() const { return pid_; }

    bool Write(const std::string& text) {
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = write(in_, text.data() + done, text.size() - done);
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    // One line without its end, or nothing at the time limit or end of output.
    std::optional<std::string> ReadLine(int limitMs) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        for (;;) {
            const auto end = buffer_.find('\n');
            if (end != std::string::npos) {
                std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
            if (left <= 0) return std::nullopt;
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
            char chunk[8192];
            const ssize_t n = read(out_, chunk, sizeof chunk);
            if (n <= 0) return std::nullopt;
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }

    // Closes standard input and waits for the exit, killing at the limit.
    int Finish(int limitMs) {
        if (in_ >= 0) close(in_);
        in_ = -1;
        int status = 0;
        for (int waited = 0; waited < limitMs; waited += 10) {
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            usleep(10000);
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
        return -1;
    }

private:
    Child() = default;
    pid_t pid_ = -1;
    int in_ = -1;
    int out_ = -1;
    std::string buffer_;
};

struct Summary {
    double median = 0;
    double p99 = 0;
};

inline Summary Summarise(std::vector<double> micros) {
    if (micros.empty()) return {};
    std::sort(micros.begin(), micros.end());
    return Summary{micros[micros.size() / 2], micros[micros.size() * 99 / 100]};
}

// The emulator's "ready ..." line, read past whatever it prints before it;
// nothing when it does not come within `limitMs` or the output ends.
inline std::optional<std::string> ReadyLine(Child& emulator, int limitMs) {
    while (auto line = emulator.ReadLine(limitMs)) {
        if (line->rfind("ready ", 0) == 0) return line;
    }
    return std::nullopt;
}

}  // namespace bench
