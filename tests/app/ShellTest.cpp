// The application shell as a user meets it: the "CLI Access" preference granting a folder that the real
// clipwell_cli then works in (and what happens when the grant cannot be stored), the install command and
// its Copy button, a second `clipwell FILE` handing its file to the running application over the
// test's private session bus, the update check against a feed served by the test, D-Bus activation and
// a run on a Wayland compositor.
#include "AppDelegate.h"
#include "CWBaseDocument.h"
#include "CWDocumentController.h"
#include "CWPreset.h"
#include "PreferencesController.h"
#include "SingleInstance.h"
#include "support/TestMedia.h"
#include "UserDefaults.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDBusConnection>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <optional>
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
    // Without an update feed the Updates tab offers no greyed-out choice, only the reason.
    EXPECT_TRUE(preferences->automaticUpdatesCheckBox()->isHidden());
    auto* byPackages = preferences->findChild<QLabel*>(QStringLiteral("updatesByPackagesLabel"));
    ASSERT_TRUE(byPackages);
    EXPECT_TRUE(byPackages->text().contains(QStringLiteral("package manager")));

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

    // The install command, copied: it names the tool this build made (in cli/, not beside the program).
    EXPECT_EQ(
        preferences->symlinkCommandField()->toPlainText(),
        QStringLiteral("sudo ln -s \"%1\" /usr/local/bin/clipwell_cli").arg(QFileInfo(QStringLiteral(CLIPWELL_CLI)).canonicalFilePath()));
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

// What a file manager does with the installed desktop entry (DBusActivatable): it calls Open on the
// application's bus name, and the bus starts `clipwell --gapplication-service` from the service file,
// which opens the file.
TEST_F(ShellTest, TheBusStartsTheApplicationToOpenAFile)
{
    const QString services = root_.filePath(QStringLiteral("services"));
    const QString config = root_.filePath(QStringLiteral("config"));
    ASSERT_TRUE(QDir().mkpath(services));
    QFile service(services + QStringLiteral("/io.clipwell.Clipwell.service"));
    ASSERT_TRUE(service.open(QIODevice::WriteOnly));
    service.write("[D-BUS Service]\nName=io.clipwell.Clipwell\nExec=" CLIPWELL_APP " --gapplication-service\n");
    service.close();
    QFile busConfig(root_.filePath(QStringLiteral("bus.conf")));
    ASSERT_TRUE(busConfig.open(QIODevice::WriteOnly));
    busConfig.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
                    "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\"><busconfig>"
                    "<include>/usr/share/dbus-1/session.conf</include><servicedir>" +
                    services.toUtf8() + "</servicedir></busconfig>");
    busConfig.close();
    // The started application inherits the bus's environment: settings of its own, the test's display.
    // Forked through the shell, as a session bus is started: it outlives the command that started it.
    const QByteArray command = "XDG_CONFIG_HOME='" + config.toUtf8() + "' dbus-daemon --config-file='" + busConfig.fileName().toUtf8() +
                               "' --fork --print-address=1 --print-pid=1";
    FILE* daemon = popen(command.constData(), "r");
    ASSERT_TRUE(daemon);
    QByteArray started;
    char line[1024];
    while (std::fgets(line, sizeof line, daemon))
        started += line;
    ASSERT_EQ(pclose(daemon), 0);
    const QList<QByteArray> lines = started.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 2) << started.toStdString();
    const QString address = QString::fromUtf8(lines[0].trimmed());
    const pid_t busPid = pid_t(lines[1].trimmed().toInt());
    // The call a file manager makes (gdbus, as GLib's launchers do).
    const QString file = QFileInfo(wav()).absoluteFilePath();
    QByteArray answer, errors;
    EXPECT_EQ(run(QStringLiteral("gdbus"),
                  {QStringLiteral("call"), QStringLiteral("--address"), address, QStringLiteral("--dest"),
                   QStringLiteral("io.clipwell.Clipwell"), QStringLiteral("--object-path"), QStringLiteral("/io/clipwell/Clipwell"),
                   QStringLiteral("--method"), QStringLiteral("org.freedesktop.Application.Open"),
                   QStringLiteral("['%1']").arg(QUrl::fromLocalFile(file).toString()), QStringLiteral("{}")},
                  &answer, 60000, &errors),
              0)
        << errors.toStdString();
    answer.clear();
    run(QStringLiteral("gdbus"),
        {QStringLiteral("call"), QStringLiteral("--address"), address, QStringLiteral("--dest"), QStringLiteral("org.freedesktop.DBus"),
         QStringLiteral("--object-path"), QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("--method"),
         QStringLiteral("org.freedesktop.DBus.GetConnectionUnixProcessID"), QStringLiteral("io.clipwell.Clipwell")},
        &answer, 10000, &errors);
    const pid_t appPid = pid_t(QString::fromUtf8(answer).remove(QRegularExpression(QStringLiteral("[^0-9]"))).mid(2).toInt());
    EXPECT_GT(appPid, 0) << answer.toStdString();
    // The opened document is the newest recent one in the started application's settings.
    auto recentMentions = [&] {
        QDirIterator it(config, {QStringLiteral("*.conf")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile settings(it.next());
            if (settings.open(QIODevice::ReadOnly) && settings.readAll().contains(file.toUtf8()))
                return true;
        }
        return false;
    };
    EXPECT_TRUE(runEventLoopUntil(recentMentions, 30000)) << "the started application did not open the file";
    if (appPid > 0)
        ::kill(appPid, SIGKILL);
    ::kill(busPid, SIGTERM);
}

