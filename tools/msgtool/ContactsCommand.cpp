#include "Command.h"

#include "model/CountryLibDb.h"
#include "model/IOSContactsMemDb.h"

#include <QJsonObject>
#include <QRegularExpression>

namespace {

// The device's mobile country code for CC, a mobile country code or a two-letter code
// (its first code); empty, meaning no country, when CC names none.
QString mobileCountryCode(const QString& code)
{
    static const QRegularExpression threeDigits(QStringLiteral("^[0-9]{3}$"));
    if (threeDigits.match(code).hasMatch())
        return code;
    return CountryLibDb(QString()).countryBySn(code).mmc.section(QLatin1Char(','), 0, 0);
}

// Each NUMBER is put into international form under the country, then looked up.
QJsonValue contacts(const QStringList& args)
{
    if (args.size() < 4 || args[1] != QLatin1String("--country"))
        throw UsageError("expected a folder, --country and at least one number");
    const QString mcc = mobileCountryCode(args[2]);
    // Braces: with parentheses, QDir(args[0]) reads like the declaration of a parameter
    // named args, and the line one edit away from declaring a function.
    CountryLibDb countries{mcc};
    IOSContactsMemDb contactsDb{QDir(args[0]), mcc};
    QJsonObject names;
    for (const QString& number : args.mid(3)) {
        const QString canonical = countries.defaultCountry().canonicalizePhoneNumber(number);
        names.insert(number, contactsDb.findContactByNumber(canonical).displayName());
    }
    return names;
}

} // namespace

MSGTOOL_COMMAND("contacts", "FOLDER --country CC NUMBER...", contacts);
