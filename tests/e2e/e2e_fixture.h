// What the end-to-end tests share; each test file includes this header for
// its roles and its tests.
//
// The roles: native caller processes, roles of this test binary
// ("e2e_tests --role NAME ARGS..."), each an application that calls the
// exported entries of libtrvha64.so through the public headers. A role
// reports what it saw on standard output as lines "<key> <values...>" (byte
// strings in hexadecimal), flushed at once so that a test can follow a role
// that blocks; a role that needs the test's go-ahead reads a line from
// standard input. Each test file registers the roles it defines; the
// "script" role (caller_roles.cpp) runs steps a test writes.
//
// The tests: the fixture runs an emulator (its commands: see
// HeadlessEmulator) and callers in a namespace of the test's own, and ends
// them before it returns.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <iomanip>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "e2e_environment.h"
#include "trvha64.h"

namespace trv::e2e {

struct RoleEntry {
    const char* name;
    int (*role)(const std::vector<std::string>& args);
};

// Adds roles to those RunCallerRole knows. Called from a namespace-scope
// initialiser of each test file, so every role is known before main runs.
bool RegisterRoles(std::initializer_list<RoleEntry> roles);

// Runs the named role; its result is the process's exit code (2 for an
// unknown role).
int RunCallerRole(const std::string& name, const std::vector<std::string>& args);

struct Outcome {
    int32_t rc;
    int32_t length;
};

// One EHLLAPI call with its four parameters by address; `position` travels
// in the return-code word.
inline Outcome Run(int32_t function, void* data, int32_t length, int32_t position = 0) {
    hllapi(&function, static_cast<char*>(data), &length, &position);
    return {position, length};
}

// The text as the data string (with room after it), its length as the
// length: the return code.
inline int32_t RunText(int32_t function, const std::string& text) {
    std::vector<char> data(text.begin(), text.end());
    data.resize(HLLAPI_MAX_DATA, '\0');
    return Run(function, data.data(), static_cast<int32_t>(text.size())).rc;
}

// Bytes in lowercase hexadecimal, as roles report byte strings.
inline std::string Hex(std::string_view bytes) {
    std::ostringstream text;
    text << std::hex << std::setfill('0');
    for (const unsigned char byte : bytes) text << std::setw(2) << int{byte};
    return text.str();
}

inline unsigned ReadU16(const unsigned char* bytes) { return bytes[0] | (bytes[1] << 8u); }

inline std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

inline void Say(const std::string& line) { std::cout << line << std::endl; }
inline std::string Num(long long value) { return std::to_string(value); }

inline constexpr Milliseconds kCallerLimit{60000};

// Polls `condition` every `step` until it holds or `limit` passes.
inline bool Eventually(const std::function<bool()>& condition, Milliseconds limit = Milliseconds(10000),
                       Milliseconds step = Milliseconds(20)) {
    for (const auto until = Clock::now() + limit; !condition();) {
        if (Clock::now() > until) return false;
        std::this_thread::sleep_for(step);
    }
    return true;
}

inline std::string FromHex(const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return bytes;
}

// One step of the "script" role (caller_roles.cpp): the words, numbers
// written out, apart by blanks.
template <typename First, typename... Words>
std::string Step(const First& first, const Words&... words) {
    std::ostringstream step;
    step << first;
    ((step << ' ' << words), ...);
    return step.str();
}

// A caller role's report: key → the values of each line with that key.
class Report {
public:
    void Add(const std::vector<std::string>& lines) {
        for (const auto& line : lines) {
            const auto words = Words(line);
            if (!words.empty()) values_[words.front()].emplace_back(words.begin() + 1, words.end());
        }
    }
    // The values of the only (or first) line with the key, apart by blanks.
    std::string Joined(const std::string& key) const {
        const auto all = All(key);
        if (all.empty()) return "";
        std::string text;
        for (const auto& word : all.front()) text += (text.empty() ? "" : " ") + word;
        return text;
    }
    std::vector<std::vector<std::string>> All(const std::string& key) const {
        auto found = values_.find(key);
        return found == values_.end() ? std::vector<std::vector<std::string>>{} : found->second;
    }

private:
    std::map<std::string, std::vector<std::vector<std::string>>> values_;
};

// Expects each "key values..." line to be the report's (first) line with
// that key.
inline void ExpectLines(const Report& report, const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        const std::string key = line.substr(0, line.find(' '));
        const std::string values = report.Joined(key);
        EXPECT_EQ(values.empty() ? key : key + " " + values, line);
    }
}

// The bytes in hexadecimal at the end of the line `key`, whose words before
// them must be `results` (a "calld" step's "0 1920").
inline std::string ReadBytes(const Report& report, const std::string& key, const std::string& results) {
    const std::string line = report.Joined(key);
    const std::size_t last = line.rfind(' ');
    EXPECT_EQ(line.substr(0, last), results) << key;
    return last == std::string::npos ? "" : FromHex(line.substr(last + 1));
}

