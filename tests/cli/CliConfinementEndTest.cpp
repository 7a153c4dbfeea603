// clipwell_cli's ends and its working files, kept inside the granted folder: runs killed or cut off,
// headers that overstate the length, long gaps padded in bounded memory, working files left by an
// earlier run, and a folder moved out of the grant during an export.
#include "CliConfinementHarness.h"

// However the run ends, a hidden working file is never left behind and the old target stays.
TEST_F(CliConfinementTest, KilledOrCutOffRunsLeaveNothing)
{
    const QString input = inside(h264WithBFrames(), QStringLiteral("talk.mp4"));
    const QString target = granted + QStringLiteral("/killed.mp4");
    int killed = 0;
    // Signals the tool does not handle end it at once, as a crash would.
    const std::pair<int, int> ends[] = {{SIGKILL, 0}, {SIGKILL, 20}, {SIGUSR1, 60}, {SIGALRM, 120}, {SIGKILL, 250}};
    for (const auto& [signal, delayMs] : ends) {
        writeFile(target, "precious");
        const auto before = entriesIn(granted);
        QProcess process;
        start(process, {"-i", input, "-p", "h264", "-o", target, "-y"});
        ASSERT_TRUE(process.waitForStarted());
        while (!process.canReadLine() && process.state() == QProcess::Running)
            process.waitForReadyRead(5);
        QThread::msleep(unsigned(delayMs));
        ::kill(pid_t(process.processId()), signal);
        const CliOutcome r = finish(process);
        if (!r.crashed) { // it had finished before the signal came
            EXPECT_EQ(r.status, 0);
            continue;
        }
        ++killed;
        EXPECT_EQ(entriesIn(granted), before) << "signal " << signal << " after " << delayMs << " ms";
        EXPECT_EQ(contents(target), QByteArray("precious"));
    }
    EXPECT_GE(killed, 2);
    writeFile(target, "precious");
    // A reader that goes away after the first line: the run ends as cancelled at its next line.
    QProcess pipeline;
    pipeline.setWorkingDirectory(granted);
    pipeline.start(QStringLiteral("bash"),
                   {QStringLiteral("-c"), QStringLiteral("\"$0\" \"$@\" | head -1 >/dev/null; echo \"status ${PIPESTATUS[0]}\""),
                    QStringLiteral(CLIPWELL_CLI), QStringLiteral("--json"), QStringLiteral("-i"), input, QStringLiteral("-p"),
                    QStringLiteral("h264"), QStringLiteral("-o"), target, QStringLiteral("-y")});
    const CliOutcome r = finish(pipeline);
    EXPECT_TRUE(r.out.contains(QStringLiteral("status 2"))) << r.out.toStdString() << r.err.toStdString();
    EXPECT_EQ(contents(target), QByteArray("precious"));
    QFile::remove(target);
}

// A header that states far more than the file holds is damage, however large the number: no hour of
// silence, no allocation sized by it, nothing written.
TEST_F(CliConfinementTest, HeadersThatOverstateTheLengthAreDamage)
{
    const QString source = make(QStringLiteral("hostile-3s.m4a"), {"-f", "lavfi", "-i", "sine=d=3", "-c:a", "aac"});
    QByteArray bytes = contents(source);
    const qsizetype mvhd = bytes.indexOf("mvhd");
    ASSERT_GT(mvhd, 0);
    ASSERT_EQ(bytes[mvhd + 4], 0) << "version 0: 32-bit times";
    auto word = [&](qsizetype at) { return qFromBigEndian<quint32>(bytes.constData() + at); };
    const quint32 timescale = word(mvhd + 16);
    for (const quint32 stated : {3600 * timescale, 0xFFFFFFFFu}) {
        qToBigEndian<quint32>(stated, bytes.data() + mvhd + 20);
        const QString input = granted + QStringLiteral("/overstated.m4a");
        writeFile(input, bytes);
        for (const char* preset : {"flac", "m4a", "qoa"}) {
            const auto before = entriesIn(granted);
            const CliOutcome r = run({"-i", input, "-p", preset, "-o", QStringLiteral("overstated-out.") + QLatin1String(preset)});
            EXPECT_FALSE(r.crashed) << preset << r.err.toStdString();
            EXPECT_EQ(r.status, 1) << preset << r.out.toStdString();
            EXPECT_TRUE(r.out.contains(QStringLiteral("but its tracks hold only 3.000 s: the file is damaged"))) << r.out.toStdString();
            EXPECT_EQ(entriesIn(granted), before) << preset;
        }
    }
}

