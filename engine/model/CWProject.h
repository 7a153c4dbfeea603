// The editing model of one opened media file, shared by the application and the command-line tool:
// the asset, the ordered list of excluded segments ("splits"), the chosen preset, the export options,
// the file's own tags, a strip of 30 timeline thumbnails and the frame information.
//
// Threads: editing operations and queries run on the main thread. Segment insertions, thumbnail
// attachments and strip additions run on the project's serial work queue "project-work"; every editing
// operation and query first waits for the work queued before it, and the list itself is guarded by a
// lock, so each operation sees the effect of all earlier ones and reads never overlap a mutation.
// projectChanged() (CWProjectChanged) is emitted on the main thread: queued after insertions,
// attachments and thumbnails, at once after undo and redo. Thumbnails and frame information are
// loaded in the background after creation (not at all when previews are off, as in the tool).
//
// Ownership: created only through forAVAsset() and held by shared_ptr; its last reference may drop on
// any thread, the project itself is always destroyed on the main thread. Refusals are reported by the
// Boolean results only.
#pragma once

#include "CMTime.h"
#include "CWCutList.h"
#include "CWExcludedSegment.h"
#include "CWProjectConfiguration.h"
#include "CWThumbnail.h"
#include "Error.h"
#include "MediaSource.h"
#include "MediaTypes.h"

#include <QObject>
#include <QRectF>
#include <QSizeF>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class CWFrameInformation;
class CWPreset;
class CWUndoManager;
class CWThumbnailLoader;
struct CWTimelineSnapshot;
class MediaAsset;
class SerialQueue;

using CWSegmentList = std::vector<std::shared_ptr<CWExcludedSegment>>;

class CWProject : public QObject, public std::enable_shared_from_this<CWProject> {
    Q_OBJECT

public:
    struct Options {
        // Thumbnails (strip and segment starts) and frame information; the tool shows neither.
        bool loadsPreviews = true;
    };
    static std::shared_ptr<CWProject> forAVAsset(std::shared_ptr<MediaAsset> asset, Options options);
    static std::shared_ptr<CWProject> forAVAsset(std::shared_ptr<MediaAsset> asset) { return forAVAsset(std::move(asset), Options{}); }
    ~CWProject() override;

    // Queries.
    const std::shared_ptr<MediaAsset>& avAsset() const { return asset_; }
    CMTime duration() const;
    CWSegmentList splits() const; // the list as it is now; the segments themselves are live
    std::shared_ptr<CWExcludedSegment> splitAtTime(CMTime time) const;
    std::shared_ptr<CWExcludedSegment> splitAtIndex(size_t index) const;
    CMTime nextSplitTimeAfter(CMTime time) const;
    CMTime currentTargetDuration() const;
    CMTime targetTimeFromSourceTime(CMTime time) const;
    std::shared_ptr<CWThumbnail> thumbnailAt(CMTime time) const;
    std::vector<std::shared_ptr<CWThumbnail>> thumbnails() const;
    bool usesPassthroughPreset() const;
    int64_t volumePercentage() const;
    int64_t selectedBitrate() const;

    // Editing; each records an undo step named as in the comments.
    bool addSplitAt(CMTime time);  // "Add Split"
    bool addCutAt(CMTime time);    // "Add Cut"
    bool removeCutAt(CMTime time); // "Remove Cut"
    void removeAllSplits();        // "Remove All Splits"
    void splitFromStartToEnd();    // "Split From Start to End"
    void addSplit(const std::shared_ptr<CWExcludedSegment>& segment);

