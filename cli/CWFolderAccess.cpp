#include "CWFolderAccess.h"

#include <QDir>
#include <QFileInfo>

namespace CWFolderAccess {

QString resolvedPath(const QString& path)
{
    QString existing = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    QStringList rest;
    // Walk up to the nearest part that exists, resolve it, then add back what does not exist yet.
    while (!QFileInfo::exists(existing) && existing != QLatin1String("/")) {
        rest.prepend(QFileInfo(existing).fileName());
        existing = QFileInfo(existing).path();
    }
    QString resolved = QFileInfo(existing).canonicalFilePath();
    if (resolved.isEmpty())
        resolved = existing;
    for (const QString& part : rest)
        resolved = QDir::cleanPath(resolved + QLatin1Char('/') + part);
    return resolved;
}

bool isWithin(const QString& path, const QString& folder)
{
    const QString candidate = resolvedPath(path);
    QString root = resolvedPath(folder);
    if (candidate == root)
        return true;
    if (!root.endsWith(QLatin1Char('/')))
        root += QLatin1Char('/');
    return candidate.startsWith(root);
}

} // namespace CWFolderAccess
