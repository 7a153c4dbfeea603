// A writer input for the packets of a reader's copied track (CompositionReader::addTrackOutput), with
// everything that track's stream says of itself: codec parameters, display matrix, tags and
// disposition. Null for any other kind of output. Called before the writer starts, on the thread that
// sets up the export.
#pragma once

class MediaWriter;
class ReaderOutput;
class WriterInput;

namespace CopiedTrackInput {
WriterInput* add(MediaWriter& writer, const ReaderOutput& copiedTrack);
}
