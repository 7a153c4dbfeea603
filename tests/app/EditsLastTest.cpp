// Edits that last: the cuts of a file are kept as they change and come back when the file is opened
// again (also under another name), with a bar that says so and can discard them as an undoable step; a
// changed file gets nothing, and nothing is written beside the media.
#include "CWEditKeeper.h"
#include "CWEditMemory.h"
#include "CWRestoredEditsBar.h"
#include "DocumentHarness.h"

#include <QLabel>
#include <QLocale>

namespace {
bool sameEdits(const std::vector<CWCutList::Edit>& a, const std::vector<CWCutList::Edit>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const CWCutList::Edit& x, const CWCutList::Edit& y) {
        return CMTimeCompare(x.start, y.start) == 0 && CMTimeCompare(x.stop, y.stop) == 0;
    });
}
} // namespace

TEST_F(DocumentTest, EditsComeBackWhenTheFileIsOpenedAgain)
{
    CWEditMemory::setEnabled(true);
    const auto off = qScopeGuard([] { CWEditMemory::setEnabled(false); });
    QTemporaryDir media;
    const QString file = media.filePath(QStringLiteral("keep.mp4"));
    ASSERT_TRUE(QFile::copy(h264WithBFrames(), file));
    const QString key = CWEditMemory::keyFor(MediaSource(file));
    ASSERT_FALSE(key.isEmpty());
    // Closing ends each document once its window is gone (a deferred deletion), with its last save.
    const auto closeAll = [&] {
        controller_->terminate();
        ASSERT_TRUE(runEventLoopUntil([&] { return controller_->documents().empty(); }, 20000));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    };

    // Edited and closed: the entry holds the edits by the time the window is gone.
    CWBaseDocument* document = open(file);
    ASSERT_TRUE(document);
    std::shared_ptr<CWProject> project = document->project();
    ASSERT_TRUE(project->addCutAt(CMTimeMake(1200, 1000)));
    ASSERT_TRUE(project->addCutAt(CMTimeMake(2400, 1000)));
    ASSERT_TRUE(project->addSplitAt(CMTimeMake(5, 1)));
    project->waitForQueuedWork();
    const std::vector<CWCutList::Edit> edits = project->edits();
    EXPECT_FALSE(windowOf(document)->restoredEditsBar()->isVisible());
    runQueuedCalls();
    document->editKeeper()->waitForQueuedWork();
    EXPECT_TRUE(CWEditMemory::recall(key)) << "kept as it changed, before the window closes";
    closeAll();
    const std::optional<CWEditMemory::Entry> kept = CWEditMemory::recall(key);
    ASSERT_TRUE(kept);
    EXPECT_TRUE(sameEdits(kept->edits, edits));
    EXPECT_EQ(QDir(media.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"keep.mp4"});

    // Opened again under another name: restored as one undo step, and the bar says so.
    ASSERT_TRUE(QFile::rename(file, media.filePath(QStringLiteral("renamed.mp4"))));
    document = open(media.filePath(QStringLiteral("renamed.mp4")));
    ASSERT_TRUE(document);
    project = document->project();
    CWRestoredEditsBar* bar = windowOf(document)->restoredEditsBar();
    ASSERT_TRUE(runEventLoopUntil([&] { return bar->isVisible(); }));
    EXPECT_TRUE(sameEdits(project->edits(), edits));
    EXPECT_EQ(bar->label()->text(), QStringLiteral("Restored 1 cut and 1 split from %1")
                                        .arg(QLocale(QLocale::English).toString(QDate::currentDate(), QStringLiteral("d MMMM"))));
    EXPECT_EQ(document->undoStack()->undoText(), QStringLiteral("Restore Edits"));
    // Discard removes them, undoably; what is kept follows.
    bar->discardButton()->click();
    EXPECT_FALSE(bar->isVisible());
    EXPECT_TRUE(project->edits().empty());
    EXPECT_EQ(document->undoStack()->undoText(), QStringLiteral("Discard Restored Edits"));
    document->undoStack()->undo();
    EXPECT_TRUE(sameEdits(project->edits(), edits));
    ASSERT_TRUE(project->removeCutAt(CMTimeMake(1500, 1000)));
    project->waitForQueuedWork();
    const std::vector<CWCutList::Edit> fewer = project->edits();
    ASSERT_EQ(fewer.size(), 1u);
    closeAll();
    ASSERT_TRUE(CWEditMemory::recall(key));
    EXPECT_TRUE(sameEdits(CWEditMemory::recall(key)->edits, fewer));

    // A changed file is another file: nothing comes back, and the old entry stays for the old content.
    QFile changed(media.filePath(QStringLiteral("renamed.mp4")));
    ASSERT_TRUE(changed.open(QIODevice::Append));
    changed.write("x");
    changed.close();
    document = open(changed.fileName());
    ASSERT_TRUE(document);
    document->editKeeper()->waitForQueuedWork();
    runQueuedCalls();
    EXPECT_TRUE(document->project()->edits().empty());
    EXPECT_FALSE(windowOf(document)->restoredEditsBar()->isVisible());
    runQueuedCalls();
    document->editKeeper()->waitForQueuedWork();
    EXPECT_TRUE(CWEditMemory::recall(key)) << "kept as it changed, before the window closes";
    closeAll();
    EXPECT_TRUE(CWEditMemory::recall(key));
    CWEditMemory::remember(key, {}, QDateTime::currentDateTimeUtc());
}

