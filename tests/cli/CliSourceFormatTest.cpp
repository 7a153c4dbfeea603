// Pass-through of sources an MPEG-4 file cannot hold, through the real clipwell_cli: each is copied into
// its own container family and judged by decoders that are not ours (ffmpeg, GStreamer, flac, mkvinfo).
// Audio files keep exactly the kept samples where the format allows it; video in containers without
// edit lists begins each piece at a keyframe.
#include "CliHarness.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>

using namespace TestMedia;

namespace {

class SourceFormatCliTest : public CliHarness {
protected:
    static QString formatName(const QString& path)
    {
        return probe(path).value(QStringLiteral("format")).toObject().value(QStringLiteral("format_name")).toString();
    }
    // The samples of [from, to) seconds of a decoded mono source.
    static std::vector<int16_t> slice(const std::vector<int16_t>& samples, int rate, double from, double to)
    {
        const auto at = [&](double t) { return std::min(samples.size(), size_t(std::llround(t * rate))); };
        return std::vector<int16_t>(samples.begin() + qsizetype(at(from)), samples.begin() + qsizetype(at(to)));
    }
    static std::vector<int16_t> joined(std::initializer_list<std::vector<int16_t>> parts)
    {
        std::vector<int16_t> all;
        for (const auto& part : parts)
            all.insert(all.end(), part.begin(), part.end());
        return all;
    }
    static void expectPlayable(const QString& path)
    {
        SCOPED_TRACE(path.toStdString());
        QByteArray messages;
        EXPECT_TRUE(gstreamerDecodes(path, &messages)) << messages.toStdString();
        EXPECT_TRUE(decode(path).messages.isEmpty()) << decode(path).messages.toStdString();
    }
    static QJsonArray probeChapters(const QString& path)
    {
        QByteArray json;
        TestMedia::run(QStringLiteral("ffprobe"),
                       {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_chapters"), QStringLiteral("-of"),
                        QStringLiteral("json"), path},
                       &json);
        return QJsonDocument::fromJson(json).object().value(QStringLiteral("chapters")).toArray();
    }
    static QJsonObject streamOfType(const QString& path, const char* type)
    {
        for (const QJsonValue& stream : streams(path))
            if (stream.toObject().value(QStringLiteral("codec_type")).toString() == QLatin1String(type))
                return stream.toObject();
        return {};
    }
};

} // namespace

// WAV, AIFF and FLAC keep their format and exactly the kept samples: one piece, three pieces joined,
// and pieces of their own that together are the whole source.
TEST_F(SourceFormatCliTest, PcmAndFlacAreCutToTheSample)
{
    struct Source {
        QString fixture;
        const char* extension;
        const char* format;
        int rate;
    };
    for (const Source& source :
         {Source{wav(), "wav", "wav", 48000}, Source{aiff(), "aiff", "aiff", 44100}, Source{flac(), "flac", "flac", 44100}}) {
        SCOPED_TRACE(source.extension);
        const QString ext = QString::fromLatin1(source.extension);
        const QString input = inside(source.fixture, QStringLiteral("source.") + ext);
        const std::vector<int16_t> original = pcm16(input);
        const double length = double(original.size()) / source.rate;

        CliOutcome r = run({"-i", input, "-o", "one." + ext, "-c", "0", "-c", "0.25", "-c", "0.75"});
        ASSERT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
        EXPECT_TRUE(r.out.contains(QStringLiteral("(.%1)").arg(ext))) << "the preset names the container: " << r.out.toStdString();
        const QString one = granted + QStringLiteral("/one.") + ext;
        EXPECT_EQ(formatName(one), QString::fromLatin1(source.format));
        EXPECT_EQ(pcm16(one), slice(original, source.rate, 0.25, 0.75));

        ASSERT_EQ(run({"-i", input, "-o", "joined." + ext, "-c", "0.2", "-c", "0.3", "-c", "0.55", "-c", "0.61"}).status, 0);
        const QString join = granted + QStringLiteral("/joined.") + ext;
        EXPECT_EQ(pcm16(join), joined({slice(original, source.rate, 0, 0.2), slice(original, source.rate, 0.3, 0.55),
                                       slice(original, source.rate, 0.61, length)}));
        expectPlayable(join);

        const QString folder = granted + QStringLiteral("/pieces-") + ext;
        QDir().mkpath(folder);
        ASSERT_EQ(run({"-i", input, "--split-export", folder, "-s", "0.4"}).status, 0);
        const QString first = folder + QStringLiteral("/source - part 1 - trimmed.") + ext;
        const QString second = folder + QStringLiteral("/source - part 2 - trimmed.") + ext;
        EXPECT_EQ(pcm16(first), slice(original, source.rate, 0, 0.4));
        EXPECT_EQ(joined({pcm16(first), pcm16(second)}), original);

        if (ext == QLatin1String("flac")) {
            // The reference decoder checks every frame's numbering and checksums and the stream's sample count.
            for (const QString& path : {one, join, first, second}) {
                QByteArray out, errors;
                EXPECT_EQ(TestMedia::run(QStringLiteral("flac"), {QStringLiteral("-t"), path}, &out, 60000, &errors), 0)
                    << errors.toStdString();
            }
            EXPECT_EQ(tags(one).value(QStringLiteral("TITLE")).toString() + tags(one).value(QStringLiteral("title")).toString(),
                      QStringLiteral("FLAC Title"));
        }
    }
    EXPECT_TRUE(leftovers().isEmpty());
}

