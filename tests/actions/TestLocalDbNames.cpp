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
    }
    void matchPrefersTheSameCase()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, name);
        QFETCH(int, index);
        QCOMPARE(indexOfLocalDbName(names, name), index);
    }
};

QTEST_GUILESS_MAIN(TestLocalDbNames)
#include "TestLocalDbNames.moc"
