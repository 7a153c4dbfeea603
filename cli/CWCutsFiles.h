// The files of --cuts-from, each with its place among the time options. A plain list of times (one per
// line, blank lines allowed) becomes cut times at that place as soon as it is loaded, as it always did;
// the other cut lists (CSV, EDL, chapters: see CWCutList) need the source's length and frame rate and
// become cuts and split points at their place once the project is known. Each file is at most 64 MiB,
// and all plain lists with the cuts given as options at most kMaximumCuts times. Main thread.
#pragma once

#include "CWCutList.h"
#include "CWTimeOperation.h"
#include "Error.h"
#include "MediaSource.h"

#include <QStringList>

#include <atomic>
#include <vector>

class CWCutsFiles {
public:
    static constexpr size_t kMaximumCuts = 1000000;

    // The file named by the user, whose edits go before the time option at `place`.
    void add(const QString& path, size_t place) { files_.emplace_back(MediaSource(path), place); }
    bool isEmpty() const { return files_.empty() && lists_.empty(); }
    QStringList paths() const;
    // The files to read instead (held open by the tool), in the order they were added.
    void useFiles(const std::vector<MediaSource>& files);
    // Reads every file: plain times go into `operations`, the other lists are kept for expandInto().
    // Stops, failing, once *stop is set.
    bool load(std::vector<CWTimeOperation>& operations, Error* error, const std::atomic<bool>* stop);
    // The kept lists' edits as time operations, each list at its place (after load()).
    bool expandInto(std::vector<CWTimeOperation>& operations, const CWCutList::Source& source, Error* error) const;

private:
    std::vector<std::pair<MediaSource, size_t>> files_; // the file, and where among the operations its cuts go
    struct List {
        QByteArray content;
        size_t place;
        QString path;
    };
    std::vector<List> lists_;
};
