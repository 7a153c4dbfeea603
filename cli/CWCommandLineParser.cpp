#include "CWCommandLineParser.h"

#include "ClipwellVersion.h"
#include "CWCutList.h"
#include "CWPassThroughPreset.h"
#include "CWPreset.h"
#include "CWProject.h"
#include "CWUtility.h"
#include "MediaAsset.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace {

Error parserError(const QString& message)
{
    return Error{QStringLiteral("CWCommandLineParser"), CWCommandLineParser::InvalidArguments, message, {}, {}};
}

bool fail(Error* error, const QString& message)
{
    setError(error, parserError(message));
    return false;
}

// The leading integer of a text, 0 when there is none (anything after the digits is ignored).
int64_t leadingInteger(const QString& text)
{
    static const QRegularExpression digits(QStringLiteral("^\\s*(\\d+)"));
    const QRegularExpressionMatch match = digits.match(text);
    return match.hasMatch() ? match.captured(1).toLongLong() : 0;
}

QString describeTime(CMTime time) { return QString::asprintf("%.3f s", CMTimeGetSeconds(time)); }

const std::pair<const char*, const char*> kMetadataOptions[] = {
    {"--meta-title", "title"}, {"--meta-artist", "artist"}, {"--meta-album", "album"},
    {"--meta-year", "year"},   {"--meta-author", "author"}, {"--meta-comment", "comment"},
};

} // namespace

std::unique_ptr<CWCommandLineParser> CWCommandLineParser::parserWithArguments(const QStringList& arguments)
{
    auto parser = std::make_unique<CWCommandLineParser>();
    // Errors are reported in the requested form even when parsing stops before reaching --json.
    parser->jsonOutput_ = arguments.contains(QStringLiteral("--json"));
    Error error;
    if (!parser->parseArguments(arguments, &error)) {
        CWUtility::debugLog(QStringLiteral("CWCommandLineParser"), QStringLiteral("Error parsing arguments: %1").arg(error.message));
        parser->parseError_ = error;
    }
    return parser;
}

bool CWCommandLineParser::takeValue(const QStringList& arguments, qsizetype& index, const QString& missingMessage, QString& value,
                                    Error* error)
{
    if (index + 1 >= arguments.size())
        return fail(error, missingMessage);
    value = arguments[++index];
    return true;
}

bool CWCommandLineParser::handleHelpAndVersionOptions(const QString& argument)
{
    if (argument == QLatin1String("--help") || argument == QLatin1String("-h"))
        operation_ = ShowHelp;
    else if (argument == QLatin1String("--version") || argument == QLatin1String("-v"))
        operation_ = ShowVersion;
    else if (argument == QLatin1String("--setup"))
        operation_ = ShowSetup;
    else
        return false;
    return true;
}

bool CWCommandLineParser::failTwice(Error* error)
{
    return fail(error, QStringLiteral("Give one output: --output FILE or --split-export FOLDER, once"));
}

bool CWCommandLineParser::handlePositionalArgument(const QString& argument, Error* error)
{
    if (argument.startsWith(QLatin1Char('-')) || !inputFile_.isEmpty())
        return fail(error, QStringLiteral("Unknown argument: %1").arg(argument));
    inputFile_ = argument;
    return true;
}

bool CWCommandLineParser::takeTime(const QString& option, const QString& missing, const QStringList& arguments, qsizetype& index,
                                   CMTime& time, Error* error)
{
    QString value;
    if (!takeValue(arguments, index, missing, value, error))
        return false;
    time = parseTimeString(value);
    if (!CMTIME_IS_NUMERIC(time))
        return fail(error, QStringLiteral("Invalid time \"%1\" for %2. Use seconds (90.5), minutes and seconds (1:30.5) "
                                          "or hours, minutes and seconds (00:01:30.500).")
                               .arg(value, option));
    return true;
}

