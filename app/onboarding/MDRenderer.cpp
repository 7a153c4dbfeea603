#include "MDRenderer.h"

#include <md4c-html.h>

QByteArray MDRenderer::render(const QString& markdown) { return MDRenderer().renderMarkdown(markdown); }

QByteArray MDRenderer::renderMarkdown(const QString& markdown)
{
    output_.clear();
    const QByteArray utf8 = markdown.toUtf8();
    md_html(
        utf8.constData(), MD_SIZE(utf8.size()),
        [](const MD_CHAR* bytes, MD_SIZE size, void* renderer) { static_cast<MDRenderer*>(renderer)->appendOutput(bytes, size); }, this, 0,
        0);
    return output_;
}
