#include "Player.h"

#include "AudioDecodeWorker.h"
#include "Log.h"
#include "MainQueue.h"
#include "MediaAsset.h"
#include "VideoDecodeWorker.h"

#include <QPointer>
#include <QTimer>

#include <cmath>

namespace {
AudioOutputFactory& outputFactory()
{
    static AudioOutputFactory factory;
    return factory;
}

void sayOnce(const QString& message)
{
    static bool said = false;
    if (!said)
        CWLog(message);
    said = true;
}
} // namespace

void Player::setAudioOutputFactory(AudioOutputFactory factory) { outputFactory() = std::move(factory); }

Player::Player(const QString& path, QObject* parent) : QObject(parent)
{
    QPointer<Player> self(this);
    opener_.start([self, path] {
        Error error;
        std::shared_ptr<const MediaAsset> asset = MediaAsset::open(path, &error);
        MainQueue::async([self, asset, error] {
            if (!self)
                return;
            if (asset)
                self->becomeReady(asset);
            else
                self->fail(error);
        });
    });
}

Player::Player(std::shared_ptr<const MediaAsset> asset, QObject* parent) : QObject(parent)
{
    QPointer<Player> self(this);
    MainQueue::async([self, asset] {
        if (self)
            self->becomeReady(asset);
    });
}

Player::~Player()
{
    // The output pulls from the audio worker: it stops first.
    if (audioOutput_)
        audioOutput_->stop();
    audioOutput_.reset();
    audio_.reset();
    video_.reset();
}

CMTime Player::duration() const { return asset_ ? asset_->duration() : kCMTimeInvalid; }

void Player::becomeReady(std::shared_ptr<const MediaAsset> asset)
{
    asset_ = std::move(asset);
    const auto videoTracks = asset_->tracksWithMediaType(MediaType::Video);
    if (videoTracks.empty() && asset_->tracksWithMediaType(MediaType::Audio).empty())
        return fail(
            mediaLayerError(MediaLayerErrorCode::NotFound, QStringLiteral("\"%1\" has no sound and no pictures.").arg(asset_->path())));
    timer_ = new QTimer(this);
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setInterval(4);
    connect(timer_, &QTimer::timeout, this, [this] { tick(); });
    if (!videoTracks.empty()) {
        QPointer<Player> self(this);
        video_ = std::make_unique<VideoDecodeWorker>(asset_, videoTracks.front().trackID, [self] {
            MainQueue::async([self] {
                if (self)
                    self->onWorkerNews();
            });
        });
        seeking_ = true;
        video_->seek(kCMTimeZero, true);
    }
    if (const auto format = audioFormat())
        audioOutput_->prepare(*format);
    status_ = Status::ReadyToPlay;
    emit statusChanged();
}

void Player::fail(const Error& error)
{
    const bool wasPlaying = playing_;
    playing_ = false;
    if (timer_)
        timer_->stop();
    stopAudio();
    error_ = error;
    status_ = Status::Failed;
    finishSeek(false);
    emit statusChanged();
    if (wasPlaying)
        emit rateChanged();
}

CMTime Player::clockTime() const
{
    if (!playing_)
        return anchor_;
    const int64_t micros = audioOutput_ ? audioOutput_->playedMicroseconds() : systemClock_.nsecsElapsed() / 1000;
    CMTime now = CMTimeMinimum(CMTimeAdd(anchor_, CMTimeMake(std::max<int64_t>(micros, 0), 1000000)), duration());
    // A sound server's count of what was played, less what it still buffers, can step back a little
    // (PulseAudio does): the clock holds still instead, so no picture is shown ahead of it.
    if (CMTIME_IS_NUMERIC(lastClock_))
        now = CMTimeMaximum(now, lastClock_);
    lastClock_ = now;
    return now;
}

CMTime Player::currentTime() const { return clockTime(); }

