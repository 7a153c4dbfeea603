// The pieces of pass-through copying below the export: the edit list writer (read back by its reader
// and by ffmpeg, which honours edit lists) and the join arithmetic.
#include "Mp4EditList.h"
#include "PassthroughPlan.h"
#include "support/TestMedia.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace TestMedia;
using PassthroughPlan::Decision;

namespace {
CMTime ms(int64_t value) { return CMTimeMake(value, 1000); }
} // namespace

TEST(Mp4EditList, ShowsExactlyTheEditedPiecesOfATrack)
{
    // 4 s at 25 fps, no B-frames: media time t shows frame t × 25.
    const QString path = folder() + QStringLiteral("/edited.mp4");
    QFile::remove(path);
    ASSERT_TRUE(QFile::copy(fps25(), path));
    Error error;
    ASSERT_TRUE(writeEditLists(path, {{1, {{ms(400), ms(400)}, {ms(2000), ms(200)}, {ms(3000), ms(400)}}}}, &error))
        << error.message.toStdString();

    const auto lists = readEditLists(path);
    ASSERT_TRUE(lists);
    const Mp4EditList& list = lists->at(1);
    ASSERT_GT(list.mediaTimescale, 0);
    ASSERT_GT(list.movieTimescale, 0);
    const auto media = [&](int64_t milliseconds) { return milliseconds * list.mediaTimescale / 1000; };
    const auto movie = [&](int64_t milliseconds) { return uint64_t(milliseconds * list.movieTimescale / 1000); };
    EXPECT_EQ(list.mediaTimes, (std::vector<int64_t>{media(400), media(2000), media(3000)}));
    EXPECT_EQ(list.durations, (std::vector<uint64_t>{movie(400), movie(200), movie(400)}));
    EXPECT_EQ(list.trackDuration, movie(1000));

    std::vector<int> expected;
    for (const auto& [first, count] : {std::pair{10, 10}, std::pair{50, 5}, std::pair{75, 10}})
        for (int i = 0; i < count; ++i)
            expected.push_back(first + i);
    const Decoded decoded = decode(path);
    EXPECT_TRUE(decoded.messages.isEmpty()) << decoded.messages.toStdString();
    EXPECT_EQ(decoded.frameNumbers, expected);
    EXPECT_NEAR(probe(path).value(QStringLiteral("format")).toObject().value(QStringLiteral("duration")).toString().toDouble(), 1.0, 0.001);
}

TEST(Mp4EditList, RefusesWhatItCannotEdit)
{
    const QString path = folder() + QStringLiteral("/not-edited.mp4");
    QFile::remove(path);
    ASSERT_TRUE(QFile::copy(fps25(), path));
    QFile original(path);
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QByteArray before = original.readAll();
    original.close();
    Error error;
    EXPECT_FALSE(writeEditLists(path, {{7, {{ms(0), ms(100)}}}}, &error)); // no track 7
    EXPECT_TRUE(error.message.contains(QStringLiteral("missing"))) << error.message.toStdString();
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    EXPECT_EQ(original.readAll(), before);
    EXPECT_FALSE(writeEditLists(wav(), {{1, {{ms(0), ms(100)}}}}, &error));
    EXPECT_FALSE(readEditLists(folder() + QStringLiteral("/no-such-file.mp4")));
}

TEST(PassthroughPlan, VideoPacketsFromTheKeyframeUntilTheEnd)
{
    const CMTime keyShown = ms(2000), keyDecoded = ms(1920), end = ms(4600);
    // A B-frame of the previous group: decoded after the keyframe, shown before it.
    EXPECT_EQ(PassthroughPlan::videoPacket(ms(1960), ms(1960), keyShown, keyDecoded, end), Decision::Skip);
    // Decoded before the keyframe.
    EXPECT_EQ(PassthroughPlan::videoPacket(ms(2040), ms(1880), keyShown, keyDecoded, end), Decision::Skip);
    EXPECT_EQ(PassthroughPlan::videoPacket(ms(2000), ms(1920), keyShown, keyDecoded, end), Decision::Copy);
    // Shown after the end but decoded before it: a reference of the last frames shown.
    EXPECT_EQ(PassthroughPlan::videoPacket(ms(4680), ms(4560), keyShown, keyDecoded, end), Decision::Copy);
    EXPECT_EQ(PassthroughPlan::videoPacket(ms(4640), ms(4600), keyShown, keyDecoded, end), Decision::TrackDone);
}

TEST(PassthroughPlan, OtherPacketsOverlappingTheCopy)
{
    const CMTime copyStart = ms(1900), end = ms(4600);
    EXPECT_EQ(PassthroughPlan::otherPacket(ms(1870), ms(1890), copyStart, end), Decision::Skip);
    EXPECT_EQ(PassthroughPlan::otherPacket(ms(1890), ms(1910), copyStart, end), Decision::Copy); // overlaps the start
    EXPECT_EQ(PassthroughPlan::otherPacket(ms(0), ms(5000), copyStart, end), Decision::Copy);    // a cue across the piece
    EXPECT_EQ(PassthroughPlan::otherPacket(ms(1800), ms(1800), copyStart, end), Decision::Skip); // no duration, before
    EXPECT_EQ(PassthroughPlan::otherPacket(ms(4599), ms(4620), copyStart, end), Decision::Copy);
    EXPECT_EQ(PassthroughPlan::otherPacket(ms(4600), ms(4620), copyStart, end), Decision::TrackDone);
}

TEST(PassthroughPlan, PiecesFollowEachOtherAndDecodeInOrder)
{
    const CMTime tick = CMTimeMake(1, 12800);
    // The first piece starts the file.
    EXPECT_EQ(CMTimeCompare(PassthroughPlan::pieceShift(kCMTimeZero, ms(1900), ms(1920), kCMTimeInvalid, tick), ms(-1900)), 0);
    // A later piece starts where the file has got to...
    EXPECT_EQ(CMTimeCompare(PassthroughPlan::pieceShift(ms(3000), ms(6900), ms(7000), ms(2900), tick), ms(-3900)), 0);
    // ...unless its keyframe would then decode before the last frame written.
    const CMTime shift = PassthroughPlan::pieceShift(ms(3000), ms(7000), ms(6920), ms(2960), tick);
    EXPECT_EQ(CMTimeCompare(CMTimeAdd(ms(6920), shift), CMTimeAdd(ms(2960), tick)), 0);
    // The edit shows the piece from its start: in media time, its moved start less the first decode time.
    EXPECT_EQ(CMTimeCompare(PassthroughPlan::editMediaStart(ms(7040), ms(-3900), ms(-80)), ms(3220)), 0);
}
