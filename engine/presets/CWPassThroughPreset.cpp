#include "CWPassThroughPreset.h"

#include "ContainerTraits.h"
#include "MediaAsset.h"
#include "PassthroughContainer.h"
#include "UserDefaults.h"

CWPassThroughPreset::CWPassThroughPreset(const CWPresetClass& presetClass) : CWPreset(presetClass)
{
    mode_ = PassthroughModes::fromName(UserDefaults::stringForKey(modeDefaultsKey())).value_or(PassthroughMode::Exact);
}

void CWPassThroughPreset::useMode(PassthroughMode mode)
{
    mode_ = mode;
    UserDefaults::setString(modeDefaultsKey(), PassthroughModes::name(mode));
}

std::vector<PassthroughMode> CWPassThroughPreset::modes()
{
    return {PassthroughMode::Exact, PassthroughMode::CopyOnly, PassthroughMode::EditLists};
}

QString CWPassThroughPreset::modeTitle(PassthroughMode mode)
{
    switch (mode) {
    case PassthroughMode::Exact:
        return QStringLiteral("Exact");
    case PassthroughMode::CopyOnly:
        return QStringLiteral("Copy Only");
    case PassthroughMode::EditLists:
        return QStringLiteral("Edit Lists");
    }
    return {};
}

QString CWPassThroughPreset::modeHelp(PassthroughMode mode)
{
    switch (mode) {
    case PassthroughMode::Exact:
        return QStringLiteral("the pictures between a cut and the next keyframe are encoded anew, so that every player shows exactly "
                              "the kept pictures");
    case PassthroughMode::CopyOnly:
        return QStringLiteral("nothing is encoded anew: each piece starts at the keyframe at or before its start");
    case PassthroughMode::EditLists:
        return QStringLiteral("MPEG-4 files hide each piece's lead-in with edit lists, exact in players that honour them; other files "
                              "are copied as with copy-only");
    }
    return {};
}

MediaFileType CWPassThroughPreset::fileTypeForSource(const MediaAsset& source) const { return PassthroughContainer::fileType(source); }

QString CWPassThroughPreset::defaultFileExtensionForSource(const MediaAsset& source) const
{
    return PassthroughContainer::extension(source);
}

QString CWPassThroughPreset::descriptionForSource(const MediaAsset& source) const
{
    const MediaFileType type = fileTypeForSource(source);
    const QString container =
        QStringLiteral("%1 file (.%2)").arg(PassthroughContainer::nameWithArticle(type), defaultFileExtensionForSource(source));
    if (source.tracksWithMediaType(MediaType::Video).empty())
        return QStringLiteral("Copies the source's audio unchanged into %1.").arg(container);
    // What is copied: a source (or a choice of its tracks) without sound has only pictures.
    const QString copied =
        source.tracksWithMediaType(MediaType::Audio).empty() ? QStringLiteral("video") : QStringLiteral("audio and video");
    PassthroughMode mode = mode_;
    QString fallback;
    if (mode == PassthroughMode::Exact) {
        const QString why = PassthroughContainer::exactUnavailable(source);
        if (why.isEmpty())
            return QStringLiteral("Copies the source's %1 into %2; the pictures between a cut and the next keyframe are encoded anew.")
                .arg(copied, container);
        fallback = QStringLiteral(" The pictures at the cuts cannot be encoded anew (%1).").arg(why);
        mode = PassthroughMode::EditLists;
    }
    if (mode == PassthroughMode::EditLists && ContainerTraitsTable::of(type).editLists)
        return QStringLiteral("Copies the source's %1 unchanged into %2; edit lists hide each piece's lead-in.%3")
            .arg(copied, container, fallback);
    return QStringLiteral("Copies the source's %1 unchanged into %2; each kept piece starts at the keyframe at or before its start.%3")
        .arg(copied, container, fallback);
}