// An MP3 keeps its frames (not encoded again), its tags and cover, and says in its Info header how much
// of the first and last frames to skip: a gapless decoder plays exactly the kept samples. Joins are
// to the frame.
TEST_F(SourceFormatCliTest, Mp3KeepsItsFramesTagsAndGaplessLength)
{
    const QString input = inside(mp3WithCover(), QStringLiteral("song.mp3"));
    const std::vector<int16_t> original = pcm16(input); // 44.1 kHz mono
    CliOutcome r = run({"-i", input, "-o", "middle.mp3", "-c", "0", "-c", "0.5", "-c", "2.0"});
    ASSERT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
    const QString middle = granted + QStringLiteral("/middle.mp3");
    EXPECT_EQ(pcm16(middle), slice(original, 44100, 0.5, 2.0));
    EXPECT_NEAR(streamOfType(middle, "audio").value(QStringLiteral("bit_rate")).toString().toDouble(), 128000, 2000)
        << "copied frames, not the MP3 preset's 320 kbps";
    EXPECT_EQ(tags(middle).value(QStringLiteral("title")).toString(), QStringLiteral("Tone Title"));
    EXPECT_EQ(tags(middle).value(QStringLiteral("artist")).toString(), QStringLiteral("Tone Artist"));
    EXPECT_FALSE(streamOfType(middle, "video").isEmpty()) << "the cover";
    expectPlayable(middle);

    // Two pieces: a join adds at most the parts of the two frames it falls in.
    ASSERT_EQ(run({"-i", input, "-o", "joined.mp3", "-c", "0.5", "-c", "1.0"}).status, 0);
    const QString join = granted + QStringLiteral("/joined.mp3");
    const double kept = 2.5 * 44100;
    EXPECT_GE(double(pcm16(join).size()), kept);
    EXPECT_LE(double(pcm16(join).size()), kept + 2 * 1152);
    expectPlayable(join);
}

