// clipwell_cli under faults of what it is given: many exports of one source at once, tracks of unequal
// length, damaged indexes and files cut short, files that name other files, cuts files past their
// bounds, damaged artwork and names too long for the folder. Each must end with a clear message and
// the right exit status, and leave nothing behind.
#include "CliFaultHarness.h"

TEST_F(CliFaultTest, TenExportsOfOneSourceAtOnce)
{
    // Separate processes reading the same file and writing side by side, every preset among them.
    const QString source = inside(longer(), QStringLiteral("shared.mp4"));
    QDir().mkpath(granted + QStringLiteral("/ten"));
    std::vector<std::unique_ptr<QProcess>> processes;
    QStringList outputs;
    for (int i = 0; i < 10; ++i) {
        const Preset& preset = kPresets[size_t(i) % std::size(kPresets)];
        outputs << granted + QStringLiteral("/ten/%1-%2.%3").arg(i).arg(QLatin1String(preset.name), QLatin1String(preset.extension));
        processes.push_back(std::make_unique<QProcess>());
        start(*processes.back(), {"-i", source, "-p", preset.name, "-o", outputs.last()});
    }
    std::vector<CliOutcome> outcomes;
    for (auto& process : processes)
        outcomes.push_back(finish(*process));
    for (int i = 0; i < 10; ++i)
        expectExport(outcomes[size_t(i)], outputs[i], 8.0, "export " + std::to_string(i));
}

TEST_F(CliFaultTest, TracksOfUnequalLengthAreNotDamage)
{
    // Audio that ends 3 s before the video is how these files are made, not a cut-short file: in
    // Matroska (no length per track) and in MP4 (each track's own length in its index).
    for (const char* container : {"mkv", "mp4"}) {
        const QString name = QStringLiteral("short-audio.%1").arg(QLatin1String(container));
        const QString source = inside(make(QStringLiteral("fault-") + name, {"-f", "lavfi", "-i", "testsrc2=s=96x64:r=25:d=5", "-f",
                                                                             "lavfi", "-i", "sine=d=2", "-c:v", "libx264", "-c:a", "aac"}),
                                      name);
        for (const char* preset : {"passthrough", "h264", "m4a", "flac"}) {
            const bool audioOnly = QByteArray(preset) == "m4a" || QByteArray(preset) == "flac";
            const QString output = granted + QStringLiteral("/unequal-%1-%2.%3")
                                                 .arg(QLatin1String(container), QLatin1String(preset),
                                                      QByteArray(preset) == "flac" ? "flac"
                                                      : audioOnly                  ? "m4a"
                                                                                   : "mp4");
            expectExport(run({"-i", source, "-p", preset, "-o", output, "-y"}), output, audioOnly ? 0 : 5.0,
                         std::string(container) + " " + preset);
        }
    }
}

// Files whose own index or header states more than they hold, cut short or forged, are refused
// before anything is written, with the track and how far it reaches; none makes the tool allocate
// what its index claims.
TEST_F(CliFaultTest, DamagedIndexesAndCutShortFilesAreRefused)
{
    const QByteArray mp4 = contents(longer()); // 8 s, its index in front
    // The file with fields of a box of its sample table replaced: (offset from the box's type, value).
    const auto patched = [&](const char* box, std::initializer_list<std::pair<int, quint32>> fields) {
        QByteArray bytes = mp4;
        const qsizetype where = bytes.indexOf(box);
        for (const auto& [at, value] : fields)
            qToBigEndian(value, bytes.data() + where + at);
        return bytes;
    };
    const auto cut = [](const QString& fixture) {
        const QByteArray bytes = contents(fixture);
        return bytes.left(bytes.size() * 55 / 100);
    };
    struct Damaged {
        const char* name;
        QByteArray bytes;
        const char* says;
    };
    const Damaged inputs[] = {
        // 80 million samples of one byte each in a file of a few hundred kilobytes
        {"huge-table.mp4", patched("stsz", {{8, 1}, {12, 80000000}}), "claims 80000000 samples"},
        {"no-samples-per-chunk.mp4", patched("stsc", {{16, 0}}), "chunks of no samples"},
        {"negative-length.mp4", patched("stts", {{16, 0xFFFFF000u}}), "negative or impossible length"},
        {"cut.mp4", mp4.left(mp4.size() * 55 / 100), "of 8.00 s: the file is cut short"},
        {"cut.mkv", cut(make(QStringLiteral("fault-longer.mkv"), {"-i", longer(), "-c", "copy"})), "s: the file is cut short"},
        {"cut.mp3", cut(make(QStringLiteral("fault-longer.mp3"), {"-f", "lavfi", "-i", "sine=d=8", "-c:a", "libmp3lame"})),
         "s: the file is cut short"},
        {"cut.wav", cut(make(QStringLiteral("fault-longer.wav"), {"-f", "lavfi", "-i", "sine=d=8"})), "of 8.00 s: the file is cut short"},
    };
    for (const Damaged& input : inputs)
        writeFile(granted + QLatin1Char('/') + QLatin1String(input.name), input.bytes);
    for (const char* preset : {"passthrough", "flac", "lame"}) {
        for (const Damaged& input : inputs) {
            const std::string context = std::string(preset) + " reading " + input.name;
            const auto before = filesIn(granted);
            const QString output = granted + QStringLiteral("/damaged-out.") +
                                   (QByteArray(preset) == "passthrough" ? QFileInfo(QLatin1String(input.name)).suffix()
                                    : QByteArray(preset) == "flac"      ? QStringLiteral("flac")
                                                                        : QStringLiteral("mp3"));
            const CliOutcome r = run({"-i", QLatin1String(input.name), "-p", preset, "-o", output, "-c", "1", "-c", "2"}, {}, 60000);
            expectCleanFailure(r, before, context);
            EXPECT_TRUE(r.out.contains(QLatin1String(input.says))) << context << ": " << r.out.toStdString();
        }
    }
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    EXPECT_LT(usage.ru_maxrss, 1024 * 1024) << "kilobytes at most in any program this test ran";
}

