// Makes the project's pictures with exact-frame image generators (upright, the frame at the time
// itself): with one (300 × 300 at most) the strip of 30 thumbnails spread evenly over the source and the
// start picture of a segment; with a second (200 × 200 at most) the detail pictures of a zoomed-in
// strip. Pictures arrive on a generator's thread, each handed to the given block; the strip and the
// detail pictures deliver only pictures that succeeded, a start request always delivers one (with a
// null image when decoding failed). A detail picture carries the time it was asked for, and a new
// detail request cancels what is left of the one before.
//
// Owned by the project; destroying it cancels what is still queued. Any thread may request.
#pragma once

#include "CMTime.h"

#include <functional>
#include <memory>
#include <vector>

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
    void loadDetail(std::vector<CMTime> times, Delivery delivery);

private:
    std::unique_ptr<ImageGenerator> generator_;
    std::unique_ptr<ImageGenerator> detailGenerator_;
};