void Player::play()
{
    if (status_ != Status::ReadyToPlay || playing_)
        return;
    if (CMTimeCompare(anchor_, duration()) >= 0) // at the end: from the start again
        seekToTime(kCMTimeZero);
    playing_ = true;
    lastClock_ = kCMTimeInvalid;
    startAudio(anchor_);
    systemClock_.restart();
    timer_->start();
    emit rateChanged();
    notifyObservers();
}

void Player::pause()
{
    if (!playing_)
        return;
    const CMTime now = clockTime();
    // Paused, the time is the start of the frame on screen (the one edits act on, as after a click in
    // the strip), not a clock that may be inside or past it; at the end it stays the end, so that play
    // starts over.
    const bool atEnd = CMTimeCompare(now, duration()) >= 0;
    anchor_ = video_ && !atEnd && CMTIME_IS_NUMERIC(frame_.time) ? frame_.time : now;
    playing_ = false;
    timer_->stop();
    stopAudio();
    emit rateChanged();
    notifyObservers();
}

void Player::seekToTime(CMTime time, CMTime toleranceBefore, CMTime toleranceAfter, std::function<void(bool)> completion)
{
    const bool exact = CMTimeCompare(toleranceBefore, kCMTimeZero) == 0 && CMTimeCompare(toleranceAfter, kCMTimeZero) == 0;
    startSeek(time, exact, false, std::move(completion));
}

void Player::startSeek(CMTime time, bool exact, bool preview, std::function<void(bool)> completion)
{
    if (status_ != Status::ReadyToPlay || !CMTIME_IS_NUMERIC(time)) {
        if (completion)
            MainQueue::async([completion] { completion(false); });
        return;
    }
    finishSeek(false); // a seek still under way is replaced
    snapToFrame_ = false;
    landOnShownFrame_ = false;
    anchor_ = CMTimeMaximum(kCMTimeZero, CMTimeMinimum(time, duration()));
    lastClock_ = kCMTimeInvalid;
    seekCompletion_ = std::move(completion);
    if (playing_) {
        startAudio(anchor_);
        systemClock_.restart();
    }
    if (!video_) {
        QPointer<Player> self(this);
        MainQueue::async([self] {
            if (self)
                self->finishSeek(true);
        });
        return;
    }
    landOnShownFrame_ = !exact && !playing_;
    seeking_ = true;
    video_->seek(anchor_, exact, preview);
}

void Player::seekToFrameStart(CMTime time, std::function<void(bool)> completion)
{
    seekToTime(time, kCMTimeZero, kCMTimeZero, std::move(completion));
    snapToFrame_ = seeking_ && !playing_;
}

void Player::scrubToFrameStart(CMTime time, std::function<void(bool)> completion)
{
    startSeek(time, true, true, std::move(completion));
    snapToFrame_ = seeking_ && !playing_;
}

void Player::finishSeek(bool finished)
{
    seeking_ = false;
    if (auto completion = std::move(seekCompletion_)) {
        seekCompletion_ = nullptr;
        completion(finished);
    }
    if (finished)
        notifyObservers();
}

void Player::onWorkerNews()
{
    if (status_ != Status::ReadyToPlay)
        return;
    if (seeking_) {
        std::optional<PlaybackFrame> frame = video_->take();
        // A stand-in until the exact frame comes, when it is nearer the time than the frame on screen
        // (scrubbing forward, the keyframe behind would step back).
        const auto distance = [this](CMTime t) { return std::abs(CMTimeGetSeconds(CMTimeSubtract(anchor_, t))); };
        for (; frame && frame->preview; frame = video_->take())
            if (!CMTIME_IS_NUMERIC(frame_.time) || distance(frame->time) < distance(frame_.time))
                showFrame(std::move(*frame));
        if (frame) {
            showFrame(std::move(*frame));
            if (!playing_ && ((snapToFrame_ && frame_.shows(anchor_)) || landOnShownFrame_))
                anchor_ = frame_.time;
            snapToFrame_ = false;
            landOnShownFrame_ = false;
            finishSeek(true);
        } else if (video_->ended()) {
            if (const std::optional<Error> failure = video_->failure())
                return fail(*failure);
            finishSeek(true); // nothing to show there
        }
    }
    if (const std::optional<Error> failure = video_->failure())
        return fail(*failure);
    if (playing_)
        tick();
}

