#include "AudioFile.h"

#include "AudioTrackReader.h"
#include "MediaAsset.h"

#include <cstring>

AudioFile::AudioFile() : reader_(std::make_unique<AudioTrackReader>()) {}

AudioFile::~AudioFile() = default;

std::unique_ptr<AudioFile> AudioFile::openForReading(const QString& path, Error* error)
{
    return openForReading(path, kCMTimeRangeInvalid, error);
}

std::unique_ptr<AudioFile> AudioFile::openForReading(const QString& path, CMTimeRange range, Error* error)
{
    const std::shared_ptr<MediaAsset> asset = MediaAsset::open(path, error);
    if (!asset)
        return nullptr;
    const std::vector<MediaTrack> tracks = asset->tracksWithMediaType(MediaType::Audio);
    if (tracks.empty()) {
        setError(error, mediaLayerError(MediaLayerErrorCode::NotFound, QStringLiteral("\"%1\" has no audio track").arg(path)));
        return nullptr;
    }
    const MediaTrack& track = tracks.front();
    auto file = std::unique_ptr<AudioFile>(new AudioFile);
    file->format_.sampleRate = track.sampleRate;
    file->format_.channelCount = track.channelCount;
    file->format_.channelLayoutMask = track.channelLayoutMask;
    file->format_.sample = PcmFormat::Sample::Float32;
    const CMTimeRange part = CMTIMERANGE_IS_VALID(range) ? CMTimeRangeGetIntersection(range, track.timeRange) : track.timeRange;
    if (CMTIMERANGE_IS_VALID(range) && (!CMTIMERANGE_IS_VALID(part) || CMTIMERANGE_IS_EMPTY(part))) {
        setError(error,
                 mediaLayerError(MediaLayerErrorCode::InvalidArgument, QStringLiteral("%1 s to %2 s lies outside the audio of \"%3\".")
                                                                           .arg(CMTimeGetSeconds(range.start))
                                                                           .arg(CMTimeGetSeconds(CMTimeRangeGetEnd(range)))
                                                                           .arg(path)));
        return nullptr;
    }
    CompositionTrack whole;
    whole.mediaType = MediaType::Audio;
    if (!whole.insertTimeRange(part, track, kCMTimeZero, error) || !file->reader_->open(asset, whole, file->format_, error))
        return nullptr;
    file->length_ = CMTimeConvertScale(part.duration, track.sampleRate, kCMTimeRoundingMethod_RoundHalfAwayFromZero).value;
    return file;
}

int64_t AudioFile::read(std::vector<float>& out, int64_t maxFrames, Error* error)
{
    bytes_.clear();
    int64_t frames = 0;
    while (frames < maxFrames) {
        const int got = reader_->read(bytes_, int(std::min<int64_t>(maxFrames - frames, 1 << 24)), error);
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        frames += got;
    }
    out.resize(bytes_.size() / sizeof(float));
    std::memcpy(out.data(), bytes_.data(), out.size() * sizeof(float));
    return frames;
}
