#pragma once

#include "model/AbsDb.h"
#include "model/CountryInfo.h"

#include <QString>

class Sqlite3Cursor;

// The country database "countries.db" in the data folder, copied once from the
// resource ":res/countries.db" and never updated afterwards.
class CountryLibDb : public AbsDb
{
public:
    // mcc: the device's mobile country code; it chooses the default country.
    explicit CountryLibDb(const QString& mcc);
    ~CountryLibDb() override = default;

    void initDb() override;

    // Empty when the device code names no country.
    const _CountryInfo& defaultCountry();
    // A copy of the default country, with found false, when the code is unknown.
    _CountryInfo countryByMcc(const QString& mcc, bool* found = nullptr);
    // The two-letter code in any letter case.
    _CountryInfo countryBySn(const QString& sn, bool* found = nullptr);

private:
    _CountryInfo firstCountryOrDefault(const Sqlite3Sql& query, bool* found);

    QString m_mcc;
    _CountryInfo m_defaultCountry;
};

// The country on the current row of a query over the countries table.
_CountryInfo readCountryInfo(const Sqlite3Cursor& cursor);
