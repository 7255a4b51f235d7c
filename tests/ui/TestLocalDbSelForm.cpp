#include "ui/LocalDbSelForm.h"

#include "frame/StyleSheet.h"
#include "support/MessageBoxAnswerer.h"
#include "support/ModalSteps.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

QComboBox* names(QDialog& form)
{
    return form.findChild<QComboBox*>(QStringLiteral("cbLocalDbNames"));
}

void pressOk(QDialog& form)
{
    QTest::mousePress(form.findChild<QPushButton*>(QStringLiteral("btnOK")), Qt::LeftButton);
}

const QString askForName = QStringLiteral("IDS_PLEASE_SELECT_DATABASE_OR_INPUT_NEW_NAME");
const QString invalidName = QStringLiteral("IDS_INVALID_LOCALDB_NAME");
const QString tooLong = QStringLiteral("IDS_LOCALDB_NAME_TOO_LONG_255");

} // namespace

class TestLocalDbSelForm : public QObject
{
    Q_OBJECT

private slots:
    void typedName_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("warning");
        QTest::addColumn<QString>("chosen");
        const QString longest(255, 'a');
        QTest::newRow("plain name") << "Galaxy_Backup" << "" << "Galaxy_Backup";
        QTest::newRow("blanks around dropped") << " a " << "" << "a";
        QTest::newRow("trailing blank dropped") << "Alpha " << "" << "Alpha";
        QTest::newRow("dots inside a name") << "..a.b" << "" << "..a.b";
        QTest::newRow("255 bytes") << longest << "" << longest;
        QTest::newRow("255 bytes and blanks") << longest + "  " << "" << longest;
        QTest::newRow("blanks only") << "   " << askForName << "";
        QTest::newRow("slash") << "a/b" << invalidName << "";
        QTest::newRow("backslash") << "a\\b" << invalidName << "";
        QTest::newRow("pipe at the end") << "a|" << invalidName << "";
        QTest::newRow("the folder itself") << "." << invalidName << "";
        QTest::newRow("the parent folder") << ".." << invalidName << "";
        QTest::newRow("parent with blanks") << " .. " << invalidName << "";
        QTest::newRow("three dots") << "..." << invalidName << "";
        QTest::newRow("300 letters") << QString(300, 'a') << tooLong << "";
        QTest::newRow("128 two-byte letters") << QString(128, QChar(0xe4)) << tooLong << "";
    }
    // A refused name warns and keeps the dialog open; Cancel then returns nothing.
    void typedName()
    {
        QFETCH(QString, typed);
        QFETCH(QString, warning);
        MessageBoxAnswerer boxes;
        LocalDbSelForm form({QStringLiteral("Galaxy")}, QString(), nullptr);
        bool openAfterOk = false;
        duringModalRun(form, [&] {
            // Typed keys would be ASCII only.
            names(form)->lineEdit()->setText(typed);
            pressOk(form);
            openAfterOk = form.isVisible();
            if (openAfterOk)
                form.findChild<QPushButton*>(QStringLiteral("btnClose"))->click();
        });
        const QString chosen = form.select();
        QCOMPARE(boxes.texts, warning.isEmpty() ? QStringList() : QStringList{warning});
        QCOMPARE(openAfterOk, !warning.isEmpty());
        QTEST(chosen, "chosen");
    }

    void listedNamesFollowAnEmptyFirstEntry()
    {
        MessageBoxAnswerer boxes;
        LocalDbSelForm form({QStringLiteral("Galaxy"), QStringLiteral("Pixel")}, QString(), nullptr);
        QCOMPARE(names(form)->count(), 3);
        QCOMPARE(names(form)->currentIndex(), -1);
        duringModalRun(form, [&] {
            names(form)->setCurrentIndex(0);
            pressOk(form);
            names(form)->setCurrentIndex(2);
            pressOk(form);
        });
        QCOMPARE(form.select(), QStringLiteral("Pixel"));
        QCOMPARE(boxes.texts, QStringList{askForName});
    }

    void initialNameReturnedWhenOkPressedAtOnce()
    {
        LocalDbSelForm form({QStringLiteral("Galaxy")}, QStringLiteral("Galaxy_Backup"), nullptr);
        QCOMPARE(names(form)->currentText(), QStringLiteral("Galaxy_Backup"));
        duringModalRun(form, [&] { pressOk(form); });
        QCOMPARE(form.select(), QStringLiteral("Galaxy_Backup"));
    }

    void escapeReturnsNothing()
    {
        LocalDbSelForm form({}, QStringLiteral("Galaxy_Backup"), nullptr);
        duringModalRun(form, [&] { QTest::keyClick(&form, Qt::Key_Escape); });
        QCOMPARE(form.select(), QString());
        QCOMPARE(form.result(), int(QDialog::Rejected));
    }

    void isFramelessAndStyled()
    {
        LocalDbSelForm form({}, QString(), nullptr);
        QCOMPARE(form.objectName(), QStringLiteral("LocalDbSelForm"));
        QCOMPARE(form.windowFlags(), Qt::Dialog | Qt::FramelessWindowHint);
        QCOMPARE(form.styleSheet(), appStyleSheet());
        QCOMPARE(form.size(), QSize(423, 156));
        QVERIFY(names(form)->isEditable());
    }
};

QTEST_MAIN(TestLocalDbSelForm)
#include "TestLocalDbSelForm.moc"