    // Preset and options.
    std::shared_ptr<CWPreset> preset() const;
    std::shared_ptr<CWPreset> selectInitialPreset() const;
    static std::shared_ptr<CWPreset> selectPresetForAsset(const MediaAsset& asset, std::shared_ptr<CWPreset> lastPreset);
    void changePresetTo(std::shared_ptr<CWPreset> preset);
    void useVolumePercentage(int64_t percentage);
    void useSelectedBitrate(int64_t bitrate);
    void forceSmallArtwork();
    // The file's picture as the exports' artwork; false, with the reason, when it cannot be used.
    bool useArtwork(const MediaSource& file, Error* error = nullptr);
    // Keys "title", "artist", "album", "year", "author", "comment"; others are ignored.
    void setCustomMetadata(const std::map<QString, QString>& metadata);
    std::shared_ptr<CWProjectConfiguration> configuration() const;
    // The source's tracks the exports leave out (IDs), none at first. Not an undoable edit: like the
    // preset, it is how the edit is exported.
    std::vector<int32_t> leftOutTracks() const;
    void leaveOutTracks(std::vector<int32_t> trackIDs);
    // The source as the exports read it: without the tracks left out.
    std::shared_ptr<MediaAsset> exportAsset() const;
    const std::optional<std::vector<MetadataItem>>& extractedMetadata() const { return extractedMetadata_; }
    std::shared_ptr<const CWFrameInformation> frameInformation() const;

    // The settings an export takes now: the file's own tags are added again on every call, ahead of
    // the items the user set, so that what the user set wins where both name the same key.
    std::shared_ptr<CWProjectConfiguration> configurationForExport();

    // Work queue.
    void workDo(std::function<void()> work);
    void uiDo(std::function<void()> work);
    // Waits until the work queued so far has been applied.
    void waitForQueuedWork() const;

    // Undo. The manager is not owned; without one no steps are recorded.
    void useUndoManager(CWUndoManager* undoManager) { undoManager_ = undoManager; }
    void registerUndoForSplitChanges(const QString& actionName);
    void restoreSplits(const CWSegmentList& splits);
    // The cuts and split points as a cut list carries them, and what such a list needs of the source.
    std::vector<CWCutList::Edit> edits() const;
    CWCutList::Source cutListSource() const;
    // Replaces every cut and split point with the list's edits (in order, within the source), as one
    // undo step of the name.
    void replaceEdits(const std::vector<CWCutList::Edit>& edits, const QString& actionName);
    static CWSegmentList copySplitsArray(const CWSegmentList& splits);

    // What the timeline strip draws from, once the queued segment insertions are done.
    CWTimelineSnapshot timelineSnapshot() const;
    // Detail thumbnails for a zoomed-in strip: one picture for each span (of its middle) that has none
    // yet, made in the background after the strip's and replacing the previous request's pictures not
    // yet made; projectChanged() follows each. At most kDetailThumbnailLimit are kept, those farthest
    // from the latest request dropped first. Nothing happens when previews are off.
    static constexpr size_t kDetailThumbnailLimit = 240;
    void loadDetailThumbnails(const std::vector<CMTimeRange>& spans);
    std::vector<std::shared_ptr<CWThumbnail>> detailThumbnails() const;

    // Emits projectChanged() on the main thread; the key ("splits", "thumbnails") is not passed on.
    void notifyUI(const QString& key);

signals:
    void projectChanged();

private:
    CWProject(std::shared_ptr<MediaAsset> asset, Options options);
    void updateMetaData();
    void requestStartThumbnail(const std::shared_ptr<CWExcludedSegment>& segment);
    void queueInsertion(const std::shared_ptr<CWExcludedSegment>& segment);
    std::shared_ptr<CWExcludedSegment> splitAtTimeLocked(CMTime time) const;
    CMTime nextSplitTimeAfterLocked(CMTime time) const;

    std::shared_ptr<MediaAsset> asset_;
    Options options_;
    std::unique_ptr<SerialQueue> workQueue_; // destroyed after the loader, which queues onto it
    std::unique_ptr<CWThumbnailLoader> thumbnailLoader_;
    mutable std::mutex splitsMutex_;
    CWSegmentList splits_;
    mutable std::mutex stateMutex_;                              // thumbnails, preset, configuration, frame information
    std::vector<std::shared_ptr<CWThumbnail>> thumbnails_;       // in time order
    std::vector<std::shared_ptr<CWThumbnail>> detailThumbnails_; // in time order
    std::shared_ptr<CWPreset> preset_;
    std::shared_ptr<CWProjectConfiguration> configuration_;
    std::shared_ptr<const CWFrameInformation> frameInformation_;
    std::optional<std::vector<MetadataItem>> extractedMetadata_;
    CWUndoManager* undoManager_ = nullptr;
};
