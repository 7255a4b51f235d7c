#pragma once

#include <QString>

// Escapes "&", "<" and ">" as entities and turns every LF or CR LF into "<br/>" (a lone
// CR stays). Quotes stay as they are: the result goes into element content, never into
// an attribute. Changes text and returns a copy of the result.
QString htmlEscapeText(QString& text);
