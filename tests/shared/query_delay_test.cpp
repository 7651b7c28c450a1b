// Bounded name formatting and the EHLLAPI_DELAY value.
#include <gtest/gtest.h>

#include <cstring>

#include "ehllapi/query_delay.h"
#include "shared/name_format.h"

// (The names it makes are the table tests'.)
TEST(FormatBounded, FitsExactlyOrReportsOverflowAndStaysTerminated) {
    char small[8];
    EXPECT_EQ(trv::FormatBounded(small, sizeof small, "%s", "1234567"), 7);
    EXPECT_EQ(trv::FormatBounded(small, sizeof small, "%s", "12345678"), -1);
    EXPECT_EQ(std::strlen(small), 7u);
    EXPECT_EQ(trv::FormatBounded(nullptr, 10, "x"), -1);
}

TEST(QueryDelay, HundredthsOfASecondAfterBlanks) {
    EXPECT_EQ(trv::ParseQueryDelay("  5"), 50);
    EXPECT_EQ(trv::ParseQueryDelay("12"), 120);
    EXPECT_EQ(trv::ParseQueryDelay("abc"), 0);
    EXPECT_EQ(trv::ParseQueryDelay("-3"), 0);
    EXPECT_EQ(trv::ParseQueryDelay(""), 0);
    EXPECT_EQ(trv::ParseQueryDelay(nullptr), 0);
}
