// What each output container of the media layer is and can hold, in one table: its identifier, the
// muxer that writes it, the names its files go by, the demuxers whose files belong to its family,
// whether it has edit lists, where chapters and artwork go, and which codecs a copy may put into it.
// Every question about a container (the writer's, the compatibility check's, the pass-through
// container choice's, the asset's) is answered from here, so they cannot disagree.
//
// Plain data and functions; any thread.
#pragma once

#include "MediaFileType.h"

#include <QString>
#include <QStringList>

#include <vector>

enum class ChapterPlace { None, ChapterList, VorbisComments };
enum class ArtworkPlace { None, AttachedPicture, Attachment };

struct ContainerTraits {
    MediaFileType type;
    QString identifier;             // "public.mpeg-4"
    QString muxer;                  // libavformat's muxer; empty for QOA (the engine's own writer)
    QStringList extensions;         // the usual one first
    QString nameWithArticle;        // "an MPEG-4"
    QStringList demuxers;           // demuxer names of files of this family ("mp3"; "wav", "w64")
    bool editLists = false;         // can show part of a track's media (the MPEG-4 family)
    bool mpeg4Family = false;       // MPEG-4, QuickTime, M4V, M4A
    bool audioFamily = false;       // an audio format a copy of an audio source stays in
    bool indexesLengths = false;    // its demuxer knows each track's exact length
    bool storesDecodeTimes = false; // keeps each packet's decode time (else only presentation times or order)
    ChapterPlace chapters = ChapterPlace::None;
    ArtworkPlace artwork = ArtworkPlace::None;
    QStringList onlyCodecs; // when not empty, the only codecs it holds (muxers without codec tables)
    QStringList notCodecs;  // codecs its muxer takes but that have no standard place in it
};

namespace ContainerTraitsTable {
const ContainerTraits& of(MediaFileType type);
const std::vector<ContainerTraits>& all();
// The family of a demuxer's files, when one of the table's containers names it.
const ContainerTraits* forDemuxer(const QString& demuxerName);
// Whether a copy may put a track of the codec (the media layer's codec name) into files of the type:
// the muxer writes it without experimental flags and it has a standard place there.
bool holds(MediaFileType type, const QString& codecName);
} // namespace ContainerTraitsTable
