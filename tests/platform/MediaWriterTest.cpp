#include "MediaWriter.h"
#include "BufferPump.h"
#include "CompositionReader.h"
#include "CopiedTrackInput.h"
#include "InterleavedTransfer.h"
#include "MediaAsset.h"
#include "support/TestMedia.h"

#include <QFile>
#include <QJsonArray>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

using namespace TestMedia;

namespace {

// Moves every output into its input, interleaved as the exports do.
bool pump(const std::vector<std::pair<std::shared_ptr<ReaderOutput>, WriterInput*>>& pairs, Error* error)
{
    std::vector<std::pair<BufferPump, WriterInput*>> pumps;
    for (const auto& [output, input] : pairs)
        pumps.emplace_back(BufferPump(
                               *output, [input](SampleBuffer& b, Error* e) { return input->append(b, e); },
                               [input](Error* e) { return input->markAsFinished(e); }),
                           input);
    const std::atomic<bool> never{false};
    return transferInterleaved(
               pumps, never, [](CMTime) {}, error) == TransferEnd::Finished;
}

QJsonArray streamsOf(const QString& path) { return probe(path).value(QStringLiteral("streams")).toArray(); }

// The alternate group field of each track header in an MPEG-4 file, in file order.
std::vector<int> alternateGroups(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    std::vector<int> groups;
    for (qsizetype at = bytes.indexOf("tkhd"); at >= 0; at = bytes.indexOf("tkhd", at + 4)) {
        const int version = uchar(bytes[at + 4]);
        const qsizetype group = at + 4 + (version == 1 ? 44 : 32) + 2;
        groups.push_back(uchar(bytes[group]) << 8 | uchar(bytes[group + 1]));
    }
    return groups;
}

} // namespace

TEST(MediaWriter, CopiesEveryTrackWithOneAlternateGroupForTheAudio)
{
    auto asset = openAsset(twoAudioAndSubtitle());
    ASSERT_TRUE(asset);
    const Composition composition = keptComposition(*asset);
    CompositionReader reader(asset, composition);
    const QString out = folder() + QStringLiteral("/copied.mp4");
    MediaWriter writer(out, MediaFileType::MPEG4);
    std::vector<std::pair<std::shared_ptr<ReaderOutput>, WriterInput*>> pairs;
    for (const CompositionTrack& track : composition.tracks) {
        auto output = reader.addTrackOutput(track.trackID);
        pairs.emplace_back(output, nullptr);
    }
    Error error;
    ASSERT_TRUE(reader.startReading(&error)) << error.message.toStdString();
    for (auto& [output, input] : pairs)
        input = CopiedTrackInput::add(writer, *output);
    writer.setMetadata({{MetadataKeySpace::Common, CommonMetadataKey::Title, CommonMetadataKey::Title, QStringLiteral("Copied")}});
    ASSERT_TRUE(writer.startWriting(&error)) << error.message.toStdString();
    ASSERT_TRUE(pump(pairs, &error)) << error.message.toStdString();
    ASSERT_TRUE(writer.finishWriting(&error)) << error.message.toStdString();

    const QJsonArray streams = streamsOf(out);
    ASSERT_EQ(streams.size(), 4);
    EXPECT_EQ(streams[0].toObject().value(QStringLiteral("codec_name")).toString(), QStringLiteral("h264"));
    EXPECT_EQ(streams[1].toObject().value(QStringLiteral("codec_name")).toString(), QStringLiteral("aac"));
    EXPECT_EQ(streams[3].toObject().value(QStringLiteral("codec_name")).toString(), QStringLiteral("mov_text"));
    auto isDefault = [&](int i) {
        return streams[i].toObject().value(QStringLiteral("disposition")).toObject().value(QStringLiteral("default")).toInt();
    };
    EXPECT_EQ(isDefault(1), 1);
    EXPECT_EQ(isDefault(2), 0);
    const std::vector<int> groups = alternateGroups(out);
    ASSERT_EQ(groups.size(), 4u);
    EXPECT_NE(groups[1], 0);
    EXPECT_EQ(groups[1], groups[2]) << "both audio tracks are alternatives of each other";
    EXPECT_NE(groups[0], groups[1]);
    EXPECT_EQ(probe(out)
                  .value(QStringLiteral("format"))
                  .toObject()
                  .value(QStringLiteral("tags"))
                  .toObject()
                  .value(QStringLiteral("title"))
                  .toString(),
              QStringLiteral("Copied"));
}

