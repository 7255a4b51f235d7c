#include "model/EmojiFinder.h"

#include <algorithm>
#include <iterator>

// A hand-written scan over UTF-16 units: a regular expression cannot name lone
// surrogates, and one lone surrogate in a text makes PCRE2 match nothing in it.

namespace {

constexpr char16_t privateUseFirst = 0xE000;
constexpr char16_t privateUseLast = 0xE537;
constexpr char16_t symbolEmoji[] = {
    0x203C, 0x2049, 0x2139, 0x2194, 0x2195, 0x21A9, 0x21AA, 0x231A, 0x231B, 0x23EB, 0x23EC,
    0x23F0, 0x23F3, 0x24C2, 0x25AA, 0x25AB, 0x25FB, 0x25FC, 0x25FD, 0x25FE, 0x2611, 0x267B,
    0x2693, 0x26AA, 0x26AB, 0x26C5, 0x26D4, 0x2705, 0x2709, 0x270F, 0x2712, 0x2714, 0x2744,
    0x2747, 0x274E, 0x2795, 0x2796, 0x2797, 0x27B0, 0x2934, 0x2935, 0x2B1B, 0x2B1C, 0x3030,
};

bool isSingleUnitEmoji(char16_t unit)
{
    if (unit >= privateUseFirst && unit <= privateUseLast)
        return true;
    return std::binary_search(std::begin(symbolEmoji), std::end(symbolEmoji), unit);
}

bool startsPairEmoji(char16_t unit)
{
    return unit == 0xD83C || unit == 0xD83D;
}

QString hexCode(char32_t codePoint)
{
    return QString::number(quint32(codePoint), 16).toUpper();
}

} // namespace

QString emojiBmpMatch(char16_t unit, EmojiCallback callback, void* userData)
{
    return callback(userData, hexCode(unit));
}

QString emojiPairMatch(char16_t first, char16_t second, EmojiCallback callback, void* userData)
{
    const quint16 high = quint16(first - 0xD800);
    const quint16 low = quint16(second - 0xDC00);
    return callback(userData, hexCode(((char32_t(high) << 10) | low) + 0x10000));
}

QString replaceEmoji(QString& text, EmojiCallback callback, void* userData)
{
    QString singlesReplaced;
    for (QChar c : std::as_const(text)) {
        if (isSingleUnitEmoji(c.unicode()))
            singlesReplaced += emojiBmpMatch(c.unicode(), callback, userData);
        else
            singlesReplaced += c;
    }

    QString result;
    for (qsizetype i = 0; i < singlesReplaced.size(); ++i) {
        const char16_t unit = singlesReplaced.at(i).unicode();
        if (startsPairEmoji(unit) && i + 1 < singlesReplaced.size()) {
            result += emojiPairMatch(unit, singlesReplaced.at(i + 1).unicode(), callback, userData);
            ++i;
        } else {
            result += QChar(unit);
        }
    }
    text = result;
    return result;
}

QString emojiPlaceholder(void*, const QString&)
{
    return QStringLiteral("[EMOJI]");
}
