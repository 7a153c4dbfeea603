// The fixture of the document tests: the application's document controller with Qt's own dialogs, a
// private folder for targets, and helpers that open documents and answer dialogs as a user would.
// Main thread only.
#pragma once

#include "CWAudioDocument.h"
#include "CWBaseDocument.h"
#include "CWBaseSplitView.h"
#include "CWDocumentController.h"
#include "CWDocumentWindowController.h"
#include "CWPreset.h"
#include "CWProject.h"
#include "CWVideoDocument.h"
#include "Player.h"
#include "support/TestMedia.h"
#include "TaskbarProgress.h"

#include <QAction>
#include <QApplication>
#include <QDBusConnection>
#include <QDir>
#include <QFileDialog>
#include <QJsonArray>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>

using namespace TestMedia;

class DocumentTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CWPreset::registerStandardPresets();
        QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    }

    void SetUp() override
    {
        controller_ = std::make_unique<CWDocumentController>();
        controller_->setQuitHandler([this] { ++quitRequests_; });
        controller_->clearRecentDocuments();
        ASSERT_TRUE(output_.isValid());
    }

    void TearDown() override
    {
        controller_->terminate();
        runEventLoopUntil([&] { return controller_->documents().empty(); }, 60000);
        QTest::qWait(0);
    }

    CWBaseDocument* open(const QString& path, const char* preset = nullptr)
    {
        Error error;
        CWBaseDocument* document = controller_->openDocumentWithContentsOfURL(path, &error);
        EXPECT_TRUE(document) << error.describe().toStdString();
        if (document && preset)
            document->project()->changePresetTo(CWPreset::classWithIdentifier(QString::fromLatin1(preset))->create());
        return document;
    }

    static CWDocumentWindowController* windowOf(CWBaseDocument* document) { return document->windowControllers().front(); }

    // Types the path into the dialog and presses its accept button, once the dialog shows that path.
    static void choose(QFileDialog* dialog, const QString& path)
    {
        dialog->selectFile(path);
        EXPECT_TRUE(runEventLoopUntil([&] { return dialog->selectedFiles() == QStringList{path}; }))
            << dialog->selectedFiles().join(QLatin1Char(' ')).toStdString();
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog's own accept(), as its button calls it
    }

    template <class T> static T* waitForChild(QWidget* parent, const char* name)
    {
        T* found = nullptr;
        runEventLoopUntil([&] {
            found = parent->findChild<T*>(QString::fromLatin1(name));
            return found && found->isVisible();
        });
        return found;
    }

    static QMessageBox* waitForAlert(CWBaseDocument* document, int timeoutMs = 120000)
    {
        runEventLoopUntil([&] { return document->exportAlert() && document->exportAlert()->isVisible(); }, timeoutMs);
        return qobject_cast<QMessageBox*>(document->exportAlert());
    }

    static bool editing(CWBaseDocument* document)
    {
        CWDocumentWindowController* window = windowOf(document);
        return !document->isExporting() && window->startButton()->isEnabled() && !window->stopButton()->isEnabled() &&
               !window->progressIndicator()->isVisible();
    }

    QString target(const QString& name) const { return output_.filePath(name); }

    static void press(QMessageBox* box, const char* label)
    {
        for (QAbstractButton* button : box->buttons())
            if (button->text() == QLatin1String(label))
                return QTest::mouseClick(button, Qt::LeftButton);
        ADD_FAILURE() << "no button " << label;
    }

    std::unique_ptr<CWDocumentController> controller_;
    int quitRequests_ = 0;
    QTemporaryDir output_;
};

inline std::vector<int> range(int from, int to)
{
    std::vector<int> numbers;
    for (int n = from; n < to; ++n)
        numbers.push_back(n);
    return numbers;
}