// A real hour-long hole in a track is silence, made a little at a time: memory stays small.
TEST_F(CliConfinementTest, LongGapsArePaddedInBoundedMemory)
{
    const QString input = inside(make(QStringLiteral("hour-gap.mkv"), {"-f", "lavfi", "-i", "sine=d=2:sample_rate=48000", "-ac", "2", "-af",
                                                                       "asetpts=PTS+if(gte(T\\,1)\\,3600/TB\\,0)", "-c:a", "pcm_s16le"}),
                                 QStringLiteral("hour-gap.mkv"));
    const CliOutcome r = run({"-i", input, "-p", "flac", "-o", "hour-gap.flac"});
    ASSERT_EQ(r.status, 0) << r.out.toStdString();
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__) // their quarantines keep freed memory
    rusage usage{};
    ASSERT_EQ(::getrusage(RUSAGE_CHILDREN, &usage), 0);
    // The hour as one buffer would be 691 MB; the largest child of this program so far stays far below.
    EXPECT_LT(usage.ru_maxrss, 400 * 1024) << "KiB";
#endif
    const Decoded decoded = decode(granted + QStringLiteral("/hour-gap.flac"));
    EXPECT_EQ(decoded.audioSamples, int64_t(3602) * 48000);
    EXPECT_EQ(decoded.messages, QByteArray());
    QFile::remove(granted + QStringLiteral("/hour-gap.flac"));
}

// Working files of exports that are gone (killed where the file system has no unnamed files, or
// between naming a finished file and renaming it) are removed by the next export into their folder;
// the working file of a live export (it holds a lock on it), one just made, and other names stay.
TEST_F(CliConfinementTest, AbandonedWorkingFilesAreRemovedByTheNextExport)
{
    const QString input = inside(silence(2), QStringLiteral("quiet.wav"));
    const QString folder = granted + QStringLiteral("/working");
    QDir().mkpath(folder);
    const auto make = [&](const char* name, bool old) {
        const QString path = folder + QLatin1Char('/') + QLatin1String(name);
        writeFile(path, QByteArray(4096, 'w'));
        if (old) {
            QFile file(path);
            EXPECT_TRUE(file.open(QIODevice::ReadWrite));
            EXPECT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
        }
        return path;
    };
    const QString abandoned = make(".cw-0badf00d", true);
    const QString live = make(".cw-1234abcd", true);
    const QString fresh = make(".cw-2345bcde", false);
    const QString other = make(".cw-notours0", true);
    const int held = ::open(QFile::encodeName(live).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0); // as a running export holds its own
    const CliOutcome r = run(flacRun(input) + QStringList{"-o", folder + QStringLiteral("/out.flac")});
    EXPECT_EQ(r.status, 0) << r.out.toStdString();
    ::close(held);
    EXPECT_FALSE(QFile::exists(abandoned));
    for (const QString& kept : {live, fresh, other})
        EXPECT_TRUE(QFile::exists(kept)) << kept.toStdString();
    QDir(folder).removeRecursively();
}

