// Documents in the application, driven through their real windows and Qt's own file dialogs: which
// files open as which kind and how refusals read, exports of one file and of one file per piece
// judged by ffmpeg's decoding, cancelled dialogs, stopping an export and closing its window (nothing
// left at the target, no alert), two exports in a row, the taskbar signal and "Show File" as other
// programs receive them on the test's private session bus, undo and redo names, recent files.
#include "DocumentHarness.h"

#include <QDBusConnection>

using namespace TestMedia;

// What a file manager and a dock receive from the application.
class DesktopListener : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QStringList shownItems;
    struct Update {
        double progress;
        bool visible;
    };
    std::vector<Update> taskbar;

public slots:
    Q_SCRIPTABLE void ShowItems(const QStringList& uris, const QString&) { shownItems += uris; }
    void launcherEntryUpdate(const QString& entry, const QVariantMap& properties)
    {
        if (entry == QLatin1String(TaskbarProgress::kLauncherEntry))
            taskbar.push_back(
                {properties.value(QStringLiteral("progress")).toDouble(), properties.value(QStringLiteral("progress-visible")).toBool()});
    }
};

TEST_F(DocumentTest, OpensEachKindAndExplainsWhatItCannotOpen)
{
    CWBaseDocument* video = open(h264WithBFrames());
    ASSERT_TRUE(video);
    EXPECT_TRUE(qobject_cast<CWVideoDocument*>(video));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(windowOf(video)));
    EXPECT_EQ(windowOf(video)->windowTitle(), QFileInfo(h264WithBFrames()).fileName());
    EXPECT_TRUE(editing(video));
    // Cover art is no picture track: the MP3 is an audio document.
    CWBaseDocument* audio = open(mp3WithCover());
    ASSERT_TRUE(audio);
    EXPECT_TRUE(qobject_cast<CWAudioDocument*>(audio));
    EXPECT_TRUE(qobject_cast<CWAudioDocument*>(open(wav())));
    // The same file again brings its window forward instead of a second document.
    EXPECT_EQ(open(h264WithBFrames()), video);
    EXPECT_EQ(controller_->documents().size(), 3u);

    QFile text(target(QStringLiteral("notes.mp4")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("these are not the frames you are looking for\n");
    text.close();
    QFile source(h264WithBFrames());
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    QFile truncated(target(QStringLiteral("truncated.mp4")));
    ASSERT_TRUE(truncated.open(QIODevice::WriteOnly));
    truncated.write(source.read(source.size() / 3)); // the index is at the end: lost
    truncated.close();
    for (const QString& path : {text.fileName(), truncated.fileName(), target(QStringLiteral("missing.mp4"))}) {
        Error error;
        EXPECT_FALSE(controller_->openDocumentWithContentsOfURL(path, &error)) << path.toStdString();
        EXPECT_EQ(error.domain, QLatin1String("Clipwell"));
        EXPECT_EQ(error.code, 1);
        EXPECT_EQ(error.message, QLatin1String("Unsupported file format"));
        EXPECT_FALSE(error.failureReason.isEmpty()) << "the reader's own reason goes along";
    }

    // Opened by the user, a refusal is an alert naming the file; the others stay open.
    controller_->openDocuments({text.fileName()});
    ASSERT_TRUE(runEventLoopUntil([&] { return controller_->openFailureAlert() != nullptr; }));
    QMessageBox* alert = controller_->openFailureAlert();
    EXPECT_TRUE(alert->text().contains(QStringLiteral("“notes.mp4”")));
    EXPECT_TRUE(alert->informativeText().startsWith(QStringLiteral("Unsupported file format")));
    alert->close();
    runQueuedCalls();
    EXPECT_EQ(quitRequests_, 0);

    // Recent files: newest first, the same file once, and "Clear Menu".
    QMenu* recent = windowOf(video)->recentMenu();
    emit recent->aboutToShow();
    QStringList titles;
    for (QAction* action : recent->actions())
        titles << action->text();
    EXPECT_EQ(titles, (QStringList{QFileInfo(wav()).fileName(), QFileInfo(mp3WithCover()).fileName(),
                                   QFileInfo(h264WithBFrames()).fileName(), QString(), QStringLiteral("Clear Menu")}));
    // Two files of one name from different folders are told apart by their folders.
    const QString otherFolder = target(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QDir().mkpath(otherFolder));
    const QString sameName = otherFolder + QLatin1Char('/') + QFileInfo(wav()).fileName();
    ASSERT_TRUE(QFile::copy(wav(), sameName));
    controller_->noteNewRecentDocumentURL(sameName);
    emit recent->aboutToShow();
    EXPECT_EQ(recent->actions().at(0)->text(), QFileInfo(wav()).fileName() + QStringLiteral(" — elsewhere"));
    EXPECT_EQ(recent->actions().at(1)->text(),
              QFileInfo(wav()).fileName() + QStringLiteral(" — ") + QFileInfo(QFileInfo(wav()).absolutePath()).fileName());
    EXPECT_EQ(recent->actions().at(2)->text(), QFileInfo(mp3WithCover()).fileName()) << "names that are not shared stay alone";
    recent->actions().last()->trigger();
    emit recent->aboutToShow();
    EXPECT_EQ(recent->actions().size(), 2);
    EXPECT_FALSE(recent->actions().last()->isEnabled());
}

TEST_F(DocumentTest, ALaunchWithoutFilesAsksForOneAndEndsWhenNothingIsOpen)
{
    controller_->openDocument();
    QFileDialog* dialog = controller_->openDialog();
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(runEventLoopUntil([&] { return dialog->isVisible(); }));
    dialog->reject();
    ASSERT_TRUE(runEventLoopUntil([&] { return quitRequests_ > 0; }));

    quitRequests_ = 0;
    controller_->openDocument();
    dialog = controller_->openDialog();
    ASSERT_TRUE(runEventLoopUntil([&] { return dialog->isVisible(); }));
    choose(dialog, wav());
    ASSERT_TRUE(runEventLoopUntil([&] { return controller_->documents().size() == 1; }));
    runQueuedCalls();
    EXPECT_EQ(quitRequests_, 0) << "a window is open";
    controller_->terminate();
    EXPECT_TRUE(runEventLoopUntil([&] { return quitRequests_ > 0; }));

    // A file that cannot be opened, with nothing else open: the alert, then the end.
    quitRequests_ = 0;
    controller_->openDocuments({target(QStringLiteral("missing.wav"))});
    ASSERT_TRUE(runEventLoopUntil([&] { return controller_->openFailureAlert() != nullptr; }));
    runQueuedCalls();
    EXPECT_EQ(quitRequests_, 0) << "not while the alert is up";
    controller_->openFailureAlert()->close();
    EXPECT_TRUE(runEventLoopUntil([&] { return quitRequests_ > 0; }));

    controller_->setPrepareForScreenshot(true);
    CWBaseDocument* document = open(wav());
    ASSERT_TRUE(document);
    EXPECT_EQ(windowOf(document)->size(), CWDocumentWindowController::kScreenshotSize);
}

TEST_F(DocumentTest, ExportsOneFileThroughTheSaveDialogTwiceInARow)
{
    DesktopListener desktop;
    QDBusConnection bus = QDBusConnection::sessionBus();
    ASSERT_TRUE(bus.isConnected()) << "the test program has a session bus of its own";
    ASSERT_TRUE(bus.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &desktop, QDBusConnection::ExportScriptableSlots));
    ASSERT_TRUE(bus.registerService(QStringLiteral("org.freedesktop.FileManager1")));
    ASSERT_TRUE(bus.connect(QString(), QString(), QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"), &desktop,
                            SLOT(launcherEntryUpdate(QString, QVariantMap))));
    TaskbarProgress taskbar;

    CWBaseDocument* document = open(h264WithBFrames(), "passthrough");
    ASSERT_TRUE(document);
    CWDocumentWindowController* window = windowOf(document);
    ASSERT_TRUE(document->project()->addCutAt(CMTimeMake(2, 1)));
    ASSERT_TRUE(document->project()->addCutAt(CMTimeMake(4, 1)));

    window->startButton()->trigger();
    auto* dialog = waitForChild<QFileDialog>(window, "exportDialog");
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    EXPECT_EQ(dialog->defaultSuffix(), QLatin1String("mp4"));
    EXPECT_EQ(QFileInfo(dialog->selectedFiles().value(0)).fileName(),
              QFileInfo(h264WithBFrames()).completeBaseName() + QStringLiteral(" - ") + document->project()->preset()->defaultFileSuffix() +
                  QStringLiteral(".mp4"));
    const QString first = target(QStringLiteral("kept.mp4"));
    choose(dialog, first);
    ASSERT_TRUE(runEventLoopUntil([&] { return document->isExporting(); }));
    EXPECT_FALSE(window->startButton()->isEnabled());
    EXPECT_TRUE(window->stopButton()->isEnabled());
    EXPECT_TRUE(window->progressIndicator()->isVisible());

    QMessageBox* alert = waitForAlert(document);
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->text(), QLatin1String("Export successful"));
    EXPECT_EQ(alert->informativeText(), QStringLiteral("Saved as “kept.mp4” in the folder “%1”.").arg(output_.path()));
    EXPECT_TRUE(editing(document));
    EXPECT_EQ(window->windowTitle(), QFileInfo(h264WithBFrames()).fileName());
    auto* showFile = alert->findChild<QPushButton*>(QStringLiteral("showFileButton"));
    ASSERT_TRUE(showFile);
    EXPECT_EQ(showFile->text(), QLatin1String("Show File"));
    EXPECT_EQ(showFile->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
    showFile->click();
    ASSERT_TRUE(runEventLoopUntil([&] { return !desktop.shownItems.isEmpty(); }));
    EXPECT_EQ(desktop.shownItems, QStringList{QUrl::fromLocalFile(first).toString()});

    // The viewer sees frames 0–49 and 100–249: the cut is gone to the frame.
    Decoded decoded = decode(first);
    std::vector<int> expected = range(0, 50);
    for (int n : range(100, 250))
        expected.push_back(n);
    EXPECT_EQ(decoded.frameNumbers, expected);
    EXPECT_EQ(decoded.messages, QByteArray());

    // The taskbar: 0 at the start, fractions on the way, cleared at the end (signals arrive through the bus).
    ASSERT_TRUE(runEventLoopUntil([&] { return desktop.taskbar.size() >= 2 && !desktop.taskbar.back().visible; }));
    EXPECT_TRUE(desktop.taskbar.front().visible);
    EXPECT_EQ(desktop.taskbar.front().progress, 0.0);
    EXPECT_FALSE(desktop.taskbar.back().visible);
    for (size_t i = 1; i + 1 < desktop.taskbar.size(); ++i) {
        EXPECT_TRUE(desktop.taskbar[i].visible);
        EXPECT_GE(desktop.taskbar[i].progress, 0.0);
        EXPECT_LE(desktop.taskbar[i].progress, 1.0);
    }

    // Right after, a second export with another preset.
    desktop.shownItems.clear();
    document->project()->changePresetTo(CWPreset::classWithIdentifier(QStringLiteral("m4a"))->create());
    window->startButton()->trigger();
    dialog = waitForChild<QFileDialog>(window, "exportDialog");
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->defaultSuffix(), QLatin1String("m4a"));
    const QString second = target(QStringLiteral("kept.m4a"));
    choose(dialog, second);
    alert = waitForAlert(document);
    ASSERT_TRUE(alert && alert->text() == QLatin1String("Export successful"));
    alert->close();
    const QJsonObject probed = probe(second);
    EXPECT_NEAR(probed.value(QStringLiteral("format")).toObject().value(QStringLiteral("duration")).toString().toDouble(), 8.0, 0.05);
    EXPECT_TRUE(desktop.shownItems.isEmpty()) << "OK does not show the file";
    bus.unregisterService(QStringLiteral("org.freedesktop.FileManager1"));
    bus.unregisterObject(QStringLiteral("/org/freedesktop/FileManager1"));
}

