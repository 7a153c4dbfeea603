#include "CWBookmarkManager.h"
#include "CWProjectConfiguration.h"
#include "FolderBookmark.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

class BookmarkManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        container = root.path() + QStringLiteral("/container");
        qputenv("CLIPWELL_CONTAINER_DIR", container.toUtf8());
        granted = root.path() + QStringLiteral("/granted");
        ASSERT_TRUE(QDir().mkpath(granted));
        manager().setVerbose(false);
    }
    void TearDown() override
    {
        manager().setVerbose(false);
        qunsetenv("CLIPWELL_CONTAINER_DIR");
    }
    static CWBookmarkManager& manager() { return CWBookmarkManager::sharedManager(); }
    QString bookmarkFile() const { return container + QStringLiteral("/cli-access-bookmark.data"); }
    void writeBookmarkFile(const QByteArray& bytes) const
    {
        QFile file(bookmarkFile());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }

    QTemporaryDir root;
    QString container;
    QString granted;
};

TEST_F(BookmarkManagerTest, WithoutAContainerEverythingFailsWithCodeOne)
{
    QFile blocker(root.path() + QStringLiteral("/file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("CLIPWELL_CONTAINER_DIR", (blocker.fileName() + QStringLiteral("/container")).toUtf8());
    Error error;
    EXPECT_FALSE(manager().createBookmarkForFolder(granted, &error));
    EXPECT_EQ(error.domain, QStringLiteral("CWBookmarkManager"));
    EXPECT_EQ(error.code, 1);
    EXPECT_EQ(error.message, QStringLiteral("Could not access App Group container"));
    EXPECT_FALSE(manager().hasBookmark());
    EXPECT_FALSE(manager().resolveBookmark(&error));
    EXPECT_EQ(error.code, 1);
    manager().setVerbose(true);
    testing::internal::CaptureStderr();
    manager().removeBookmark();
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("[CWBookmarkManager] ERROR: Could not access App Group container 'clipwell'"), std::string::npos);
    EXPECT_NE(log.find("[CWBookmarkManager] No bookmark file to remove"), std::string::npos);
}

TEST_F(BookmarkManagerTest, GrantResolveAndRemove)
{
    Error error;
    EXPECT_FALSE(manager().resolveBookmark(&error));
    EXPECT_EQ(error.code, 2);
    EXPECT_EQ(error.message, QStringLiteral("No bookmark exists"));

    // Granted through a symbolic link and "..": the real folder is recorded.
    ASSERT_TRUE(QFile::link(granted, root.path() + QStringLiteral("/link")));
    ASSERT_TRUE(manager().createBookmarkForFolder(root.path() + QStringLiteral("/link/../granted/../link"), &error))
        << error.message.toStdString();
    EXPECT_TRUE(manager().hasBookmark());
    const auto resolved = manager().resolveBookmark(&error);
    ASSERT_TRUE(resolved);
    EXPECT_EQ(*resolved, QDir(granted).canonicalPath());

    manager().removeBookmark();
    EXPECT_FALSE(manager().hasBookmark());
    EXPECT_FALSE(QFile::exists(bookmarkFile()));
}

TEST_F(BookmarkManagerTest, AReplacedOrRelinkedFolderIsStaleAndRefused)
{
    Error error;
    ASSERT_TRUE(manager().createBookmarkForFolder(granted, &error));
    QFile before(bookmarkFile());
    ASSERT_TRUE(before.open(QIODevice::ReadOnly));
    const QByteArray original = before.readAll();
    before.close();
    auto expectStale = [&](const char* what) {
        error = {};
        EXPECT_FALSE(manager().resolveBookmark(&error)) << what;
        EXPECT_EQ(error.code, CWBookmarkManager::StaleBookmark) << what;
        EXPECT_TRUE(error.message.contains(QStringLiteral("clipwell --grant-cli-access"))) << error.message.toStdString();
        QFile after(bookmarkFile());
        ASSERT_TRUE(after.open(QIODevice::ReadOnly));
        EXPECT_EQ(after.readAll(), original) << what << ": the grant is never moved to what is there now";
    };
    // A new folder at the same path (the old one still exists elsewhere, so the inode differs).
    const QString old = root.path() + QStringLiteral("/old");
    ASSERT_TRUE(QDir().rename(granted, old));
    ASSERT_TRUE(QDir().mkpath(granted));
    expectStale("replaced by another folder");
    // A link at the path, to the old folder itself or to the root of the file system.
    ASSERT_TRUE(QDir(granted).removeRecursively());
    ASSERT_TRUE(QFile::link(old, granted));
    expectStale("a link to the granted folder");
    ASSERT_TRUE(QFile::remove(granted));
    ASSERT_TRUE(QFile::link(QStringLiteral("/"), granted));
    expectStale("a link to /");
    // The folder back in its place is the grant again.
    ASSERT_TRUE(QFile::remove(granted));
    ASSERT_TRUE(QDir().rename(old, granted));
    FolderBookmark::Identity identity;
    ASSERT_TRUE(manager().resolveBookmark(&error, &identity));
    EXPECT_NE(identity.inode, 0);
}

TEST_F(BookmarkManagerTest, DamagedOrDanglingBookmarksFailClearly)
{
    Error error;
    ASSERT_TRUE(manager().createBookmarkForFolder(granted, &error));
    QFile good(bookmarkFile());
    ASSERT_TRUE(good.open(QIODevice::ReadOnly));
    const QByteArray valid = good.readAll();
    good.close();

    for (const QByteArray& damaged : {QByteArray(), valid.left(valid.size() / 2), QByteArray("\xff\xfe garbage")}) {
        writeBookmarkFile(damaged);
        EXPECT_FALSE(manager().resolveBookmark(&error));
        EXPECT_EQ(error.domain, QStringLiteral("FolderBookmark"));
        EXPECT_EQ(error.code, FolderBookmark::DamagedData);
    }

    writeBookmarkFile(valid);
    ASSERT_TRUE(QDir(granted).removeRecursively());
    EXPECT_FALSE(manager().resolveBookmark(&error));
    EXPECT_EQ(error.code, FolderBookmark::NotFound);
    EXPECT_TRUE(error.message.contains(QStringLiteral("no longer exists")));

    QFile impostor(granted);
    ASSERT_TRUE(impostor.open(QIODevice::WriteOnly));
    impostor.close();
    EXPECT_FALSE(manager().resolveBookmark(&error));
    EXPECT_EQ(error.code, FolderBookmark::NotAFolder);

    // Granting a file or a missing folder is refused.
    EXPECT_FALSE(manager().createBookmarkForFolder(granted, &error));
    EXPECT_EQ(error.code, FolderBookmark::NotAFolder);
    EXPECT_FALSE(manager().createBookmarkForFolder(root.path() + QStringLiteral("/nowhere"), &error));
    EXPECT_EQ(error.code, FolderBookmark::NotFound);
}

TEST_F(BookmarkManagerTest, VerboseLinesAndSilence)
{
    Error error;
    testing::internal::CaptureStderr();
    manager().createBookmarkForFolder(granted, &error);
    manager().resolveBookmark(&error);
    manager().removeBookmark();
    manager().resolveBookmark(&error);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    manager().setVerbose(true);
    testing::internal::CaptureStderr();
    manager().createBookmarkForFolder(granted, &error);
    manager().resolveBookmark(&error);
    manager().removeBookmark();
    const std::string log = testing::internal::GetCapturedStderr();
    const std::string file = bookmarkFile().toStdString();
    for (const std::string& line : std::initializer_list<std::string>{
             "[CWBookmarkManager] Creating bookmark for folder: " + granted.toStdString(),
             "[CWBookmarkManager] Bookmark file path: " + file, "[CWBookmarkManager] Writing bookmark data (",
             "[CWBookmarkManager] Successfully wrote bookmark to file", "[CWBookmarkManager] Resolving bookmark",
             "[CWBookmarkManager] Reading bookmark data from: " + file, "[CWBookmarkManager] Read bookmark data (",
             "[CWBookmarkManager] Successfully resolved bookmark to: " + QDir(granted).canonicalPath().toStdString() + "\n",
             "[CWBookmarkManager] Removing bookmark", "[CWBookmarkManager] Deleting bookmark file at: " + file,
             "[CWBookmarkManager] Successfully removed bookmark file"})
        EXPECT_NE(log.find(line), std::string::npos) << line;
}
