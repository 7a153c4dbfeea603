#include "CWExcludedSegment.h"
#include "CWMissingThumbnail.h"
#include "CWTimeStream.h"
#include "CWUtility.h"

#include <QPainter>

#include <gtest/gtest.h>

namespace {
CMTime s(int64_t seconds) { return CMTimeMake(seconds, 1); }
} // namespace

TEST(CWExcludedSegment, CreationRefusesImpossibleEnds)
{
    EXPECT_FALSE(CWExcludedSegment::startingAt(s(20), s(10)));
    EXPECT_FALSE(CWExcludedSegment::startingAt(kCMTimeInvalid, s(10)));
    EXPECT_FALSE(CWExcludedSegment::startingAt(s(10), kCMTimeInvalid));
    const auto split = CWExcludedSegment::startingAt(s(15), CMTimeMake(15000, 1000));
    ASSERT_TRUE(split);
    EXPECT_TRUE(split->isSplitPoint());
    EXPECT_EQ(split->duration(), kCMTimeZero);
    EXPECT_FALSE(split->startThumbnail());
}

TEST(CWExcludedSegment, EndAtMovesEitherWayButNeverBeforeTheStart)
{
    auto cut = CWExcludedSegment::startingAt(s(10), s(20));
    EXPECT_FALSE(cut->endAt(s(9)));
    EXPECT_EQ(cut->stop(), s(20));
    EXPECT_TRUE(cut->endAt(s(30)));
    EXPECT_TRUE(cut->endAt(s(12)));
    EXPECT_EQ(cut->stop(), s(12));
    EXPECT_TRUE(cut->endAt(s(10)));
    EXPECT_TRUE(cut->isSplitPoint());
    EXPECT_FALSE(cut->endAt(kCMTimeInvalid));
}

TEST(CWExcludedSegment, InclusionAndOrderingAcrossTimescales)
{
    auto cut = CWExcludedSegment::startingAt(s(10), s(20));
    EXPECT_TRUE(cut->includesTime(s(10)));
    EXPECT_TRUE(cut->includesTime(CMTimeMake(20000, 1000)));
    EXPECT_FALSE(cut->includesTime(CMTimeMake(20001, 1000)));
    EXPECT_FALSE(cut->includesTime(kCMTimeInvalid));
    auto split = CWExcludedSegment::startingAt(s(15), s(15));
    EXPECT_TRUE(split->includesTime(CMTimeMake(15000, 1000)));
    EXPECT_FALSE(split->includesTime(CMTimeMake(15001, 1000)));
    EXPECT_TRUE(cut->isBefore(s(10)));
    EXPECT_FALSE(cut->isBefore(CMTimeMake(9999, 1000)));
}

TEST(CWExcludedSegment, MergesOnlyASegmentStartingExactlyAtItsStop)
{
    auto cut = CWExcludedSegment::startingAt(s(10), s(20));
    auto later = CWExcludedSegment::startingAt(CMTimeMake(20001, 1000), s(30));
    EXPECT_FALSE(cut->tryMergeWith(*later));
    EXPECT_EQ(cut->stop(), s(20));
    auto adjoining = CWExcludedSegment::startingAt(CMTimeMake(20000, 1000), s(30));
    EXPECT_TRUE(cut->tryMergeWith(*adjoining));
    EXPECT_EQ(cut->stop(), s(30));
    // Only forward: the receiver's stop becomes the other's, even if that is earlier.
    auto shorter = CWExcludedSegment::startingAt(s(30), s(30));
    EXPECT_TRUE(cut->tryMergeWith(*shorter));
    EXPECT_EQ(cut->stop(), s(30));
}

TEST(CWExcludedSegment, CopiesShareTheThumbnailButNotTheTimes)
{
    auto cut = CWExcludedSegment::startingAt(s(10), s(20));
    cut->useStartThumbnail(CWThumbnail::withImage(QImage(300, 169, QImage::Format_RGB32), s(10)));
    auto copy = cut->copy();
    EXPECT_EQ(copy->startThumbnail(), cut->startThumbnail());
    copy->endAt(s(25));
    EXPECT_EQ(cut->stop(), s(20));
}

TEST(CWThumbnail, SizesAndMissingPlaceholder)
{
    const auto missing = CWThumbnail::missingThumbnail();
    EXPECT_TRUE(missing->isMissing());
    QImage canvas(10, 10, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    {
        QPainter painter(&canvas);
        missing->displayInRect(QRectF(0, 0, 10, 10), painter);
    }
    EXPECT_EQ(canvas.pixel(5, 5), QColor(Qt::white).rgb());

    QImage red(300, 169, QImage::Format_RGB32);
    red.fill(Qt::red);
    const auto thumbnail = CWThumbnail::withImage(red, s(3));
    EXPECT_FALSE(thumbnail->isMissing());
    EXPECT_EQ(thumbnail->size(), QSizeF(300, 169));
    {
        QPainter painter(&canvas);
        thumbnail->displayInRect(QRectF(0, 0, 10, 10), painter);
    }
    EXPECT_EQ(canvas.pixel(5, 5), QColor(Qt::red).rgb());
    // A failed request: a normal thumbnail without a picture.
    const auto empty = CWThumbnail::withImage(QImage(), kCMTimeInvalid);
    EXPECT_FALSE(empty->isMissing());
    EXPECT_EQ(empty->size(), QSizeF(0, 0));
}

TEST(CWTimeStream, HandsOutConsecutiveRangesAtItsTimescale)
{
    auto stream = CWTimeStream::streamForDuration(CMTimeMake(6000, 600));
    EXPECT_EQ(stream->currentTime().timescale, 600);
    const CMTimeRange first = stream->rangeUntil(s(4));
    EXPECT_TRUE(CMTimeRangeEqual(first, CMTimeRangeMake(kCMTimeZero, s(4))));
    EXPECT_EQ(stream->currentTime(), s(4));
    stream->skipUntil(s(6));
    const CMTimeRange rest = stream->rangeUntilEnd();
    EXPECT_TRUE(CMTimeRangeEqual(rest, CMTimeRangeMake(s(6), s(4))));
    EXPECT_EQ(rest.start.timescale, 600);
    // Never clamps: backwards gives a negative range and moves the cursor back.
    const CMTimeRange back = stream->rangeUntil(s(8));
    EXPECT_EQ(back.duration, s(-2));
    EXPECT_EQ(stream->currentTime(), s(8));
    stream->skipDuration(s(5));
    EXPECT_EQ(stream->currentTime(), s(13));

    auto millis = CWTimeStream::emptyStreamWithTimescale(1000);
    const CMTimeRange third = millis->rangeWithDuration(CMTimeMake(1, 3));
    EXPECT_EQ(third.duration.value, 333);
    EXPECT_EQ(third.duration.timescale, 1000);
    EXPECT_EQ(millis->currentTime().value, 333);
}

TEST(CWUtility, DebugLinesOnlyWhenSwitchedOn)
{
    testing::internal::CaptureStderr();
    CWUtility::debugLog(QStringLiteral("Tag"), QStringLiteral("hidden"));
    CWUtility::setDebugEnabled(true);
    CWUtility::debugLog(QStringLiteral("Tag"), QStringLiteral("shown %1").arg(7));
    CWUtility::setDebugEnabled(false);
    const std::string out = testing::internal::GetCapturedStderr();
    EXPECT_EQ(out.find("hidden"), std::string::npos);
    EXPECT_NE(out.find("DEBUG Tag: shown 7\n"), std::string::npos);
}
