// One step of the introduction, read from a step file: a JSON object at the very start (its end found
// by counting braces, those inside strings too), one character skipped, then Markdown. "control" names
// the widget the step points at (its object name), "type" "toolbar" marks a toolbar item. The Markdown
// becomes rich text (HTML) in the application font's family at each run's own size.
//
// Any thread; a plain value once made. A file that cannot be read as UTF-8, has no JSON object or a
// malformed one yields no step.
#pragma once

#include <QString>

#include <memory>
#include <utility>

class CWIntroductionStep {
public:
    static std::shared_ptr<CWIntroductionStep> fromFile(const QString& path);
    // (start, length) of the JSON object at the start of the text; (0, 0) when no brace closes depth 1.
    static std::pair<qsizetype, qsizetype> jsonRangeInMarkdown(const QString& text);

    const QString& richDescription() const { return richDescription_; }
    const QString& controlIdentifier() const { return controlIdentifier_; }
    const QString& type() const { return type_; }
    bool isToolbarItem() const { return type_ == QLatin1String("toolbar"); }

private:
    QString richDescription_;
    QString controlIdentifier_;
    QString type_;
};
