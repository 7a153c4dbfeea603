// How a pass-through copy joins and trims video.
//   Exact:     a piece that begins between keyframes has its pictures up to the next clean keyframe
//              encoded anew and the rest copied, so every player shows exactly the kept pictures and
//              the file needs no lead-ins (the default).
//   CopyOnly:  nothing is encoded anew: each piece begins at the keyframe at or before its start.
//   EditLists: MPEG-4 files copy each piece from its keyframe and hide the lead-in with an edit list
//              entry per piece (exact in players that honour edit lists); other containers have none,
//              and copy as CopyOnly does.
// Plain values; any thread.
#pragma once

#include <QString>

#include <optional>

enum class PassthroughMode { Exact, CopyOnly, EditLists };

namespace PassthroughModes {
// "exact", "copy-only", "edit-lists": the tool's words and the stored setting.
QString name(PassthroughMode mode);
std::optional<PassthroughMode> fromName(const QString& name);
} // namespace PassthroughModes
