#include "ios/FileRelayEntryName.h"

#include <QTest>

class TestFileRelayEntryName : public QObject
{
    Q_OBJECT

private slots:
    void entryPaths_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("path");
        QTest::newRow("the phone's own form") << "./var/mobile/Library/SMS/sms.db" << "var/mobile/Library/SMS/sms.db";
        QTest::newRow("characters file systems refuse") << "./a:b*c?d\"e<f>g|h.txt" << "abcdefgh.txt";
        QTest::newRow("dot components and doubled slashes") << "a/./b//c/" << "a/b/c";
        QTest::newRow("a backslash is a character") << "a\\b" << "a\\b";
        QTest::newRow("dots that are a name") << "..hidden/x.." << "..hidden/x..";
        QTest::newRow("climbing out") << "../../escape" << "";
        QTest::newRow("climbing out from inside") << "a/../../b" << "";
        QTest::newRow("a parent component that returns") << "a/../b" << "";
        QTest::newRow("a parent hidden by a colon") << ".:./x" << "";
        QTest::newRow("absolute") << "/abs/x" << "";
        QTest::newRow("absolute after the leading dot") << ".//etc/passwd" << "";
        QTest::newRow("the folder itself") << "." << "";
        QTest::newRow("the folder itself with a slash") << "./" << "";
        QTest::newRow("empty") << "" << "";
    }
    void entryPaths()
    {
        QFETCH(QString, entry);
        QFETCH(QString, path);
        QCOMPARE(fileRelayEntryPath(entry), path);
    }
};

QTEST_GUILESS_MAIN(TestFileRelayEntryName)
#include "TestFileRelayEntryName.moc"
