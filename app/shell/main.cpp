// Entry point of the Clipwell application. The folder grant for clipwell_cli works without a display.
#include "CliAccessCommand.h"
#include "CWBookmarkManager.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("clipwell"));
    // The application always logs the bookmark manager's steps.
    CWBookmarkManager::sharedManager().setVerbose(true);
    const QStringList arguments = QCoreApplication::arguments();
    if (const std::optional<int> status = CliAccessCommand::run(arguments))
        return *status;
    const bool askedForHelp = arguments.size() == 2 && (arguments[1] == QLatin1String("--help") || arguments[1] == QLatin1String("-h"));
    std::fprintf(askedForHelp ? stdout : stderr, "%s\n", qPrintable(CliAccessCommand::usage()));
    return askedForHelp || arguments.size() == 1 ? 0 : 1;
}
