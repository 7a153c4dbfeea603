#include "MediaFileType.h"

#include "ContainerTraits.h"

namespace MediaFileTypes {

QString identifier(MediaFileType type) { return ContainerTraitsTable::of(type).identifier; }

QString muxerName(MediaFileType type) { return ContainerTraitsTable::of(type).muxer; }

QString extension(MediaFileType type) { return ContainerTraitsTable::of(type).extensions.value(0); }

bool hasEditLists(MediaFileType type) { return ContainerTraitsTable::of(type).editLists; }

} // namespace MediaFileTypes
