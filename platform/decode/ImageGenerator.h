// Still images of an asset's first video track at requested times. With zero tolerances (the default)
// each image is the exact frame shown at the requested time, not the nearest keyframe: the generator
// seeks to the keyframe before the time and decodes forward. Images are scaled to fit the maximum size
// keeping the display aspect (pixel aspect ratio honoured) and, when asked, turned upright by the
// track's transform.
//
// Thread: requests are served in order on the generator's own worker thread, and the handler is called
// there once per requested time, with the actual time of the frame and the result. cancelAllImages()
// makes every request not yet served complete as Cancelled. Destroying the generator cancels and waits.
// A file without video, or one that cannot be decoded, gives Failed results with an Error.
#pragma once

#include "CMTime.h"
#include "Error.h"

#include <QImage>
#include <QSize>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class MediaAsset;
class SerialQueue;

class ImageGenerator {
public:
    enum class Result { Succeeded, Failed, Cancelled };
    using Handler = std::function<void(CMTime requestedTime, const QImage& image, CMTime actualTime, Result result, const Error& error)>;

    explicit ImageGenerator(std::shared_ptr<const MediaAsset> asset);
    ~ImageGenerator();

    // Zero (the default) means the picture's own size.
    void setMaximumSize(QSize size) { settings_.maximumSize = size; }
    void setAppliesPreferredTrackTransform(bool applies) { settings_.appliesTransform = applies; }
    // How far from the requested time the delivered frame may lie; zero asks for the exact frame.
    void setRequestedTimeToleranceBefore(CMTime tolerance) { settings_.toleranceBefore = tolerance; }
    void setRequestedTimeToleranceAfter(CMTime tolerance) { settings_.toleranceAfter = tolerance; }

    void generateImagesAsynchronously(std::vector<CMTime> times, Handler handler);
    void cancelAllImages();

    struct Settings {
        QSize maximumSize;
        bool appliesTransform = false;
        CMTime toleranceBefore = kCMTimeZero;
        CMTime toleranceAfter = kCMTimeZero;
    };
    class Worker;

private:
    std::shared_ptr<const MediaAsset> asset_;
    Settings settings_; // copied into each request when it is made
    std::atomic<uint64_t> cancelGeneration_{0};
    std::unique_ptr<Worker> worker_; // lives on queue_
    std::unique_ptr<SerialQueue> queue_;
};
