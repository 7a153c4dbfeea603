// Converts decoded pictures to a size and pixel format through one libswscale context, cached between
// calls while the source and target stay the same (bicubic). Used by the image generator, the
// composition's video output and the player's video decoding. One thread at a time.
#pragma once

#include "FFmpegPtr.h"

class PictureScaler {
public:
    // Scales the frame into the planes given, of width × height in the format; false when the
    // conversion cannot be set up or fails.
    bool scale(const AVFrame& frame, int width, int height, AVPixelFormat format, uint8_t* const planes[], const int strides[]);

private:
    SwsContextPtr context_;
};
