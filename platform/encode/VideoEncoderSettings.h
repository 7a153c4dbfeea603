// What the preset hooks choose for the video encoder: the codec by its four-character code and the
// profile. The encoder reads them when it is created, with the rest of its options. Plain values.
#pragma once

#include <QSize>
#include <QString>

#include <cstdint>

constexpr uint32_t fourCharCode(const char (&code)[5])
{
    return uint32_t(uint8_t(code[0])) << 24 | uint32_t(uint8_t(code[1])) << 16 | uint32_t(uint8_t(code[2])) << 8 |
           uint32_t(uint8_t(code[3]));
}

struct VideoEncoderSettings {
    uint32_t codecType = 0; // 'avc1' or 'hvc1'
    QString profile;        // "high", "baseline" (H.264), "main" (HEVC)
};

struct VideoEncoderOptions {
    QSize size;
    VideoEncoderSettings settings;
    QString preset = QStringLiteral("medium");
    int crf = -1;            // −1: the codec's default (x264 18, x265 20)
    int timeBaseDen = 90000; // packets and frames are stamped in 1/timeBaseDen s
    double frameRate = 30;   // a hint for rate control; frames keep their own times
    bool globalHeader = true;
};
