#include "CWProject.h"

#include "CWAudioFileMetadataExtractor.h"
#include "CWFrameInformation.h"
#include "CWPreset.h"
#include "CWProjectMetadata.h"
#include "CWThumbnailLoader.h"
#include "CWTimelineSnapshot.h"
#include "CWUndoManager.h"
#include "CWUtility.h"
#include "MainQueue.h"
#include "MediaAsset.h"
#include "SerialQueue.h"

#include <QCoreApplication>

#include <algorithm>

std::shared_ptr<CWProject> CWProject::forAVAsset(std::shared_ptr<MediaAsset> asset, Options options)
{
    // Background completions may hold the last reference; the project is a QObject of the main
    // thread, so it is always destroyed there.
    std::shared_ptr<CWProject> project(new CWProject(std::move(asset), options), [](CWProject* p) {
        if (MainQueue::isMainThread() || !QCoreApplication::instance())
            delete p;
        else
            MainQueue::async([p] { delete p; });
    });
    if (project->asset_) {
        std::weak_ptr<CWProject> weak = project;
        project->asset_->loadDurationAsync([weak](CMTime) {
            if (auto p = weak.lock())
                p->updateMetaData();
        });
    }
    return project;
}

CWProject::CWProject(std::shared_ptr<MediaAsset> asset, Options options)
    : asset_(std::move(asset)), options_(options), workQueue_(std::make_unique<SerialQueue>(QStringLiteral("project-work")))
{
    if (asset_ && options_.loadsPreviews)
        thumbnailLoader_ = std::make_unique<CWThumbnailLoader>(asset_);
    if (asset_)
        extractedMetadata_ = CWAudioFileMetadataExtractor::extractMetadataFromAsset(*asset_);
    configuration_ = CWProjectConfiguration::defaultConfiguration();
    preset_ = selectInitialPreset();
}

CWProject::~CWProject() = default;

// ---- work queue and notification

void CWProject::workDo(std::function<void()> work) { workQueue_->async(std::move(work)); }

void CWProject::uiDo(std::function<void()> work) { MainQueue::async(std::move(work)); }

void CWProject::waitForQueuedWork() const { workQueue_->waitUntilIdle(); }

void CWProject::notifyUI(const QString&)
{
    std::weak_ptr<CWProject> weak = weak_from_this();
    uiDo([weak] {
        if (auto p = weak.lock())
            emit p->projectChanged();
    });
}

// ---- queries

CMTime CWProject::duration() const { return asset_ ? asset_->duration() : kCMTimeInvalid; }

CWSegmentList CWProject::splits() const
{
    waitForQueuedWork();
    std::lock_guard lock(splitsMutex_);
    return splits_;
}

// The list is kept in order of start, and segments never overlap (they may touch): the segments that
// can include a time are the last ones starting at or before it, found by bisection.
std::shared_ptr<CWExcludedSegment> CWProject::splitAtTimeLocked(CMTime time) const
{
    auto end = std::partition_point(splits_.begin(), splits_.end(), [time](const auto& s) { return s->isBefore(time); });
    std::shared_ptr<CWExcludedSegment> found;
    for (auto it = end; it != splits_.begin();) {
        --it;
        if ((*it)->includesTime(time))
            found = *it; // keep going: an earlier one that touches it comes first
        else if (CMTimeCompare((*it)->stop(), time) < 0)
            break;
    }
    return found;
}

std::shared_ptr<CWExcludedSegment> CWProject::splitAtTime(CMTime time) const
{
    waitForQueuedWork();
    std::lock_guard lock(splitsMutex_);
    return splitAtTimeLocked(time);
}

std::shared_ptr<CWExcludedSegment> CWProject::splitAtIndex(size_t index) const
{
    waitForQueuedWork();
    std::lock_guard lock(splitsMutex_);
    return index < splits_.size() ? splits_[index] : nullptr;
}

CMTime CWProject::nextSplitTimeAfterLocked(CMTime time) const
{
    const auto next = std::partition_point(splits_.begin(), splits_.end(), [time](const auto& s) { return s->isBefore(time); });
    return next != splits_.end() ? (*next)->start() : duration();
}

CMTime CWProject::nextSplitTimeAfter(CMTime time) const
{
    waitForQueuedWork();
    std::lock_guard lock(splitsMutex_);
    return nextSplitTimeAfterLocked(time);
}

CMTime CWProject::currentTargetDuration() const
{
    CMTime result = duration();
    for (const auto& segment : splits())
        result = CMTimeSubtract(result, segment->duration());
    return result;
}

