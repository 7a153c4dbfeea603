#include "CMTime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

void expectTime(CMTime t, int64_t value, int32_t timescale)
{
    EXPECT_TRUE(CMTIME_IS_VALID(t));
    EXPECT_EQ(t.value, value);
    EXPECT_EQ(t.timescale, timescale);
}

} // namespace

TEST(CMTime, ConstantsAndConstruction)
{
    expectTime(kCMTimeZero, 0, 1);
    EXPECT_FALSE(CMTIME_IS_VALID(kCMTimeInvalid));
    EXPECT_FALSE(CMTIME_IS_VALID(CMTime{})); // all-zero is invalid
    EXPECT_FALSE(CMTIME_IS_VALID(CMTimeMake(5, 0)));
    EXPECT_TRUE(std::isnan(CMTimeGetSeconds(kCMTimeInvalid)));
    EXPECT_DOUBLE_EQ(CMTimeGetSeconds(CMTimeMake(-3, 4)), -0.75);
}

TEST(CMTime, MakeWithSecondsRoundsHalfAwayFromZero)
{
    expectTime(CMTimeMakeWithSeconds(1.0 / 3.0, 1000), 333, 1000);
    expectTime(CMTimeMakeWithSeconds(2.0 / 3.0, 1000), 667, 1000);
    expectTime(CMTimeMakeWithSeconds(0.0005, 1000), 1, 1000);
    expectTime(CMTimeMakeWithSeconds(-0.0005, 1000), -1, 1000);
    EXPECT_TRUE(CMTIME_HAS_BEEN_ROUNDED(CMTimeMakeWithSeconds(1.0 / 3.0, 1000)));
    EXPECT_FALSE(CMTIME_HAS_BEEN_ROUNDED(CMTimeMakeWithSeconds(1.5, 1000)));
    EXPECT_FALSE(CMTIME_IS_VALID(CMTimeMakeWithSeconds(std::nan(""), 1000)));
    EXPECT_TRUE(CMTIME_IS_POSITIVE_INFINITY(CMTimeMakeWithSeconds(1e300, 1000)));
}

TEST(CMTime, AdditionIsExactAtTheLeastCommonMultiple)
{
    // 1/3 s + 1/4 s = 7/12 s exactly.
    expectTime(CMTimeAdd(CMTimeMake(1, 3), CMTimeMake(1, 4)), 7, 12);
    // Mixed video and audio scales: 1001/30000 + 1024/48000.
    const CMTime sum = CMTimeAdd(CMTimeMake(1001, 30000), CMTimeMake(1024, 48000));
    expectTime(sum, 1001 * 8 + 1024 * 5, 240000);
    EXPECT_FALSE(CMTIME_HAS_BEEN_ROUNDED(sum));
    expectTime(CMTimeSubtract(CMTimeMake(10, 600), CMTimeMake(20, 600)), -10, 600);
    expectTime(CMTimeSubtract(CMTimeMake(-1, 2), CMTimeMake(1, 3)), -5, 6);
}

TEST(CMTime, AdditionFallsBackToTheLargerTimescaleWhenTheLcmOverflows)
{
    // Two large coprime timescales: the LCM does not fit 32 bits.
    const CMTime a = CMTimeMake(1, 2147483647);
    const CMTime b = CMTimeMake(1, 2147483646);
    const CMTime sum = CMTimeAdd(a, b);
    EXPECT_EQ(sum.timescale, 2147483647);
    EXPECT_EQ(sum.value, 2);
    EXPECT_TRUE(CMTIME_HAS_BEEN_ROUNDED(sum));
    // Values near the 64-bit limit: the sum cannot be represented and saturates to infinity.
    const CMTime huge = CMTimeMake(std::numeric_limits<int64_t>::max() - 1, 1);
    EXPECT_TRUE(CMTIME_IS_POSITIVE_INFINITY(CMTimeAdd(huge, CMTimeMake(5, 1))));
    EXPECT_TRUE(CMTIME_IS_NEGATIVE_INFINITY(CMTimeSubtract(CMTimeMake(std::numeric_limits<int64_t>::min() + 1, 1), CMTimeMake(5, 1))));
    // Near the limit but representable after the fallback.
    const CMTime big = CMTimeAdd(CMTimeMake(4'000'000'000'000'000'000, 1000), CMTimeMake(1, 3));
    EXPECT_TRUE(CMTIME_IS_NUMERIC(big));
    EXPECT_EQ(CMTimeCompare(big, CMTimeMake(4'000'000'000'000'000'000, 1000)), 1);
}

