// The video re-encoding stage of an export: frames of a reader's video composition output in, H.264
// or HEVC packets out into an input of a MediaWriter. create() opens the encoder, adds the writer's
// input with the encoder's stream description and the codec's tag ('avc1', 'hvc1'), so it must run
// before MediaWriter::startWriting(). Every frame keeps its own time and duration; a frame without a
// time takes the end of the one before, a frame without a duration lasts until the next one starts
// (1/30 s when nothing tells). markAsFinished() drains the encoder into the file.
//
// One thread at a time (the thread that feeds the input). Failures come from the encoder or the writer
// with their messages; after one, the input takes nothing more. Owned by the session that exports; the
// writer outlives it.
#pragma once

#include "CMTime.h"
#include "Error.h"
#include "VideoEncoderSettings.h"

#include <memory>

class MediaWriter;
class SampleBuffer;
class WriterInput;

class VideoEncodingInput {
public:
    static std::unique_ptr<VideoEncodingInput> create(MediaWriter& writer, const VideoEncoderOptions& options, Error* error);
    ~VideoEncodingInput();

    // The writer's input, for readiness (isReadyForMoreMediaData, waitUntilReady).
    WriterInput& writerInput() const;
    // A video frame buffer of the reader; other buffers are ignored.
    bool append(SampleBuffer& frame, Error* error);
    bool markAsFinished(Error* error);
    // The end of the last frame taken (composition time).
    CMTime reachedTime() const;

private:
    struct Impl;
    explicit VideoEncodingInput(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};
