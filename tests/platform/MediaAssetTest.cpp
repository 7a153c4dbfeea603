#include "MediaAsset.h"
#include "FrameTiming.h"
#include "support/TestMedia.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using namespace TestMedia;

namespace {

std::optional<MetadataItem> commonItem(const MediaAsset& asset, const QString& commonKey)
{
    for (const MetadataItem& item : asset.metadata())
        if (item.commonKey == commonKey)
            return item;
    return std::nullopt;
}

} // namespace

// What the asset reports agrees with ffprobe's view of the same file.
TEST(MediaAsset, AgreesWithFfprobeAcrossFormats)
{
    const QStringList files{
        h264WithBFrames(),   hevc(),   rotatedMov(), vp9Opus(), mp3WithCover(), m4aWithCover(), wav(), flac(), twoAudioAndSubtitle(),
        variableFrameRate(), fps2997()};
    for (const QString& path : files) {
        SCOPED_TRACE(path.toStdString());
        auto asset = openAsset(path);
        ASSERT_TRUE(asset);
        const QJsonObject probed = probe(path);
        std::vector<QJsonObject> streams;
        for (const QJsonValue& v : probed.value(QStringLiteral("streams")).toArray())
            if (v.toObject().value(QStringLiteral("disposition")).toObject().value(QStringLiteral("attached_pic")).toInt() == 0)
                streams.push_back(v.toObject());
        ASSERT_EQ(asset->tracks().size(), streams.size());
        std::set<int32_t> ids;
        for (size_t i = 0; i < streams.size(); ++i) {
            const MediaTrack& track = asset->tracks()[i];
            const QJsonObject& s = streams[i];
            ids.insert(track.trackID);
            EXPECT_EQ(track.codecName, s.value(QStringLiteral("codec_name")).toString());
            EXPECT_EQ(mediaTypeName(track.mediaType) == QLatin1String("metadata") ? QStringLiteral("data") : mediaTypeName(track.mediaType),
                      s.value(QStringLiteral("codec_type")).toString());
            if (track.mediaType == MediaType::Video) {
                EXPECT_EQ(track.naturalSize.width(), s.value(QStringLiteral("width")).toInt());
                EXPECT_EQ(track.naturalSize.height(), s.value(QStringLiteral("height")).toInt());
            }
            if (track.mediaType == MediaType::Audio) {
                EXPECT_EQ(track.sampleRate, s.value(QStringLiteral("sample_rate")).toString().toInt());
                EXPECT_EQ(track.channelCount, s.value(QStringLiteral("channels")).toInt());
            }
        }
        EXPECT_EQ(ids.size(), asset->tracks().size()) << "track IDs are unique";
        const double probedDuration =
            probed.value(QStringLiteral("format")).toObject().value(QStringLiteral("duration")).toString().toDouble();
        EXPECT_NEAR(CMTimeGetSeconds(asset->duration()), probedDuration, 0.05);
    }
}

TEST(MediaAsset, TracksCarryTheirDescription)
{
    auto video = openAsset(fps25());
    ASSERT_TRUE(video);
    ASSERT_EQ(video->tracks().size(), 1u);
    EXPECT_EQ(video->tracks()[0].trackID, 1);
    EXPECT_DOUBLE_EQ(video->tracks()[0].nominalFrameRate, 25.0);
    EXPECT_TRUE(video->tracks()[0].preferredTransform.isIdentity());
    // The duration is exact in the track's own timescale: 100 frames of 512/12800 s.
    EXPECT_EQ(video->duration(), CMTimeMake(4, 1));
    EXPECT_EQ(video->duration().timescale, 12800);

    auto ntsc = openAsset(fps2997());
    ASSERT_TRUE(ntsc);
    EXPECT_NEAR(ntsc->tracks()[0].nominalFrameRate, 30000.0 / 1001.0, 1e-9);

    auto multi = openAsset(twoAudioAndSubtitle());
    ASSERT_TRUE(multi);
    const auto audio = multi->tracksWithMediaType(MediaType::Audio);
    ASSERT_EQ(audio.size(), 2u);
    EXPECT_EQ(audio[0].languageCode, QStringLiteral("eng"));
    EXPECT_EQ(audio[1].languageCode, QStringLiteral("deu"));
    EXPECT_EQ(multi->tracksWithMediaType(MediaType::Subtitle).size(), 1u);
    EXPECT_EQ(multi->trackWithID(audio[1].trackID)->streamIndex, audio[1].streamIndex);
    EXPECT_FALSE(multi->trackWithID(99));
}

