#include "ImageGenerator.h"

#include "MediaAsset.h"
#include "MediaInput.h"
#include "SerialQueue.h"
#include "StreamDecoder.h"

#include <cmath>

// Decoding state of one generator. Consecutive requests at increasing times in the same stretch between
// keyframes continue decoding where the previous one stopped instead of seeking again.
class ImageGenerator::Worker {
public:
    explicit Worker(std::shared_ptr<const MediaAsset> asset) : asset_(std::move(asset)) {}

    Result generate(CMTime time, const Settings& settings, const std::function<bool()>& cancelled, QImage& image,
                    CMTime& actualTime, Error* error);

private:
    bool ensureOpen(Error* error);
    bool seek(int64_t timestamp, Error* error);
    FramePtr nextFrame(int64_t skipBefore, Error* error);
    CMTime frameTime(const AVFrame* frame) const;
    QImage render(const AVFrame* frame, const Settings& settings, Error* error);

    std::shared_ptr<const MediaAsset> asset_;
    MediaTrack track_;
    InputFormatContextPtr input_;
    AVStream* stream_ = nullptr;
    StreamDecoder decoder_;
    PacketPtr packet_ = makePacket();
    SwsContextPtr scaler_;
    bool openAttempted_ = false;
    Error openError_;
    // current_: the last frame at or before the previous request; pending_: the first frame after it.
    FramePtr current_, pending_;
    bool endOfStream_ = false;
    bool draining_ = false;
    int64_t firstPacketDts_ = AV_NOPTS_VALUE;
};

bool ImageGenerator::Worker::ensureOpen(Error* error)
{
    if (openAttempted_) {
        if (!input_)
            setError(error, openError_);
        return input_ != nullptr;
    }
    openAttempted_ = true;
    const auto videoTracks = asset_->tracksWithMediaType(MediaType::Video);
    if (videoTracks.empty()) {
        openError_ = Error{kMediaErrorDomain, AVERROR_STREAM_NOT_FOUND,
                           QStringLiteral("\"%1\" has no video track.").arg(asset_->path()), {}, {}};
        setError(error, openError_);
        return false;
    }
    track_ = videoTracks.front();
    InputFormatContextPtr input = MediaInput::open(asset_->path(), false, &openError_);
    if (input && (track_.streamIndex >= int(input->nb_streams) ||
                  input->streams[track_.streamIndex]->codecpar->codec_type != AVMEDIA_TYPE_VIDEO)) {
        // Containers without a header (MPEG-TS) announce their streams only while probing.
        const int ret = avformat_find_stream_info(input.get(), nullptr);
        if (ret < 0 || track_.streamIndex >= int(input->nb_streams)) {
            openError_ = mediaError(ret < 0 ? ret : AVERROR_STREAM_NOT_FOUND, QStringLiteral("Cannot find the video stream"));
            input.reset();
        }
    }
    if (!input || !decoder_.open(input->streams[track_.streamIndex], 0, &openError_)) {
        setError(error, openError_);
        return false;
    }
    for (unsigned i = 0; i < input->nb_streams; ++i)
        input->streams[i]->discard = int(i) == track_.streamIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    stream_ = input->streams[track_.streamIndex];
    input_ = std::move(input);
    return true;
}

CMTime ImageGenerator::Worker::frameTime(const AVFrame* frame) const
{
    return CMTimeSubtract(MediaInput::timeFromTimestamp(frame->best_effort_timestamp, stream_->time_base),
                          asset_->startOffset());
}

bool ImageGenerator::Worker::seek(int64_t timestamp, Error* error)
{
    current_.reset();
    pending_.reset();
    endOfStream_ = false;
    draining_ = false;
    firstPacketDts_ = AV_NOPTS_VALUE;
    decoder_.flush();
    const int ret = av_seek_frame(input_.get(), stream_->index, timestamp, AVSEEK_FLAG_BACKWARD);
    if (ret < 0) {
        // Before the first keyframe, or a file without an index: start from the beginning.
        if (av_seek_frame(input_.get(), stream_->index, INT64_MIN, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY) < 0 &&
            avformat_seek_file(input_.get(), -1, INT64_MIN, 0, INT64_MAX, 0) < 0) {
            setError(error, mediaError(ret, QStringLiteral("Cannot seek in \"%1\"").arg(asset_->path())));
            return false;
        }
    }
    return true;
}