TEST_F(DocumentTest, ExportsEachKeptPieceIntoAChosenFolder)
{
    CWBaseDocument* document = open(wav(), "flac");
    ASSERT_TRUE(document);
    CWDocumentWindowController* window = windowOf(document);
    ASSERT_TRUE(document->project()->addSplitAt(CMTimeMake(2, 5)));
    document->project()->waitForQueuedWork();
    const QString folder = target(QStringLiteral("pieces"));
    ASSERT_TRUE(QDir().mkpath(folder));

    window->exportAllButton()->trigger();
    auto* dialog = waitForChild<QFileDialog>(window, "exportAllDialog");
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
    EXPECT_EQ(dialog->labelText(QFileDialog::Accept), QLatin1String("Save All"));
    choose(dialog, folder);
    QMessageBox* alert = waitForAlert(document);
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->text(), QLatin1String("Export successful"));
    EXPECT_EQ(alert->informativeText(), QStringLiteral("2 files saved in the folder “%1”.").arg(folder));

    // Without a file manager on the bus or xdg-open on the path, Show File says it showed nothing.
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", "/nonexistent");
    alert->findChild<QPushButton*>(QStringLiteral("showFileButton"))->click();
    ASSERT_TRUE(runEventLoopUntil([&] { return document->exportAlert() && document->exportAlert() != alert; }, 10000));
    qputenv("PATH", path);
    alert = qobject_cast<QMessageBox*>(document->exportAlert());
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->objectName(), QLatin1String("showFileFailedAlert"));
    EXPECT_EQ(alert->text(), QStringLiteral("No file manager could show the folder “%1”.").arg(output_.path()));
    alert->close();

    const QStringList pieces = QDir(folder).entryList({QStringLiteral("*.flac")}, QDir::Files, QDir::Name);
    ASSERT_EQ(pieces.size(), 2) << pieces.join(QLatin1Char(' ')).toStdString();
    const int rate =
        probe(wav()).value(QStringLiteral("streams")).toArray().at(0).toObject().value(QStringLiteral("sample_rate")).toString().toInt();
    const Decoded firstPiece = decode(QDir(folder).filePath(pieces[0]));
    const Decoded secondPiece = decode(QDir(folder).filePath(pieces[1]));
    EXPECT_EQ(firstPiece.audioSamples, rate * 2 / 5);
    EXPECT_EQ(firstPiece.audioSamples + secondPiece.audioSamples, decode(wav()).audioSamples);
    EXPECT_EQ(firstPiece.messages + secondPiece.messages, QByteArray());
}

