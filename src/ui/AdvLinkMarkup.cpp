#include "ui/AdvLinkMarkup.h"

#include "ui/MakerServerReplies.h"

#include <QHash>
#include <QUrl>

#include <optional>

namespace {

struct Anchor
{
    QString href;
    QString text;
};

// The character a reference stands for, or nothing when it is none we know; then it
// stays as written and shows as such.
std::optional<QString> referencedCharacters(QStringView name)
{
    static const QHash<QString, QString> named{
        {QStringLiteral("amp"), QStringLiteral("&")},  {QStringLiteral("lt"), QStringLiteral("<")},
        {QStringLiteral("gt"), QStringLiteral(">")},   {QStringLiteral("quot"), QStringLiteral("\"")},
        {QStringLiteral("apos"), QStringLiteral("'")}, {QStringLiteral("nbsp"), QString(QChar::Nbsp)}};
    if (!name.startsWith(u'#')) {
        const auto found = named.constFind(name.toString());
        return found == named.constEnd() ? std::nullopt : std::optional<QString>(*found);
    }
    const bool hex = name.size() > 1 && (name[1] == u'x' || name[1] == u'X');
    bool ok = false;
    const uint code = name.mid(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
    if (!ok || code == 0 || code > 0x10FFFF || QChar::isSurrogate(code))
        return std::nullopt;
    const char32_t character = code;
    return QString::fromUcs4(&character, 1);
}

QString decodedReferences(QStringView text)
{
    QString decoded;
    qsizetype from = 0;
    while (from < text.size()) {
        const qsizetype amp = text.indexOf(u'&', from);
        const qsizetype semicolon = amp < 0 ? -1 : text.indexOf(u';', amp);
        const std::optional<QString> character =
            semicolon < 0 ? std::nullopt : referencedCharacters(text.mid(amp + 1, semicolon - amp - 1));
        if (!character) {
            const qsizetype end = amp < 0 ? text.size() : amp + 1;
            decoded += text.mid(from, end - from);
            from = end;
            continue;
        }
        decoded += text.mid(from, amp - from);
        decoded += *character;
        from = semicolon + 1;
    }
    return decoded;
}

class AnchorReader
{
public:
    explicit AnchorReader(QStringView markup)
        : markup(markup)
    {
    }

    std::optional<Anchor> read()
    {
        if (!markup.startsWith(QLatin1String("<a"), Qt::CaseInsensitive))
            return std::nullopt;
        pos = 2;
        if (pos < markup.size() && !markup[pos].isSpace() && markup[pos] != u'>')
            return std::nullopt; // another tag, such as <abbr>
        std::optional<QString> href;
        for (;;) {
            skipSpace();
            if (pos >= markup.size())
                return std::nullopt;
            if (markup[pos] == u'>') {
                ++pos;
                break;
            }
            std::optional<std::pair<QString, QString>> attribute = readAttribute();
            if (!attribute)
                return std::nullopt;
            // As in HTML, the first of two attributes of one name counts.
            if (attribute->first == QLatin1String("href") && !href)
                href = attribute->second;
        }
        const qsizetype textEnd = markup.indexOf(u'<', pos);
        if (!href || textEnd < 0 || !isEndTag(textEnd))
            return std::nullopt;
        return Anchor{decodedReferences(*href).trimmed(), decodedReferences(markup.mid(pos, textEnd - pos))};
    }

private:
    void skipSpace()
    {
        while (pos < markup.size() && markup[pos].isSpace())
            ++pos;
    }

    static bool endsName(QChar c) { return c.isSpace() || QStringView(u"=>/\"'<").contains(c); }

    std::optional<std::pair<QString, QString>> readAttribute()
    {
        const qsizetype nameStart = pos;
        while (pos < markup.size() && !endsName(markup[pos]))
            ++pos;
        if (pos == nameStart)
            return std::nullopt;
        const QString name = markup.mid(nameStart, pos - nameStart).toString().toLower();
        skipSpace();
        if (pos >= markup.size() || markup[pos] != u'=')
            return std::pair(name, QString());
        ++pos;
        skipSpace();
        if (pos >= markup.size())
            return std::nullopt;
        const QChar quote = markup[pos];
        if (quote == u'"' || quote == u'\'') {
            const qsizetype close = markup.indexOf(quote, pos + 1);
            if (close < 0)
                return std::nullopt;
            const QString value = markup.mid(pos + 1, close - pos - 1).toString();
            pos = close + 1;
            return std::pair(name, value);
        }
        const qsizetype valueStart = pos;
        while (pos < markup.size() && !markup[pos].isSpace() && markup[pos] != u'>')
            ++pos;
        return std::pair(name, markup.mid(valueStart, pos - valueStart).toString());
    }

    // "</a>", any case, blanks allowed before the ">".
    bool isEndTag(qsizetype at) const
    {
        if (!markup.mid(at).startsWith(QLatin1String("</a"), Qt::CaseInsensitive))
            return false;
        qsizetype end = at + 3;
        while (end < markup.size() && markup[end].isSpace())
            ++end;
        return end < markup.size() && markup[end] == u'>';
    }

    QStringView markup;
    qsizetype pos = 0;
};

} // namespace

QString advLinkMarkup(const QString& markup)
{
    const std::optional<Anchor> anchor = AnchorReader(markup).read();
    if (!anchor)
        return {};
    const QUrl url(anchor->href, QUrl::StrictMode);
    if (!isWebUrl(url))
        return {};
    // One arg() call for both, so that a "%1" in the text is not filled in again.
    return QStringLiteral("<a style=\"color:#2762DA;text-decoration:none;\" href=\"%1\">%2</a>")
        .arg(url.toString(QUrl::FullyEncoded).toHtmlEscaped(), anchor->text.toHtmlEscaped());
}
