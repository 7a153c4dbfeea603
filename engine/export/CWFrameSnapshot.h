// Still frames kept as picture files (File > Save Frame As…, clipwell_cli --snapshot): the frame the
// player shows at a time (the last one whose time is at or before it, found by the same decoder and
// the same frame timing), at the picture's full size in square pixels and turned upright, as PNG or
// JPEG by the file's extension. A file appears whole or not at all, replacing one of its name.
//
// Plain functions. frameAt() blocks its caller while an image generator decodes on its own worker; the
// others run on any thread. Failures are Errors of the "CWFrameSnapshot" domain or the system's.
#pragma once

#include "CMTime.h"
#include "CWExportTarget.h"
#include "Error.h"

#include <QImage>
#include <QString>

#include <memory>
#include <optional>

class MediaAsset;

namespace CWFrameSnapshot {
inline const QString kErrorDomain = QStringLiteral("CWFrameSnapshot");
enum ErrorCode { UnknownFormat = 1, NoPictures = 2, OutsideTheSource = 3, EncodingFailed = 4 };

// "0m12.480s": whole minutes, then seconds to the millisecond.
QString timeLabel(CMTime time);
// The name a frame is offered under: "clip 0m12.480s.png" for the source "clip.mp4".
QString fileName(const QString& sourcePath, CMTime time, const QString& extension = QStringLiteral("png"));
// "PNG" or "JPEG" for a name ending in .png, .jpg or .jpeg (any case); empty for any other.
QByteArray formatForName(const QString& fileName);

// The frame shown at `time` (source time, at or after the start and before the end).
std::optional<QImage> frameAt(const std::shared_ptr<const MediaAsset>& asset, CMTime time, Error* error);
// The picture as the target's file, in the format its name asks for.
bool save(const QImage& image, const CWExportTarget& target, Error* error);
} // namespace CWFrameSnapshot
