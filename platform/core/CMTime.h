// Exact rational media time and time ranges.
//
// A CMTime is value / timescale seconds with flags; all fields zero means invalid. Arithmetic is exact:
// sums and differences are expressed at the least common multiple of the operands' timescales, and
// only when that (or the value) does not fit do they fall back to the larger timescale with the
// kCMTimeFlags_HasBeenRounded flag. Comparison is exact across timescales (128-bit cross products).
// Plain values, usable from any thread. No operation fails loudly: impossible inputs give an invalid
// time, which compares equal to another invalid time and greater than every valid time.
#pragma once

#include <cstdint>

using CMTimeValue = int64_t;
using CMTimeScale = int32_t;
using CMTimeEpoch = int64_t;

enum CMTimeFlags : uint32_t {
    kCMTimeFlags_Valid = 1u << 0,
    kCMTimeFlags_HasBeenRounded = 1u << 1,
    kCMTimeFlags_PositiveInfinity = 1u << 2,
    kCMTimeFlags_NegativeInfinity = 1u << 3,
    kCMTimeFlags_Indefinite = 1u << 4,
    kCMTimeFlags_ImpliedValueFlagsMask = kCMTimeFlags_PositiveInfinity | kCMTimeFlags_NegativeInfinity | kCMTimeFlags_Indefinite,
};

enum CMTimeRoundingMethod : uint32_t {
    kCMTimeRoundingMethod_RoundHalfAwayFromZero = 1,
    kCMTimeRoundingMethod_RoundTowardZero = 2,
    kCMTimeRoundingMethod_RoundAwayFromZero = 3,
    kCMTimeRoundingMethod_QuickTime = 4,
    kCMTimeRoundingMethod_RoundTowardPositiveInfinity = 5,
    kCMTimeRoundingMethod_RoundTowardNegativeInfinity = 6,
    kCMTimeRoundingMethod_Default = kCMTimeRoundingMethod_RoundHalfAwayFromZero,
};

constexpr CMTimeScale kCMTimeMaxTimescale = 0x7fffffff;

struct CMTime {
    CMTimeValue value = 0;
    CMTimeScale timescale = 0;
    uint32_t flags = 0;
    CMTimeEpoch epoch = 0;
};

struct CMTimeRange {
    CMTime start;
    CMTime duration;
};

inline constexpr CMTime kCMTimeInvalid{0, 0, 0, 0};
inline constexpr CMTime kCMTimeZero{0, 1, kCMTimeFlags_Valid, 0};
inline constexpr CMTime kCMTimePositiveInfinity{0, 0, kCMTimeFlags_Valid | kCMTimeFlags_PositiveInfinity, 0};
inline constexpr CMTime kCMTimeNegativeInfinity{0, 0, kCMTimeFlags_Valid | kCMTimeFlags_NegativeInfinity, 0};
inline constexpr CMTimeRange kCMTimeRangeZero{kCMTimeZero, kCMTimeZero};
inline constexpr CMTimeRange kCMTimeRangeInvalid{kCMTimeInvalid, kCMTimeInvalid};

inline constexpr bool CMTIME_IS_VALID(CMTime t) { return (t.flags & kCMTimeFlags_Valid) != 0; }
inline constexpr bool CMTIME_IS_INVALID(CMTime t) { return !CMTIME_IS_VALID(t); }
inline constexpr bool CMTIME_IS_POSITIVE_INFINITY(CMTime t) { return CMTIME_IS_VALID(t) && (t.flags & kCMTimeFlags_PositiveInfinity); }
inline constexpr bool CMTIME_IS_NEGATIVE_INFINITY(CMTime t) { return CMTIME_IS_VALID(t) && (t.flags & kCMTimeFlags_NegativeInfinity); }
inline constexpr bool CMTIME_IS_INDEFINITE(CMTime t) { return CMTIME_IS_VALID(t) && (t.flags & kCMTimeFlags_Indefinite); }
// A valid time with a finite value.
inline constexpr bool CMTIME_IS_NUMERIC(CMTime t)
{
    return CMTIME_IS_VALID(t) && !(t.flags & kCMTimeFlags_ImpliedValueFlagsMask) && t.timescale > 0;
}
inline constexpr bool CMTIME_HAS_BEEN_ROUNDED(CMTime t) { return CMTIME_IS_NUMERIC(t) && (t.flags & kCMTimeFlags_HasBeenRounded); }

// A valid time of value / timescale; a timescale of zero or less gives an invalid time.
CMTime CMTimeMake(CMTimeValue value, CMTimeScale timescale);
// seconds × preferredTimescale rounded half away from zero; NaN gives invalid, ±infinity the infinities.
CMTime CMTimeMakeWithSeconds(double seconds, CMTimeScale preferredTimescale);
// value / timescale; NaN for an invalid or indefinite time, ±infinity for the infinities.
double CMTimeGetSeconds(CMTime time);

CMTime CMTimeAdd(CMTime lhs, CMTime rhs);
CMTime CMTimeSubtract(CMTime lhs, CMTime rhs);
CMTime CMTimeMultiply(CMTime time, int32_t multiplier);
// time × multiplier / divisor, rounded half away from zero at the time's own timescale.
CMTime CMTimeMultiplyByRatio(CMTime time, int32_t multiplier, int32_t divisor);
// −1, 0 or 1. Invalid equals invalid and is greater than every valid time.
int32_t CMTimeCompare(CMTime time1, CMTime time2);
CMTime CMTimeMinimum(CMTime time1, CMTime time2);
CMTime CMTimeMaximum(CMTime time1, CMTime time2);
CMTime CMTimeAbsoluteValue(CMTime time);
// The same time at another timescale with the given rounding; the rounded flag is set when inexact.
CMTime CMTimeConvertScale(CMTime time, CMTimeScale newTimescale, CMTimeRoundingMethod method);

CMTimeRange CMTimeRangeMake(CMTime start, CMTime duration);
CMTimeRange CMTimeRangeFromTimeToTime(CMTime start, CMTime end);
CMTime CMTimeRangeGetEnd(CMTimeRange range);
bool CMTIMERANGE_IS_VALID(CMTimeRange range);
bool CMTIMERANGE_IS_EMPTY(CMTimeRange range);
// Half-open: start ≤ time < end.
bool CMTimeRangeContainsTime(CMTimeRange range, CMTime time);
bool CMTimeRangeEqual(CMTimeRange range1, CMTimeRange range2);
CMTimeRange CMTimeRangeGetIntersection(CMTimeRange range1, CMTimeRange range2);
// to.start + (time − from.start) × to.duration / from.duration, exact up to rounding half away from zero
// at to.duration's timescale; invalid when from.duration is zero or an operand is not numeric.
CMTime CMTimeMapTimeFromRangeToRange(CMTime time, CMTimeRange fromRange, CMTimeRange toRange);

// Value comparisons for readable engine code; they follow CMTimeCompare.
inline bool operator==(CMTime a, CMTime b) { return CMTimeCompare(a, b) == 0; }
inline bool operator<(CMTime a, CMTime b) { return CMTimeCompare(a, b) < 0; }
inline bool operator<=(CMTime a, CMTime b) { return CMTimeCompare(a, b) <= 0; }
inline bool operator>(CMTime a, CMTime b) { return CMTimeCompare(a, b) > 0; }
inline bool operator>=(CMTime a, CMTime b) { return CMTimeCompare(a, b) >= 0; }
inline CMTime operator+(CMTime a, CMTime b) { return CMTimeAdd(a, b); }
inline CMTime operator-(CMTime a, CMTime b) { return CMTimeSubtract(a, b); }