class EmulatorEndToEnd : public testing::Test {
protected:
    void SetUp() override {
        // Each test has its emulator and callers in a namespace of its own.
        space_ = RunNamespace() + "-" + testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(space_.begin(), space_.end(), '/', '_');
        std::error_code ignored;
        std::filesystem::remove_all(NamespaceDirectory(space_), ignored);  // left by a killed run
    }

    void TearDown() override {
        caller_.reset();  // kills it if it is still there
        if (emulator_ && emulator_->Running()) {
            emulator_->WriteLine("quit");
            EXPECT_EQ(emulator_->Wait(kExitLimit), 0) << "the emulator did not end cleanly on quit";
        }
        emulator_.reset();  // kills it if it is still there
        if (holder_) {
            holder_->CloseInput();
            EXPECT_EQ(holder_->Wait(kExitLimit), 0);
        }
        std::error_code ignored;
        std::filesystem::remove_all(NamespaceDirectory(space_), ignored);
    }

    // Starts the emulator with sessions from profile arguments ("demo=A")
    // and waits for its ready line.
    void StartEmulator(const std::vector<std::string>& sessions) {
        std::vector<std::string> argv{TRV_E2E_JAVA,
                                      "-XX:TieredStopAtLevel=1",
                                      "-Dtrvha64.library=" TRV_E2E_LIBRARY,
                                      "-Dpalvero.hostfiles=" + (NamespaceDirectory(space_) / "hostfiles").string(),
                                      "-cp",
                                      TRV_E2E_JAR,
                                      "com.ombrel.eQintra.hllbridge.HeadlessEmulator",
                                      "--profiles",
                                      TRV_E2E_PROFILES};
        argv.insert(argv.end(), sessions.begin(), sessions.end());
        emulator_ = ChildProcess::Start(argv, space_);
        ASSERT_TRUE(emulator_ != nullptr) << "cannot start " TRV_E2E_JAVA;
        std::vector<std::string> seen;
        ASSERT_TRUE(emulator_->ReadUntil("ready ", Milliseconds(60000), &seen))
            << "no ready line from " TRV_E2E_JAVA " with " TRV_E2E_JAR " (java/build.sh builds it); it wrote:\n"
            << testing::PrintToString(seen);
    }

    // Runs one emulator command and answers its lines (without the closing
    // "end", the only line of an answer that starts so); none when no
    // answer comes within the limit.
    std::vector<std::string> Command(const std::string& command) {
        std::vector<std::string> lines;
        if (!emulator_->WriteLine(command) || !emulator_->ReadUntil("end", kAnswerLimit, &lines)) return {};
        lines.pop_back();
        return lines;
    }

    // A session's screen rows, as the emulator renders them itself: the
    // "|row|" lines between the frame's "+---+" lines.
    std::vector<std::string> ScreenRows(char letter) {
        std::vector<std::string> rows;
        for (const auto& line : Command(std::string("show ") + letter)) {
            if (line.size() >= 2 && line.front() == '|' && line.back() == '|') {
                rows.push_back(line.substr(1, line.size() - 2));
            }
        }
        return rows;
    }

    // Another application that keeps the library attached: without one, the
    // shared tables would go with the last process and every later caller
    // would start clean whatever the emulator left behind.
    void StartHolder() {
        holder_ = StartCaller(space_, "script", {"attached say", "- hold"});
        ASSERT_TRUE(holder_ != nullptr);
        ASSERT_TRUE(holder_->ReadUntil("attached", kAnswerLimit).has_value());
    }

    // Runs a role to its end and answers its report.
    Report RunCaller(const std::string& role, const std::vector<std::string>& args = {}) {
        caller_ = StartCaller(space_, role, args);
        EXPECT_TRUE(caller_ != nullptr) << role;
        return caller_ ? Finish() : Report{};
    }

    // Starts a role as caller_ and waits for the "ready" it says once set up.
    void StartReady(const std::string& role, const std::vector<std::string>& args) {
        caller_ = StartCaller(space_, role, args);
        ASSERT_TRUE(caller_ != nullptr);
        ASSERT_TRUE(caller_->ReadUntil("ready", kCallerLimit, &early_).has_value()) << role << " did not get ready";
    }

    // Waits for caller_ to end and answers its whole report.
    Report Finish() {
        Report report;
        EXPECT_EQ(caller_->Wait(kCallerLimit), 0) << "the caller role failed, or did not end in time";
        report.Add(std::exchange(early_, {}));
        report.Add(caller_->ReadRemainingLines(Milliseconds(1000)));
        return report;
    }

    std::string space_;
    std::unique_ptr<ChildProcess> emulator_;
    std::unique_ptr<ChildProcess> holder_;
    std::unique_ptr<ChildProcess> caller_;
    std::vector<std::string> early_;  // read while waiting for "ready"
};

}  // namespace trv::e2e