TEST(MediaAsset, DisplayMatrixBecomesTheTransform)
{
    auto asset = openAsset(rotatedMov());
    ASSERT_TRUE(asset);
    const QTransform t = asset->tracks()[0].preferredTransform;
    // Turned 90 degrees clockwise on screen: (x, y) -> (height - y, x).
    EXPECT_NEAR(t.m11(), 0, 1e-9);
    EXPECT_NEAR(t.m12(), 1, 1e-9);
    EXPECT_NEAR(t.m21(), -1, 1e-9);
    EXPECT_NEAR(t.m22(), 0, 1e-9);
    const QRectF upright = t.mapRect(QRectF(0, 0, 160, 120));
    EXPECT_EQ(upright, QRectF(0, 0, 120, 160));
}

TEST(MediaAsset, CoverArtIsArtworkNotAVideoTrack)
{
    for (const QString& path : {mp3WithCover(), m4aWithCover()}) {
        SCOPED_TRACE(path.toStdString());
        auto asset = openAsset(path);
        ASSERT_TRUE(asset);
        EXPECT_TRUE(asset->tracksWithMediaType(MediaType::Video).empty());
        EXPECT_EQ(asset->tracksWithMediaType(MediaType::Audio).size(), 1u);
        const auto artwork = commonItem(*asset, CommonMetadataKey::Artwork);
        ASSERT_TRUE(artwork);
        EXPECT_TRUE(artwork->dataValue().startsWith("\xFF\xD8")) << "the JPEG bytes of the cover";
        ASSERT_TRUE(commonItem(*asset, CommonMetadataKey::Title));
        ASSERT_TRUE(commonItem(*asset, CommonMetadataKey::Artist));
        ASSERT_TRUE(commonItem(*asset, CommonMetadataKey::AlbumName));
    }
    auto mp3 = openAsset(mp3WithCover());
    EXPECT_EQ(mp3->metadata().front().keySpace, MetadataKeySpace::ID3);
    EXPECT_EQ(commonItem(*mp3, CommonMetadataKey::Title)->stringValue(), QStringLiteral("Tone Title"));
    EXPECT_EQ(commonItem(*mp3, CommonMetadataKey::CreationDate)->stringValue(), QStringLiteral("2024"));
    EXPECT_EQ(commonItem(*mp3, CommonMetadataKey::Description)->stringValue(), QStringLiteral("A comment"));
    auto mkv = openAsset(vp9Opus());
    ASSERT_TRUE(commonItem(*mkv, CommonMetadataKey::Author));
    EXPECT_EQ(commonItem(*mkv, CommonMetadataKey::Author)->stringValue(), QStringLiteral("MKV Author"));
    auto flacAsset = openAsset(flac());
    EXPECT_EQ(commonItem(*flacAsset, CommonMetadataKey::Title)->stringValue(), QStringLiteral("FLAC Title"));
    EXPECT_EQ(commonItem(*flacAsset, CommonMetadataKey::Title)->keySpace, MetadataKeySpace::VorbisComment);
}

TEST(MediaAsset, LoadsTheDurationAsynchronouslyOffTheMainThread)
{
    auto asset = openAsset(wav());
    ASSERT_TRUE(asset);
    std::atomic<bool> done{false};
    std::atomic<bool> onMain{true};
    CMTime loaded = kCMTimeInvalid;
    asset->loadDurationAsync([&](CMTime duration) {
        loaded = duration;
        onMain = QThread::currentThread() == QCoreApplication::instance()->thread();
        done = true;
    });
    ASSERT_TRUE(runEventLoopUntil([&] { return done.load(); }));
    EXPECT_FALSE(onMain.load());
    EXPECT_EQ(loaded, CMTimeMake(1, 1));
}

