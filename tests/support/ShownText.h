#pragma once

// What a label, a message box or a tool tip shows for a text in a given format: the text
// itself when it is read as plain text, else the plain text of the document the markup
// makes, in which an image is one object character and its tag is gone.

#include <QString>
#include <QTextDocument>

inline QString shownText(const QString& text, Qt::TextFormat format)
{
    if (format == Qt::PlainText || (format == Qt::AutoText && !Qt::mightBeRichText(text)))
        return text;
    QTextDocument document;
    document.setHtml(text);
    return document.toPlainText();
}
