// The POSIX source of the configured sessions: the file "trvha64/sessions"
// in the configuration directory, and what UTLAPI answers without it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/configured_sessions.h"
#include "platform/environment.h"
#include "trvha64_utlapi.h"
#include "utlapi/utlapi_fixture.h"

namespace trv::test {
namespace {

TEST(ConfiguredSessionsFile, WithoutTheFileNothingIsConfigured) {
    ScratchDirectory dir("utl_nofile");
    platform::SetEnvironment("XDG_CONFIG_HOME", dir.path().c_str());
    EXPECT_FALSE(platform::ReadConfiguredSessions().opened);
    char buffer[16];
    EXPECT_EQ(UTLStartSession(1, "A", "N"), UTL_SYSTEM_ERROR);
    EXPECT_EQ(UTLGetSessions(1, buffer, sizeof buffer, 4), 0);
    EXPECT_EQ(UTLGetSessions(1, buffer, sizeof buffer, 1), 0);
    EXPECT_EQ(UTLGetSessionStatus(1, "A", 1), 0);
}

TEST(ConfiguredSessionsFile, ReadsLetterAndPathPerLine) {
    ScratchDirectory dir("utl_file");
    platform::SetEnvironment("XDG_CONFIG_HOME", dir.path().c_str());
    std::filesystem::create_directories(dir.path() + "/trvha64");
    std::ofstream(dir.path() + "/trvha64/sessions") << "# sessions\n\nb  /srv/p/one.ws\r\nC\t/x y/two\n"
                                                    << "DD /bad\n1 /bad\nE\n";
    const platform::ConfiguredSessions sessions = platform::ReadConfiguredSessions();
    ASSERT_TRUE(sessions.opened);
    EXPECT_EQ(sessions.profiles[1], "/srv/p/one.ws");
    EXPECT_EQ(sessions.profiles[2], "/x y/two");
    EXPECT_EQ(sessions.profiles[3], "");
    EXPECT_EQ(sessions.profiles[4], "");
}

}  // namespace
}  // namespace trv::test
