// Writes a media file through libavformat from inputs: an audio input with output settings encodes
// PCM (AAC by default), a packet input takes encoded packets as they are (copied tracks, or a video
// encoder's output; those inputs are made inside the media layer, through WriterStream). Inputs are fed from their own threads; each asks
// isReadyForMoreMediaData() (or waits in waitUntilReady()) so that no input runs more than a second ahead of the others and the muxer's
// interleaving stays small. Two or more audio inputs form one alternate group; the first track of each kind is the default (see
// DefaultTracks). Metadata items (common keys) and artwork are written with the file.
//
// Failures (the muxer refusing a stream, a full disk, a file-size limit) make the writer Failed with
// the library's message; cancelWriting() or a failure removes the file that was begun.
#pragma once

#include "AudioEncoderSettings.h"
#include "Error.h"
#include "MediaFileType.h"
#include "MediaTypes.h"
#include "SampleBuffer.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

class AudioEncoder;
class MediaWriter;
struct WriterStream;

class WriterInput {
public:
    ~WriterInput();
    MediaType mediaType() const { return mediaType_; }
    bool isReadyForMoreMediaData() const;
    // Blocks until the input is ready, the writer stopped, or the flag is set; returns whether it is ready.
    bool waitUntilReady(const std::atomic<bool>& cancelled) const;
    // PCM for an encoding input; a packet buffer for a packet input.
    bool append(SampleBuffer& buffer, Error* error);
    // No more data: an encoding input encodes what it holds.
    bool markAsFinished(Error* error);
    // The stream's place in the file (MPEG-4 track ID − 1); −1 before startWriting().
    int streamIndex() const { return streamIndex_; }
    // Keeps what a packet input is given in an order the file can hold: video packets that would not
    // decode after the last one written are moved a tick later where that keeps them before their
    // presentation, else left out (a damaged or reordered source); an audio packet that begins
    // before the last one ends is left out; a subtitle cue is cut to begin where the last one ends.
    void guardOrder() { guarded_ = true; }
    // Packets left out by the guard.
    int droppedPackets() const { return dropped_; }

private:
    friend class MediaWriter;
    friend struct WriterStream;
    WriterInput(MediaWriter& writer, MediaType type);

    MediaWriter& writer_;
    MediaType mediaType_;
    int streamIndex_ = -1;
    std::unique_ptr<AudioEncoder> encoder_;
    AudioEncoderSettings encoderSettings_;
    std::unique_ptr<WriterStream> stream_;
    double lastTime_ = -1e300; // seconds of the last packet written
    bool finished_ = false;
    bool guarded_ = false;
    int dropped_ = 0;
};

class MediaWriter {
public:
    enum class Status { Unknown, Writing, Completed, Failed, Cancelled };

    MediaWriter(QString path, MediaFileType fileType);
    ~MediaWriter();

    WriterInput* addAudioEncoderInput(const AudioEncoderSettings& settings);
    // The media layer's copiers and encoders add their packet inputs through WriterStream.
    void setMetadata(std::vector<MetadataItem> items) { metadata_ = std::move(items); }
    // Chapters in output time, for the containers that hold them (MPEG-4 and QuickTime as a chapter
    // list and text track, FLAC as CHAPTERnnn comments); other containers leave them out.
    void setChapters(std::vector<MediaChapter> chapters) { chapters_ = std::move(chapters); }
    // An option of the muxer, given when the header is written ("use_editlist" = "1").
    void setMuxerOption(const QString& key, const QString& value) { muxerOptions_.emplace_back(key, value); }
    // The track's language (ISO 639-2), written with the file.
    void setLanguage(WriterInput* input, const QString& languageCode) { languages_.emplace_back(input, languageCode); }
    // Whether files of the type can hold a track of the codec (the media layer's codec name).
    static bool canHold(MediaFileType fileType, const QString& codecName);
    // The samples a copied track's decoders drop at its start, as the new file states them.
    void setInitialPadding(WriterInput* input, int samples);
    // "hvc1" for HEVC in MPEG-4, so that every player recognises it.
    void setCodecTag(WriterInput* input, uint32_t tag);

    bool startWriting(Error* error);
    bool finishWriting(Error* error);
    void cancelWriting();
    Status status() const { return status_; }
    Error error() const;
    const QString& path() const { return path_; }

private:
    friend class WriterInput;
    friend struct WriterStream;
    WriterInput* addInput(MediaType type);
    bool writeArtwork(Error* error);
    bool fail(const Error& error, Error* out);
    bool ready(const WriterInput& input) const; // caller holds mutex_

    QString path_;
    MediaFileType fileType_;
    struct Context;
    std::unique_ptr<Context> context_;
    std::vector<std::unique_ptr<WriterInput>> inputs_;
    std::vector<MetadataItem> metadata_;
    std::vector<MediaChapter> chapters_;
    std::vector<std::pair<WriterInput*, uint32_t>> codecTags_;
    std::vector<std::pair<QString, QString>> muxerOptions_;
    std::vector<std::pair<WriterInput*, QString>> languages_;
    mutable std::mutex mutex_;
    mutable std::condition_variable progress_;
    std::atomic<Status> status_{Status::Unknown};
    Error error_;
    bool fileBegun_ = false;
};
