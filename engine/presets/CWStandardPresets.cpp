// The catalogue of the nine presets: their class-level attributes and the registration order.
#include "CWAppleLosslessPreset.h"
#include "CWFLACPreset.h"
#include "CWH264Preset.h"
#include "CWH265Preset.h"
#include "CWLamePreset.h"
#include "CWM4APreset.h"
#include "CWPassThroughPreset.h"
#include "CWQOAPreset.h"
#include "CWThumbnailPreset.h"

namespace {

template <typename Preset> CWPresetClass describe(const char* className, const char* identifier, const char* name, const char* description,
                                                  const char* suffix, bool audio, bool video,
                                                  CWConfigurationViewKind view = CWConfigurationViewKind::None)
{
    const QString id = QString::fromLatin1(identifier);
    return CWPresetClass{QString::fromLatin1(className),
                         id,
                         QString::fromUtf8(name),
                         QString::fromUtf8(description),
                         QString::fromLatin1(suffix),
                         audio,
                         video,
                         view,
                         [id] { return std::make_shared<Preset>(*CWPreset::classWithIdentifier(id)); }};
}

} // namespace

void CWPreset::registerStandardPresets()
{
    static const bool registered = [] {
        const auto quality = CWConfigurationViewKind::QualityControl;
        registerClass(describe<CWAppleLosslessPreset>(
            "CWAppleLosslessPreset", "alac", "Apple Lossless",
            "Export audio-only using Apple Lossless (ALAC) codec for perfect quality preservation in M4A container.", "m4a", true, true,
            quality));
        registerClass(describe<CWFLACPreset>("CWFLACPreset", "flac", "FLAC Audio",
                                             "Export audio-only using FLAC (Free Lossless Audio Codec) for perfect quality preservation.",
                                             "flac", true, true, quality));
        registerClass(describe<CWM4APreset>("CWM4APreset", "m4a", "M4A Audio",
                                            "Export audio-only using M4A/AAC encoding for high quality and good compatibility.", "m4a",
                                            true, true, quality));
        registerClass(describe<CWH264Preset>("CWH264Preset", "h264", "AVC / h264",
                                             "Export Video using h264 encoding for small file sizes and very high compatibility", "h264",
                                             false, true, quality));
        beDefaultClass(QStringLiteral("h264"));
        registerClass(describe<CWH265Preset>("CWH265Preset", "h265", "HEVC / h265",
                                             "Encodes video using HEVC/h265, for smallest file sizes", "hevc", false, true));
        beDefaultClass(QStringLiteral("h265"));
        registerClass(describe<CWLamePreset>("CWLamePreset", "lame", "MP3 Audio",
                                             "Export audio using MP3 format for high quality lossy compression.", "mp3", true, true));
        registerClass(describe<CWPassThroughPreset>(
            "CWPassThroughPreset", "passthrough", "Passthrough",
            "Export Video by keeping the original encoding. Super fast export, but fading is not supported", "trimmed", true, true));
        registerClass(describe<CWQOAPreset>("CWQOAPreset", "qoa", "QOA Audio",
                                            "Export audio using the Quite OK Audio (QOA) format: small, lossy, very fast to decode", "qoa",
                                            true, false));
        registerClass(describe<CWThumbnailPreset>("CWThumbnailPreset", "low", "Thumbnail", "Encodes video in a tiny video with low quality",
                                                  "thumbnail", false, true));
        return true;
    }();
    (void)registered;
}
