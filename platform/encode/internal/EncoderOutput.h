// Taking everything an encoder has ready: packets are received until it needs more input (or has
// ended) and handed to the handler one by one. Shared by the audio and the video encoder.
#pragma once

#include "Error.h"
#include "FFmpegPtr.h"

#include <functional>

inline bool receiveEncodedPackets(AVCodecContext* codec, const std::function<bool(PacketPtr, Error*)>& handler, const QString& failure,
                                  Error* error)
{
    for (;;) {
        PacketPtr packet = makePacket();
        const int ret = avcodec_receive_packet(codec, packet.get());
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
            return true;
        if (ret < 0) {
            setError(error, mediaError(ret, failure));
            return false;
        }
        if (!handler(std::move(packet), error))
            return false;
    }
}
