#include "model/CountryLibDb.h"

#include "frame/DataFolder.h"
#include "support/Cli.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

class TestCountryLibDb : public QObject
{
    Q_OBJECT

    QString m_path;

private slots:
    void initTestCase() { m_path = appDataDir().filePath(QStringLiteral("countries.db")); }
    void init() { QFile::remove(m_path); }

    void firstUseCopiesTheWholeTableOnce()
    {
        CountryLibDb countries(QStringLiteral("234"));
        QVERIFY(!QFile::exists(m_path));
        QCOMPARE(countries.defaultCountry().sn, QStringLiteral("GB"));
        QVERIFY(QFile::permissions(m_path) & QFileDevice::WriteOwner);
        QCOMPARE(sqliteCli(m_path, "select count(*), count(distinct sn) from countries;"
                                   "select count(*) from mmc_sn;"
                                   "select count(*) from mmc_sn where sn not in (select sn from countries);"
                                   "select count(*) from countries where sn not in (select sn from mmc_sn);"
                                   "select count(*) from countries where n = '' or pnum = '' or numc = '';"),
                 QByteArray("242|242\n235\n0\n18\n0"));
    }

    void existingFileIsUsedUnchanged()
    {
        QCOMPARE(sqliteCli(m_path, "create table countries(sn, ln, pnum, mmc, numc, r1, n);"
                                   "create table mmc_sn(mmc, sn);"
                                   "insert into countries values('ZZ', '', '99', '123', '4', '', 'Nowhere');"
                                   "insert into mmc_sn values('123', 'ZZ');"),
                 QByteArray());
        CountryLibDb countries(QStringLiteral("123"));
        QCOMPARE(countries.defaultCountry().n, QStringLiteral("Nowhere"));
        bool found = true;
        countries.countryBySn(QStringLiteral("GB"), &found);
        QVERIFY(!found);
    }

    void tellingRowsAreExact_data()
    {
        QTest::addColumn<QString>("sn");
        QTest::addColumn<QString>("pnum");
        QTest::addColumn<QString>("mmc");
        QTest::addColumn<QString>("numc");
        QTest::newRow("GB") << "GB" << "44" << "234,235" << "10";
        QTest::newRow("US") << "US" << "1" << "310,311,312,313,314,315,316" << "10";
        QTest::newRow("DE") << "DE" << "49" << "262" << "7,8,9,10,11,12";
        QTest::newRow("IT") << "IT" << "39" << "222" << "9,10";
        QTest::newRow("IN") << "IN" << "91" << "404,405" << "10";
        QTest::newRow("RU") << "RU" << "7" << "250" << "10";
    }
    void tellingRowsAreExact()
    {
        QFETCH(QString, sn);
        QFETCH(QString, pnum);
        QFETCH(QString, mmc);
        QFETCH(QString, numc);
        CountryLibDb countries(QString{});
        bool found = false;
        const _CountryInfo c = countries.countryBySn(sn, &found);
        QVERIFY(found);
        QCOMPARE(c.sn, sn);
        QCOMPARE(c.pnum, pnum);
        QCOMPARE(c.mmc, mmc);
        QCOMPARE(c.numc, numc);
        QCOMPARE(countries.countryByMcc(mmc.section(QLatin1Char(','), -1)).sn, sn);
    }

    void nationalPatternsOfTellingRows()
    {
        CountryLibDb countries(QString{});
        QCOMPARE(countries.countryBySn(QStringLiteral("IN")).nationalPattern, QStringLiteral(R"(^[789]\d{9}$)"));
        QCOMPARE(countries.countryBySn(QStringLiteral("RU")).nationalPattern, QStringLiteral(R"(^9\d{9}$)"));
        const _CountryInfo italy = countries.countryBySn(QStringLiteral("IT"));
        QVERIFY(italy.matchesNationalPattern(QStringLiteral("3123456789")));
        QVERIFY(!italy.matchesNationalPattern(QStringLiteral("0612345678")));
    }

