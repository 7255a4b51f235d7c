#pragma once

#include <QString>

#include <stdexcept>

// The message boxes and the worker reports show markup: our own texts with their line
// breaks and links, and outside text escaped where it joins them. Most exceptions hold
// plain text (paths, names, what a phone or a tool said); the few that carry our own
// markup are a MarkupError.

// An error whose text is already markup: our own words, with any outside text in it
// escaped.
class MarkupError : public std::runtime_error
{
public:
    explicit MarkupError(const QString& markup);
};

// The text of e as markup: a MarkupError's as it is, any other exception's escaped.
QString errorMarkup(const std::exception& e);
