#include "OutputFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>

namespace {
QString systemReason(int code) { return QString::fromLocal8Bit(std::strerror(code)); }
} // namespace

OutputFile::OutputFile(QString domain, int openFailureCode, int writeFailureCode, QString kind)
    : domain_(std::move(domain)), kind_(std::move(kind)), openFailureCode_(openFailureCode), writeFailureCode_(writeFailureCode)
{
}

bool OutputFile::open(const QString& path, Error* error)
{
    file_.reset(std::fopen(QFile::encodeName(path).constData(), "wb"));
    if (file_)
        return true;
    setError(
        error,
        Error{domain_, openFailureCode_, QStringLiteral("Failed to open output file \"%1\": %2").arg(path, systemReason(errno)), {}, {}});
    return false;
}

bool OutputFile::writeFailed(Error* error) const
{
    setError(error,
             Error{domain_, writeFailureCode_, QStringLiteral("Cannot write the %1 file: %2").arg(kind_, systemReason(errno)), {}, {}});
    return false;
}

bool OutputFile::write(const void* data, size_t size, Error* error)
{
    if (size == 0 || std::fwrite(data, 1, size, file_.get()) == size)
        return true;
    return writeFailed(error);
}

bool OutputFile::writeAt(int64_t offset, const void* data, size_t size, Error* error)
{
    if (std::fseek(file_.get(), long(offset), SEEK_SET) != 0)
        return writeFailed(error);
    return write(data, size, error) && (std::fseek(file_.get(), 0, SEEK_END) == 0 || writeFailed(error));
}

bool OutputFile::close(Error* error)
{
    FILE* file = file_.release();
    const bool flushed = std::fflush(file) == 0;
    const int flushError = errno;
    const bool closed = std::fclose(file) == 0;
    if (flushed && closed)
        return true;
    errno = flushed ? errno : flushError;
    return writeFailed(error);
}
