// What the UTLAPI tests share: the test process attached as a caller, in a
// namespace of named objects of its own, the screen responder of
// screen_responder.h, a client bound to its session A, and a scratch
// directory for the trace file.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "screen_responder.h"
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
        UTLDisconnectSession(kClient);
        UTLUnregisterClient(kClient);
        ScreenResponderTest::TearDown();
    }
};

// Runs the test body in a fresh directory of its own as the current
// directory, where "utlTrace.log" lands; restores the old one after.
class ScratchDirectory {
public:
    explicit ScratchDirectory(const std::string& name)
        : previous_(std::filesystem::current_path()),
          path_((std::filesystem::temp_directory_path() / UniqueName(name)).string()) {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
        std::filesystem::current_path(path_);
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        std::filesystem::current_path(previous_, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    const std::string& path() const { return path_; }

private:
    std::filesystem::path previous_;
    std::string path_;
};

// The whole text of a file, bytes as written (the trace ends lines in CR LF).
inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace trv::test
