// The EHLLAPI_DELAY value.
#include <gtest/gtest.h>

#include "ehllapi/query_delay.h"

TEST(QueryDelay, HundredthsOfASecondAfterBlanks) {
    EXPECT_EQ(trv::ParseQueryDelay("  5"), 50);
    EXPECT_EQ(trv::ParseQueryDelay("abc"), 0);
    EXPECT_EQ(trv::ParseQueryDelay("-3"), 0);
    EXPECT_EQ(trv::ParseQueryDelay(nullptr), 0);
}
