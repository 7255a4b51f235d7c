#include "model/CountryInfo.h"

#include <QTest>

namespace {

_CountryInfo country(const QString& pnum, const QString& numc, const QString& r1)
{
    _CountryInfo c;
    c.pnum = pnum;
    c.numc = numc;
    c.nationalPattern = QLatin1Char('^') + r1 + QLatin1Char('$');
    return c;
}

} // namespace

class TestCountryInfo : public QObject
{
    Q_OBJECT

private slots:
    void acceptsLength_data()
    {
        QTest::addColumn<QString>("numc");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("listed length") << "7,8,9" << 8 << true;
        QTest::newRow("unlisted length") << "7,8,9" << 10 << false;
        QTest::newRow("empty list reads as 0") << "" << 0 << true;
        QTest::newRow("empty part reads as 0") << "9,,10" << 0 << true;
        QTest::newRow("non-number part reads as 0") << "x,10" << 0 << true;
        QTest::newRow("non-number part is no length") << "x,10" << 1 << false;
    }
    void acceptsLength()
    {
        QFETCH(QString, numc);
        QFETCH(int, length);
        QFETCH(bool, accepted);
        _CountryInfo c;
        c.numc = numc;
        QCOMPARE(c.acceptsLength(length), accepted);
    }

    void nationalPatternMatchesWholeText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("matches");
        QTest::newRow("first alternative") << "61234" << true;
        QTest::newRow("second alternative") << "7123" << true;
        QTest::newRow("first alternative with a tail") << "612345" << false;
        QTest::newRow("second alternative with a head") << "87123" << false;
        QTest::newRow("trailing line break") << "7123\n" << false;
    }
    void nationalPatternMatchesWholeText()
    {
        QFETCH(QString, text);
        QFETCH(bool, matches);
        QCOMPARE(country("1", "4,5", R"(6\d{4}|7\d{3})").matchesNationalPattern(text), matches);
    }

    void emptyCountryMatchesNoPattern()
    {
        QVERIFY(!_CountryInfo().matchesNationalPattern(QString()));
        QVERIFY(!_CountryInfo().matchesNationalPattern(QStringLiteral("123")));
    }

    void patternFollowsItsText()
    {
        _CountryInfo c = country("1", "3", R"(1\d\d)");
        QVERIFY(c.matchesNationalPattern(QStringLiteral("123")));
        const _CountryInfo copy = c;
        c.nationalPattern = QStringLiteral("^2\\d\\d$");
        QVERIFY(!c.matchesNationalPattern(QStringLiteral("123")));
        QVERIFY(c.matchesNationalPattern(QStringLiteral("234")));
        QVERIFY(copy.matchesNationalPattern(QStringLiteral("123")));
    }

    // Rules that a made-up country shows more plainly than a real one.
    void canonicalize_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("canonical");
        QTest::newRow("national number") << "5123" << "+425123";
        QTest::newRow("trunk zero dropped") << "0-5123" << "+425123";
        QTest::newRow("trunk zero kept when the rest fails the pattern") << "06123" << "06123";
        QTest::newRow("calling code without plus, no pattern test") << "429999" << "+429999";
        QTest::newRow("plus anywhere wins") << "12+34" << "12+34";
        QTest::newRow("letters lower-cased, nothing removed") << "Ab C-1" << "ab c-1";
        QTest::newRow("no digits") << "()-" << "";
    }
    void canonicalize()
    {
        QFETCH(QString, id);
        QFETCH(QString, canonical);
        QCOMPARE(country("42", "4", R"(5\d{3})").canonicalizePhoneNumber(id), canonical);
    }

    void emptyCountryOnlyCleans_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("canonical");
        QTest::newRow("empty") << "" << "";
        QTest::newRow("punctuation only") << "-" << "";
        QTest::newRow("national number") << "07400 123456" << "07400123456";
        QTest::newRow("international number") << "+44 7400 123456" << "+447400123456";
        QTest::newRow("e-mail address") << "Foo@Example.COM" << "foo@example.com";
    }
    void emptyCountryOnlyCleans()
    {
        QFETCH(QString, id);
        QFETCH(QString, canonical);
        QCOMPARE(_CountryInfo().canonicalizePhoneNumber(id), canonical);
    }
};

QTEST_GUILESS_MAIN(TestCountryInfo)
#include "TestCountryInfo.moc"
