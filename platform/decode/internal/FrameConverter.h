// Brings decoded pictures to the size, pixel format and orientation they are written with: scales
// with libswscale (pixel aspect and size in one step) and turns by quarter turns (and mirrors) as the
// transform says. A picture that already fits is passed on untouched. One thread at a time.
#pragma once

#include "Error.h"
#include "FFmpegPtr.h"
#include "PictureScaler.h"

#include <QSize>
#include <QTransform>

class FrameConverter {
public:
    // The upright output size, the transform that turns the stored picture upright, the pixel format.
    FrameConverter(QSize outputSize, const QTransform& transform, AVPixelFormat format = AV_PIX_FMT_YUV420P);
    FramePtr convert(FramePtr frame, Error* error);

private:
    QSize outputSize_;
    int a_, b_, c_, d_; // the quarter-turn matrix, entries −1, 0 or 1
    AVPixelFormat format_;
    PictureScaler scaler_;
};