TEST_F(DocumentTest, CancelledDialogsAndFailuresLeaveTheWindowEditing)
{
    CWBaseDocument* document = open(wav(), "flac");
    ASSERT_TRUE(document);
    CWDocumentWindowController* window = windowOf(document);
    for (const char* name : {"exportDialog", "exportAllDialog"}) {
        (name == std::string("exportDialog") ? window->startButton() : window->exportAllButton())->trigger();
        auto* dialog = waitForChild<QFileDialog>(window, name);
        ASSERT_TRUE(dialog) << name;
        dialog->reject();
        QTest::qWait(50);
        EXPECT_TRUE(editing(document)) << name;
        EXPECT_FALSE(document->hasRunningExport());
    }
    EXPECT_TRUE(QDir(output_.path()).isEmpty());

    // A failure is one alert that says what went wrong; the window is editing again.
    document->exportMediaToUrl(target(QStringLiteral("no-such-folder/out.flac")));
    QMessageBox* alert = waitForAlert(document);
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->objectName(), QLatin1String("exportErrorAlert"));
    EXPECT_EQ(alert->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(alert->text().contains(QStringLiteral("out.flac"))) << alert->text().toStdString();
    EXPECT_TRUE(editing(document));
    alert->close();
}

TEST_F(DocumentTest, StoppingOrClosingDuringAnExportLeavesNothingBehind)
{
    CWBaseDocument* document = open(h264WithBFrames(), "h264");
    ASSERT_TRUE(document);
    CWDocumentWindowController* window = windowOf(document);
    const QString stopped = target(QStringLiteral("stopped.mp4"));
    document->exportMediaToUrl(stopped);
    ASSERT_TRUE(document->isExporting());
    window->stopButton()->trigger();
    EXPECT_TRUE(editing(document)) << "the window is editing at once";
    ASSERT_TRUE(runEventLoopUntil([&] { return !document->hasRunningExport(); }, 60000));
    QTest::qWait(100);
    EXPECT_FALSE(document->exportAlert()) << "a stop is no failure";
    EXPECT_TRUE(editing(document));

    // Stopped, the next export starts at once and is not ended by the first one's late completion.
    const QString next = target(QStringLiteral("next.mp4"));
    document->exportMediaToUrl(target(QStringLiteral("abandoned.mp4")));
    document->stopExport();
    document->project()->changePresetTo(CWPreset::classWithIdentifier(QStringLiteral("passthrough"))->create());
    document->exportMediaToUrl(next);
    QMessageBox* alert = waitForAlert(document);
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->text(), QLatin1String("Export successful"));
    alert->close();
    EXPECT_EQ(decode(next).frameNumbers, range(0, 250));

    // Closing the window asks first; continuing (the default, and Escape) keeps both the window and the
    // export. Stopping ends the export; the document goes once it has ended.
    document->project()->changePresetTo(CWPreset::classWithIdentifier(QStringLiteral("h264"))->create());
    const QString closed = target(QStringLiteral("closed.mp4"));
    document->exportMediaToUrl(closed);
    window->close();
    QMessageBox* question = window->stopExportQuestion();
    ASSERT_TRUE(question);
    EXPECT_EQ(question->text(), QLatin1String("An export is in progress. Stop it and close?"));
    EXPECT_EQ(question->defaultButton()->text(), QLatin1String("Continue Exporting"));
    QTest::keyClick(question, Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(document->isExporting());
    window->close();
    question = window->stopExportQuestion();
    ASSERT_TRUE(question);
    press(question, "Stop and Close");
    EXPECT_FALSE(document->isExporting());
    ASSERT_TRUE(runEventLoopUntil([&] { return controller_->documents().empty(); }, 60000));
    EXPECT_GT(quitRequests_, 0);
    EXPECT_EQ(QDir(output_.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("next.mp4")});
}

