// Bounded name formatting and the EHLLAPI_DELAY value.
#include <gtest/gtest.h>

#include <cstring>

#include "ehllapi/query_delay.h"
#include "shared/name_format.h"

TEST(FormatBounded, FitsExactlyOrReportsOverflowAndStaysTerminated) {
    char name[trv::kSessionMutexNameSize];
    EXPECT_EQ(trv::FormatBounded(name, sizeof name, "SESS_MUTEX_%c", 'Q'), 12);
    EXPECT_STREQ(name, "SESS_MUTEX_Q");

    char block[trv::kBlockNameSize];
    EXPECT_EQ(trv::FormatBounded(block, sizeof block, "APPL_BLOCK_%8.8X%8.8X", 0x1234u, 0xABCDEFu), 27);
    EXPECT_STREQ(block, "APPL_BLOCK_0000123400ABCDEF");

    char small[8];
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