// Ogg Opus and Ogg Vorbis stay in Ogg, under the source's extension. An Opus copy states its lead-in
// as its pre-skip and ends at the last kept sample; a Vorbis copy begins with the packet that holds
// the kept start. Joins are to the packet.
TEST_F(SourceFormatCliTest, OggStaysOggAndOpusIsCutToTheSample)
{
    const QString opus = inside(oggOpus(), QStringLiteral("voice.opus"));
    CliOutcome r = run({"-i", opus, "-o", "middle.opus", "-c", "0", "-c", "0.51", "-c", "2.03"});
    ASSERT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(QLatin1String("will be written as"))) << ".opus names an Ogg file";
    const QString middle = granted + QStringLiteral("/middle.opus");
    EXPECT_EQ(formatName(middle), QStringLiteral("ogg"));
    EXPECT_EQ(pcm16(middle).size(), size_t(std::lround(1.52 * 48000)));
    expectPlayable(middle);
    ASSERT_EQ(run({"-i", opus, "-o", "joined.opus", "-c", "1.03", "-c", "1.51"}).status, 0);
    const double kept = (3.0 - 0.48) * 48000;
    EXPECT_GE(double(pcm16(granted + QStringLiteral("/joined.opus")).size()), kept);
    EXPECT_LE(double(pcm16(granted + QStringLiteral("/joined.opus")).size()), kept + 2 * 960);

    const QString vorbis = inside(oggVorbis(), QStringLiteral("voice.ogg"));
    ASSERT_EQ(run({"-i", vorbis, "-o", "middle.ogg", "-c", "0", "-c", "0.51", "-c", "2.03"}).status, 0);
    const QString vorbisMiddle = granted + QStringLiteral("/middle.ogg");
    EXPECT_EQ(formatName(vorbisMiddle), QStringLiteral("ogg"));
    // From the start of the packet that holds the kept start, to the last kept sample.
    EXPECT_GE(double(pcm16(vorbisMiddle).size()), 1.52 * 44100);
    EXPECT_LE(double(pcm16(vorbisMiddle).size()), 1.52 * 44100 + 1024);
    expectPlayable(vorbisMiddle);
}

