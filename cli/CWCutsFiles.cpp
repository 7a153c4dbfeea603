#include "CWCutsFiles.h"

#include "CWCommandLineParser.h"

namespace {
bool fail(Error* error, const QString& message)
{
    setError(error, Error{QStringLiteral("CWCommandLineParser"), CWCommandLineParser::InvalidArguments, message, {}, {}});
    return false;
}
} // namespace

QStringList CWCutsFiles::paths() const
{
    QStringList paths;
    for (const auto& [file, place] : files_)
        paths << file.path();
    return paths;
}

void CWCutsFiles::useFiles(const std::vector<MediaSource>& files)
{
    for (size_t index = 0; index < files_.size() && index < files.size(); ++index)
        files_[index].first = files[index];
}

bool CWCutsFiles::load(std::vector<CWTimeOperation>& operations, Error* error, const std::atomic<bool>* stop)
{
    constexpr qint64 kMaximumBytes = 64 << 20;
    size_t total = 0; // every cut time given, on the command line and in the files
    for (const CWTimeOperation& operation : operations)
        total += operation.type() == CWTimeOperation::Cut ? 1 : 0;
    // In order; each file's place moves on by the times the files before it put in.
    size_t inserted = 0;
    for (const auto& [file, givenPlace] : files_) {
        const size_t place = givenPlace + inserted;
        // Through the descriptor the tool checked it with, when it holds one.
        Error reason;
        const QString& path = file.path();
        const std::optional<QByteArray> content = file.read(kMaximumBytes + 1, &reason);
        if (!content)
            return fail(error, QStringLiteral("Cannot read the cuts file \"%1\": %2.").arg(path, reason.message));
        if (content->size() > kMaximumBytes)
            return fail(error, QStringLiteral("The cuts file \"%1\" is larger than 64 MiB.").arg(path));
        if (CWCutList::formatOf(*content) != CWCutList::Format::Times) {
            lists_.push_back({*content, place, path});
            continue;
        }
        std::vector<CWTimeOperation> cuts;
        qsizetype line = 0;
        for (qsizetype at = 0; at < content->size(); ++line) {
            if (stop && (line & 0xffff) == 0 && stop->load())
                return fail(error, QStringLiteral("Export cancelled"));
            qsizetype next = content->indexOf('\n', at);
            if (next < 0)
                next = content->size();
            const QString text = QString::fromUtf8(content->constData() + at, next - at).trimmed();
            at = next + 1;
            if (text.isEmpty())
                continue;
            const CMTime time = CWCommandLineParser::parseTimeString(text);
            if (!CMTIME_IS_NUMERIC(time))
                return fail(error,
                            QStringLiteral("Invalid time \"%1\" on line %2 of the cuts file \"%3\".").arg(text).arg(line + 1).arg(path));
            if (++total > kMaximumCuts)
                return fail(error, QStringLiteral("The cuts file \"%1\" brings the cut times to more than %2, the most Clipwell takes "
                                                  "(line %3).")
                                       .arg(path)
                                       .arg(kMaximumCuts)
                                       .arg(line + 1));
            cuts.push_back(CWTimeOperation::cutAtTime(time));
        }
        operations.insert(operations.begin() + qsizetype(place), cuts.begin(), cuts.end());
        inserted += cuts.size();
    }
    files_.clear();
    return true;
}

bool CWCutsFiles::expandInto(std::vector<CWTimeOperation>& operations, const CWCutList::Source& source, Error* error) const
{
    // From the last list back, so that the places of the earlier ones stay where they were.
    for (auto list = lists_.rbegin(); list != lists_.rend(); ++list) {
        Error reason;
        const std::optional<std::vector<CWCutList::Edit>> edits = CWCutList::read(list->content, source, &reason);
        if (!edits)
            return fail(error, QStringLiteral("Cannot read the cuts file \"%1\": %2").arg(list->path, reason.message));
        std::vector<CWTimeOperation> added;
        for (const CWCutList::Edit& edit : *edits) {
            if (CMTimeCompare(edit.start, edit.stop) == 0) {
                added.push_back(CWTimeOperation::splitAtTime(edit.start));
            } else {
                added.push_back(CWTimeOperation::cutAtTime(edit.start));
                added.push_back(CWTimeOperation::cutAtTime(edit.stop));
            }
        }
        operations.insert(operations.begin() + qsizetype(std::min(list->place, operations.size())), added.begin(), added.end());
    }
    return true;
}