bool CWCommandLineParser::handleTimeOption(const QString& option, CWTimeOperation::Type type, const QStringList& arguments,
                                           qsizetype& index, Error* error)
{
    CMTime time;
    const QString missing = type == CWTimeOperation::Cut ? QStringLiteral("Missing value for cuts argument")
                                                         : QStringLiteral("Missing value for split argument");
    if (!takeTime(option, missing, arguments, index, time, error))
        return false;
    timeOperations_.push_back(type == CWTimeOperation::Cut ? CWTimeOperation::cutAtTime(time) : CWTimeOperation::splitAtTime(time));
    return true;
}

QStringList CWCommandLineParser::cutsFiles() const { return cutsFiles_.paths(); }

bool CWCommandLineParser::loadCutsFiles(Error* error, const std::atomic<bool>* stop)
{
    return cutsFiles_.load(timeOperations_, error, stop);
}

bool CWCommandLineParser::handleVolumeOption(const QStringList& arguments, qsizetype& index, Error* error)
{
    QString value;
    if (!takeValue(arguments, index, QStringLiteral("Missing value for volume argument"), value, error))
        return false;
    const bool negative = value.startsWith(QLatin1Char('-'));
    if (negative || value.startsWith(QLatin1Char('+')))
        value.remove(0, 1);
    const int64_t amount = leadingInteger(value);
    if (amount != 25 && amount != 50 && amount != 100)
        return fail(error, QStringLiteral("Volume value must be +25, +50, +100, -25, -50, or -100"));
    volumePercentage_ = negative ? -amount : amount;
    return true;
}

bool CWCommandLineParser::handleTracksOption(const QStringList& arguments, qsizetype& index, Error* error)
{
    QString value;
    if (!takeValue(arguments, index, QStringLiteral("Missing value for tracks argument"), value, error))
        return false;
    if (!chosenTracks_.empty())
        return fail(error, QStringLiteral("--tracks is given twice: give every track in one list"));
    for (const QString& part : value.split(QLatin1Char(','))) {
        bool ok = false;
        const int number = part.trimmed().toInt(&ok);
        if (!ok || number < 0 || part.trimmed().startsWith(QLatin1Char('+')))
            return fail(error, QStringLiteral("--tracks takes track numbers separated by commas, as --list-tracks prints them "
                                              "(\"0,1,3\"), not \"%1\"")
                                   .arg(value));
        if (std::find(chosenTracks_.begin(), chosenTracks_.end(), number) == chosenTracks_.end())
            chosenTracks_.push_back(number);
    }
    return true;
}

