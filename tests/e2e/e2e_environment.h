// What the end-to-end tests run: the JDK 17 launcher, the emulator's jar, the
// library and the test profiles (paths fixed at build time), the namespaces
// of named objects that keep the tests apart, and the emulator process with
// its command protocol (see com.ombrel.eQintra.hllbridge.HeadlessEmulator).
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"

namespace trv::e2e {

// Time limits of the multi-process steps.
inline constexpr Milliseconds kEmulatorStartLimit{60000};
inline constexpr Milliseconds kAnswerLimit{15000};
inline constexpr Milliseconds kExitLimit{20000};

struct Installation {
    std::string java;      // bin/java of the JDK 17
    std::string jar;       // java/build/palvero-emulator.jar
    std::string library;   // absolute path of libtrvha64.so
    std::string profiles;  // tests/e2e/profiles
};
const Installation& Installed();
// Empty when everything is in place; otherwise what is missing.
std::string MissingParts();

// The namespace of this run's own process, and the one of the running test
// (each test has its emulator and callers in a namespace of their own).
std::string RunNamespace();
std::string TestNamespace();
std::filesystem::path NamespaceDirectory(const std::string& name);

// A caller role of this binary in the given namespace.
std::unique_ptr<ChildProcess> StartCaller(const std::string& space, const std::string& role,
                                          const std::vector<std::string>& args = {});

// The headless emulator in its own JVM.
class Emulator {
public:
    // Starts the emulator with sessions from profile arguments ("demo=A")
    // and waits for its ready line; null (with `why` set) when it does not
    // come up within the limit.
    static std::unique_ptr<Emulator> Start(const std::string& space, const std::vector<std::string>& sessions,
                                           std::string* why);

    ChildProcess& process() { return *process_; }
    const std::string& readyLine() const { return ready_; }

    // Runs one command and answers its lines (without the closing "end");
    // nullopt when no answer comes within the limit.
    std::optional<std::vector<std::string>> Command(const std::string& command);
    // The rows of a session's screen as the emulator renders them itself.
    std::vector<std::string> ScreenRows(char letter);
    // The status line under the screen, as the emulator renders it.
    std::string StatusLine(char letter);

    // "quit", then the exit code (nullopt when it does not end in time).
    std::optional<int> Quit();

private:
    explicit Emulator(std::unique_ptr<ChildProcess> process) : process_(std::move(process)) {}
    std::unique_ptr<ChildProcess> process_;
    std::string ready_;
};

}  // namespace trv::e2e