TEST(CMTime, InvalidAndInfiniteOperands)
{
    EXPECT_FALSE(CMTIME_IS_VALID(CMTimeAdd(kCMTimeInvalid, CMTimeMake(1, 1))));
    EXPECT_FALSE(CMTIME_IS_VALID(CMTimeSubtract(CMTimeMake(1, 1), kCMTimeInvalid)));
    EXPECT_TRUE(CMTIME_IS_POSITIVE_INFINITY(CMTimeAdd(kCMTimePositiveInfinity, CMTimeMake(1, 1))));
    EXPECT_FALSE(CMTIME_IS_VALID(CMTimeAdd(kCMTimePositiveInfinity, kCMTimeNegativeInfinity)));
    EXPECT_FALSE(CMTIME_IS_VALID(CMTimeSubtract(kCMTimePositiveInfinity, kCMTimePositiveInfinity)));
}

TEST(CMTime, ComparisonIsExactAcrossTimescales)
{
    EXPECT_EQ(CMTimeCompare(CMTimeMake(15000, 1000), CMTimeMake(15, 1)), 0);
    EXPECT_EQ(CMTimeCompare(CMTimeMake(1, 3), CMTimeMake(333, 1000)), 1);
    EXPECT_EQ(CMTimeCompare(CMTimeMake(-1, 3), CMTimeMake(-333, 1000)), -1);
    // Differences below double precision are still seen.
    const int64_t big = 1LL << 60;
    EXPECT_EQ(CMTimeCompare(CMTimeMake(big + 1, 1000000), CMTimeMake(big, 1000000)), 1);
    EXPECT_EQ(CMTimeCompare(CMTimeMake(std::numeric_limits<int64_t>::max(), 2147483647),
                            CMTimeMake(std::numeric_limits<int64_t>::max(), 2147483646)),
              -1);
    // Invalid equals invalid and sorts after everything valid, infinities included.
    EXPECT_EQ(CMTimeCompare(kCMTimeInvalid, CMTime{}), 0);
    EXPECT_EQ(CMTimeCompare(kCMTimeInvalid, kCMTimePositiveInfinity), 1);
    EXPECT_EQ(CMTimeCompare(CMTimeMake(1, 1), kCMTimeInvalid), -1);
    EXPECT_EQ(CMTimeCompare(kCMTimeNegativeInfinity, CMTimeMake(std::numeric_limits<int64_t>::min(), 1)), -1);
    EXPECT_TRUE(CMTimeMake(1, 2) < CMTimeMake(2, 3));
    EXPECT_TRUE(CMTimeMake(600, 600) == kCMTimeZero + CMTimeMake(1, 1));
}

TEST(CMTime, ConvertScaleRoundingMethods)
{
    const CMTime third = CMTimeMake(1, 3);
    expectTime(CMTimeConvertScale(third, 1000, kCMTimeRoundingMethod_RoundTowardZero), 333, 1000);
    expectTime(CMTimeConvertScale(CMTimeMake(2, 3), 1000, kCMTimeRoundingMethod_RoundTowardZero), 666, 1000);
    expectTime(CMTimeConvertScale(CMTimeMake(2, 3), 1000, kCMTimeRoundingMethod_RoundHalfAwayFromZero), 667, 1000);
    expectTime(CMTimeConvertScale(CMTimeMake(-2, 3), 1000, kCMTimeRoundingMethod_RoundTowardZero), -666, 1000);
    expectTime(CMTimeConvertScale(CMTimeMake(-2, 3), 1000, kCMTimeRoundingMethod_RoundHalfAwayFromZero), -667, 1000);
    expectTime(CMTimeConvertScale(CMTimeMake(1, 3), 1000, kCMTimeRoundingMethod_RoundAwayFromZero), 334, 1000);
    expectTime(CMTimeConvertScale(CMTimeMake(-1, 3), 1000, kCMTimeRoundingMethod_RoundTowardPositiveInfinity), -333, 1000);
    expectTime(CMTimeConvertScale(CMTimeMake(-1, 3), 1000, kCMTimeRoundingMethod_RoundTowardNegativeInfinity), -334, 1000);
    EXPECT_TRUE(CMTIME_HAS_BEEN_ROUNDED(CMTimeConvertScale(third, 1000, kCMTimeRoundingMethod_RoundTowardZero)));
    const CMTime exact = CMTimeConvertScale(CMTimeMake(3, 2), 600, kCMTimeRoundingMethod_RoundTowardZero);
    expectTime(exact, 900, 600);
    EXPECT_FALSE(CMTIME_HAS_BEEN_ROUNDED(exact));
    EXPECT_FALSE(CMTIME_IS_VALID(CMTimeConvertScale(kCMTimeInvalid, 600, kCMTimeRoundingMethod_RoundTowardZero)));
    EXPECT_FALSE(CMTIME_IS_VALID(CMTimeConvertScale(third, 0, kCMTimeRoundingMethod_RoundTowardZero)));
    // A value that would overflow at the new timescale saturates.
    EXPECT_TRUE(CMTIME_IS_POSITIVE_INFINITY(
        CMTimeConvertScale(CMTimeMake(std::numeric_limits<int64_t>::max() / 2, 1), 1000, kCMTimeRoundingMethod_RoundTowardZero)));
}

