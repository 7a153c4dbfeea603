// clipwell_cli kept inside its granted folder by the kernel, tried as a hostile user would: links and
// ".." that lead out, folders swapped for links while an export runs, a granted folder replaced, the
// settings folder as a target, artwork that is no file, names the tool cannot carry exactly. Nothing
// outside the folder may change.
#include "CliConfinementHarness.h"

#include <QtEndian>

using namespace TestMedia;

namespace {

// A PNG whose header describes side × side colour pixels; its data is one row (what is checked here
// goes by the header, and making the whole picture would take an outside program gigabytes).
QByteArray pngOfSide(int side)
{
    const auto crc = [](const QByteArray& bytes) {
        quint32 c = 0xffffffffu;
        for (const char byte : bytes) {
            c ^= uchar(byte);
            for (int bit = 0; bit < 8; ++bit)
                c = (c >> 1) ^ (0xedb88320u & (0u - (c & 1u)));
        }
        return ~c;
    };
    const auto chunk = [&](const char* type, const QByteArray& data) {
        QByteArray length(4, '\0'), check(4, '\0');
        qToBigEndian(quint32(data.size()), length.data());
        const QByteArray body = QByteArray(type) + data;
        qToBigEndian(crc(body), check.data());
        return length + body + check;
    };
    QByteArray header(13, '\0');
    qToBigEndian(quint32(side), header.data());
    qToBigEndian(quint32(side), header.data() + 4);
    header[8] = 8; // bits per sample
    header[9] = 2; // colour
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", qCompress(QByteArray(1 + side * 3, '\0')).mid(4)) +
           chunk("IEND", {});
}

} // namespace

TEST_F(CliConfinementTest, LinksAndDotDotThatLeadOutAreRefused)
{
    const QString input = inside(silence(2), QStringLiteral("quiet.wav"));
    QDir(granted).mkpath(QStringLiteral("a"));
    QFile::link(outside, granted + QStringLiteral("/a/link"));
    QFile::link(QStringLiteral("../outside"), granted + QStringLiteral("/relative-link"));
    QFile::link(outside + QStringLiteral("/victim.txt"), granted + QStringLiteral("/victim-link.png"));
    QFile::link(QStringLiteral("/dev/zero"), granted + QStringLiteral("/zero.png"));
    struct Case {
        QStringList extra;
        const char* message;
    };
    const Case cases[] = {
        // The kernel follows the link before "..": the target is the folder the link points into.
        {{"-o", granted + QStringLiteral("/a/link/../victim.txt")}, "Output file is not within the accessible folder"},
        {{"-o", QStringLiteral("relative-link/victim.txt")}, "Output file is not within the accessible folder"},
        {{"--split-export", granted + QStringLiteral("/a/link/.."), "-s", "1"}, "Output file is not within the accessible folder"},
        {{"-o", "x.flac", "--artwork", outside + QStringLiteral("/victim.txt")}, "Artwork file is not within the accessible folder"},
        {{"-o", "x.flac", "--artwork", QStringLiteral("victim-link.png")}, "Artwork file is not within the accessible folder"},
        {{"-o", "x.flac", "--artwork", QStringLiteral("zero.png")}, "Artwork file is not within the accessible folder"},
        {{"-o", "x.flac", "--artwork", QStringLiteral("/dev/zero")}, "Artwork file is not within the accessible folder"},
        {{"-o", "x.flac", "--cuts-from", QStringLiteral("a/link/victim.txt")}, "Cuts file is not within the accessible folder"},
    };
    for (const Case& c : cases) {
        const CliOutcome r = run(flacRun(input) + c.extra);
        EXPECT_EQ(r.status, 1) << c.message;
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.message))) << r.err.toStdString();
    }
    // Links that stay inside are fine, absolute ones too.
    QDir(granted).mkpath(QStringLiteral("real"));
    QFile::link(granted + QStringLiteral("/real"), granted + QStringLiteral("/absolute-inside"));
    QFile::link(QStringLiteral("real"), granted + QStringLiteral("/relative-inside"));
    for (const char* folder : {"absolute-inside", "relative-inside", "a/../real"}) {
        const CliOutcome r = run(flacRun(input) + QStringList{"-o", QStringLiteral("%1/kept.flac").arg(QLatin1String(folder))});
        EXPECT_EQ(r.status, 0) << folder << r.out.toStdString() << r.err.toStdString();
        EXPECT_TRUE(QFile::exists(granted + QStringLiteral("/real/kept.flac"))) << folder;
        QFile::remove(granted + QStringLiteral("/real/kept.flac"));
    }
}

