// Paths, namespaces and the emulator process of the end-to-end tests.
#include "e2e_environment.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace trv::e2e {

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
