#include "MainQueue.h"

#include <QCoreApplication>
#include <QThread>

namespace MainQueue {

void async(std::function<void()> work)
{
    QCoreApplication* app = QCoreApplication::instance();
    // Without an application object the program is ending: there is no main thread left to run the
    // work (a worker handing back its last reference at exit), and nothing to tell anyone.
    if (!app)
        return;
    // Queued calls on one receiver are delivered in the order they were posted.
    QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
}

bool isMainThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

} // namespace MainQueue
