#include "AudioEncoderCapabilities.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace AudioEncoderCapabilities {

std::vector<Range> sampleRates(const QString& encoderName)
{
    const AVCodec* codec = avcodec_find_encoder_by_name(encoderName.toUtf8().constData());
    if (!codec || codec->type != AVMEDIA_TYPE_AUDIO)
        return {};
    if (!codec->supported_samplerates)
        return {{8000.0, 96000.0}};
    std::vector<Range> ranges;
    for (const int* rate = codec->supported_samplerates; *rate; ++rate)
        ranges.emplace_back(*rate, *rate);
    return ranges;
}

} // namespace AudioEncoderCapabilities
