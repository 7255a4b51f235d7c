#include "model/CountryInfo.h"

#include <QStringList>

bool _CountryInfo::acceptsLength(int length) const
{
    const QStringList parts = numc.split(QLatin1Char(','));
    for (const QString& part : parts) {
        if (part.toInt() == length)
            return true;
    }
    return false;
}

bool _CountryInfo::matchesNationalPattern(const QString& text) const
{
    if (nationalPattern.isEmpty())
        return false;
    // The public patterns alternate at the top level ("a|b"), which "^" and "$" alone
    // anchor only at the outer ends; \A(?:...)\z holds every alternative to the whole text.
    const QString anchored = QRegularExpression::anchoredPattern(nationalPattern);
    if (m_nationalExpression.pattern() != anchored)
        m_nationalExpression.setPattern(anchored);
    return m_nationalExpression.match(text).hasMatch();
}

QString _CountryInfo::canonicalizePhoneNumber(const QString& id) const
{
    static const QRegularExpression nameCharacter(QStringLiteral("[a-zA-Z@]"));
    static const QRegularExpression notDialled(QStringLiteral("[^0-9+]"));

    if (id.contains(nameCharacter))
        return id.toLower();

    QString number = id;
    number.remove(notDialled);
    // An id of no digits stays empty, and without a calling code there is nothing to
    // prefix: "+" alone would merge every such handle into one correspondent.
    if (number.isEmpty() || number.contains(QLatin1Char('+')) || pnum.isEmpty())
        return number;

    const int length = int(number.size());
    if (acceptsLength(length) && matchesNationalPattern(number))
        return QLatin1Char('+') + pnum + number;

    if (number.startsWith(QLatin1Char('0'))) {
        const QString withoutTrunk = number.mid(1);
        if (acceptsLength(length - 1) && matchesNationalPattern(withoutTrunk))
            return QLatin1Char('+') + pnum + withoutTrunk;
    }

    if (number.startsWith(pnum) && acceptsLength(length - int(pnum.size())))
        return QLatin1Char('+') + number;

    return number;
}
