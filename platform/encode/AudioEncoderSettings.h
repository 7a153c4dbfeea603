// What an audio encoder of the media layer is asked to make: the libavcodec encoder's name, the rate,
// the channels (and their speaker positions, 0 for the default order), the bit rate and, for lossless
// encoders, the bits per sample to store (16 or 24; 0 leaves it to the encoder). A plain value.
#pragma once

#include <QString>

#include <cstdint>

struct AudioEncoderSettings {
    QString encoderName = QStringLiteral("aac");
    int sampleRate = 44100;
    int channelCount = 2;
    uint64_t channelLayoutMask = 0;
    int64_t bitRate = 128000;
    int bitsPerSample = 0;
};
