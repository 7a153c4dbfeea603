// Mutated media files through the asset opener, the frame timing and the composition reader.
#include "CompositionReader.h"
#include "CWExportProject.h"
#include "CWPreset.h"
#include "FrameTiming.h"
#include "MediaAsset.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir;
    static const bool presets = (CWPreset::registerStandardPresets(), true);
    (void)presets;
    const QString path = dir.path() + QStringLiteral("/input.mp4");
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    Error error;
    auto asset = MediaAsset::open(path, &error);
    if (!asset)
        return 0;
    for (const MediaTrack& track : asset->tracks())
        if (track.mediaType == MediaType::Video)
            FrameTiming::read(*asset, track.trackID, &error);
    // Read a little of the composition of two kept pieces.
    const double seconds = CMTimeGetSeconds(asset->duration());
    if (!(seconds > 0) || seconds > 3600)
        return 0;
    std::vector<std::shared_ptr<CWExcludedSegment>> cut{
        CWExcludedSegment::startingAt(CMTimeMakeWithSeconds(seconds / 3, 1000), CMTimeMakeWithSeconds(seconds / 2, 1000))};
    auto project = CWExportProject::fromAsset(asset, cut, CWPreset::classWithIdentifier(QStringLiteral("h264"))->create(),
                                              CWProjectConfiguration::defaultConfiguration(), &error);
    if (!project)
        return 0;
    CompositionReader reader(asset, *project->composition());
    std::vector<std::shared_ptr<ReaderOutput>> outputs;
    for (const CompositionTrack* track : project->composition()->tracksWithMediaType(MediaType::Audio))
        outputs.push_back(
            reader.addAudioMixOutput({track->trackID}, project->audioMix(), PcmFormat{44100, 2, 0, PcmFormat::Sample::Int16}));
    if (project->videoComposition() && project->videoComposition()->renderSize.width() < 4096 &&
        project->videoComposition()->renderSize.height() < 4096)
        outputs.push_back(reader.addVideoCompositionOutput(*project->videoComposition()));
    if (!reader.startReading(&error))
        return 0;
    for (const auto& output : outputs)
        for (int i = 0; i < 64 && output->copyNextSampleBuffer(); ++i) {
        }
    return 0;
}
