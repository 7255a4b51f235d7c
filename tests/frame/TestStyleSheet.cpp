#include "frame/StyleSheet.h"

#include <QDialog>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

class TestStyleSheet : public QObject
{
    Q_OBJECT

private slots:
    void sheetAppliesWithoutComplaint();
    void readOnlyOnce();
};

void TestStyleSheet::sheetAppliesWithoutComplaint()
{
    // Qt warns about a style sheet it cannot parse and then ignores all of it.
    QTest::failOnWarning(QRegularExpression(QStringLiteral("(?i)style ?sheet")));
    QDialog dialog;
    dialog.setObjectName(QStringLiteral("ProgressForm"));
    auto* button = new QPushButton(QStringLiteral("Go"), &dialog);
    dialog.setStyleSheet(appStyleSheet());
    dialog.ensurePolished();
    button->ensurePolished();

    // min-width 65px and min-height 20px inside a 1px border.
    QVERIFY(button->sizeHint().width() >= 67);
    QVERIFY(button->sizeHint().height() >= 22);
}

void TestStyleSheet::readOnlyOnce()
{
    const QString first = appStyleSheet();
    QVERIFY(first.startsWith(QStringLiteral("QPushButton")));
    QVERIFY(!first.contains(QChar(0)));

    // Without the resource, the sheet read before is still given out.
    Q_CLEANUP_RESOURCE(frame_resources);
    QVERIFY(!QFile::exists(QStringLiteral(":style.css")));
    const QString second = appStyleSheet();
    Q_INIT_RESOURCE(frame_resources);
    QCOMPARE(second, first);
}

QTEST_MAIN(TestStyleSheet)
#include "TestStyleSheet.moc"
