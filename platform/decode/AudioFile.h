// The first audio track of a media file read from its start as 32-bit float samples at the track's own
// rate and channel count (the "processing format"), in consecutive chunks; what the waveform of an
// audio document is computed from. length() is the track's length in sample frames. Opened for a range,
// only that part of the track is read (a zoomed-in waveform), and length() is the range's.
//
// One thread at a time; open it where it is read. Fails with an Error (no audio track, damaged data).
#pragma once

#include "Error.h"
#include "SampleBuffer.h"

#include <memory>
#include <vector>

class AudioTrackReader;

class AudioFile {
public:
    ~AudioFile();
    static std::unique_ptr<AudioFile> openForReading(const QString& path, Error* error);
    // The part of the track within range (in the track's own time, cut to the track); an empty part
    // fails.
    static std::unique_ptr<AudioFile> openForReading(const QString& path, CMTimeRange range, Error* error);

    int channelCount() const { return format_.channelCount; }
    int sampleRate() const { return format_.sampleRate; }
    int64_t length() const { return length_; }
    // Reads maxFrames frames (fewer only at the end), interleaved, replacing the contents of out; returns
    // the frames read, 0 at the end, -1 on failure.
    int64_t read(std::vector<float>& out, int64_t maxFrames, Error* error);

private:
    AudioFile();
    std::unique_ptr<AudioTrackReader> reader_; // held by pointer: its header reaches FFmpeg's
    PcmFormat format_;
    int64_t length_ = 0;
    std::vector<uint8_t> bytes_;
};
