// A file to read, as the program names it: found by its path when it is read, or already open, held by
// a descriptor that whoever checked it opened, with the path to show for it. A held source is read
// through that descriptor only, so a name swapped for a link after the check changes nothing read.
//
// A value: copies share the descriptor, which closes with the last of them. Any thread.
#pragma once

#include "Error.h"
#include "SharedDescriptor.h"

#include <QByteArray>
#include <QString>

#include <optional>

class MediaSource {
public:
    MediaSource() = default;
    // A file found by name when it is read.
    MediaSource(QString path) : path_(std::move(path)) {} // NOLINT(google-explicit-constructor): a path names a source
    // A file already open for reading; the source owns the descriptor from here on.
    static MediaSource heldOpen(int descriptor, QString shownPath);

    // The path: what messages show, and what is opened when the source is not held.
    const QString& path() const { return path_; }
    bool isEmpty() const { return path_.isEmpty() && !held_; }
    // The descriptor to read through; -1 when the file is found by name.
    int descriptor() const { return held_.get(); }
    bool isHeld() const { return bool(held_); }

    // A descriptor of its own, with its own position, for a reader that moves through the file: the held
    // file opened afresh (never its name looked up again), else the path opened. -1 with errno on failure.
    // The caller closes it.
    int openOwnDescriptor() const;
    // The file's size now (through the held descriptor, else by path); -1 when it cannot be found.
    qint64 size() const;
    // Which file it is now (through the held descriptor, else by path); nullopt when it cannot be found.
    struct Identity {
        quint64 device = 0;
        quint64 inode = 0;
    };
    std::optional<Identity> identity() const;
    // The content from its start, at most `limit` bytes: through the held descriptor (read by position,
    // so other readers of it are not disturbed), else opened by path, never waiting, and only when it is
    // a regular file. Nullopt, with the system's reason as the error's message, when it cannot be opened
    // or is no regular file; a read that fails on the way gives what was read before it.
    std::optional<QByteArray> read(qint64 limit, Error* error = nullptr) const;

private:
    QString path_;
    SharedDescriptor held_;
};
