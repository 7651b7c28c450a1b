// The fixtures and helpers that the UTLAPI tests share.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/configured_sessions.h"
#include "platform/environment.h"
#include "screen_responder.h"
#include "support/test_files.h"
#include "trvha64_utlapi.h"

namespace trv::test {

// The client kClient bound to session A of the suite's screen responder.
class BoundClientTest : public ScreenResponderTest {
protected:
    static constexpr trvUTLClient kClient = 0xC0FFEE;
    void SetUp() override {
        ScreenResponderTest::SetUp();
        ASSERT_EQ(UTLRegisterClient(kClient), 1);
        ASSERT_EQ(UTLConnectSession(kClient, "a"), 1);
    }
    void TearDown() override {
        UTLUnregisterClient(kClient);
        ScreenResponderTest::TearDown();
    }
};

// A fresh directory made the current one for the test's duration, so that
// "utlTrace.log" lands there.
class ScratchDirectory : public FreshDirectory {
public:
    explicit ScratchDirectory(const std::string& name)
        : FreshDirectory(name), previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(path());
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        std::filesystem::current_path(previous_, ignored);
    }

private:
    std::filesystem::path previous_;
};

// Configures A and C (and nothing else) for the test's duration; on POSIX
// in a configuration directory of the test's own.
class ConfiguredSessionsTest : public testing::Test {
protected:
    void SetUp() override {
        platform::SetEnvironment("XDG_CONFIG_HOME", dir_.path().string().c_str());
        for (char letter = 'A'; letter <= 'Z'; ++letter) ASSERT_TRUE(platform::WriteConfiguredSession(letter, ""));
        ASSERT_TRUE(platform::WriteConfiguredSession('A', "C:\\profiles\\Payroll.ws"));
        ASSERT_TRUE(platform::WriteConfiguredSession('C', "sales"));
    }
    void TearDown() override {
        platform::WriteConfiguredSession('A', "");
        platform::WriteConfiguredSession('C', "");
    }
    ScratchDirectory dir_{"utl_config"};
};

// The whole text of a file, bytes as written (the trace ends lines in CR LF).
inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

// The test process is attached as a UTLAPI caller for the whole run.
inline testing::Environment* const g_attached = testing::AddGlobalTestEnvironment(new AttachedCaller("utl-tests"));

}  // namespace trv::test