// Copy only: WebM has no edit lists, so each piece starts at the keyframe at or before its start (all
// tracks together), the tool says so, and the file is well formed.
TEST_F(SourceFormatCliTest, CopyOnlyCutsVideoAtKeyframes)
{
    const QString input = inside(webmVp8Vorbis(), QStringLiteral("clip.webm"));
    CliOutcome r =
        run({"-i", input, "-o", "cut.webm", "-c", "1.5", "-c", "2.3", "-c", "4.2", "-c", "4.6", "--passthrough-mode", "copy-only"});
    ASSERT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QRegularExpression(QStringLiteral("piece 2 is cut at the keyframe at 2.00\\d s, 0.29\\d s before "
                                                                 "the requested 2.300 s"))))
        << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QLatin1String("each kept piece starts at the keyframe"))) << r.out.toStdString();
    const QString output = granted + QStringLiteral("/cut.webm");
    EXPECT_EQ(formatName(output), QStringLiteral("matroska,webm"));
    // Keyframes every 25 frames: the pieces are frames 0–37, 50–104 and 100–149.
    std::vector<int> expected;
    for (const auto& [from, to] : {std::pair{0, 37}, std::pair{50, 104}, std::pair{100, 149}})
        for (int frame = from; frame <= to; ++frame)
            expected.push_back(frame);
    const Decoded decoded = decode(output);
    EXPECT_EQ(decoded.frameNumbers, expected);
    EXPECT_TRUE(decoded.messages.isEmpty()) << decoded.messages.toStdString();
    EXPECT_NEAR(double(decoded.audioSamples) / 48000, expected.size() / 25.0, 0.05) << "the sound goes with the pictures";
    EXPECT_EQ(tags(output).value(QStringLiteral("title")).toString(), QStringLiteral("WebM Title"));
    QByteArray out, errors;
    EXPECT_EQ(TestMedia::run(QStringLiteral("mkvinfo"), {output}, &out, 60000, &errors), 0) << errors.toStdString();
    EXPECT_FALSE(out.contains("Error")) << out.toStdString();
    QByteArray messages;
    EXPECT_TRUE(gstreamerDecodes(output, &messages)) << messages.toStdString();

    // An AVI that MPEG-4 cannot hold (B-frames and PCM) is written as Matroska, which keeps the pictures'
    // times; AVI only where Matroska cannot hold the source (Cinepak). Both are cut at keyframes.
    for (const auto& [fixture, name, format] :
         {std::tuple{aviWithPcm(), "bframes.avi", "matroska,webm"}, std::tuple{aviCinepak(), "cinepak.avi", "avi"}}) {
        SCOPED_TRACE(name);
        const QString source = inside(fixture, QString::fromLatin1(name));
        const CliOutcome cut =
            run({"-i", source, "-o", "cut-" + QString::fromLatin1(name), "-c", "1.5", "-c", "2.3", "--passthrough-mode", "copy-only"});
        ASSERT_EQ(cut.status, 0) << cut.out.toStdString() << cut.err.toStdString();
        // The second piece starts at the keyframe the tool names, or at 2.28 s (the cut as the project
        // places it on a frame) when that frame is one.
        const QRegularExpressionMatch note =
            QRegularExpression(QStringLiteral("piece 2 is cut at the keyframe at (\\d+\\.\\d+) s")).match(cut.err);
        const int keyframe = note.hasMatch() ? int(std::lround(note.captured(1).toDouble() * 25)) : 57;
        const QString written = granted + QStringLiteral("/cut-") + QString::fromLatin1(name);
        EXPECT_EQ(formatName(written), QString::fromLatin1(format));
        const Decoded pictures = decode(written);
        const int last = int(std::lround(duration(source) * 25)) - 1;
        // Frames 0–36 (the cut at 1.5 s falls in frame 37), at most one reference frame that B-frames
        // before the cut needed, then the second piece to the end.
        ASSERT_GE(pictures.frameNumbers.size(), size_t(37 + last - keyframe + 1));
        const size_t trailing = pictures.frameNumbers.size() - size_t(37 + last - keyframe + 1);
        EXPECT_LE(trailing, 1u);
        for (size_t i = 0; i < pictures.frameNumbers.size(); ++i) {
            const int expected = i < 37              ? int(i)
                                 : i < 37 + trailing ? std::max(pictures.frameNumbers[i], 37)
                                                     : keyframe + int(i - 37 - trailing);
            EXPECT_EQ(pictures.frameNumbers[i], expected) << "at " << i;
        }
        EXPECT_TRUE(pictures.messages.isEmpty()) << pictures.messages.toStdString();
        EXPECT_TRUE(gstreamerDecodes(written, &messages)) << messages.toStdString();
        if (QString::fromLatin1(format) == QLatin1String("avi")) {
            // No Cinepak pictures are encoded here: the default mode copies as above and says why, in
            // the preset's description (of a source without sound) and in a note.
            const CliOutcome exact = run({"-i", source, "-o", "exact-" + QString::fromLatin1(name), "-c", "1.5", "-c", "2.3"});
            ASSERT_EQ(exact.status, 0) << exact.err.toStdString();
            const QString said = exact.out + exact.err;
            EXPECT_TRUE(said.contains(QLatin1String("Preset: Passthrough (Copies the source's video unchanged into an AVI file")))
                << said.toStdString();
            EXPECT_EQ(said.count(QLatin1String("cannot be encoded anew (Clipwell does not encode CINEPAK pictures)")), 2)
                << said.toStdString();
            EXPECT_EQ(decode(granted + QStringLiteral("/exact-") + QString::fromLatin1(name)).frameNumbers, pictures.frameNumbers);
        }
    }

    // Pieces of their own are WebM files too.
    const QString folder = granted + QStringLiteral("/webm-pieces");
    QDir().mkpath(folder);
    ASSERT_EQ(run({"-i", input, "--split-export", folder, "-s", "3.3", "--passthrough-mode", "copy-only"}).status, 0);
    const Decoded second = decode(folder + QStringLiteral("/clip - part 2 - trimmed.webm"));
    ASSERT_FALSE(second.frameNumbers.empty());
    EXPECT_EQ(second.frameNumbers.front(), 75) << "the keyframe before 3.3 s";
    EXPECT_EQ(second.frameNumbers.back(), 149);
    EXPECT_TRUE(leftovers().isEmpty());
}

