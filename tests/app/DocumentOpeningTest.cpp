// Documents opened behind a window that can be stopped, a cut placed by clicks on the strip, piece
// names too long for the folder, and frames kept as pictures, through the application's real windows.
#include "DocumentHarness.h"

// Files are read off the main thread behind an "Opening…" window: a pipe is refused at once (it would
// otherwise wait for a writer for good), so is a playlist, stopping the window forgets the file, and a
// file that reads becomes its document.
TEST_F(DocumentTest, FilesOpenBehindAWindowThatCanBeStopped)
{
    const QByteArray pipe = QFile::encodeName(target(QStringLiteral("pipe.mp4")));
    ASSERT_EQ(::mkfifo(pipe.constData(), 0600), 0);
    controller_->openDocuments({QFile::decodeName(pipe)});
    ASSERT_EQ(controller_->openingWindows().size(), 1u);
    ASSERT_TRUE(runEventLoopUntil([&] { return controller_->openFailureAlert() != nullptr; }, 10000));
    EXPECT_TRUE(controller_->openFailureAlert()->informativeText().contains(QStringLiteral("not a regular file")))
        << controller_->openFailureAlert()->informativeText().toStdString();
    controller_->openFailureAlert()->close();
    // Nothing is open any more: the application would end. (The opening window and the alert may both
    // say so.)
    const auto endsAndSettles = [&] {
        const bool ended = runEventLoopUntil([&] { return quitRequests_ > 0; });
        QTest::qWait(50);
        quitRequests_ = 0;
        return ended;
    };
    ASSERT_TRUE(endsAndSettles());
    // A playlist naming a file elsewhere is refused for what it is, not followed.
    QFile playlist(target(QStringLiteral("list.m3u8")));
    ASSERT_TRUE(playlist.open(QIODevice::WriteOnly));
    playlist.write("#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:10,\n" + QFile::encodeName(h264WithBFrames()) + "\n#EXT-X-ENDLIST\n");
    playlist.close();
    controller_->openDocuments({playlist.fileName()});
    ASSERT_TRUE(runEventLoopUntil([&] { return controller_->openFailureAlert() != nullptr; }, 10000));
    EXPECT_TRUE(controller_->openFailureAlert()->informativeText().contains(QStringLiteral("is an HLS playlist, which names other files")))
        << controller_->openFailureAlert()->informativeText().toStdString();
    controller_->openFailureAlert()->close();
    ASSERT_TRUE(endsAndSettles());

    controller_->openDocuments({wav()});
    ASSERT_EQ(controller_->openingWindows().size(), 1u);
    // Stopped before the event loop runs again: the read (of a small file) may be done by then, but
    // its result is only taken up on the event loop, which finds the window stopped.
    QProgressDialog* opening = controller_->openingWindows().front();
    EXPECT_TRUE(opening->isVisible());
    EXPECT_TRUE(opening->labelText().contains(QFileInfo(wav()).fileName()));
    QPushButton* stop = opening->findChild<QPushButton*>();
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->text(), QStringLiteral("Stop"));
    QTest::mouseClick(stop, Qt::LeftButton);
    ASSERT_TRUE(endsAndSettles()) << "nothing open any more";
    QTest::qWait(200); // the read itself ends meanwhile
    EXPECT_TRUE(controller_->documents().empty());
    EXPECT_FALSE(controller_->openFailureAlert());

    controller_->openDocuments({wav()});
    ASSERT_TRUE(runEventLoopUntil([&] { return controller_->documents().size() == 1; }));
    EXPECT_TRUE(controller_->openingWindows().empty());
    EXPECT_TRUE(QTest::qWaitForWindowExposed(windowOf(controller_->documents().front().get())));
}

