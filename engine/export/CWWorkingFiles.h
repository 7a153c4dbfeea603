// The hidden names of unfinished exports in a target folder, and their clean-up. A working file that
// has a name (on file systems without unnamed files, or for the moment between naming a finished file
// and renaming it over the file it replaces) is ".cw-" and eight hexadecimal digits, and the export
// holds an exclusive lock (flock) on it for as long as it runs. The kernel drops that lock when the
// process ends in any way, SIGKILL included: a working file nobody holds locked, untouched for a
// while, belongs to an export that is gone, and the next export into that folder removes it.
// Plain functions; any thread.
#pragma once

#include <QByteArray>

namespace CWWorkingFiles {
// A fresh hidden name: twelve bytes, whatever the target's name.
QByteArray hiddenName();
// True for names hiddenName() gives.
bool isWorkingName(const QByteArray& name);
// Removes from the folder the working files of exports that are gone: regular files of this user with
// a working name, no lock on them, and not written for a minute. Errors are ignored (a file that cannot
// be removed stays). Returns how many were removed.
int removeAbandoned(int folderFd);
} // namespace CWWorkingFiles
