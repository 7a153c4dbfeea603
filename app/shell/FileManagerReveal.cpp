#include "FileManagerReveal.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace FileManagerReveal {

namespace {

// xdg-open reports what it could not open in its exit status, which QDesktopServices does not pass on.
void openFolder(const QString& folder, const std::function<void(const QString&)>& failed)
{
    const QString message = QCoreApplication::translate("FileManagerReveal", "No file manager could show the folder “%1”.").arg(folder);
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [failed, message] { failed(message); }, Qt::QueuedConnection);
        return;
    }
    auto* process = new QProcess;
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    QObject::connect(process, &QProcess::errorOccurred, process, [process, failed, message](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return; // a crash or a timeout ends in finished() too
        failed(message);
        process->deleteLater();
    });
    QObject::connect(process, &QProcess::finished, process, [process, failed, message](int code, QProcess::ExitStatus status) {
        if (status != QProcess::NormalExit || code != 0)
            failed(message);
        process->deleteLater();
    });
    process->start(opener, {folder});
}

} // namespace

void showItem(const QString& path, std::function<void(const QString& message)> failed)
{
    const QString parent = QFileInfo(path).absolutePath();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return openFolder(parent, failed);
    QDBusMessage call =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
                                       QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString()} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, parent, failed = std::move(failed)] {
        if (watcher->isError())
            openFolder(parent, failed);
        watcher->deleteLater();
    });
}

} // namespace FileManagerReveal
