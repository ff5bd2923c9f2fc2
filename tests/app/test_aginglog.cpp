// The aging log's lines and its growth counters.
#include "app/aginglog.h"

#include <gtest/gtest.h>

namespace {

void sample(int r42, int r40 = 31, int r43 = 0)
{
    appendAgingSample(QStringLiteral("05-21 14:03"),
                      AgingRegisters{static_cast<u8>(r42), static_cast<u8>(r40), static_cast<u8>(r43)});
}

std::array<int, 5> counters()
{
    return {factoryage_log_diff3, factoryage_log_diff5, factoryage_log_diff10, factoryage_log_diff20,
            factoryage_log_diffmore};
}

}  // namespace

TEST(AgingLog, ALineHoldsTheZeroPaddedTimeAndRegisters42_40_43)
{
    EXPECT_EQ(agingTimeStamp({2024, 3, 9, 7, 5, 0}), QStringLiteral("03-09 07:05"));
    EXPECT_EQ(agingTimeStamp({2024, 12, 31, 23, 59, 30}), QStringLiteral("12-31 23:59"));
    sample(118, 31, 0);
    ASSERT_EQ(factoryage_log.size(), 1);
    EXPECT_EQ(factoryage_log[0], QStringLiteral("05-21 14:03 118 31 0"));
    EXPECT_EQ(counters(), (std::array<int, 5>{0, 0, 0, 0, 0}));  // a single line counts nothing
}

TEST(AgingLog, GrowthFallsIntoItsBucketAcrossTheCounterWrap)
{
    // growths 0, 1, 2, 3, 4, 5, 9, 10, 19, 20, then 73 -> 17 wraps to 200
    for (int v : {0, 0, 1, 3, 6, 10, 15, 24, 34, 53, 73, 273 - 256})
        sample(v);
    EXPECT_EQ(counters(), (std::array<int, 5>{2, 2, 2, 2, 2}));
    sample(250);  // 233
    sample(3);    // wraps: 9
    sample(3);    // equal values change nothing
    EXPECT_EQ(counters(), (std::array<int, 5>{2, 2, 3, 2, 3}));
}

TEST(AgingLog, KeepsTheNewest3360LinesAndNeverLowersTheCounters)
{
    for (int i = 0; i < kAgingLogMaxLines; ++i)
        sample(i % 256, i % 32);
    ASSERT_EQ(factoryage_log.size(), kAgingLogMaxLines);
    const int countedBefore = factoryage_log_diff3;
    EXPECT_EQ(countedBefore, kAgingLogMaxLines - 1);
    EXPECT_TRUE(factoryage_log.first().endsWith(QStringLiteral(" 0 0 0")));
    sample(kAgingLogMaxLines % 256, 7);
    EXPECT_EQ(factoryage_log.size(), kAgingLogMaxLines);
    EXPECT_TRUE(factoryage_log.first().endsWith(QStringLiteral(" 1 1 0")));
    EXPECT_TRUE(factoryage_log.last().endsWith(QStringLiteral(" 32 7 0")));
    EXPECT_EQ(factoryage_log_diff3, countedBefore + 1);
}