// Matroska keeps what MPEG-4 could not hold: SubRip cues that overlap the kept pieces, the attached
// font, the title; replaced cover art becomes an attachment too.
TEST_F(SourceFormatCliTest, MatroskaKeepsSubtitlesAttachmentsAndTitle)
{
    const QString input = inside(matroskaWithSubtitlesAndFont(), QStringLiteral("film.mkv"));
    const QString cover = inside(
        make(QStringLiteral("film-cover.jpg"), {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                                QStringLiteral("color=blue:s=32x32"), QStringLiteral("-frames:v"), QStringLiteral("1")}),
        QStringLiteral("film-cover.jpg"));
    // The source with chapters at 0, 3 and 5 s.
    const QString metadata = granted + QStringLiteral("/film-chapters.txt");
    QFile chapters(metadata);
    ASSERT_TRUE(chapters.open(QIODevice::WriteOnly));
    chapters.write(";FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=3000\ntitle=One\n[CHAPTER]\nTIMEBASE=1/1000\n"
                   "START=3000\nEND=5000\ntitle=Two\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=5000\nEND=6000\ntitle=Three\n");
    chapters.close();
    const QString chaptered = granted + QStringLiteral("/film-chaptered.mkv");
    ASSERT_EQ(TestMedia::run(QStringLiteral("ffmpeg"),
                             {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-i"), input,
                              QStringLiteral("-i"), metadata, QStringLiteral("-map"), QStringLiteral("0"), QStringLiteral("-map_chapters"),
                              QStringLiteral("1"), QStringLiteral("-c"), QStringLiteral("copy"), chaptered}),
              0);
    // Kept (copy only): 0–1.2 s and (from the keyframe at 2 s) 2.0–6 s.
    CliOutcome r =
        run({"-i", chaptered, "-o", "film-cut.mkv", "-c", "1.2", "-c", "2.2", "--artwork", cover, "--passthrough-mode", "copy-only"});
    ASSERT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
    const QString output = granted + QStringLiteral("/film-cut.mkv");
    EXPECT_EQ(tags(output).value(QStringLiteral("title")).toString(), QStringLiteral("Subtitled"));
    QStringList attachments;
    for (const QJsonValue& stream : streams(output)) {
        const QJsonObject tags = stream.toObject().value(QStringLiteral("tags")).toObject();
        if (!tags.value(QStringLiteral("filename")).toString().isEmpty())
            attachments << tags.value(QStringLiteral("filename")).toString();
    }
    attachments.sort();
    EXPECT_EQ(attachments, (QStringList{QStringLiteral("Caption.ttf"), QStringLiteral("cover.png")}));

    // The cues (milliseconds, as the file times them; the source's begin at 503, 2003 and 5003): the
    // first until the cut at 1.2 s, the second from the join, the third 0.8 s earlier.
    QByteArray cues;
    ASSERT_EQ(TestMedia::run(QStringLiteral("ffprobe"),
                             {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"), QStringLiteral("s"),
                              QStringLiteral("-show_entries"), QStringLiteral("packet=pts,duration"), QStringLiteral("-of"),
                              QStringLiteral("csv=p=0"), output},
                             &cues),
              0);
    const QList<QByteArray> lines = cues.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 3) << cues.toStdString();
    EXPECT_EQ(lines[0], QByteArray("503,697"));
    // The second piece follows everything the first wrote, its sound too (a Vorbis packet may end a
    // little after its last picture).
    const int joinAt = lines[1].split(',')[0].toInt();
    EXPECT_GE(joinAt, 1203);
    EXPECT_LE(joinAt, 1230);
    EXPECT_EQ(lines[1].split(',')[1], QByteArray("2500"));
    EXPECT_EQ(lines[2], QByteArray::number(joinAt + 3000) + ",800");
    // The chapters follow the pictures: "Two" (3 s) is shown 1.0 s after the second piece's keyframe at 2 s.
    const QJsonArray outputChapters = probeChapters(output);
    ASSERT_EQ(outputChapters.size(), 3);
    const auto chapterStart = [&](int i) { return outputChapters[i].toObject().value(QStringLiteral("start_time")).toString().toDouble(); };
    EXPECT_NEAR(chapterStart(1), joinAt / 1000.0 + 1.0, 0.02);
    EXPECT_NEAR(chapterStart(2), joinAt / 1000.0 + 3.0, 0.02);
    const Decoded decoded = decode(output);
    ASSERT_EQ(decoded.frameNumbers.size(), size_t(30 + 100));
    EXPECT_EQ(decoded.frameNumbers[29], 29);
    EXPECT_EQ(decoded.frameNumbers[30], 50);
    QByteArray out, errors;
    EXPECT_EQ(TestMedia::run(QStringLiteral("mkvinfo"), {output}, &out, 60000, &errors), 0) << errors.toStdString();
    expectPlayable(output);
}

