// Folder bookmarks and the shared container, the Linux stand-ins for security-scoped bookmarks and
// the application-group container.
//
// Bookmark data records a folder's absolute path (symbolic links and ".." resolved) and its identity
// (device and inode). Resolving finds the folder at that path again and calls the bookmark stale when
// the folder there is not the one that was recorded (it was replaced). Damaged data, a path that no
// longer exists or is no longer a folder fail with an Error in the domain "FolderBookmark".
// The shared container is $CLIPWELL_CONTAINER_DIR when set (tests), else $XDG_CONFIG_HOME/clipwell
// (~/.config/clipwell); an empty result means there is no access to it. Plain functions, any thread.
#pragma once

#include "Error.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace FolderBookmark {

inline constexpr const char* kErrorDomain = "FolderBookmark";
enum ErrorCode { NotFound = 1, NotAFolder = 2, DamagedData = 3 };

// The name the shared container goes by in messages.
inline constexpr const char* kApplicationGroup = "clipwell";

// The folder a bookmark was made for: its device and inode.
struct Identity {
    qint64 device = 0;
    qint64 inode = 0;
};

std::optional<QByteArray> create(const QString& folder, Error* error);
// The recorded path; `recorded` (when given) receives the recorded identity.
std::optional<QString> resolve(const QByteArray& data, bool* stale, Error* error, Identity* recorded = nullptr);
// The settings folder that holds the grant; made (and then empty when it cannot be) only with `create`.
QString sharedContainerPath(bool create = false);

} // namespace FolderBookmark
