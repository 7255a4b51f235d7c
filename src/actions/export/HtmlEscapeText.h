#pragma once

#include <QString>

// The text as HTML content: "&", "<" and ">" become entities and each line break (LF or
// CR LF) becomes "<br/>". Quotes stay, so the result belongs in element content, never in
// an attribute value; a lone CR stays too.
QString htmlEscapeText(const QString& text);
