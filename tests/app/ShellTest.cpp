// The application shell as a user meets it: the "CLI Access" preference granting a folder that the real
// clipwell_cli then works in (and what happens when the grant cannot be stored), the install command and
// its Copy button, and a second `clipwell FILE` handing its file to the running application over the
// test's private session bus.
#include "AppDelegate.h"
#include "CWBaseDocument.h"
#include "CWDocumentController.h"
#include "CWPreset.h"
#include "PreferencesController.h"
#include "SingleInstance.h"
#include "support/TestMedia.h"
#include "UserDefaults.h"

#include <QApplication>
#include <QClipboard>
#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace TestMedia;

namespace {

class ShellTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CWPreset::registerStandardPresets();
        QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    }
    void SetUp() override
    {
        ASSERT_TRUE(root_.isValid());
        container_ = root_.filePath(QStringLiteral("container"));
        qputenv("CLIPWELL_CONTAINER_DIR", container_.toUtf8());
        UserDefaults::removeObjectForKey(QString::fromLatin1(AppDelegate::kSandboxFolderBookmarkKey));
    }
    void TearDown() override { qunsetenv("CLIPWELL_CONTAINER_DIR"); }

    // clipwell_cli trimming a WAV inside the folder, as a user would after granting it.
    int runTool(const QString& folder, QString* output)
    {
        QFile::remove(folder + QStringLiteral("/in.wav"));
        EXPECT_TRUE(QFile::copy(wav(), folder + QStringLiteral("/in.wav")));
        QByteArray out, err;
        const int status =
            run(QStringLiteral(CLIPWELL_CLI),
                {QStringLiteral("-i"), folder + QStringLiteral("/in.wav"), QStringLiteral("-o"), folder + QStringLiteral("/out.flac"),
                 QStringLiteral("-p"), QStringLiteral("flac"), QStringLiteral("--cut"), QStringLiteral("0.5")},
                &out, 60000, &err);
        *output = QString::fromUtf8(out + err);
        return status;
    }

    static QFileDialog* chooseFolder(PreferencesController* preferences)
    {
        preferences->selectFolderButton()->click();
        QFileDialog* dialog = nullptr;
        runEventLoopUntil([&] { return (dialog = preferences->folderDialog()) && dialog->isVisible(); });
        return dialog;
    }

    QTemporaryDir root_;
    QString container_;
};

} // namespace

TEST_F(ShellTest, TheGrantedFolderIsTheOneTheToolWorksIn)
{
    const QString folder = root_.filePath(QStringLiteral("granted"));
    ASSERT_TRUE(QDir().mkpath(folder));
    AppDelegate delegate;
    delegate.showPreferences();
    PreferencesController* preferences = delegate.preferencesController();
    ASSERT_TRUE(preferences && QTest::qWaitForWindowExposed(preferences));
    EXPECT_EQ(preferences->selectedFolderLabel()->text(), QLatin1String("No folder selected"));

    // Cancelling the dialog changes nothing.
    QFileDialog* dialog = chooseFolder(preferences);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->windowTitle(), QLatin1String("Select Folder for Command Line Access"));
    EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
    EXPECT_TRUE(dialog->findChild<QLabel*>(QStringLiteral("cliFolderMessage")));
    dialog->reject();
    QTest::qWait(20);
    EXPECT_EQ(preferences->selectedFolderLabel()->text(), QLatin1String("No folder selected"));
    QString said;
    EXPECT_EQ(runTool(folder, &said), 1);
    EXPECT_TRUE(said.contains(QStringLiteral("No folder access configured"))) << said.toStdString();

    dialog = chooseFolder(preferences);
    ASSERT_TRUE(dialog);
    dialog->selectFile(folder);
    static_cast<QDialog*>(dialog)->accept(); // as the dialog's own button does
    EXPECT_EQ(preferences->selectedFolderLabel()->text(), folder);
    EXPECT_EQ(runTool(folder, &said), 0) << said.toStdString();
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/out.flac")));
    // The next launch finds the folder again.
    AppDelegate nextLaunch;
    EXPECT_EQ(nextLaunch.sandboxFolder(), folder);

    // The install command, copied.
    EXPECT_EQ(preferences->symlinkCommandField()->toPlainText(),
              QStringLiteral("sudo ln -s \"%1/clipwell_cli\" /usr/local/bin/clipwell_cli").arg(QCoreApplication::applicationDirPath()));
    EXPECT_TRUE(QFontInfo(preferences->symlinkCommandField()->font()).fixedPitch());
    EXPECT_EQ(preferences->symlinkCommandField()->font().pointSize(), 11);
    preferences->symlinkCopyButton()->click();
    EXPECT_EQ(QApplication::clipboard()->text(), preferences->symlinkCommandField()->toPlainText());
    ASSERT_TRUE(preferences->copiedAlert());
    EXPECT_EQ(preferences->copiedAlert()->text(), QLatin1String("Command Copied"));
    preferences->copiedAlert()->close();

    // With clipwell_cli on the command path there is no command to run, only where it is.
    EXPECT_FALSE(preferences->installSection()->isHidden());
    EXPECT_TRUE(preferences->installedLabel()->isHidden());
    const QString bin = root_.filePath(QStringLiteral("bin"));
    ASSERT_TRUE(QDir().mkpath(bin));
    ASSERT_TRUE(QFile::link(QStringLiteral(CLIPWELL_CLI), bin + QStringLiteral("/clipwell_cli")));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.toUtf8() + ':' + path);
    preferences->updateSymlinkCommand();
    qputenv("PATH", path);
    EXPECT_TRUE(preferences->installSection()->isHidden());
    EXPECT_FALSE(preferences->installedLabel()->isHidden());
    EXPECT_TRUE(preferences->installedLabel()->text().endsWith(bin + QStringLiteral("/clipwell_cli")))
        << preferences->installedLabel()->text().toStdString();
}

