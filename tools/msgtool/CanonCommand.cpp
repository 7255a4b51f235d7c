#include "Command.h"

#include "model/CountryLibDb.h"

#include <QJsonObject>
#include <QRegularExpression>

namespace {

// CC is a two-letter code or a mobile country code. An unknown one leaves the empty
// country, as an unknown device code does; "country" is then null.
QJsonValue canon(const QStringList& args)
{
    if (args.size() != 2)
        throw UsageError("expected a country and a number");
    const QString& code = args[0];
    const QString& number = args[1];

    static const QRegularExpression mobileCountryCode(QStringLiteral("^[0-9]{3}$"));
    const bool isMobileCountryCode = mobileCountryCode.match(code).hasMatch();
    CountryLibDb countries(isMobileCountryCode ? code : QString());
    const _CountryInfo country = isMobileCountryCode ? countries.defaultCountry() : countries.countryBySn(code);
    return QJsonObject{{"canonical", country.canonicalizePhoneNumber(number)},
                       {"country", country.sn.isEmpty() ? QJsonValue() : QJsonValue(country.sn)}};
}

} // namespace

MSGTOOL_COMMAND("canon", "CC NUMBER", canon);
