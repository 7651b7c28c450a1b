// Child processes of the end-to-end tests (Linux): the emulator's Java
// virtual machine and the native caller roles of this test binary. Each
// child gets pipes for its standard input and output, so that a test can
// send it commands and read its answers line by line, always with a time
// limit. The destructor kills and reaps a child that is still running, so a
// failing test leaves no process behind.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace trv::e2e {

using Milliseconds = std::chrono::milliseconds;

class ChildProcess {
public:
    // Starts argv[0] (an absolute path) with the environment of this process,
    // changed by `environment` (name → value). Null when the start failed.
    static std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& argv,
                                               const std::map<std::string, std::string>& environment);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }

    // The next line of standard output without its newline; nullopt when the
    // limit passes or the output ends first.
    std::optional<std::string> ReadLine(Milliseconds limit);
    // Reads lines until one starts with `prefix` and answers it; every line
    // read goes to `seen` when given.
    std::optional<std::string> ReadUntil(const std::string& prefix, Milliseconds limit,
                                         std::vector<std::string>* seen = nullptr);
    // Everything the child still writes until it closes its output (or the limit).
    std::vector<std::string> ReadRemainingLines(Milliseconds limit);

    bool WriteLine(const std::string& line);
    void CloseInput();

    // The exit code, or 128 + the signal that ended it; nullopt when the
    // child is still running at the limit.
    std::optional<int> Wait(Milliseconds limit);
    void Signal(int signal);
    // SIGKILL, then reap.
    void Kill();
    bool Running();

private:
    ChildProcess() = default;
    bool Fill(Milliseconds limit);

    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    std::string buffered_;
    bool outputEnded_ = false;
    std::optional<int> status_;
};

// The path of this test binary, for starting its caller roles.
std::string SelfPath();

}  // namespace trv::e2e
