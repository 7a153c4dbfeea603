#include "FrameTiming.h"

#include "MediaAsset.h"
#include "MediaInput.h"
#include "Mp4SampleTable.h"
#include "PacketTime.h"

#include <algorithm>
#include <numeric>

namespace FrameTiming {

namespace {

struct Tick {
    int64_t pts;
    int64_t duration;
};

std::vector<FrameSample> toSamples(std::vector<Tick> ticks, AVRational timeBase, CMTime offset)
{
    std::stable_sort(ticks.begin(), ticks.end(), [](const Tick& a, const Tick& b) { return a.pts < b.pts; });
    std::vector<FrameSample> samples;
    samples.reserve(ticks.size());
    for (size_t i = 0; i < ticks.size(); ++i) {
        // A frame lasts until the next one is shown; the container's own duration counts for the last.
        const int64_t duration = i + 1 < ticks.size() ? ticks[i + 1].pts - ticks[i].pts : ticks[i].duration;
        samples.push_back({CMTimeSubtract(MediaInput::timeFromTimestamp(ticks[i].pts, timeBase), offset),
                           MediaInput::timeFromTimestamp(std::max<int64_t>(duration, 0), timeBase)});
    }
    return samples;
}

std::optional<std::vector<Tick>> scanPackets(const MediaSource& source, int streamIndex, AVRational& timeBase, Error* error)
{
    InputFormatContextPtr input = MediaInput::open(source, false, error);
    if (!input)
        return std::nullopt;
    if (streamIndex >= int(input->nb_streams) && avformat_find_stream_info(input.get(), nullptr) < 0)
        return std::nullopt;
    if (streamIndex >= int(input->nb_streams)) {
        setError(error, mediaError(AVERROR_STREAM_NOT_FOUND, QStringLiteral("Cannot find the track")));
        return std::nullopt;
    }
    for (unsigned i = 0; i < input->nb_streams; ++i)
        input->streams[i]->discard = int(i) == streamIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    timeBase = input->streams[streamIndex]->time_base;
    std::vector<Tick> ticks;
    PacketPtr packet = makePacket();
    int ret = 0;
    while ((ret = av_read_frame(input.get(), packet.get())) >= 0) {
        if (packet->stream_index == streamIndex && !(packet->flags & AV_PKT_FLAG_DISCARD)) {
            const int64_t pts = presentationTimestamp(*packet);
            if (pts != AV_NOPTS_VALUE)
                ticks.push_back({pts, packet->duration});
        }
        av_packet_unref(packet.get());
    }
    // A damaged tail ends the scan; the frames before it still have their timing.
    return ticks;
}

} // namespace

std::optional<std::vector<FrameSample>> read(const MediaAsset& asset, int32_t trackID, Error* error, Source* source)
{
    const std::optional<MediaTrack> track = asset.trackWithID(trackID);
    if (!track) {
        setError(error,
                 mediaLayerError(MediaLayerErrorCode::NotFound, QStringLiteral("\"%1\" has no track %2.").arg(asset.path()).arg(trackID)));
        return std::nullopt;
    }
    if (asset.formatName().startsWith(QLatin1String("mov,"))) {
        if (std::optional<Mp4TrackTiming> table = readMp4TrackTiming(asset.source(), trackID)) {
            std::vector<Tick> ticks(table->presentationTimes.size());
            for (size_t i = 0; i < ticks.size(); ++i)
                ticks[i] = {table->presentationTimes[i], table->durations[i]};
            if (source)
                *source = Source::SampleTable;
            return toSamples(std::move(ticks), AVRational{1, table->timescale}, asset.startOffset());
        }
    }
    AVRational timeBase{track->timeBaseNum, track->timeBaseDen};
    std::optional<std::vector<Tick>> ticks = scanPackets(asset.source(), track->streamIndex, timeBase, error);
    if (!ticks)
        return std::nullopt;
    if (source)
        *source = Source::PacketScan;
    return toSamples(std::move(*ticks), timeBase, asset.startOffset());
}

} // namespace FrameTiming
