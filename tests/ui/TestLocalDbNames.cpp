#include "ui/LocalDbNames.h"

#include <QTest>

class TestLocalDbNames : public QObject
{
    Q_OBJECT

private slots:
    void usableNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("usable");
        QTest::newRow("ordinary") << "Galaxy_Backup" << true;
        QTest::newRow("blanks around are kept as typed") << " Galaxy " << true;
        QTest::newRow("dots inside") << "a.b" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("the folder itself") << "." << false;
        QTest::newRow("its parent") << ".." << false;
        QTest::newRow("dots and blanks only") << " . . " << false;
        QTest::newRow("a slash") << "a/b" << false;
        QTest::newRow("a backslash") << "a\\b" << false;
        QTest::newRow("a control character") << QStringLiteral("a\u0001b") << false;
        QTest::newRow("a NUL") << QString(QStringLiteral("ab")).insert(1, QChar(0)) << false;
    }
    void usableNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, usable);
        QCOMPARE(isUsableLocalDbName(name), usable);
    }

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
