// Makes every track of a finished MPEG-4 / QuickTime file end its presentation after a duration, by
// shortening the media edit of each track's edit list (and the track and movie durations). Used to cut
// a copied piece exactly where it ends: the samples stay in the file, the edit list hides what lies
// past the end. Tracks are only ever shortened. Fails with an error when the file has no edit lists
// to change or cannot be written.
#pragma once

#include "CMTime.h"
#include "Error.h"

#include <QString>

bool setPresentationDuration(const QString& path, CMTime duration, Error* error);
