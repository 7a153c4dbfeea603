#include "CWExportTarget.h"

#include <QFile>
#include <QFileInfo>

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