TEST_F(DocumentTest, QuittingWaitsForEveryExportToEnd)
{
    CWBaseDocument* first = open(h264WithBFrames(), "h264");
    CWBaseDocument* second = open(hevc(), "h265");
    ASSERT_TRUE(first && second);
    first->exportMediaToUrl(target(QStringLiteral("a.mp4")));
    second->exportMediaToUrl(target(QStringLiteral("b.mp4")));
    controller_->requestQuit();
    QMessageBox* question = controller_->quitQuestion();
    ASSERT_TRUE(question);
    EXPECT_EQ(question->text(), QLatin1String("2 exports are in progress. Stop them and quit?"));
    press(question, "Continue Exporting");
    EXPECT_TRUE(first->isExporting() && second->isExporting());
    EXPECT_EQ(controller_->documents().size(), 2u);

    controller_->requestQuit();
    ASSERT_TRUE(controller_->quitQuestion());
    press(controller_->quitQuestion(), "Stop and Quit");
    EXPECT_EQ(quitRequests_, 0) << "not while sessions run";
    ASSERT_TRUE(runEventLoopUntil([&] { return quitRequests_ > 0; }, 60000));
    EXPECT_TRUE(controller_->documents().empty());
    EXPECT_TRUE(QDir(output_.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(DocumentTest, EditsAreUndoneAndRedoneByName)
{
    CWBaseDocument* document = open(wav());
    ASSERT_TRUE(document);
    CWDocumentWindowController* window = windowOf(document);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    EXPECT_FALSE(window->undoAction()->isEnabled());
    ASSERT_TRUE(document->project()->addCutAt(CMTimeMake(1, 4)));
    document->project()->waitForQueuedWork();
    ASSERT_EQ(document->project()->splits().size(), 1u);
    EXPECT_EQ(window->undoAction()->text(), QLatin1String("Undo Add Cut"));
    EXPECT_EQ(window->undoAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Z));
    EXPECT_EQ(window->redoAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));

    QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(document->project()->splits().empty());
    EXPECT_EQ(window->redoAction()->text(), QLatin1String("Redo Add Cut"));
    QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(document->project()->splits().size(), 1u);
    EXPECT_EQ(window->undoAction()->text(), QLatin1String("Undo Add Cut"));

    // Undo, undo again and redo twice walk the same steps back and forth.
    document->project()->removeAllSplits();
    EXPECT_EQ(window->undoAction()->text(), QLatin1String("Undo Remove All Splits"));
    document->undoStack()->undo();
    document->undoStack()->undo();
    EXPECT_TRUE(document->project()->splits().empty());
    document->undoStack()->redo();
    EXPECT_EQ(document->project()->splits().size(), 1u);
    document->undoStack()->redo();
    EXPECT_TRUE(document->project()->splits().empty());
    EXPECT_FALSE(window->redoAction()->isEnabled());
}

#include "DocumentTest.moc"
