// The editing window: the read-outs and their format, the frame report once the engine has it, the
// preset menu in each of its shapes (from sources for which only some kinds of preset fit), choosing a
// preset and its options, the quality popover and its stored choice, the toolbar while exporting, the
// beep on refused edits.
#include "WindowHarness.h"

TEST_F(WindowTest, ReadOutsAndTheFrameReport)
{
    EXPECT_EQ(CWDocumentWindowController::stringFromCMTime(CMTimeMake(37235, 10)), QLatin1String("1:02:03.15"));
    EXPECT_EQ(CWDocumentWindowController::stringFromCMTime(CMTimeMake(5999, 100)), QLatin1String("0:00:59.29"));
    EXPECT_EQ(CWDocumentWindowController::stringFromCMTime(kCMTimeInvalid), QLatin1String("-/-"));
    EXPECT_EQ(CWDocumentWindowController::stringFromCMTime(CMTimeMake(-5, 1)), QLatin1String("0:00:00.00")) << "never a negative field";

    CWDocumentWindowController* window = openWindow(h264WithBFrames());
    ASSERT_TRUE(window);
    ASSERT_TRUE(window->project()->addCutAt(CMTimeMake(2, 1)));
    ASSERT_TRUE(window->project()->addCutAt(CMTimeMake(4, 1)));
    seekAndWait(window->player(), CMTimeMake(5, 1));
    window->playerChangedTimeTo(CMTimeMake(5, 1));
    EXPECT_EQ(window->timeField()->text(),
              QStringLiteral("Current Time: 0:00:05.00 – New Duration: 0:00:08.00 – Time after split: 0:00:03.00"));
    // The frame report shows once the engine has read the frame timing.
    ASSERT_TRUE(runEventLoopUntil([&] { return window->framesField()->isVisible(); }));
    window->projectWasModified();
    EXPECT_EQ(window->framesField()->text(), QStringLiteral("Frame 126 / 250\nTarget: 200 frames"));

    // The window as the user sees it, kept beside the test program for the record.
    ASSERT_TRUE(runEventLoopUntil([&] { return window->player()->currentFrame().shows(CMTimeMake(5, 1)); }));
    const QImage shot = window->grab().toImage();
    const QRect picture = window->playerView()->videoRect().translated(window->playerView()->mapTo(window, QPoint(0, 0)));
    EXPECT_EQ(frameNumberInImage(shot.copy(picture)), 125);
    QDir().mkpath(QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots"));
    EXPECT_TRUE(shot.save(QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots/document-window.png")));

    CWDocumentWindowController* audio = openWindow(wav());
    ASSERT_TRUE(audio);
    // The project's frame information comes from a pooled worker and is announced on the main thread:
    // once both have run, a report would show.
    QThreadPool::globalInstance()->waitForDone();
    runQueuedCalls();
    EXPECT_FALSE(audio->project()->frameInformation());
    EXPECT_FALSE(audio->framesField()->isVisible()) << "sound has no frames to report";
}

TEST_F(WindowTest, ThePresetMenuHasTheSectionsOfWhatFits)
{
    // All three kinds: a video with sound.
    CWDocumentWindowController* window = openWindow(h264WithBFrames());
    ASSERT_TRUE(window);
    waitForMenu(window);
    QStringList expected{QStringLiteral("[Passthrough]")};
    expected << namesOf({"passthrough"}) << QStringLiteral("-") << QStringLiteral("[Video]") << namesOf({"h264", "h265", "low"})
             << QStringLiteral("-") << QStringLiteral("[Audio]") << namesOf({"alac", "flac", "m4a", "lame"}); // QOA is for sound only
    EXPECT_EQ(describe(window->presetButton()->menu()), expected);
    EXPECT_TRUE(window->hasCompatiblePresets());
    // The section headers are labels, which every widget style shows.
    auto* header = qobject_cast<QWidgetAction*>(window->presetButton()->menu()->actions().front());
    ASSERT_TRUE(header && qobject_cast<QLabel*>(header->defaultWidget()));
    // Assistive technology reads the button and its menu by name, and every preset as a menu item.
    EXPECT_EQ(QAccessible::queryAccessibleInterface(window->presetButton())->text(QAccessible::Name), QLatin1String("Preset"));
    QAccessibleInterface* readableMenu = QAccessible::queryAccessibleInterface(window->presetButton()->menu());
    ASSERT_TRUE(readableMenu);
    EXPECT_EQ(readableMenu->role(), QAccessible::PopupMenu);
    EXPECT_EQ(readableMenu->text(QAccessible::Name), QLatin1String("Presets"));
    QStringList items;
    for (int i = 0; i < readableMenu->childCount(); ++i)
        if (QAccessibleInterface* item = readableMenu->child(i); item->role() == QAccessible::MenuItem && item->state().checkable)
            items << item->text(QAccessible::Name);
    items.sort();
    EXPECT_EQ(items, namesOf({"passthrough", "h264", "h265", "low", "alac", "flac", "m4a", "lame"}));

    // An audio window over sources that fit only some of its presets.
    const auto audioMenu = [&](const QString& path) {
        Error error;
        std::unique_ptr<CWBaseDocument> document = CWBaseDocument::open(path, &error);
        EXPECT_TRUE(document) << error.describe().toStdString();
        CWAudioDocumentWindowController audioWindow(document.get());
        audioWindow.windowDidLoad();
        waitForMenu(&audioWindow);
        return std::make_pair(describe(audioWindow.presetButton()->menu()), audioWindow.startButton()->isEnabled());
    };
    const QStringList audioOnly = namesOf({"alac", "flac", "m4a", "lame", "qoa"});
    // No sound: only the copy fits.
    EXPECT_EQ(audioMenu(videoOnly()).first, QStringList{QStringLiteral("[Passthrough]")} + namesOf({"passthrough"}));
    // AAC in M4A, and PCM in WAV (copied into a WAV file): the copy and the audio presets, with a
    // separator between them.
    const QStringList copyAndAudio = QStringList{QStringLiteral("[Passthrough]")} + namesOf({"passthrough"}) +
                                     QStringList{QStringLiteral("-"), QStringLiteral("[Audio only]")} + audioOnly;
    EXPECT_EQ(audioMenu(m4aWithCover()).first, copyAndAudio);
    EXPECT_EQ(audioMenu(wav()).first, copyAndAudio);

    // Nothing fits: one disabled item, Export disabled and beeping.
    window->buildMenuWithCompatiblePresetClasses({});
    QMenu* menu = window->presetButton()->menu();
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions().front()->text(), QLatin1String("No compatible export presets for this file"));
    EXPECT_FALSE(menu->actions().front()->isEnabled());
    EXPECT_FALSE(window->startButton()->isEnabled());
    window->exportMedia();
    EXPECT_EQ(beeps_, 1);
}

TEST_F(WindowTest, ChoosingAPresetShowsItsOptionsAndRebuildsTheMenu)
{
    CWDocumentWindowController* window = openWindow(h264WithBFrames());
    ASSERT_TRUE(window);
    waitForMenu(window);
    const auto choose = [&](const char* identifier) {
        const int builds = window->presetMenuBuilds();
        const QString name = CWPreset::classWithIdentifier(QString::fromLatin1(identifier))->presetName;
        for (QAction* action : window->presetButton()->menu()->actions())
            if (action->text() == name)
                action->trigger();
        waitForMenu(window, builds + 1); // the compatibility checks ran again
        EXPECT_EQ(window->project()->preset()->identifier(), QLatin1String(identifier));
        EXPECT_EQ(window->presetButton()->text(), name);
        EXPECT_EQ(window->presetDescription()->text(), window->project()->preset()->presetDescription());
    };

    choose("lame");
    EXPECT_TRUE(window->bitrateContainer()->isVisibleTo(window));
    EXPECT_FALSE(window->qualityContainer()->isVisibleTo(window));
    EXPECT_FALSE(window->presetConfigurationButton()->isEnabled());
    ASSERT_GT(window->bitratePopup()->count(), 1);
    // The pop-up shows what the export will use: the default until one is chosen, then the choice,
    // also after another preset in between.
    EXPECT_EQ(window->project()->selectedBitrate(), 320000);
    EXPECT_EQ(window->bitratePopup()->currentText(), QStringLiteral("320 kbps"));
    window->bitratePopup()->setCurrentIndex(1);
    window->changeBitrate();
    EXPECT_EQ(QString::asprintf("%.0f kbps", window->project()->selectedBitrate() / 1000.0), window->bitratePopup()->currentText());
    const QString chosen = window->bitratePopup()->currentText();
    choose("flac");
    choose("lame");
    EXPECT_EQ(window->bitratePopup()->currentText(), chosen);
    for (QAction* action : window->presetButton()->menu()->actions())
        if (action->isCheckable()) {
            EXPECT_EQ(action->isChecked(), action->text() == window->project()->preset()->presetName()) << action->text().toStdString();
        }

    // Pass-through: how cuts are made, offered in the tool's words, remembered like the other options
    // and said in the description.
    EXPECT_FALSE(window->passthroughModeContainer()->isVisibleTo(window));
    const int builds = window->presetMenuBuilds();
    for (QAction* action : window->presetButton()->menu()->actions())
        if (action->text() == QLatin1String("Passthrough"))
            action->trigger();
    waitForMenu(window, builds + 1);
    ASSERT_TRUE(window->passthroughModeContainer()->isVisibleTo(window));
    QComboBox* modes = window->passthroughModePopup();
    ASSERT_EQ(modes->count(), 3);
    EXPECT_EQ(modes->itemText(0), QLatin1String("Exact"));
    EXPECT_EQ(modes->itemText(1), QLatin1String("Copy Only"));
    EXPECT_EQ(modes->itemText(2), QLatin1String("Edit Lists"));
    EXPECT_TRUE(modes->itemData(1, Qt::ToolTipRole).toString().contains(CWPassThroughPreset::modeHelp(PassthroughMode::CopyOnly).mid(1)));
    EXPECT_EQ(modes->currentIndex(), 0);
    EXPECT_TRUE(window->presetDescription()->text().contains(QLatin1String("encoded anew")));
    modes->setCurrentIndex(2);
    window->changePassthroughMode();
    EXPECT_TRUE(window->presetDescription()->text().contains(QLatin1String("edit lists hide each piece's lead-in")))
        << window->presetDescription()->text().toStdString();
    EXPECT_EQ(std::dynamic_pointer_cast<CWPassThroughPreset>(CWPreset::classWithIdentifier(QStringLiteral("passthrough"))->create())
                  ->passthroughMode(),
              PassthroughMode::EditLists);
    modes->setCurrentIndex(0);
    window->changePassthroughMode();

    // The quality popover, on the right of its button, bound to the stored choice of the class.
    choose("flac");
    ASSERT_TRUE(window->presetConfigurationButton()->isEnabled());
    window->presetConfigurationButton()->click();
    auto* popover = qobject_cast<CWPresetQualityControlViewController*>(window->configurationPopover());
    ASSERT_TRUE(popover && popover->isVisible());
    EXPECT_GE(popover->x(),
              window->presetConfigurationButton()->mapToGlobal(QPoint(window->presetConfigurationButton()->width(), 0)).x() - 1);
    // Opaque inside a frame, with a shadow edge: nothing beneath reads through it.
    const QImage drawn = popover->grab().toImage();
    const QColor background = popover->palette().color(QPalette::Window);
    EXPECT_EQ(drawn.pixelColor(drawn.width() / 2, 4), background);
    EXPECT_NE(drawn.pixelColor(0, drawn.height() / 2), background) << "the frame";
    EXPECT_LT(drawn.pixelColor(drawn.width() - 2, drawn.height() / 2).lightness(), background.lightness()) << "the shadow edge";
    // What assistive technology reads: the popover by name, its two choices and which is on.
    QAccessibleInterface* readable = QAccessible::queryAccessibleInterface(popover);
    ASSERT_TRUE(readable);
    EXPECT_EQ(readable->text(QAccessible::Name), QLatin1String("Quality"));
    QStringList choices;
    for (int i = 0; i < readable->childCount(); ++i)
        if (QAccessibleInterface* child = readable->child(i); child->role() == QAccessible::RadioButton)
            choices << child->text(QAccessible::Name) + (child->state().checked ? QStringLiteral(" (on)") : QString());
    EXPECT_EQ(choices.size(), 2) << choices.join(QLatin1String(", ")).toStdString();
    EXPECT_TRUE(choices.contains(QStringLiteral("Highest Quality (on)")) || choices.contains(QStringLiteral("Lowest Quality (on)")))
        << choices.join(QLatin1String(", ")).toStdString();
    const bool wasHigh = popover->highestButton()->isChecked();
    QTest::mouseClick(wasHigh ? popover->lowestButton() : popover->highestButton(), Qt::LeftButton);
    popover->close();
    QTest::qWait(20);
    // Another instance, as after a restart, reads the choice back; the other classes keep theirs.
    const auto flac = std::dynamic_pointer_cast<CWHighLowQualityPreset>(CWPreset::classWithIdentifier(QStringLiteral("flac"))->create());
    const auto alac = std::dynamic_pointer_cast<CWHighLowQualityPreset>(CWPreset::classWithIdentifier(QStringLiteral("alac"))->create());
    ASSERT_TRUE(flac && alac);
    EXPECT_EQ(flac->highQuality(), !wasHigh);
    const bool alacBefore = alac->highQuality();
    window->presetConfigurationButton()->click();
    popover = qobject_cast<CWPresetQualityControlViewController*>(window->configurationPopover());
    ASSERT_TRUE(popover);
    EXPECT_EQ(popover->highestButton()->isChecked(), !wasHigh);
    EXPECT_EQ(popover->lowestButton()->isChecked(), wasHigh);
    QTest::mouseClick(wasHigh ? popover->highestButton() : popover->lowestButton(), Qt::LeftButton); // back as it was
    popover->close();
    EXPECT_EQ(
        std::dynamic_pointer_cast<CWHighLowQualityPreset>(CWPreset::classWithIdentifier(QStringLiteral("alac"))->create())->highQuality(),
        alacBefore);
}

TEST_F(WindowTest, TheToolbarFollowsTheExportAndRefusedEditsBeep)
{
    CWDocumentWindowController* window = openWindow(h264WithBFrames());
    ASSERT_TRUE(window);
    waitForMenu(window);
    seekAndWait(window->player(), CMTimeMake(3, 1));
    window->plusButton()->trigger();
    window->project()->waitForQueuedWork();
    ASSERT_EQ(window->project()->splits().size(), 1u);
    window->addSplit(); // a split inside a cut cannot be made
    EXPECT_EQ(beeps_, 1);
    window->minusButton()->trigger();
    EXPECT_TRUE(window->project()->splits().empty());
    window->removeCut(); // nothing there: no beep
    EXPECT_EQ(beeps_, 1);

    window->project()->changePresetTo(CWPreset::classWithIdentifier(QStringLiteral("h264"))->create());
    QTemporaryDir folder;
    window->cwDocument()->exportMediaToUrl(folder.filePath(QStringLiteral("out.mp4")));
    EXPECT_TRUE(window->stopButton()->isEnabled());
    for (QAction* action : {window->startButton(), window->exportAllButton(), window->plusButton(), window->minusButton()})
        EXPECT_FALSE(action->isEnabled()) << action->text().toStdString();
    EXPECT_TRUE(window->progressIndicator()->isVisibleTo(window));
    EXPECT_FALSE(window->timeField()->isVisibleTo(window));
    EXPECT_TRUE(window->windowTitle().contains(QStringLiteral("Exporting")));
    ASSERT_TRUE(runEventLoopUntil([&] { return !window->cwDocument()->hasRunningExport(); }, 60000));
    EXPECT_FALSE(window->stopButton()->isEnabled());
    for (QAction* action : {window->startButton(), window->exportAllButton(), window->plusButton(), window->minusButton()})
        EXPECT_TRUE(action->isEnabled()) << action->text().toStdString();
    EXPECT_FALSE(window->progressIndicator()->isVisibleTo(window));
    EXPECT_TRUE(window->timeField()->isVisibleTo(window));
    if (auto* alert = qobject_cast<QMessageBox*>(window->cwDocument()->exportAlert()))
        alert->close();
}

// Through the real audio server (whose report of what was played may step back): every pause leaves
// the picture, the read-outs and the time edits use on one frame.
TEST_F(WindowTest, PausedThroughTheAudioServerPictureReadOutsAndEditsNameOneFrame)
{
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
        GTEST_SKIP() << "no audio server (the test script starts one)";
    Player::setAudioOutputFactory([] { return std::make_unique<QtAudioOutput>(); });
    CWDocumentWindowController* window = openWindow(h264WithBFrames()); // 25 fps, 250 frames
    ASSERT_TRUE(window);
    ASSERT_TRUE(runEventLoopUntil([&] { return window->framesField()->isVisible(); }));
    Player* player = window->player();
    std::mt19937 random(3);
    std::vector<int> pausedOn;
    for (int pause = 0; pause < 6; ++pause) {
        window->playerView()->togglePlaying();
        QTest::qWait(250 + int(random() % 400));
        window->playerView()->togglePlaying();
        ASSERT_EQ(player->rate(), 0.0f);
        const int shown = frameNumberInImage(player->currentFrame().image);
        const CMTime now = player->currentTime();
        EXPECT_EQ(CMTimeCompare(now, CMTimeMake(shown, 25)), 0) << "frame " << shown << " at " << CMTimeGetSeconds(now) << " s";
        EXPECT_TRUE(window->framesField()->text().startsWith(QStringLiteral("Frame %1 / 250").arg(shown + 1)))
            << window->framesField()->text().toStdString();
        EXPECT_TRUE(window->timeField()->text().contains(CWDocumentWindowController::stringFromCMTime(now)))
            << window->timeField()->text().toStdString();
        // A cut opened or closed here begins or ends at that picture.
        EXPECT_TRUE(window->splitView()->handleKey(
            std::make_unique<QKeyEvent>(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a")).get()));
        window->project()->waitForQueuedWork();
        pausedOn.push_back(shown);
    }
    Player::setAudioOutputFactory({});
    const auto splits = window->project()->splits();
    ASSERT_EQ(splits.size(), 3u);
    for (size_t i = 0; i < splits.size(); ++i) {
        EXPECT_EQ(CMTimeCompare(splits[i]->start(), CMTimeMake(pausedOn[2 * i], 25)), 0) << "cut " << i;
        EXPECT_EQ(CMTimeCompare(splits[i]->stop(), CMTimeMake(pausedOn[2 * i + 1], 25)), 0) << "cut " << i;
    }
}

TEST_F(WindowTest, AtItsSmallestTheWindowKeepsThePictureInSight)
{
    CWDocumentWindowController* window = openWindow(h264WithBFrames());
    ASSERT_TRUE(window);
    window->resize(1, 1);
    EXPECT_TRUE(runEventLoopUntil([&] { return window->playerView()->height() < 300; }));
    EXPECT_GE(window->playerView()->width(), CWDocumentWindowController::kMinimumPictureSize.width());
    EXPECT_GE(window->playerView()->height(), CWDocumentWindowController::kMinimumPictureSize.height());
    EXPECT_EQ(window->splitViewHolder()->height(), 100);
    for (QWidget* readOut : {static_cast<QWidget*>(window->timeField()), static_cast<QWidget*>(window->presetButton())})
        EXPECT_TRUE(window->rect().contains(QRect(readOut->mapTo(window, QPoint(0, 0)), readOut->size()))) << "inside the window";
}
