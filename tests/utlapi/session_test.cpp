// The UTLAPI session functions that need no emulator.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "trvha64_utlapi.h"
#include "utlapi/session_parameters.h"
#include "utlapi_fixture.h"

namespace trv::test {
namespace {

constexpr trvUTLClient kClient = 0x5E55;

TEST_F(ConfiguredSessionsTest, AreListedCountedAndQueriedButNotStartedWithoutProfile) {
    char buffer[64];
    const std::string listed = "A C:\\profiles\\Payroll.ws, C sales,";
    EXPECT_EQ(UTLGetSessions(kClient, buffer, sizeof buffer, 1), static_cast<std::int32_t>(listed.size()) - 1);
    EXPECT_EQ(std::string(buffer), listed);
    EXPECT_EQ(UTLGetSessions(kClient, buffer, sizeof buffer, 4), 2);
    // An item that does not fit whole ends the listing.
    EXPECT_EQ(UTLGetSessions(kClient, buffer, 10, 1), 7);
    EXPECT_EQ(std::string(buffer), "A C:\\pro");
    EXPECT_EQ(UTLGetSessions(kClient, buffer, 1, 1), UTL_INVALID_PARAMETER);

    // Status types 1 and 2 tell whether a letter is configured.
    const struct {
        const char* name;
        std::int32_t type, result;
    } rows[] = {{"a", 1, 1}, {"C", 2, 1}, {"B", 1, 0}, {"1", 1, UTL_NO_SUCH_SESSION},
                {"A", 4, UTL_INVALID_PARAMETER}, {"A", 17, UTL_INVALID_PARAMETER}};
    for (const auto& row : rows) {
        EXPECT_EQ(UTLGetSessionStatus(kClient, row.name, row.type), row.result) << row.name << "/" << row.type;
    }
    EXPECT_EQ(UTLGetSessionStatus(kClient, nullptr, 1), UTL_INVALID_PARAMETER);
    EXPECT_EQ(UTLStartSession(kClient, "B", "N"), UTL_SESSION_REFUSED);
    EXPECT_EQ(UTLStartSession(kClient, "%", "N"), UTL_SESSION_REFUSED);

    // Unattended, the session dialog is cancelled and writes nothing.
    std::memset(buffer, 0, sizeof buffer);
    EXPECT_EQ(UTLListSessions(kClient, buffer, 10, "t", 1), UTL_INVALID_PARAMETER);
    EXPECT_EQ(UTLListSessions(kClient, buffer, sizeof buffer, "t", 1), 0);
    EXPECT_EQ(buffer[0], 0);
}

TEST(SessionLongName, IsTheLastComponentWithoutExtension) {
    const struct {
        const char* path;
        const char* name;
    } rows[] = {{"C:\\profiles\\Payroll.ws", "Payroll"}, {"plain", "plain"}, {"/home/u/a.b/sales", "sales"},
                {"x.y.z", "x.y"}, {"C:\\dir\\", ""}};
    for (const auto& row : rows) EXPECT_EQ(utl::SessionLongNameOf(row.path), row.name) << row.path;
}

}  // namespace
}  // namespace trv::test
