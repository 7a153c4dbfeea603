// Decodes one stream of a demuxer: owns the codec context and the send/receive exchange with
// libavcodec. Single-threaded use (the owner's thread); libavcodec may use its own worker threads
// inside. open() fails with an Error naming the codec when no decoder exists or it cannot start.
#pragma once

#include "Error.h"
#include "FFmpegPtr.h"

class StreamDecoder {
public:
    enum class Status { Frame, NeedsInput, EndOfStream, Failed };
    enum class SendResult { Accepted, Full, Failed };

    // threads: 0 lets libavcodec choose.
    bool open(const AVStream* stream, int threads, Error* error);
    AVCodecContext* context() const { return ctx_.get(); }

    // Hands one packet to the decoder; nullptr starts draining. Full means: receive frames, then send the
    // same packet again. A damaged packet is dropped and counts as accepted (the decoder conceals it).
    SendResult send(const AVPacket* packet, Error* error);
    Status receive(AVFrame* frame, Error* error);
    // Forgets buffered data after a seek.
    void flush();

private:
    CodecContextPtr ctx_;
};
