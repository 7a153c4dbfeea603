// The tool's only enforcement of where it may read and write: a path is inside the granted folder when,
// with symbolic links and ".." resolved, it is the folder or lies beneath it. For a path that does not
// exist yet (an output), its nearest existing parent is resolved and the rest appended.
#pragma once

#include <QString>

namespace CWFolderAccess {
QString resolvedPath(const QString& path);
bool isWithin(const QString& path, const QString& folder);
} // namespace CWFolderAccess
