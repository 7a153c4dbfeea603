#include "CWBitrateConfigurationItem.h"
#include "CWH264Preset.h"
#include "CWPassThroughPreset.h"
#include "CWPreset.h"
#include "CWQualityConfigurationItem.h"
#include "CWSampleRateConfigurationItem.h"
#include "MediaAsset.h"
#include "support/TestMedia.h"
#include "UserDefaults.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace TestMedia;

namespace {

std::shared_ptr<CWPreset> preset(const char* identifier)
{
    CWPreset::registerStandardPresets();
    const CWPresetClass* presetClass = CWPreset::classWithIdentifier(QString::fromLatin1(identifier));
    EXPECT_TRUE(presetClass) << identifier;
    return presetClass ? presetClass->create() : nullptr;
}

QStringList labels(const CWConfigurationItems& items)
{
    QStringList result;
    for (const auto& item : items)
        result << item->humanReadableDescription();
    return result;
}

} // namespace

TEST(CWPresetCatalogue, OrderDefaultAndLastPreset)
{
    CWPreset::registerStandardPresets();
    CWPreset::registerStandardPresets(); // registering twice changes nothing
    QStringList names;
    for (const CWPresetClass* presetClass : CWPreset::allPresetClasses())
        names << presetClass->presetName;
    EXPECT_EQ(names, (QStringList{"AVC / h264", "Apple Lossless", "FLAC Audio", "HEVC / h265", "M4A Audio", "MP3 Audio", "Passthrough",
                                  "QOA Audio", "Thumbnail"}));

    UserDefaults::removeObjectForKey(QStringLiteral("lastPreset"));
    EXPECT_EQ(CWPreset::lastPreset()->identifier(), QStringLiteral("h265"));
    CWPreset::lastPresetClass(*CWPreset::classWithIdentifier(QStringLiteral("lame")));
    EXPECT_EQ(UserDefaults::stringForKey(QStringLiteral("lastPreset")), QStringLiteral("lame"));
    EXPECT_EQ(CWPreset::lastPreset()->identifier(), QStringLiteral("lame"));
    UserDefaults::setString(QStringLiteral("lastPreset"), QStringLiteral("removed-in-a-later-version"));
    EXPECT_EQ(CWPreset::lastPreset()->identifier(), QStringLiteral("h265"));
    UserDefaults::removeObjectForKey(QStringLiteral("lastPreset"));
}

// The names of what each preset makes from an H.264 source (the suffix goes into the file name of each
// piece), and a description for the menu.
TEST(CWPresetCatalogue, EveryPresetNamesItsFileForASource)
{
    struct Row {
        const char *id, *suffix, *extension;
    };
    const Row rows[] = {{"alac", "m4a", "m4a"},  {"flac", "flac", "flac"},          {"m4a", "m4a", "m4a"},
                        {"h264", "h264", "mp4"}, {"h265", "hevc", "mp4"},           {"lame", "mp3", "mp3"},
                        {"qoa", "qoa", "qoa"},   {"passthrough", "trimmed", "mp4"}, {"low", "thumbnail", "mp4"}};
    const auto source = openAsset(h264WithBFrames());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.id);
        auto p = preset(row.id);
        ASSERT_TRUE(p);
        EXPECT_EQ(p->defaultFileSuffix(), QString::fromLatin1(row.suffix));
        EXPECT_EQ(p->defaultFileExtensionForSource(*source), QString::fromLatin1(row.extension));
        EXPECT_FALSE(p->presetDescription().isEmpty());
    }
    EXPECT_EQ(preset("passthrough")->presetDescription(),
              QStringLiteral("Export Video by keeping the original encoding. Super fast export, but fading is not supported"));
    EXPECT_EQ(MediaFileTypes::identifier(preset("flac")->fileType()), QStringLiteral("flac"));
    EXPECT_EQ(MediaFileTypes::identifier(preset("qoa")->fileType()), QStringLiteral("public.qoa-audio"));
    EXPECT_EQ(preset("passthrough")->exportSessionPresetName(), PlatformExportPreset::Passthrough);
    EXPECT_EQ(preset("m4a")->exportSessionPresetName(), PlatformExportPreset::AppleM4A);
    EXPECT_EQ(preset("low")->exportSessionPresetName(), PlatformExportPreset::LowQuality);
    EXPECT_EQ(preset("h264")->configurationViewKind(), CWConfigurationViewKind::QualityControl);
    EXPECT_EQ(preset("h265")->configurationViewKind(), CWConfigurationViewKind::None);
}

