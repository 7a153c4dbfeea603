#include "CWExportProject.h"
#include "CWPreset.h"
#include "CompositionReader.h"
#include "MediaAsset.h"
#include "MediaWriter.h"
#include "support/TestMedia.h"

#include <QFile>
#include <QJsonArray>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

using namespace TestMedia;

namespace {

std::shared_ptr<CWExportProject> exportProject(const QString& path, std::initializer_list<std::pair<double, double>> cuts)
{
    CWPreset::registerStandardPresets();
    Error error;
    auto asset = MediaAsset::open(path, &error);
    std::vector<std::shared_ptr<CWExcludedSegment>> list;
    for (const auto& [start, stop] : cuts)
        list.push_back(CWExcludedSegment::startingAt(CMTimeMakeWithSeconds(start, 1000), CMTimeMakeWithSeconds(stop, 1000)));
    return CWExportProject::fromAsset(asset, list, CWPreset::classWithIdentifier(QStringLiteral("passthrough"))->create(),
                                      CWProjectConfiguration::defaultConfiguration(), &error);
}

// Pumps every output into its input, one buffer at a time round-robin (as the transfers' threads would).
bool pump(std::vector<std::pair<std::shared_ptr<ReaderOutput>, WriterInput*>> pairs, Error* error)
{
    std::vector<bool> done(pairs.size(), false);
    for (size_t finished = 0; finished < pairs.size();) {
        for (size_t i = 0; i < pairs.size(); ++i) {
            if (done[i] || !pairs[i].second->isReadyForMoreMediaData())
                continue;
            auto buffer = pairs[i].first->copyNextSampleBuffer();
            if (!buffer) {
                if (!pairs[i].second->markAsFinished(error))
                    return false;
                done[i] = true;
                ++finished;
            } else if (!pairs[i].second->append(*buffer, error)) {
                return false;
            }
        }
    }
    return true;
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
    auto project = exportProject(twoAudioAndSubtitle(), {});
    ASSERT_TRUE(project);
    CompositionReader reader(project->asset(), *project->composition());
    const QString out = folder() + QStringLiteral("/copied.mp4");
    MediaWriter writer(out, MediaFileType::MPEG4);
    std::vector<std::pair<std::shared_ptr<ReaderOutput>, WriterInput*>> pairs;
    for (const CompositionTrack& track : project->composition()->tracks) {
        auto output = reader.addTrackOutput(track.trackID);
        pairs.emplace_back(output, nullptr);
    }
    Error error;
    ASSERT_TRUE(reader.startReading(&error)) << error.message.toStdString();
    for (auto& [output, input] : pairs)
        input = writer.addPacketInput(*output);
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
    EXPECT_EQ(probe(out).value(QStringLiteral("format")).toObject().value(QStringLiteral("tags")).toObject().value(QStringLiteral("title")).toString(),
              QStringLiteral("Copied"));
}

TEST(MediaWriter, EncodesAacWithTagsAndArtwork)
{
    auto project = exportProject(flac(), {{0.5, 1.0}});
    ASSERT_TRUE(project);
    CompositionReader reader(project->asset(), *project->composition());
    auto audio = reader.addAudioMixOutput({project->composition()->tracks[0].trackID}, project->audioMix(),
                                          PcmFormat{44100, 2, 0, PcmFormat::Sample::Float32});
    Error error;
    ASSERT_TRUE(reader.startReading(&error));
    const QString out = folder() + QStringLiteral("/encoded.m4a");
    MediaWriter writer(out, MediaFileType::AppleM4A);
    WriterInput* input = writer.addAudioEncoderInput(AudioEncoderSettings{QStringLiteral("aac"), 44100, 2, 0, 128000});
    QFile art(make(QStringLiteral("writer-art.png"), {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
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
    auto project = exportProject(h264WithBFrames(), {});
    CompositionReader reader(project->asset(), *project->composition());
    auto video = reader.addTrackOutput(project->composition()->tracks[0].trackID);
    ASSERT_TRUE(reader.startReading(&error));
    const QString out = folder() + QStringLiteral("/limited.mp4");
    MediaWriter writer(out, MediaFileType::MPEG4);
    WriterInput* input = writer.addPacketInput(*video);
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
