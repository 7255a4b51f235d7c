#include "actions/export/HtmlEscapeText.h"

QString htmlEscapeText(const QString& text)
{
    QString html;
    html.reserve(text.size() + text.size() / 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('&'))
            html += QLatin1String("&amp;");
        else if (c == QLatin1Char('<'))
            html += QLatin1String("&lt;");
        else if (c == QLatin1Char('>'))
            html += QLatin1String("&gt;");
        else if (c == QLatin1Char('\n'))
            html += QLatin1String("<br/>");
        else if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
            continue; // the LF that follows writes the line break
        else
            html += c;
    }
    return html;
}
