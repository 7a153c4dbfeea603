#include "TestPresets.h"

namespace TestPresets {

namespace {
CWPresetClass makeClass(const QString& id, const QString& name, bool audio, bool video)
{
    CWPresetClass c;
    c.className = QStringLiteral("CWTest%1Preset").arg(id);
    c.identifier = id;
    c.presetName = name;
    c.isValidForAudio = audio;
    c.isValidForVideo = video;
    c.create = [id] { return std::make_shared<CWPreset>(*CWPreset::classWithIdentifier(id)); };
    return c;
}
} // namespace

void registerOnce()
{
    static const bool done = [] {
        CWPreset::registerClass(makeClass(QStringLiteral("testaudio"), QStringLiteral("Audio Only Test"), true, false));
        CWPreset::registerClass(makeClass(QStringLiteral("testvideo"), QStringLiteral("Video Only Test"), false, true));
        CWPreset::beDefaultClass(QStringLiteral("testvideo"));
        return true;
    }();
    (void)done;
}

const CWPresetClass& audioOnly() { return *CWPreset::classWithIdentifier(QStringLiteral("testaudio")); }
const CWPresetClass& videoOnly() { return *CWPreset::classWithIdentifier(QStringLiteral("testvideo")); }

} // namespace TestPresets
