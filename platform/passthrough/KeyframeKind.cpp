#include "KeyframeKind.h"

#include <cstdint>

extern "C" {
#include <libavcodec/codec_desc.h>
}

namespace {

constexpr int kH264NonIdrSlice = 1, kH264PartitionA = 2, kH264Idr = 5;
constexpr int kHevcBlaWithLeading = 16, kHevcCra = 21, kHevcLastVcl = 31;

// Calls visit(pointer to the header of each NAL unit) until it returns false. The units are
// length-prefixed when the codec's configuration record says so (first byte 1), else separated by
// start codes.
template <typename Visit> void forEachNalUnit(uint8_t* data, int size, const AVCodecParameters& parameters, Visit visit)
{
    const uint8_t* extra = parameters.extradata;
    const int recordSize = parameters.codec_id == AV_CODEC_ID_HEVC ? 23 : 5;
    if (extra && parameters.extradata_size >= recordSize && extra[0] == 1) {
        // avcC keeps the length size at byte 4, hvcC at byte 21.
        const int lengthSize = ((parameters.codec_id == AV_CODEC_ID_HEVC ? extra[21] : extra[4]) & 3) + 1;
        for (int at = 0; at + lengthSize < size;) {
            uint32_t length = 0;
            for (int i = 0; i < lengthSize; ++i)
                length = length << 8 | data[at + i];
            at += lengthSize;
            if (length == 0 || length > uint32_t(size - at) || !visit(data + at))
                return;
            at += int(length);
        }
        return;
    }
    for (int at = 0; at + 3 < size; ++at)
        if (data[at] == 0 && data[at + 1] == 0 && data[at + 2] == 1 && !visit(data + at + 3))
            return;
}

int hevcType(const uint8_t* header) { return (header[0] >> 1) & 0x3f; }

} // namespace

bool everyPictureIsKeyframe(AVCodecID codec)
{
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(codec);
    return descriptor && (descriptor->props & AV_CODEC_PROP_INTRA_ONLY);
}

KeyframeKind keyframeKind(const AVPacket& keyframe, const AVCodecParameters& parameters)
{
    if (!keyframe.data || (parameters.codec_id != AV_CODEC_ID_H264 && parameters.codec_id != AV_CODEC_ID_HEVC))
        return KeyframeKind::Clean;
    KeyframeKind kind = KeyframeKind::Clean;
    // The picture's first slice decides; parameter sets, SEI and delimiters before it do not.
    forEachNalUnit(keyframe.data, keyframe.size, parameters, [&](const uint8_t* header) {
        if (parameters.codec_id == AV_CODEC_ID_H264) {
            const int type = header[0] & 0x1f;
            if (type != kH264NonIdrSlice && type != kH264PartitionA && type != kH264Idr)
                return true;
            if (type != kH264Idr)
                kind = KeyframeKind::OpenH264;
            return false;
        }
        const int type = hevcType(header);
        if (type > kHevcLastVcl)
            return true;
        if (type == kHevcCra)
            kind = KeyframeKind::OpenHevc;
        return false;
    });
    return kind;
}

bool markAsSpliceStart(AVPacket& keyframe, const AVCodecParameters& parameters)
{
    if (parameters.codec_id != AV_CODEC_ID_HEVC)
        return true;
    if (av_packet_make_writable(&keyframe) < 0)
        return false;
    forEachNalUnit(keyframe.data, keyframe.size, parameters, [](uint8_t* header) {
        if (hevcType(header) == kHevcCra)
            header[0] = uint8_t((header[0] & 0x81) | (kHevcBlaWithLeading << 1));
        return true;
    });
    return true;
}
