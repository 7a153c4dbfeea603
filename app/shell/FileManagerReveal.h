// "Show File": selects a file (or a folder, in its parent) in the desktop's file manager through the
// org.freedesktop.FileManager1 D-Bus service; where no file manager offers it (or there is no session
// bus), the parent folder is opened with xdg-open instead.
//
// Main thread. Asynchronous: the call returns at once; when neither way shows anything (xdg-open is
// missing or fails), `failed` is called on the main thread with a sentence that says so.
#pragma once

#include <QString>

#include <functional>

namespace FileManagerReveal {
void showItem(const QString& path, std::function<void(const QString& message)> failed);
} // namespace FileManagerReveal
