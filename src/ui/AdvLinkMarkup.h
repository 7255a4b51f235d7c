#pragma once

#include <QString>

// The one form of markup the status bar's link label shows: an anchor to an http or https
// address around plain text, drawn in the link colour. The label's markup is always
// built here from that address and that text; what the maker's server sent, or what a
// file holds, is never shown as it is, since rich text would load any image it names.

// The link built from the anchor that begins markup: "<a" in any case, attributes among
// which an http or https href, plain text (character references allowed) and "</a>".
// Whatever follows the anchor is left out. Empty when markup does not begin so.
QString advLinkMarkup(const QString& markup);
