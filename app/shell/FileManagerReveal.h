// "Show File": selects a file (or a folder, in its parent) in the desktop's file manager through the
// org.freedesktop.FileManager1 D-Bus service; where no file manager offers it (or there is no session
// bus), the parent folder is opened with the desktop's default handler instead.
//
// Main thread. Asynchronous: the call returns at once; failures fall back and are not reported.
#pragma once

#include <QString>

namespace FileManagerReveal {
void showItem(const QString& path);
} // namespace FileManagerReveal