// Playlists and lists that name other files are refused, whatever they name and whether or not the
// kernel confines the tool: the media libraries open nothing by name.
TEST_F(CliFaultTest, FilesThatNameOtherFilesAreRefused)
{
    const QString outside = longer(); // in the fixture folder, not granted
    writeFile(granted + QStringLiteral("/outside.m3u8"),
              ("#EXTM3U\n#EXT-X-TARGETDURATION:8\n#EXTINF:8,\n" + QFile::encodeName(outside) + "\n#EXT-X-ENDLIST\n"));
    writeFile(granted + QStringLiteral("/system.m3u8"), "#EXTM3U\n#EXT-X-TARGETDURATION:8\n#EXTINF:8,\n/etc/passwd\n#EXT-X-ENDLIST\n");
    writeFile(granted + QStringLiteral("/list.ffconcat"), "ffconcat version 1.0\nfile '" + QFile::encodeName(outside) + "'\n");
    ::unlink(QFile::encodeName(granted + QStringLiteral("/fifo.ts")).constData());
    ASSERT_EQ(::mkfifo(QFile::encodeName(granted + QStringLiteral("/fifo.ts")).constData(), 0600), 0);
    writeFile(granted + QStringLiteral("/fifo.m3u8"), "#EXTM3U\n#EXT-X-TARGETDURATION:8\n#EXTINF:8,\nfifo.ts\n#EXT-X-ENDLIST\n");
    for (const QString& prefix : {QString(), QStringLiteral("CLIPWELL_WITHOUT_LANDLOCK=1 exec")}) {
        for (const char* name : {"outside.m3u8", "system.m3u8", "list.ffconcat", "fifo.m3u8"}) {
            const std::string context = std::string(name) + (prefix.isEmpty() ? "" : " without Landlock");
            const auto before = filesIn(granted);
            const CliOutcome r = run({"-i", QLatin1String(name), "-o", "named.mp4"}, prefix, 30000);
            expectCleanFailure(r, before, context);
            EXPECT_TRUE(r.out.contains(QLatin1String("is an HLS playlist, which names other files")) ||
                        r.out.contains(QLatin1String("is a concat list, which names other files")))
                << context << ": " << r.out.toStdString();
        }
    }
    QFile::remove(granted + QStringLiteral("/fifo.ts"));
}

// A cuts file may hold at most a million times: one more is refused, naming the line, before the
// project is touched and without the memory a list of that size would take as cuts.
TEST_F(CliFaultTest, CutsFilesAreBounded)
{
    QByteArray times;
    times.reserve(4 << 20);
    for (int i = 0; i <= 1000000; ++i)
        times += QByteArray::number(i % 3000 / 1000.0, 'f', 3) + '\n';
    writeFile(granted + QStringLiteral("/million.txt"), times);
    const QString source = clip();
    const auto before = filesIn(granted);
    // A million lines are a million allocations: in the address-sanitized build each is unwound in full
    // (as the suite asks, for leak reports through the media libraries), which would take minutes; this
    // run reads no media, so the quick unwinder serves (other builds ignore the setting).
    const CliOutcome r = run({"-i", source, "-o", "bounded.mp4", "--cuts-from", "million.txt"},
                             QStringLiteral("export ASAN_OPTIONS=\"$ASAN_OPTIONS:fast_unwind_on_malloc=1\"; exec"));
    expectCleanFailure(r, before, "1,000,001 cut times");
    EXPECT_TRUE(r.out.contains(QLatin1String("more than 1000000, the most Clipwell takes (line 1000001)"))) << r.out.toStdString();
}