// The next frame in presentation order. Non-reference frames that end at or before skipBefore (a
// timestamp of the stream) are not needed for any later frame nor shown at the requested time, so the
// decoder may drop them unseen.
FramePtr ImageGenerator::Worker::nextFrame(int64_t skipBefore, Error* error)
{
    for (;;) {
        FramePtr frame = makeFrame();
        switch (decoder_.receive(frame.get(), error)) {
        case StreamDecoder::Status::Frame:
            return frame;
        case StreamDecoder::Status::EndOfStream:
        case StreamDecoder::Status::Failed:
            endOfStream_ = true;
            return nullptr;
        case StreamDecoder::Status::NeedsInput:
            break;
        }
        if (draining_) {
            endOfStream_ = true;
            return nullptr;
        }
        const int ret = av_read_frame(input_.get(), packet_.get());
        if (ret < 0) {
            // End of file, or damage the demuxer cannot get past: show what was decoded.
            draining_ = true;
            decoder_.send(nullptr, nullptr);
            continue;
        }
        if (packet_->stream_index == stream_->index) {
            if (firstPacketDts_ == AV_NOPTS_VALUE)
                firstPacketDts_ = packet_->dts;
            const bool skippable = packet_->pts != AV_NOPTS_VALUE && packet_->duration > 0 &&
                                   skipBefore != AV_NOPTS_VALUE && packet_->pts + packet_->duration <= skipBefore;
            decoder_.context()->skip_frame = skippable ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
            decoder_.send(packet_.get(), error);
        }
        av_packet_unref(packet_.get());
    }
}

ImageGenerator::Result ImageGenerator::Worker::generate(CMTime time, const Settings& settings,
                                                        const std::function<bool()>& cancelled, QImage& image,
                                                        CMTime& actualTime, Error* error)
{
    if (!ensureOpen(error))
        return Result::Failed;
    if (!CMTIME_IS_NUMERIC(time)) {
        setError(error, Error{kMediaErrorDomain, AVERROR(EINVAL), QStringLiteral("The requested time is invalid."), {}, {}});
        return Result::Failed;
    }
    const CMTime containerTime = CMTimeAdd(time, asset_->startOffset());
    const int64_t target = MediaInput::timestampFromTime(containerTime, stream_->time_base);
    const bool exact = CMTimeCompare(settings.toleranceBefore, kCMTimeZero) == 0 &&
                       CMTimeCompare(settings.toleranceAfter, kCMTimeZero) == 0;
    const CMTime earliest = CMTimeSubtract(time, settings.toleranceBefore);
    const CMTime latest = CMTimeAdd(time, settings.toleranceAfter);
    auto acceptable = [&](const AVFrame* frame) {
        const CMTime t = frameTime(frame);
        return CMTimeCompare(earliest, t) <= 0 && CMTimeCompare(t, latest) <= 0;
    };

    // Keep decoding forward when the frame lies ahead in the current stretch; seek otherwise.
    bool reuse = current_ && CMTimeCompare(frameTime(current_.get()), time) <= 0;
    if (reuse && pending_ && CMTimeCompare(frameTime(pending_.get()), time) <= 0) {
        const int keyframe = av_index_search_timestamp(stream_, target, AVSEEK_FLAG_BACKWARD);
        const AVIndexEntry* entry = keyframe >= 0 ? avformat_index_get_entry(stream_, keyframe) : nullptr;
        reuse = !entry || entry->timestamp <= pending_->best_effort_timestamp;
    }
    int64_t seekTarget = target;
    for (int attempt = 0; !reuse && attempt < 4; ++attempt) {
        if (!seek(seekTarget, error))
            return Result::Failed;
        pending_ = nextFrame(exact ? target : AV_NOPTS_VALUE, error);
        // A keyframe presented after the requested time: the frame shown then lies before it.
        if (!pending_ || CMTimeCompare(frameTime(pending_.get()), time) <= 0 || firstPacketDts_ == AV_NOPTS_VALUE ||
            firstPacketDts_ <= stream_->start_time || seekTarget == firstPacketDts_ - 1)
            break;
        seekTarget = firstPacketDts_ - 1;
    }

    for (;;) {
        if (cancelled())
            return Result::Cancelled;
        if (!exact && current_ && acceptable(current_.get()))
            break;
        if (!pending_) {
            if (endOfStream_)
                break;
            pending_ = nextFrame(exact ? target : AV_NOPTS_VALUE, error);
            if (!pending_)
                break;
        }
        if (CMTimeCompare(frameTime(pending_.get()), time) > 0 && (exact || !acceptable(pending_.get()) || current_))
            break;
        current_ = std::move(pending_);
    }
    // A time before the first frame shows the first frame.
    const AVFrame* shown = current_ ? current_.get() : pending_.get();
    if (!shown) {
        if (error && error->message.isEmpty())
            setError(error, Error{kMediaErrorDomain, AVERROR_INVALIDDATA,
                                  QStringLiteral("No frame could be decoded at %1 s.").arg(CMTimeGetSeconds(time)), {}, {}});
        return Result::Failed;
    }
    image = render(shown, settings, error);
    if (image.isNull())
        return Result::Failed;
    actualTime = frameTime(shown);
    return Result::Succeeded;
}

