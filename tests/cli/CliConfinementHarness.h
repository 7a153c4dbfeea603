// The fixture of clipwell_cli's confinement tests: a folder outside the grant holding a file that no
// test may change, checked after every test, and a look at every entry below a folder. Main thread only.
#pragma once

#include "CliHarness.h"

#include <QDateTime>
#include <QtEndian>
#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <numeric>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace TestMedia;

// Every entry below `folder`, hidden ones included.
inline QStringList entriesIn(const QString& folder)
{
    QStringList found;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    found.sort();
    return found;
}

class CliConfinementTest : public CliHarness {
protected:
    static void SetUpTestSuite()
    {
        CliHarness::SetUpTestSuite();
        outside = root->path() + QStringLiteral("/outside");
        QDir().mkpath(outside);
        writeFile(outside + QStringLiteral("/victim.txt"), "secret");
    }
    void TearDown() override
    {
        // Whatever a test did, nothing outside the folder changed.
        EXPECT_EQ(entriesIn(outside), QStringList{outside + QStringLiteral("/victim.txt")});
        EXPECT_EQ(contents(outside + QStringLiteral("/victim.txt")), QByteArray("secret"));
        EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(QLatin1Char(' ')).toStdString();
    }
    static QStringList flacRun(const QString& input) { return {QStringLiteral("-i"), input, QStringLiteral("-p"), QStringLiteral("flac")}; }

    static inline QString outside;
};
