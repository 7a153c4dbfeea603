// Entry point of clipwell_cli: help, version and setup status at once; otherwise the folder check and
// the export inside the Qt event loop. Exit status: 0 when the requested thing was done (for an
// export: it completed), 1 on any failure, 2 when an export was cancelled.
#include "CWBookmarkManager.h"
#include "CWCommandLineExporter.h"
#include "CWCommandLineParser.h"
#include "CWConfinement.h"
#include "CWExportSession.h"
#include "CWGrantedFolder.h"
#include "CWPreset.h"
#include "CWUtility.h"
#include "PathText.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// What the tool refuses before any work; the message is what the user reads (for the folder access,
// lines of text that explain what to do).
enum class Refusal { UnrepresentableName = 1, FolderAccess, Output };
Error refusal(Refusal code, const QString& message) { return Error{QStringLiteral("clipwell_cli"), int(code), message, {}, {}}; }

const QString kTag = QStringLiteral("clipwell_cli");
void debug(const QString& message) { CWUtility::debugLog(kTag, message); }

const char* const kConfigureSteps[] = {
    "1. Launch Clipwell",
    "2. Open Preferences (Ctrl+,)",
    "3. Select 'CLI Access' tab",
    "4. Choose a folder that contains your media files",
};
const char* kGrantCommand = "Without a desktop, grant a folder with: clipwell --grant-cli-access FOLDER";

int signalPipe[2] = {-1, -1};
// Set by the signal handler itself, so that work that blocks the event loop (opening the input)
// learns of it at once: an interrupted call there is a cancellation, not a failure.
std::atomic<bool> signalled{false};

void onSignal(int)
{
    signalled = true;
    const char byte = 1;
    (void)!write(signalPipe[1], &byte, 1);
}

std::optional<QString> resolveFolder(Error& error) { return CWBookmarkManager::sharedManager().resolveBookmark(&error); }

int showHelp()
{
    std::printf("%s\n", qPrintable(CWCommandLineParser::helpText()));
    Error error;
    if (const auto folder = resolveFolder(error)) {
        std::printf("\nCLI Access configured for: %s\n\n", qPrintable(*folder));
    } else {
        std::printf("\nIMPORTANT: CLI tool is not configured!\n\n");
        std::printf("Before using this CLI tool, you must:\n");
        for (const char* step : kConfigureSteps)
            std::printf("%s\n", step);
        std::printf("5. The CLI tool can then access files within that folder\n\n");
        std::printf("%s\n", kGrantCommand);
    }
    std::fflush(stdout);
    return 0;
}

int showSetup()
{
    std::printf("Clipwell CLI Setup Status\n=======================\n\n");
    Error error;
    const auto folder = resolveFolder(error);
    if (!folder) {
        std::printf("Status: NOT CONFIGURED\n\n");
        std::printf("To configure the CLI tool:\n");
        for (const char* step : kConfigureSteps)
            std::printf("%s\n", step);
        std::printf("5. The CLI tool will then be able to access files within that folder\n\n");
        std::printf("%s\n", kGrantCommand);
        std::printf("Technical details: %s\n", qPrintable(error.describe()));
        std::fflush(stdout);
        return 1;
    }
    std::printf("Status: CONFIGURED\n\nAccessible folder:\n  %s\n\n", qPrintable(*folder));
    std::printf("The CLI tool can access all files within this folder and its subfolders.\n\n");
    std::printf("To change the accessible folder:\n- Open Clipwell > Preferences > CLI Access\n- Choose a different folder\n");
    std::printf("  (or run: clipwell --grant-cli-access FOLDER)\n");
    std::fflush(stdout);
    return 0;
}

QString notConfigured(const Error& error)
{
    QString text = QStringLiteral("ERROR: No folder access configured.\n\nBefore using this CLI tool, you must:\n");
    for (const char* step : kConfigureSteps)
        text += QString::fromUtf8(step) + QLatin1Char('\n');
    text += QStringLiteral("\n%1\n\n").arg(QString::fromUtf8(kGrantCommand));
    return text + QStringLiteral("Technical details: %1\n").arg(error.describe());
}

