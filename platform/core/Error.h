// The error value of every fallible operation: a domain string, an integer code and the message, plus
// the optional recovery suggestion and failure reason. Fallible calls take an optional `Error*` and fill
// it through setError(); nothing here throws. Plain value, any thread.
#pragma once

#include <QString>

struct Error {
    QString domain;
    int code = 0;
    QString message; // the localized description
    QString recoverySuggestion;
    QString failureReason;

    QString describe() const { return message.isEmpty() ? QStringLiteral("%1 error %2").arg(domain).arg(code) : message; }
};

inline void setError(Error* out, Error error)
{
    if (out)
        *out = std::move(error);
}

// Domain of errors that come from the FFmpeg libraries; the code is the library's AVERROR value.
inline constexpr const char* kMediaErrorDomain = "FFmpeg";

// Domain of the media layer's own refusals and findings, where no library call failed (a missing track
// or file, an argument it cannot use, a codec that is not installed, a damaged file, a stopped writer).
inline constexpr const char* kMediaLayerErrorDomain = "Media";
enum class MediaLayerErrorCode { NotFound = 1, InvalidArgument, CodecMissing, Damaged, Stopped };
Error mediaLayerError(MediaLayerErrorCode code, const QString& message);

// Domain of the system's refusals (opening, reading, confining); the code is the errno value.
inline constexpr const char* kSystemErrorDomain = "POSIX";
Error systemError(int errnoValue, const QString& message);

// An error of the media libraries: "<context>: <the library's message>".
Error mediaError(int averror, const QString& context);
