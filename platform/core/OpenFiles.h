// Files the program opened and checked itself, known by the path the rest of the program names them
// by. A reader that finds its path here reads through that descriptor instead of looking the path up
// again, so a name swapped for a link after the check changes nothing it reads.
//
// The registrant keeps each descriptor open while the program may read it. Any thread.
#pragma once

#include "Error.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace OpenFiles {
void add(const QString& path, int descriptor);
std::optional<int> descriptorFor(const QString& path);
// The content of a file from its start, at most `limit` bytes: through its registered descriptor (read
// by position, so other readers of it are not disturbed), else opened by path, never waiting, and only
// when it is a regular file. Nullopt, with the system's reason as the error's message, when it cannot be
// opened or is no regular file; a read that fails on the way gives what was read before it.
std::optional<QByteArray> readFile(const QString& path, qint64 limit, Error* error = nullptr);
} // namespace OpenFiles