// Opens the granted folder and finds every file of the run beneath it (see CWGrantedFolder); the parser
// then reads and writes through the folders' handles. Nothing when all is well; else the explanation, as
// lines of text. A file that is missing or cannot be used is left to the step that uses it, which says so.
std::optional<Error> folderAccessProblem(CWCommandLineParser& parser, std::unique_ptr<CWGrantedFolder>& granted)
{
    debug(QStringLiteral("Attempting to resolve bookmark"));
    Error error;
    FolderBookmark::Identity identity;
    const auto folder = CWBookmarkManager::sharedManager().resolveBookmark(&error, &identity);
    if (!folder && error.code == CWBookmarkManager::StaleBookmark)
        return refusal(Refusal::FolderAccess, QStringLiteral("ERROR: The folder access is stale.\n%1\n").arg(error.message));
    if (!folder)
        return refusal(Refusal::FolderAccess, notConfigured(error));
    debug(QStringLiteral("Bookmark resolved to: %1").arg(*folder));
    Error stale;
    granted = CWGrantedFolder::open(*folder, dev_t(identity.device), ino_t(identity.inode), &stale);
    if (!granted)
        return refusal(Refusal::FolderAccess,
                       QStringLiteral("ERROR: The folder access is stale.\n%1\nGrant it again in Clipwell > Preferences > CLI Access, or "
                                      "with: clipwell --grant-cli-access FOLDER\n")
                           .arg(stale.message));
    const QString container = QFileInfo(CWBookmarkManager::sharedContainerURL()).canonicalFilePath();

    enum class Role { Read, Write, Folder };
    // Finds the file; `located` is where to write, `held` the file to read.
    auto locate = [&](const QString& path, Role role, const char* what, const char* verb, CWExportTarget* located,
                      MediaSource* held) -> std::optional<Error> {
        if (located)
            *located = CWExportTarget(path);
        if (held)
            *held = MediaSource(path);
        if (path.isEmpty())
            return std::nullopt;
        debug(QStringLiteral("Checking if %1 path '%2' is within bookmarked path '%3'")
                  .arg(QString::fromLatin1(what).toLower(), path, *folder));
        const CWGrantedFolder::Resolved found = role == Role::Read    ? granted->fileToRead(path)
                                                : role == Role::Write ? granted->fileToWrite(path)
                                                                      : granted->folderToWriteInto(path);
        const QString shown = found.real.isEmpty() ? path : found.real;
        const auto refused = [](const QString& message) { return refusal(Refusal::FolderAccess, message); };
        if (found.outcome == CWGrantedFolder::Outcome::Outside)
            return refused(QStringLiteral("ERROR: %1 file is not within the accessible folder.\n%1 file: %2\nAccessible folder: %3\n\n"
                                          "To %4, please reconfigure the accessible folder in Clipwell's preferences.\n")
                               .arg(QString::fromLatin1(what), shown, *folder, QString::fromLatin1(verb)));
        if (role != Role::Read && !container.isEmpty() && CWGrantedFolder::isBeneath(found.real, container))
            return refused(QStringLiteral("ERROR: %1 file is inside Clipwell's settings folder.\n%1 file: %2\nSettings folder: %3\n\n"
                                          "Choose a place outside it.\n")
                               .arg(QString::fromLatin1(what), shown, container));
        if (role == Role::Read && found.outcome == CWGrantedFolder::Outcome::NotAFile)
            return refused(QStringLiteral("ERROR: %1 file is not a regular file.\n%1 file: %2\n").arg(QString::fromLatin1(what), shown));
        if (located && !found.target.isEmpty() && found.outcome != CWGrantedFolder::Outcome::NotAFile)
            *located = found.target;
        if (held && found.file.isHeld())
            *held = found.file;
        return std::nullopt;
    };
    CWExportTarget output;
    MediaSource input, artwork;
    std::optional<Error> problem = locate(parser.inputFileURL(), Role::Read, "Input", "access this file", nullptr, &input);
    if (!problem)
        problem = locate(parser.outputFileURL(), parser.useMultipleFiles() ? Role::Folder : Role::Write, "Output", "write to this location",
                         &output, nullptr);
    std::vector<MediaSource> cuts;
    for (const QString& file : parser.cutsFiles()) {
        MediaSource located;
        if (!problem)
            problem = locate(file, Role::Read, "Cuts", "read this file", nullptr, &located);
        cuts.push_back(located);
    }
    if (!problem && !parser.artworkPath().isEmpty())
        problem =
            locate(QDir::current().absoluteFilePath(parser.artworkPath()), Role::Read, "Artwork", "read this file", nullptr, &artwork);
    CWExportTarget saveCuts;
    if (!problem)
        problem = locate(parser.saveCutsFileURL(), Role::Write, "Cut list", "write this file", &saveCuts, nullptr);
    if (!problem)
        parser.useFiles(input, output, cuts, artwork, saveCuts);
    return problem;
}