namespace {

// An appcast server on 127.0.0.1: /newer offers a later version, /same this one, /broken is no feed,
// /silent never answers. Counts the requests it received.
class FeedServer : public QTcpServer {
public:
    FeedServer()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    const QByteArray request = socket->readAll();
                    const QByteArray path = request.split(' ').value(1);
                    ++requests;
                    if (path == "/silent")
                        return; // keeps the connection open and says nothing
                    const QByteArray body = path == "/newer"  ? feed("2.3.3000", "<p>Faster joins.</p>")
                                            : path == "/same" ? feed(UpdateChecker::currentVersion().toUtf8(), "")
                                                              : QByteArray("<rss><channel><item><title>cut off");
                    socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/rss+xml\r\nContent-Length: " +
                                  QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
                    socket->disconnectFromHost();
                });
            }
        });
        listen(QHostAddress::LocalHost);
    }
    QUrl url(const char* path) const { return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(serverPort()).arg(QLatin1String(path))); }
    static QByteArray feed(const QByteArray& version, const QByteArray& notes)
    {
        return "<?xml version=\"1.0\"?><rss version=\"2.0\" xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\">"
               "<channel><title>Clipwell</title>"
               "<item><title>Version 1.0</title><enclosure url=\"https://clipwell.io/1.0.deb\" sparkle:version=\"1.0.100\"/></item>"
               "<item><title>Version " +
               version + "</title><link>https://clipwell.io/releases/" + version + "</link><description><![CDATA[" + notes +
               "]]></description><enclosure url=\"https://clipwell.io/new.deb\" sparkle:version=\"" + version +
               "\"/></item>"
               "</channel></rss>";
    }
    int requests = 0;
};

UpdateChecker::Result checkOnce(UpdateChecker& checker, const QUrl& url)
{
    std::optional<UpdateChecker::Result> result;
    const auto connection = QObject::connect(&checker, &UpdateChecker::finished, [&](const UpdateChecker::Result& r) { result = r; });
    checker.check(url);
    runEventLoopUntil([&] { return result.has_value(); }, 10000);
    QObject::disconnect(connection);
    return result.value_or(UpdateChecker::Result{});
}

} // namespace

