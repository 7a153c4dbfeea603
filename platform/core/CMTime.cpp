#include "CMTime.h"

#include <cmath>
#include <limits>
#include <numeric>

namespace {

using i128 = __int128;

constexpr i128 kInt64Max = std::numeric_limits<int64_t>::max();
constexpr i128 kInt64Min = std::numeric_limits<int64_t>::min();

bool fitsInt64(i128 v) { return v >= kInt64Min && v <= kInt64Max; }

bool checkedMul(i128 a, i128 b, i128& out) { return !__builtin_mul_overflow(a, b, &out); }

// num / den (den > 0) rounded by the method; `exact` tells whether no rounding happened.
i128 divideRounded(i128 num, i128 den, CMTimeRoundingMethod method, bool& exact, bool reducingScale = false)
{
    i128 q = num / den; // truncates toward zero
    i128 r = num % den;
    exact = (r == 0);
    if (exact)
        return q;
    const bool negative = num < 0;
    const i128 absR = r < 0 ? -r : r;
    auto awayFromZero = [&] { return negative ? q - 1 : q + 1; };
    switch (method) {
    case kCMTimeRoundingMethod_RoundTowardZero:
        return q;
    case kCMTimeRoundingMethod_RoundAwayFromZero:
        return awayFromZero();
    case kCMTimeRoundingMethod_RoundTowardPositiveInfinity:
        return negative ? q : q + 1;
    case kCMTimeRoundingMethod_RoundTowardNegativeInfinity:
        return negative ? q - 1 : q;
    case kCMTimeRoundingMethod_QuickTime:
        if (reducingScale)
            return q;
        [[fallthrough]];
    case kCMTimeRoundingMethod_RoundHalfAwayFromZero:
    default:
        return 2 * absR >= den ? awayFromZero() : q;
    }
}

CMTime infinityWithSign(bool negative) { return negative ? kCMTimeNegativeInfinity : kCMTimePositiveInfinity; }

CMTime indefinite() { return CMTime{0, 0, kCMTimeFlags_Valid | kCMTimeFlags_Indefinite, 0}; }

// Rank of the non-numeric kinds for ordering: −inf < numeric < +inf < indefinite < invalid.
int kindRank(CMTime t)
{
    if (!CMTIME_IS_VALID(t))
        return 4;
    if (t.flags & kCMTimeFlags_Indefinite)
        return 3;
    if (t.flags & kCMTimeFlags_PositiveInfinity)
        return 2;
    if (t.flags & kCMTimeFlags_NegativeInfinity)
        return 0;
    return 1;
}

// Sum or difference of two numeric times (sign = +1 or −1).
CMTime addNumeric(CMTime a, CMTime b, int sign)
{
    const uint32_t rounded = (a.flags | b.flags) & kCMTimeFlags_HasBeenRounded;
    const int64_t g = std::gcd<int64_t>(a.timescale, b.timescale);
    const int64_t lcm = int64_t(a.timescale) / g * b.timescale;
    if (lcm <= kCMTimeMaxTimescale) {
        const i128 v = i128(a.value) * (lcm / a.timescale) + sign * i128(b.value) * (lcm / b.timescale);
        if (fitsInt64(v))
            return CMTime{int64_t(v), CMTimeScale(lcm), kCMTimeFlags_Valid | rounded, 0};
    }
    // Exact sum is num / (ta × tb); express it at the larger timescale.
    const CMTimeScale scale = std::max(a.timescale, b.timescale);
    const i128 num = i128(a.value) * b.timescale + sign * i128(b.value) * a.timescale;
    bool exact = false;
    const i128 v = divideRounded(num * scale, i128(a.timescale) * b.timescale, kCMTimeRoundingMethod_RoundHalfAwayFromZero, exact);
    if (!fitsInt64(v))
        return infinityWithSign(v < 0);
    return CMTime{int64_t(v), scale, kCMTimeFlags_Valid | kCMTimeFlags_HasBeenRounded, 0};
}

CMTime addTimes(CMTime a, CMTime b, int sign)
{
    if (!CMTIME_IS_VALID(a) || !CMTIME_IS_VALID(b))
        return kCMTimeInvalid;
    if (CMTIME_IS_INDEFINITE(a) || CMTIME_IS_INDEFINITE(b))
        return indefinite();
    const bool aPos = CMTIME_IS_POSITIVE_INFINITY(a), aNeg = CMTIME_IS_NEGATIVE_INFINITY(a);
    bool bPos = CMTIME_IS_POSITIVE_INFINITY(b), bNeg = CMTIME_IS_NEGATIVE_INFINITY(b);
    if (sign < 0)
        std::swap(bPos, bNeg);
    if ((aPos && bNeg) || (aNeg && bPos))
        return kCMTimeInvalid;
    if (aPos || bPos)
        return kCMTimePositiveInfinity;
    if (aNeg || bNeg)
        return kCMTimeNegativeInfinity;
    if (a.timescale <= 0 || b.timescale <= 0)
        return kCMTimeInvalid;
    return addNumeric(a, b, sign);
}

} // namespace