TEST_F(ShellTest, AGrantThatCannotBeStoredHoldsForThisRunOnly)
{
    const QString folder = root_.filePath(QStringLiteral("granted"));
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile blocker(root_.filePath(QStringLiteral("not-a-folder")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("CLIPWELL_CONTAINER_DIR", (blocker.fileName() + QStringLiteral("/container")).toUtf8());

    AppDelegate delegate;
    delegate.saveSandboxFolderBookmark(folder);
    EXPECT_EQ(delegate.sandboxFolder(), folder);
    EXPECT_TRUE(UserDefaults::dataForKey(QString::fromLatin1(AppDelegate::kSandboxFolderBookmarkKey)).isEmpty());
    QString said;
    EXPECT_EQ(runTool(folder, &said), 1);
    EXPECT_TRUE(said.contains(QStringLiteral("No folder access configured"))) << said.toStdString();
    AppDelegate nextLaunch;
    EXPECT_TRUE(nextLaunch.sandboxFolder().isEmpty());
}

TEST_F(ShellTest, ASecondLaunchHandsItsFileToTheRunningApplication)
{
    CWDocumentController controller;
    int activations = 0;
    controller.setQuitHandler([] {});
    SingleInstance instance([&](const QStringList& paths) { controller.openDocuments(paths); }, [&] { ++activations; });
    ASSERT_TRUE(instance.registerService());

    // The second process waits for this one's answer, so it runs beside the event loop.
    const auto launch = [&](const QStringList& arguments) {
        std::atomic<int> status{-2};
        QByteArray errors;
        std::thread second([&] { status = run(QStringLiteral(CLIPWELL_APP), arguments, nullptr, 60000, &errors); });
        runEventLoopUntil([&] { return status != -2; }, 70000);
        second.join();
        EXPECT_EQ(status, 0) << errors.toStdString();
    };
    launch({wav()});
    ASSERT_TRUE(runEventLoopUntil([&] { return controller.documents().size() == 1; }));
    EXPECT_EQ(controller.documents().front()->fileURL(), QFileInfo(wav()).absoluteFilePath());

    // Without a file it only brings the running one forward.
    launch({});
    EXPECT_TRUE(runEventLoopUntil([&] { return activations == 1; }));

    controller.terminate();
    runEventLoopUntil([&] { return controller.documents().empty(); });
    QDBusConnection::sessionBus().unregisterService(QString::fromLatin1(SingleInstance::kServiceName));
}
