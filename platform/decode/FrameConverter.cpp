#include "FrameConverter.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <cmath>

namespace {

int sign(double v) { return v > 0.5 ? 1 : (v < -0.5 ? -1 : 0); }

// dst(x', y') = src(x, y) with x' = a·x + c·y + tx, y' = b·x + d·y + ty, for one 8-bit plane.
void turnPlane(const uint8_t* src, int srcStride, int width, int height, uint8_t* dst, int dstStride, int a, int b, int c, int d)
{
    const int tx = (a < 0 ? width - 1 : 0) + (c < 0 ? height - 1 : 0);
    const int ty = (b < 0 ? width - 1 : 0) + (d < 0 ? height - 1 : 0);
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = src + size_t(y) * srcStride;
        for (int x = 0; x < width; ++x)
            dst[size_t(b * x + d * y + ty) * dstStride + (a * x + c * y + tx)] = row[x];
    }
}

} // namespace

FrameConverter::FrameConverter(QSize outputSize, const QTransform& transform, AVPixelFormat format)
    : outputSize_(outputSize), a_(sign(transform.m11())), b_(sign(transform.m12())), c_(sign(transform.m21())), d_(sign(transform.m22())),
      format_(format)
{
    if (a_ * d_ - b_ * c_ == 0) // not a quarter turn or mirror: keep the picture as stored
        a_ = d_ = 1, b_ = c_ = 0;
}

FramePtr FrameConverter::convert(FramePtr frame, Error* error)
{
    const bool turned = b_ != 0; // a quarter turn exchanges width and height
    const int scaledWidth = turned ? outputSize_.height() : outputSize_.width();
    const int scaledHeight = turned ? outputSize_.width() : outputSize_.height();
    const bool identity = a_ == 1 && d_ == 1 && b_ == 0 && c_ == 0;
    if (identity && frame->format == format_ && frame->width == scaledWidth && frame->height == scaledHeight)
        return frame;

    FramePtr scaled = makeFrame();
    scaled->format = format_;
    scaled->width = scaledWidth;
    scaled->height = scaledHeight;
    int ret = av_frame_get_buffer(scaled.get(), 0);
    if (ret >= 0 && !scaler_.scale(*frame, scaledWidth, scaledHeight, format_, scaled->data, scaled->linesize))
        ret = AVERROR(EINVAL);
    if (ret < 0) {
        setError(error, mediaError(ret, QStringLiteral("Cannot convert the picture")));
        return nullptr;
    }
    av_frame_copy_props(scaled.get(), frame.get());
    if (identity)
        return scaled;

    FramePtr upright = makeFrame();
    upright->format = format_;
    upright->width = outputSize_.width();
    upright->height = outputSize_.height();
    ret = av_frame_get_buffer(upright.get(), 0);
    if (ret < 0) {
        setError(error, mediaError(ret, QStringLiteral("Cannot turn the picture")));
        return nullptr;
    }
    av_frame_copy_props(upright.get(), scaled.get());
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format_);
    for (int plane = 0; plane < av_pix_fmt_count_planes(format_); ++plane) {
        const bool chroma = plane == 1 || plane == 2;
        const int w = chroma ? AV_CEIL_RSHIFT(scaledWidth, descriptor->log2_chroma_w) : scaledWidth;
        const int h = chroma ? AV_CEIL_RSHIFT(scaledHeight, descriptor->log2_chroma_h) : scaledHeight;
        turnPlane(scaled->data[plane], scaled->linesize[plane], w, h, upright->data[plane], upright->linesize[plane], a_, b_, c_, d_);
    }
    return upright;
}