    void everyMobileCountryCodeResolves()
    {
        CountryLibDb countries(QString{});
        countries.initDb();
        Sqlite3Cursor codes = countries.queryThrow("select mmc, sn from mmc_sn");
        int rows = 0;
        while (codes.moveNext()) {
            bool found = false;
            const _CountryInfo c = countries.countryByMcc(codes.getText("mmc"), &found);
            QVERIFY2(found && c.sn == codes.getText("sn"), qPrintable(codes.getText("mmc")));
            ++rows;
        }
        QCOMPARE(rows, 235);
    }

    void lookupsThatFindNothingGiveTheDefault()
    {
        CountryLibDb countries(QStringLiteral("262"));
        bool found = false;
        QCOMPARE(countries.countryBySn(QStringLiteral("gb"), &found).sn, QStringLiteral("GB"));
        QVERIFY(found);
        QCOMPARE(countries.countryBySn(QStringLiteral("ZZ"), &found).sn, QStringLiteral("DE"));
        QVERIFY(!found);
        QCOMPARE(countries.countryByMcc(QStringLiteral("001"), &found).sn, QStringLiteral("DE"));
        QVERIFY(!found);

        CountryLibDb unknownDevice(QStringLiteral("001"));
        QCOMPARE(unknownDevice.defaultCountry().sn, QString());
        QCOMPARE(unknownDevice.defaultCountry().canonicalizePhoneNumber(QStringLiteral("07400 123456")),
                 QStringLiteral("07400123456"));
    }

    // Mobile numbers in the spellings people type; the results are the E.164 forms that
    // the public numbering library gives for the same numbers.
    void canonicalizeRealNumbers_data()
    {
        QTest::addColumn<QString>("sn");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("canonical");
        QTest::newRow("GB with trunk zero") << "GB" << "07400 123456" << "+447400123456";
        QTest::newRow("GB national digits") << "GB" << "7400123456" << "+447400123456";
        QTest::newRow("GB calling code, pattern not met") << "GB" << "440000000000" << "+440000000000";
        QTest::newRow("GB typed international") << "GB" << "+44 (0) 7400-123 456" << "+4407400123456";
        QTest::newRow("GB e-mail") << "GB" << "Foo@Example.COM" << "foo@example.com";
        QTest::newRow("GB short code") << "GB" << "12345" << "12345";
        QTest::newRow("IT mobile") << "IT" << "312 345 6789" << "+393123456789";
        QTest::newRow("IT mobile with a zero") << "IT" << "0312 345 6789" << "+393123456789";
        QTest::newRow("US with trunk one") << "US" << "1 (201) 555-0123" << "+12015550123";
        QTest::newRow("FR") << "FR" << "06 12 34 56 78" << "+33612345678";
        QTest::newRow("JP") << "JP" << "090-1234-5678" << "+819012345678";
        QTest::newRow("BR") << "BR" << "(11) 96123-4567" << "+5511961234567";
        QTest::newRow("CN") << "CN" << "131 2345 6789" << "+8613123456789";
        QTest::newRow("AU") << "AU" << "0412 345 678" << "+61412345678";
        QTest::newRow("DE") << "DE" << "01512 3456789" << "+4915123456789";
        QTest::newRow("IN") << "IN" << "081234 56789" << "+918123456789";
    }
    void canonicalizeRealNumbers()
    {
        QFETCH(QString, sn);
        QFETCH(QString, id);
        QFETCH(QString, canonical);
        CountryLibDb countries(QString{});
        QCOMPARE(countries.countryBySn(sn).canonicalizePhoneNumber(id), canonical);
    }

    void msgtoolCanon_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("mobile country code")
            << "234" << "07400 123456" << QByteArray(R"({"canonical":"+447400123456","country":"GB"})");
        QTest::newRow("two-letter code") << "it" << "3123456789"
                                         << QByteArray(R"({"canonical":"+393123456789","country":"IT"})");
        QTest::newRow("unknown code") << "001" << "07400 123456"
                                      << QByteArray(R"({"canonical":"07400123456","country":null})");
    }
    void msgtoolCanon()
    {
        QFETCH(QString, code);
        QFETCH(QString, number);
        QFETCH(QByteArray, json);
        QTemporaryDir data;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
        const CliResult result = msgtool({QStringLiteral("canon"), code, number}, env);
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.out.trimmed(), json);
    }
};

QTEST_GUILESS_MAIN(TestCountryLibDb)
#include "TestCountryLibDb.moc"