TEST_F(CliConfinementTest, ArtworkMustBeABoundedRegularFile)
{
    const QString input = inside(silence(2), QStringLiteral("quiet.wav"));
    const QString fifo = granted + QStringLiteral("/cover.png");
    QFile::remove(fifo);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QDir(granted).mkpath(QStringLiteral("cover-folder.png"));
    for (const char* artwork : {"cover.png", "cover-folder.png"}) {
        // A pipe nobody writes to is never opened: no hang, one clear refusal.
        const CliOutcome r = run(flacRun(input) + QStringList{"-o", "x.flac", "--artwork", QLatin1String(artwork)}, {}, 20000);
        EXPECT_FALSE(r.crashed) << artwork;
        EXPECT_EQ(r.status, 1) << artwork;
        EXPECT_TRUE(r.err.contains(QStringLiteral("Artwork file is not a regular file"))) << r.err.toStdString();
    }
    // A sparse file of 65 MiB claims to be a picture: refused by its size, not read into memory.
    const QString huge = granted + QStringLiteral("/huge.png");
    QFile sparse(huge);
    ASSERT_TRUE(sparse.open(QIODevice::WriteOnly));
    ASSERT_TRUE(sparse.resize(65 << 20));
    sparse.close();
    const CliOutcome r = run(flacRun(input) + QStringList{"-o", "x.flac", "--artwork", huge});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.contains(QStringLiteral("larger than 64 MiB"))) << r.out.toStdString();
    EXPECT_FALSE(QFile::exists(granted + QStringLiteral("/x.flac")));
    QFile::remove(huge);
    QFile::remove(fifo);

    // Words named like a picture are refused; a picture of 16 million pixels is decoded and scaled down
    // to 3000 pixels, never embedded as it is; one of 100 million pixels is more than a PNG may take to
    // decode (Qt's bound): refused with what to do.
    writeFile(granted + QStringLiteral("/words.jpg"), "These are words, not a picture.\n");
    inside(make(QStringLiteral("confine-poster.png"),
                {"-f", "lavfi", "-i", "color=teal:s=4000x4000", "-frames:v", "1", "-pix_fmt", "rgb24", "-compression_level", "1"}),
           QStringLiteral("poster.png"));
    writeFile(granted + QStringLiteral("/billboard.png"), pngOfSide(10000));
    CliOutcome poster = run({"-i", input, "-p", "lame", "-o", "poster.mp3", "--artwork", "poster.png"});
    ASSERT_EQ(poster.status, 0) << poster.out.toStdString();
    const QJsonObject cover = streams(granted + QStringLiteral("/poster.mp3")).last().toObject();
    EXPECT_EQ(cover.value(QStringLiteral("width")).toInt(), 3000);
    EXPECT_EQ(cover.value(QStringLiteral("height")).toInt(), 3000);
    QFile::remove(granted + QStringLiteral("/poster.mp3"));
    for (const auto& [artwork, says] :
         {std::pair{"words.jpg", "it is not a picture"}, std::pair{"billboard.png", "is too large to read; scale it down"}}) {
        const CliOutcome r = run({"-i", input, "-p", "lame", "-o", "x.mp3", "--artwork", QLatin1String(artwork)});
        EXPECT_EQ(r.status, 1) << artwork;
        EXPECT_TRUE(r.out.contains(QLatin1String(says))) << r.out.toStdString();
        EXPECT_FALSE(QFile::exists(granted + QStringLiteral("/x.mp3")));
    }
}