// File names are bytes here, but the tool carries them as text: a name argument that is not UTF-8, or a
// relative name in a current folder whose name is not, would be read or written under another name.
// Returns what to tell the user, if anything.
std::optional<Error> unrepresentableNameProblem(const CWCommandLineParser& parser, int argc, char** argv)
{
    QStringList names{parser.inputFileURL(), parser.outputFileURL(), parser.artworkPath(), parser.saveCutsFileURL()};
    names += parser.cutsFiles();
    const QByteArray currentFolder = PathText::inexactCurrentFolder();
    for (int index = 1; index < argc; ++index) {
        const QByteArray argument(argv[index]);
        const QString text = QString::fromUtf8(argument);
        const bool named = std::any_of(names.begin(), names.end(), [&](const QString& name) {
            return !name.isEmpty() && (name == text || name == QDir::current().absoluteFilePath(text));
        });
        if (!named)
            continue;
        if (!PathText::isExact(argument))
            return refusal(Refusal::UnrepresentableName,
                           QStringLiteral("The file name \"%1\" is not valid UTF-8, so it cannot be used exactly as given; rename "
                                          "the file so that its name is UTF-8.")
                               .arg(text));
        if (!currentFolder.isEmpty() && !argument.startsWith('/'))
            return refusal(Refusal::UnrepresentableName,
                           QStringLiteral("The current folder \"%1\" has a name that is not valid UTF-8, so \"%2\" cannot be found exactly "
                                          "from it; give the full path or work from another folder.")
                               .arg(QFile::decodeName(currentFolder), text));
    }
    return std::nullopt;
}

// From here on the kernel keeps the process beneath the granted folder (reading the system's folders
// and the settings folder besides).
void confine(const CWGrantedFolder& granted)
{
    // Without Landlock the held folder handles alone keep the output in: a target folder moved out of
    // the grant during the export must not receive it.
    CWExportSession::keepOutputsBeneath(granted.handle());
    QStringList readable = CWConfinement::systemFolders() + CWConfinement::runtimeFolders();
    const QString container = CWBookmarkManager::sharedContainerURL();
    if (!container.isEmpty())
        readable << container;
    Error reason;
    if (qEnvironmentVariableIsSet("CLIPWELL_WITHOUT_LANDLOCK")) // to check what the folder handles alone hold
        debug(QStringLiteral("Landlock left out as CLIPWELL_WITHOUT_LANDLOCK asks; relying on the folder handles alone"));
    else if (CWConfinement::confineTo(granted.handle(), readable, &reason))
        debug(QStringLiteral("Confined to %1 by Landlock").arg(granted.path()));
    else
        debug(QStringLiteral("%1; relying on the folder handles alone").arg(reason.message));
    // For checking the confinement from outside: a path the process must not be able to open.
    if (const QByteArray probe = qgetenv("CLIPWELL_CONFINEMENT_PROBE"); !probe.isEmpty()) {
        const int fd = ::open(probe.constData(), O_RDONLY | O_CLOEXEC);
        debug(QStringLiteral("Confinement probe \"%1\": %2")
                  .arg(QFile::decodeName(probe), fd >= 0 ? QStringLiteral("opened") : QString::fromLocal8Bit(std::strerror(errno))));
        if (fd >= 0)
            ::close(fd);
    }
}

