// Process-wide debug switch and the tagged debug log ("DEBUG <tag>: <message>"). The switch starts off;
// the command-line tool turns it on for --debug / --verbose, the application never does. Any thread.
#pragma once

#include <QString>

class CWUtility {
public:
    static void setDebugEnabled(bool enabled);
    static bool isDebugEnabled();
    // Writes one log line when the switch is on; does nothing otherwise.
    static void debugLog(const QString& tag, const QString& message);
};
