// Makes the project's pictures with one exact-frame image generator (300 × 300 at most, upright, the
// frame at the time itself): the strip of 30 thumbnails spread evenly over the source, and the start
// picture of a segment. Pictures arrive on the generator's thread, each handed to the given block;
// the strip delivers only pictures that succeeded, a start request always delivers one (with a null
// image when decoding failed).
//
// Owned by the project; destroying it cancels what is still queued. Any thread may request.
#pragma once

#include "CMTime.h"

#include <functional>
#include <memory>

class CWThumbnail;
class ImageGenerator;
class MediaAsset;

class CWThumbnailLoader {
public:
    using Delivery = std::function<void(const std::shared_ptr<CWThumbnail>& thumbnail)>;
    static constexpr int kStripCount = 30;

    explicit CWThumbnailLoader(std::shared_ptr<MediaAsset> asset);
    ~CWThumbnailLoader();

    void loadStrip(CMTime duration, Delivery delivery);
    void loadStartThumbnail(CMTime time, Delivery delivery);

private:
    std::unique_ptr<ImageGenerator> generator_;
};
