// Where an export writes: one file, or for one file per piece a folder, named by the path that messages
// show. The folder it goes into is found by that path when the export starts, or it was opened and
// checked by whoever made the target and is held: the files then go into that folder whatever its path
// names meanwhile. A value; copies share the held folder, which closes with the last of them. Any thread.
#pragma once

#include "Error.h"
#include "SharedDescriptor.h"

#include <QString>

#include <optional>
#include <sys/stat.h>

class CWExportTarget {
public:
    CWExportTarget() = default;
    // A file or folder found by its path.
    CWExportTarget(QString path) : path_(std::move(path)) {} // NOLINT(google-explicit-constructor): a path names a target
    // The file `path` in the held folder `folder` (an O_PATH descriptor).
    static CWExportTarget fileInHeldFolder(SharedDescriptor folder, QString path);
    // The held folder `folder` itself, at `path`, for the files of the pieces.
    static CWExportTarget heldFolder(SharedDescriptor folder, QString path);

    const QString& path() const { return path_; }
    bool isEmpty() const { return path_.isEmpty(); }
    // True when the folder was opened by whoever made the target.
    bool isHeld() const { return bool(folder_); }
    // The file `name` in this folder target, in the same held folder.
    CWExportTarget fileNamed(const QString& name) const;
    // The file `name` beside this file target, in the same held folder.
    CWExportTarget sibling(const QString& name) const;
    // The file's name in its folder.
    QString fileName() const;
    // A descriptor of the folder the file goes into (O_PATH, closed by the caller): the held one again,
    // else opened by path. -1 with errno on failure.
    int openFolder() const;
    // What is at the file's place now (links followed); nullopt when nothing is there or it cannot be seen.
    std::optional<struct stat> existing() const;
    // Writes `bytes` as the file, whole or not at all (CWWorkingFile): into an unnamed file in the
    // folder, then named, replacing a file of the name in one step and keeping its permissions. False,
    // with the system's reason, when the folder refuses it or the disk is full; nothing is left behind then.
    bool writeWhole(const QByteArray& bytes, Error* error) const;

private:
    QString path_;
    SharedDescriptor folder_; // held: the file's folder, or for a folder target the folder itself
    bool isFolder_ = false;
};
