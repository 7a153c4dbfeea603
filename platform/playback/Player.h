// Plays an asset in the engine's exact time: the upright, square-pixel frame on screen, the sound of
// every audio track mixed as the export mixes it, a current time that is a CMTime. Seeks with zero
// tolerances show the frame whose presentation interval contains the time and keep that exact time
// while paused; other seeks may show a frame before the time (the keyframe's), and then, paused, the
// current time becomes that frame's, so that what is shown and what is told agree. Targets outside the
// asset are clamped (0; the end, showing the last frame). While playing, the sound's clock drives the
// pictures: a frame is shown when due and frames that are late are dropped (and counted); without an
// audio output the system clock stands in, said once in the log. The audio output is made when the
// player is ready and told the format it will play (AudioOutput::prepare), so the first play starts
// at once. The clock never runs backwards while
// playing (a sound server's report of what was played may), and a pause stops on the frame on screen:
// picture, current time (that frame's start) and every observer then name one frame. At the end playback stops on the last
// frame; a stream that turns out damaged stops playback with an error (status Failed).
//
// Main thread only: every call, callback and signal. Decoding runs on two worker threads with small
// bounded queues; destroying the player stops them at once. A file given by name is opened on a thread
// of the player's own, which the player waits for when destroyed.
#pragma once

#include "AudioOutput.h"
#include "CMTime.h"
#include "Error.h"
#include "PlaybackFrame.h"

#include <QElapsedTimer>
#include <QObject>
#include <QThreadPool>

#include <functional>
#include <map>
#include <memory>
#include <optional>

class AudioDecodeWorker;
class MediaAsset;
class QTimer;
class VideoDecodeWorker;

class Player : public QObject {
    Q_OBJECT
public:
    enum class Status { Loading, ReadyToPlay, Failed };

    // Opens the file on a worker thread; the status leaves Loading on the main thread.
    explicit Player(const QString& path, QObject* parent = nullptr);
    explicit Player(std::shared_ptr<const MediaAsset> asset, QObject* parent = nullptr);
    ~Player() override;

    // The output new players play through (the application sets Qt Multimedia's); none by default.
    static void setAudioOutputFactory(AudioOutputFactory factory);

    Status status() const { return status_; }
    const Error& error() const { return error_; }
    const std::shared_ptr<const MediaAsset>& asset() const { return asset_; }
    CMTime duration() const;
    bool hasVideo() const { return video_ != nullptr; }
    CMTime currentTime() const;
    float rate() const { return playing_ ? 1.0f : 0.0f; }
    void play();
    void pause();
    // The completion (if any) gets true once the frame for this seek is on screen, false when a later
    // seek replaced it.
    void seekToTime(CMTime time, CMTime toleranceBefore, CMTime toleranceAfter, std::function<void(bool)> completion = {});
    void seekToTime(CMTime time) { seekToTime(time, kCMTimeZero, kCMTimeZero); }
    // An exact seek that, paused, then stands at the start of the frame it shows (the time edits use is
    // then the picture's, not a moment inside it). Playing, it is an exact seek.
    void seekToFrameStart(CMTime time, std::function<void(bool)> completion = {});
    // seekToFrameStart for scrubbing: the keyframe before the time is shown at once when it is nearer
    // than the frame on screen (a stand-in, the current time already the target's), then the exact
    // frame as soon as it is decoded. A scrub a
    // little further on while decoding goes on from there; the completion is the exact frame's.
    void scrubToFrameStart(CMTime time, std::function<void(bool)> completion = {});

    // The frame on screen (an empty image before the first one and for audio-only assets).
    const PlaybackFrame& currentFrame() const { return frame_; }
    int droppedFrameCount() const { return dropped_; }
    bool usesSystemClock() const { return !audioOutput_; }

    // The callback runs every interval of playback and after each seek, play and pause. A callback may
    // add and remove observers, itself included.
    int addPeriodicTimeObserver(CMTime interval, std::function<void(CMTime)> callback);
    void removeTimeObserver(int token);

signals:
    void statusChanged();
    void frameChanged(); // a new frame is on screen
    void rateChanged();  // playing started or stopped

private:
    void becomeReady(std::shared_ptr<const MediaAsset> asset);
    void fail(const Error& error);
    void tick();
    void showFrame(PlaybackFrame frame);
    // The format the output plays this source in, making the output on first use; none without audio
    // or without an output.
    std::optional<PcmFormat> audioFormat();
    void startAudio(CMTime from);
    void stopAudio();
    CMTime clockTime() const;
    void notifyObservers();
    void callObservers(const std::vector<int>& tokens, CMTime now);
    void finishSeek(bool finished);
    void startSeek(CMTime time, bool exact, bool preview, std::function<void(bool)> completion);
    void onWorkerNews();

    std::shared_ptr<const MediaAsset> asset_;
    Status status_ = Status::Loading;
    Error error_;
    std::unique_ptr<VideoDecodeWorker> video_;
    std::unique_ptr<AudioDecodeWorker> audio_;
    std::unique_ptr<AudioOutput> audioOutput_;
    QTimer* timer_ = nullptr;
    QElapsedTimer systemClock_;
    bool playing_ = false;
    CMTime anchor_ = kCMTimeZero;               // the time playback started from, or the time shown while paused
    mutable CMTime lastClock_ = kCMTimeInvalid; // the latest time told while playing; the clock never goes below it
    PlaybackFrame frame_;
    bool seeking_ = false;          // the frame for the latest seek is not on screen yet
    bool snapToFrame_ = false;      // the latest seek stands at the start of the frame it shows
    bool landOnShownFrame_ = false; // a tolerant seek: the time becomes that of the frame it shows
    std::function<void(bool)> seekCompletion_;
    int dropped_ = 0;
    struct Observer {
        CMTime interval;
        std::function<void(CMTime)> callback;
        double nextDue = 0; // seconds of playback
    };
    std::map<int, Observer> observers_;
    int nextObserver_ = 1;
    QThreadPool opener_; // opens a file given by name; destroyed first, it waits for the open
};