CMTime CWProject::targetTimeFromSourceTime(CMTime time) const
{
    CMTime result = time;
    for (const auto& segment : splits()) {
        if (segment->includesTime(time))
            return kCMTimeInvalid;
        if (segment->isBefore(time))
            result = CMTimeSubtract(result, segment->duration());
    }
    return result;
}

std::vector<std::shared_ptr<CWThumbnail>> CWProject::thumbnails() const
{
    waitForQueuedWork();
    std::lock_guard lock(stateMutex_);
    return thumbnails_;
}

std::shared_ptr<CWThumbnail> CWProject::thumbnailAt(CMTime time) const { return CWTimelineSnapshot::thumbnailAt(thumbnails(), time); }

bool CWProject::usesPassthroughPreset() const
{
    const auto current = preset();
    return current && current->isPassthrough();
}

int64_t CWProject::volumePercentage() const { return configuration()->volumePercentage(); }

int64_t CWProject::selectedBitrate() const { return configuration()->selectedBitrate(); }

// ---- editing

bool CWProject::addSplitAt(CMTime time)
{
    waitForQueuedWork();
    if (CMTimeCompare(time, duration()) > 0 || CMTimeCompare(time, kCMTimeZero) < 0 || splitAtTime(time))
        return false;
    registerUndoForSplitChanges(QStringLiteral("Add Split"));
    const auto segment = CWExcludedSegment::startingAt(time, time);
    queueInsertion(segment);
    return true;
}

// The insertion and its notification go through the work queue; the start picture is requested. With
// nothing queued before it, the insertion is made at once: the next editing call would only wait for
// it, and thousands of cuts would each pay a round trip to the queue's thread.
void CWProject::queueInsertion(const std::shared_ptr<CWExcludedSegment>& segment)
{
    if (workQueue_->isIdle()) {
        addSplit(segment);
        notifyUI(QStringLiteral("splits"));
        requestStartThumbnail(segment);
        return;
    }
    std::weak_ptr<CWProject> weak = weak_from_this();
    workDo([weak, segment] {
        if (auto p = weak.lock()) {
            p->addSplit(segment);
            p->notifyUI(QStringLiteral("splits"));
        }
    });
    requestStartThumbnail(segment);
}

bool CWProject::addCutAt(CMTime time)
{
    waitForQueuedWork();
    // An undo step is recorded only for an edit that happens.
    if (const auto existing = splitAtTime(time)) {
        if (!existing->isPossibleEnd(time))
            return false;
        if (CMTimeCompare(existing->stop(), time) == 0)
            return true; // it ends there already (a split point): nothing changes
        registerUndoForSplitChanges(QStringLiteral("Add Cut"));
        existing->endAt(time);
        notifyUI(QStringLiteral("splits"));
        return true;
    }
    const auto segment = CWExcludedSegment::startingAt(time, nextSplitTimeAfter(time));
    if (!segment)
        return false;
    registerUndoForSplitChanges(QStringLiteral("Add Cut"));
    queueInsertion(segment);
    return true;
}

bool CWProject::removeCutAt(CMTime time)
{
    waitForQueuedWork();
    const auto segment = splitAtTime(time);
    if (!segment)
        return false; // nothing to undo
    registerUndoForSplitChanges(QStringLiteral("Remove Cut"));
    {
        std::lock_guard lock(splitsMutex_);
        std::erase(splits_, segment);
    }
    notifyUI(QStringLiteral("splits"));
    return true;
}

void CWProject::removeAllSplits()
{
    waitForQueuedWork();
    registerUndoForSplitChanges(QStringLiteral("Remove All Splits"));
    std::lock_guard lock(splitsMutex_);
    splits_.clear();
}

void CWProject::splitFromStartToEnd()
{
    waitForQueuedWork();
    registerUndoForSplitChanges(QStringLiteral("Split From Start to End"));
    {
        std::lock_guard lock(splitsMutex_);
        splits_.clear();
    }
    const auto segment = CWExcludedSegment::startingAt(kCMTimeZero, duration());
    if (!segment)
        return;
    const auto strip = thumbnails();
    if (!strip.empty())
        segment->useStartThumbnail(strip.front());
    addSplit(segment);
}