// Real files made by others (taken out of Debian packages): a tagged 320 kbps MP3 with cover art, an
// Opus and a Vorbis sound, a 24-bit FLAC and a VP8 WebM. Pieces of their own together give back
// exactly the source where the format is cut to the sample.
TEST_F(SourceFormatCliTest, RealFilesKeepTheirFormatAndTheirSamples)
{
    const auto pieces = [&](const QString& input, const QString& folderName, const QStringList& splits) {
        const QString folder = granted + QLatin1Char('/') + folderName;
        QDir().mkpath(folder);
        QStringList arguments{QStringLiteral("-i"), input, QStringLiteral("--split-export"), folder};
        for (const QString& at : splits)
            arguments << QStringLiteral("-s") << at;
        const CliOutcome r = run(arguments);
        EXPECT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
        QStringList files = QDir(folder).entryList(QDir::Files, QDir::Name);
        for (QString& file : files)
            file = folder + QLatin1Char('/') + file;
        return files;
    };
    const auto concatenated = [&](const QStringList& files) {
        std::vector<int16_t> all;
        for (const QString& file : files) {
            const std::vector<int16_t> part = pcm16(file);
            all.insert(all.end(), part.begin(), part.end());
        }
        return all;
    };

    // MP3: every piece gapless, so the pieces are the source, sample for sample.
    const QString song = inside(realFile("BeatThee.mp3"), QStringLiteral("BeatThee.mp3"));
    const QStringList songPieces = pieces(song, QStringLiteral("song"), {"00:01:00", "00:02:00", "00:03:00"});
    ASSERT_EQ(songPieces.size(), 4);
    EXPECT_TRUE(songPieces[0].endsWith(QLatin1String("BeatThee - part 1 - trimmed.mp3")));
    const std::vector<int16_t> songSamples = pcm16(song);
    EXPECT_EQ(concatenated(songPieces), songSamples);
    EXPECT_EQ(tags(songPieces[2]).value(QStringLiteral("title")).toString(), QStringLiteral("Beat Thee"));
    EXPECT_EQ(tags(songPieces[2]).value(QStringLiteral("artist")).toString(), QStringLiteral("Alexander Nakarada"));
    EXPECT_FALSE(streamOfType(songPieces[2], "video").isEmpty()) << "the cover";
    EXPECT_NEAR(streamOfType(songPieces[2], "audio").value(QStringLiteral("bit_rate")).toString().toDouble(), 320000, 2000);
    expectPlayable(songPieces[3]);

    // Opus: the same, through pre-skip and the last granule position.
    const QString phone = inside(realFile("phone.opus"), QStringLiteral("phone.opus"));
    const QStringList phonePieces = pieces(phone, QStringLiteral("phone"), {"00:00:01.300"});
    ASSERT_EQ(phonePieces.size(), 2);
    EXPECT_TRUE(phonePieces[1].endsWith(QLatin1String(".opus")));
    const std::vector<int16_t> phoneSamples = pcm16(phone);
    EXPECT_EQ(pcm16(phonePieces[0]).size(), size_t(1.3 * 48000 * 2));
    EXPECT_EQ(concatenated(phonePieces).size(), phoneSamples.size());
    for (const QString& piece : phonePieces)
        expectPlayable(piece);

    // Vorbis: to the packet.
    const QString alarm = inside(realFile("alarm-clock-elapsed.oga"), QStringLiteral("alarm.oga"));
    ASSERT_EQ(run({"-i", alarm, "-o", "alarm-cut.oga", "-c", "1.2", "-c", "3.4"}).status, 0);
    const QString alarmCut = granted + QStringLiteral("/alarm-cut.oga");
    EXPECT_EQ(formatName(alarmCut), QStringLiteral("ogg"));
    EXPECT_NEAR(double(pcm16(alarmCut).size()) / 2, double(pcm16(alarm).size()) / 2 - 2.2 * 48000, 2 * 2048);
    expectPlayable(alarmCut);

    // FLAC, 24 bits: every bit of the kept samples, in a stream the reference decoder accepts.
    const QString click = inside(realFile("click-120bpm.flac"), QStringLiteral("click.flac"));
    const auto pcm24 = [](const QString& path) { return decodedAudio(path, "s32le"); };
    ASSERT_EQ(run({"-i", click, "-o", "click-cut.flac", "-c", "0.3", "-c", "0.77", "-c", "1.523", "-c", "1.9"}).status, 0);
    const QString clickCut = granted + QStringLiteral("/click-cut.flac");
    const QByteArray clickSamples = pcm24(click);
    const auto part = [&](double from, double to) {
        return clickSamples.mid(qsizetype(std::llround(from * 48000)) * 4, qsizetype(std::llround((to - from) * 48000)) * 4);
    };
    EXPECT_EQ(pcm24(clickCut), part(0, 0.3) + part(0.77, 1.523) + part(1.9, 2.0));
    EXPECT_EQ(streamOfType(clickCut, "audio").value(QStringLiteral("bits_per_raw_sample")).toString(), QStringLiteral("24"));
    QByteArray out, errors;
    EXPECT_EQ(TestMedia::run(QStringLiteral("flac"), {QStringLiteral("-t"), clickCut}, &out, 60000, &errors), 0) << errors.toStdString();

    // VP8 WebM with a single keyframe: a piece from 1.5 s holds no keyframe, so all its pictures are
    // encoded anew (copy only: it starts at the file's start), as the tool says.
    const QString webm = inside(realFile("webm.webm"), QStringLiteral("real.webm"));
    for (const char* mode : {"exact", "copy-only"}) {
        SCOPED_TRACE(mode);
        const bool exact = QLatin1String(mode) == QLatin1String("exact");
        CliOutcome r = run({"-i", webm, "-o", "real-cut.webm", "-c", "0", "-c", "1.5", "-c", "4.0", "--passthrough-mode", mode});
        ASSERT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(exact
                                       ? QLatin1String("piece 1 holds no keyframe to copy from: its pictures from 1.500 s to 4.000 s are "
                                                       "encoded anew")
                                       : QLatin1String("piece 1 is cut at the keyframe at 0.000 s, 1.500 s before the requested 1.500 s")))
            << r.err.toStdString();
        const QString webmCut = granted + QStringLiteral("/real-cut.webm");
        const QJsonObject video = probe(webmCut, true).value(QStringLiteral("streams")).toArray()[0].toObject();
        EXPECT_EQ(video.value(QStringLiteral("codec_name")).toString(), QStringLiteral("vp8"));
        EXPECT_EQ(video.value(QStringLiteral("nb_read_frames")).toString().toInt(), exact ? 75 : 120) << "30 fps from 1.5 (0) to 4 s";
        EXPECT_EQ(TestMedia::run(QStringLiteral("mkvinfo"), {webmCut}, &out, 60000, &errors), 0) << errors.toStdString();
        expectPlayable(webmCut);
    }
    EXPECT_TRUE(leftovers().isEmpty());
}