// A granted folder replaced by another folder or by a link (to / or back to itself) is no grant.
TEST_F(CliConfinementTest, AReplacedGrantIsStale)
{
    const QString input = inside(silence(2), QStringLiteral("quiet.wav"));
    const QString bookmark = container + QStringLiteral("/cli-access-bookmark.data");
    const QByteArray grant = contents(bookmark);
    const QString moved = root->path() + QStringLiteral("/media-moved");
    ASSERT_TRUE(QDir().rename(granted, moved));
    auto expectStale = [&](const char* what) {
        const CliOutcome r = run({"-i", moved + QStringLiteral("/quiet.wav"), "-o", "x.flac"});
        EXPECT_EQ(r.status, 1) << what;
        EXPECT_TRUE(r.err.contains(QStringLiteral("The folder access is stale"))) << what << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("clipwell --grant-cli-access"))) << r.err.toStdString();
        EXPECT_EQ(contents(bookmark), grant) << what << ": the grant is left as it was";
    };
    ASSERT_TRUE(QFile::link(QStringLiteral("/"), granted));
    expectStale("a link to /");
    QFile::remove(granted);
    ASSERT_TRUE(QFile::link(moved, granted));
    expectStale("a link to the moved folder");
    QFile::remove(granted);
    QDir().mkpath(granted);
    expectStale("another folder");
    QDir(granted).removeRecursively();
    ASSERT_TRUE(QDir().rename(moved, granted));
    EXPECT_EQ(run(flacRun(input) + QStringList{"-o", "back.flac"}).status, 0);
    QFile::remove(granted + QStringLiteral("/back.flac"));

    // A grant grown to 3 GB (sparse: it costs the disk nothing) is refused without being read whole.
    ASSERT_TRUE(QFile::resize(bookmark, qint64(3) << 30));
    const CliOutcome r = run(flacRun(input) + QStringList{"-o", "grown.flac"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("is larger than a grant can be"))) << r.err.toStdString();
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    EXPECT_LT(usage.ru_maxrss, 1024 * 1024) << "kilobytes at most in any program this test ran";
    writeFile(bookmark, grant);
}

// With the settings folder inside the grant, nothing may be written into it.
TEST_F(CliConfinementTest, TheSettingsFolderIsNoTarget)
{
    const QString input = inside(silence(2), QStringLiteral("quiet.wav"));
    Error error;
    ASSERT_TRUE(CWBookmarkManager::sharedManager().createBookmarkForFolder(root->path(), &error));
    const QString bookmark = container + QStringLiteral("/cli-access-bookmark.data");
    const QByteArray grant = contents(bookmark);
    for (const QStringList& target : {QStringList{"-o", bookmark}, QStringList{"-o", container + QStringLiteral("/new.flac")},
                                      QStringList{"--split-export", container, "-s", "1"}}) {
        const CliOutcome r = run(flacRun(input) + target);
        EXPECT_EQ(r.status, 1) << target.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("inside Clipwell's settings folder"))) << r.err.toStdString();
    }
    EXPECT_EQ(contents(bookmark), grant);
    EXPECT_EQ(QDir(container).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("cli-access-bookmark.data")});
    ASSERT_TRUE(CWBookmarkManager::sharedManager().createBookmarkForFolder(granted, &error));

    // With nothing granted, the tool says so and makes no settings folder.
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString none = root->path() + QStringLiteral("/no-settings");
    environment.insert(QStringLiteral("CLIPWELL_CONTAINER_DIR"), none);
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(granted);
    process.start(QStringLiteral(CLIPWELL_CLI), flacRun(input) + QStringList{"-o", "nothing.flac"});
    const CliOutcome r = finish(process);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QLatin1String("No bookmark exists"))) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(none));
}

// A replaced output keeps its permissions; a new one gets the user's usual ones, and nothing else is
// left in the folder.
TEST_F(CliConfinementTest, AReplacedOutputKeepsItsPermissions)
{
    const QString input = inside(silence(2), QStringLiteral("quiet.wav"));
    const QString target = granted + QStringLiteral("/private.flac");
    ASSERT_EQ(run(flacRun(input) + QStringList{"-o", target}).status, 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0666 & ~mask);
    for (const mode_t mode : {mode_t(0600), mode_t(0640)}) {
        ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), mode), 0);
        const ino_t before = info.st_ino;
        ASSERT_EQ(run(flacRun(input) + QStringList{"-o", target, "--clear", "-c", "1"}).status, 0);
        ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, mode);
        EXPECT_NE(info.st_ino, before) << "replaced";
    }
    EXPECT_EQ(QDir(granted).entryList({QStringLiteral(".cw-*")}, QDir::Files | QDir::Hidden), QStringList{});
}