CMTime CMTimeMake(CMTimeValue value, CMTimeScale timescale)
{
    if (timescale <= 0)
        return kCMTimeInvalid;
    return CMTime{value, timescale, kCMTimeFlags_Valid, 0};
}

CMTime CMTimeMakeWithSeconds(double seconds, CMTimeScale preferredTimescale)
{
    if (std::isnan(seconds) || preferredTimescale <= 0)
        return kCMTimeInvalid;
    if (std::isinf(seconds))
        return infinityWithSign(seconds < 0);
    const long double ticks = std::round(static_cast<long double>(seconds) * preferredTimescale);
    if (ticks >= 9.2233720368547758e18L || ticks < -9.2233720368547758e18L)
        return infinityWithSign(ticks < 0);
    const auto value = static_cast<int64_t>(ticks);
    CMTime t = CMTimeMake(value, preferredTimescale);
    if (static_cast<long double>(value) != static_cast<long double>(seconds) * preferredTimescale)
        t.flags |= kCMTimeFlags_HasBeenRounded;
    return t;
}

double CMTimeGetSeconds(CMTime time)
{
    if (CMTIME_IS_POSITIVE_INFINITY(time))
        return std::numeric_limits<double>::infinity();
    if (CMTIME_IS_NEGATIVE_INFINITY(time))
        return -std::numeric_limits<double>::infinity();
    if (!CMTIME_IS_NUMERIC(time))
        return std::numeric_limits<double>::quiet_NaN();
    return static_cast<double>(time.value) / time.timescale;
}

CMTime CMTimeAdd(CMTime lhs, CMTime rhs) { return addTimes(lhs, rhs, +1); }

CMTime CMTimeSubtract(CMTime lhs, CMTime rhs) { return addTimes(lhs, rhs, -1); }

CMTime CMTimeMultiply(CMTime time, int32_t multiplier) { return CMTimeMultiplyByRatio(time, multiplier, 1); }

CMTime CMTimeMultiplyByRatio(CMTime time, int32_t multiplier, int32_t divisor)
{
    if (!CMTIME_IS_VALID(time) || divisor == 0)
        return kCMTimeInvalid;
    if (!CMTIME_IS_NUMERIC(time)) {
        if (CMTIME_IS_INDEFINITE(time))
            return time;
        const bool flip = (multiplier < 0) != (divisor < 0);
        if (multiplier == 0)
            return kCMTimeInvalid;
        return infinityWithSign(CMTIME_IS_NEGATIVE_INFINITY(time) != flip);
    }
    i128 num = i128(time.value) * multiplier;
    i128 den = divisor;
    if (den < 0) {
        num = -num;
        den = -den;
    }
    bool exact = false;
    const i128 v = divideRounded(num, den, kCMTimeRoundingMethod_RoundHalfAwayFromZero, exact);
    if (!fitsInt64(v))
        return infinityWithSign(v < 0);
    CMTime t{int64_t(v), time.timescale, time.flags, 0};
    if (!exact)
        t.flags |= kCMTimeFlags_HasBeenRounded;
    return t;
}

int32_t CMTimeCompare(CMTime time1, CMTime time2)
{
    const int r1 = kindRank(time1), r2 = kindRank(time2);
    if (r1 != r2)
        return r1 < r2 ? -1 : 1;
    if (r1 != 1)
        return 0;
    if (time1.timescale <= 0 || time2.timescale <= 0)
        return 0;
    const i128 a = i128(time1.value) * time2.timescale;
    const i128 b = i128(time2.value) * time1.timescale;
    return a < b ? -1 : (a > b ? 1 : 0);
}

CMTime CMTimeMinimum(CMTime time1, CMTime time2)
{
    if (!CMTIME_IS_VALID(time1))
        return time2;
    if (!CMTIME_IS_VALID(time2))
        return time1;
    return CMTimeCompare(time1, time2) <= 0 ? time1 : time2;
}

CMTime CMTimeMaximum(CMTime time1, CMTime time2)
{
    if (!CMTIME_IS_VALID(time1))
        return time2;
    if (!CMTIME_IS_VALID(time2))
        return time1;
    return CMTimeCompare(time1, time2) >= 0 ? time1 : time2;
}

CMTime CMTimeAbsoluteValue(CMTime time)
{
    if (CMTIME_IS_NEGATIVE_INFINITY(time))
        return kCMTimePositiveInfinity;
    if (!CMTIME_IS_NUMERIC(time) || time.value >= 0)
        return time;
    if (time.value == std::numeric_limits<int64_t>::min())
        return kCMTimePositiveInfinity;
    time.value = -time.value;
    return time;
}

