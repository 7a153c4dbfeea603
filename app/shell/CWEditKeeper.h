// Keeps a document's edits between sessions (CWEditMemory). When the document's window is up, the entry
// of its file is looked up off the main thread; found while nothing has been edited yet, its edits are
// put back as one undo step ("Restore Edits") and the window's bar says so, with Discard. From then on
// each change of the edits is saved off the main thread, in order, the latest last. Nothing happens
// while Preferences switch it off. Old entries are expired when a file is opened.
//
// Main thread; owned by its document. Destroying it waits for the saves already queued.
#pragma once

#include "CWEditMemory.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class CWBaseDocument;
class SerialQueue;

class CWEditKeeper : public QObject {
    Q_OBJECT
public:
    explicit CWEditKeeper(CWBaseDocument& document);
    ~CWEditKeeper() override;

    // Looks up the file's entry and starts saving.
    void start();
    // Waits until the lookups and saves queued so far are done (their results then wait on the main thread).
    void waitForQueuedWork();
    // Queues a save of the edits when they differ from the last saved (once the entry was looked up).
    void saveIfChanged();

private:
    void restore(const QString& key, const std::optional<CWEditMemory::Entry>& entry);

    CWBaseDocument& document_;
    std::unique_ptr<SerialQueue> queue_;
    MediaSource source_; // empty while not keeping
    QString key_;        // once looked up
    std::vector<CWCutList::Edit> saved_;
};
