// clipwell_cli under faults, for every preset, exporting one file and one file per piece: folders it
// may not write, an output path that is a folder, a full disk, an input cut short or deleted while it
// is read, interruptions at random moments, bad inputs and absurd arguments. Every run must end with a
// clear message and the right exit status, never a crash or a hang, never leave a partial file, and
// never damage a file that was at the target before.
#include "CliHarness.h"

#include <QJsonDocument>
#include <QtEndian>
#include <QThread>

#include <array>
#include <csignal>
#include <random>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace TestMedia;

namespace {

struct Preset {
    const char* name;
    const char* extension;
    bool needsVideo;
};
const Preset kPresets[] = {{"passthrough", "mp4", false}, {"h264", "mp4", true},  {"h265", "mp4", true},
                           {"low", "mp4", true},          {"m4a", "m4a", false},  {"alac", "m4a", false},
                           {"flac", "flac", false},       {"lame", "mp3", false}, {"qoa", "qoa", false}};

// Every file below the granted folder, hidden ones included.
std::set<QString> filesIn(const QString& folder)
{
    std::set<QString> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.insert(it.next());
    return files;
}

class CliFaultTest : public CliHarness {
protected:
    static void SetUpTestSuite()
    {
        CliHarness::SetUpTestSuite();
        // Runs as an unprivileged user (see runAsUser) must reach the granted folder and the grant.
        for (const QString& path : {root->path(), container})
            QFile::setPermissions(path, QFile::Permissions(0x7777));
        QFile::setPermissions(container + QStringLiteral("/cli-access-bookmark.data"), QFile::Permissions(0x6644));
        QFile::setPermissions(granted, QFile::Permissions(0x7777));
    }

    // 3 s of 96×64 H.264 with B-frames and stereo AAC: quick to export with every preset.
    static QString clip()
    {
        return inside(make(QStringLiteral("fault-clip.mp4"),
                           {"-f", "lavfi", "-i", "testsrc2=s=96x64:r=25:d=3", "-f", "lavfi", "-i", "sine=f=330:d=3:sample_rate=44100",
                            "-ac", "2", "-c:v", "libx264", "-g", "25", "-c:a", "aac", "-metadata", "title=Clip", "-shortest"}),
                      QStringLiteral("clip.mp4"));
    }
    // 8 s of 320×240 with its index in front, so that a copy cut short still opens.
    static QString longer()
    {
        return make(QStringLiteral("fault-longer.mp4"),
                    {"-f", "lavfi", "-i", "testsrc2=s=320x240:r=25:d=8", "-f", "lavfi", "-i", "sine=f=500:d=8", "-c:v", "libx264",
                     "-preset", "ultrafast", "-c:a", "aac", "-movflags", "+faststart", "-shortest"});
    }

    // A subtitle file in SubRip form.
    static QString subtitles()
    {
        const QString path = folder() + QStringLiteral("/fault.srt");
        writeFile(path, "1\n00:00:00,000 --> 00:00:01,500\nOnly words here\n");
        return path;
    }

    // A shell prefix that drops root's privileges, so that folder permissions apply to the tool.
    // Runs the tool as an unprivileged user when the tests run as root, so that folder permissions
    // apply to it: a copy of the tool in the shared temporary folder, in case the build folder is
    // not reachable for that user.
    static CliOutcome runAsUser(const QStringList& arguments)
    {
        if (geteuid() != 0)
            return run(arguments);
        const QString tool = root->path() + QStringLiteral("/clipwell_cli");
        if (!QFile::exists(tool))
            QFile::copy(QStringLiteral(CLIPWELL_CLI), tool);
        QProcess process;
        process.setWorkingDirectory(granted);
        process.start(QStringLiteral("setpriv"), QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                                             QStringLiteral("--clear-groups"), tool} +
                                                     arguments);
        return finish(process);
    }

    // Outputs of a preset: "<base>.<ext>" for one file, or the folder for one file per piece.
    static QStringList target(const Preset& preset, const QString& base, bool pieces)
    {
        if (pieces)
            return {"--split-export", base, "-s", "1.5"};
        return {"-o", base + QLatin1Char('.') + QLatin1String(preset.extension)};
    }

    // A failure as the user should see it: status 1, an error that says something (a line "Error: …"
    // or a JSON error message), no crash, no working files left, nothing new in the folder. Pieces
    // finished before the failure stay, as complete files in `piecesFolder`.
    static void expectCleanFailure(const CliOutcome& r, const std::set<QString>& before, const std::string& context,
                                   const QString& piecesFolder = {})
    {
        SCOPED_TRACE(context);
        EXPECT_FALSE(r.crashed) << r.err.toStdString();
        EXPECT_EQ(r.status, 1) << r.out.toStdString() << r.err.toStdString();
        QString message;
        for (const QString& line : r.out.split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1String("Error: ")))
                message = line.mid(7);
            const QJsonObject json = QJsonDocument::fromJson(line.toUtf8()).object();
            if (json.value(QStringLiteral("type")).toString() == QLatin1String("error"))
                message = json.value(QStringLiteral("message")).toString();
        }
        EXPECT_GT(message.size(), 12) << r.out.toStdString();
        for (const QString& file : filesIn(granted)) {
            if (before.count(file))
                continue;
            const bool piece = !piecesFolder.isEmpty() && QFileInfo(file).path() == piecesFolder && !QFileInfo(file).isHidden();
            EXPECT_TRUE(piece) << "left behind: " << file.toStdString();
            if (piece && !file.endsWith(QLatin1String(".qoa"))) {
                EXPECT_GT(duration(file), 0.5) << "a finished piece: " << file.toStdString();
            }
        }
        EXPECT_TRUE(leftovers().isEmpty());
    }

    // A finished export: status 0 and a file ffprobe reads with about the expected length.
    static void expectExport(const CliOutcome& r, const QString& file, double seconds, const std::string& context)
    {
        SCOPED_TRACE(context);
        EXPECT_FALSE(r.crashed) << r.err.toStdString();
        ASSERT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
        ASSERT_TRUE(QFile::exists(file)) << file.toStdString();
        if (file.endsWith(QLatin1String(".qoa"))) {
            EXPECT_TRUE(contents(file).startsWith("qoaf")); // ffprobe does not read QOA; its own tests decode it
        } else if (seconds > 0) {
            EXPECT_NEAR(duration(file), seconds, 0.1);
        }
        EXPECT_TRUE(leftovers().isEmpty());
    }
};

} // namespace

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
