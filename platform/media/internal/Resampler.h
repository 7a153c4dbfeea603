// Setting up libswresample converters, the one way for every PCM conversion of the media layer (the
// audio reader's output format, the audio encoder's input): a PCM format's speaker layout and sample
// type in the library's terms, and a converter between two descriptions, initialised and ready.
// Media layer only (FFmpeg types). Plain functions, any thread.
#pragma once

#include "Error.h"
#include "FFmpegPtr.h"
#include "SampleBuffer.h"

// The format's speaker positions where its mask names channelCount channels, else the default order.
void assignChannelLayout(ChannelLayout& layout, const PcmFormat& format);
AVSampleFormat sampleFormat(PcmFormat::Sample sample);

// Null with "<failure>: <the library's message>" when the library refuses the conversion.
SwrContextPtr makeResampler(const AVChannelLayout& outLayout, AVSampleFormat outFormat, int outRate, const AVChannelLayout& inLayout,
                            AVSampleFormat inFormat, int inRate, const QString& failure, Error* error);