TEST(MediaAsset, BadInputGivesClearErrors)
{
    const QString dir = folder();
    auto expectError = [](const QString& path, const char* fragment) {
        SCOPED_TRACE(path.toStdString());
        Error error;
        EXPECT_FALSE(MediaAsset::open(path, &error));
        EXPECT_FALSE(error.domain.isEmpty());
        EXPECT_TRUE(error.message.contains(QString::fromUtf8(fragment), Qt::CaseInsensitive)) << error.message.toStdString();
    };
    expectError(dir + QStringLiteral("/missing.mp4"), "does not exist");
    expectError(dir, "is a folder");
    // Opening a pipe would wait for a writer for good; a device never ends.
    const QByteArray pipe = QFile::encodeName(dir + QStringLiteral("/pipe.mp4"));
    ::unlink(pipe.constData());
    ASSERT_EQ(::mkfifo(pipe.constData(), 0600), 0);
    expectError(QFile::decodeName(pipe), "not a regular file");
    expectError(QStringLiteral("/dev/zero"), "not a regular file");
    QFile empty(dir + QStringLiteral("/empty.mp4"));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    expectError(empty.fileName(), "Cannot open");
    QFile text(dir + QStringLiteral("/text.mp4"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("This is not a movie, just some words in a file.\n");
    text.close();
    expectError(text.fileName(), "Invalid data");

    // The index (moov, written last) cut off.
    QFile source(h264WithBFrames());
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QByteArray bytes = source.readAll();
    QFile cut(dir + QStringLiteral("/cut.mp4"));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(bytes.left(bytes.size() / 2));
    cut.close();
    expectError(cut.fileName(), "Cannot open");

    // Bytes overwritten in the middle: the description is still read.
    QByteArray damaged = bytes;
    for (int i = damaged.size() / 3; i < damaged.size() / 3 + 4000; ++i)
        damaged[i] = char(0x5a);
    QFile overwritten(dir + QStringLiteral("/overwritten.mp4"));
    ASSERT_TRUE(overwritten.open(QIODevice::WriteOnly));
    overwritten.write(damaged);
    overwritten.close();
    auto asset = openAsset(overwritten.fileName());
    ASSERT_TRUE(asset);
    EXPECT_EQ(asset->tracks().size(), 2u);
}

// Every prefix of a small file either fails with a message or opens with a consistent description.
TEST(MediaAsset, EveryTruncatedPrefixOpensOrFailsCleanly)
{
    const QString small = make(
        QStringLiteral("tiny.mp4"),
        {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("testsrc=s=32x24:r=10:d=0.5"),
         QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("sine=d=0.5:sample_rate=8000"),
         QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-bf"), QStringLiteral("2"), QStringLiteral("-c:a"),
         QStringLiteral("aac"), QStringLiteral("-b:a"), QStringLiteral("16k"), QStringLiteral("-movflags"), QStringLiteral("+faststart")});
    QFile file(small);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_LT(bytes.size(), 20000);
    const QString prefixPath = folder() + QStringLiteral("/prefix.mp4");
    int opened = 0;
    for (int length = 0; length <= bytes.size(); ++length) {
        QFile prefix(prefixPath);
        ASSERT_TRUE(prefix.open(QIODevice::WriteOnly | QIODevice::Truncate));
        prefix.write(bytes.constData(), length);
        prefix.close();
        Error error;
        auto asset = MediaAsset::open(prefixPath, &error);
        if (!asset) {
            EXPECT_FALSE(error.message.isEmpty()) << length;
            continue;
        }
        ++opened;
        EXPECT_TRUE(CMTIME_IS_VALID(asset->duration())) << length;
        EXPECT_GE(CMTimeGetSeconds(asset->duration()), 0.0) << length;
        for (const MediaTrack& track : asset->tracks())
            if (track.mediaType == MediaType::Video)
                FrameTiming::read(*asset, track.trackID, &error); // must not crash or hang
    }
    EXPECT_GT(opened, 0);
}

TEST(MediaAsset, UnreadableFileIsAnError)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop root";
    const QString path = folder() + QStringLiteral("/locked.wav");
    QFile::remove(path);
    ASSERT_TRUE(QFile::copy(wav(), path));
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::Permissions()));
    Error error;
    EXPECT_FALSE(MediaAsset::open(path, &error));
    EXPECT_TRUE(error.message.contains(QStringLiteral("Permission denied"))) << error.message.toStdString();
}
