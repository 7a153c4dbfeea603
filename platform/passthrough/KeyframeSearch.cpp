#include "KeyframeSearch.h"

#include "KeyframeKind.h"
#include "MediaInput.h"
#include "PacketTime.h"
#include "PassthroughPlan.h"
#include "TimedPacketReader.h"

namespace KeyframeSearch {

namespace {

Keyframe keyframeOf(const AVPacket& packet, const AVCodecParameters& parameters)
{
    const int64_t pts = presentationTimestamp(packet);
    return Keyframe{pts, packet.dts != AV_NOPTS_VALUE
                             ? packet.dts
                             : PassthroughPlan::missingDecodeTime(pts, parameters.video_delay, std::max<int64_t>(packet.duration, 1), 0)};
}

// The anchor's keyframe at or before the time (also when B-frames present it after the time) at which
// decoding can begin: an open group's keyframe leads back to the one before it.
std::optional<Keyframe> findKeyframe(TimedPacketReader& reader, int anchor, int64_t target)
{
    AVFormatContext* input = reader.input();
    const AVCodecParameters& parameters = *input->streams[anchor]->codecpar;
    PacketPtr packet = makePacket();
    const int64_t wanted = target;
    std::optional<Keyframe> found;
    for (int attempt = 0; attempt < 8; ++attempt) {
        if (reader.seekFrame(anchor, target, AVSEEK_FLAG_BACKWARD) < 0)
            reader.seekFile(INT64_MIN, INT64_MIN, INT64_MIN);
        int ret = 0;
        while ((ret = reader.read(packet.get())) >= 0 && packet->stream_index != anchor)
            av_packet_unref(packet.get());
        if (ret < 0)
            break;
        found = keyframeOf(*packet, parameters);
        const bool clean = keyframeKind(*packet, parameters) != KeyframeKind::OpenH264;
        av_packet_unref(packet.get());
        if ((found->pts <= wanted && clean) || found->dts - 1 >= target)
            break;
        target = found->dts - 1;
    }
    return found;
}

// The same for containers whose seeks land near a time rather than on a keyframe (MPEG transport and
// program streams): reading forward from further and further back, the last clean keyframe shown by
// the time (or, when the video begins after it, the first). Reading stops at the first packet decoded
// after the time, as no later keyframe is shown before it.
std::optional<Keyframe> scanForKeyframe(TimedPacketReader& reader, int anchor, int64_t target)
{
    AVFormatContext* input = reader.input();
    const AVStream* stream = input->streams[anchor];
    const int64_t wanted = av_rescale_q(target, stream->time_base, AV_TIME_BASE_Q);
    const int64_t first = input->start_time != AV_NOPTS_VALUE ? input->start_time : 0;
    PacketPtr packet = makePacket();
    for (int64_t margin = 4 * AV_TIME_BASE;; margin *= 4) {
        const int64_t from = wanted - margin;
        if (from <= first || reader.seekFile(INT64_MIN, from, from) < 0)
            reader.seekFile(INT64_MIN, INT64_MIN, INT64_MIN);
        std::optional<Keyframe> found, firstFound;
        while (reader.read(packet.get()) >= 0) {
            const bool key = packet->stream_index == anchor && (packet->flags & AV_PKT_FLAG_KEY) &&
                             keyframeKind(*packet, *stream->codecpar) != KeyframeKind::OpenH264;
            if (key && !firstFound)
                firstFound = keyframeOf(*packet, *stream->codecpar);
            if (key && presentationTimestamp(*packet) <= target)
                found = keyframeOf(*packet, *stream->codecpar);
            const bool past = packet->stream_index == anchor && decodeTimestamp(*packet) > target;
            av_packet_unref(packet.get());
            if (past)
                break;
        }
        if (found) {
            found->seekFrom = from <= first ? kFromFileStart : from;
            return found;
        }
        if (from <= first) {
            if (firstFound)
                firstFound->seekFrom = kFromFileStart;
            return firstFound;
        }
    }
}

} // namespace

std::optional<Keyframe> find(TimedPacketReader& reader, int streamIndex, int64_t target)
{
    const bool seeksNearATime = reader.input()->iformat->flags & AVFMT_TS_DISCONT;
    return seeksNearATime ? scanForKeyframe(reader, streamIndex, target) : findKeyframe(reader, streamIndex, target);
}

} // namespace KeyframeSearch
