#include "CWCommandLineParser.h"
#include "CWPreset.h"
#include "CWProject.h"
#include "MediaAsset.h"
#include "support/TestMedia.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace TestMedia;

namespace {

std::unique_ptr<CWCommandLineParser> parse(const QStringList& arguments)
{
    testing::internal::CaptureStderr(); // the log line of a failed parse
    auto parser = CWCommandLineParser::parserWithArguments(arguments);
    testing::internal::GetCapturedStderr();
    return parser;
}

QString errorOf(const QStringList& arguments)
{
    auto parser = parse(arguments);
    return parser->parseError() ? parser->parseError()->message : QString();
}

double seconds(const QString& text) { return CMTimeGetSeconds(CWCommandLineParser::parseTimeString(text)); }

} // namespace

TEST(CWCommandLineParser, EarlyExitsAndOperation)
{
    EXPECT_TRUE(parse({})->shouldShowHelp());
    EXPECT_TRUE(parse({"-i", "a.mp4", "--help", "-x"})->shouldShowHelp());
    EXPECT_TRUE(parse({"-v"})->shouldShowVersion());
    EXPECT_TRUE(parse({"--setup", "--bogus"})->shouldShowSetup());
    auto parser = parse({"a.mp4"});
    EXPECT_EQ(parser->inputFile(), QStringLiteral("a.mp4"));
    EXPECT_EQ(parser->operation(), CWCommandLineParser::Export);
    EXPECT_FALSE(parser->parseError());
    EXPECT_EQ(parser->inputFileURL(), QDir::current().absoluteFilePath(QStringLiteral("a.mp4")));
    EXPECT_TRUE(parser->outputFileURL().isEmpty());
    EXPECT_EQ(parser->presetName(), QStringLiteral("passthrough"));
}

TEST(CWCommandLineParser, OptionTableAndValues)
{
    auto parser = parse({"-i",
                         "in.mov",
                         "-o",
                         "--help",
                         "-p",
                         "H264",
                         "-c",
                         "10",
                         "--cut",
                         "20",
                         "-s",
                         "30",
                         "-y",
                         "--clear",
                         "--json",
                         "--verbose",
                         "--small-artwork",
                         "--meta-title",
                         "T",
                         "--meta-year",
                         "2025",
                         "--artwork",
                         "art.png",
                         "--meta-title",
                         "T2"});
    ASSERT_FALSE(parser->parseError()) << parser->parseError()->message.toStdString();
    EXPECT_EQ(parser->outputFile(), QStringLiteral("--help")) << "a value is the next argument, whatever it looks like";
    EXPECT_EQ(parser->presetName(), QStringLiteral("H264"));
    ASSERT_EQ(parser->timeOperations().size(), 3u);
    EXPECT_EQ(parser->timeOperations()[0].type(), CWTimeOperation::Cut);
    EXPECT_EQ(parser->timeOperations()[1].time(), CMTimeMake(20, 1));
    EXPECT_EQ(parser->timeOperations()[2].type(), CWTimeOperation::Split);
    EXPECT_TRUE(parser->overwrite() && parser->clearStart() && parser->jsonOutput() && parser->debugOutput() &&
                parser->enforceSmallArtwork());
    EXPECT_EQ(parser->customMetadata().at(QStringLiteral("title")), QStringLiteral("T2")) << "repeats overwrite";
    EXPECT_EQ(parser->customMetadata().at(QStringLiteral("year")), QStringLiteral("2025"));
    EXPECT_EQ(parser->artworkPath(), QStringLiteral("art.png"));

    auto split = parse({"--split-export", "pieces"});
    EXPECT_TRUE(split->useMultipleFiles());
    EXPECT_EQ(split->outputFile(), QStringLiteral("pieces"));
}

TEST(CWCommandLineParser, BadArgumentsStopWithAKeptError)
{
    EXPECT_EQ(errorOf({"a.mp4", "b.mp4"}), QStringLiteral("Unknown argument: b.mp4"));
    EXPECT_EQ(errorOf({"-i", "a.mp4", "b.mp4"}), QStringLiteral("Unknown argument: b.mp4"));
    EXPECT_EQ(errorOf({"-"}), QStringLiteral("Unknown argument: -"));
    EXPECT_EQ(errorOf({"-i"}), QStringLiteral("Missing value for input argument"));
    EXPECT_EQ(errorOf({"a.mp4", "-c"}), QStringLiteral("Missing value for cuts argument"));
    EXPECT_EQ(errorOf({"--split"}), QStringLiteral("Missing value for split argument"));
    EXPECT_EQ(errorOf({"--split-export"}), QStringLiteral("Missing value for split-export argument"));
    EXPECT_EQ(errorOf({"--meta-title"}), QStringLiteral("Missing value for metadata argument --title"));
    EXPECT_EQ(errorOf({"--artwork"}), QStringLiteral("Missing value for artwork argument"));
    // One input and one output, given once.
    EXPECT_EQ(errorOf({"-i", "a.mp4", "--input", "b.mp4"}), QStringLiteral("The input is given twice (\"a.mp4\" and \"b.mp4\"): give one"));
    EXPECT_EQ(errorOf({"a.mp4", "-i", "b.mp4"}), QStringLiteral("The input is given twice (\"a.mp4\" and \"b.mp4\"): give one"));
    const QString oneOutput = QStringLiteral("Give one output: --output FILE or --split-export FOLDER, once");
    EXPECT_EQ(errorOf({"a.mp4", "-o", "x.mp4", "-o", "y.mp4"}), oneOutput);
    EXPECT_EQ(errorOf({"a.mp4", "-o", "x.mp4", "--split-export", "pieces"}), oneOutput);
    EXPECT_EQ(errorOf({"a.mp4", "--split-export", "pieces", "--output", "x.mp4"}), oneOutput);
    auto parser = parse({"-i", "a.mp4", "-x", "-o", "out.mp4"});
    ASSERT_TRUE(parser->parseError());
    EXPECT_EQ(parser->parseError()->domain, QStringLiteral("CWCommandLineParser"));
    EXPECT_EQ(parser->parseError()->code, 1);
    EXPECT_EQ(parser->operation(), CWCommandLineParser::NoOperation);
    EXPECT_EQ(parser->inputFile(), QStringLiteral("a.mp4")) << "choices before the error stay";
    EXPECT_TRUE(parser->outputFile().isEmpty()) << "later arguments are not read";
}

