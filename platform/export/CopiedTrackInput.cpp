#include "CopiedTrackInput.h"

#include "TrackOutput.h"
#include "WriterStream.h"

namespace CopiedTrackInput {

WriterInput* add(MediaWriter& writer, const ReaderOutput& copiedTrack)
{
    const auto* source = dynamic_cast<const TrackOutput*>(&copiedTrack);
    if (!source || !source->stream())
        return nullptr;
    const AVMediaType kind = source->stream()->codecpar->codec_type;
    const MediaType type = kind == AVMEDIA_TYPE_VIDEO      ? MediaType::Video
                           : kind == AVMEDIA_TYPE_AUDIO    ? MediaType::Audio
                           : kind == AVMEDIA_TYPE_SUBTITLE ? MediaType::Subtitle
                                                           : MediaType::TimedMetadata;
    return WriterStream::addStreamCopyInput(writer, type, *source->stream());
}

} // namespace CopiedTrackInput
