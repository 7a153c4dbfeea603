// The fixture of the window tests: the application's document controller, windows opened on fixtures
// and made active, and readings of the preset menu. Main thread only.
#pragma once

#include "CWAudioDocumentWindowController.h"
#include "CWBaseDocument.h"
#include "CWBaseSplitView.h"
#include "CWDocumentController.h"
#include "CWDocumentWindowController.h"
#include "CWExcludedSegment.h"
#include "CWHighLowQualityPreset.h"
#include "CWPassThroughPreset.h"
#include "CWPreset.h"
#include "CWPresetQualityControlViewController.h"
#include "CWProject.h"
#include "Player.h"
#include "PlayerView.h"
#include "QtAudioOutput.h"
#include "support/TestMedia.h"
#include "SystemBeep.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QToolBar>
#include <QToolButton>
#include <QWidgetAction>

#include <gtest/gtest.h>

#include <random>

using namespace TestMedia;

inline QString videoOnly()
{
    static const QString path = make(QStringLiteral("video-only.mp4"), {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                                                        QStringLiteral("testsrc=size=160x120:rate=25:duration=2"),
                                                                        QStringLiteral("-c:v"), QStringLiteral("libx264")});
    return path;
}

class WindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { CWPreset::registerStandardPresets(); }
    void SetUp() override
    {
        controller_ = std::make_unique<CWDocumentController>();
        controller_->setQuitHandler([] {});
        SystemBeep::setHook([this] { ++beeps_; });
    }
    void TearDown() override
    {
        SystemBeep::setHook({});
        controller_->terminate();
        runEventLoopUntil([&] { return controller_->documents().empty(); }, 60000);
    }

    CWDocumentWindowController* openWindow(const QString& path)
    {
        Error error;
        CWBaseDocument* document = controller_->openDocumentWithContentsOfURL(path, &error);
        EXPECT_TRUE(document) << error.describe().toStdString();
        if (!document)
            return nullptr;
        CWDocumentWindowController* window = document->windowControllers().front();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
        EXPECT_TRUE(runEventLoopUntil([&] { return window->player()->status() == Player::Status::ReadyToPlay; }, 20000));
        return window;
    }

    static void waitForMenu(CWDocumentWindowController* window, int builds = 1)
    {
        EXPECT_TRUE(runEventLoopUntil([&] { return window->presetMenuBuilds() >= builds; }));
    }

    static void seekAndWait(Player* player, CMTime time)
    {
        bool done = false;
        player->seekToTime(time, kCMTimeZero, kCMTimeZero, [&](bool) { done = true; });
        EXPECT_TRUE(runEventLoopUntil([&] { return done; }));
    }

    std::unique_ptr<CWDocumentController> controller_;
    int beeps_ = 0;
};

// The menu as a list: "[Header]", "-" for a separator, preset names.
inline QStringList describe(QMenu* menu)
{
    QStringList items;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator())
            items << QStringLiteral("-");
        else if (qobject_cast<QWidgetAction*>(action))
            items << QLatin1Char('[') + action->text() + QLatin1Char(']');
        else
            items << action->text();
    }
    return items;
}

inline QStringList namesOf(std::initializer_list<const char*> identifiers)
{
    QStringList names;
    for (const char* identifier : identifiers)
        names << CWPreset::classWithIdentifier(QString::fromLatin1(identifier))->presetName;
    names.sort();
    return names;
}
