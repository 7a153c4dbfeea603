#include "AudioTrim.h"

#include "ContainerTraits.h"
#include "FlacReframer.h"
#include "OggOpusHead.h"
#include "PassthroughPlan.h"

extern "C" {
#include <libavutil/intreadwrite.h>
}

#include <QByteArray>

#include <algorithm>

namespace {

// The bytes of one sample frame of a PCM stream; 0 for any other codec.
int pcmFrameBytes(const AVCodecParameters& parameters)
{
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(parameters.codec_id);
    const int bits = av_get_exact_bits_per_sample(parameters.codec_id);
    if (!descriptor || !QByteArray(descriptor->name).startsWith("pcm_") || bits <= 0)
        return 0;
    return parameters.block_align > 0 ? parameters.block_align : parameters.ch_layout.nb_channels * bits / 8;
}

AVRational samplesOf(const AVCodecParameters& parameters) { return AVRational{1, std::max(parameters.sample_rate, 1)}; }

class PcmSlice : public AudioTrim {
public:
    explicit PcmSlice(int frameBytes) : frameBytes_(frameBytes) {}
    bool cutsToTheSample() const override { return true; }
    Cut cut(PacketPtr& packet, int64_t front, int64_t back, Error*) override
    {
        const int64_t count = packet->size / frameBytes_;
        if (front + back >= count)
            return Cut::Dropped;
        packet->data += front * frameBytes_;
        packet->size = int((count - front - back) * frameBytes_);
        return Cut::Kept;
    }

private:
    int frameBytes_;
};

class FlacReframe : public AudioTrim {
public:
    explicit FlacReframe(const AVCodecParameters& parameters) : reframer_(parameters) {}
    bool cutsToTheSample() const override { return true; }
    Cut cut(PacketPtr& packet, int64_t front, int64_t back, Error* error) override
    {
        const int64_t count = FlacReframer::blockSize(packet->data, packet->size);
        if (count > 0 && front + back >= count)
            return Cut::Dropped;
        PacketPtr made = reframer_.frame(*packet, front, back, error);
        if (!made)
            return Cut::Failed;
        // The new frame carries the updated stream description as side data: only the timing is taken over.
        made->pts = packet->pts;
        made->dts = packet->dts;
        made->duration = packet->duration;
        made->stream_index = packet->stream_index;
        packet = std::move(made);
        return Cut::Kept;
    }

private:
    FlacReframer reframer_;
};

// Players that read an MP3 file's encoder delay and padding skip the lead-in and the end's overhang.
class Mp3Skip : public AudioTrim {
public:
    explicit Mp3Skip(const AVCodecParameters& parameters) : frame_(std::max(parameters.frame_size, 576)) {}
    // As many whole frames as the Info header's 12-bit delay (with the decoder's own 529 samples) can
    // skip besides the part of the frame the start is in: a frame's data may begin up to 511 bytes
    // back in the frames before it, and its first samples overlap the previous frame's.
    int64_t leadInSamples() const override { return int64_t((kMaxSkip - frame_ + 1) / frame_) * frame_; }
    void hideStart(AVPacket& packet, int64_t samples) override { skip(packet, samples, 0); }
    bool hidesEnd() const override { return true; }
    void hideEnd(AVPacket& packet, int64_t samples) override { skip(packet, -1, samples); }

private:
    static constexpr int kMaxSkip = 4095 + 529;
    static void skip(AVPacket& packet, int64_t front, int64_t back)
    {
        size_t size = 0;
        uint8_t* data = av_packet_get_side_data(&packet, AV_PKT_DATA_SKIP_SAMPLES, &size);
        if (!data || size < 10)
            data = av_packet_new_side_data(&packet, AV_PKT_DATA_SKIP_SAMPLES, 10);
        if (!data)
            return;
        if (front >= 0)
            AV_WL32(data, uint32_t(front));
        if (back >= 0)
            AV_WL32(data + 4, uint32_t(back));
    }
    int frame_;
};

// The end of an Ogg stream is its last granule position: the last packet ends at the last kept sample.
class OggEnd : public AudioTrim {
public:
    OggEnd(const AVCodecParameters& parameters, AVRational timeBase) : samples_(samplesOf(parameters)), timeBase_(timeBase) {}
    bool hidesEnd() const override { return true; }
    void hideEnd(AVPacket& packet, int64_t samples) override
    {
        // The muxer's last granule follows the last packet's duration.
        packet.duration = std::max<int64_t>(packet.duration - av_rescale_q(samples, samples_, timeBase_), 1);
    }

private:
    AVRational samples_, timeBase_;
};

class OggOpusPreSkip : public OggEnd {
public:
    using OggEnd::OggEnd;
    int64_t leadInSamples() const override { return 80 * 48; } // Opus decoders settle within 80 ms
    void hideStart(AVPacket&, int64_t samples) override { preSkip_ = int(std::clamp<int64_t>(samples, 0, 0xFFFF)); }
    bool finish(const QString& path, Error* error) override { return preSkip_ < 0 || OggOpusHead::setPreSkip(path, preSkip_, error); }

private:
    int preSkip_ = -1;
};

class OggVorbisPrimer : public OggEnd {
public:
    using OggEnd::OggEnd;
    bool beginsWithPrimer() const override { return true; }
};

// MPEG-4: the track's edit hides one packet of lead-in before time zero, and the end.
class Mp4Edit : public AudioTrim {
public:
    explicit Mp4Edit(const AVCodecParameters& parameters) : frame_(parameters.frame_size > 0 ? parameters.frame_size : 1024) {}
    int64_t leadInSamples() const override { return frame_; }
    bool leadInBeforeZero() const override { return true; }
    bool hidesEnd() const override { return true; }

private:
    int frame_;
};

class WholePackets : public AudioTrim {};

} // namespace

AudioTrim::Cut AudioTrim::cut(PacketPtr&, int64_t, int64_t, Error*) { return Cut::Kept; }

std::unique_ptr<AudioTrim> AudioTrim::make(MediaFileType fileType, const AVCodecParameters& parameters, AVRational timeBase)
{
    if (const int frameBytes = pcmFrameBytes(parameters); frameBytes > 0)
        return std::make_unique<PcmSlice>(frameBytes);
    const AVCodecID codec = parameters.codec_id;
    if (fileType == MediaFileType::FLAC && codec == AV_CODEC_ID_FLAC)
        return std::make_unique<FlacReframe>(parameters);
    if (fileType == MediaFileType::MP3 && codec == AV_CODEC_ID_MP3)
        return std::make_unique<Mp3Skip>(parameters);
    if (fileType == MediaFileType::Ogg && codec == AV_CODEC_ID_OPUS)
        return std::make_unique<OggOpusPreSkip>(parameters, timeBase);
    if (fileType == MediaFileType::Ogg && codec == AV_CODEC_ID_VORBIS)
        return std::make_unique<OggVorbisPrimer>(parameters, timeBase);
    if (ContainerTraitsTable::of(fileType).editLists)
        return std::make_unique<Mp4Edit>(parameters);
    return std::make_unique<WholePackets>();
}
