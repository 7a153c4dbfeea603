// Copies the source's encoding. MPEG-4 family sources keep their container and extension; other
// sources become MPEG-4 where it holds their tracks, else keep their own container family (Matroska,
// WebM, Ogg, WAV, AIFF, FLAC, MP3, AVI), with the extension of that family.
//
// How video is joined and trimmed is the preset's mode (PassthroughMode): exact by default, copy
// only, or edit lists. The application remembers the choice in the user defaults under the class name
// followed by "Mode" ("exact", "copy-only", "edit-lists"); the tool takes it per run. Main thread for
// changes; export workers read it.
#pragma once

#include "CWPreset.h"
#include "PassthroughMode.h"

#include <atomic>

class CWPassThroughPreset : public CWPreset {
public:
    explicit CWPassThroughPreset(const CWPresetClass& presetClass);

    std::optional<PlatformExportPreset> exportSessionPresetName() const override { return PlatformExportPreset::Passthrough; }
    bool isPassthrough() const override { return true; }
    std::optional<PassthroughMode> passthroughMode() const override { return mode_.load(); }
    MediaFileType fileTypeForSource(const MediaAsset& source) const override;
    QString defaultFileExtensionForSource(const MediaAsset& source) const override;
    // "Copies the source's audio and video into an MPEG-4 file (.mp4); the pictures between a cut and
    // the next keyframe are encoded anew." (the last part after the mode)
    QString descriptionForSource(const MediaAsset& source) const override;

    void setMode(PassthroughMode mode) { mode_ = mode; }
    // Sets the mode and remembers it for later exports.
    void useMode(PassthroughMode mode);
    QString modeDefaultsKey() const { return presetClass().className + QStringLiteral("Mode"); }

    // The modes in the order they are offered, their names in the window ("Exact") and what each does,
    // in the words of the tool's help.
    static std::vector<PassthroughMode> modes();
    static QString modeTitle(PassthroughMode mode);
    static QString modeHelp(PassthroughMode mode);

private:
    std::atomic<PassthroughMode> mode_{PassthroughMode::Exact};
};
