// A file made whole or not at all: what a folder holds after a working file is moved over an older
// file, refused a name, or closed unfinished, and what CWExportTarget::writeWhole leaves.
#include "CWExportTarget.h"
#include "CWWorkingFile.h"
#include "support/TestMedia.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Folder {
    QTemporaryDir dir;
    int fd = ::open(QFile::encodeName(dir.path()).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    ~Folder() { ::close(fd); }
    QString file(const char* name) const { return dir.filePath(QLatin1String(name)); }
    // Every entry, hidden ones included.
    QStringList entries() const { return QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name); }
    mode_t mode(const char* name) const
    {
        struct stat info {};
        ::stat(QFile::encodeName(file(name)).constData(), &info);
        return info.st_mode & 07777;
    }
};

bool write(const CWWorkingFile& file, const QByteArray& bytes)
{
    return ::write(file.descriptor(), bytes.constData(), size_t(bytes.size())) == bytes.size();
}

} // namespace

TEST(CWWorkingFile, TakesItsNameWholeAndKeepsWhatItReplaces)
{
    Folder folder;
    TestMedia::writeFile(folder.file("clip.mp4"), "old");
    ASSERT_EQ(::chmod(QFile::encodeName(folder.file("clip.mp4")).constData(), 0640), 0);
    {
        CWWorkingFile file(folder.fd);
        ASSERT_TRUE(file.isOpen());
        ASSERT_TRUE(write(file, "new"));
        EXPECT_EQ(TestMedia::contents(file.path()), QByteArray("new")) << "writers reach it by its path";
        EXPECT_EQ(folder.entries(), QStringList{"clip.mp4"}) << "unnamed while it is made";
        EXPECT_EQ(TestMedia::contents(folder.file("clip.mp4")), QByteArray("old"));
        ASSERT_TRUE(file.moveTo("clip.mp4"));
    }
    EXPECT_EQ(TestMedia::contents(folder.file("clip.mp4")), QByteArray("new"));
    EXPECT_EQ(folder.mode("clip.mp4"), mode_t(0640));
    EXPECT_EQ(folder.entries(), QStringList{"clip.mp4"});

    // Into a new name, in one step.
    CWWorkingFile other(folder.fd);
    ASSERT_TRUE(write(other, "more"));
    ASSERT_TRUE(other.moveTo("more.mp4"));
    other.close();
    EXPECT_EQ(folder.entries(), (QStringList{"clip.mp4", "more.mp4"}));
}

TEST(CWWorkingFile, LeavesNothingWhenItIsNotMoved)
{
    Folder folder;
    TestMedia::writeFile(folder.file("clip.mp4"), "old");
    QDir(folder.dir.path()).mkdir(QStringLiteral("taken"));
    {
        CWWorkingFile file(folder.fd);
        ASSERT_TRUE(write(file, "new"));
        EXPECT_FALSE(file.moveTo("taken")) << "a folder is not replaced";
    }
    {
        CWWorkingFile file(folder.fd);
        ASSERT_TRUE(write(file, "new"));
    }
    EXPECT_EQ(folder.entries(), (QStringList{"clip.mp4", "taken"}));
    EXPECT_EQ(TestMedia::contents(folder.file("clip.mp4")), QByteArray("old"));

    // A disk that is full part-way (a file-size limit): writeWhole says why and leaves nothing.
    struct rlimit limit {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const sighandler_t handler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = limit;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    Error error;
    const bool written = CWExportTarget(folder.file("clip.mp4")).writeWhole(QByteArray(65536, 'x'), &error);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, handler);
    EXPECT_FALSE(written);
    EXPECT_TRUE(error.message.startsWith(QStringLiteral("Cannot write \"%1\": ").arg(folder.file("clip.mp4"))))
        << error.message.toStdString();
    EXPECT_EQ(folder.entries(), (QStringList{"clip.mp4", "taken"}));
    EXPECT_EQ(TestMedia::contents(folder.file("clip.mp4")), QByteArray("old"));
}
