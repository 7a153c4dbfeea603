// clipwell_cli --save-cuts and --cuts-from with every list format: a list saved from one run's edits
// and read by another gives the same export (frame for frame, as ffmpeg decodes it); a list that cannot
// be read names its line and nothing is exported.
#include "CliHarness.h"

using namespace TestMedia;

namespace {
class CliCutListTest : public CliHarness {};
} // namespace

TEST_F(CliCutListTest, EveryFormatCarriesTheEditsToAnotherRun)
{
    const QString source = inside(h264WithBFrames(), QStringLiteral("talk.mp4"));
    // Cuts on frames (at 25 fps) with a split point between them, exported at once for comparison.
    const QStringList edits{"--cut", "1.2", "--cut", "2.4", "--split", "5", "--cut", "7.04", "--cut", "8"};
    CliOutcome r = run(QStringList{"-i", source, "-o", "direct.mp4", "-p", "h264"} + edits);
    ASSERT_EQ(r.status, 0) << r.out.toStdString();
    const std::vector<int> expected = decode(granted + QStringLiteral("/direct.mp4")).frameNumbers;
    ASSERT_EQ(expected.size(), size_t(250 - 30 - 24));
    for (const char* name : {"list.txt", "list.csv", "list.edl"}) {
        r = run(QStringList{"-i", source, "--save-cuts", QLatin1String(name)} + edits);
        ASSERT_EQ(r.status, 0) << r.out.toStdString();
        EXPECT_TRUE(r.out.contains(QStringLiteral("Saved the cut list: %1/%2").arg(granted, QLatin1String(name)))) << r.out.toStdString();
        EXPECT_FALSE(r.out.contains(QStringLiteral("Export completed"))) << "a list alone exports nothing";
        r = run({"-i", source, "--cuts-from", QLatin1String(name), "-o", "again.mp4", "-p", "h264"});
        ASSERT_EQ(r.status, 0) << name << "\n" << r.out.toStdString();
        EXPECT_EQ(decode(granted + QStringLiteral("/again.mp4")).frameNumbers, expected) << name;
        // The same list written again from what was read: nothing was lost on the way.
        const QByteArray list = contents(granted + QLatin1Char('/') + QLatin1String(name));
        r = run({"-i", source, "--cuts-from", QLatin1String(name), "--save-cuts", QStringLiteral("copy-") + QLatin1String(name)});
        ASSERT_EQ(r.status, 0) << r.out.toStdString();
        EXPECT_EQ(contents(granted + QStringLiteral("/copy-") + QLatin1String(name)), list) << name;
    }
    // A chapter list: where each piece of the export starts, in the exported file.
    r = run(QStringList{"-i", source, "--save-cuts", "talk.chapters.txt"} + edits);
    ASSERT_EQ(r.status, 0) << r.out.toStdString();
    EXPECT_EQ(contents(granted + QStringLiteral("/talk.chapters.txt")), QByteArray("0:00 Part 1\n0:01 Part 2\n0:03 Part 3\n0:05 Part 4\n"));
    // Split points read from chapters divide a file-per-piece export there.
    writeFile(granted + QStringLiteral("/parts.chapters.txt"), "0:00 Intro\n0:04 Talk\n0:07 Questions\n");
    QDir(granted).mkpath(QStringLiteral("parts"));
    r = run({"-i", source, "--cuts-from", "parts.chapters.txt", "--split-export", "parts", "-p", "h264"});
    ASSERT_EQ(r.status, 0) << r.out.toStdString();
    const QStringList parts = QDir(granted + QStringLiteral("/parts")).entryList(QDir::Files, QDir::Name);
    ASSERT_EQ(parts.size(), 3);
    EXPECT_EQ(decode(granted + QStringLiteral("/parts/") + parts[1]).frameNumbers.front(), 100);
    EXPECT_EQ(decode(granted + QStringLiteral("/parts/") + parts[2]).frameNumbers.front(), 175);
}

TEST_F(CliCutListTest, AListThatCannotBeReadNamesItsLine)
{
    const QString source = inside(h264WithBFrames(), QStringLiteral("talk.mp4"));
    writeFile(granted + QStringLiteral("/broken.csv"), "kept_start,kept_end,label\n0,2,Intro\n1.5,3,Overlap\n");
    const CliOutcome r = run({"-i", source, "--cuts-from", "broken.csv", "-o", "never.mp4"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(
        r.out.contains(QStringLiteral("Cannot read the cuts file \"%1/broken.csv\": Line 3: this piece overlaps another.").arg(granted)))
        << r.out.toStdString();
    EXPECT_FALSE(QFile::exists(granted + QStringLiteral("/never.mp4")));
}
