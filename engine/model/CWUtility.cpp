#include "CWUtility.h"

#include "Log.h"

#include <atomic>

namespace {
std::atomic<bool> debugEnabled{false};
}

void CWUtility::setDebugEnabled(bool enabled) { debugEnabled = enabled; }

bool CWUtility::isDebugEnabled() { return debugEnabled; }

void CWUtility::debugLog(const QString& tag, const QString& message)
{
    if (debugEnabled)
        CWLog(QStringLiteral("DEBUG %1: %2").arg(tag, message));
}
