// One file being made in a folder, seen by nobody until it is whole: unnamed while it is written (where
// the file system has no unnamed files, under a hidden working name, see CWWorkingFiles), locked
// (flock) from the start, then given its name in one step. Where a file of that name exists, the new
// one is named under a hidden name first and renamed over it, keeping the old file's owner (where this
// user may give it) and permissions: readers see the old file or the new one. Whatever ends before
// that leaves nothing: close() and the destructor remove a hidden name, and an unnamed file goes with
// its descriptor (also when the process is killed).
//
// One owner, one thread at a time. The folder's descriptor stays the caller's and must outlive the
// object. Failures leave errno set.
#pragma once

#include <QByteArray>
#include <QString>

class CWWorkingFile {
public:
    // Creates the file in the folder; isOpen() says whether that worked.
    explicit CWWorkingFile(int folderFd);
    ~CWWorkingFile();
    CWWorkingFile(const CWWorkingFile&) = delete;
    CWWorkingFile& operator=(const CWWorkingFile&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    int descriptor() const { return fd_; }
    // The name writers open the file by while it is made ("/proc/self/fd/N"); empty when not open.
    QString path() const;
    // Gives the finished file the name in the folder, replacing a file of that name; false when it cannot.
    bool moveTo(const QByteArray& name);
    // Closes the file; unless moveTo() succeeded, nothing of it is left.
    void close();

private:
    int folderFd_;
    int fd_ = -1;
    QByteArray hiddenName_; // the file's name in the folder while it has one that is not its own
};
