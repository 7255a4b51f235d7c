#include "actions/LocalDbNames.h"

#include <QTest>

class TestLocalDbNames : public QObject
{
    Q_OBJECT

private slots:
    void matchPrefersTheSameCase_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("index");
        QTest::newRow("other case finds the database") << QStringList{"Foo", "Bar"} << "bar" << 1;
        QTest::newRow("the same case wins over an earlier other case") << QStringList{"Foo", "foo"} << "foo" << 1;
        QTest::newRow("first of several other cases") << QStringList{"FOO", "Foo"} << "foo" << 0;
        QTest::newRow("none") << QStringList{"Foo"} << "Fo" << -1;
        QTest::newRow("trailing blank finds the database") << QStringList{"Foo", "Alpha"} << "Alpha " << 1;
        QTest::newRow("listed name with blanks") << QStringList{" Alpha"} << "alpha" << 0;
        QTest::newRow("blanks dropped before letter case") << QStringList{"ALPHA", "Alpha "} << "Alpha" << 1;
    }
    void matchPrefersTheSameCase()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, name);
        QFETCH(int, index);
        QCOMPARE(indexOfLocalDbName(names, name), index);
    }

    void folderNameLengthCountsEncodedBytes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("fits");
        QTest::newRow("255 letters") << QString(255, 'a') << true;
        QTest::newRow("256 letters") << QString(256, 'a') << false;
        QTest::newRow("300 letters") << QString(300, 'a') << false;
        // Two bytes each in UTF-8.
        QTest::newRow("127 umlauts") << QString(127, QChar(0xe4)) << true;
        QTest::newRow("128 umlauts") << QString(128, QChar(0xe4)) << false;
    }
    void folderNameLengthCountsEncodedBytes()
    {
        QFETCH(QString, name);
        QFETCH(bool, fits);
        QCOMPARE(fitsLocalDbFolderName(name), fits);
    }
};

QTEST_GUILESS_MAIN(TestLocalDbNames)
#include "TestLocalDbNames.moc"