TEST(UpdateCheckTest, FeedsAreReadAndVersionsCompareAsNumbers)
{
    EXPECT_GT(UpdateChecker::compareVersions(QStringLiteral("2.10"), QStringLiteral("2.9")), 0);
    EXPECT_EQ(UpdateChecker::compareVersions(QStringLiteral("2.2.2063"), QStringLiteral("2.2.2063.0")), 0);
    EXPECT_LT(UpdateChecker::compareVersions(QStringLiteral("2.2.2063"), QStringLiteral("2.2.2100")), 0);
    // The newest item wins wherever it stands; its version may sit on the enclosure or in an element.
    UpdateChecker::Result result = UpdateChecker::evaluateFeed(FeedServer::feed("2.3.3000", "<p>notes</p>"), QStringLiteral("2.2.2063"));
    EXPECT_EQ(result.outcome, UpdateChecker::Result::NewerVersion);
    EXPECT_EQ(result.version, QStringLiteral("2.3.3000"));
    EXPECT_EQ(result.releaseNotes, QStringLiteral("<p>notes</p>"));
    EXPECT_EQ(result.link, QUrl(QStringLiteral("https://clipwell.io/releases/2.3.3000")));
    result = UpdateChecker::evaluateFeed("<rss xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\"><channel><item>"
                                         "<sparkle:version>2.2.2063</sparkle:version></item></channel></rss>",
                                         QStringLiteral("2.2.2063"));
    EXPECT_EQ(result.outcome, UpdateChecker::Result::UpToDate);
    for (const QByteArray& bad : {QByteArray("not xml at all"), QByteArray("<html><body>404</body></html>"),
                                  QByteArray("<rss><channel><item><title>no version</title></item></channel></rss>")}) {
        result = UpdateChecker::evaluateFeed(bad, QStringLiteral("2.2.2063"));
        EXPECT_EQ(result.outcome, UpdateChecker::Result::Failed) << bad.toStdString();
        EXPECT_FALSE(result.reason.isEmpty());
    }
}

TEST(UpdateCheckTest, AServedFeedIsCheckedWithinItsTimeLimit)
{
    FeedServer server;
    ASSERT_TRUE(server.isListening());
    UpdateChecker checker;
    checker.setTimeout(500);
    UpdateChecker::Result result = checkOnce(checker, server.url("/newer"));
    EXPECT_EQ(result.outcome, UpdateChecker::Result::NewerVersion);
    EXPECT_EQ(result.version, QStringLiteral("2.3.3000"));
    EXPECT_EQ(checkOnce(checker, server.url("/same")).outcome, UpdateChecker::Result::UpToDate);
    result = checkOnce(checker, server.url("/broken"));
    EXPECT_EQ(result.outcome, UpdateChecker::Result::Failed);
    EXPECT_TRUE(result.reason.contains(QStringLiteral("cannot be read"))) << result.reason.toStdString();
    QElapsedTimer clock;
    clock.start();
    result = checkOnce(checker, server.url("/silent"));
    EXPECT_EQ(result.outcome, UpdateChecker::Result::Failed);
    EXPECT_TRUE(result.reason.contains(QStringLiteral("did not answer in time"))) << result.reason.toStdString();
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(server.requests, 4);
}

