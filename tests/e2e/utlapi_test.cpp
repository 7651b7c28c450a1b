// End to end: applications that use only the UTLAPI functions against the
// reference emulator. One manages sessions (the configured ones of a
// configuration file, started, listed, queried, switched and stopped);
// examples/utlapi_demo signs on and reads the screen as it is. Each is
// checked against what the emulator shows. (The screen functions one by one
// are the UTLAPI unit tests'.)
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "e2e_fixture.h"
#include "trvha64_qmxapi.h"
#include "trvha64_utlapi.h"

namespace trv::e2e {
namespace {

constexpr trvUTLClient kClient = 0x0E2E;

// A result, then the text the call left in the buffer.
std::string ResultAndText(int32_t result, const char* text) { return Num(result) + " " + Hex(std::string(text)); }

// utlapi_sessions L DIR: sessions through UTLAPI, with DIR as the
// configuration directory (B and C configured there); L is running already.
int UTLAPISessionsRole(const std::vector<std::string>& args) {
    setenv("XDG_CONFIG_HOME", args[1].c_str(), 1);
    char text[512];
    auto list = [&](const std::string& key, int32_t state) {
        std::memset(text, 0, sizeof text);
        Say(key + " " + ResultAndText(UTLGetSessions(kClient, text, sizeof text, state), text));
    };
    auto status = [](const char* letter) {
        std::string values;
        for (int32_t type : {0, 3, 14, 15}) values += " " + Num(UTLGetSessionStatus(kClient, letter, type));
        return values;
    };
    Say("register " + Num(UTLRegisterClient(kClient)));
    Say("start " + Num(UTLStartSession(kClient, "b", "N")) + " " + Num(UTLStartSession(kClient, "B", "x")) + " " +
        Num(UTLStartSession(kClient, "D", "N")));
    list("connected_list", 12);
    list("connected_count", 15);
    Say("status" + status("B"));

    Say("connect " + Num(UTLConnectSession(kClient, "b")));
    Say("size " + Num(UTLGetSessionSize(kClient)));
    char profile[QMX_PROFILE_SIZE + 1] = {};
    Say("configuration " + ResultAndText(UTLGetConfiguration(kClient, profile, QMX_PROFILE_SIZE), profile));
    char version[8] = {};
    Say("version " + ResultAndText(UTLGetEmulatorVersion(kClient, version, 4), version));
    char system[36] = {};
    Outcome query = Run(HA_QUERY_SYSTEM, system, sizeof system);
    Say("query_system " + Num(query.rc) + " " + std::string(system, 3));

    Say("session_off " + Num(UTLSessionOff(kClient)));
    Say("status_off" + status("B"));
    list("started_list", 2);
    list("started_count", 5);
    Say("session_on " + Num(UTLSessionOn(kClient)));

    Say("stop " + Num(UTLStopSession(kClient)));
    Say("status_stopped" + status("B"));
    list("after_stop", 12);
    Say("disconnect " + Num(UTLDisconnectSession(kClient)));
    Say("unregister " + Num(UTLUnregisterClient(kClient)));
    return 0;
}

[[maybe_unused]] const bool kRegistered = RegisterRoles({
    {"utlapi_sessions", UTLAPISessionsRole, 2},
});

// The text of a "result hex" line whose result is `result`.
std::string TextOf(const std::vector<std::string>& words, const std::string& result = "1") {
    if (words.empty() || words[0] != result) return "(answered " + (words.empty() ? "nothing" : words[0]) + ")";
    return words.size() > 1 ? FromHex(words[1]) : "";
}

class UTLAPIEndToEnd : public EmulatorEndToEnd {
protected:
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(config_, ignored);
        EmulatorEndToEnd::TearDown();
    }

    // Configures sessions B and C; answers B's profile path.
    std::string Configure() {
        config_ = std::filesystem::temp_directory_path() / ("utlapi-config-" + space_);
        std::filesystem::create_directories(config_ / "trvha64");
        const std::string parts = Installed().profiles + "/parts.prf";
        std::ofstream(config_ / "trvha64" / "sessions") << "# the test's sessions\nB " << parts
                                                        << "\nC /srv/none/Payroll.prf\n";
        return parts;
    }

    std::filesystem::path config_;
};

TEST_F(UTLAPIEndToEnd, SessionsAreStartedListedQueriedAndStopped) {
    const std::string parts = Configure();
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    Report report = RunCaller("utlapi_sessions", {"A", config_.string()});

    ExpectLines(report, {"register 1",
                         // started (its profile from the configuration); started already; D is not configured
                         "start 1 1 -11",
                         // running (1), connected (2), established in the session table (4)
                         "connected_count 2", "status 7 1 1 1", "connect 1", "size 1920",
                         "session_off 1", "status_off 5 1 0 1", "started_count 1", "session_on 1", "stop 1",
                         "status_stopped 0 0 0 0", "unregister 1"});
    // The long names come from the sessions' profile paths.
    EXPECT_EQ(TextOf(report["connected_list"], "15"), "A demo, B parts,");
    EXPECT_EQ(TextOf(report["started_list"], "7"), "B parts,");
    EXPECT_EQ(TextOf(report["after_stop"], "6"), "A demo,");
    EXPECT_EQ(TextOf(report["configuration"]), parts);
    // Query System's version and level, as "v.ll".
    const auto system = report["query_system"];
    ASSERT_EQ(system.size(), 2u);
    EXPECT_EQ(system[0], "0");
    EXPECT_EQ(TextOf(report["version"], "4"), system[1].substr(0, 1) + "." + system[1].substr(1, 2));

    // The emulator agrees: B is gone, A runs on.
    auto sessions = emulator_->Command("list");
    ASSERT_TRUE(sessions.has_value());
    std::string all;
    for (const auto& line : *sessions) all += line + "\n";
    EXPECT_EQ(all.find("B "), std::string::npos) << all;
    EXPECT_NE(all.find("A "), std::string::npos) << all;
}

TEST_F(UTLAPIEndToEnd, TheExampleProgramSignsOn) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    auto demo = ChildProcess::Start({TRV_E2E_UTLAPI_DEMO, "A"}, {{"TRVHA64_NAMESPACE", space_}});
    ASSERT_TRUE(demo != nullptr);
    const auto code = demo->Wait(kCallerLimit);
    std::string output;
    for (const auto& line : demo->ReadRemainingLines(Milliseconds(1000))) output += line + "\n";
    EXPECT_EQ(code, 0) << output;
    EXPECT_NE(output.find("utlapi_demo: done"), std::string::npos) << output;
    // It printed the main menu as the emulator shows it.
    const std::vector<std::string> screen = emulator_->ScreenRows('A');
    ASSERT_GE(screen.size(), 3u);
    EXPECT_NE(output.find("|" + screen[2] + "|"), std::string::npos) << output;
}

}  // namespace
}  // namespace trv::e2e
