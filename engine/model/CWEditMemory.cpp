#include "CWEditMemory.h"

#include "UserDefaults.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace CWEditMemory {

namespace {
constexpr const char* kEnabledKey = "RememberEdits";
constexpr qint64 kHashedBytes = 1 << 20;

QJsonArray timeJson(CMTime time) { return QJsonArray{qint64(time.value), qint64(time.timescale)}; }

CMTime timeFromJson(const QJsonValue& value)
{
    const QJsonArray pair = value.toArray();
    const qint64 timescale = pair.size() == 2 ? pair[1].toInteger() : 0;
    if (timescale <= 0 || timescale > INT32_MAX)
        return kCMTimeInvalid;
    return CMTimeMake(pair[0].toInteger(), int32_t(timescale));
}

QString entryPath(const QString& key) { return folder() + QLatin1Char('/') + key + QStringLiteral(".json"); }
} // namespace

bool isEnabled() { return UserDefaults::boolForKey(QString::fromLatin1(kEnabledKey), true); }

void setEnabled(bool enabled) { UserDefaults::setBool(QString::fromLatin1(kEnabledKey), enabled); }

QString folder() { return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/clipwell/edits"); }

QString keyFor(const MediaSource& file)
{
    const int fd = file.openOwnDescriptor();
    struct stat info {};
    QFile content;
    if (fd < 0 || ::fstat(fd, &info) != 0 || !content.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0)
            ::close(fd);
        return {};
    }
    const qint64 size = info.st_size;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QByteArray::number(size) + ' ' + QByteArray::number(qint64(info.st_mtim.tv_sec)) + '.' +
                 QByteArray::number(qint64(info.st_mtim.tv_nsec)));
    const QByteArray head = content.read(kHashedBytes);
    if (head.size() != std::min(size, kHashedBytes))
        return {};
    hash.addData(head);
    if (size > kHashedBytes) {
        if (!content.seek(std::max(kHashedBytes, size - kHashedBytes)))
            return {};
        hash.addData(content.read(kHashedBytes));
    }
    return QString::fromLatin1(hash.result().toHex());
}

std::optional<Entry> recall(const QString& key)
{
    QFile file(entryPath(key));
    if (key.isEmpty() || !file.open(QIODevice::ReadOnly) || file.size() > (16 << 20))
        return std::nullopt;
    const QJsonObject object = QJsonDocument::fromJson(file.readAll()).object();
    Entry entry;
    entry.saved = QDateTime::fromString(object.value(QStringLiteral("saved")).toString(), Qt::ISODateWithMs);
    for (const QJsonValue& value : object.value(QStringLiteral("edits")).toArray()) {
        const QJsonObject edit = value.toObject();
        const CMTime start = timeFromJson(edit.value(QStringLiteral("start"))), stop = timeFromJson(edit.value(QStringLiteral("stop")));
        if (!CMTIME_IS_NUMERIC(start) || !CMTIME_IS_NUMERIC(stop) || CMTimeCompare(stop, start) < 0)
            return std::nullopt; // damaged: nothing of it is used
        entry.edits.push_back({start, stop});
    }
    if (!entry.saved.isValid() || entry.edits.empty())
        return std::nullopt;
    return entry;
}

bool remember(const QString& key, const std::vector<CWCutList::Edit>& edits, const QDateTime& now, Error* error)
{
    if (key.isEmpty())
        return false;
    if (edits.empty()) {
        QFile::remove(entryPath(key));
        return true;
    }
    QJsonArray list;
    for (const CWCutList::Edit& edit : edits)
        list.append(QJsonObject{{QStringLiteral("start"), timeJson(edit.start)}, {QStringLiteral("stop"), timeJson(edit.stop)}});
    const QByteArray json =
        QJsonDocument(QJsonObject{{QStringLiteral("saved"), now.toUTC().toString(Qt::ISODateWithMs)}, {QStringLiteral("edits"), list}})
            .toJson(QJsonDocument::Compact);
    QDir().mkpath(folder());
    QSaveFile file(entryPath(key));
    if (file.open(QIODevice::WriteOnly) && file.write(json) == json.size() && file.commit())
        return true;
    setError(error, systemError(EIO, QStringLiteral("Cannot keep the edits in \"%1\": %2").arg(file.fileName(), file.errorString())));
    return false;
}

int expire(const QDateTime& now, int days)
{
    int removed = 0;
    const QDir entries(folder());
    for (const QString& name : entries.entryList({QStringLiteral("*.json")}, QDir::Files)) {
        const QString key = name.chopped(5);
        const std::optional<Entry> entry = recall(key);
        const QDateTime saved = entry ? entry->saved : QFileInfo(entries.filePath(name)).lastModified();
        if (saved.daysTo(now) > days && QFile::remove(entries.filePath(name)))
            ++removed;
    }
    return removed;
}

} // namespace CWEditMemory
