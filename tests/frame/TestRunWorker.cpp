#include "frame/MessageBox.h"
#include "frame/ProgressForm.h"
#include "frame/RunWorker.h"

#include "support/FakeWorker.h"

#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

enum class Script { Succeed, SucceedWithText, Fail, TipThenSucceed, RunUntilCancelled, TipAfterCancel };

void play(Script script, ProgressForm& form)
{
    switch (script) {
    case Script::Succeed:
        form.postSucceed(QString());
        break;
    case Script::SucceedWithText:
        form.postSucceed(QStringLiteral("Saved 3 messages."));
        break;
    case Script::Fail:
        form.postError(QStringLiteral("Cannot open sms.db"));
        break;
    case Script::TipThenSucceed:
        form.postTipsWait(QStringLiteral("Unlock the phone"));
        form.waitForTips();
        form.postSucceed(QString());
        break;
    case Script::RunUntilCancelled:
        while (!form.rejected)
            QThread::msleep(1);
        break;
    case Script::TipAfterCancel:
        while (!form.rejected)
            QThread::msleep(1);
        form.postTipsWait(QStringLiteral("Too late"));
        form.waitForTips();
        break;
    }
}

} // namespace

// Workers run under their dialog with the boxes answered headless, as msgtool runs them.
class TestRunWorker : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void outcome_data();
    void outcome();
};

void TestRunWorker::initTestCase()
{
    setHeadlessMessageBoxes(true);
}

void TestRunWorker::outcome_data()
{
    QTest::addColumn<Script>("script");
    QTest::addColumn<bool>("pressCancel");
    QTest::addColumn<WorkerOutcome::Result>("result");
    QTest::addColumn<QString>("error");
    QTest::newRow("success") << Script::Succeed << false << WorkerOutcome::Succeeded << "";
    QTest::newRow("success with a text") << Script::SucceedWithText << false << WorkerOutcome::Succeeded << "";
    QTest::newRow("error") << Script::Fail << false << WorkerOutcome::Failed << "Cannot open sms.db";
    QTest::newRow("tip answered, then success") << Script::TipThenSucceed << false << WorkerOutcome::Succeeded << "";
    QTest::newRow("cancel") << Script::RunUntilCancelled << true << WorkerOutcome::Cancelled << "";
    QTest::newRow("tip after cancel") << Script::TipAfterCancel << true << WorkerOutcome::Cancelled << "";
}

void TestRunWorker::outcome()
{
    QFETCH(Script, script);
    QFETCH(bool, pressCancel);

    ProgressForm form(QStringLiteral("Working"), nullptr);
    FakeWorker worker([&form, script] { play(script, form); });
    if (pressCancel) {
        QTimer::singleShot(0, &form, [&form] {
            QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("btnCancel")), Qt::LeftButton);
        });
    }
    const WorkerOutcome outcome = runWorker(worker, form);

    QVERIFY(worker.isFinished());
    QTEST(outcome.result, "result");
    QTEST(outcome.error, "error");
}

QTEST_MAIN(TestRunWorker)
#include "TestRunWorker.moc"