// Folders and files swapped for links while the export runs (paused between pieces) change nothing:
// the tool keeps the folders it checked and reads the file it checked. Also without Landlock, where
// only the held folders and files stand between the tool and the outside.
TEST_F(CliConfinementTest, FoldersAndFilesSwappedDuringAnExportAreNotFollowed)
{
    for (const bool landlock : {true, false}) {
        SCOPED_TRACE(landlock ? "with Landlock" : "without Landlock");
        for (const char* folder : {"source", "pieces", "source-kept", "pieces-kept"}) {
            QFile::remove(granted + QLatin1Char('/') + QLatin1String(folder)); // a link left by the first round
            QDir(granted + QLatin1Char('/') + QLatin1String(folder)).removeRecursively();
        }
        QDir(granted).mkpath(QStringLiteral("source"));
        QDir(granted).mkpath(QStringLiteral("pieces"));
        const QString input = inside(h264WithBFrames(), QStringLiteral("source/talk.mp4"));
        if (!landlock)
            qputenv("CLIPWELL_WITHOUT_LANDLOCK", "1");
        QProcess process;
        start(process, {"-i", input, "-p", "h264", "--split-export", granted + QStringLiteral("/pieces"), "-s", "2", "-s", "4", "-s", "6",
                        "-s", "8", "--debug"});
        qunsetenv("CLIPWELL_WITHOUT_LANDLOCK");
        ASSERT_TRUE(process.waitForStarted());
        QDir pieces(granted + QStringLiteral("/pieces"));
        QDeadlineTimer deadline(60000);
        while (pieces.entryList(QDir::Files).isEmpty() && !deadline.hasExpired() && process.state() == QProcess::Running)
            QThread::msleep(2);
        ASSERT_EQ(::kill(pid_t(process.processId()), SIGSTOP), 0);
        ASSERT_TRUE(QDir(granted).rename(QStringLiteral("pieces"), QStringLiteral("pieces-kept")));
        ASSERT_TRUE(QDir(granted).rename(QStringLiteral("source"), QStringLiteral("source-kept")));
        ASSERT_TRUE(QFile::link(outside, granted + QStringLiteral("/pieces")));
        ASSERT_TRUE(QFile::link(outside, granted + QStringLiteral("/source")));
        // The input itself, in the folder the tool holds, becomes a link to a file outside.
        ASSERT_TRUE(QFile::remove(granted + QStringLiteral("/source-kept/talk.mp4")));
        ASSERT_TRUE(QFile::link(outside + QStringLiteral("/victim.txt"), granted + QStringLiteral("/source-kept/talk.mp4")));
        ::kill(pid_t(process.processId()), SIGCONT);
        const CliOutcome r = finish(process);
        EXPECT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
        EXPECT_EQ(r.err.contains(QStringLiteral("by Landlock")), landlock) << r.err.toStdString();
        const QStringList written = QDir(granted + QStringLiteral("/pieces-kept")).entryList(QDir::Files, QDir::Name);
        ASSERT_EQ(written.size(), 5) << written.join(QLatin1Char(' ')).toStdString();
        for (int piece = 0; piece < 5; ++piece) {
            // Each piece shows its own 50 frames of the source that was checked.
            const Decoded decoded = decode(granted + QStringLiteral("/pieces-kept/") + written[piece]);
            EXPECT_EQ(decoded.messages, QByteArray()) << written[piece].toStdString();
            std::vector<int> expected(50);
            std::iota(expected.begin(), expected.end(), piece * 50);
            EXPECT_EQ(decoded.frameNumbers, expected) << written[piece].toStdString();
        }
        QFile::remove(granted + QStringLiteral("/pieces"));
        QFile::remove(granted + QStringLiteral("/source"));
    }
}

// Landlock holds the process inside the folder: a path outside that nothing asked for is refused by the
// kernel, also for an unprivileged user.
TEST_F(CliConfinementTest, TheKernelRefusesEverythingOutside)
{
    const QString input = inside(silence(2), QStringLiteral("quiet.wav"));
    auto probe = [&](bool unprivileged) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("CLIPWELL_CONFINEMENT_PROBE"), outside + QStringLiteral("/victim.txt"));
