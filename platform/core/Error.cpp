#include "Error.h"

extern "C" {
#include <libavutil/error.h>
}

Error mediaError(int averror, const QString& context)
{
    char buffer[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(averror, buffer, sizeof buffer);
    return Error{QString::fromLatin1(kMediaErrorDomain), averror, QStringLiteral("%1: %2").arg(context, QString::fromUtf8(buffer)), {}, {}};
}

Error mediaLayerError(MediaLayerErrorCode code, const QString& message)
{
    return Error{QString::fromLatin1(kMediaLayerErrorDomain), int(code), message, {}, {}};
}

Error systemError(int errnoValue, const QString& message)
{
    return Error{QString::fromLatin1(kSystemErrorDomain), errnoValue, message, {}, {}};
}