TEST(CWPresetCatalogue, PassthroughChoosesTheContainerForTheSource)
{
    struct Row {
        QString source;
        MediaFileType type;
        const char* extension;
        bool video;
    };
    const Row rows[] = {
        {h264WithBFrames(), MediaFileType::MPEG4, "mp4", true},
        {rotatedMov(), MediaFileType::QuickTimeMovie, "mov", true},
        {m4aWithCover(), MediaFileType::MPEG4, "m4a", false},
        {matroskaBFrames(), MediaFileType::MPEG4, "mp4", true}, // MPEG-4 holds its tracks
        {mpeg4BFramesAvi(), MediaFileType::MPEG4, "mp4", true},
        {webmVp8Vorbis(), MediaFileType::WebM, "webm", true},
        {aviWithPcm(), MediaFileType::Matroska, "mkv", true}, // MPEG-4 cannot hold PCM; Matroska keeps B-frame times
        {aviCinepak(), MediaFileType::AVI, "avi", true},      // only AVI holds Cinepak
        {matroskaWithSubtitlesAndFont(), MediaFileType::Matroska, "mkv", true},
        {mp3WithCover(), MediaFileType::MP3, "mp3", false},
        {wav(), MediaFileType::WAVE, "wav", false},
        {aiff(), MediaFileType::AIFF, "aiff", false},
        {flac(), MediaFileType::FLAC, "flac", false},
        {oggOpus(), MediaFileType::Ogg, "opus", false},
        {oggVorbis(), MediaFileType::Ogg, "ogg", false},
    };
    auto p = preset("passthrough");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.source.toStdString());
        auto asset = openAsset(row.source);
        ASSERT_TRUE(asset);
        EXPECT_EQ(p->fileTypeForSource(*asset), row.type);
        EXPECT_EQ(p->defaultFileExtensionForSource(*asset), QString::fromLatin1(row.extension));
        bool compatible = false;
        p->determineCompatibilityWithAsset(*asset, [&](bool answer) { compatible = answer; });
        EXPECT_TRUE(compatible);
        const QString description = p->descriptionForSource(*asset);
        EXPECT_TRUE(description.contains(QStringLiteral("(.%1)").arg(QString::fromLatin1(row.extension)))) << description.toStdString();
        EXPECT_EQ(description.contains(QStringLiteral("encoded anew")), row.video) << description.toStdString();
    }
    // What each mode writes; the mode the application chooses is remembered, the tool's is not.
    auto webm = openAsset(webmVp8Vorbis()), mp4 = openAsset(h264WithBFrames());
    auto passthrough = std::dynamic_pointer_cast<CWPassThroughPreset>(p);
    ASSERT_TRUE(passthrough);
    EXPECT_EQ(passthrough->passthroughMode(), PassthroughMode::Exact);
    EXPECT_EQ(p->descriptionForSource(*webm), QStringLiteral("Copies the source's audio and video into a WebM file (.webm); the pictures "
                                                             "between a cut and the next keyframe are encoded anew."));
    passthrough->setMode(PassthroughMode::CopyOnly);
    EXPECT_EQ(p->descriptionForSource(*webm),
              QStringLiteral("Copies the source's audio and video unchanged into a WebM file (.webm); each kept piece starts at "
                             "the keyframe at or before its start."));
    EXPECT_EQ(std::dynamic_pointer_cast<CWPassThroughPreset>(preset("passthrough"))->passthroughMode(), PassthroughMode::Exact);
    passthrough->useMode(PassthroughMode::EditLists);
    EXPECT_EQ(
        p->descriptionForSource(*mp4),
        QStringLiteral("Copies the source's audio and video unchanged into an MPEG-4 file (.mp4); edit lists hide each piece's lead-in."));
    EXPECT_TRUE(p->descriptionForSource(*webm).endsWith(QStringLiteral("each kept piece starts at the keyframe at or before its start.")));
    EXPECT_EQ(UserDefaults::stringForKey(QStringLiteral("CWPassThroughPresetMode")), QStringLiteral("edit-lists"));
    EXPECT_EQ(std::dynamic_pointer_cast<CWPassThroughPreset>(preset("passthrough"))->passthroughMode(), PassthroughMode::EditLists);
    passthrough->useMode(PassthroughMode::Exact);
    EXPECT_EQ(p->descriptionForSource(*openAsset(flac())), QStringLiteral("Copies the source's audio unchanged into a FLAC file (.flac)."));
    // Its tracks without the sound: only pictures are copied, and the presets that need sound refuse.
    std::vector<int32_t> sound;
    for (const MediaTrack& track : mp4->tracksWithMediaType(MediaType::Audio))
        sound.push_back(track.trackID);
    const std::shared_ptr<MediaAsset> pictures = MediaAsset::withoutTracks(mp4, sound);
    EXPECT_EQ(p->descriptionForSource(*pictures), QStringLiteral("Copies the source's video into an MPEG-4 file (.mp4); the pictures "
                                                                 "between a cut and the next keyframe are encoded anew."));
    EXPECT_EQ(preset("m4a")->incompatibilityWithAsset(*pictures).left(30), QStringLiteral("M4A Audio needs an audio track"));
    EXPECT_EQ(mp4->tracks().size(), 2u) << "the asset itself keeps its tracks";
    // A QuickTime file's extension is taken as it is written; "MOV" is none of the MPEG-4 family's names.
    const QString upper = folder() + QStringLiteral("/Upper.MOV");
    QFile::remove(upper);
    ASSERT_TRUE(QFile::copy(rotatedMov(), upper));
    EXPECT_EQ(p->fileTypeForSource(*openAsset(upper)), MediaFileType::MPEG4);
    EXPECT_EQ(p->defaultFileExtensionForSource(*openAsset(upper)), QStringLiteral("mp4"));
    EXPECT_EQ(p->suggestedFilenameBasedOn(QStringLiteral("/m/Talk.mov"), QStringLiteral("wav")), QStringLiteral("/m/Talk - trimmed.wav"));
    EXPECT_EQ(preset("lame")->suggestedFilenameBasedOn(QStringLiteral("/m.d/Talk.v2.mov"), QStringLiteral("mp3")),
              QStringLiteral("/m.d/Talk.v2 - mp3.mp3"));
}

