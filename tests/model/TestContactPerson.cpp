#include "model/ContactPerson.h"

#include <QTest>

class TestContactPerson : public QObject
{
    Q_OBJECT

private slots:
    void displayName_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("middle");
        QTest::addColumn<QString>("last");
        QTest::addColumn<QString>("name");
        QTest::newRow("all three") << "Ann" << "B." << "Cole" << "Ann B. Cole";
        QTest::newRow("first only") << "Ann" << "" << "" << "Ann";
        QTest::newRow("blank first and middle") << "  " << " " << "Cole" << "Cole";
        QTest::newRow("parts trimmed one by one") << " Ann " << " B. " << " Cole " << "Ann  B. Cole";
        QTest::newRow("nothing") << "" << "" << "" << "";
    }
    void displayName()
    {
        QFETCH(QString, first);
        QFETCH(QString, middle);
        QFETCH(QString, last);
        QFETCH(QString, name);
        _ContactPerson person;
        person.first = first;
        person.middle = middle;
        person.last = last;
        QCOMPARE(person.displayName(), name);
    }
};

QTEST_GUILESS_MAIN(TestContactPerson)
#include "TestContactPerson.moc"
