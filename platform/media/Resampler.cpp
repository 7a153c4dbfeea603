#include "Resampler.h"

void assignChannelLayout(ChannelLayout& layout, const PcmFormat& format)
{
    av_channel_layout_uninit(&layout.layout);
    if (!format.channelLayoutMask || av_channel_layout_from_mask(&layout.layout, format.channelLayoutMask) < 0 ||
        layout.layout.nb_channels != format.channelCount)
        av_channel_layout_default(&layout.layout, format.channelCount);
}

AVSampleFormat sampleFormat(PcmFormat::Sample sample)
{
    switch (sample) {
    case PcmFormat::Sample::Int16:
        return AV_SAMPLE_FMT_S16;
    case PcmFormat::Sample::Int32:
        return AV_SAMPLE_FMT_S32;
    case PcmFormat::Sample::Float32:
        break;
    }
    return AV_SAMPLE_FMT_FLT;
}

SwrContextPtr makeResampler(const AVChannelLayout& outLayout, AVSampleFormat outFormat, int outRate, const AVChannelLayout& inLayout,
                            AVSampleFormat inFormat, int inRate, const QString& failure, Error* error)
{
    SwrContext* raw = nullptr;
    // The library reads the layouts only; its declaration lacks the const.
    int ret = swr_alloc_set_opts2(&raw, const_cast<AVChannelLayout*>(&outLayout), outFormat, outRate,
                                  const_cast<AVChannelLayout*>(&inLayout), inFormat, inRate, 0, nullptr);
    SwrContextPtr resampler(raw);
    if (ret >= 0)
        ret = swr_init(resampler.get());
    if (ret >= 0)
        return resampler;
    setError(error, mediaError(ret, failure));
    return nullptr;
}
