#include "SingleInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFileInfo>
#include <QUrl>

SingleInstance::SingleInstance(OpenHandler open, ActivateHandler activate, QObject* parent)
    : QObject(parent), open_(std::move(open)), activate_(std::move(activate))
{
}

bool SingleInstance::registerService()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    if (!bus.registerObject(QString::fromLatin1(kObjectPath), this, QDBusConnection::ExportScriptableSlots))
        return false;
    if (bus.registerService(QString::fromLatin1(kServiceName)))
        return true;
    bus.unregisterObject(QString::fromLatin1(kObjectPath));
    return false;
}

bool SingleInstance::handOver(const QStringList& paths)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(QString::fromLatin1(kServiceName)))
        return false;
    const QString interface = QStringLiteral("org.freedesktop.Application");
    QDBusMessage call;
    if (paths.isEmpty()) {
        call = QDBusMessage::createMethodCall(QString::fromLatin1(kServiceName), QString::fromLatin1(kObjectPath), interface,
                                              QStringLiteral("Activate"));
        call << QVariantMap();
    } else {
        QStringList uris;
        for (const QString& path : paths)
            uris << QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString();
        call = QDBusMessage::createMethodCall(QString::fromLatin1(kServiceName), QString::fromLatin1(kObjectPath), interface,
                                              QStringLiteral("Open"));
        call << uris << QVariantMap();
    }
    return bus.call(call, QDBus::Block, 10000).type() == QDBusMessage::ReplyMessage;
}

void SingleInstance::Activate(const QVariantMap&)
{
    QMetaObject::invokeMethod(
        this, [this] { activate_(); }, Qt::QueuedConnection);
}

void SingleInstance::Open(const QStringList& uris, const QVariantMap&)
{
    QStringList paths;
    for (const QString& uri : uris) {
        const QUrl url(uri);
        paths << (url.isLocalFile() ? url.toLocalFile() : uri);
    }
    // The reply goes out first; opening may show dialogs.
    QMetaObject::invokeMethod(
        this, [this, paths] { open_(paths); }, Qt::QueuedConnection);
}

void SingleInstance::ActivateAction(const QString&, const QVariantList&, const QVariantMap& platformData) { Activate(platformData); }
