// File names are bytes to the kernel, but the program carries them as text (QString, decoded as UTF-8).
// A name that does not survive that round trip would, once encoded again, name another file (invalid
// bytes become U+FFFD): such names are refused rather than carried. Plain functions; any thread.
#pragma once

#include <QByteArray>

namespace PathText {
// True when the bytes come back unchanged from text.
bool isExact(const QByteArray& name);
// The current folder's path when it cannot be carried exactly as text; empty when it can (or cannot be read).
QByteArray inexactCurrentFolder();
} // namespace PathText
