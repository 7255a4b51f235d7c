#include "frame/ErrorMarkup.h"

MarkupError::MarkupError(const QString& markup)
    : std::runtime_error(markup.toStdString())
{
}

QString errorMarkup(const std::exception& e)
{
    const QString text = QString::fromUtf8(e.what());
    return dynamic_cast<const MarkupError*>(&e) ? text : text.toHtmlEscaped();
}
