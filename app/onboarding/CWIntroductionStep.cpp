#include "CWIntroductionStep.h"

#include "MDRenderer.h"

#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>
#include <QTextCursor>
#include <QTextDocument>

std::pair<qsizetype, qsizetype> CWIntroductionStep::jsonRangeInMarkdown(const QString& text)
{
    int depth = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('{')) {
            ++depth;
        } else if (text[i] == QLatin1Char('}')) {
            if (depth == 1)
                return {0, i + 1};
            --depth;
        }
    }
    return {0, 0};
}

std::shared_ptr<CWIntroductionStep> CWIntroductionStep::fromFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(file.readAll());
    if (utf8.hasError())
        return nullptr;
    const auto [start, length] = jsonRangeInMarkdown(text);
    QJsonParseError parsed;
    const QJsonDocument json = QJsonDocument::fromJson(text.mid(start, length).toUtf8(), &parsed);
    if (length == 0 || parsed.error != QJsonParseError::NoError || !json.isObject())
        return nullptr;
    const QString markdown = text.mid(length + 1);

    // The rendered HTML in the application font's family, each run keeping its own size.
    QTextDocument document;
    document.setHtml(QString::fromUtf8(MDRenderer::render(markdown)));
    // Merging sets the family alone: every run keeps its own size, weight and style.
    QTextCursor everything(&document);
    everything.select(QTextCursor::Document);
    QTextCharFormat family;
    family.setFontFamilies({QGuiApplication::font().family()});
    everything.mergeCharFormat(family);
    auto step = std::make_shared<CWIntroductionStep>();
    step->richDescription_ = document.toHtml();
    step->controlIdentifier_ = json.object().value(QStringLiteral("control")).toString();
    step->type_ = json.object().value(QStringLiteral("type")).toString();
    return step;
}
