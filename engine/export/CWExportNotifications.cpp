#include "CWExportNotifications.h"

CWExportNotifications& CWExportNotifications::instance()
{
    static CWExportNotifications notifications;
    return notifications;
}
