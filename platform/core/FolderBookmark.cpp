#include "FolderBookmark.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <sys/stat.h>

namespace FolderBookmark {

namespace {

Error bookmarkError(ErrorCode code, const QString& message) { return Error{QString::fromLatin1(kErrorDomain), code, message, {}, {}}; }

std::optional<Identity> identityOf(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return Identity{qint64(info.st_dev), qint64(info.st_ino)};
}

} // namespace

std::optional<QByteArray> create(const QString& folder, Error* error)
{
    const QFileInfo info(folder);
    if (!info.exists()) {
        setError(error, bookmarkError(NotFound, QStringLiteral("The folder \"%1\" does not exist.").arg(folder)));
        return std::nullopt;
    }
    if (!info.isDir()) {
        setError(error, bookmarkError(NotAFolder, QStringLiteral("\"%1\" is not a folder.").arg(folder)));
        return std::nullopt;
    }
    const QString path = info.canonicalFilePath();
    const std::optional<Identity> identity = identityOf(path);
    if (!identity) {
        setError(error, bookmarkError(NotFound, QStringLiteral("The folder \"%1\" cannot be examined.").arg(folder)));
        return std::nullopt;
    }
    const QJsonObject object{{QStringLiteral("path"), path},
                             {QStringLiteral("device"), QString::number(identity->device)},
                             {QStringLiteral("inode"), QString::number(identity->inode)}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<QString> resolve(const QByteArray& data, bool* stale, Error* error, Identity* recorded)
{
    const QJsonObject object = QJsonDocument::fromJson(data).object();
    const QString path = object.value(QStringLiteral("path")).toString();
    bool deviceOk = false, inodeOk = false;
    const qint64 device = object.value(QStringLiteral("device")).toString().toLongLong(&deviceOk);
    const qint64 inode = object.value(QStringLiteral("inode")).toString().toLongLong(&inodeOk);
    if (path.isEmpty() || !QDir::isAbsolutePath(path) || !deviceOk || !inodeOk) {
        setError(error, bookmarkError(DamagedData, QStringLiteral("The bookmark data is damaged.")));
        return std::nullopt;
    }
    if (recorded)
        *recorded = Identity{device, inode};
    const QFileInfo info(path);
    if (!info.exists()) {
        setError(error, bookmarkError(NotFound, QStringLiteral("The folder \"%1\" no longer exists.").arg(path)));
        return std::nullopt;
    }
    if (!info.isDir()) {
        setError(error, bookmarkError(NotAFolder, QStringLiteral("\"%1\" is no longer a folder.").arg(path)));
        return std::nullopt;
    }
    const std::optional<Identity> now = identityOf(path);
    if (stale)
        *stale = !now || now->device != device || now->inode != inode || info.canonicalFilePath() != path;
    return path;
}

QString sharedContainerPath(bool create)
{
    QString path = qEnvironmentVariable("CLIPWELL_CONTAINER_DIR");
    if (path.isEmpty()) {
        QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
        if (config.isEmpty())
            config = QDir::homePath() + QStringLiteral("/.config");
        path = config + QStringLiteral("/clipwell");
    }
    // Only a grant makes the folder; reading a grant that was never made leaves the disk as it was. A
    // folder that could never be made (a file stands in its way) is no container, as when making it.
    if (!create) {
        QFileInfo existing(QDir(path).absolutePath());
        while (!existing.exists() && !existing.isRoot())
            existing = QFileInfo(existing.absolutePath());
        return existing.isDir() ? QDir(path).absolutePath() : QString();
    }
    if (!QDir().mkpath(path) || !QFileInfo(path).isDir() || !QFileInfo(path).isWritable())
        return {};
    return QDir(path).absolutePath();
}

} // namespace FolderBookmark