void CWProject::addSplit(const std::shared_ptr<CWExcludedSegment>& segment)
{
    std::lock_guard lock(splitsMutex_);
    // In order of start, after those that start at the same moment (where a sort that keeps the order
    // of equal elements would put it); appending, the usual case, costs no shift.
    const CMTime start = segment->start();
    const auto at =
        std::partition_point(splits_.begin(), splits_.end(), [start](const auto& s) { return CMTimeCompare(s->start(), start) <= 0; });
    const auto it = splits_.insert(at, segment);
    if (it + 1 != splits_.end() && segment->tryMergeWith(**(it + 1)))
        splits_.erase(it + 1);
}

// ---- preset and options

std::shared_ptr<CWPreset> CWProject::preset() const
{
    std::lock_guard lock(stateMutex_);
    return preset_;
}

std::shared_ptr<CWPreset> CWProject::selectInitialPreset() const
{
    return asset_ ? selectPresetForAsset(*asset_, CWPreset::lastPreset()) : CWPreset::lastPreset();
}

std::shared_ptr<CWPreset> CWProject::selectPresetForAsset(const MediaAsset& asset, std::shared_ptr<CWPreset> lastPreset)
{
    return CWPreset::presetForAsset(asset, std::move(lastPreset));
}

void CWProject::changePresetTo(std::shared_ptr<CWPreset> preset)
{
    if (preset)
        CWPreset::lastPresetClass(preset->presetClass());
    std::lock_guard lock(stateMutex_);
    preset_ = std::move(preset);
}

std::shared_ptr<CWProjectConfiguration> CWProject::configuration() const
{
    std::lock_guard lock(stateMutex_);
    return configuration_;
}

void CWProject::useVolumePercentage(int64_t percentage) { configuration()->setVolumePercentage(percentage); }

void CWProject::useSelectedBitrate(int64_t bitrate) { configuration()->setSelectedBitrate(bitrate); }

void CWProject::forceSmallArtwork() { configuration()->setEnforceSmallArtwork(true); }

bool CWProject::useArtwork(const MediaSource& file, Error* error)
{
    const std::optional<MetadataItem> artwork = CWProjectMetadata::artworkFromFile(file, error);
    if (!artwork) {
        CWUtility::debugLog(QStringLiteral("ArtWork"), QStringLiteral("failed to load artwork from: %1").arg(file.path()));
        return false;
    }
    configuration()->addMetaDataItem(*artwork);
    return true;
}

void CWProject::setCustomMetadata(const std::map<QString, QString>& metadata)
{
    const std::vector<MetadataItem> items = CWProjectMetadata::itemsFromCustomMetadata(metadata);
    if (!items.empty())
        configuration()->addMetaDataItems(items);
}

std::shared_ptr<const CWFrameInformation> CWProject::frameInformation() const
{
    std::lock_guard lock(stateMutex_);
    return frameInformation_;
}

// ---- export

std::shared_ptr<CWProjectConfiguration> CWProject::configurationForExport()
{
    const auto config = configuration();
    if (extractedMetadata_)
        config->setAdditionalMetadata(CWProjectMetadata::withSourceTags(*extractedMetadata_, config->additionalMetadata()));
    return config;
}

// ---- undo

void CWProject::registerUndoForSplitChanges(const QString& actionName)
{
    if (!undoManager_)
        return;
    std::weak_ptr<CWProject> weak = weak_from_this();
    undoManager_->registerUndo([weak, previous = copySplitsArray(splits())] {
        if (auto p = weak.lock())
            p->restoreSplits(previous);
    });
    undoManager_->setActionName(actionName);
}

void CWProject::restoreSplits(const CWSegmentList& list)
{
    if (undoManager_) {
        std::weak_ptr<CWProject> weak = weak_from_this();
        undoManager_->registerUndo([weak, current = copySplitsArray(splits())] {
            if (auto p = weak.lock())
                p->restoreSplits(current);
        });
    }
    {
        waitForQueuedWork();
        std::lock_guard lock(splitsMutex_);
        splits_ = copySplitsArray(list);
    }
    emit projectChanged();
}

CWSegmentList CWProject::copySplitsArray(const CWSegmentList& list)
{
    CWSegmentList copies;
    copies.reserve(list.size());
    for (const auto& segment : list)
        copies.push_back(segment->copy());
    return copies;
}

// ---- thumbnails and frame information

