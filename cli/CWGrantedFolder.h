// The folder the tool may use, held open as a directory handle for the whole run, and every file the
// tool reads or writes reached beneath it by the kernel (openat2 with RESOLVE_BENEATH): a symbolic
// link that stays inside is followed, one that leads out (also "link/..") is refused, and no ".." is
// tidied as text. A file to read is held open, and an output's folder is held, each handed out with its
// real path for messages (MediaSource, CWExportTarget): replacing a folder by a link while the tool runs
// changes nothing it reads or writes.
//
// The granted folder itself is opened by its recorded path without following any link, and must be the
// folder that was granted (same device and inode): a replaced or relinked folder is stale.
// Main thread only; the granted folder's handle closes with the object, the others with their holders.
#pragma once

#include "CWExportTarget.h"
#include "Error.h"
#include "MediaSource.h"

#include <QString>

#include <memory>
#include <optional>
#include <sys/types.h>

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
        QString real;          // where it is, for messages
        QString reason;        // the system's words when the outcome is Unusable
        MediaSource file;      // a file to read: held open for reading, named by its real path
        CWExportTarget target; // a file or folder to write: in its held folder, named by its real path
    };
    // An existing regular file to read, opened for reading.
    Resolved fileToRead(const QString& userPath);
    // A file to write (existing or not) in an existing folder; an existing one is not checked further.
    Resolved fileToWrite(const QString& userPath);
    // An existing folder to write files into; `target` is the folder itself.
    Resolved folderToWriteInto(const QString& userPath);

    // True when `path` is `folder` or lies beneath it, as text (both real paths).
    static bool isBeneath(const QString& path, const QString& folder);

private:
    CWGrantedFolder(int fd, QString path) : fd_(fd), path_(std::move(path)) {}

    // The path of `userPath` relative to the folder ("." for the folder itself): as written, or with the
    // folders above its name resolved by the kernel (`physical`); nullopt when that is not beneath it.
    std::optional<QByteArray> relativePath(const QString& userPath, bool physical) const;
    // Opens `relative` beneath the folder; -1 and errno on failure.
    int openBeneath(const QByteArray& relative, int flags) const;
    Resolved resolve(const QString& userPath, bool mustExist, bool wantFolder);

    int fd_;
    QString path_;
};
