#include "FileManagerReveal.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace FileManagerReveal {

void showItem(const QString& path)
{
    const QString parent = QFileInfo(path).absolutePath();
    const auto openParent = [parent] { QDesktopServices::openUrl(QUrl::fromLocalFile(parent)); };
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return openParent();
    QDBusMessage call =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
                                       QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString()} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, openParent] {
        if (watcher->isError())
            openParent();
        watcher->deleteLater();
    });
}

} // namespace FileManagerReveal
