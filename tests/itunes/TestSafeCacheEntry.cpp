#include "itunes/SafeCacheEntry.h"

#include <QTest>

class TestSafeCacheEntry : public QObject
{
    Q_OBJECT

private slots:
    void entry_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("safe");
        QTest::newRow("file") << "sms.db" << "Library/SMS/sms.db" << true;
        QTest::newRow("node without a record") << "Applications" << "" << true;
        QTest::newRow("characters for the sanitiser") << "a:b?.jpg" << "Library/SMS/a:b?.jpg" << true;
        QTest::newRow("backslash in a name") << "a\\..\\b" << "Library/SMS/a\\..\\b" << true;
        QTest::newRow("parent folder") << ".." << "Library/SMS/.." << false;
        QTest::newRow("this folder") << "." << "Library/SMS/." << false;
        QTest::newRow("parent inside the path") << "x" << "Library/SMS/../x" << false;
        QTest::newRow("absolute path") << "passwd" << "/etc/passwd" << false;
        QTest::newRow("doubled slash") << "x" << "Library//x" << false;
        QTest::newRow("empty name") << "" << "Library/SMS/" << false;
        QTest::newRow("control character") << "a\nb" << "Library/SMS/a\nb" << false;
        QTest::newRow("control character in a parent") << "b" << "Library/S\x01MS/b" << false;
        QTest::newRow("delete character") << "a\x7f" << "Library/SMS/a\x7f" << false;
    }
    void entry()
    {
        QFETCH(QString, name);
        QFETCH(QString, path);
        QTEST(isSafeCacheEntry(name, path), "safe");
    }
};

QTEST_GUILESS_MAIN(TestSafeCacheEntry)
#include "TestSafeCacheEntry.moc"
