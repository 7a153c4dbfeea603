// clipwell_cli under faults, for every preset, exporting one file and one file per piece: folders it
// may not write, an output path that is a folder, a full disk, an input cut short or deleted while it
// is read, interruptions at random moments, bad inputs and absurd arguments. Every run must end with a
// clear message and the right exit status, never a crash or a hang, never leave a partial file, and
// never damage a file that was at the target before.
#include "CliFaultHarness.h"

TEST_F(CliFaultTest, FoldersThatCannotBeWrittenAreRefused)
{
    const QString source = clip();
    const QString locked = granted + QStringLiteral("/locked");
    QDir().mkpath(locked);
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
    const QString aFile = granted + QStringLiteral("/not-a-folder");
    writeFile(aFile, "text");
    QDir().mkpath(granted + QStringLiteral("/a-folder.mp4"));
    for (const Preset& preset : kPresets) {
        const std::string name = preset.name;
        const auto before = filesIn(granted);
        // A folder the user may not write in, for one file and for pieces.
        CliOutcome r = runAsUser(QStringList{"-i", source, "-p", preset.name} + target(preset, locked + QStringLiteral("/x"), false));
        expectCleanFailure(r, before, name + " into a locked folder");
        EXPECT_TRUE(r.out.contains(QStringLiteral("Permission denied"))) << r.out.toStdString();
        r = runAsUser(QStringList{"-i", source, "-p", preset.name} + target(preset, locked, true));
        expectCleanFailure(r, before, name + " pieces into a locked folder");
        EXPECT_TRUE(QDir(locked).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
        // The output path is a folder; the pieces' folder is a file.
        r = run({"-i", source, "-p", preset.name, "-o", granted + QStringLiteral("/a-folder.mp4"), "-y"});
        expectCleanFailure(r, before, name + " onto a folder");
        EXPECT_TRUE(QFileInfo(granted + QStringLiteral("/a-folder.mp4")).isDir());
        r = run(QStringList{"-i", source, "-p", preset.name} + target(preset, aFile, true));
        expectCleanFailure(r, before, name + " pieces into a file");
        EXPECT_EQ(contents(aFile), QByteArray("text"));
    }
}

TEST_F(CliFaultTest, FullDiskFailsAndKeepsWhatWasThere)
{
    const QString source = clip();
    QDir().mkpath(granted + QStringLiteral("/full"));
    for (const Preset& preset : kPresets) {
        const std::string name = preset.name;
        // One file over an older one (--overwrite), and pieces over an older first piece.
        const QString single = granted + QStringLiteral("/full/old.") + QLatin1String(preset.extension);
        const QString piece = granted + QStringLiteral("/full/clip - part 1 - ") +
                              QLatin1String(QByteArray(preset.name) == "passthrough" ? "trimmed" : preset.name) + QLatin1Char('.') +
                              QLatin1String(preset.extension);
        writeFile(single, "precious");
        writeFile(piece, "precious piece");
        const auto before = filesIn(granted);
        CliOutcome r = run({"-i", source, "-p", preset.name, "-o", single, "-y"}, QStringLiteral("ulimit -f 8; exec"));
        expectCleanFailure(r, before, name + " on a full disk");
        EXPECT_TRUE(r.out.contains(QStringLiteral("File too large"))) << r.out.toStdString();
        EXPECT_TRUE(r.out.contains(single)) << "names the target: " << r.out.toStdString();
        EXPECT_FALSE(r.out.contains(QStringLiteral("partial"))) << "not the hidden working file: " << r.out.toStdString();
        EXPECT_EQ(contents(single), QByteArray("precious"));
        r = run({"-i", source, "-p", preset.name, "--split-export", granted + QStringLiteral("/full"), "-s", "1.5", "-y"},
                QStringLiteral("ulimit -f 8; exec"));
        expectCleanFailure(r, before, name + " pieces on a full disk");
        EXPECT_EQ(contents(piece), QByteArray("precious piece"));
    }
}

TEST_F(CliFaultTest, InputCutShortOrDeletedWhileExporting)
{
    // The input changes after the tool has said it started: it either fails saying so, or (when it
    // had already read everything, or still holds the deleted file open) finishes a complete file.
    int failedMidway = 0;
    for (const Preset& preset : kPresets) {
        for (const bool pieces : {false, true}) {
            for (const bool deleteIt : {false, true}) {
                if (pieces && deleteIt)
                    continue; // deleting is the same for pieces: the open file stays readable
                const std::string context = std::string(preset.name) + (pieces ? " pieces" : "") + (deleteIt ? " deleted" : " cut short");
                const QString input = granted + QStringLiteral("/changing.mp4");
                QFile::remove(input);
                ASSERT_TRUE(QFile::copy(longer(), input));
                const QString outFolder = granted + QStringLiteral("/changing-out");
                QDir(outFolder).removeRecursively();
                QDir().mkpath(outFolder);
                const auto before = filesIn(granted);
                QProcess process;
                start(process, QStringList{"-i", input, "-p", preset.name, "--json", "-y"} +
                                   target(preset, pieces ? outFolder : outFolder + QStringLiteral("/out"), pieces));
                ASSERT_TRUE(process.waitForStarted());
                // The second line is the first progress report (or the end): the export is under way.
                QByteArray seen;
                while (seen.count('\n') < 2 && process.state() == QProcess::Running && process.waitForReadyRead(5000))
                    seen += process.peek(1 << 16).mid(seen.size());
                ::kill(pid_t(process.processId()), SIGSTOP);
                if (deleteIt)
                    QFile::remove(input);
                else
                    ASSERT_TRUE(QFile::resize(input, QFileInfo(input).size() * 2 / 5));
                ::kill(pid_t(process.processId()), SIGCONT);
                const CliOutcome r = finish(process);
                QFile::remove(input);
                if (r.status == 0) {
                    const QStringList made = QDir(outFolder).entryList(QDir::Files);
                    ASSERT_EQ(made.size(), pieces ? 2 : 1) << context;
                    expectExport(r, outFolder + QLatin1Char('/') + made.first(), pieces ? 1.5 : 8.0, context);
                } else {
                    ++failedMidway;
                    expectCleanFailure(r, before, context, outFolder);
                }
            }
        }
    }
    // The encoding presets are still reading when the file shrinks.
    EXPECT_GE(failedMidway, 4);
}

TEST_F(CliFaultTest, InterruptionsAtRandomMomentsLeaveNothingBehind)
{
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const QString input = inside(longer(), QStringLiteral("interrupted.mp4"));
    const QString kept = granted + QStringLiteral("/interrupted-out");
    QDir().mkpath(kept);
    int cancelled = 0;
    for (const Preset& preset : kPresets) {
        for (const bool pieces : {false, true}) {
            const int delayMs = std::uniform_int_distribution<int>(0, 400)(random);
            // Ctrl+C, SIGTERM and a closed terminal (SIGHUP) all cancel.
            const int signal = std::array{SIGINT, SIGTERM, SIGHUP}[std::uniform_int_distribution<size_t>(0, 2)(random)];
            const std::string context = std::string(preset.name) + (pieces ? " pieces" : "") + " after " + std::to_string(delayMs) +
                                        " ms, signal " + std::to_string(signal);
            const QString single = kept + QStringLiteral("/out.") + QLatin1String(preset.extension);
            if (!pieces)
                writeFile(single, "precious");
            const auto before = filesIn(granted);
            QProcess process;
            start(process,
                  QStringList{"-i", input, "-p", preset.name, "-y"} + (pieces ? target(preset, kept, true) : QStringList{"-o", single}));
            ASSERT_TRUE(process.waitForStarted());
            while (!process.canReadLine() && process.state() == QProcess::Running)
                process.waitForReadyRead(50);
            QThread::msleep(unsigned(delayMs));
            ::kill(pid_t(process.processId()), signal);
            const CliOutcome r = finish(process, 120000);
            SCOPED_TRACE(context);
            ASSERT_FALSE(r.crashed) << r.err.toStdString();
            if (r.status == 0) { // it had finished before the signal came
                if (!pieces)
                    expectExport(r, single, 8.0, context);
                continue;
            }
            ++cancelled;
            EXPECT_EQ(r.status, 2) << r.out.toStdString() << r.err.toStdString();
            EXPECT_TRUE(r.out.contains(QStringLiteral("Error: Export cancelled")) || r.out.contains(QStringLiteral("cancel")))
                << r.out.toStdString();
            for (const QString& file : before)
                EXPECT_TRUE(QFile::exists(file)) << "removed: " << file.toStdString();
            for (const QString& file : filesIn(granted)) {
                const bool finishedPiece = pieces && QFileInfo(file).path() == kept && !QFileInfo(file).isHidden();
                EXPECT_TRUE(before.count(file) || finishedPiece) << "left behind: " << file.toStdString();
            }
            EXPECT_TRUE(leftovers().isEmpty());
            if (!pieces) {
                EXPECT_EQ(contents(single), QByteArray("precious"));
            }
        }
    }
    EXPECT_GE(cancelled, 4) << "the video encodings take longer than the longest delay";
}

TEST_F(CliFaultTest, BadInputsAreRefusedByEveryPreset)
{
    const QString good = clip();
    QByteArray bytes = contents(good);
    // Garbage over the middle of the media data; the index stays intact.
    QByteArray corrupt = bytes;
    std::mt19937 random(7);
    for (qsizetype i = corrupt.size() / 4; i < corrupt.size() * 3 / 4; ++i)
        corrupt[i] = char(random());
    inside(make(QStringLiteral("fault-subtitles.mkv"), {"-i", subtitles(), "-c:s", "srt"}), QStringLiteral("subtitles.mkv"));
    struct Input {
        const char* name;
        QByteArray bytes;
        bool mayOpen; // damaged data in an intact file: decoders may conceal it
    };
    const Input inputs[] = {
        {"empty.mp4", {}, false},
        {"text.mp4", "This is not a movie.\n", false},
        {"half.mp4", bytes.left(bytes.size() / 2), false}, // its index is at the end
        {"corrupt.mp4", corrupt, true},
        {"picture.mp4", contents(make(QStringLiteral("fault-still.png"), {"-f", "lavfi", "-i", "color=red:s=32x32", "-frames:v", "1"})),
         false},
        {"subtitles.mkv", {}, false}, // only a subtitle track; already in place
    };
    for (const Input& input : inputs)
        if (QByteArray(input.name) != "subtitles.mkv")
            writeFile(granted + QLatin1Char('/') + QLatin1String(input.name), input.bytes);
    for (const Preset& preset : kPresets) {
        for (const Input& input : inputs) {
            const std::string context = std::string(preset.name) + " reading " + input.name;
            const QString name = QLatin1String(input.name);
            const auto before = filesIn(granted);
            const QString output = granted + QStringLiteral("/bad-out.") + QLatin1String(preset.extension);
            const CliOutcome r = run({"-i", granted + QLatin1Char('/') + name, "-p", preset.name, "-o", output, "-y"}, {}, 60000);
            if (input.mayOpen && r.status == 0) {
                expectExport(r, output, 0, context);
                QFile::remove(output);
            } else {
                expectCleanFailure(r, before, context);
            }
        }
    }
}

// A source a preset cannot take is refused before anything is written, with what stands in the way
// and the presets that can take it.
TEST_F(CliFaultTest, PresetsThatCannotTakeASourceSayWhichCan)
{
    const QString lossless = inside(flac(), QStringLiteral("refused.flac"));
    const QString silent = inside(fps25(), QStringLiteral("silent.mp4"));
    struct Refusal {
        QString input;
        const char* preset;
        const char* extension;
        const char* message;
    };
    const Refusal refusals[] = {
        {lossless, "low", "mp4", "Thumbnail needs a video track: choose the alac, flac, m4a, lame, passthrough or qoa preset."},
        {silent, "lame", "mp3", "MP3 Audio needs an audio track: choose the h264, h265, passthrough or low preset."},
        {silent, "qoa", "qoa", "QOA Audio needs an audio track: choose the h264, h265, passthrough or low preset."},
        {silent, "flac", "flac", "FLAC Audio needs an audio track: choose the h264, h265, passthrough or low preset."},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.preset);
        const auto before = filesIn(granted);
        const CliOutcome r =
            run({"-i", refusal.input, "-p", refusal.preset, "-o", granted + QStringLiteral("/refused.") + refusal.extension});
        expectCleanFailure(r, before, refusal.preset);
        EXPECT_TRUE(r.out.contains(QLatin1String(refusal.message))) << r.out.toStdString();
    }
}

