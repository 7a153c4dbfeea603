// Confines the whole process with Landlock: from the call on, it may read and write only beneath the
// granted folder, and only read the system's own folders (libraries, plug-ins, configuration, /proc,
// the settings folder). Whatever path any code asks for later, ours or a library's, the kernel refuses
// the rest with EACCES. Irreversible, for every thread of the process; call it once, on the main
// thread, once the files are known. Without Landlock in the kernel it does nothing and says why.
#pragma once

#include "Error.h"

#include <QString>
#include <QStringList>

namespace CWConfinement {

// `grantedFolder` is an open handle of the folder (O_PATH is enough). True when the rules are in force;
// otherwise the error says why not (no Landlock in this kernel, or it refused the rules), with errno's code.
bool confineTo(int grantedFolder, const QStringList& readOnlyFolders, Error* error);

// The folders the program reads from the system besides the granted one.
QStringList systemFolders();
// What a sanitized build may still read: its own folder (reports are symbolised from the binary) and
// the files named in the sanitizers' options (their suppressions are read at exit). Nothing in a
// release build.
QStringList runtimeFolders();

} // namespace CWConfinement
