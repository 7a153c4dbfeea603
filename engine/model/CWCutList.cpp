#include "CWCutList.h"

#include "CWTimecode.h"

#include <QFileInfo>

namespace CWCutList {

namespace {

QString seconds(CMTime time, int decimals) { return QString::number(CMTimeGetSeconds(time), 'f', decimals); }

// "1:02:03" or "2:03", as descriptions of videos give chapter starts.
QString chapterTime(CMTime time)
{
    const int64_t whole = int64_t(CMTimeGetSeconds(time));
    const QString minutesAndSeconds = QStringLiteral("%1:%2").arg(whole / 60 % 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
    return whole >= 3600 ? QStringLiteral("%1:%2").arg(whole / 3600).arg(whole / 60 % 60, 2, 10, QLatin1Char('0')) +
                               minutesAndSeconds.mid(minutesAndSeconds.indexOf(QLatin1Char(':')))
                         : minutesAndSeconds;
}

QByteArray edl(const std::vector<Edit>& pieces, const Source& source)
{
    const CWTimecode timecode(source.frameRate > 0 ? source.frameRate : 25);
    const QString title = QFileInfo(source.fileName).completeBaseName();
    QString text = QStringLiteral("TITLE: %1\nFCM: %2\n\n")
                       .arg(title, timecode.isDropFrame() ? QStringLiteral("DROP FRAME") : QStringLiteral("NON-DROP FRAME"));
    int64_t record = 0;
    int event = 0;
    for (const Edit& piece : pieces) {
        const int64_t in = timecode.frameAt(piece.start), out = timecode.frameAt(piece.stop);
        if (out <= in)
            continue; // shorter than a frame at this rate
        text += QStringLiteral("%1  %2 %3 %4 %5 %6 %7 %8\n* FROM CLIP NAME: %9\n\n")
                    .arg(++event, 3, 10, QLatin1Char('0'))
                    .arg(QStringLiteral("AX"), -8)
                    .arg(source.frameRate > 0 ? QStringLiteral("V") : QStringLiteral("A"), -5)
                    .arg(QStringLiteral("C"), -8)
                    .arg(timecode.text(in), timecode.text(out), timecode.text(record), timecode.text(record + out - in), source.fileName);
        record += out - in;
    }
    return text.toUtf8();
}

} // namespace

Format formatForName(const QString& fileName)
{
    const QString name = fileName.toLower();
    if (name.endsWith(QLatin1String(".csv")))
        return Format::Csv;
    if (name.endsWith(QLatin1String(".edl")))
        return Format::Edl;
    if (name.endsWith(QLatin1String(".chapters.txt")) || name.endsWith(QLatin1String(".chapters")))
        return Format::Chapters;
    return Format::Times;
}

std::vector<Edit> keptPieces(const std::vector<Edit>& edits, CMTime duration)
{
    std::vector<Edit> pieces;
    CMTime from = kCMTimeZero;
    for (const Edit& edit : edits) {
        if (CMTimeCompare(edit.start, from) > 0)
            pieces.push_back({from, edit.start});
        from = CMTimeMaximum(from, edit.stop);
    }
    if (CMTimeCompare(from, duration) < 0)
        pieces.push_back({from, duration});
    return pieces;
}

std::vector<Edit> editsKeeping(const std::vector<Edit>& pieces, CMTime duration)
{
    std::vector<Edit> edits;
    CMTime from = kCMTimeZero;
    for (const Edit& piece : pieces) {
        if (CMTimeCompare(piece.start, from) > 0)
            edits.push_back({from, piece.start});
        else if (CMTimeCompare(piece.start, kCMTimeZero) > 0)
            edits.push_back({piece.start, piece.start}); // touching pieces divide there
        from = piece.stop;
    }
    if (CMTimeCompare(from, duration) < 0)
        edits.push_back({from, duration});
    return edits;
}

QByteArray write(Format format, const std::vector<Edit>& edits, const Source& source)
{
    const std::vector<Edit> pieces = keptPieces(edits, source.duration);
    QString text;
    switch (format) {
    case Format::Times:
        for (const Edit& edit : edits)
            text += seconds(edit.start, 3) + QLatin1Char('\n') + seconds(edit.stop, 3) + QLatin1Char('\n');
        break;
    case Format::Csv:
        text = QStringLiteral("kept_start,kept_end,label\n");
        for (size_t index = 0; index < pieces.size(); ++index)
            text += QStringLiteral("%1,%2,Part %3\n").arg(seconds(pieces[index].start, 6), seconds(pieces[index].stop, 6)).arg(index + 1);
        break;
    case Format::Edl:
        return edl(pieces, source);
    case Format::Chapters: {
        CMTime output = kCMTimeZero; // where each piece starts in the exported file
        for (size_t index = 0; index < pieces.size(); ++index) {
            text += QStringLiteral("%1 Part %2\n").arg(chapterTime(output)).arg(index + 1);
            output = CMTimeAdd(output, CMTimeSubtract(pieces[index].stop, pieces[index].start));
        }
        break;
    }
    }
    return text.toUtf8();
}

} // namespace CWCutList