TEST(CWPresetCatalogue, CompatibilityAsksTheMediaLayer)
{
    Error error;
    auto mp4 = MediaAsset::open(h264WithBFrames(), &error);
    auto audioWav = MediaAsset::open(wav(), &error);
    ASSERT_TRUE(mp4 && audioWav);
    auto answer = [](const CWPreset& p, const MediaAsset& asset) {
        std::optional<bool> result;
        p.determineCompatibilityWithAsset(asset, [&](bool compatible) { result = compatible; });
        EXPECT_TRUE(result.has_value()) << "answered before returning";
        return result.value_or(false);
    };
    EXPECT_TRUE(answer(*preset("passthrough"), *mp4));
    EXPECT_FALSE(answer(*preset("low"), *audioWav));
    EXPECT_TRUE(answer(*preset("low"), *mp4));
    EXPECT_TRUE(answer(*preset("m4a"), *audioWav));
    EXPECT_TRUE(answer(*preset("h264"), *audioWav)) << "sessions of their own answer YES";
}

TEST(CWPresetCatalogue, QualitySwitchIsRememberedPerClass)
{
    UserDefaults::removeObjectForKey(QStringLiteral("CWH264PresetisHigh"));
    auto h264 = std::dynamic_pointer_cast<CWH264Preset>(preset("h264"));
    ASSERT_TRUE(h264);
    EXPECT_TRUE(h264->highQuality()) << "high on a fresh install";
    VideoEncoderSettings settings;
    h264->configureCompressionSession(settings);
    EXPECT_EQ(settings.profile, QStringLiteral("high"));
    EXPECT_EQ(settings.codecType, fourCharCode("avc1"));
    h264->useHighQuality(false);
    EXPECT_FALSE(UserDefaults::boolForKey(QStringLiteral("CWH264PresetisHigh"), true));
    auto again = std::dynamic_pointer_cast<CWH264Preset>(preset("h264"));
    EXPECT_FALSE(again->highQuality());
    again->configureCompressionSession(settings);
    EXPECT_EQ(settings.profile, QStringLiteral("baseline"));
    preset("h265")->configureCompressionSession(settings);
    EXPECT_EQ(settings.profile, QStringLiteral("main"));
    EXPECT_EQ(settings.codecType, fourCharCode("hvc1"));
    UserDefaults::removeObjectForKey(QStringLiteral("CWH264PresetisHigh"));
}

