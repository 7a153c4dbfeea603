// The media layer's export session: makes one file from a composition with one of three presets.
//   Passthrough: packets copied, never decoded (PassthroughCopier).
//   AppleM4A:    the composition's audio decoded, mixed and encoded to AAC in an M4A file.
//   LowQuality:  a small MPEG-4: H.264 Baseline with the longer side at most 320 pixels, AAC mono.
// exportAsynchronously() works on a thread of its own and calls the completion there once. Status
// numbers: 1 waiting, 2 exporting, 3 completed, 4 failed, 5 cancelled. Progress and status may be read
// from any thread. Destroying the session cancels and waits for its thread. A failed or cancelled
// export removes the file it began.
#pragma once

#include "Composition.h"
#include "Error.h"
#include "ExportCompatibility.h"
#include "MediaFileType.h"
#include "MediaTypes.h"
#include "PassthroughMode.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class BufferPump;
class MediaAsset;
class MediaWriter;
class WriterInput;

class AssetExportSession {
public:
    enum class Status : int { Unknown = 0, Waiting = 1, Exporting = 2, Completed = 3, Failed = 4, Cancelled = 5 };

    AssetExportSession(std::shared_ptr<const MediaAsset> asset, Composition composition, PlatformExportPreset preset);
    ~AssetExportSession();

    void setVideoComposition(std::optional<VideoComposition> videoComposition) { videoComposition_ = std::move(videoComposition); }
    void setAudioMix(AudioMix audioMix) { audioMix_ = std::move(audioMix); }
    void setOutputFileType(MediaFileType fileType) { fileType_ = fileType; }
    void setOutputPath(QString path) { path_ = std::move(path); }
    void setMetadata(std::vector<MetadataItem> metadata) { metadata_ = std::move(metadata); }
    void setChapters(std::vector<MediaChapter> chapters) { chapters_ = std::move(chapters); }
    // How Passthrough joins and trims video (PassthroughMode).
    void setPassthroughMode(PassthroughMode mode) { passthroughMode_ = mode; }

    void exportAsynchronously(std::function<void()> completion);
    void cancelExport() { cancelled_ = true; }
    Status status() const { return status_; }
    float progress() const { return progress_; }
    Error error() const;

private:
    bool run(Error* error);
    bool exportAudio(Error* error);
    bool exportLowQuality(Error* error);
    // Runs the pumps into the writer and finishes the file, or removes it.
    bool write(MediaWriter& writer, std::vector<std::pair<BufferPump, WriterInput*>>& pumps, Error* error);

    std::shared_ptr<const MediaAsset> asset_;
    Composition composition_;
    PlatformExportPreset preset_;
    std::optional<VideoComposition> videoComposition_;
    AudioMix audioMix_;
    MediaFileType fileType_ = MediaFileType::MPEG4;
    QString path_;
    std::vector<MetadataItem> metadata_;
    std::vector<MediaChapter> chapters_;
    PassthroughMode passthroughMode_ = PassthroughMode::Exact;
    std::atomic<Status> status_{Status::Unknown};
    std::atomic<float> progress_{0};
    std::atomic<bool> cancelled_{false};
    mutable std::mutex mutex_;
    Error error_;
    std::thread worker_;
};
