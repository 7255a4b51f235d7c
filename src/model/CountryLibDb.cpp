#include "model/CountryLibDb.h"

#include "frame/DataFolder.h"
#include "frame/FullWrite.h"

#include <QFile>
#include <QSaveFile>

#include <stdexcept>

namespace {
constexpr char countriesResource[] = ":res/countries.db";
}

CountryLibDb::CountryLibDb(const QString& mcc) : m_mcc(mcc) {}

void CountryLibDb::initDb()
{
    if (isOpen())
        return;

    const QString path = appDataDir().filePath(QStringLiteral("countries.db"));
    if (!QFile::exists(path)) {
        QFile resource(QString::fromLatin1(countriesResource));
        if (!resource.open(QIODevice::ReadOnly))
            throw std::runtime_error("can not find :res/countries.db.");
        // A save file is written under another name and renamed when complete, so a copy
        // cut short (a full disk) leaves nothing under the final name.
        QSaveFile copy(path);
        if (!copy.open(QIODevice::WriteOnly) || !writeFully(copy, resource.readAll()) || !copy.commit())
            throw std::runtime_error(
                QStringLiteral("can not create %1. %2").arg(path, copy.errorString()).toStdString());
    }
    openThrow(path, ReadWrite);
    m_defaultCountry = countryByMcc(m_mcc);
}

const _CountryInfo& CountryLibDb::defaultCountry()
{
    initDb();
    return m_defaultCountry;
}

_CountryInfo CountryLibDb::countryByMcc(const QString& mcc, bool* found)
{
    Sqlite3Sql query("select c.* from mmc_sn as m inner join countries as c on m.[sn] = c.sn and m.mmc=?");
    query.addTextParam(mcc);
    return firstCountryOrDefault(query, found);
}

_CountryInfo CountryLibDb::countryBySn(const QString& sn, bool* found)
{
    Sqlite3Sql query("select * from countries where sn=?");
    query.addTextParam(sn.toUpper());
    return firstCountryOrDefault(query, found);
}

_CountryInfo CountryLibDb::firstCountryOrDefault(const Sqlite3Sql& query, bool* found)
{
    initDb();
    Sqlite3Cursor cursor = queryThrow(query);
    const bool hasRow = cursor.moveNext();
    if (found)
        *found = hasRow;
    return hasRow ? readCountryInfo(cursor) : m_defaultCountry;
}

_CountryInfo readCountryInfo(const Sqlite3Cursor& cursor)
{
    _CountryInfo country;
    country.sn = cursor.getText(QStringLiteral("sn"));
    country.ln = cursor.getText(QStringLiteral("ln"));
    country.mmc = cursor.getText(QStringLiteral("mmc"));
    country.n = cursor.getText(QStringLiteral("n"));
    country.numc = cursor.getText(QStringLiteral("numc"));
    country.pnum = cursor.getText(QStringLiteral("pnum"));
    country.nationalPattern = QLatin1Char('^') + cursor.getText(QStringLiteral("r1")) + QLatin1Char('$');
    return country;
}
