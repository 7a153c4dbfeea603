// What an audio encoder of the media layer is asked to make: the libavcodec encoder's name, the rate,
// the channels (and their speaker positions, 0 for the default order) and the bit rate. A plain value.
#pragma once

#include <QString>

#include <cstdint>

struct AudioEncoderSettings {
    QString encoderName = QStringLiteral("aac");
    int sampleRate = 44100;
    int channelCount = 2;
    uint64_t channelLayoutMask = 0;
    int64_t bitRate = 128000;
};