TEST(MediaWriter, EncodesAacWithTagsAndArtwork)
{
    auto asset = openAsset(flac());
    ASSERT_TRUE(asset);
    const Composition composition = keptComposition(*asset, {{0, 0.5}, {1.0, 2.0}});
    CompositionReader reader(asset, composition);
    auto audio = reader.addAudioMixOutput({composition.tracks[0].trackID}, AudioMix{}, PcmFormat{44100, 2, 0, PcmFormat::Sample::Float32});
    Error error;
    ASSERT_TRUE(reader.startReading(&error));
    const QString out = folder() + QStringLiteral("/encoded.m4a");
    MediaWriter writer(out, MediaFileType::AppleM4A);
    WriterInput* input = writer.addAudioEncoderInput(AudioEncoderSettings{QStringLiteral("aac"), 44100, 2, 0, 128000});
    QFile art(
        make(QStringLiteral("writer-art.png"), {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                                QStringLiteral("color=green:s=40x40"), QStringLiteral("-frames:v"), QStringLiteral("1")}));
    ASSERT_TRUE(art.open(QIODevice::ReadOnly));
    writer.setMetadata({{MetadataKeySpace::Common, CommonMetadataKey::Title, CommonMetadataKey::Title, QStringLiteral("Encoded")},
                        {MetadataKeySpace::Common, CommonMetadataKey::Artist, CommonMetadataKey::Artist, QStringLiteral("Writer")},
                        {MetadataKeySpace::Common, CommonMetadataKey::Artwork, CommonMetadataKey::Artwork, art.readAll()}});
    ASSERT_TRUE(writer.startWriting(&error)) << error.message.toStdString();
    ASSERT_TRUE(pump({{audio, input}}, &error)) << error.message.toStdString();
    ASSERT_TRUE(writer.finishWriting(&error)) << error.message.toStdString();

    const QJsonObject probed = probe(out);
    const QJsonArray streams = probed.value(QStringLiteral("streams")).toArray();
    ASSERT_EQ(streams.size(), 2);
    EXPECT_EQ(streams[0].toObject().value(QStringLiteral("codec_name")).toString(), QStringLiteral("aac"));
    EXPECT_EQ(streams[1].toObject().value(QStringLiteral("disposition")).toObject().value(QStringLiteral("attached_pic")).toInt(), 1);
    const QJsonObject tags = probed.value(QStringLiteral("format")).toObject().value(QStringLiteral("tags")).toObject();
    EXPECT_EQ(tags.value(QStringLiteral("title")).toString(), QStringLiteral("Encoded"));
    EXPECT_EQ(tags.value(QStringLiteral("artist")).toString(), QStringLiteral("Writer"));
    // 2 s less the 0.5 s cut, priming hidden by the edit list.
    EXPECT_NEAR(streams[0].toObject().value(QStringLiteral("duration")).toString().toDouble(), 1.5, 0.03);
}

TEST(MediaWriter, FailuresLeaveNoFileBehind)
{
    Error error;
    MediaWriter nowhere(folder() + QStringLiteral("/no/such/folder/out.m4a"), MediaFileType::AppleM4A);
    nowhere.addAudioEncoderInput(AudioEncoderSettings{});
    EXPECT_FALSE(nowhere.startWriting(&error));
    EXPECT_TRUE(error.message.contains(QStringLiteral("Cannot create")));

    // A file-size limit (as a full disk would): the write fails and the file is removed.
    auto asset = openAsset(h264WithBFrames());
    const Composition composition = keptComposition(*asset);
    CompositionReader reader(asset, composition);
    auto video = reader.addTrackOutput(composition.tracks[0].trackID);
    ASSERT_TRUE(reader.startReading(&error));
    const QString out = folder() + QStringLiteral("/limited.mp4");
    MediaWriter writer(out, MediaFileType::MPEG4);
    WriterInput* input = CopiedTrackInput::add(writer, *video);
    signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit limited = old;
    limited.rlim_cur = 8 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    bool ok = writer.startWriting(&error) && pump({{video, input}}, &error) && writer.finishWriting(&error);
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(error.message.contains(QStringLiteral("too large")) || error.message.contains(QStringLiteral("File")))
        << error.message.toStdString();
    EXPECT_EQ(writer.status(), MediaWriter::Status::Failed);
    writer.cancelWriting();
    EXPECT_FALSE(QFile::exists(out));
}
