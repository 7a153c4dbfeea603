#include "PictureScaler.h"

bool PictureScaler::scale(const AVFrame& frame, int width, int height, AVPixelFormat format, uint8_t* const planes[], const int strides[])
{
    context_.reset(sws_getCachedContext(context_.release(), frame.width, frame.height, AVPixelFormat(frame.format), width, height, format,
                                        SWS_BICUBIC, nullptr, nullptr, nullptr));
    return context_ && sws_scale(context_.get(), frame.data, frame.linesize, 0, frame.height, planes, strides) >= 0;
}
