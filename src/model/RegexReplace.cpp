#include "model/RegexReplace.h"

#include <QRegularExpressionMatchIterator>

QString regexReplaceWithCallback(const QString& text, const QRegularExpression& rx, RegexMatchCallback callback,
                                 void* context)
{
    QString result;
    qsizetype position = 0;
    QRegularExpressionMatchIterator matches = rx.globalMatch(text);
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        result += QStringView(text).mid(position, match.capturedStart() - position);
        result += callback(context, match);
        position = match.capturedEnd();
    }
    result += QStringView(text).mid(position);
    return result;
}
