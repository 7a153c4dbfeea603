// Entry point of clipwell_cli: help, version and setup status at once; otherwise the folder check and
// the export inside the Qt event loop. Exit status: 0 when the requested thing was done (for an
// export: it completed), 1 on any failure, 2 when an export was cancelled.
#include "CWBookmarkManager.h"
#include "CWCommandLineExporter.h"
#include "CWCommandLineParser.h"
#include "CWExportSession.h"
#include "CWFolderAccess.h"
#include "CWPreset.h"
#include "CWUtility.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

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

// Empty when both paths lie inside the granted folder; else the explanation, as lines of text.
QString folderAccessProblem(const CWCommandLineParser& parser)
{
    debug(QStringLiteral("Attempting to resolve bookmark"));
    Error error;
    const auto folder = resolveFolder(error);
    if (!folder) {
        QString text = QStringLiteral("ERROR: No folder access configured.\n\nBefore using this CLI tool, you must:\n");
        for (const char* step : kConfigureSteps)
            text += QString::fromUtf8(step) + QLatin1Char('\n');
        text += QStringLiteral("\n%1\n\n").arg(QString::fromUtf8(kGrantCommand));
        return text + QStringLiteral("Technical details: %1\n").arg(error.describe());
    }
    debug(QStringLiteral("Bookmark resolved to: %1").arg(*folder));
    struct Check {
        QString path;
        const char* what;
        const char* verb;
    };
    std::vector<Check> checks{Check{parser.inputFileURL(), "Input", "access this file"},
                              Check{parser.outputFileURL(), "Output", "write to this location"}};
    for (const QString& cuts : parser.cutsFiles())
        checks.push_back(Check{cuts, "Cuts", "read this file"});
    for (const Check& check : checks) {
        if (check.path.isEmpty())
            continue;
        debug(QStringLiteral("Checking if %1 path '%2' is within bookmarked path '%3'")
                  .arg(QString::fromLatin1(check.what).toLower(), check.path, *folder));
        if (!CWFolderAccess::isWithin(check.path, *folder)) {
            const QString what = QString::fromLatin1(check.what);
            return QStringLiteral("ERROR: %1 file is not within the accessible folder.\n%1 file: %2\nAccessible folder: %3\n\n"
                                  "To %4, please reconfigure the accessible folder in Clipwell's preferences.\n")
                .arg(what, CWFolderAccess::resolvedPath(check.path), *folder, QString::fromLatin1(check.verb));
        }
    }
    return {};
}

// An output that is the input (the same file, also under another name or through a link), or that exists
// and is not a regular file (a folder, a pipe, a device), where one file is to be written: refused before
// anything is read or written. Empty when the output may be written.
QString outputProblem(const CWCommandLineParser& parser)
{
    const QString output = parser.outputFileURL();
    struct stat target {};
    if (output.isEmpty() || parser.useMultipleFiles() || ::stat(QFile::encodeName(output).constData(), &target) != 0)
        return {};
    if (!S_ISREG(target.st_mode))
        return QStringLiteral("The output \"%1\" exists and is not a regular file; nothing was written.").arg(output);
    struct stat source {};
    if (::stat(QFile::encodeName(parser.inputFileURL()).constData(), &source) == 0 && source.st_dev == target.st_dev &&
        source.st_ino == target.st_ino)
        return QStringLiteral("The output \"%1\" is the input file; choose another output so that the source is kept.").arg(output);
    return {};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("clipwell_cli"));
    // A file-size limit or a full disk must come back as a write error, not end the process.
    std::signal(SIGXFSZ, SIG_IGN);
    CWPreset::registerStandardPresets();

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

    auto exporter = CWCommandLineExporter::exporterWithParser(parser);
    exporter->cancelWhenSet(&signalled);
    if (parser->parseError()) {
        // Nothing is exported with half the arguments.
        exporter->printError(parser->parseError()->message);
        return 1;
    }
    if (const QString problem = folderAccessProblem(*parser); !problem.isEmpty()) {
        // A JSON reader gets one error record on standard output; a person gets the text on standard error.
        if (parser->jsonOutput()) {
            exporter->printError(problem.trimmed());
        } else {
            std::fputs(qPrintable(problem), stderr);
            std::fflush(stderr);
        }
        return 1;
    }
    if (const QString problem = outputProblem(*parser); !problem.isEmpty()) {
        exporter->printError(problem);
        return 1;
    }
    if (Error error; !parser->loadCutsFiles(&error)) {
        exporter->printError(error.message);
        return 1;
    }

    // Ctrl+C and SIGTERM cancel the export; the handler only writes to a pipe the event loop watches.
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) == 0) {
        auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, [&] {
            char byte;
            (void)!read(signalPipe[0], &byte, 1);
            if (exporter)
                exporter->cancel();
        });
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
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
    QDeadlineTimer deadline(10000);
    while (CWExportSession::liveSessionCount() > 0 && !deadline.hasExpired()) {
        QCoreApplication::sendPostedEvents();
        QThread::msleep(2);
    }
    return status;
}
