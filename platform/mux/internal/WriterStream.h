// The stream a writer input writes, as only the media layer sees it: its codec parameters, what a
// copied track keeps of its source (side data such as the display matrix, tags such as language and
// handler name, disposition, the usual frame rate), the time base of the packets it is given, and the
// state of its order guard. Each WriterInput owns one.
//
// The static functions are how the media layer's copiers and encoders add packet inputs and hand
// them packets; they run on the input's feeding thread, and write() takes the writer's lock. Failures
// are the writer's (write() makes it Failed with the library's message). The writer's file context is
// defined here too, for the same few.
#pragma once

#include "Error.h"
#include "FFmpegPtr.h"
#include "MediaTypes.h"

#include <QByteArray>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "MediaWriter.h"

struct WriterStream {
    std::shared_ptr<AVCodecParameters> parameters;
    std::vector<std::pair<int, QByteArray>> sideData;
    std::vector<std::pair<QByteArray, QByteArray>> tags;
    int disposition = 0;
    AVRational frameRate{0, 1}; // a copied video stream's usual rate (Matroska's default duration)
    AVRational timeBase{1, 1};
    int64_t lastDts = INT64_MIN, lastEnd = INT64_MIN; // in the file's time base, for the guard

    // Packets of an encoder of the media layer (the parameters are copied), in the time base given.
    static WriterInput* addEncodedInput(MediaWriter& writer, MediaType type, const AVCodecParameters* parameters, AVRational timeBase);
    // Packets of a source stream copied as they are, with everything the stream says of itself.
    static WriterInput* addStreamCopyInput(MediaWriter& writer, MediaType type, const AVStream& source);
    // An open encoder's stream description, before startWriting().
    static void setParameters(WriterInput& input, const AVCodecContext& encoder);
    // Replaces an input's stream description (a copy whose pictures partly come from an encoder).
    static void setParameters(WriterInput& input, const AVCodecParameters& parameters);
    // Writes one packet of the input, its timestamps in the time base given.
    static bool write(WriterInput& input, AVPacket& packet, AVRational timeBase, Error* error);

    // The guard (WriterInput::guardOrder): false to leave the packet out.
    bool keepInOrder(AVPacket& packet, MediaType type);
};

// The file a writer makes, once startWriting() has begun it.
struct MediaWriter::Context {
    OutputFormatContextPtr format;
};
