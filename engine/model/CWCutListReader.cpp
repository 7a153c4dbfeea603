#include "CWCutList.h"

#include "CWTimecode.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace CWCutList {

namespace {

struct Line {
    int number; // from 1
    QString text;
};

struct Reading {
    const Source& source;
    Error* error;

    bool fail(const Line& line, ErrorCode code, const QString& why) const
    {
        setError(error, Error{kErrorDomain, code, QStringLiteral("Line %1: %2").arg(line.number).arg(why), {}, {}});
        return false;
    }
    // A time of the source: at most its end.
    bool within(const Line& line, CMTime time) const
    {
        if (CMTimeCompare(time, source.duration) <= 0)
            return true;
        return fail(line, OutsideTheSource,
                    QStringLiteral("%1 s lies beyond the end of the source (%2 s).")
                        .arg(CMTimeGetSeconds(time), 0, 'f', 3)
                        .arg(CMTimeGetSeconds(source.duration), 0, 'f', 3));
    }
};

// The pieces, sorted, must not overlap; then the edits that keep them.
std::optional<std::vector<Edit>> fromPieces(std::vector<std::pair<Edit, Line>> pieces, const Reading& reading)
{
    std::stable_sort(pieces.begin(), pieces.end(),
                     [](const auto& a, const auto& b) { return CMTimeCompare(a.first.start, b.first.start) < 0; });
    std::vector<Edit> kept;
    for (size_t index = 0; index < pieces.size(); ++index) {
        if (index > 0 && CMTimeCompare(pieces[index].first.start, pieces[index - 1].first.stop) < 0) {
            reading.fail(pieces[index].second, Overlapping, QStringLiteral("this piece overlaps another."));
            return std::nullopt;
        }
        kept.push_back(pieces[index].first);
    }
    return editsKeeping(kept, reading.source.duration);
}

// Edits in the order given, each after the one before.
std::optional<std::vector<Edit>> inOrder(const std::vector<std::pair<Edit, Line>>& edits, const Reading& reading)
{
    std::vector<Edit> result;
    for (const auto& [edit, line] : edits) {
        if (!result.empty() && CMTimeCompare(edit.start, result.back().stop) < 0) {
            reading.fail(line, Overlapping, QStringLiteral("this begins before the one above it ends; give them in order."));
            return std::nullopt;
        }
        result.push_back(edit);
    }
    return result;
}

std::optional<std::vector<Edit>> readTimes(const std::vector<Line>& lines, const Reading& reading)
{
    std::vector<std::pair<Edit, Line>> edits;
    for (const Line& line : lines) {
        const CMTime time = parseTime(line.text);
        if (!CMTIME_IS_NUMERIC(time)) {
            reading.fail(line, Unreadable, QStringLiteral("\"%1\" is no time.").arg(line.text));
            return std::nullopt;
        }
        if (!reading.within(line, time))
            return std::nullopt;
        // Times pair up: the first of a pair opens a cut, the second ends it.
        if (edits.empty() || CMTIME_IS_NUMERIC(edits.back().first.stop)) {
            edits.push_back({{time, kCMTimeInvalid}, line});
        } else if (CMTimeCompare(time, edits.back().first.start) < 0) {
            reading.fail(line, Unreadable, QStringLiteral("a cut cannot end before it begins."));
            return std::nullopt;
        } else {
            edits.back().first.stop = time;
        }
    }
    if (!edits.empty() && !CMTIME_IS_NUMERIC(edits.back().first.stop))
        edits.back().first.stop = reading.source.duration; // an open cut runs to the end
    return inOrder(edits, reading);
}

// One CSV row's fields; a field may be quoted ("a, b" or "say ""hi""").
QStringList csvFields(const QString& row)
{
    QStringList fields(QString{});
    bool quoted = false;
    for (qsizetype i = 0; i < row.size(); ++i) {
        const QChar c = row[i];
        if (quoted && c == QLatin1Char('"') && i + 1 < row.size() && row[i + 1] == QLatin1Char('"'))
            fields.last() += row[++i];
        else if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (c == QLatin1Char(',') && !quoted)
            fields << QString();
        else
            fields.last() += c;
    }
    return fields;
}

std::optional<std::vector<Edit>> readCsv(const std::vector<Line>& lines, const Reading& reading)
{
    const QStringList header = csvFields(lines.front().text);
    const QString first = header.value(0).trimmed().toLower();
    const bool kept = first == QLatin1String("kept_start");
    if (!kept && first != QLatin1String("cut_start")) {
        reading.fail(lines.front(), Unreadable,
                     QStringLiteral("the header must begin \"kept_start,kept_end\" or \"cut_start,cut_end\" to say what the rows are."));
        return std::nullopt;
    }
    std::vector<std::pair<Edit, Line>> rows;
    for (size_t index = 1; index < lines.size(); ++index) {
        const QStringList fields = csvFields(lines[index].text);
        const CMTime start = parseTime(fields.value(0)), stop = parseTime(fields.value(1));
        if (fields.size() < 2 || !CMTIME_IS_NUMERIC(start) || !CMTIME_IS_NUMERIC(stop)) {
            reading.fail(lines[index], Unreadable, QStringLiteral("a row is a start and an end in seconds, then an optional label."));
            return std::nullopt;
        }
        if (CMTimeCompare(stop, start) < 0 || (kept && CMTimeCompare(stop, start) == 0)) {
            reading.fail(lines[index], Unreadable, QStringLiteral("the end must come after the start."));
            return std::nullopt;
        }
        if (!reading.within(lines[index], stop))
            return std::nullopt;
        rows.push_back({{start, stop}, lines[index]});
    }
    return kept ? fromPieces(rows, reading) : inOrder(rows, reading);
}

std::optional<std::vector<Edit>> readEdl(const std::vector<Line>& lines, const Reading& reading)
{
    static const QRegularExpression event(
        QStringLiteral("^(\\d+)\\s+(\\S+)\\s+(\\S+)\\s+(\\S+)\\s+(?:(\\d+)\\s+)?(\\S+)\\s+(\\S+)\\s+(\\S+)\\s+(\\S+)\\s*$"));
    const CWTimecode timecode(reading.source.frameRate > 0 ? reading.source.frameRate : 25);
    std::vector<std::pair<Edit, Line>> pieces;
    for (const Line& line : lines) {
        if (line.text.startsWith(QLatin1Char('*')) || line.text.startsWith(QLatin1String("TITLE:")))
            continue;
        if (line.text.startsWith(QLatin1String("FCM:"))) {
            const bool drop = !line.text.contains(QLatin1String("NON-DROP")) && line.text.contains(QLatin1String("DROP"));
            if (drop != timecode.isDropFrame()) {
                reading.fail(line, Unreadable,
                             drop ? QStringLiteral("the list counts drop-frame timecode, which this source's rate does not use.")
                                  : QStringLiteral("the list counts non-drop-frame timecode, but this source's is drop-frame."));
                return std::nullopt;
            }
            continue;
        }
        const QRegularExpressionMatch match = event.match(line.text);
        if (!match.hasMatch()) {
            reading.fail(line, Unreadable, QStringLiteral("this is no event of a CMX 3600 list."));
            return std::nullopt;
        }
        if (match.captured(4) != QLatin1String("C")) {
            reading.fail(line, Unreadable, QStringLiteral("only cuts (C) can be read, not the transition \"%1\".").arg(match.captured(4)));
            return std::nullopt;
        }
        const std::optional<int64_t> in = timecode.frameOf(match.captured(6)), out = timecode.frameOf(match.captured(7));
        if (!in || !out || *out <= *in) {
            reading.fail(line, Unreadable,
                         QStringLiteral("the source in and out (\"%1\", \"%2\") are no timecodes of a piece at this source's rate.")
                             .arg(match.captured(6), match.captured(7)));
            return std::nullopt;
        }
        const Edit piece{timecode.timeOfFrame(*in), CMTimeMinimum(timecode.timeOfFrame(*out), reading.source.duration)};
        if (!reading.within(line, timecode.timeOfFrame(*in)))
            return std::nullopt;
        pieces.push_back({piece, line});
    }
    return fromPieces(pieces, reading);
}

const QRegularExpression& chapterLine()
{
    static const QRegularExpression form(QStringLiteral("^((?:\\d+:)?\\d{1,2}:\\d{2}(?:\\.\\d+)?)\\s+(\\S.*)$"));
    return form;
}

std::optional<std::vector<Edit>> readChapters(const std::vector<Line>& lines, const Reading& reading)
{
    std::vector<Edit> splits;
    CMTime previous = kCMTimeInvalid;
    for (const Line& line : lines) {
        const QRegularExpressionMatch match = chapterLine().match(line.text);
        const CMTime time = match.hasMatch() ? parseTime(match.captured(1)) : kCMTimeInvalid;
        if (!CMTIME_IS_NUMERIC(time)) {
            reading.fail(line, Unreadable, QStringLiteral("a chapter is a time and a title (\"1:30 Intro\")."));
            return std::nullopt;
        }
        if (CMTIME_IS_NUMERIC(previous) && CMTimeCompare(time, previous) <= 0) {
            reading.fail(line, Overlapping, QStringLiteral("the chapters must start one after another."));
            return std::nullopt;
        }
        if (!reading.within(line, time))
            return std::nullopt;
        previous = time;
        if (CMTimeCompare(time, kCMTimeZero) > 0 && CMTimeCompare(time, reading.source.duration) < 0)
            splits.push_back({time, time});
    }
    return splits;
}

std::vector<Line> linesOf(const QByteArray& list)
{
    std::vector<Line> lines;
    const QStringList texts = QString::fromUtf8(list).split(QLatin1Char('\n'));
    for (qsizetype index = 0; index < texts.size(); ++index) {
        const QString text = texts[index].trimmed();
        if (!text.isEmpty())
            lines.push_back({int(index + 1), text});
    }
    return lines;
}

} // namespace

