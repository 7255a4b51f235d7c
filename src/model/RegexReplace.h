#pragma once

#include <QRegularExpression>
#include <QString>

// Returns the replacement for one match; read its captures from `match`.
using RegexMatchCallback = QString (*)(void* context, const QRegularExpressionMatch& match);

// The text with every match of rx replaced by what the callback returns for it.
// Matches do not overlap; after an empty match the search moves on by one character.
QString regexReplaceWithCallback(const QString& text, const QRegularExpression& rx, RegexMatchCallback callback,
                                 void* context);
