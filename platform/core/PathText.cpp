#include "PathText.h"

#include <QFile>

#include <unistd.h>

namespace PathText {

bool isExact(const QByteArray& name) { return QFile::encodeName(QFile::decodeName(name)) == name; }

QByteArray inexactCurrentFolder()
{
    char buffer[4096];
    if (!::getcwd(buffer, sizeof buffer))
        return {};
    const QByteArray folder(buffer);
    return isExact(folder) ? QByteArray() : folder;
}

} // namespace PathText