// Pieces whose names would outgrow the file system (a source name of 251 bytes) are refused before the
// export starts, with the reason; the window stays editing and nothing is written.
// Cuts placed by clicking in the strip remove exactly the pictures that were on screen at the clicks:
// judged in the exported file, frame by frame.
TEST_F(DocumentTest, ACutPlacedByClicksRemovesThePicturesSeen)
{
    CWBaseDocument* document = open(h264WithBFrames(), "h264"); // 25 fps, 250 frames, 10 s
    ASSERT_TRUE(document);
    CWDocumentWindowController* window = windowOf(document);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    CWBaseSplitView* strip = window->splitView();
    ASSERT_TRUE(strip);
    ASSERT_TRUE(runEventLoopUntil([&] { return window->player()->status() == Player::Status::ReadyToPlay; }, 20000));
    const auto clickInside = [&](int frame) {
        // A third of the way into the frame's picture (as a pointer rarely lands on a frame's start).
        const double seconds = (frame + 1.0 / 3) / 25;
        const int x = int(std::ceil(seconds / 10.0 * strip->width()));
        QTest::mouseClick(strip, Qt::LeftButton, {}, QPoint(x, strip->height() / 2));
        EXPECT_TRUE(runEventLoopUntil([&] { return frameNumberInImage(window->player()->currentFrame().image) == frame; }, 20000))
            << "frame " << frame << " at x = " << x;
        QKeyEvent a(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        EXPECT_TRUE(strip->handleKey(&a));
        document->project()->waitForQueuedWork();
    };
    clickInside(60);
    clickInside(120);
    const QString output = target(QStringLiteral("clicked.mp4"));
    document->exportMediaToUrl(output);
    QMessageBox* alert = waitForAlert(document);
    ASSERT_TRUE(alert && alert->text() == QLatin1String("Export successful"));
    alert->close();
    std::vector<int> expected = range(0, 60);
    for (int n : range(120, 250))
        expected.push_back(n);
    EXPECT_EQ(decode(output).frameNumbers, expected);
}

TEST_F(DocumentTest, OverlongPieceNamesAreRefusedBeforeTheExport)
{
    const QString longName = target(QString(251, QLatin1Char('l')) + QStringLiteral(".wav"));
    ASSERT_TRUE(QFile::copy(wav(), longName));
    CWBaseDocument* document = open(longName, "flac");
    ASSERT_TRUE(document);
    ASSERT_TRUE(document->project()->addSplitAt(CMTimeMake(2, 5)));
    document->project()->waitForQueuedWork();
    const QString folder = target(QStringLiteral("long-pieces"));
    ASSERT_TRUE(QDir().mkpath(folder));
    document->exportMultipleMediaToUrl(folder);
    QMessageBox* alert = waitForAlert(document, 10000);
    ASSERT_TRUE(alert);
    EXPECT_TRUE(alert->text().startsWith(QStringLiteral("The pieces would be named like"))) << alert->text().toStdString();
    EXPECT_FALSE(document->hasRunningExport());
    EXPECT_TRUE(editing(document));
    EXPECT_TRUE(QDir(folder).isEmpty());
    alert->close();
}

// File > Save Frame As… (Ctrl+Shift+S) keeps the frame on screen, pixel for pixel, under a name that
// says its time; a folder that cannot take it is told in an alert.
TEST_F(DocumentTest, SaveFrameKeepsTheFrameOnScreen)
{
    CWBaseDocument* document = open(longGop25());
    ASSERT_TRUE(document);
    CWDocumentWindowController* window = windowOf(document);
    Player* player = window->player();
    ASSERT_TRUE(runEventLoopUntil([&] { return player->status() == Player::Status::ReadyToPlay; }, 20000));
    const CMTime time = CMTimeMake(5123, 1000); // inside frame 128 (5.120 s), deep in a group of pictures
    player->seekToTime(time);
    ASSERT_TRUE(runEventLoopUntil([&] {
        const PlaybackFrame& frame = player->currentFrame();
        return !frame.image.isNull() && !frame.preview && frame.shows(time);
    }));
    const QImage onScreen = player->currentFrame().image.convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(frameNumberInImage(onScreen), 128);
    for (const char* name : {"kept.png", "kept.jpg"}) {
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        auto* dialog = waitForChild<QFileDialog>(window, "saveFrameDialog");
        ASSERT_TRUE(dialog);
        EXPECT_EQ(QFileInfo(dialog->selectedFiles().value(0)).fileName(),
                  QFileInfo(longGop25()).completeBaseName() + QStringLiteral(" 0m05.120s.png"));
        const QString file = target(QLatin1String(name));
        choose(dialog, file);
        ASSERT_TRUE(runEventLoopUntil([&] { return QFile::exists(file); }));
        const QImage kept = QImage(file).convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(kept.size(), onScreen.size());
        EXPECT_EQ(frameNumberInImage(kept), 128) << name;
        if (QFileInfo(file).suffix() == QLatin1String("png"))
            EXPECT_EQ(kept, onScreen);
        else
            EXPECT_TRUE(contents(file).startsWith("\xFF\xD8\xFF"));
    }
    document->saveFrameTo(onScreen, target(QStringLiteral("missing/kept.png")));
    QMessageBox* alert = waitForAlert(document, 10000);
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->objectName(), QLatin1String("saveFrameErrorAlert"));
    EXPECT_TRUE(alert->text().contains(QLatin1String("missing/kept.png"))) << alert->text().toStdString();
    alert->close();
}

