#include "ui/HtmlEscape.h"

#include <QRegularExpression>

QString htmlEscapeText(QString& text)
{
    static const QRegularExpression lineBreak(QStringLiteral("\\r?\\n"));
    text.replace(QLatin1Char('&'), QLatin1String("&amp;"));
    text.replace(QLatin1Char('<'), QLatin1String("&lt;"));
    text.replace(QLatin1Char('>'), QLatin1String("&gt;"));
    text.replace(lineBreak, QStringLiteral("<br/>"));
    return text;
}
