// The edits of each file kept between sessions, in the application's data folder
// ($XDG_DATA_HOME/clipwell/edits), never beside the user's media. A file is known by what identifies its
// content: its size, its modification time and a hash of its first and last MiB, so a renamed file is
// found again and a changed one is not taken for it. Each entry is one small JSON file, written whole
// (a new file renamed over the old); entries not saved for 90 days are removed by expire().
//
// Plain functions; any thread (the callers run them off the main thread: they read and write files).
// Failures leave the entries as they were and come back as Errors of the system's domain.
#pragma once

#include "CWCutList.h"
#include "Error.h"
#include "MediaSource.h"

#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

namespace CWEditMemory {

// Whether edits are kept at all (Preferences; on unless switched off).
bool isEnabled();
void setEnabled(bool enabled);
// The folder of the entries.
QString folder();

// The key of the file's content; empty when the file cannot be read.
QString keyFor(const MediaSource& file);

struct Entry {
    std::vector<CWCutList::Edit> edits;
    QDateTime saved;
};
// The entry of the key, when there is one and it can be read.
std::optional<Entry> recall(const QString& key);
// Keeps the edits under the key (at `now`); no edits forget the entry.
bool remember(const QString& key, const std::vector<CWCutList::Edit>& edits, const QDateTime& now, Error* error = nullptr);
// Removes the entries saved more than `days` days before `now`; returns how many.
int expire(const QDateTime& now, int days = 90);

} // namespace CWEditMemory
