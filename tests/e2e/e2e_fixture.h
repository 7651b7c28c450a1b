// What the end-to-end tests share (each test file includes this header for
// its roles and tests): the reports of caller roles, parsed, and the fixture
// that runs an emulator (and, when asked, a process holding the library) in
// a namespace of the test's own, ending both before it returns.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "caller_roles.h"
#include "e2e_environment.h"

namespace trv::e2e {

using Clock = std::chrono::steady_clock;

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
template <typename... Words>
std::string Step(const Words&... words) {
    std::string step;
    auto add = [&step](const auto& word) {
        if (!step.empty()) step += ' ';
        if constexpr (std::is_arithmetic_v<std::decay_t<decltype(word)>>) {
            step += std::to_string(word);
        } else {
            step += word;
        }
    };
    (add(words), ...);
    return step;
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
    // The values of the only (or first) line with the key; empty when missing.
    std::vector<std::string> operator[](const std::string& key) const {
        const auto all = All(key);
        return all.empty() ? std::vector<std::string>{} : all.front();
    }
    std::string Joined(const std::string& key) const {
        std::string text;
        for (const auto& word : (*this)[key]) text += (text.empty() ? "" : " ") + word;
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

// The bytes a "calld" step read, whose return code and length must be
// `rcAndLength` ("0 1920").
inline std::string ReadBytes(const Report& report, const std::string& key, const std::string& rcAndLength) {
    const auto words = report[key];
    EXPECT_EQ(words.size() >= 2 ? words[0] + " " + words[1] : "(" + report.Joined(key) + ")", rcAndLength) << key;
    return words.size() >= 3 ? FromHex(words[2]) : "";
}

class EmulatorEndToEnd : public testing::Test {
protected:
    void SetUp() override {
        std::string missing = MissingParts();
        ASSERT_TRUE(missing.empty()) << "missing:" << missing;
        space_ = TestNamespace();
        std::error_code ignored;
        std::filesystem::remove_all(NamespaceDirectory(space_), ignored);  // left by a killed run
    }

    void TearDown() override {
        if (emulator_ && emulator_->process().Running()) {
            auto code = emulator_->Quit();
            EXPECT_EQ(code, 0) << "the emulator did not end cleanly on quit";
        }
        emulator_.reset();  // kills it if it is still there
        if (holder_) {
            holder_->CloseInput();
            EXPECT_EQ(holder_->Wait(kExitLimit), 0);
            holder_.reset();
        }
        std::error_code ignored;
        std::filesystem::remove_all(NamespaceDirectory(space_), ignored);
    }

    void StartEmulator(const std::vector<std::string>& sessions) {
        std::string why;
        emulator_ = Emulator::Start(space_, sessions, &why);
        ASSERT_TRUE(emulator_ != nullptr) << why;
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
        Report report;
        auto caller = StartCaller(space_, role, args);
        EXPECT_TRUE(caller != nullptr);
        if (!caller) return report;
        auto code = caller->Wait(kCallerLimit);
        EXPECT_EQ(code, 0) << "caller role " << role << (code ? " failed" : " did not end in time");
        report.Add(caller->ReadRemainingLines(Milliseconds(1000)));
        return report;
    }

    // Starts a role that says "ready" once it is set up, and waits for that.
    std::unique_ptr<ChildProcess> StartReady(const std::string& role, const std::vector<std::string>& args) {
        auto caller = StartCaller(space_, role, args);
        EXPECT_TRUE(caller != nullptr);
        if (caller && !caller->ReadUntil("ready", kCallerLimit, &early_[caller.get()]).has_value()) {
            ADD_FAILURE() << "role " << role << " did not get ready";
            caller.reset();
        }
        return caller;
    }

    // Waits for a started role to end and answers its whole report.
    Report Finish(ChildProcess& caller) {
        Report report;
        EXPECT_EQ(caller.Wait(kCallerLimit), 0);
        report.Add(early_[&caller]);
        report.Add(caller.ReadRemainingLines(Milliseconds(1000)));
        return report;
    }

    // What callers see once the emulator is gone: no session, and no
    // session-management service.
    void ExpectEmulatorGone() {
        ExpectLines(RunCaller("script", {Step("connect call", HA_CONNECT_PS, "A"),
                                         Step("query_sessions calln", HA_QUERY_SESSIONS, "-", 0, 416),
                                         "qmx_status status A"}),
                    {"connect 1", "query_sessions 0 0", "qmx_status 9"});
    }

    std::string space_;
    std::unique_ptr<Emulator> emulator_;
    std::unique_ptr<ChildProcess> holder_;
    std::map<ChildProcess*, std::vector<std::string>> early_;  // read while waiting for "ready"
};

}  // namespace trv::e2e
