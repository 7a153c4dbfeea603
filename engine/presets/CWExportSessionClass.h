// The kinds of export session a preset can name, and their class-level queries. The sessions
// themselves live beside this file; a preset only names the kind, and the exporter makes the session.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

enum class CWExportSessionClass {
    Basic,                 // CWBasicExportSession: the media layer's export session
    AudioOnly,             // CWBasicExportSession over a composition without video
    AssetWriter,           // CWAssetWriterExportSession: H.264 / HEVC
    LameCustom,            // CWLameCustomExportSession: MP3
    QOA,                   // CWQOAExportSession
    FLACAudioFile,         // CWFLACAudioFileExportSession
    AppleLosslessAudioFile // CWAppleLosslessAudioFileExportSession
};

namespace CWExportSessionClasses {
// Whether the export project puts the source's audio / video tracks into the composition.
bool includeAudioTracksInComposition(CWExportSessionClass sessionClass);
bool includeVideoTracksInComposition(CWExportSessionClass sessionClass);
// Whether the session's file holds the sound alone (it needs a source with audio).
bool writesSoundOnly(CWExportSessionClass sessionClass);
// Bit rates (bits per second) the session can encode at; nullopt when the class has no such query.
std::optional<std::vector<int64_t>> availableBitrates(CWExportSessionClass sessionClass);
// Sample rates (hertz) the session can encode at; nullopt when the class has no such query.
std::optional<std::vector<int64_t>> availableSampleRates(CWExportSessionClass sessionClass);
} // namespace CWExportSessionClasses