// File > Export Cut List… writes the edits in the format its name says, and Import Cut List… brings
// the same edits back as one undo step; a list that cannot be read changes nothing and names its line.
TEST_F(DocumentTest, CutListsTravelAndImportAsOneUndoStep)
{
    CWBaseDocument* document = open(h264WithBFrames());
    ASSERT_TRUE(document);
    CWDocumentWindowController* window = windowOf(document);
    const std::shared_ptr<CWProject> project = document->project();
    ASSERT_TRUE(project->addCutAt(CMTimeMake(1200, 1000)));
    ASSERT_TRUE(project->addCutAt(CMTimeMake(2400, 1000)));
    ASSERT_TRUE(project->addSplitAt(CMTimeMake(5, 1)));
    project->waitForQueuedWork();
    const auto same = [](const std::vector<CWCutList::Edit>& a, const std::vector<CWCutList::Edit>& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const CWCutList::Edit& x, const CWCutList::Edit& y) {
            return CMTimeCompare(x.start, y.start) == 0 && CMTimeCompare(x.stop, y.stop) == 0;
        });
    };
    const std::vector<CWCutList::Edit> edits = project->edits();
    ASSERT_EQ(edits.size(), 2u);

    document->exportCutList();
    auto* saving = waitForChild<QFileDialog>(window, "exportCutListDialog");
    ASSERT_TRUE(saving);
    EXPECT_EQ(QFileInfo(saving->selectedFiles().value(0)).fileName(),
              QFileInfo(h264WithBFrames()).completeBaseName() + QStringLiteral(" cuts.txt"));
    choose(saving, target(QStringLiteral("cuts.edl")));
    ASSERT_TRUE(runEventLoopUntil([&] { return QFile::exists(target(QStringLiteral("cuts.edl"))); }));
    EXPECT_TRUE(contents(target(QStringLiteral("cuts.edl"))).startsWith("TITLE: "));
    for (const char* name : {"cuts.txt", "cuts.csv"})
        ASSERT_TRUE(document->exportCutListTo(target(QLatin1String(name))));

    QUndoStack* undo = document->undoStack();
    for (const char* name : {"cuts.txt", "cuts.csv", "cuts.edl"}) {
        project->removeAllSplits();
        project->waitForQueuedWork();
        ASSERT_TRUE(project->edits().empty());
        const int steps = undo->count();
        ASSERT_TRUE(document->importCutListFrom(target(QLatin1String(name)))) << name;
        EXPECT_TRUE(same(project->edits(), edits)) << name;
        EXPECT_EQ(undo->count(), steps + 1) << name;
        EXPECT_EQ(undo->undoText(), QStringLiteral("Import Cut List"));
        undo->undo();
        EXPECT_TRUE(project->edits().empty()) << name;
        undo->redo();
        EXPECT_TRUE(same(project->edits(), edits)) << name;
    }
    // Through the dialog, and a list with a bad line: nothing changes, the alert names the line.
    writeFile(target(QStringLiteral("bad.txt")), "1\n2\nsoon\n");
    document->importCutList();
    auto* opening = waitForChild<QFileDialog>(window, "importCutListDialog");
    ASSERT_TRUE(opening);
    const int steps = undo->count();
    choose(opening, target(QStringLiteral("bad.txt")));
    QMessageBox* alert = waitForAlert(document, 10000);
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->objectName(), QLatin1String("cutListErrorAlert"));
    EXPECT_TRUE(alert->text().contains(QLatin1String("Line 3: \"soon\" is no time."))) << alert->text().toStdString();
    alert->close();
    EXPECT_TRUE(same(project->edits(), edits));
    EXPECT_EQ(undo->count(), steps);
}
