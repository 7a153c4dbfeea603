#include "CWEditKeeper.h"

#include "CWBaseDocument.h"
#include "CWDocumentWindowController.h"
#include "CWProject.h"
#include "MainQueue.h"
#include "SerialQueue.h"

#include <QPointer>
#include <QUndoStack>

namespace {
bool sameEdits(const std::vector<CWCutList::Edit>& a, const std::vector<CWCutList::Edit>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const CWCutList::Edit& x, const CWCutList::Edit& y) {
        return CMTimeCompare(x.start, y.start) == 0 && CMTimeCompare(x.stop, y.stop) == 0;
    });
}
} // namespace

CWEditKeeper::CWEditKeeper(CWBaseDocument& document)
    : document_(document), queue_(std::make_unique<SerialQueue>(QStringLiteral("edit-memory")))
{
}

CWEditKeeper::~CWEditKeeper() { queue_.reset(); } // the saves already queued are written first

void CWEditKeeper::start()
{
    if (!CWEditMemory::isEnabled() || !document_.project())
        return;
    source_ = MediaSource(document_.fileURL());
    connect(document_.project().get(), &CWProject::projectChanged, this, &CWEditKeeper::saveIfChanged);
    QPointer<CWEditKeeper> self(this);
    queue_->async([self, source = source_] {
        const QString key = CWEditMemory::keyFor(source);
        std::optional<CWEditMemory::Entry> entry = CWEditMemory::recall(key);
        CWEditMemory::expire(QDateTime::currentDateTimeUtc());
        MainQueue::async([self, key, entry = std::move(entry)] {
            if (self)
                self->restore(key, entry);
        });
    });
}

void CWEditKeeper::waitForQueuedWork() { queue_->waitUntilIdle(); }

void CWEditKeeper::restore(const QString& key, const std::optional<CWEditMemory::Entry>& entry)
{
    key_ = key;
    const std::shared_ptr<CWProject> project = document_.project();
    // Only into a file nobody has edited yet in this window.
    if (key_.isEmpty() || !entry || !project->edits().empty() || document_.undoStack()->count() > 0)
        return saveIfChanged();
    saved_ = entry->edits;
    project->replaceEdits(entry->edits, tr("Restore Edits"));
    int cuts = 0, splits = 0;
    for (const CWCutList::Edit& edit : entry->edits)
        ++(CMTimeCompare(edit.start, edit.stop) == 0 ? splits : cuts);
    for (const QPointer<CWDocumentWindowController>& window : document_.windowControllers())
        if (window)
            window->showRestoredEdits(cuts, splits, entry->saved);
}

void CWEditKeeper::saveIfChanged()
{
    if (source_.isEmpty())
        return; // not keeping
    std::vector<CWCutList::Edit> edits = document_.project()->edits();
    if (sameEdits(edits, saved_))
        return;
    saved_ = edits;
    // An edit made before the file's entry was looked up is kept under the key found then.
    queue_->async([key = key_, source = source_, edits = std::move(edits)] {
        CWEditMemory::remember(key.isEmpty() ? CWEditMemory::keyFor(source) : key, edits, QDateTime::currentDateTimeUtc());
    });
}