// A file keeps its key under another name; touched, or changed in its middle only, it gets another.
TEST(CWEditMemory, TheKeyFollowsTheContentNotTheName)
{
    QTemporaryDir folder;
    const QString first = folder.filePath(QStringLiteral("a.bin")), second = folder.filePath(QStringLiteral("b.bin"));
    writeFile(first, QByteArray(3 << 20, 'a'));
    const QDateTime modified(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC);
    {
        QFile made(first);
        ASSERT_TRUE(made.open(QIODevice::ReadWrite));
        ASSERT_TRUE(made.setFileTime(modified, QFileDevice::FileModificationTime));
    }
    const QString key = CWEditMemory::keyFor(MediaSource(first));
    ASSERT_EQ(key.size(), 64);
    ASSERT_TRUE(QFile::rename(first, second));
    EXPECT_EQ(CWEditMemory::keyFor(MediaSource(second)), key);
    QFile file(second);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.seek(3 << 19));
    file.write("b"); // the middle, which the hash does not read
    ASSERT_TRUE(file.flush());
    ASSERT_TRUE(file.setFileTime(modified, QFileDevice::FileModificationTime));
    file.close();
    EXPECT_EQ(CWEditMemory::keyFor(MediaSource(second)), key) << "same size, ends and time: taken for the same";
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(modified.addSecs(1), QFileDevice::FileModificationTime));
    file.close();
    EXPECT_NE(CWEditMemory::keyFor(MediaSource(second)), key);
    EXPECT_TRUE(CWEditMemory::keyFor(MediaSource(folder.filePath(QStringLiteral("missing")))).isEmpty());
}

// Entries not kept for 90 days go; a damaged entry restores nothing.
TEST(CWEditMemory, OldAndDamagedEntriesRestoreNothing)
{
    const QString key = QStringLiteral("test-entry-") + QString::number(QCoreApplication::applicationPid());
    const std::vector<CWCutList::Edit> edits{{CMTimeMake(1, 1), CMTimeMake(2, 1)}};
    const QDateTime now = QDateTime::currentDateTimeUtc();
    ASSERT_TRUE(CWEditMemory::remember(key, edits, now.addDays(-89)));
    EXPECT_EQ(CWEditMemory::expire(now), 0);
    ASSERT_TRUE(CWEditMemory::recall(key));
    ASSERT_TRUE(CWEditMemory::remember(key, edits, now.addDays(-91)));
    EXPECT_EQ(CWEditMemory::expire(now), 1);
    EXPECT_FALSE(CWEditMemory::recall(key));
    writeFile(CWEditMemory::folder() + QLatin1Char('/') + key + QStringLiteral(".json"),
              R"({"saved":"2026-12-01T10:00:00.000Z","edits":[{"start":[2,1],"stop":[1,1]}]})");
    EXPECT_FALSE(CWEditMemory::recall(key));
    QFile::remove(CWEditMemory::folder() + QLatin1Char('/') + key + QStringLiteral(".json"));
}
