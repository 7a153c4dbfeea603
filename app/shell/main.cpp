// Entry point of the Clipwell application.
//   clipwell [FILE...]                  opens each file in a window of its own; with none, the Open dialog
//   clipwell --prepare-for-screenshot [FILE]   windows at the screenshot size, no hand-over
//   clipwell --gapplication-service     started by D-Bus for the desktop entry: waits for Open or Activate
//   clipwell --grant-cli-access FOLDER | --revoke-cli-access | --show-cli-access   (no display needed)
//   clipwell --help | --version
// A second clipwell while one runs in the session hands its files to the running one and ends.
#include "AppDelegate.h"
#include "CliAccessCommand.h"
#include "ClipwellVersion.h"
#include "CWBookmarkManager.h"
#include "CWDocumentController.h"
#include "CWPreset.h"
#include "PathText.h"
#include "SingleInstance.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int kActivationWaitMs = 25000;

QString usage()
{
    return QCoreApplication::translate("main", "Usage: clipwell [FILE...]\n"
                                               "Opens each audio or video file in a window of its own to trim and export it.\n\n"
                                               "Options:\n"
                                               "  --prepare-for-screenshot [FILE]  open windows at 1196 × 656 for screenshots\n"
                                               "  --help                           show this help\n"
                                               "  --version                        show the version\n\n") +
           CliAccessCommand::usage();
}

// The options that need no display are answered before the GUI exists.
std::optional<int> answerWithoutDisplay(int argc, char** argv)
{
    if (argc < 2)
        return std::nullopt;
    const char* option = argv[1];
    const bool help = !std::strcmp(option, "--help") || !std::strcmp(option, "-h");
    const bool version = !std::strcmp(option, "--version");
    const bool access = !std::strncmp(option, "--grant-cli-access", 18) || !std::strcmp(option, "--revoke-cli-access") ||
                        !std::strcmp(option, "--show-cli-access");
    if (!help && !version && !access)
        return std::nullopt;
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("clipwell"));
    // The grant's steps are told only when asked for with --debug.
    std::vector<QByteArray> raw;
    for (int index = 1; index < argc; ++index)
        raw.emplace_back(argv[index]);
    const bool debug = std::erase(raw, QByteArray("--debug")) > 0;
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeAll(QStringLiteral("--debug"));
    CWBookmarkManager::sharedManager().setVerbose(debug);
    if (help) {
        std::printf("%s\n", qPrintable(usage()));
        return 0;
    }
    if (version) {
        std::printf("Clipwell %s (%s)\n", CLIPWELL_SHORT_VERSION, CLIPWELL_BUILD_NUMBER);
        return 0;
    }
    // The folder's name as bytes: a name that is not UTF-8 (or a relative one in a folder whose name is
    // not) would be granted as a look-alike with U+FFFD in its place.
    if (!std::strcmp(option, "--grant-cli-access") && raw.size() == 2) {
        const QByteArray& folder = raw[1];
        const QByteArray current = PathText::inexactCurrentFolder();
        if (!PathText::isExact(folder) || (!folder.startsWith('/') && !current.isEmpty())) {
            std::fprintf(stderr,
                         "Error: The folder name \"%s\" is not valid UTF-8 (or lies in a folder whose name is not), so it "
                         "cannot be granted exactly as given; rename it so that its name is UTF-8.\n",
                         qPrintable(QFile::decodeName(folder.startsWith('/') || current.isEmpty() ? folder : current + '/' + folder)));
            return 1;
        }
    }
    return CliAccessCommand::run(arguments);
}

} // namespace

int main(int argc, char** argv)
{
    if (const std::optional<int> status = answerWithoutDisplay(argc, argv))
        return *status;

    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("clipwell"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CLIPWELL_SHORT_VERSION));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Clipwell"));
    QGuiApplication::setDesktopFileName(QStringLiteral("io.clipwell.Clipwell"));
    QApplication::setQuitOnLastWindowClosed(false); // the document controller decides

    QStringList files;
    bool prepareForScreenshot = false;
    bool activatedByDBus = false;
    const QStringList arguments = QCoreApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--prepare-for-screenshot")) {
            prepareForScreenshot = true;
            if (i + 1 < arguments.size() && !arguments[i + 1].startsWith(QLatin1String("--"))) {
                QString path = arguments[++i];
                if (path.startsWith(QLatin1String("~/")))
                    path = QDir::homePath() + path.mid(1);
                files << path;
            }
        } else if (argument == QLatin1String("--gapplication-service")) {
            activatedByDBus = true;
        } else if (argument.startsWith(QLatin1String("--"))) {
            std::fprintf(stderr, "clipwell: unknown option %s\n%s\n", qPrintable(argument), qPrintable(usage()));
            return 1;
        } else {
            files << argument;
        }
    }

    CWPreset::registerStandardPresets();
    CWDocumentController controller;
    controller.setPrepareForScreenshot(prepareForScreenshot);
    SingleInstance instance([&controller](const QStringList& paths) { controller.openDocuments(paths); },
                            [&controller] { controller.activate(); });
    if (!prepareForScreenshot && !instance.registerService() && SingleInstance::handOver(files))
        return 0;

    AppDelegate delegate;
    delegate.applicationDidFinishLaunching();
    controller.setPreferencesHandler([&delegate] { delegate.showPreferences(); });
    controller.setUpdateCheckHandler([&delegate] { delegate.checkForUpdates(); });
    if (activatedByDBus) {
        // The launcher's Open or Activate call follows at once; a start that none follows ends quietly.
        QTimer::singleShot(kActivationWaitMs, &controller, [&controller] {
            if (controller.documents().empty() && !QApplication::activeModalWidget())
                QApplication::quit();
        });
    } else if (files.isEmpty()) {
        controller.openDocument();
    } else {
        controller.openDocuments(files);
    }
    return app.exec();
}
