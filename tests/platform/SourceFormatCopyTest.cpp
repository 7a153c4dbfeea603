// The pieces of copying: decode times made from presentation times, chapters that follow pieces, and
// FLAC frames numbered anew (checked against CRCs computed here and by the reference decoder).
#include "DecodeTimes.h"
#include "FlacReframer.h"
#include "PassthroughPlan.h"
#include "support/TestMedia.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace TestMedia;

namespace {

// FLAC's checksums, bit by bit: CRC-8 (x^8 + x^2 + x + 1) of the header, CRC-16 (x^16 + x^15 + x^2 + 1)
// of the frame.
unsigned crc(const QByteArray& bytes, int bits, unsigned polynomial)
{
    const unsigned top = 1u << (bits - 1), mask = (1u << bits) - 1;
    unsigned value = 0;
    for (const char c : bytes)
        for (int bit = 7; bit >= 0; --bit)
            value = (((value & top) != 0) != (((uchar(c) >> bit) & 1) != 0) ? (value << 1) ^ polynomial : value << 1) & mask;
    return value;
}

// The coded number of a frame header and the header's length (up to and with its CRC-8).
std::pair<int64_t, int> codedNumber(const QByteArray& frame)
{
    const auto byte = [&](int i) { return int64_t(uchar(frame[i])); };
    int length = 1;
    int64_t value = byte(4);
    if (value >= 0xC0) {
        length = value == 0xFE ? 7 : 2;
        while (length < 7 && (value << length) & 0x80)
            ++length;
        value = length == 7 ? 0 : value & (0x7F >> length);
        for (int i = 1; i < length; ++i)
            value = (value << 6) | (byte(4 + i) & 0x3F);
    }
    int header = 4 + length;
    const int blockCode = uchar(frame[2]) >> 4, rateCode = uchar(frame[2]) & 0x0F;
    header += blockCode == 6 ? 1 : blockCode == 7 ? 2 : 0;
    header += rateCode == 12 ? 1 : (rateCode == 13 || rateCode == 14) ? 2 : 0;
    return {value, header + 1};
}

} // namespace

TEST(DecodeTimes, RiseAndComeNoLaterThanTheirPictures)
{
    const auto decodeTimes = [](DecodeTimes times, const std::vector<int64_t>& shown) {
        std::vector<int64_t> decoded;
        for (const int64_t pts : shown)
            decoded.push_back(times.next(pts));
        return decoded;
    };
    // I P B B P B B in decode order, reordered one picture deep, 512 ticks a picture: the first decodes
    // one picture before it is shown, the others in presentation order.
    const std::vector<int64_t> bFrames{0, 1536, 512, 1024, 3072, 2048, 2560};
    EXPECT_EQ(decodeTimes(DecodeTimes(1, 512), bFrames), (std::vector<int64_t>{-512, 0, 512, 1024, 1536, 2048, 2560}));
    // Where the file keeps no decode times they begin at its start, squeezed, so that nothing comes
    // ahead of sound that begins with it.
    EXPECT_EQ(decodeTimes(DecodeTimes(1, 512, 0), bFrames), (std::vector<int64_t>{0, 1, 512, 1024, 1536, 2048, 2560}));
    // Pictures encoded without reordering after copied ones, and a frame rate that changes: decode
    // times still rise and never pass the picture's own time.
    const std::vector<int64_t> mixed{0, 1536, 512, 1024, 2048, 2300, 2700, 4000};
    const std::vector<int64_t> decoded = decodeTimes(DecodeTimes(1, 512), mixed);
    for (size_t i = 0; i < mixed.size(); ++i) {
        EXPECT_LE(decoded[i], mixed[i]) << "at " << i;
        if (i > 0) {
            EXPECT_GT(decoded[i], decoded[i - 1]) << "at " << i;
        }
    }
}

