#include "CWBookmarkManager.h"

#include "Log.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

const QString kBookmarkFileName = QStringLiteral("cli-access-bookmark.data");

Error managerError(CWBookmarkManager::ErrorCode code)
{
    return Error{QStringLiteral("CWBookmarkManager"),
                 code,
                 code == CWBookmarkManager::NoContainer ? QStringLiteral("Could not access App Group container")
                                                        : QStringLiteral("No bookmark exists"),
                 {},
                 {}};
}

constexpr int kFileSystemFailure = 1; // the one code of the "FileSystem" domain
Error fileError(const QString& message) { return Error{QStringLiteral("FileSystem"), kFileSystemFailure, message, {}, {}}; }

QString describe(const Error* error) { return error ? error->message : QStringLiteral("unknown error"); }

} // namespace

CWBookmarkManager& CWBookmarkManager::sharedManager()
{
    static CWBookmarkManager manager; // thread-safe one-time initialisation
    return manager;
}

QString CWBookmarkManager::sharedContainerURL(bool create) { return FolderBookmark::sharedContainerPath(create); }

void CWBookmarkManager::log(const QString& message) const
{
    if (verbose_)
        CWLog(QStringLiteral("[CWBookmarkManager] ") + message);
}

QString CWBookmarkManager::bookmarkFileURL(bool create) const
{
    const QString container = sharedContainerURL(create);
    if (container.isEmpty()) {
        log(QStringLiteral("ERROR: Could not access App Group container '%1'").arg(QString::fromLatin1(FolderBookmark::kApplicationGroup)));
        return {};
    }
    const QString path = container + QLatin1Char('/') + kBookmarkFileName;
    log(QStringLiteral("Bookmark file path: %1").arg(path));
    return path;
}

bool CWBookmarkManager::createBookmarkForFolder(const QString& folder, Error* error)
{
    log(QStringLiteral("Creating bookmark for folder: %1").arg(folder));
    const QString file = bookmarkFileURL(true);
    if (file.isEmpty()) {
        setError(error, managerError(NoContainer));
        return false;
    }
    // Neither the whole file system nor the settings (whose grant would let the tool rewrite its own
    // grant) is given to the tool.
    const QString canonical = QFileInfo(folder).canonicalFilePath(), settings = QFileInfo(sharedContainerURL()).canonicalFilePath();
    const auto refuse = [&](const QString& why) {
        setError(error, Error{QStringLiteral("CWBookmarkManager"), RefusedFolder, why, {}, {}});
        return false;
    };
    if (canonical == QLatin1String("/"))
        return refuse(QStringLiteral("The whole file system cannot be granted: choose the folder that holds your media."));
    if (!settings.isEmpty() && (canonical == settings || canonical.startsWith(settings + QLatin1Char('/'))))
        return refuse(
            QStringLiteral("\"%1\" is Clipwell's settings folder, which cannot be granted: choose the folder that holds your media.")
                .arg(folder));
    const std::optional<QByteArray> data = FolderBookmark::create(folder, error);
    if (!data) {
        log(QStringLiteral("ERROR: Failed to create bookmark data"));
        return false;
    }
    log(QStringLiteral("Writing bookmark data (%1 bytes) to: %2").arg(data->size()).arg(file));
    QSaveFile out(file);
    const bool written = out.open(QIODevice::WriteOnly) && out.write(*data) == data->size() && out.commit();
    if (written) {
        log(QStringLiteral("Successfully wrote bookmark to file"));
    } else {
        setError(error, fileError(QStringLiteral("Cannot write \"%1\": %2").arg(file, out.errorString())));
        log(QStringLiteral("ERROR: Failed to write bookmark to file: %1").arg(describe(error)));
    }
    return written;
}

std::optional<QString> CWBookmarkManager::resolveBookmark(Error* error, FolderBookmark::Identity* identity)
{
    log(QStringLiteral("Resolving bookmark"));
    const QString file = bookmarkFileURL();
    if (file.isEmpty()) {
        setError(error, managerError(NoContainer));
        return std::nullopt;
    }
    if (!QFileInfo(file).isFile()) {
        log(QStringLiteral("No bookmark file exists at: %1").arg(file));
        setError(error, managerError(NoBookmark));
        return std::nullopt;
    }
    log(QStringLiteral("Reading bookmark data from: %1").arg(file));
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) {
        setError(error, fileError(QStringLiteral("Cannot read \"%1\": %2").arg(file, in.errorString())));
        log(QStringLiteral("ERROR: Failed to read bookmark data: %1").arg(describe(error)));
        return std::nullopt;
    }
    // A grant is a path and an identity: anything much larger is not one, and is not read whole.
    constexpr qint64 kLargestBookmark = 64 * 1024;
    const QByteArray data = in.read(kLargestBookmark + 1);
    if (data.size() > kLargestBookmark) {
        setError(error, fileError(QStringLiteral("\"%1\" is larger than a grant can be: grant the folder again in Clipwell > "
                                                 "Preferences > CLI Access, or with: clipwell --grant-cli-access FOLDER")
                                      .arg(file)));
        log(QStringLiteral("ERROR: %1").arg(describe(error)));
        return std::nullopt;
    }
    log(QStringLiteral("Read bookmark data (%1 bytes), resolving...").arg(data.size()));
    bool stale = false;
    const std::optional<QString> folder = FolderBookmark::resolve(data, &stale, error, identity);
    if (!folder) {
        log(QStringLiteral("ERROR: Failed to resolve bookmark: %1").arg(describe(error)));
        return std::nullopt;
    }
    if (stale) {
        // Whatever is at the path now was never granted: granting it silently would hand over any
        // folder (or, through a link, the whole machine) to whoever can rename folders here.
        log(QStringLiteral("ERROR: Bookmark is stale: %1 is not the folder that was granted").arg(*folder));
        setError(error, Error{QStringLiteral("CWBookmarkManager"),
                              StaleBookmark,
                              QStringLiteral("The folder \"%1\" is no longer the folder that was granted (it was replaced, moved or "
                                             "turned into a link). Grant it again in Clipwell > Preferences > CLI Access, or with: "
                                             "clipwell --grant-cli-access FOLDER")
                                  .arg(*folder),
                              {},
                              {}});
        return std::nullopt;
    }
    log(QStringLiteral("Successfully resolved bookmark to: %1").arg(*folder));
    return folder;
}

bool CWBookmarkManager::hasBookmark() const
{
    const QString file = bookmarkFileURL();
    return !file.isEmpty() && QFileInfo(file).isFile();
}

void CWBookmarkManager::removeBookmark()
{
    log(QStringLiteral("Removing bookmark"));
    const QString file = bookmarkFileURL();
    if (file.isEmpty() || !QFileInfo(file).exists()) {
        log(QStringLiteral("No bookmark file to remove"));
        return;
    }
    log(QStringLiteral("Deleting bookmark file at: %1").arg(file));
    QFile f(file);
    if (f.remove())
        log(QStringLiteral("Successfully removed bookmark file"));
    else
        log(QStringLiteral("ERROR: Failed to remove bookmark file: %1").arg(f.errorString()));
}
