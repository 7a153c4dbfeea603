#include "Log.h"

#include <QCoreApplication>
#include <QDateTime>

#include <cstdio>
#include <mutex>
#include <unistd.h>

void CWLog(const QString& message)
{
    static std::mutex mutex;
    const QByteArray stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toUtf8();
    const QByteArray name = QCoreApplication::applicationName().toUtf8();
    const QByteArray text = message.toUtf8();
    std::lock_guard lock(mutex);
    std::fprintf(stderr, "%s %s[%d] %s\n", stamp.constData(), name.isEmpty() ? "clipwell" : name.constData(), int(getpid()),
                 text.constData());
    std::fflush(stderr);
}