TEST(PassthroughPlan, ChaptersFollowPiecesThatBeginAtAKeyframe)
{
    const auto chapter = [](int64_t start, int64_t end) {
        return MediaChapter{CMTimeRangeFromTimeToTime(CMTimeMake(start, 1000), CMTimeMake(end, 1000)), {}};
    };
    // Pieces of 1.0 s and 4.0 s as asked; the second begins 0.5 s early.
    const std::vector<MediaChapter> moved =
        PassthroughPlan::chaptersAfterLeadIns({chapter(0, 1000), chapter(1000, 2000), chapter(2000, 5000)},
                                              {CMTimeMake(1, 1), CMTimeMake(4, 1)}, {kCMTimeZero, CMTimeMake(500, 1000)});
    ASSERT_EQ(moved.size(), 3u);
    EXPECT_EQ(CMTimeCompare(moved[0].timeRange.start, CMTimeMake(0, 1)), 0);
    EXPECT_EQ(CMTimeCompare(CMTimeRangeGetEnd(moved[0].timeRange), CMTimeMake(1, 1)), 0) << "ends with its piece";
    EXPECT_EQ(CMTimeCompare(moved[1].timeRange.start, CMTimeMake(1500, 1000)), 0) << "after the lead-in";
    EXPECT_EQ(CMTimeCompare(CMTimeRangeGetEnd(moved[1].timeRange), CMTimeMake(2500, 1000)), 0);
    EXPECT_EQ(CMTimeCompare(CMTimeRangeGetEnd(moved[2].timeRange), CMTimeMake(5500, 1000)), 0) << "the file's end";
}

TEST(FlacReframer, FramesAreNumberedByTheirFirstSampleWithValidChecksums)
{
    // A stream of one frame: everything after the metadata blocks.
    const QString source = make(QStringLiteral("one-frame.flac"),
                                {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                 QStringLiteral("sine=d=0.05:sample_rate=44100"), QStringLiteral("-c:a"), QStringLiteral("flac")});
    QFile file(source);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_TRUE(bytes.startsWith("fLaC"));
    int at = 4;
    for (bool last = false; !last && at + 4 <= bytes.size();) {
        last = uchar(bytes[at]) & 0x80;
        at += 4 + ((uchar(bytes[at + 1]) << 16) | (uchar(bytes[at + 2]) << 8) | uchar(bytes[at + 3]));
    }
    const QByteArray frame = bytes.mid(at);
    const auto* data = reinterpret_cast<const uint8_t*>(frame.constData());
    ASSERT_EQ(FlacReframer::blockSize(data, int(frame.size())), 2205);
    const int oldHeader = codedNumber(frame).second;

    for (const int64_t first :
         {int64_t(0), int64_t(127), int64_t(128), int64_t(2047), int64_t(2048), int64_t(65535), int64_t(1) << 31, (int64_t(1) << 35) + 5}) {
        SCOPED_TRACE(first);
        const QByteArray made = FlacReframer::renumbered(data, int(frame.size()), first);
        ASSERT_FALSE(made.isEmpty());
        EXPECT_EQ(uchar(made[1]), 0xF9) << "variable block size: numbered by sample";
        const auto [number, header] = codedNumber(made);
        EXPECT_EQ(number, first);
        EXPECT_EQ(crc(made.left(header), 8, 0x07), 0u) << "the header's CRC-8 checks";
        EXPECT_EQ(crc(made, 16, 0x8005), 0u) << "the frame's CRC-16 checks";
        EXPECT_EQ(made.mid(header, made.size() - header - 2), frame.mid(oldHeader, frame.size() - oldHeader - 2))
            << "the audio is the same";
        EXPECT_EQ(FlacReframer::blockSize(reinterpret_cast<const uint8_t*>(made.constData()), int(made.size())), 2205);
    }
    // The reference decoder takes the stream with its frame numbered anew.
    const QString renumbered = folder() + QStringLiteral("/renumbered.flac");
    QFile out(renumbered);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(bytes.left(at) + FlacReframer::renumbered(data, int(frame.size()), 0));
    out.close();
    QByteArray output, errors;
    EXPECT_EQ(run(QStringLiteral("flac"), {QStringLiteral("-t"), renumbered}, &output, 60000, &errors), 0) << errors.toStdString();
    // A header that is not one is refused.
    EXPECT_TRUE(FlacReframer::renumbered(reinterpret_cast<const uint8_t*>("fLaC\0\0\0\0\0\0"), 10, 0).isEmpty());
    EXPECT_EQ(FlacReframer::blockSize(reinterpret_cast<const uint8_t*>("\xFF\xF8\x00\x00\x00\x00\x00"), 7), 0);
}