bool CWCommandLineParser::parseArguments(const QStringList& arguments, Error* error)
{
    if (arguments.isEmpty()) {
        operation_ = ShowHelp;
        return true;
    }
    for (qsizetype index = 0; index < arguments.size(); ++index) {
        const QString& argument = arguments[index];
        if (handleHelpAndVersionOptions(argument))
            return true;
        auto is = [&](const char* longName, const char* shortName = nullptr) {
            return argument == QLatin1String(longName) || (shortName && argument == QLatin1String(shortName));
        };
        bool ok = true;
        QString value;
        if (is("--input", "-i")) {
            ok = takeValue(arguments, index, QStringLiteral("Missing value for input argument"), value, error);
            if (ok && !inputFile_.isEmpty())
                ok = fail(error, QStringLiteral("The input is given twice (\"%1\" and \"%2\"): give one").arg(inputFile_, value));
            if (ok)
                inputFile_ = value;
        } else if (is("--output", "-o")) {
            ok = takeValue(arguments, index, QStringLiteral("Missing value for output argument"), value, error);
            if (ok && !outputFile_.isEmpty())
                ok = failTwice(error);
            if (ok)
                outputFile_ = value;
        } else if (is("--preset", "-p")) {
            ok = takeValue(arguments, index, QStringLiteral("Missing value for preset argument"), value, error);
            if (ok)
                presetName_ = value;
        } else if (is("--cut", "-c")) {
            ok = handleTimeOption(argument, CWTimeOperation::Cut, arguments, index, error);
        } else if (is("--cuts-from")) {
            ok = takeValue(arguments, index, QStringLiteral("Missing value for cuts-from argument"), value, error);
            if (ok)
                cutsFiles_.add(value, timeOperations_.size());
        } else if (is("--split", "-s")) {
            ok = handleTimeOption(argument, CWTimeOperation::Split, arguments, index, error);
        } else if (is("--list-tracks")) {
            listTracks_ = true;
        } else if (is("--tracks")) {
            ok = handleTracksOption(arguments, index, error);
        } else if (is("--save-cuts")) {
            ok = takeValue(arguments, index, QStringLiteral("Missing value for save-cuts argument"), value, error);
            if (ok)
                saveCutsFile_ = value;
        } else if (is("--snapshot")) {
            CMTime time;
            ok = takeTime(argument, QStringLiteral("Missing value for snapshot argument"), arguments, index, time, error);
            if (ok)
                snapshotTimes_.push_back(time);
        } else if (is("--split-export")) {
            ok = takeValue(arguments, index, QStringLiteral("Missing value for split-export argument"), value, error);
            if (ok && !outputFile_.isEmpty())
                ok = failTwice(error);
            if (ok) {
                outputFile_ = value;
                useMultipleFiles_ = true;
            }
        } else if (is("--overwrite", "-y")) {
            overwrite_ = true;
        } else if (is("--clear")) {
            clearStart_ = true;
        } else if (is("--json")) {
            jsonOutput_ = true;
        } else if (is("--debug", "--verbose")) {
            debugOutput_ = true;
        } else if (is("--volume")) {
            ok = handleVolumeOption(arguments, index, error);
        } else if (is("--passthrough-mode")) {
            ok = takeValue(arguments, index, QStringLiteral("Missing value for passthrough-mode argument"), value, error);
            if (ok) {
                passthroughMode_ = PassthroughModes::fromName(value);
                if (!passthroughMode_)
                    ok = fail(error, QStringLiteral("Unknown pass-through mode \"%1\": use exact, copy-only or edit-lists").arg(value));
            }
        } else if (is("--small-artwork")) {
            enforceSmallArtwork_ = true;
        } else if (const auto* meta = std::find_if(std::begin(kMetadataOptions), std::end(kMetadataOptions),
                                                   [&](const auto& m) { return argument == QLatin1String(m.first); });
                   meta != std::end(kMetadataOptions)) {
            const QString key = QString::fromLatin1(meta->second);
            ok = takeValue(arguments, index, QStringLiteral("Missing value for metadata argument --%1").arg(key), value, error);
            if (ok)
                customMetadata_[key] = value;
        } else if (is("--artwork")) {
            ok = takeValue(arguments, index, QStringLiteral("Missing value for artwork argument"), value, error);
            if (ok)
                artworkPath_ = value;
        } else {
            ok = handlePositionalArgument(argument, error);
        }
        if (!ok)
            return false;
    }
    if (!snapshotTimes_.empty() && (!timeOperations_.empty() || !cutsFiles_.isEmpty() || useMultipleFiles_ || clearStart_))
        return fail(error, QStringLiteral("--snapshot keeps frames of the source as it is: give it without cuts, splits or "
                                          "--split-export"));
    if (operation_ == NoOperation)
        operation_ = Export;
    return true;
}

CMTime CWCommandLineParser::parseTimeString(const QString& text) { return CWCutList::parseTime(text, 1000); }

QString CWCommandLineParser::inputFileURL() const
{
    return inputFile_.isEmpty() ? QString() : QDir::current().absoluteFilePath(inputFile_);
}

QString CWCommandLineParser::outputFileURL() const
{
    return outputFile_.isEmpty() ? QString() : QDir::current().absoluteFilePath(outputFile_);
}

QString CWCommandLineParser::saveCutsFileURL() const
{
    return saveCutsFile_.isEmpty() ? QString() : QDir::current().absoluteFilePath(saveCutsFile_);
}

void CWCommandLineParser::useFiles(const MediaSource& input, const CWExportTarget& output, const std::vector<MediaSource>& cuts,
                                   const MediaSource& artwork, const CWExportTarget& saveCuts)
{
    saveCuts_ = saveCuts;
    input_ = input;
    output_ = output;
    cutsFiles_.useFiles(cuts);
    artwork_ = artwork;
}

