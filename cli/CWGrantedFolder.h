// The folder the tool may use, held open as a directory handle for the whole run, and every file the
// tool reads or writes reached beneath it by the kernel (openat2 with RESOLVE_BENEATH): a symbolic
// link that stays inside is followed, one that leads out (also "link/..") is refused, and no ".." is
// tidied as text. The folder each file lies in is opened once and kept open; the tool then names the
// file through that handle ("/proc/self/fd/N/name"), so replacing a folder by a link while the tool
// runs changes nothing it reads or writes, and a file to read is held open itself (read through
// OpenFiles). Messages show the real paths again (displayText()).
//
// The granted folder itself is opened by its recorded path without following any link, and must be the
// folder that was granted (same device and inode): a replaced or relinked folder is stale.
// Main thread only; the handles close with the object.
#pragma once

#include "Error.h"

#include <QString>

#include <memory>
#include <optional>
#include <sys/types.h>
#include <vector>

class CWGrantedFolder {
public:
    // Null, with the error, when the folder cannot be opened or is not the one recorded (ESTALE).
    static std::unique_ptr<CWGrantedFolder> open(const QString& path, dev_t device, ino_t inode, Error* error);
    ~CWGrantedFolder();
    CWGrantedFolder(const CWGrantedFolder&) = delete;
    CWGrantedFolder& operator=(const CWGrantedFolder&) = delete;

    const QString& path() const { return path_; }
    int handle() const { return fd_; }

    enum class Outcome { Inside, Outside, Missing, NotAFile, Unusable };
    struct Resolved {
        Outcome outcome = Outcome::Unusable;
        QString pinned;      // the path to use for the file: through the handle of its folder
        QString real;        // where it is, for messages
        QString reason;      // the system's words when the outcome is Unusable
        int descriptor = -1; // a file to read, held open for reading (owned by the folder object)
    };
    // An existing regular file to read, opened for reading.
    Resolved fileToRead(const QString& userPath);
    // A file to write (existing or not) in an existing folder; an existing one is not checked further.
    Resolved fileToWrite(const QString& userPath);
    // An existing folder to write files into; `pinned` names the folder itself.
    Resolved folderToWriteInto(const QString& userPath);

    // True when `path` is `folder` or lies beneath it, as text (both real paths).
    static bool isBeneath(const QString& path, const QString& folder);

    // `text` with every pinned folder named by its real path again.
    QString displayText(QString text) const;

private:
    CWGrantedFolder(int fd, QString path) : fd_(fd), path_(std::move(path)) {}

    // The path of `userPath` relative to the folder ("." for the folder itself): as written, or with the
    // folders above its name resolved by the kernel (`physical`); nullopt when that is not beneath it.
    std::optional<QByteArray> relativePath(const QString& userPath, bool physical) const;
    // Opens `relative` beneath the folder; -1 and errno on failure.
    int openBeneath(const QByteArray& relative, int flags) const;
    // Keeps the handle of a folder and gives the path through it.
    QString pin(int folderFd, const QByteArray& name);
    Resolved resolve(const QString& userPath, bool mustExist, bool wantFolder);

    int fd_;
    QString path_;
    std::vector<std::pair<int, QString>> pinned_; // folders and files held open: handle, real path
};
