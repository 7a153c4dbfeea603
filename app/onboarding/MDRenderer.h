// Markdown to HTML through md4c's HTML renderer: plain CommonMark (no extensions), the output collected
// as UTF-8 bytes. md4c's result code is not looked at; what it wrote is the result. Any thread.
#pragma once

#include <QByteArray>
#include <QString>

class MDRenderer {
public:
    static QByteArray render(const QString& markdown);
    QByteArray renderMarkdown(const QString& markdown);
    void appendOutput(const char* bytes, unsigned size) { output_.append(bytes, qsizetype(size)); }

private:
    QByteArray output_;
};
