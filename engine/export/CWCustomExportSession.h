// The pull pipeline behind the encoders of the engine's own sessions (MP3, QOA, FLAC, Apple Lossless):
// reads the composition's audio as interleaved PCM (16-bit unless a subclass asks for the source's
// resolution) at the source's largest sample rate and channel count (the layout of the first track
// that reached that count) and hands every buffer to the
// subclass's hooks, one call at a time on the session's worker ("custom-export"). Progress is output
// time over the composition's length, reported on the main thread (the latest figure whenever the main
// thread takes it) ahead of the completion; a progress handler answering false cancels at a following
// buffer.
//
// Ends once: completed after finalizeExport(); failed (status 4) when a hook fails or the reader fails
// mid-way, with that error; cancelled (status 5). After a failure or cancellation closeOutput() lets
// the subclass release what it opened, and the working file is removed (the target is untouched).
#pragma once

#include "CWExportSession.h"
#include "MediaTypes.h"
#include "SampleBuffer.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <utility>

class CompositionReader;
class ReaderOutput;
class SerialQueue;

class CWCustomExportSession : public CWExportSession {
public:
    CWCustomExportSession(std::shared_ptr<CWExportProject> project, CWExportTarget target, std::shared_ptr<CWPreset> preset);
    ~CWCustomExportSession() override;
    void startExport(CWProgressHandler progress, CWCompletionHandler completion) override;

    // The format the hooks receive (valid once constructed).
    const PcmFormat& audioFormat() const { return audioFormat_; }

protected:
    virtual bool beginExport(Error*) { return true; }
    virtual bool exportAudioBuffer(PcmBuffer&, Error*) { return true; }
    virtual bool finalizeExport(Error*) { return true; }
    // Releases what beginExport opened when the export does not reach finalizeExport.
    virtual void closeOutput() {}
    // The source's values, which a subclass may narrow (MP3: at most two channels).
    virtual int sourceChannelCount() const { return source_.channelCount; }
    virtual int sourceSampleRate() const { return source_.sampleRate; }
    virtual uint64_t sourceChannelLayout() const { return source_.channelLayoutMask; }
    // The sample type the hooks receive; the lossless sessions keep the source's resolution.
    virtual PcmFormat::Sample sampleType() const { return PcmFormat::Sample::Int16; }
    int sourceBitsPerSample() const { return source_.bitsPerSample; }
    // The language every mixed track states; empty when they state none or differ.
    const QString& sourceLanguage() const { return source_.languageCode; }

private:
    void performCustomExport();
    // Reads the audio through the hooks; false with the error when a hook or the reader failed.
    bool transferAudio(Error* error);
    void updateWithProgress(double progress, CMTime time);
    void completeExport(std::optional<Error> error);

    CWProgressHandler progressHandler_;
    std::atomic<bool> cancelled_{false};
    // The latest progress for the main thread; while one report waits there, later ones only update it.
    std::mutex progressMutex_;
    std::pair<double, CMTime> pendingProgress_{0.0, kCMTimeZero};
    bool progressPosted_ = false;
    AudioMixFormat source_; // of the composition's audio tracks; at least 16 bits
    PcmFormat audioFormat_;
    CMTime totalDuration_ = kCMTimeZero;
    std::unique_ptr<CompositionReader> reader_;
    std::shared_ptr<ReaderOutput> audioOutput_;
    std::unique_ptr<SerialQueue> queue_;
};
