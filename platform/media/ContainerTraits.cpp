#include "ContainerTraits.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace ContainerTraitsTable {

namespace {

const QString kMovDemuxer = QStringLiteral("mov,mp4,m4a,3gp,3g2,mj2");
const QString kMatroskaDemuxer = QStringLiteral("matroska,webm");

// Vorbis and Theora have an object type in the MPEG-4 tables but no standard sample entry, FLAC in
// MPEG-4 is experimental in this library, and QuickTime files take neither FLAC nor Opus.
const QStringList kNotInMpeg4{QStringLiteral("vorbis"), QStringLiteral("theora"), QStringLiteral("flac")};
const QStringList kNotInQuickTime{QStringLiteral("vorbis"), QStringLiteral("theora"), QStringLiteral("flac"), QStringLiteral("opus")};

// Each entry names what sets it apart; every trait it leaves out keeps its default.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
std::vector<ContainerTraits> makeTable()
{
    std::vector<ContainerTraits> table;
    const auto mpeg4 = [&](MediaFileType type, const char* identifier, const char* muxer, QStringList extensions, const char* name,
                           const QStringList& notCodecs) {
        ContainerTraits t{
            type,         QString::fromLatin1(identifier), QString::fromLatin1(muxer), std::move(extensions), QString::fromUtf8(name),
            {kMovDemuxer}};
        t.editLists = t.mpeg4Family = t.indexesLengths = t.storesDecodeTimes = true;
        t.chapters = ChapterPlace::ChapterList;
        t.artwork = ArtworkPlace::AttachedPicture;
        t.notCodecs = notCodecs;
        table.push_back(std::move(t));
    };
    mpeg4(MediaFileType::MPEG4, "public.mpeg-4", "mp4", {QStringLiteral("mp4"), QStringLiteral("m4a")}, "an MPEG-4", kNotInMpeg4);
    mpeg4(MediaFileType::QuickTimeMovie, "com.apple.quicktime-movie", "mov", {QStringLiteral("mov")}, "a QuickTime", kNotInQuickTime);
    // M4V is MPEG-4 with the M4V brand.
    mpeg4(MediaFileType::AppleM4V, "com.apple.m4v-video", "mp4", {QStringLiteral("m4v")}, "an M4V", kNotInMpeg4);
    mpeg4(MediaFileType::AppleM4A, "com.apple.m4a-audio", "ipod", {QStringLiteral("m4a")}, "an M4A", kNotInMpeg4);

    ContainerTraits flac{MediaFileType::FLAC,      QStringLiteral("flac"),   QStringLiteral("flac"),
                         {QStringLiteral("flac")}, QStringLiteral("a FLAC"), {QStringLiteral("flac")}};
    flac.audioFamily = flac.indexesLengths = true;
    flac.chapters = ChapterPlace::VorbisComments;
    flac.artwork = ArtworkPlace::AttachedPicture;
    flac.onlyCodecs = {QStringLiteral("flac")};
    table.push_back(flac);

    ContainerTraits mp3{MediaFileType::MP3,      QStringLiteral("public.mp3"), QStringLiteral("mp3"),
                        {QStringLiteral("mp3")}, QStringLiteral("an MP3"),     {QStringLiteral("mp3")}};
    mp3.audioFamily = true;
    mp3.chapters = ChapterPlace::ChapterList;
    mp3.artwork = ArtworkPlace::AttachedPicture;
    mp3.onlyCodecs = {QStringLiteral("mp3")};
    table.push_back(mp3);

    table.push_back(
        ContainerTraits{MediaFileType::QOA, QStringLiteral("public.qoa-audio"), {}, {QStringLiteral("qoa")}, QStringLiteral("a QOA"), {}});

    ContainerTraits matroska{MediaFileType::Matroska,      QStringLiteral("org.matroska.mkv"),
                             QStringLiteral("matroska"),   {QStringLiteral("mkv"), QStringLiteral("mka"), QStringLiteral("mk3d")},
                             QStringLiteral("a Matroska"), {kMatroskaDemuxer}};
    matroska.chapters = ChapterPlace::ChapterList;
    matroska.artwork = ArtworkPlace::Attachment;
    table.push_back(matroska);

    ContainerTraits webm{MediaFileType::WebM,      QStringLiteral("org.webmproject.webm"),
                         QStringLiteral("webm"),   {QStringLiteral("webm")},
                         QStringLiteral("a WebM"), {kMatroskaDemuxer}};
    webm.chapters = ChapterPlace::ChapterList;
    table.push_back(webm);

    ContainerTraits ogg{
        MediaFileType::Ogg,
        QStringLiteral("org.xiph.ogg"),
        QStringLiteral("ogg"),
        {QStringLiteral("ogg"), QStringLiteral("oga"), QStringLiteral("ogv"), QStringLiteral("opus"), QStringLiteral("spx")},
        QStringLiteral("an Ogg"),
        {QStringLiteral("ogg")}};
    ogg.audioFamily = true;
    ogg.chapters = ChapterPlace::ChapterList; // as CHAPTERnnn comments, by the muxer
    // The Ogg muxer has no codec table: these are the ones it writes.
    ogg.onlyCodecs = {QStringLiteral("vorbis"), QStringLiteral("opus"),   QStringLiteral("flac"),
                      QStringLiteral("speex"),  QStringLiteral("theora"), QStringLiteral("vp8")};
    table.push_back(ogg);

    ContainerTraits wav{MediaFileType::WAVE,     QStringLiteral("com.microsoft.waveform-audio"),
                        QStringLiteral("wav"),   {QStringLiteral("wav")},
                        QStringLiteral("a WAV"), {QStringLiteral("wav"), QStringLiteral("w64")}};
    wav.audioFamily = wav.indexesLengths = true;
    table.push_back(wav);

    ContainerTraits aiff{MediaFileType::AIFF,       QStringLiteral("public.aiff-audio"),
                         QStringLiteral("aiff"),    {QStringLiteral("aiff"), QStringLiteral("aif"), QStringLiteral("aifc")},
                         QStringLiteral("an AIFF"), {QStringLiteral("aiff")}};
    aiff.audioFamily = aiff.indexesLengths = true;
    table.push_back(aiff);

    table.push_back(ContainerTraits{MediaFileType::AVI,
                                    QStringLiteral("public.avi"),
                                    QStringLiteral("avi"),
                                    {QStringLiteral("avi")},
                                    QStringLiteral("an AVI"),
                                    {QStringLiteral("avi")}});
    return table;
}
#pragma GCC diagnostic pop

} // namespace

const std::vector<ContainerTraits>& all()
{
    static const std::vector<ContainerTraits> table = makeTable();
    return table;
}

const ContainerTraits& of(MediaFileType type)
{
    for (const ContainerTraits& traits : all())
        if (traits.type == type)
            return traits;
    return all().front();
}

const ContainerTraits* forDemuxer(const QString& demuxerName)
{
    for (const ContainerTraits& traits : all())
        if (traits.demuxers.contains(demuxerName))
            return &traits;
    return nullptr;
}

bool holds(MediaFileType type, const QString& codecName)
{
    const ContainerTraits& traits = of(type);
    if (!traits.onlyCodecs.isEmpty())
        return traits.onlyCodecs.contains(codecName);
    if (traits.notCodecs.contains(codecName))
        return false;
    const AVOutputFormat* format = av_guess_format(traits.muxer.toUtf8().constData(), nullptr, nullptr);
    const AVCodecDescriptor* codec = avcodec_descriptor_get_by_name(codecName.toUtf8().constData());
    return format && codec && avformat_query_codec(format, codec->id, FF_COMPLIANCE_NORMAL) == 1;
}

} // namespace ContainerTraitsTable