QString CWCommandLineParser::helpText()
{
    auto line = [](const char* column, const QString& description) {
        return QString::fromLatin1(column).replace(QStringLiteral("%@"), description);
    };
    const QString continuation = QStringLiteral("                       %@\n");
    QString text = QStringLiteral("Clipwell - Command Line Video Processing Tool") + QStringLiteral("\n\n") + QStringLiteral("Usage:") +
                   QStringLiteral("\n") + QStringLiteral("  clipwell_cli [options]") + QStringLiteral("\n\n") + QStringLiteral("Options:") +
                   QStringLiteral("\n");
    text += line("  --help, -h           %@\n", QStringLiteral("Show this help message"));
    text += line("  --version, -v        %@\n", QStringLiteral("Show version information"));
    text += line("  --setup              %@\n", QStringLiteral("Check CLI setup status and show configuration info"));
    text += line("  --input, -i FILE     %@\n", QStringLiteral("Input audio or video file"));
    text += line("  --output, -o FILE    %@\n", QStringLiteral("Output file path for single file export"));
    text += line("  --split-export DIR   %@\n", QStringLiteral("Existing folder to write one file per kept piece into"));
    text += QString(continuation).replace(QStringLiteral("%@"), QStringLiteral("(pieces end at split points and at cuts)"));
    text += line("  --preset, -p NAME    %@\n", QStringLiteral("Export preset name (default: %1)").arg(QStringLiteral("passthrough")));
    text += line("  --passthrough-mode M %@\n", QStringLiteral("How pass-through joins and trims video (M is one of these):"));
    for (const PassthroughMode mode : CWPassThroughPreset::modes())
        text += QString(continuation)
                    .replace(QStringLiteral("%@"), QStringLiteral("%1%2: %3")
                                                       .arg(PassthroughModes::name(mode),
                                                            mode == PassthroughMode::Exact ? QStringLiteral(" (default)") : QString(),
                                                            CWPassThroughPreset::modeHelp(mode)));
    text += line("  --cut, -c TIME       %@\n", QStringLiteral("Timestamp with sub-second precision (HH:MM:SS.mmm)"));
    text += QString(continuation).replace(QStringLiteral("%@"), QStringLiteral("Can be specified multiple times for multiple cuts"));
    text += line("  --cuts-from FILE     %@\n", QStringLiteral("Cut times read from a file, one per line, as if each were a --cut"));
    text += QString(continuation)
                .replace(QStringLiteral("%@"), QStringLiteral("or a cut list: CSV, a CMX 3600 EDL or a chapter list (\"0:00 Intro\")"));
    text += line("  --save-cuts FILE     %@\n", QStringLiteral("Write the cuts and splits as a list: .txt times, .csv, .edl or"));
    text += QString(continuation)
                .replace(QStringLiteral("%@"), QStringLiteral(".chapters.txt (where each piece starts); without -o nothing is exported"));
    text += line("  --split, -s TIME     %@\n", QStringLiteral("Timestamp for split point (HH:MM:SS.mmm)"));
    text += QString(continuation).replace(QStringLiteral("%@"), QStringLiteral("Can be specified multiple times for multiple splits"));
    text += line("  --snapshot TIME      %@\n", QStringLiteral("Save the frame shown at TIME as a picture, PNG or JPEG by the output's"));
    text += QString(continuation)
                .replace(QStringLiteral("%@"), QStringLiteral("extension, instead of exporting; several times for several frames"));
    text +=
        QString(continuation).replace(QStringLiteral("%@"), QStringLiteral("(then named like \"frame 0m12.480s.png\" for -o frame.png)"));
    text += line("  --list-tracks        %@\n", QStringLiteral("Print the input's tracks (kind, codec, language, title, channels)"));
    text += line("  --tracks LIST        %@\n", QStringLiteral("Export only these tracks, by the numbers --list-tracks prints (\"0,2\");"));
    text += QString(continuation)
                .replace(QStringLiteral("%@"), QStringLiteral("the first of each kind becomes the default (default: every track)"));
    text += line("  --clear              %@\n", QStringLiteral("Add an initial cut at the very beginning (00:00:00.000)"));
    text += line("  --volume VALUE       %@\n", QStringLiteral("Adjust volume (+25, +50, +100, -25, -50, -100) [MP3 only]"));
    text += line("  --meta-title TEXT    %@\n", QStringLiteral("Set title metadata"));
    text += line("  --meta-artist TEXT   %@\n", QStringLiteral("Set artist metadata"));
    text += line("  --meta-album TEXT    %@\n", QStringLiteral("Set album metadata"));
    text += line("  --meta-year TEXT     %@\n", QStringLiteral("Set year/creation date metadata"));
    text += line("  --meta-author TEXT   %@\n", QStringLiteral("Set author metadata"));
    text += line("  --meta-comment TEXT  %@\n", QStringLiteral("Set comment/description metadata"));
    text += line("  --artwork FILE       %@\n", QStringLiteral("Set the artwork (a JPEG or PNG picture) of the output"));
    text += line("  --small-artwork      %@\n", QStringLiteral("try to reduce the size of artwork data"));
    text += line("  --json               %@\n", QStringLiteral("Output progress and status in JSON format"));
    text += line("  --debug, --verbose   %@\n", QStringLiteral("Enable debug/verbose output"));
    text += line("  --overwrite, -y      %@\n", QStringLiteral("Accepted for compatibility: existing outputs are always replaced"));
    text += QString(continuation).replace(QStringLiteral("%@"), QStringLiteral("(only once the new file is complete)"));
    text += QStringLiteral("\nExamples:\n");
    text += QStringLiteral("  clipwell_cli --input input.mp4 --output output.mp4 --preset h264\n");
    text += QStringLiteral("  clipwell_cli --input input.mp4 --split-export pieces --split 00:01:30.500 --split 00:02:45.250\n");
    text +=
        QStringLiteral("  clipwell_cli --input input.mp4 --output trimmed.mp4 --cut 00:00:30.123 --cut 00:01:15.789 --cut 00:02:00.456\n");
    text += QStringLiteral("  clipwell_cli --input input.mp4 --output trimmed.mp4 --clear --cut 00:01:30.000\n");
    text += QStringLiteral("  clipwell_cli --input input.mp3 --output output.mp3 --meta-title \"My Song\" --meta-artist \"John Doe\" "
                           "--meta-album \"Greatest Hits\" --meta-year \"2025\"\n");
    return text;
}