// A source whose cover is damaged or huge still exports with every preset that carries covers: the
// cover is left out, with a note saying why, never copied as it came (a 65 MiB picture in the output).
TEST_F(CliFaultTest, DamagedSourceArtworkIsLeftOutWithANote)
{
    QByteArray audio = contents(make(QStringLiteral("fault-bare.mp3"),
                                     {"-f", "lavfi", "-i", "sine=d=3", "-c:a", "libmp3lame", "-id3v2_version", "0", "-write_id3v1", "0"}));
    const QByteArray jpegStart =
        contents(make(QStringLiteral("fault-small.jpg"), {"-f", "lavfi", "-i", "color=blue:s=64x64", "-frames:v", "1"})).left(200);
    // An ID3v2.3 tag of a title and a front cover.
    const auto tagged = [&](const QByteArray& picture) {
        const auto frame = [](const char* id, const QByteArray& body) {
            QByteArray bytes(id);
            bytes.resize(10);
            qToBigEndian(quint32(body.size()), bytes.data() + 4);
            bytes[8] = bytes[9] = 0;
            return bytes + body;
        };
        const QByteArray frames = frame("TIT2", QByteArray("\0Tone", 5)) + frame("APIC", QByteArray("\0image/jpeg\0\x03\0", 14) + picture);
        QByteArray header("ID3\x03\0\0", 6);
        for (int shift : {21, 14, 7, 0})
            header += char((frames.size() >> shift) & 0x7f);
        return header + frames + audio;
    };
    std::mt19937 random(11);
    QByteArray noise(300000, Qt::Uninitialized);
    for (char& byte : noise)
        byte = char(random());
    writeFile(granted + QStringLiteral("/damaged-cover.mp3"), tagged(jpegStart + noise));
    writeFile(granted + QStringLiteral("/huge-cover.mp3"), tagged(jpegStart + QByteArray((65 << 20), '\x55')));
    for (const char* name : {"damaged-cover.mp3", "huge-cover.mp3"}) {
        for (const auto& [preset, extension] :
             {std::pair{"passthrough", "mp3"}, std::pair{"lame", "mp3"}, std::pair{"flac", "flac"}, std::pair{"m4a", "m4a"}}) {
            const std::string context = std::string(name) + " " + preset;
            const QString output = granted + QStringLiteral("/cover-out.") + QLatin1String(extension);
            const CliOutcome r = run({"-i", QLatin1String(name), "-p", preset, "-o", output, "-y"});
            expectExport(r, output, 3.0, context);
            EXPECT_TRUE(r.err.contains(QLatin1String("Note: The source's artwork is left out: it is"))) << context << r.err.toStdString();
            EXPECT_FALSE(r.err.contains(QLatin1String("qt.gui"))) << r.err.toStdString();
            EXPECT_EQ(streams(output).size(), 1) << context << ": the sound alone";
            EXPECT_LT(QFileInfo(output).size(), 2 << 20) << context;
            EXPECT_EQ(tags(output).value(QStringLiteral("title")).toString() + tags(output).value(QStringLiteral("TITLE")).toString(),
                      QStringLiteral("Tone"))
                << context;
        }
    }
}

// Names longer than the file system takes are refused before any work, for the one file and for
// pieces whose names grow from a long source name.
TEST_F(CliFaultTest, OverlongNamesAreRefusedBeforeTheExport)
{
    const QString longSource = inside(clip(), QString(251, QLatin1Char('a')) + QStringLiteral(".mp4"));
    const QString pieces = granted + QStringLiteral("/long-pieces");
    QDir().mkpath(pieces);
    const auto before = filesIn(granted);
    CliOutcome r = run({"-i", clip(), "-p", "h265", "-o", QString(252, QLatin1Char('b')) + QStringLiteral(".mp4")});
    expectCleanFailure(r, before, "a 256-byte output name");
    EXPECT_TRUE(r.out.contains(QLatin1String("has 256 bytes, more than the 255 a name may have here"))) << r.out.toStdString();
    EXPECT_FALSE(r.out.contains(QLatin1String("Progress"))) << "refused before the export began";
    r = run({"-i", longSource, "-p", "h265", "--split-export", pieces, "-s", "1"});
    expectCleanFailure(r, before, "pieces of a 255-byte source name");
    EXPECT_TRUE(r.out.contains(QLatin1String("The pieces would be named like"))) << r.out.toStdString();
    EXPECT_TRUE(QDir(pieces).isEmpty());
    QFile::remove(longSource);
}
