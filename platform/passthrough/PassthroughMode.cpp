#include "PassthroughMode.h"

namespace PassthroughModes {

QString name(PassthroughMode mode)
{
    switch (mode) {
    case PassthroughMode::Exact:
        return QStringLiteral("exact");
    case PassthroughMode::CopyOnly:
        return QStringLiteral("copy-only");
    case PassthroughMode::EditLists:
        return QStringLiteral("edit-lists");
    }
    return {};
}

std::optional<PassthroughMode> fromName(const QString& name)
{
    for (const PassthroughMode mode : {PassthroughMode::Exact, PassthroughMode::CopyOnly, PassthroughMode::EditLists})
        if (name.compare(PassthroughModes::name(mode), Qt::CaseInsensitive) == 0)
            return mode;
    return std::nullopt;
}

} // namespace PassthroughModes
