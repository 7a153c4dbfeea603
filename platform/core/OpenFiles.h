// Files the program opened and checked itself, known by the path the rest of the program names them
// by. A reader that finds its path here reads through that descriptor instead of looking the path up
// again, so a name swapped for a link after the check changes nothing it reads.
//
// The registrant keeps each descriptor open while the program may read it. Any thread.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace OpenFiles {
void add(const QString& path, int descriptor);
std::optional<int> descriptorFor(const QString& path);
// The content of a registered file from its start, at most `limit` bytes (read by position, so other
// readers of the descriptor are not disturbed); nullopt when the path is not registered. A failed
// read gives what was read before it.
std::optional<QByteArray> read(const QString& path, qint64 limit);
} // namespace OpenFiles
