#pragma once

#include <QString>

// Returns the replacement for one emoji; hexCode is its code point in upper-case
// hexadecimal without leading zeros ("E415", "1F604").
using EmojiCallback = QString (*)(void* userData, const QString& hexCode);

// Replaces every emoji of the text, stores the result back into `text` and returns it.
// First each single-unit emoji (U+E000..U+E537 and a set of symbols), then, over that
// result, each unit D83C or D83D with the unit after it, whatever that unit is. So a
// first-pass replacement holding a surrogate pair is replaced again; a lone D83C or
// D83D at the very end stays.
QString replaceEmoji(QString& text, EmojiCallback callback, void* userData);

// The callback's answer for one single-unit emoji.
QString emojiBmpMatch(char16_t unit, EmojiCallback callback, void* userData);
// The callback's answer for the code point the two units make by the UTF-16 rule;
// `second` is not checked to be a low surrogate.
QString emojiPairMatch(char16_t first, char16_t second, EmojiCallback callback, void* userData);

// An EmojiCallback that turns every emoji into "[EMOJI]".
QString emojiPlaceholder(void* userData, const QString& hexCode);
