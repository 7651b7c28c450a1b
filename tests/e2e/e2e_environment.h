// What the end-to-end tests run, and how: child processes (the emulator's
// JVM and the caller roles of this test binary) with pipes for their
// standard input and output, read line by line with a time limit, and the
// namespaces of named objects that keep the tests apart. Paths of the JDK,
// the jar, the library and the profiles are fixed at build time.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace trv::e2e {

using Milliseconds = std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// A child process with pipes to its standard input and output. The
// destructor kills and reaps a child that is still running, so a failing
// test leaves no process behind.
class ChildProcess {
public:
    // Starts argv[0] (an absolute path) with the environment of this process,
    // in the library's namespace `space`, unattended. Null when the start failed.
    static std::unique_ptr<ChildProcess> Start(std::vector<std::string> argv, const std::string& space);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

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
    bool Kill();  // SIGKILL, then reap: whether it has ended
    bool Running();

private:
    ChildProcess() = default;

    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    std::string buffered_;
    std::optional<int> status_;
};

inline constexpr Milliseconds kAnswerLimit{15000};
inline constexpr Milliseconds kExitLimit{20000};

// The namespace of this run's own process, and the directory of a
// namespace's named objects.
std::string RunNamespace();
std::filesystem::path NamespaceDirectory(const std::string& name);

// A caller role of this binary in the given namespace.
std::unique_ptr<ChildProcess> StartCaller(const std::string& space, const std::string& role,
                                          const std::vector<std::string>& args);

}  // namespace trv::e2e
