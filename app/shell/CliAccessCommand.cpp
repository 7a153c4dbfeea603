#include "CliAccessCommand.h"

#include "CWBookmarkManager.h"

#include <QFileInfo>

#include <cstdio>

namespace {

int fail(const QString& message)
{
    std::fprintf(stderr, "Error: %s\n", qPrintable(message));
    std::fflush(stderr);
    return 1;
}

void say(const QString& message)
{
    std::printf("%s\n", qPrintable(message));
    std::fflush(stdout);
}

int grant(const QString& folder)
{
    const QFileInfo info(folder);
    if (!info.exists())
        return fail(QStringLiteral("The folder \"%1\" does not exist.").arg(folder));
    if (!info.isDir())
        return fail(QStringLiteral("\"%1\" is not a folder.").arg(folder));
    Error error;
    if (!CWBookmarkManager::sharedManager().createBookmarkForFolder(info.absoluteFilePath(), &error))
        return fail(error.describe());
    say(QStringLiteral("clipwell_cli may now read and write in: %1").arg(info.canonicalFilePath()));
    return 0;
}

int show()
{
    CWBookmarkManager& manager = CWBookmarkManager::sharedManager();
    if (!manager.hasBookmark()) {
        say(QStringLiteral("No folder selected"));
        return 0;
    }
    Error error;
    const auto folder = manager.resolveBookmark(&error);
    if (!folder)
        return fail(error.describe());
    say(*folder);
    return 0;
}

} // namespace

QString CliAccessCommand::usage()
{
    return QStringLiteral("Usage: clipwell --grant-cli-access FOLDER\n"
                          "       clipwell --revoke-cli-access\n"
                          "       clipwell --show-cli-access\n"
                          "Grants, withdraws or shows the folder that clipwell_cli may read and write in.\n"
                          "With --debug each step is told on standard error.");
}

std::optional<int> CliAccessCommand::run(const QStringList& arguments)
{
    const QString option = arguments.value(1);
    if (option == QLatin1String("--grant-cli-access")) {
        if (arguments.size() != 3)
            return fail(QStringLiteral("--grant-cli-access takes one folder.\n") + usage());
        return grant(arguments[2]);
    }
    if (option == QLatin1String("--revoke-cli-access") || option == QLatin1String("--show-cli-access")) {
        if (arguments.size() != 2)
            return fail(QStringLiteral("%1 takes no value.").arg(option));
        if (option == QLatin1String("--show-cli-access"))
            return show();
        CWBookmarkManager::sharedManager().removeBookmark();
        say(QStringLiteral("Command-line access withdrawn."));
        return 0;
    }
    return std::nullopt;
}
