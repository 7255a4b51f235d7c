// The main window on an X server with the demo data of scripts/run --demo, a long
// conversation selected at its 51st message; saved as main-window.png in the build
// folder for a person to look at.

#include "MainWindowFixture.h"
#include "support/Cli.h"
#include "support/MessageBoxAnswerer.h"

#include "frame/DataFolder.h"
#include "model/MsgMessage.h"
#include "ui/ItemModelSms.h"
#include "ui/MyTreeView.h"
#include "ui/SmsBrowser.h"

#include <QLabel>
#include <QTest>

class TestMainWindowScreenshot : public QObject
{
    Q_OBJECT

private slots:
    void demoDataOnScreen();
};

void TestMainWindowScreenshot::demoDataOnScreen()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    MainWindowFixture fixture;
    QCOMPARE(runCli(QStringLiteral(SCRIPTS_DIR "/make-demo-data"), {appDataDir().absolutePath()}).exitCode, 0);
    MessageBoxAnswerer answerer;
    MainWindow window(nullptr);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    auto* tree = child<MyTreeView>(window, "treeViewDS");
    const QModelIndexList found =
        tree->model()->match(tree->model()->index(0, 0), Qt::DisplayRole, QStringLiteral("Chloe Demo"), 1,
                             Qt::MatchExactly | Qt::MatchRecursive);
    QCOMPARE(found.size(), 1);
    tree->setCurrentIndex(found.first());
    QCOMPARE(child<QLabel>(window, "lbSMSCount")->text(), QStringLiteral("SMS: 60"));

    auto* list = child<MyTreeView>(window, "treeViewSMS");
    auto* messages = qobject_cast<ItemModelSms*>(list->model());
    list->setCurrentIndex(messages->indexOfRow(50));
    auto* conversation = child<SmsBrowser>(window, "txtSMS");
    const QString html = conversation->toHtml();
    QVERIFY(html.contains(QStringLiteral("sms_%1").arg(messages->messages().at(50)->rowid)));
    QVERIFY(html.contains(QStringLiteral("Previous Page")));
    QTest::qWait(300);

    QVERIFY(window.grab().save(QStringLiteral(SCREENSHOT_PATH)));
    QVERIFY(answerer.texts.isEmpty());
}

QTEST_MAIN(TestMainWindowScreenshot)
#include "TestMainWindowScreenshot.moc"
