#include "ui/CountrySelForm.h"

#include "frame/DataFolder.h"
#include "frame/StyleSheet.h"
#include "support/MessageBoxAnswerer.h"
#include "support/ModalSteps.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

namespace {

QListWidget* countryList(QDialog& form)
{
    return form.findChild<QListWidget*>(QStringLiteral("ltCountries"));
}

QStringList listed(QDialog& form)
{
    QStringList texts;
    for (int row = 0; row < countryList(form)->count(); ++row)
        texts << countryList(form)->item(row)->text();
    return texts;
}

void typeFilter(QDialog& form, const QString& kw)
{
    form.findChild<QLineEdit*>(QStringLiteral("txtKW"))->setText(kw);
}

void pressOk(QDialog& form)
{
    QTest::mousePress(form.findChild<QPushButton*>(QStringLiteral("btnOK")), Qt::LeftButton);
}

// Makes the named country current, as a click on it does.
void choose(QDialog& form, const QString& text)
{
    const QList<QListWidgetItem*> found = countryList(form)->findItems(text, Qt::MatchExactly);
    QCOMPARE(found.size(), 1);
    countryList(form)->setCurrentItem(found.first());
}

QString countriesDbPath()
{
    return appDataDir().filePath(QStringLiteral("countries.db"));
}

} // namespace

class TestCountrySelForm : public QObject
{
    Q_OBJECT

private slots:
    // Each test starts from a data folder without the database, as on a first run.
    void cleanup() { QFile::remove(countriesDbPath()); }

    void listsEveryCountryWithItsCallingCode()
    {
        CountrySelForm form(nullptr);
        const QStringList all = listed(form);
        QVERIFY2(all.size() > 200, qPrintable(QString::number(all.size())));
        QVERIFY(all.contains(QStringLiteral("Afghanistan (+93)")));
        QCOMPARE(countryList(form)->currentItem(), nullptr);
        QVERIFY(QFile::exists(countriesDbPath()));
    }

    void filterWorksOnEveryCountry_data()
    {
        QTest::addColumn<QString>("kw");
        QTest::addColumn<QStringList>("among");
        QTest::newRow("part of a name, any case")
            << "uni" << QStringList{"Tunisia (+216)", "United Kingdom (+44)", "United States (+1)"};
        QTest::newRow("calling code") << "+44" << QStringList{"United Kingdom (+44)"};
        QTest::newRow("no match") << "zzz" << QStringList();
        QTest::newRow("empty shows all") << "" << QStringList{"Afghanistan (+93)", "Tunisia (+216)"};
    }
    // The filter works on every country, whatever an earlier filter left in the list.
    void filterWorksOnEveryCountry()
    {
        QFETCH(QString, kw);
        QFETCH(QStringList, among);
        CountrySelForm form(nullptr);
        const QStringList all = listed(form);
        typeFilter(form, QStringLiteral("zzz"));
        typeFilter(form, kw);
        QStringList expected;
        for (const QString& text : all) {
            if (text.contains(kw, Qt::CaseInsensitive))
                expected << text;
        }
        QCOMPARE(listed(form), expected);
        for (const QString& text : among)
            QVERIFY2(expected.contains(text), qPrintable(text));
        QCOMPARE(countryList(form)->currentItem(), nullptr);
    }

    void unitedStatesGivesItsFirstCode()
    {
        MessageBoxAnswerer boxes(QMessageBox::Yes);
        CountrySelForm form(nullptr);
        duringModalRun(form, [&] {
            typeFilter(form, QStringLiteral("united st"));
            choose(form, QStringLiteral("United States (+1)"));
            pressOk(form);
        });
        QCOMPARE(form.exec(), int(QDialog::Accepted));
        QCOMPARE(form.selectedMmc, QStringLiteral("310"));
        QCOMPARE(boxes.texts, QStringList{"IDS_CONFIRM_SEL_COUNTRY_United States (+1)"});
    }

    void okWithoutACountryWarns()
    {
        MessageBoxAnswerer boxes;
        CountrySelForm form(nullptr);
        duringModalRun(form, [&] {
            typeFilter(form, QStringLiteral("zzz"));
            pressOk(form);
        });
        QCOMPARE(form.exec(), leftOpenByTheSteps);
        QCOMPARE(boxes.texts, QStringList{"IDS_CANT_CONTINUE_WITHOUT_SEL_ONE_COUNTRY"});
        QVERIFY(form.selectedMmc.isEmpty());
    }

    // Only a confirmed country ends the dialog while there are countries to choose from.
    void escapeClosingAndNoKeepTheChoiceOpen()
    {
        MessageBoxAnswerer boxes(QMessageBox::No);
        CountrySelForm form(nullptr);
        QString currentAfterNo;
        duringModalRun(form, [&] {
            choose(form, QStringLiteral("Tunisia (+216)"));
            QTest::keyClick(&form, Qt::Key_Escape);
            form.close();
            pressOk(form);
            currentAfterNo = countryList(form)->currentItem()->text();
        });
        QCOMPARE(form.exec(), leftOpenByTheSteps);
        QCOMPARE(boxes.texts, QStringList{"IDS_CONFIRM_SEL_COUNTRY_Tunisia (+216)"});
        QCOMPARE(currentAfterNo, QStringLiteral("Tunisia (+216)"));
        QVERIFY(form.selectedMmc.isEmpty());
    }

    void unreadableDatabaseLetsTheDialogClose_data()
    {
        QTest::addColumn<QString>("way");
        QTest::newRow("Escape key") << "escape";
        QTest::newRow("OK button") << "ok";
        QTest::newRow("window closed") << "close";
    }
    void unreadableDatabaseLetsTheDialogClose()
    {
        QFETCH(QString, way);
        QFile damaged(countriesDbPath());
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        QVERIFY(damaged.write(QByteArray(4096, 'x')) == 4096);
        damaged.close();

        MessageBoxAnswerer boxes;
        CountrySelForm form(nullptr);
        QCOMPARE(boxes.icons, QList<QMessageBox::Icon>{QMessageBox::Critical});
        QCOMPARE(countryList(form)->count(), 0);
        duringModalRun(form, [&] {
            if (way == "escape")
                QTest::keyClick(&form, Qt::Key_Escape);
            else if (way == "ok")
                pressOk(form);
            else
                form.close();
        });
        QCOMPARE(form.exec(), int(QDialog::Rejected));
        QCOMPARE(boxes.texts.size(), 1);
        QVERIFY(form.selectedMmc.isEmpty());
    }

    void isFramelessAndStyled()
    {
        CountrySelForm form(nullptr);
        QCOMPARE(form.objectName(), QStringLiteral("CountrySelForm"));
        QCOMPARE(form.windowFlags(), Qt::Dialog | Qt::FramelessWindowHint);
        QCOMPARE(form.styleSheet(), appStyleSheet());
    }
};

QTEST_MAIN(TestCountrySelForm)
#include "TestCountrySelForm.moc"
