#include "CopiedTrackInput.h"

#include "TrackOutput.h"
#include "WriterStream.h"

namespace CopiedTrackInput {

WriterInput* add(MediaWriter& writer, const ReaderOutput& copiedTrack)
{
    const auto* source = dynamic_cast<const TrackOutput*>(&copiedTrack);
    if (!source || !source->stream())
        return nullptr;
    return WriterStream::addStreamCopyInput(writer, source->mediaType(), *source->stream());
}

} // namespace CopiedTrackInput