#ifndef CLIPWELL_SANITIZED
        // The sanitizers' options mean nothing to a release build: they widen nothing.
        for (const char* variable : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS"})
            environment.insert(QString::fromLatin1(variable), QStringLiteral("suppressions=") + outside);
#endif
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(granted);
        const QStringList arguments = flacRun(input) + QStringList{"-o", "probed.flac", "-y", "--debug"};
        if (unprivileged) {
            // A copy the user can run, in a folder of its own (a sanitized build may read its own folder).
            QDir(root->path()).mkpath(QStringLiteral("tool"));
            const QString tool = root->path() + QStringLiteral("/tool/clipwell_cli");
            QFile::copy(QStringLiteral(CLIPWELL_CLI), tool);
            for (const QString& path : {root->path(), root->path() + QStringLiteral("/tool"), container, granted})
                QFile::setPermissions(path, QFile::Permissions(0x7777));
            QFile::setPermissions(container + QStringLiteral("/cli-access-bookmark.data"), QFile::Permissions(0x6644));
            QFile::setPermissions(outside + QStringLiteral("/victim.txt"), QFile::Permissions(0x6644));
            process.start(QStringLiteral("setpriv"), QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                                                 QStringLiteral("--clear-groups"), tool} +
                                                         arguments);
        } else {
            process.start(QStringLiteral(CLIPWELL_CLI), arguments);
        }
        const CliOutcome r = finish(process);
        EXPECT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("Confined to %1 by Landlock").arg(granted))) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("Confinement probe \"%1/victim.txt\": Permission denied").arg(outside)))
            << r.err.toStdString();
    };
    probe(false);
    if (geteuid() == 0)
        probe(true);
}

TEST_F(CliConfinementTest, NamesAreCarriedExactlyOrRefused)
{
    const QString input = inside(silence(2), QStringLiteral("quiet.wav"));
    // A name of 249 bytes is legal; the working file's name does not depend on it.
    const QString longName = QString(244, QLatin1Char('n')) + QStringLiteral(".flac");
    CliOutcome r = run(flacRun(input) + QStringList{"-o", longName});
    EXPECT_EQ(r.status, 0) << r.out.toStdString();
    EXPECT_TRUE(QFile::exists(granted + QLatin1Char('/') + longName));
    QFile::remove(granted + QLatin1Char('/') + longName);
    // A name that is not UTF-8 is refused, not written under another name.
    const auto before = entriesIn(granted);
    r = run(flacRun(input), QStringLiteral("set -- \"$@\" -o \"$(printf 'bad\\xff.flac')\"; exec"));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.contains(QStringLiteral("is not valid UTF-8"))) << r.out.toStdString();
    EXPECT_EQ(entriesIn(granted), before);
    // Nor is a relative name in a folder whose name is not UTF-8, beside a look-alike folder whose
    // name has U+FFFD in that place.
    const QString lookAlike = granted + QStringLiteral("/dir\uFFFD");
    QDir().mkpath(lookAlike);
    ASSERT_TRUE(QFile::copy(input, lookAlike + QStringLiteral("/quiet.wav")));
    ASSERT_EQ(TestMedia::run(QStringLiteral("bash"), {QStringLiteral("-c"), QStringLiteral("mkdir \"$0/$(printf 'dir\\xff')\""), granted},
                             nullptr, 10000, nullptr),
              0);
    const auto withBoth = entriesIn(granted);
    r = run({"-i", "quiet.wav", "-p", "flac", "-o", "copy.flac"}, QStringLiteral("cd \"$(printf 'dir\\xff')\" && exec"));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.contains(QStringLiteral("has a name that is not valid UTF-8"))) << r.out.toStdString();
    EXPECT_EQ(entriesIn(granted), withBoth) << "nothing written in either folder";
    TestMedia::run(QStringLiteral("bash"), {QStringLiteral("-c"), QStringLiteral("rm -r \"$0\"/dir*"), granted}, nullptr, 10000, nullptr);
}