TEST_F(CliFaultTest, AbsurdArgumentsEndWellWithEveryPreset)
{
    const QString source = clip();
    // 2,000 cut points 1.3 ms apart: 1,000 removed stretches, 1.7 s kept. Sanitized builds take 400
    // (the same code, a fifth of the minutes: pass-through encodes every sliver's lead-in anew).
#ifdef CLIPWELL_SANITIZED
    const int points = 400;
#else
    const int points = 2000;
#endif
    const double kept = 3.0 - points / 2 * 0.0013;
    QStringList cuts;
    for (int i = 0; i < points; ++i)
        cuts << QStringLiteral("-c") << QString::number(0.05 + i * 0.0013, 'f', 4);
    const QString notAnImage =
        inside(make(QStringLiteral("fault-notes.txt"), {"-f", "lavfi", "-i", "sine=d=0.1", "-f", "wav"}), QStringLiteral("art.png"));
    const QString huge = inside(make(QStringLiteral("fault-huge.png"), {"-f", "lavfi", "-i", "color=gray:s=10000x10000", "-frames:v", "1",
                                                                        "-pix_fmt", "gray", "-compression_level", "1"}),
                                QStringLiteral("huge.png"));
    const QString photo =
        inside(make(QStringLiteral("fault-photo.jpg"), {"-f", "lavfi", "-i", "color=olive:s=12000x8000", "-frames:v", "1"}),
               QStringLiteral("photo.jpg"));
    const QString longTitle(10000, QChar(u'ä'));
    for (const Preset& preset : kPresets) {
        const std::string name = preset.name;
        const QString output = granted + QStringLiteral("/absurd.") + QLatin1String(preset.extension);
        const auto before = filesIn(granted);
        // Times out of range or malformed: refused before anything is written.
        for (const QStringList& times :
             {QStringList{"-c", "99999999"}, QStringList{"-c", "-5"}, QStringList{"-s", "1e400"}, QStringList{"-c", "99:99:99:99"}}) {
            const CliOutcome r = run(QStringList{"-i", source, "-p", preset.name, "-o", output} + times);
            expectCleanFailure(r, before, name + " " + times.join(QLatin1Char(' ')).toStdString());
        }
        // Many cuts: every kept sliver (pass-through repeats each one's lead-in from its keyframe).
        // (Pass-through encodes a thousand lead-ins: minutes in a sanitized build on a busy machine.)
        CliOutcome r = run(QStringList{"-i", source, "-p", preset.name, "-o", output, "-y"} + cuts, {}, 900000);
        expectExport(r, output, QByteArray(preset.name) == "passthrough" ? 0 : kept, name + " with many cuts");
        // Artwork that is not a picture is refused; a 10,000-character title and invalid UTF-8 in the
        // artist (the shell passes the raw bytes) are carried.
        const auto present = filesIn(granted);
        expectCleanFailure(run({"-i", source, "-p", preset.name, "-o", output, "-y", "--artwork", notAnImage}), present,
                           name + " with artwork that is not a picture");
        r = run({"-i", source, "-p", preset.name, "-o", output, "-y", "--meta-title", longTitle},
                QStringLiteral("set -- \"$@\" --meta-artist \"$(printf 'bad \\xff\\xfe end')\"; exec"));
        expectExport(r, output, 3.0, name + " with odd metadata");
        if (!preset.needsVideo && QByteArray(preset.name) != "qoa" && QByteArray(preset.name) != "passthrough") {
            const QJsonObject written = tags(output);
            EXPECT_EQ(written.value(QStringLiteral("title")).toString().size(), 10000) << name;
            EXPECT_TRUE(written.value(QStringLiteral("artist")).toString().startsWith(QStringLiteral("bad "))) << name;
        }
        // A 100-megapixel PNG is more than can be decoded (PNG is never decoded scaled): refused with
        // what to do. A 96-megapixel JPEG is decoded scaled, as artwork and as small artwork, into each
        // kind of file that carries artwork (MP4, FLAC, MP3; the decoding is the same for all presets).
        if (!std::set<std::string>{"h264", "flac", "lame"}.contains(name))
            continue;
        const auto beforeHuge = filesIn(granted);
        r = run(QStringList{"-i", source, "-p", preset.name, "-o", output, "-y", "--artwork", huge});
        expectCleanFailure(r, beforeHuge, name + " with 100-megapixel PNG artwork");
        EXPECT_TRUE(r.out.contains(QLatin1String("scale it down to at most 3000 pixels"))) << r.out.toStdString();
        for (const bool reduce : {false, true}) {
            r = run(QStringList{"-i", source, "-p", preset.name, "-o", output, "-y", "--artwork", photo} +
                    (reduce ? QStringList{"--small-artwork"} : QStringList{}));
            expectExport(r, output, 3.0, name + " with 96-megapixel artwork");
        }
    }
}
