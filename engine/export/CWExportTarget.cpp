#include "CWExportTarget.h"

#include "CWWorkingFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

CWExportTarget CWExportTarget::fileInHeldFolder(SharedDescriptor folder, QString path)
{
    CWExportTarget target(std::move(path));
    target.folder_ = std::move(folder);
    return target;
}

CWExportTarget CWExportTarget::heldFolder(SharedDescriptor folder, QString path)
{
    CWExportTarget target = fileInHeldFolder(std::move(folder), std::move(path));
    target.isFolder_ = true;
    return target;
}

CWExportTarget CWExportTarget::fileNamed(const QString& name) const
{
    CWExportTarget file(path_ + QLatin1Char('/') + name);
    file.folder_ = folder_;
    return file;
}

CWExportTarget CWExportTarget::sibling(const QString& name) const
{
    CWExportTarget file(QFileInfo(path_).absolutePath() + QLatin1Char('/') + name);
    file.folder_ = folder_;
    return file;
}

QString CWExportTarget::fileName() const { return QFileInfo(path_).fileName(); }

int CWExportTarget::openFolder() const
{
    if (folder_)
        return ::fcntl(folder_.get(), F_DUPFD_CLOEXEC, 0);
    const QString folder = isFolder_ ? path_ : QFileInfo(path_).absolutePath();
    return ::open(QFile::encodeName(folder).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

std::optional<struct stat> CWExportTarget::existing() const
{
    struct stat info {};
    const bool found = folder_ && !isFolder_ ? ::fstatat(folder_.get(), QFile::encodeName(fileName()).constData(), &info, 0) == 0
                                             : ::stat(QFile::encodeName(path_).constData(), &info) == 0;
    return found ? std::optional<struct stat>(info) : std::nullopt;
}

bool CWExportTarget::writeWhole(const QByteArray& bytes, Error* error) const
{
    auto failed = [&](int code, const QString& what) {
        setError(error, systemError(code, QStringLiteral("%1 \"%2\": %3").arg(what, path_, QString::fromLocal8Bit(std::strerror(code)))));
        return false;
    };
    const SharedDescriptor folder(openFolder());
    if (!folder)
        return failed(errno, QStringLiteral("Cannot open the folder of"));
    CWWorkingFile file(folder.get());
    if (!file.isOpen())
        return failed(errno, QStringLiteral("Cannot create"));
    for (qsizetype written = 0; written < bytes.size();) {
        const ssize_t step = ::write(file.descriptor(), bytes.constData() + written, size_t(bytes.size() - written));
        if (step < 0 && errno == EINTR)
            continue;
        if (step < 0)
            return failed(errno, QStringLiteral("Cannot write"));
        written += step;
    }
    if (!file.moveTo(QFile::encodeName(fileName())))
        return failed(errno, QStringLiteral("Cannot name"));
    return true;
}
