#include "MainQueue.h"

#include "Log.h"

#include <QCoreApplication>
#include <QThread>

namespace MainQueue {

void async(std::function<void()> work)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        CWLog(QStringLiteral("MainQueue: no application object; work dropped"));
        return;
    }
    // Queued calls on one receiver are delivered in the order they were posted.
    QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
}

bool isMainThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

} // namespace MainQueue
