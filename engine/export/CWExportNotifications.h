// The process-wide export notifications, as Qt signals delivered on the main thread:
// "ExportStartedNotification", "ExportUpdatedNotification" (progress 0 to 100) and
// "ExportEndedNotification". The documents post them; an exporter posts exportEnded() when an export
// cannot start.
#pragma once

#include <QObject>

class CWExportNotifications : public QObject {
    Q_OBJECT

public:
    static CWExportNotifications& instance();

signals:
    void exportStarted();
    void exportUpdated(double progress);
    void exportEnded();
};