TEST(CWPresetConfiguration, LabelsAndOptionLists)
{
    EXPECT_EQ(CWBitrateConfigurationItem(1411200).humanReadableDescription(), QStringLiteral("1.4 Mbps"));
    EXPECT_EQ(CWBitrateConfigurationItem(999).humanReadableDescription(), QStringLiteral("999 bps"));
    EXPECT_EQ(CWBitrateConfigurationItem(128000).humanReadableDescription(), QStringLiteral("128 kbps"));
    EXPECT_EQ(CWSampleRateConfigurationItem(44100).humanReadableDescription(), QStringLiteral("44.1 kHz"));
    EXPECT_EQ(CWSampleRateConfigurationItem(800).humanReadableDescription(), QStringLiteral("800 Hz"));
    EXPECT_EQ(CWQualityConfigurationItem(0).humanReadableDescription(), QStringLiteral("Low Quality"));
    EXPECT_EQ(CWQualityConfigurationItem(3).humanReadableDescription(), QStringLiteral("Maximum Quality"));
    EXPECT_EQ(CWQualityConfigurationItem(7).humanReadableDescription(), QString());

    EXPECT_TRUE(preset("lame")->supportsBitrateConfiguration());
    EXPECT_EQ(labels(preset("lame")->availableBitrateConfigurationItems()), (QStringList{"96 kbps", "128 kbps", "192 kbps", "320 kbps"}));
    for (const char* id : {"m4a", "h264", "alac", "flac", "h265", "passthrough", "qoa", "low"}) {
        SCOPED_TRACE(id);
        EXPECT_FALSE(preset(id)->supportsBitrateConfiguration());
        EXPECT_TRUE(preset(id)->availableBitrateConfigurationItems().empty());
        EXPECT_FALSE(preset(id)->supportsSampleRateConfiguration());
        EXPECT_FALSE(preset(id)->supportsQualityConfiguration());
    }
    // The lossless encoders take every common rate.
    for (const char* id : {"flac", "alac"}) {
        const QStringList rates = labels(preset(id)->availableSampleRateConfigurationItems());
        EXPECT_TRUE(rates.contains(QStringLiteral("44.1 kHz"))) << id;
        EXPECT_TRUE(rates.contains(QStringLiteral("96.0 kHz"))) << id;
        EXPECT_EQ(rates.first(), QStringLiteral("8.0 kHz")) << id;
    }
    EXPECT_TRUE(preset("m4a")->availableSampleRateConfigurationItems().empty());
}