CMTime parseTime(const QString& text, int32_t timescale)
{
    static const QRegularExpression decimal(QStringLiteral("^(\\d+(\\.\\d*)?|\\.\\d+)$"));
    static const QRegularExpression whole(QStringLiteral("^\\d+$"));
    const QStringList pieces = text.trimmed().split(QLatin1Char(':'));
    if (pieces.size() > 3 || !decimal.match(pieces.last()).hasMatch())
        return kCMTimeInvalid;
    double seconds = pieces.last().toDouble();
    if (pieces.size() > 1 && seconds >= 60)
        return kCMTimeInvalid;
    double scale = 60;
    for (qsizetype i = pieces.size() - 2; i >= 0; --i, scale *= 60) {
        if (!whole.match(pieces[i]).hasMatch() || (i > 0 && pieces[i].toDouble() >= 60))
            return kCMTimeInvalid;
        seconds += pieces[i].toDouble() * scale;
    }
    const CMTime time = std::isfinite(seconds) ? CMTimeMakeWithSeconds(seconds, timescale) : kCMTimeInvalid;
    return CMTIME_IS_NUMERIC(time) ? time : kCMTimeInvalid;
}

Format formatOf(const QByteArray& list)
{
    const std::vector<Line> lines = linesOf(list);
    if (lines.empty())
        return Format::Times;
    const QString& first = lines.front().text;
    static const QRegularExpression event(QStringLiteral("^\\d{3}\\s"));
    if (first.startsWith(QLatin1String("TITLE:")) || first.startsWith(QLatin1String("FCM:")) || event.match(first).hasMatch())
        return Format::Edl;
    if (first.contains(QLatin1Char(',')))
        return Format::Csv;
    if (chapterLine().match(first).hasMatch())
        return Format::Chapters;
    return Format::Times;
}

std::optional<std::vector<Edit>> read(const QByteArray& list, const Source& source, Error* error)
{
    const Reading reading{source, error};
    const std::vector<Line> lines = linesOf(list);
    if (lines.empty())
        return std::vector<Edit>();
    switch (formatOf(list)) {
    case Format::Edl:
        return readEdl(lines, reading);
    case Format::Csv:
        return readCsv(lines, reading);
    case Format::Chapters:
        return readChapters(lines, reading);
    case Format::Times:
        break;
    }
    return readTimes(lines, reading);
}

} // namespace CWCutList
