#include "ui/DataSourceSelForm.h"

#include "frame/StyleSheet.h"
#include "support/MessageBoxAnswerer.h"
#include "support/ModalSteps.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using Node = AbsTreeItemModel::_ItemNode;

namespace {

QPushButton* button(QDialog& form, const char* name)
{
    return form.findChild<QPushButton*>(QString::fromLatin1(name));
}

QComboBox* devices(QDialog& form)
{
    return form.findChild<QComboBox*>(QStringLiteral("cbDevice"));
}

} // namespace

class TestDataSourceSelForm : public QObject
{
    Q_OBJECT

    Node iphone{3, QStringLiteral("iPhone"), nullptr};
    Node android{4, QStringLiteral("Pixel"), nullptr};

private slots:
    void singleEntryStartsChosenAndOkReturnsItOnPress()
    {
        MessageBoxAnswerer boxes;
        DataSourceSelForm form(nullptr);
        int shownIndex = -2;
        QString shownPrompt;
        duringModalRun(form, [&] {
            shownIndex = devices(form)->currentIndex();
            shownPrompt = form.findChild<QLabel*>(QStringLiteral("lbSelDevice"))->text();
            // A press alone confirms: OK does not wait for the release.
            QTest::mousePress(button(form, "btnOK"), Qt::LeftButton);
        });
        Node* chosen = form.select(QStringLiteral("Pick a phone"), {{":res/iphone.png", "My iPhone", &iphone}}, "none");
        QCOMPARE(chosen, &iphone);
        QCOMPARE(shownIndex, 0);
        QCOMPARE(shownPrompt, QStringLiteral("Pick a phone"));
        QVERIFY(boxes.texts.isEmpty());
        QCOMPARE(devices(form)->itemText(0), QStringLiteral("My iPhone"));
        QVERIFY(!devices(form)->itemIcon(0).isNull());
    }

    void severalEntriesNeedAChoiceBeforeOk()
    {
        MessageBoxAnswerer boxes;
        DataSourceSelForm form(nullptr);
        int shownIndex = -2;
        QString shownText = "?";
        bool openAfterWarning = false;
        duringModalRun(form, [&] {
            shownIndex = devices(form)->currentIndex();
            shownText = devices(form)->placeholderText();
            button(form, "btnOK")->click();
            openAfterWarning = form.isVisible();
            devices(form)->setCurrentIndex(1);
            button(form, "btnOK")->click();
        });
        Node* chosen = form.select(QString(), {{":res/iphone.png", "iPhone", &iphone},
                                               {":res/android.png", "Pixel", &android}},
                                   "none");
        QCOMPARE(shownIndex, -1);
        QCOMPARE(shownText, QString());
        QVERIFY(openAfterWarning);
        QCOMPARE(boxes.texts, QStringList{"IDS_PLEASE_SELECT_ONE_DATASOURCE"});
        QCOMPARE(boxes.icons.value(0), QMessageBox::Warning);
        QCOMPARE(chosen, &android);
    }

    void leavingReturnsNullEvenWithAnEntryChosen_data()
    {
        QTest::addColumn<QString>("way");
        QTest::newRow("Cancel button") << "cancel";
        QTest::newRow("Escape key") << "escape";
        QTest::newRow("window closed") << "close";
    }
    void leavingReturnsNullEvenWithAnEntryChosen()
    {
        QFETCH(QString, way);
        DataSourceSelForm form(nullptr);
        duringModalRun(form, [&] {
            if (way == "cancel")
                QTest::mousePress(button(form, "btnClose"), Qt::LeftButton);
            else if (way == "escape")
                QTest::keyClick(&form, Qt::Key_Escape);
            else
                form.close();
        });
        QCOMPARE(form.select(QString(), {{":res/iphone.png", "iPhone", &iphone}}, "none"), nullptr);
        QCOMPARE(form.result(), int(QDialog::Rejected));
    }

    void emptyListSaysSoWithOkOffAndCancels()
    {
        MessageBoxAnswerer boxes;
        DataSourceSelForm form(nullptr);
        QString shownText;
        bool okEnabled = true;
        duringModalRun(form, [&] {
            shownText = devices(form)->currentIndex() == -1 ? devices(form)->placeholderText() : QString();
            okEnabled = button(form, "btnOK")->isEnabled();
            QTest::mousePress(button(form, "btnOK"), Qt::LeftButton);
            button(form, "btnClose")->click();
        });
        QCOMPARE(form.select(QString(), {}, "No phone here."), nullptr);
        QCOMPARE(shownText, QStringLiteral("No phone here."));
        QVERIFY(!okEnabled);
        QCOMPARE(boxes.texts, QStringList());
        QCOMPARE(form.result(), int(QDialog::Rejected));
    }

    void isFramelessAndStyled()
    {
        DataSourceSelForm form(nullptr);
        QCOMPARE(form.objectName(), QStringLiteral("DataSourceSelForm"));
        QCOMPARE(form.windowFlags(), Qt::Dialog | Qt::FramelessWindowHint);
        QCOMPARE(form.styleSheet(), appStyleSheet());
        QCOMPARE(form.size(), QSize(421, 152));
        QVERIFY(!devices(form)->isEditable());
    }
};

QTEST_MAIN(TestDataSourceSelForm)
#include "TestDataSourceSelForm.moc"