QImage ImageGenerator::Worker::render(const AVFrame* frame, const Settings& settings, Error* error)
{
    const double aspect = frame->sample_aspect_ratio.num > 0 && frame->sample_aspect_ratio.den > 0
                              ? av_q2d(frame->sample_aspect_ratio)
                              : track_.pixelAspectRatio;
    const QTransform rotation = settings.appliesTransform
                                    ? QTransform(track_.preferredTransform.m11(), track_.preferredTransform.m12(),
                                                 track_.preferredTransform.m21(), track_.preferredTransform.m22(), 0, 0)
                                    : QTransform();
    // Display size: square pixels, then turned; fitted into the maximum size, never enlarged.
    const QSizeF square(frame->width * aspect, frame->height);
    const QSizeF turned = rotation.mapRect(QRectF(QPointF(0, 0), square)).size();
    double scale = 1.0;
    if (settings.maximumSize.width() > 0)
        scale = std::min(scale, settings.maximumSize.width() / turned.width());
    if (settings.maximumSize.height() > 0)
        scale = std::min(scale, settings.maximumSize.height() / turned.height());
    const bool swapsAxes = std::abs(rotation.m12()) > std::abs(rotation.m11());
    const int width = std::max(1, int(std::lround((swapsAxes ? turned.height() : turned.width()) * scale)));
    const int height = std::max(1, int(std::lround((swapsAxes ? turned.width() : turned.height()) * scale)));

    scaler_.reset(sws_getCachedContext(scaler_.release(), frame->width, frame->height, AVPixelFormat(frame->format),
                                       width, height, AV_PIX_FMT_RGB32, SWS_BICUBIC, nullptr, nullptr, nullptr));
    QImage image(width, height, QImage::Format_RGB32);
    if (!scaler_ || image.isNull()) {
        setError(error, mediaError(AVERROR(ENOMEM), QStringLiteral("Cannot convert the picture")));
        return {};
    }
    uint8_t* planes[4] = {image.bits(), nullptr, nullptr, nullptr};
    const int strides[4] = {int(image.bytesPerLine()), 0, 0, 0};
    sws_scale(scaler_.get(), frame->data, frame->linesize, 0, frame->height, planes, strides);
    if (!rotation.isIdentity())
        image = image.transformed(rotation, Qt::SmoothTransformation);
    return image;
}

ImageGenerator::ImageGenerator(std::shared_ptr<const MediaAsset> asset)
    : asset_(std::move(asset)), worker_(std::make_unique<Worker>(asset_)),
      queue_(std::make_unique<SerialQueue>(QStringLiteral("image-generator")))
{
}

ImageGenerator::~ImageGenerator()
{
    cancelAllImages();
    queue_.reset(); // serves what is queued (as cancelled), then joins
}

void ImageGenerator::generateImagesAsynchronously(std::vector<CMTime> times, Handler handler)
{
    const Settings settings{maximumSize_, appliesTransform_, toleranceBefore_, toleranceAfter_};
    const uint64_t generation = cancelGeneration_.load();
    queue_->async([this, times = std::move(times), handler = std::move(handler), settings, generation] {
        auto cancelled = [this, generation] { return cancelGeneration_.load() != generation; };
        for (const CMTime& time : times) {
            QImage image;
            CMTime actual = kCMTimeInvalid;
            Error error;
            const Result result = cancelled() ? Result::Cancelled
                                              : worker_->generate(time, settings, cancelled, image, actual, &error);
            if (result == Result::Cancelled)
                error = Error{kMediaErrorDomain, AVERROR_EXIT, QStringLiteral("The request was cancelled."), {}, {}};
            handler(time, image, actual, result, error);
        }
    });
}

void ImageGenerator::cancelAllImages() { ++cancelGeneration_; }
