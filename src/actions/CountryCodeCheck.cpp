#include "actions/CountryCodeCheck.h"

#include "model/CountryLibDb.h"

#include <QDebug>

#include <exception>

bool isCountryCodeKnown(const QString& mcc)
{
    if (mcc.isEmpty())
        return false;
    try {
        bool found = false;
        CountryLibDb(QString()).countryByMcc(mcc, &found);
        return found;
    } catch (const std::exception& e) {
        qWarning("Country code %s not looked up: %s", qUtf8Printable(mcc), e.what());
        return true;
    }
}