void CWProject::updateMetaData()
{
    if (thumbnailLoader_) {
        std::weak_ptr<CWProject> weak = weak_from_this();
        thumbnailLoader_->loadStrip(duration(), [weak](const std::shared_ptr<CWThumbnail>& thumbnail) {
            if (auto p = weak.lock())
                p->workDo([weak, thumbnail] {
                    if (auto project = weak.lock()) {
                        {
                            std::lock_guard lock(project->stateMutex_);
                            auto& strip = project->thumbnails_;
                            strip.insert(
                                std::upper_bound(strip.begin(), strip.end(), thumbnail,
                                                 [](const auto& a, const auto& b) { return CMTimeCompare(a->time(), b->time()) < 0; }),
                                thumbnail);
                        }
                        project->notifyUI(QStringLiteral("thumbnails"));
                    }
                });
        });
    }
    if (!options_.loadsPreviews || !asset_)
        return;
    auto information = CWFrameInformation::forAsset(*asset_);
    {
        std::lock_guard lock(stateMutex_);
        frameInformation_ = std::move(information);
    }
    notifyUI(QStringLiteral("frameInformation")); // the window shows its frame report from now on
}

std::vector<std::shared_ptr<CWThumbnail>> CWProject::detailThumbnails() const
{
    waitForQueuedWork();
    std::lock_guard lock(stateMutex_);
    return detailThumbnails_;
}

void CWProject::loadDetailThumbnails(const std::vector<CMTimeRange>& spans)
{
    if (!thumbnailLoader_ || spans.empty())
        return;
    const auto earlier = [](const auto& a, const auto& b) { return CMTimeCompare(a->time(), b->time()) < 0; };
    std::vector<CMTime> times;
    {
        std::lock_guard lock(stateMutex_);
        for (const CMTimeRange& span : spans) {
            const CMTime end = CMTimeRangeGetEnd(span);
            const auto after = std::lower_bound(detailThumbnails_.begin(), detailThumbnails_.end(), span.start,
                                                [](const auto& thumbnail, CMTime t) { return CMTimeCompare(thumbnail->time(), t) < 0; });
            if (after == detailThumbnails_.end() || CMTimeCompare((*after)->time(), end) >= 0)
                times.push_back(CMTimeAdd(span.start, CMTimeMultiplyByRatio(span.duration, 1, 2)));
        }
    }
    const CMTime middle =
        CMTimeAdd(spans.front().start, CMTimeMultiplyByRatio(CMTimeSubtract(CMTimeRangeGetEnd(spans.back()), spans.front().start), 1, 2));
    std::weak_ptr<CWProject> weak = weak_from_this();
    thumbnailLoader_->loadDetail(times, [weak, middle, earlier](const std::shared_ptr<CWThumbnail>& thumbnail) {
        if (auto p = weak.lock())
            p->workDo([weak, thumbnail, middle, earlier] {
                auto project = weak.lock();
                if (!project)
                    return;
                {
                    std::lock_guard lock(project->stateMutex_);
                    auto& detail = project->detailThumbnails_;
                    detail.insert(std::upper_bound(detail.begin(), detail.end(), thumbnail, earlier), thumbnail);
                    // Over the limit, the picture farthest from the request goes (one end of the list).
                    while (detail.size() > kDetailThumbnailLimit) {
                        const double toFirst = std::abs(CMTimeGetSeconds(CMTimeSubtract(middle, detail.front()->time())));
                        const double toLast = std::abs(CMTimeGetSeconds(CMTimeSubtract(detail.back()->time(), middle)));
                        detail.erase(toFirst > toLast ? detail.begin() : detail.end() - 1);
                    }
                }
                project->notifyUI(QStringLiteral("thumbnails"));
            });
    });
}

void CWProject::requestStartThumbnail(const std::shared_ptr<CWExcludedSegment>& segment)
{
    if (!thumbnailLoader_)
        return;
    std::weak_ptr<CWProject> weak = weak_from_this();
    thumbnailLoader_->loadStartThumbnail(segment->start(), [weak, segment](const std::shared_ptr<CWThumbnail>& thumbnail) {
        if (auto p = weak.lock())
            p->workDo([weak, segment, thumbnail] {
                segment->useStartThumbnail(thumbnail);
                if (auto project = weak.lock())
                    project->notifyUI(QStringLiteral("splits"));
            });
    });
}

// ---- timeline snapshot

CWTimelineSnapshot CWProject::timelineSnapshot() const
{
    waitForQueuedWork();
    CWTimelineSnapshot snapshot{duration(), {}, {}, {}};
    {
        std::lock_guard lock(splitsMutex_);
        snapshot.splits = splits_;
    }
    std::lock_guard lock(stateMutex_);
    snapshot.thumbnails = thumbnails_;
    snapshot.detailThumbnails = detailThumbnails_;
    return snapshot;
}
