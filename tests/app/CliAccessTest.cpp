// The application's folder grant, run as a user would: the real clipwell binary with a private container.
#include "support/TestMedia.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct Result {
    int status;
    QString out;
    QString err;
};

Result runApp(const QString& container, const QStringList& arguments)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CLIPWELL_CONTAINER_DIR"), container);
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(CLIPWELL_APP), arguments);
    EXPECT_TRUE(process.waitForFinished(30000));
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

} // namespace

TEST(ClipwellCliAccess, GrantShowRevoke)
{
    QTemporaryDir root;
    const QString container = root.path() + QStringLiteral("/container");
    const QString folder = root.path() + QStringLiteral("/media");
    ASSERT_TRUE(QDir().mkpath(folder));

    Result r = runApp(container, {QStringLiteral("--show-cli-access")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, QStringLiteral("No folder selected\n"));
    EXPECT_FALSE(QFileInfo::exists(container)) << "only a grant makes the settings folder";

    r = runApp(container, {QStringLiteral("--grant-cli-access"), folder});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(folder));
    EXPECT_EQ(r.err, QString()) << "the steps only with --debug";
    r = runApp(container, {QStringLiteral("--grant-cli-access"), folder, QStringLiteral("--debug")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("[CWBookmarkManager] Successfully wrote bookmark to file")));
    EXPECT_TRUE(QFile::exists(container + QStringLiteral("/cli-access-bookmark.data")));

    r = runApp(container, {QStringLiteral("--show-cli-access")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, folder + QStringLiteral("\n"));

    r = runApp(container, {QStringLiteral("--revoke-cli-access")});
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(QFile::exists(container + QStringLiteral("/cli-access-bookmark.data")));
}

TEST(ClipwellCliAccess, RefusalsSayWhyAndExitWithOne)
{
    QTemporaryDir root;
    const QString container = root.path() + QStringLiteral("/container");
    QFile file(root.path() + QStringLiteral("/file.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    for (const QStringList& args : {QStringList{QStringLiteral("--grant-cli-access"), root.path() + QStringLiteral("/missing")},
                                    QStringList{QStringLiteral("--grant-cli-access"), file.fileName()},
                                    QStringList{QStringLiteral("--grant-cli-access")}, QStringList{QStringLiteral("--bogus")}}) {
        const Result r = runApp(container, args);
        EXPECT_EQ(r.status, 1) << args.join(' ').toStdString();
        if (args.size() == 2) {
            EXPECT_TRUE(r.err.startsWith(QStringLiteral("Error: "))) << r.err.toStdString();
        }
    }
    // Neither the whole file system nor the settings folder (nor a folder in it) is granted.
    ASSERT_TRUE(QDir().mkpath(container + QStringLiteral("/inner")));
    for (const QString& folder : {QStringLiteral("/"), container, container + QStringLiteral("/inner")}) {
        const Result refused = runApp(container, {QStringLiteral("--grant-cli-access"), folder});
        EXPECT_EQ(refused.status, 1) << folder.toStdString();
        EXPECT_TRUE(refused.err.contains(QStringLiteral("cannot be granted: choose the folder that holds your media.")))
            << refused.err.toStdString();
        EXPECT_FALSE(QFile::exists(container + QStringLiteral("/cli-access-bookmark.data")));
    }
    // A folder whose name is not UTF-8 is not granted as its look-alike (U+FFFD in that place), whether
    // named as it is or as "." from inside it.
    ASSERT_TRUE(QDir().mkpath(root.path() + QStringLiteral("/d\uFFFD")));
    for (const char* script : {"mkdir \"$(printf 'd\\xff')\" && exec \"$0\" --grant-cli-access \"$(printf 'd\\xff')\"",
                               "cd \"$(printf 'd\\xff')\" && exec \"$0\" --grant-cli-access ."}) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("CLIPWELL_CONTAINER_DIR"), container);
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(root.path());
        process.start(QStringLiteral("bash"), {QStringLiteral("-c"), QString::fromLatin1(script), QStringLiteral(CLIPWELL_APP)});
        ASSERT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.exitCode(), 1) << script;
        EXPECT_TRUE(process.readAllStandardError().contains("is not valid UTF-8")) << script;
        EXPECT_FALSE(QFile::exists(container + QStringLiteral("/cli-access-bookmark.data")));
    }
    QProcess::execute(QStringLiteral("bash"), {QStringLiteral("-c"), QStringLiteral("rm -r \"$0\"/d*"), root.path()});
    // The granted folder was deleted: showing it fails clearly.
    const QString gone = root.path() + QStringLiteral("/gone");
    ASSERT_TRUE(QDir().mkpath(gone));
    ASSERT_EQ(runApp(container, {QStringLiteral("--grant-cli-access"), gone}).status, 0);
    ASSERT_TRUE(QDir(gone).removeRecursively());
    const Result r = runApp(container, {QStringLiteral("--show-cli-access")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Error: The folder")));
}