QString CWCommandLineParser::versionText()
{
    return QStringLiteral("clipwell_cli Version " CLIPWELL_SHORT_VERSION "." CLIPWELL_BUILD_NUMBER);
}

bool CWCommandLineParser::configureProject(CWProject& project, Error* error)
{
    return applyPresetToProject(project, error) && applyTracksToProject(project, error) && applyCutsToProject(project, error) &&
           applyVolumeToProject(project) && applyMetadataToProject(project) && applyArtworkToProject(project, error);
}

bool CWCommandLineParser::applyPresetToProject(CWProject& project, Error* error)
{
    // An MP3 is made by the MP3 preset, unless the source is one: then its frames are copied.
    if (QFileInfo(outputFile_).suffix().toLower() == QLatin1String("mp3") &&
        presetName_.compare(QLatin1String("passthrough"), Qt::CaseInsensitive) == 0 &&
        project.avAsset()->formatName() != QLatin1String("mp3"))
        presetName_ = QStringLiteral("lame");
    // The HEVC preset's name was once misspelt; scripts that use the old name keep working.
    const QString wanted =
        presetName_.compare(QLatin1String("HVEC / h265"), Qt::CaseInsensitive) == 0 ? QStringLiteral("HEVC / h265") : presetName_;
    QStringList known;
    for (const CWPresetClass* presetClass : CWPreset::allPresetClasses()) {
        if (presetClass->identifier.compare(wanted, Qt::CaseInsensitive) == 0 ||
            presetClass->presetName.compare(wanted, Qt::CaseInsensitive) == 0) {
            std::shared_ptr<CWPreset> preset = presetClass->create();
            if (auto* passthrough = dynamic_cast<CWPassThroughPreset*>(preset.get()))
                passthrough->setMode(passthroughMode_.value_or(PassthroughMode::Exact));
            project.changePresetTo(std::move(preset));
            return true;
        }
        known << QStringLiteral("%1 (%2)").arg(presetClass->identifier, presetClass->presetName);
    }
    return fail(error, QStringLiteral("Unknown preset \"%1\". Valid presets: %2").arg(presetName_, known.join(QStringLiteral(", "))));
}