TEST(CMTimeRange, HalfOpenContainmentAndEnds)
{
    const CMTimeRange range = CMTimeRangeMake(CMTimeMake(10, 1), CMTimeMake(10, 1));
    expectTime(CMTimeRangeGetEnd(range), 20, 1);
    EXPECT_TRUE(CMTimeRangeContainsTime(range, CMTimeMake(10000, 1000)));
    EXPECT_TRUE(CMTimeRangeContainsTime(range, CMTimeMake(19999, 1000)));
    EXPECT_FALSE(CMTimeRangeContainsTime(range, CMTimeMake(20, 1)));
    EXPECT_FALSE(CMTimeRangeContainsTime(range, CMTimeMake(9999, 1000)));
    EXPECT_FALSE(CMTimeRangeContainsTime(range, kCMTimeInvalid));
    EXPECT_FALSE(CMTimeRangeContainsTime(CMTimeRangeMake(CMTimeMake(5, 1), kCMTimeZero), CMTimeMake(5, 1)));
    EXPECT_FALSE(CMTIMERANGE_IS_VALID(CMTimeRangeMake(CMTimeMake(5, 1), CMTimeMake(-1, 1))));
    const CMTimeRange overlap = CMTimeRangeGetIntersection(range, CMTimeRangeFromTimeToTime(CMTimeMake(15, 1), CMTimeMake(30, 1)));
    EXPECT_TRUE(CMTimeRangeEqual(overlap, CMTimeRangeMake(CMTimeMake(15, 1), CMTimeMake(5, 1))));
    EXPECT_TRUE(CMTIMERANGE_IS_EMPTY(CMTimeRangeGetIntersection(range, CMTimeRangeMake(CMTimeMake(30, 1), CMTimeMake(1, 1)))));
}

TEST(CMTimeRange, MapsTimesLinearlyBetweenRanges)
{
    const CMTimeRange from = CMTimeRangeMake(CMTimeMake(10, 1), CMTimeMake(20, 1));
    const CMTimeRange to = CMTimeRangeMake(CMTimeMake(0, 600), CMTimeMake(600, 600));
    EXPECT_EQ(CMTimeMapTimeFromRangeToRange(CMTimeMake(20, 1), from, to), CMTimeMake(1, 2));
    EXPECT_EQ(CMTimeMapTimeFromRangeToRange(CMTimeMake(10, 1), from, to), kCMTimeZero);
    // Same-length ranges at other timescales shift exactly.
    const CMTimeRange shifted = CMTimeRangeMake(CMTimeMake(3, 1), CMTimeMake(20000, 1000));
    EXPECT_EQ(CMTimeMapTimeFromRangeToRange(CMTimeMake(1001, 100), from, shifted), CMTimeMake(301, 100));
    // Times outside the range extrapolate; a zero-length source range cannot map.
    EXPECT_EQ(CMTimeMapTimeFromRangeToRange(CMTimeMake(0, 1), from, to), CMTimeMake(-1, 2));
    EXPECT_FALSE(CMTIME_IS_VALID(CMTimeMapTimeFromRangeToRange(CMTimeMake(1, 1), CMTimeRangeMake(CMTimeMake(1, 1), kCMTimeZero), to)));
    EXPECT_FALSE(CMTIME_IS_VALID(CMTimeMapTimeFromRangeToRange(kCMTimeInvalid, from, to)));
}