// Without Landlock, a target folder moved out of the grant while the export runs receives nothing:
// the export fails saying so, for one file and for pieces.
TEST_F(CliConfinementTest, AFolderMovedOutOfTheGrantReceivesNothing)
{
    const QString input = inside(h264WithBFrames(), QStringLiteral("moving.mp4"));
    const QString movedOut = root->path() + QStringLiteral("/moved-out");
    for (const bool pieces : {false, true}) {
        SCOPED_TRACE(pieces ? "pieces" : "one file");
        QDir(movedOut).removeRecursively();
        QDir(granted).mkpath(QStringLiteral("target"));
        qputenv("CLIPWELL_WITHOUT_LANDLOCK", "1");
        QProcess process;
        start(process, QStringList{"-i", input, "-p", "h264", "--json"} +
                           (pieces ? QStringList{"--split-export", granted + QStringLiteral("/target"), "-s", "5"}
                                   : QStringList{"-o", granted + QStringLiteral("/target/out.mp4")}));
        qunsetenv("CLIPWELL_WITHOUT_LANDLOCK");
        ASSERT_TRUE(process.waitForStarted());
        QByteArray seen;
        while (!seen.contains("\"progress\"") && process.state() == QProcess::Running && process.waitForReadyRead(10000))
            seen += process.peek(1 << 16).mid(seen.size());
        ASSERT_EQ(::kill(pid_t(process.processId()), SIGSTOP), 0);
        ASSERT_TRUE(QDir().rename(granted + QStringLiteral("/target"), movedOut));
        ::kill(pid_t(process.processId()), SIGCONT);
        const CliOutcome r = finish(process);
        EXPECT_EQ(r.status, 1) << r.out.toStdString();
        EXPECT_TRUE(r.out.contains(QStringLiteral("was moved out of the granted folder"))) << r.out.toStdString();
        EXPECT_EQ(entriesIn(movedOut), QStringList()) << "nothing in the folder that left the grant";
        QDir(movedOut).removeRecursively();
    }
}

// Files reached through a link inside the grant are read and written where they are, and every message
// names them there, never by the handles the tool holds them with.
TEST_F(CliConfinementTest, MessagesNameFilesWhereTheyAre)
{
    const QString real = QFileInfo(granted).canonicalFilePath() + QStringLiteral("/named");
    QDir().mkpath(real);
    QFile::remove(granted + QStringLiteral("/via"));
    ASSERT_TRUE(QFile::link(QStringLiteral("named"), granted + QStringLiteral("/via")));
    inside(silence(2), QStringLiteral("named/quiet.wav"));
    inside(h264WithBFrames(), QStringLiteral("named/talk.mp4"));
    writeFile(real + QStringLiteral("/broken.mp4"), QByteArray(4096, 'x'));
    writeFile(real + QStringLiteral("/words.jpg"), "These are words, not a picture.\n");
    writeFile(real + QStringLiteral("/cuts.txt"), "1\nabc\n");
    const struct {
        QStringList arguments;
        QString shellPrefix;
        QString says;
    } runs[] = {
        {{"-i", "via/broken.mp4", "-p", "flac", "-o", "x.flac"}, {}, QStringLiteral("\"%1/broken.mp4\"").arg(real)},
        {{"-i", "via/quiet.wav", "-p", "lame", "-o", "x.mp3", "--artwork", "via/words.jpg"},
         {},
         QStringLiteral("Cannot read the artwork file \"%1/words.jpg\": it is not a picture").arg(real)},
        {{"-i", "via/quiet.wav", "-p", "flac", "-o", "x.flac", "--cuts-from", "via/cuts.txt"},
         {},
         QStringLiteral("on line 2 of the cuts file \"%1/cuts.txt\"").arg(real)},
        {{"-i", "via/talk.mp4", "-p", "passthrough", "-o", "via/big.mp4"},
         QStringLiteral("ulimit -f 8; exec"),
         QStringLiteral("\"%1/big.mp4\": File too large").arg(real)},
    };
    for (const auto& [arguments, shellPrefix, says] : runs) {
        const CliOutcome r = run(arguments, shellPrefix);
        EXPECT_EQ(r.status, 1) << arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(r.out.contains(says)) << says.toStdString() << "\n" << r.out.toStdString();
        EXPECT_FALSE((r.out + r.err).contains(QStringLiteral("/proc/"))) << r.out.toStdString() << r.err.toStdString();
    }
    EXPECT_EQ(QDir(real).entryList(QDir::Files | QDir::Hidden, QDir::Name),
              (QStringList{"broken.mp4", "cuts.txt", "quiet.wav", "talk.mp4", "words.jpg"}));
    QFile::remove(granted + QStringLiteral("/via"));
    QDir(real).removeRecursively();
}