// An output that is the input (the same file, also under another name or through a link), or that exists
// and is not a regular file (a folder, a pipe, a device), where one file is to be written: refused before
// anything is read or written. Nothing when the output may be written.
std::optional<Error> outputProblem(const CWCommandLineParser& parser)
{
    const QString output = parser.outputFileURL();
    const std::optional<struct stat> target =
        output.isEmpty() || parser.useMultipleFiles() ? std::nullopt : parser.outputTarget().existing();
    if (!target)
        return std::nullopt;
    if (!S_ISREG(target->st_mode))
        return refusal(Refusal::Output,
                       QStringLiteral("The output \"%1\" exists and is not a regular file; nothing was written.").arg(output));
    const std::optional<MediaSource::Identity> source = parser.inputSource().identity();
    if (source && source->device == quint64(target->st_dev) && source->inode == quint64(target->st_ino))
        return refusal(
            Refusal::Output,
            QStringLiteral("The output \"%1\" is the input file; choose another output so that the source is kept.").arg(output));
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("clipwell_cli"));
    // Damaged artwork is reported once, by the tool; the image readers' own complaints would only repeat it.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio*=false"));
    // A file-size limit or a full disk must come back as a write error, not end the process.
    std::signal(SIGXFSZ, SIG_IGN);
    CWPreset::registerStandardPresets();

    // Ctrl+C, SIGTERM and SIGHUP cancel the run at any moment, and so does a closed standard output
    // (SIGPIPE); the handler only sets a flag and writes to a pipe the event loop watches.
    std::unique_ptr<CWCommandLineExporter> exporter;
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) == 0) {
        auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, [&] {
            char byte;
            (void)!read(signalPipe[0], &byte, 1);
            if (exporter)
                exporter->cancel();
        });
        struct sigaction action {};
        action.sa_handler = onSignal;
        for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
            sigaction(signal, &action, nullptr);
    }

    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    std::shared_ptr<CWCommandLineParser> parser = CWCommandLineParser::parserWithArguments(arguments);
    CWUtility::setDebugEnabled(parser->debugOutput());
    debug(QStringLiteral("CLI tool started with args: %1").arg(arguments.join(QLatin1Char(' '))));
    CWBookmarkManager::sharedManager().setVerbose(parser->debugOutput());
    debug(
        QStringLiteral("Verbose bookmark logging: %1").arg(parser->debugOutput() ? QStringLiteral("enabled") : QStringLiteral("disabled")));

    if (parser->shouldShowHelp())
        return showHelp();
    if (parser->shouldShowVersion()) {
        std::printf("%s\n", qPrintable(CWCommandLineParser::versionText()));
        return 0;
    }
    if (parser->shouldShowSetup())
        return showSetup();

    exporter = CWCommandLineExporter::exporterWithParser(parser);
    if (const std::optional<Error> problem = unrepresentableNameProblem(*parser, argc, argv)) {
        exporter->printError(problem->message);
        return 1;
    }
    exporter->cancelWhenSet(&signalled);
    if (parser->parseError()) {
        // Nothing is exported with half the arguments.
        exporter->printError(parser->parseError()->message);
        return 1;
    }
    std::unique_ptr<CWGrantedFolder> granted;
    if (const std::optional<Error> problem = folderAccessProblem(*parser, granted)) {
        // A JSON reader gets one error record on standard output; a person gets the text on standard error.
        if (parser->jsonOutput()) {
            exporter->printError(problem->message.trimmed());
        } else {
            std::fputs(qPrintable(problem->message), stderr);
            std::fflush(stderr);
        }
        return 1;
    }
    if (const std::optional<Error> problem = outputProblem(*parser)) {
        exporter->printError(problem->message);
        return 1;
    }
    confine(*granted);
    if (Error error; !parser->loadCutsFiles(&error, &signalled)) {
        exporter->printError(error.message);
        return signalled ? CWCommandLineExporter::Cancelled : CWCommandLineExporter::Failure;
    }

    debug(QStringLiteral("Creating exporter"));
    QTimer::singleShot(0, [&] {
        debug(QStringLiteral("Starting export"));
        exporter->exportProject();
    });
    debug(QStringLiteral("Running the event loop"));
    const int status = app.exec();
    // Sessions end on the main thread: let them, so that every worker is joined before the exit.
    exporter.reset();
    granted.reset();
    QDeadlineTimer deadline(10000);
    while (CWExportSession::liveSessionCount() > 0 && !deadline.hasExpired()) {
        QCoreApplication::sendPostedEvents();
        QThread::msleep(2);
    }
    return status;
}