void Player::tick()
{
    if (!playing_)
        return;
    if (audio_) {
        if (const std::optional<Error> failure = audio_->failure())
            return fail(*failure);
    }
    const CMTime now = clockTime();
    const bool atEnd = CMTimeCompare(now, duration()) >= 0;
    if (video_ && !seeking_) {
        // The latest frame that is due; the ones it passes over came too late to be shown.
        std::optional<PlaybackFrame> due;
        while (std::optional<PlaybackFrame> next = video_->peek()) {
            if (!atEnd && CMTimeCompare(next->time, now) > 0)
                break;
            if (due && !atEnd)
                ++dropped_;
            due = video_->take();
        }
        if (due)
            showFrame(std::move(*due));
        if (const std::optional<Error> failure = video_->failure())
            return fail(*failure);
    }
    const double seconds = CMTimeGetSeconds(now);
    std::vector<int> due;
    for (const auto& [token, observer] : observers_)
        if (seconds + 1e-9 >= observer.nextDue)
            due.push_back(token);
    callObservers(due, now);
    // Stopped on the last frame (the clock stops at the end); a seek or play goes on from here.
    if (atEnd && (!video_ || video_->ended()))
        pause();
}

void Player::showFrame(PlaybackFrame frame)
{
    frame_ = std::move(frame);
    emit frameChanged();
}

std::optional<PcmFormat> Player::audioFormat()
{
    const auto tracks = asset_->tracksWithMediaType(MediaType::Audio);
    if (tracks.empty())
        return std::nullopt;
    const AudioMixFormat mix = audioMixFormat(tracks);
    if (!audioOutput_ && outputFactory())
        audioOutput_ = outputFactory()();
    if (!audioOutput_) {
        sayOnce(QStringLiteral("Player: no audio output; playing on the system clock"));
        return std::nullopt;
    }
    return audioOutput_->formatFor(mix.sampleRate > 0 ? mix.sampleRate : 48000, mix.channelCount > 0 ? mix.channelCount : 2);
}

void Player::startAudio(CMTime from)
{
    const auto wanted = audioFormat();
    if (!wanted)
        return;
    const PcmFormat format = *wanted;
    audioOutput_->stop();
    if (!audio_ || audio_->format().sampleRate != format.sampleRate || audio_->format().channelCount != format.channelCount)
        audio_ = std::make_unique<AudioDecodeWorker>(asset_, format);
    audio_->start(from);
    AudioDecodeWorker* worker = audio_.get();
    if (!audioOutput_->start(format, [worker](char* data, int64_t maxBytes) { return worker->read(data, maxBytes); })) {
        sayOnce(QStringLiteral("Player: no audio device; playing on the system clock"));
        audioOutput_.reset();
    }
}

void Player::stopAudio()
{
    if (audioOutput_)
        audioOutput_->stop();
}

int Player::addPeriodicTimeObserver(CMTime interval, std::function<void(CMTime)> callback)
{
    const int token = nextObserver_++;
    observers_[token] = Observer{interval, std::move(callback), 0};
    return token;
}

void Player::removeTimeObserver(int token) { observers_.erase(token); }

void Player::notifyObservers()
{
    std::vector<int> all;
    for (const auto& entry : observers_)
        all.push_back(entry.first);
    callObservers(all, clockTime());
}

void Player::callObservers(const std::vector<int>& tokens, CMTime now)
{
    // A callback may add or remove observers (itself too): each is looked up again before it is
    // called, and called through a copy.
    const double seconds = CMTimeGetSeconds(now);
    for (const int token : tokens) {
        const auto found = observers_.find(token);
        if (found == observers_.end())
            continue;
        const double interval = std::max(CMTimeGetSeconds(found->second.interval), 0.001);
        found->second.nextDue = (std::floor(seconds / interval + 1e-9) + 1) * interval;
        const std::function<void(CMTime)> callback = found->second.callback;
        callback(now);
    }
}