bool CWCommandLineParser::applyTracksToProject(CWProject& project, Error* error)
{
    if (chosenTracks_.empty())
        return true;
    const std::vector<MediaTrack>& tracks = project.avAsset()->tracks();
    for (const int number : chosenTracks_)
        if (number >= int(tracks.size()))
            return fail(error, tracks.size() == 1 ? QStringLiteral("There is no track %1: the input has one track, number 0.").arg(number)
                                                  : QStringLiteral("There is no track %1: the input's tracks are numbered 0 to %2 "
                                                                   "(--list-tracks prints them).")
                                                        .arg(number)
                                                        .arg(tracks.size() - 1));
    std::vector<int32_t> leftOut;
    for (size_t number = 0; number < tracks.size(); ++number)
        if (std::find(chosenTracks_.begin(), chosenTracks_.end(), int(number)) == chosenTracks_.end())
            leftOut.push_back(tracks[number].trackID);
    project.leaveOutTracks(std::move(leftOut));
    return true;
}

bool CWCommandLineParser::applyCutsToProject(CWProject& project, Error* error)
{
    project.removeAllSplits();
    const CMTime duration = project.duration();
    if (clearStart_ && !project.addCutAt(kCMTimeZero))
        return fail(error, QStringLiteral("Cannot cut at the start of the source."));
    // The cut lists of other formats join the time options at their places, now that the source is known.
    std::vector<CWTimeOperation> operations = timeOperations_;
    const double rate = project.avAsset() && !project.avAsset()->tracksWithMediaType(MediaType::Video).empty()
                            ? project.avAsset()->tracksWithMediaType(MediaType::Video).front().nominalFrameRate
                            : 0;
    if (!cutsFiles_.expandInto(operations, {duration, rate, QFileInfo(inputFileURL()).fileName()}, error))
        return false;
    for (const CWTimeOperation& operation : operations) {
        if (operation.applyToProject(project))
            continue;
        const QString what = operation.type() == CWTimeOperation::Split ? QStringLiteral("split") : QStringLiteral("cut");
        QString why = QStringLiteral("the project refused it");
        if (CMTimeCompare(operation.time(), duration) > 0)
            why = QStringLiteral("it lies beyond the end of the source (%1)").arg(describeTime(duration));
        else if (operation.type() == CWTimeOperation::Split)
            why = QStringLiteral("a cut or split point is already there");
        return fail(error, QStringLiteral("Cannot %1 at %2: %3.").arg(what, describeTime(operation.time()), why));
    }
    return true;
}

bool CWCommandLineParser::applyVolumeToProject(CWProject& project)
{
    if (volumePercentage_ != 0)
        project.useVolumePercentage(volumePercentage_);
    return true;
}

bool CWCommandLineParser::applyMetadataToProject(CWProject& project)
{
    if (!customMetadata_.empty())
        project.setCustomMetadata(customMetadata_);
    return true;
}

bool CWCommandLineParser::applyArtworkToProject(CWProject& project, Error* error)
{
    if (enforceSmallArtwork_)
        project.forceSmallArtwork();
    const MediaSource artwork = artwork_.isEmpty() ? MediaSource(artworkPath_) : artwork_;
    Error problem;
    if (!artwork.isEmpty() && !project.useArtwork(artwork, &problem))
        return fail(error, QStringLiteral("Cannot read the artwork file \"%1\": %2.").arg(artwork.path(), problem.message));
    return true;
}
