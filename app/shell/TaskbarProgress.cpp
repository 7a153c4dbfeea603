#include "TaskbarProgress.h"

#include "CWExportNotifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

TaskbarProgress::TaskbarProgress(QObject* parent) : QObject(parent)
{
    CWExportNotifications& notifications = CWExportNotifications::instance();
    connect(&notifications, &CWExportNotifications::exportStarted, this, &TaskbarProgress::startProgress);
    connect(&notifications, &CWExportNotifications::exportUpdated, this, &TaskbarProgress::updateProgress);
    connect(&notifications, &CWExportNotifications::exportEnded, this, &TaskbarProgress::endProgress);
}

void TaskbarProgress::startProgress()
{
    ++running_;
    lastPercent_ = 0;
    send(true, 0.0);
}

void TaskbarProgress::updateProgress(double progress)
{
    // Sessions report every buffer; the dock shows whole percents, so only a new one goes on the bus.
    const int percent = int(progress);
    if (running_ > 0 && percent != lastPercent_) {
        lastPercent_ = percent;
        send(true, progress / 100.0);
    }
}

void TaskbarProgress::endProgress()
{
    // An export that could not start is announced as ended twice (by its exporter and its document).
    running_ = std::max(0, running_ - 1);
    if (running_ == 0)
        send(false, 0.0);
}

void TaskbarProgress::send(bool visible, double fraction)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(kObjectPath), QStringLiteral("com.canonical.Unity.LauncherEntry"),
                                                     QStringLiteral("Update"));
    signal << QString::fromLatin1(kLauncherEntry)
           << QVariantMap{{QStringLiteral("progress"), fraction}, {QStringLiteral("progress-visible"), visible}};
    bus.send(signal);
}
