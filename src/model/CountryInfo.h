#pragma once

#include <QRegularExpression>
#include <QString>

// One country as the phone-number rules see it. Default-constructed, every text is
// empty: the "no country" that an unknown device code gives.
class _CountryInfo
{
public:
    QString sn;   // ISO 3166-1 two-letter code
    QString n;    // English name
    QString ln;   // name in the country's own language
    QString pnum; // calling code, digits without "+"
    QString mmc;  // mobile country codes, comma-separated
    QString numc; // accepted national-number lengths, comma-separated
    // "^" + the country's national-number expression + "$".
    QString nationalPattern;

    // Empty parts of numc count as 0, so an empty numc accepts length 0.
    bool acceptsLength(int length) const;
    // Whole-text match of nationalPattern; false when that is empty.
    bool matchesNationalPattern(const QString& text) const;
    // The id in "+" international form under this country, lower-cased when it is
    // an e-mail address or another name.
    QString canonicalizePhoneNumber(const QString& id) const;

private:
    // Compiled from nationalPattern on first use and again when that text changes.
    mutable QRegularExpression m_nationalExpression;
};