CMTime CMTimeConvertScale(CMTime time, CMTimeScale newTimescale, CMTimeRoundingMethod method)
{
    if (newTimescale <= 0 || !CMTIME_IS_VALID(time))
        return kCMTimeInvalid;
    if (!CMTIME_IS_NUMERIC(time))
        return time;
    if (time.timescale == newTimescale)
        return time;
    bool exact = false;
    const i128 v = divideRounded(i128(time.value) * newTimescale, time.timescale, method, exact, newTimescale < time.timescale);
    if (!fitsInt64(v))
        return infinityWithSign(v < 0);
    CMTime t{int64_t(v), newTimescale, time.flags, 0};
    if (!exact)
        t.flags |= kCMTimeFlags_HasBeenRounded;
    return t;
}

CMTimeRange CMTimeRangeMake(CMTime start, CMTime duration) { return CMTimeRange{start, duration}; }

CMTimeRange CMTimeRangeFromTimeToTime(CMTime start, CMTime end) { return CMTimeRange{start, CMTimeSubtract(end, start)}; }

CMTime CMTimeRangeGetEnd(CMTimeRange range) { return CMTimeAdd(range.start, range.duration); }

bool CMTIMERANGE_IS_VALID(CMTimeRange range)
{
    return CMTIME_IS_VALID(range.start) && CMTIME_IS_VALID(range.duration) && range.duration.epoch == 0 &&
           CMTimeCompare(range.duration, kCMTimeZero) >= 0;
}

bool CMTIMERANGE_IS_EMPTY(CMTimeRange range) { return CMTIMERANGE_IS_VALID(range) && CMTimeCompare(range.duration, kCMTimeZero) == 0; }

bool CMTimeRangeContainsTime(CMTimeRange range, CMTime time)
{
    if (!CMTIMERANGE_IS_VALID(range) || !CMTIME_IS_VALID(time))
        return false;
    return CMTimeCompare(range.start, time) <= 0 && CMTimeCompare(time, CMTimeRangeGetEnd(range)) < 0;
}

bool CMTimeRangeEqual(CMTimeRange range1, CMTimeRange range2)
{
    return CMTimeCompare(range1.start, range2.start) == 0 && CMTimeCompare(range1.duration, range2.duration) == 0;
}

CMTimeRange CMTimeRangeGetIntersection(CMTimeRange range1, CMTimeRange range2)
{
    if (!CMTIMERANGE_IS_VALID(range1) || !CMTIMERANGE_IS_VALID(range2))
        return kCMTimeRangeInvalid;
    const CMTime start = CMTimeMaximum(range1.start, range2.start);
    const CMTime end = CMTimeMinimum(CMTimeRangeGetEnd(range1), CMTimeRangeGetEnd(range2));
    if (CMTimeCompare(end, start) <= 0)
        return kCMTimeRangeZero;
    return CMTimeRangeFromTimeToTime(start, end);
}

CMTime CMTimeMapTimeFromRangeToRange(CMTime time, CMTimeRange fromRange, CMTimeRange toRange)
{
    if (!CMTIME_IS_NUMERIC(time) || !CMTIME_IS_NUMERIC(fromRange.start) || !CMTIME_IS_NUMERIC(fromRange.duration) ||
        !CMTIME_IS_NUMERIC(toRange.start) || !CMTIME_IS_NUMERIC(toRange.duration) || fromRange.duration.value == 0)
        return kCMTimeInvalid;
    const CMTime offset = CMTimeSubtract(time, fromRange.start);
    if (!CMTIME_IS_NUMERIC(offset))
        return kCMTimeInvalid;
    // offset × to.duration / from.duration at to.duration's timescale:
    // value = offset.v × to.v × from.ts / (offset.ts × from.v).
    const CMTime& from = fromRange.duration;
    const CMTime& to = toRange.duration;
    i128 num = 0, den = 0, tmp = 0;
    int64_t value = 0;
    bool exact = false;
    if (checkedMul(i128(offset.value), i128(to.value), tmp) && checkedMul(tmp, i128(from.timescale), num) &&
        checkedMul(i128(offset.timescale), i128(from.value), den)) {
        if (den < 0) {
            num = -num;
            den = -den;
        }
        const i128 v = divideRounded(num, den, kCMTimeRoundingMethod_RoundHalfAwayFromZero, exact);
        if (!fitsInt64(v))
            return infinityWithSign(v < 0);
        value = int64_t(v);
    } else {
        const long double v =
            static_cast<long double>(offset.value) / offset.timescale * to.value / static_cast<long double>(from.value) * from.timescale;
        if (!(std::fabs(v) < 9.2e18L))
            return infinityWithSign(v < 0);
        value = static_cast<int64_t>(std::llround(v));
    }
    CMTime mapped = CMTimeMake(value, to.timescale);
    if (!exact)
        mapped.flags |= kCMTimeFlags_HasBeenRounded;
    return CMTimeAdd(toRange.start, mapped);
}