TEST(CWCommandLineParser, VolumeRule)
{
    EXPECT_EQ(parse({"--volume", "50"})->volumePercentage(), 50);
    EXPECT_EQ(parse({"--volume", "+50"})->volumePercentage(), 50);
    EXPECT_EQ(parse({"--volume", "-100"})->volumePercentage(), -100);
    EXPECT_EQ(parse({"--volume", "25x"})->volumePercentage(), 25);
    for (const char* bad : {"30", "0", "abc", "+-25"})
        EXPECT_EQ(errorOf({"--volume", bad}), QStringLiteral("Volume value must be +25, +50, +100, -25, -50, or -100")) << bad;
    EXPECT_EQ(errorOf({"--volume"}), QStringLiteral("Missing value for volume argument"));
}

TEST(CWCommandLineParser, TimesParseStrictlyToMilliseconds)
{
    EXPECT_DOUBLE_EQ(seconds("90"), 90.0);
    EXPECT_DOUBLE_EQ(seconds("90.5"), 90.5);
    EXPECT_DOUBLE_EQ(seconds("00:01:30.500"), 90.5);
    EXPECT_DOUBLE_EQ(seconds("1:30"), 90.0);
    EXPECT_DOUBLE_EQ(seconds("2:00:00"), 7200.0);
    EXPECT_DOUBLE_EQ(seconds("90:59.5"), 5459.5) << "minutes may run on where they lead";
    EXPECT_DOUBLE_EQ(seconds("0.0004"), 0.0);
    EXPECT_EQ(CWCommandLineParser::parseTimeString(QStringLiteral("1.2346")), CMTimeMake(1235, 1000)) << "rounded to ms";
    EXPECT_EQ(CWCommandLineParser::parseTimeString(QStringLiteral("1.2346")).timescale, 1000);
    for (const char* bad : {"abc", "", "1:2:3:4", "-5", "1e3", "10s", "1:-30", ":30", "1::2", "1:99", "0:60", "1:60.5", "1:60:00", "nan",
                            "inf", "99999999999999999999999"})
        EXPECT_FALSE(CMTIME_IS_VALID(CWCommandLineParser::parseTimeString(QString::fromLatin1(bad)))) << bad;

    const QString message = errorOf({"a.mp4", "--cut", "abc"});
    EXPECT_TRUE(message.contains(QStringLiteral("\"abc\""))) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("--cut")));
    EXPECT_TRUE(message.contains(QStringLiteral("1:30.5")) && message.contains(QStringLiteral("00:01:30.500")));
    EXPECT_TRUE(errorOf({"-s", "1:2:3:4"}).contains(QStringLiteral("for -s")));
}

// Every option the parser takes is in the help, and the examples call the tool, not the application
// (the examples themselves run in CliTest.HelpExamplesRunAsWritten).
TEST(CWCommandLineParser, HelpAndVersionTexts)
{
    const QString help = CWCommandLineParser::helpText();
    EXPECT_TRUE(help.startsWith(QStringLiteral("Clipwell - Command Line Video Processing Tool\n\nUsage:\n  clipwell_cli [options]\n")));
    for (const char* option : {"--help",          "--version",    "--setup",     "--input",       "--output",       "--split-export",
                               "--preset",        "--cut",        "--split",     "--clear",       "--volume",       "--meta-title",
                               "--meta-artist",   "--meta-album", "--meta-year", "--meta-author", "--meta-comment", "--artwork",
                               "--small-artwork", "--json",       "--debug",     "--overwrite"})
        EXPECT_TRUE(help.contains(QLatin1String(option))) << option;
    EXPECT_FALSE(help.contains(QStringLiteral("clipwell --")));
    EXPECT_FALSE(help.contains(QStringLiteral("HVEC")));
    EXPECT_EQ(CWCommandLineParser::versionText(), QStringLiteral("clipwell_cli Version 2.2.2063"));
}

class ConfigureProjectTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CWPreset::registerStandardPresets();
        Error error;
        asset = MediaAsset::open(silence(60), &error);
        ASSERT_TRUE(asset);
    }
    std::shared_ptr<CWProject> configured(const QStringList& arguments, bool expected = true, QString* message = nullptr)
    {
        auto parser = parse(arguments);
        EXPECT_FALSE(parser->parseError());
        auto project = CWProject::forAVAsset(asset, CWProject::Options{false});
        Error error;
        EXPECT_EQ(parser->configureProject(*project, &error), expected) << error.message.toStdString();
        if (message)
            *message = error.message;
        return project;
    }
    static std::vector<std::pair<double, double>> segments(const CWProject& project)
    {
        std::vector<std::pair<double, double>> result;
        for (const auto& s : project.splits())
            result.emplace_back(CMTimeGetSeconds(s->start()), CMTimeGetSeconds(s->stop()));
        return result;
    }
    using Pairs = std::vector<std::pair<double, double>>;
    std::shared_ptr<MediaAsset> asset;
};

TEST_F(ConfigureProjectTest, CutsPairUpAndClearRemovesTheStart)
{
    EXPECT_EQ(segments(*configured({"a.wav", "-c", "10", "-c", "20", "-c", "30", "-c", "40"})), (Pairs{{10, 20}, {30, 40}}));
    EXPECT_EQ(segments(*configured({"a.wav", "--clear", "-c", "15"})), (Pairs{{0, 15}}));
    EXPECT_EQ(segments(*configured({"a.wav", "--clear"})), (Pairs{{0, 60}}));
    EXPECT_EQ(segments(*configured({"a.wav", "-s", "10", "-s", "20"})), (Pairs{{10, 10}, {20, 20}}));

    QString message;
    configured({"a.wav", "-s", "61"}, false, &message);
    EXPECT_EQ(message, QStringLiteral("Cannot split at 61.000 s: it lies beyond the end of the source (60.000 s)."));
    configured({"a.wav", "-c", "10", "-s", "15"}, false, &message);
    EXPECT_EQ(message, QStringLiteral("Cannot split at 15.000 s: a cut or split point is already there."));
    configured({"a.wav", "-c", "75"}, false, &message);
    EXPECT_TRUE(message.startsWith(QStringLiteral("Cannot cut at 75.000 s: it lies beyond the end")));
}

TEST_F(ConfigureProjectTest, PresetLookupAndMp3Switch)
{
    EXPECT_EQ(configured({"a.wav", "-p", "H264"})->preset()->identifier(), QStringLiteral("h264"));
    EXPECT_EQ(configured({"a.wav", "-p", "mp3 audio"})->preset()->identifier(), QStringLiteral("lame"));
    EXPECT_EQ(configured({"a.wav", "-p", "LOW"})->preset()->identifier(), QStringLiteral("low"));
    EXPECT_EQ(configured({"a.wav", "-o", "song.MP3"})->preset()->identifier(), QStringLiteral("lame"));
    EXPECT_EQ(configured({"a.wav", "-o", "song.mp3", "-p", "PassThrough"})->preset()->identifier(), QStringLiteral("lame"));
    EXPECT_EQ(configured({"a.wav", "-o", "song.mp3", "-p", "h264"})->preset()->identifier(), QStringLiteral("h264"));
    EXPECT_EQ(configured({"a.wav", "-p", "HEVC / h265"})->preset()->identifier(), QStringLiteral("h265"));
    EXPECT_EQ(configured({"a.wav", "-p", "hvec / H265"})->preset()->identifier(), QStringLiteral("h265")) << "the old spelling";
    QString message;
    configured({"a.wav", "-p", ""}, false, &message);
    EXPECT_TRUE(message.startsWith(QStringLiteral("Unknown preset \"\". Valid presets:"))) << "an empty name is no name";
    configured({"a.wav", "-p", "divx"}, false, &message);
    EXPECT_TRUE(message.startsWith(QStringLiteral("Unknown preset \"divx\". Valid presets: h264 (AVC / h264), alac (Apple Lossless)")))
        << message.toStdString();
}

TEST_F(ConfigureProjectTest, OptionsMetadataAndArtwork)
{
    auto project = configured({"a.wav", "--volume", "-25", "--meta-title", "T", "--meta-comment", "C", "--small-artwork"});
    EXPECT_EQ(project->volumePercentage(), -25);
    EXPECT_TRUE(project->configuration()->enforceSmallArtwork());
    ASSERT_EQ(project->configuration()->additionalMetadata().size(), 2u);
    EXPECT_EQ(project->configuration()->additionalMetadata()[0].key, CommonMetadataKey::Title);
    EXPECT_EQ(project->configuration()->additionalMetadata()[1].key, CommonMetadataKey::Description);
    QString message;
    configured({"a.wav", "--artwork", folder() + QStringLiteral("/no-such.png")}, false, &message);
    EXPECT_TRUE(message.contains(QStringLiteral("no-such.png")));
}