TEST_F(ShellTest, UpdatesAreCheckedFromTheMenuAndAtMostOnceADay)
{
    FeedServer server;
    ASSERT_TRUE(server.isListening());
    UserDefaults::removeObjectForKey(QString::fromLatin1(AppDelegate::kLastCheckTimeKey));
    UserDefaults::removeObjectForKey(QString::fromLatin1(AppDelegate::kAutomaticChecksKey));
    AppDelegate delegate;
    auto alertText = [&] {
        runEventLoopUntil([&] { return delegate.updateAlert() && delegate.updateAlert()->isVisible(); }, 10000);
        return delegate.updateAlert() ? delegate.updateAlert()->text() : QString();
    };
    // Without a feed, the menu says where updates come from.
    qunsetenv("CLIPWELL_APPCAST_URL");
    delegate.checkForUpdates();
    EXPECT_EQ(alertText(), QStringLiteral("Updates come with your system"));
    delegate.updateAlert()->close();
    EXPECT_FALSE(delegate.checkForUpdatesInBackground()) << "nothing to check";

    qputenv("CLIPWELL_APPCAST_URL", server.url("/newer").toString().toUtf8());
    delegate.checkForUpdates();
    EXPECT_EQ(alertText(), QStringLiteral("A new version of Clipwell is available!"));
    EXPECT_TRUE(delegate.updateAlert()->informativeText().contains(QStringLiteral("Faster joins.")));
    auto* learnMore = delegate.updateAlert()->findChild<QPushButton*>(QStringLiteral("learnMoreButton"));
    ASSERT_TRUE(learnMore);
    EXPECT_TRUE(learnMore->isEnabled());
    delegate.updateAlert()->close();
    QTest::qWait(10);

    // The scheduled check waits a day after the last one, then tells only of a newer version.
    EXPECT_FALSE(delegate.checkForUpdatesInBackground()) << "the menu's check just ran";
    UserDefaults::setString(QString::fromLatin1(AppDelegate::kLastCheckTimeKey),
                            QDateTime::currentDateTimeUtc().addSecs(-25 * 3600).toString(Qt::ISODate));
    qputenv("CLIPWELL_APPCAST_URL", server.url("/same").toString().toUtf8());
    const int before = server.requests;
    EXPECT_TRUE(delegate.checkForUpdatesInBackground());
    runEventLoopUntil([&] { return !delegate.updateChecker()->isChecking(); }, 10000);
    EXPECT_EQ(server.requests, before + 1);
    runQueuedCalls();
    EXPECT_FALSE(delegate.updateAlert()) << "up to date: the scheduled check says nothing";
    EXPECT_FALSE(delegate.checkForUpdatesInBackground());

    // Switched off in the preferences: no scheduled check at all.
    UserDefaults::removeObjectForKey(QString::fromLatin1(AppDelegate::kLastCheckTimeKey));
    delegate.showPreferences();
    QCheckBox* automatic = delegate.preferencesController()->automaticUpdatesCheckBox();
    ASSERT_TRUE(automatic);
    EXPECT_TRUE(automatic->isEnabled());
    EXPECT_TRUE(automatic->isChecked());
    automatic->click();
    EXPECT_FALSE(AppDelegate::automaticallyChecksForUpdates());
    EXPECT_FALSE(delegate.checkForUpdatesInBackground());
    automatic->click();
    EXPECT_TRUE(AppDelegate::automaticallyChecksForUpdates());
    qunsetenv("CLIPWELL_APPCAST_URL");
    UserDefaults::removeObjectForKey(QString::fromLatin1(AppDelegate::kLastCheckTimeKey));
}

// The application on Wayland: a headless weston compositor of the test's own, Qt's Wayland plug-in; the
// application opens a file there and keeps running (a plug-in or a connection that fails ends it at once).
TEST(WaylandTest, TheApplicationRunsOnAWaylandCompositor)
{
    if (QStandardPaths::findExecutable(QStringLiteral("weston")).isEmpty())
        GTEST_SKIP() << "weston is not installed";
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    environment.remove(QStringLiteral("DISPLAY"));
    QProcess compositor;
    compositor.setProcessEnvironment(environment);
    compositor.start(QStringLiteral("weston"),
                     {QStringLiteral("--backend=headless-backend.so"), QStringLiteral("--socket=clipwell-test"),
                      QStringLiteral("--width=1280"), QStringLiteral("--height=720"), QStringLiteral("--idle-time=0")});
    ASSERT_TRUE(compositor.waitForStarted());
    ASSERT_TRUE(runEventLoopUntil([&] { return QFile::exists(runtime.path() + QStringLiteral("/clipwell-test")); }, 20000))
        << compositor.readAllStandardError().toStdString();

    environment.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("clipwell-test"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), runtime.path() + QStringLiteral("/config"));
    environment.insert(QStringLiteral("CLIPWELL_CONTAINER_DIR"), runtime.path() + QStringLiteral("/settings"));
    QProcess application;
    application.setProcessEnvironment(environment);
    application.start(QStringLiteral(CLIPWELL_APP), {QStringLiteral("--prepare-for-screenshot"), fps25()});
    ASSERT_TRUE(application.waitForStarted());
    EXPECT_FALSE(application.waitForFinished(4000))
        << "the application ended on Wayland: " << application.readAllStandardError().toStdString();
    EXPECT_FALSE(application.readAllStandardError().contains("platform plugin"));
    application.kill();
    application.waitForFinished();
    compositor.kill();
    compositor.waitForFinished();
}
