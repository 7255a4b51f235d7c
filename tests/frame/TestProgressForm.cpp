#include "frame/ProgressForm.h"
#include "frame/StyleSheet.h"

#include "support/FakeWorker.h"
#include "support/MessageBoxAnswerer.h"

#include <QLabel>
#include <QMetaMethod>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <atomic>

namespace {

QString statusText(ProgressForm& form)
{
    return form.findChild<QLabel*>(QStringLiteral("lbStatus"))->text();
}

QString progressText(ProgressForm& form)
{
    return form.findChild<QLabel*>(QStringLiteral("lbProgress"))->text();
}

int barValue(ProgressForm& form)
{
    return form.findChild<QProgressBar*>(QStringLiteral("progressBar"))->value();
}

QPushButton* cancelButton(ProgressForm& form)
{
    return form.findChild<QPushButton*>(QStringLiteral("btnCancel"));
}

// Presses the cancel button as soon as the dialog's event loop runs.
void pressCancelOnceShown(ProgressForm& form)
{
    QTimer::singleShot(0, &form, [&form] { QTest::mouseClick(cancelButton(form), Qt::LeftButton); });
}

} // namespace

class TestProgressForm : public QObject
{
    Q_OBJECT

private slots:
    void workersReachSlotsByName_data();
    void workersReachSlotsByName();
    void builtAsFramelessStyledForm();
    void progress_data();
    void progress();
    void emptyTitleWaitsForFirstStatus();
    void workerProgressThenSuccess();
    void successWithoutTextShowsNoBox();
    void errorShowsBoxAndRejects();
    void escapeAndRejectDoNothing();
    void cancelEndsAtOnceWhileWorkerRuns();
    void disabledCancelDoesNothing();
    void tipWaitsUntilClosed();
    void tipAfterCancelIsNotShown();
    void successAfterCancelIsNotShown();
};

void TestProgressForm::workersReachSlotsByName_data()
{
    QTest::addColumn<QByteArray>("signature");
    QTest::newRow("updateProgress") << QByteArray("updateProgress(QString,int,QString)");
    QTest::newRow("errorOccurred") << QByteArray("errorOccurred(QString)");
    QTest::newRow("succeed") << QByteArray("succeed(QString)");
    QTest::newRow("onFinish") << QByteArray("onFinish(int)");
    QTest::newRow("tipsWait") << QByteArray("tipsWait(QString)");
    QTest::newRow("cancel") << QByteArray("cancel()");
    QTest::newRow("userCacel") << QByteArray("userCacel()");
}

void TestProgressForm::workersReachSlotsByName()
{
    QFETCH(QByteArray, signature);
    QVERIFY(ProgressForm::staticMetaObject.indexOfMethod(signature) >= 0);
}

void TestProgressForm::builtAsFramelessStyledForm()
{
    ProgressForm form(QStringLiteral("Saving messages"), nullptr);
    QCOMPARE(form.objectName(), "ProgressForm");
    QCOMPARE(form.size(), QSize(350, 122));
    QCOMPARE(form.windowTitle(), "Saving messages");
    QCOMPARE(statusText(form), "Saving messages");
    QCOMPARE(progressText(form), "");
    QCOMPARE(barValue(form), 0);
    QCOMPARE(cancelButton(form)->text(), "Cancel");
    QVERIFY(form.windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(form.styleSheet(), appStyleSheet());
    QVERIFY(!form.rejected);
    QVERIFY(!form.waiting);
}

void TestProgressForm::progress_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shownStatus");
    QTest::addColumn<int>("shownValue");
    QTest::addColumn<QString>("shownText");
    // Each row starts from status "Copying" at 37 %.
    QTest::newRow("everything given") << "Writing" << 80 << "80 of 100" << "Writing" << 80 << "80 of 100";
    QTest::newRow("empty status keeps the line") << "" << 50 << "" << "Copying" << 50 << "Progress:50%";
    QTest::newRow("nothing given keeps status and bar") << "" << -1 << "" << "Copying" << 37 << "Progress:37%";
}

void TestProgressForm::progress()
{
    QFETCH(QString, status);
    QFETCH(int, value);
    QFETCH(QString, text);

    ProgressForm form(QStringLiteral("Title"), nullptr);
    form.postProgress(QStringLiteral("Copying"), 37, QString());
    form.postProgress(status, value, text);

    QTEST(statusText(form), "shownStatus");
    QTEST(barValue(form), "shownValue");
    QTEST(progressText(form), "shownText");
}

void TestProgressForm::emptyTitleWaitsForFirstStatus()
{
    ProgressForm form(QString(), nullptr);
    form.postProgress(QString(), 5, QString());
    QCOMPARE(statusText(form), "");
    form.postProgress(QStringLiteral("Reading"), 6, QString());
    QCOMPARE(statusText(form), "Reading");
}

void TestProgressForm::workerProgressThenSuccess()
{
    MessageBoxAnswerer answerer;
    ProgressForm form(QStringLiteral("Working"), nullptr);
    FakeWorker worker([&form] {
        for (int i = 1; i <= 100; ++i)
            form.postProgress(QString(), i, QString());
        form.postSucceed(QStringLiteral("Done"));
    });
    worker.start();
    QCOMPARE(form.exec(), 1);
    QVERIFY(!form.rejected);
    QVERIFY(worker.wait(10000));

    QCOMPARE(answerer.texts, QStringList{"Done"});
    QCOMPARE(answerer.icons, QList<QMessageBox::Icon>{QMessageBox::Information});
    QCOMPARE(barValue(form), 100);
    QCOMPARE(progressText(form), "Progress:100%");
    QVERIFY(!form.error());
}

void TestProgressForm::successWithoutTextShowsNoBox()
{
    MessageBoxAnswerer answerer;
    ProgressForm form(QStringLiteral("Working"), nullptr);
    FakeWorker worker([&form] { form.postSucceed(QString()); });
    worker.start();
    QCOMPARE(form.exec(), 1);
    QVERIFY(worker.wait(10000));
    QVERIFY(!form.rejected);
    QVERIFY(answerer.texts.isEmpty());
}

void TestProgressForm::errorShowsBoxAndRejects()
{
    MessageBoxAnswerer answerer;
    ProgressForm form(QStringLiteral("Working"), nullptr);
    FakeWorker worker([&form] { form.postError(QStringLiteral("Cannot write <b>sms.db</b>")); });
    worker.start();
    QCOMPARE(form.exec(), 0);
    QVERIFY(worker.wait(10000));

    QVERIFY(form.rejected);
    QCOMPARE(form.error(), "Cannot write <b>sms.db</b>");
    QCOMPARE(answerer.icons, QList<QMessageBox::Icon>{QMessageBox::Critical});
    QCOMPARE(answerer.texts.size(), 1);
    QVERIFY(answerer.texts.first().contains("<br/><br/>Cannot write <b>sms.db</b><br/><br/>"));
}

void TestProgressForm::escapeAndRejectDoNothing()
{
    ProgressForm form(QStringLiteral("Working"), nullptr);
    bool stillOpen = false;
    QTimer::singleShot(0, &form, [&] {
        QTest::keyClick(&form, Qt::Key_Escape);
        form.reject();
        form.close();
        stillOpen = form.isVisible();
        form.postSucceed(QString());
    });
    QCOMPARE(form.exec(), 1);
    QVERIFY(stillOpen);
    QVERIFY(!form.rejected);
}

void TestProgressForm::cancelEndsAtOnceWhileWorkerRuns()
{
    ProgressForm form(QStringLiteral("Working"), nullptr);
    QSignalSpy cancelled(&form, &ProgressForm::userCacel);
    std::atomic<bool> release{false};
    std::atomic<bool> sawCancel{false};
    FakeWorker worker([&] {
        while (!release)
            QThread::msleep(1);
        sawCancel = form.rejected.load();
    });
    worker.start();
    pressCancelOnceShown(form);

    QCOMPARE(form.exec(), 0);
    QVERIFY(form.rejected);
    QCOMPARE(cancelled.count(), 1);
    QVERIFY(worker.isRunning());
    release = true;
    QVERIFY(worker.wait(10000));
    QVERIFY(sawCancel);
    QVERIFY(!form.error());
}

void TestProgressForm::disabledCancelDoesNothing()
{
    ProgressForm form(QStringLiteral("Converting"), nullptr);
    form.setCancelEnabled(false);
    QSignalSpy cancelled(&form, &ProgressForm::userCacel);
    bool stillOpen = false;
    QTimer::singleShot(0, &form, [&] {
        QTest::mouseClick(cancelButton(form), Qt::LeftButton);
        stillOpen = form.isVisible();
        form.postSucceed(QString());
    });
    QCOMPARE(form.exec(), 1);
    QVERIFY(stillOpen);
    QCOMPARE(cancelled.count(), 0);
}

void TestProgressForm::tipWaitsUntilClosed()
{
    MessageBoxAnswerer answerer;
    ProgressForm form(QStringLiteral("Restoring"), nullptr);
    std::atomic<bool> waitingAfterTip{true};
    FakeWorker worker([&] {
        form.postTipsWait(QStringLiteral("Unlock the phone"));
        form.waitForTips();
        waitingAfterTip = form.waiting.load();
        form.postSucceed(QString());
    });
    worker.start();
    QCOMPARE(form.exec(), 1);
    QVERIFY(worker.wait(10000));
    QCOMPARE(answerer.texts, QStringList{"Unlock the phone"});
    QVERIFY(!waitingAfterTip);
}

void TestProgressForm::tipAfterCancelIsNotShown()
{
    MessageBoxAnswerer answerer;
    ProgressForm form(QStringLiteral("Restoring"), nullptr);
    FakeWorker worker([&form] {
        while (!form.rejected)
            QThread::msleep(1);
        form.postTipsWait(QStringLiteral("Too late"));
        form.waitForTips();
    });
    worker.start();
    pressCancelOnceShown(form);
    QCOMPARE(form.exec(), 0);
    // The GUI thread blocks here as every caller does; the worker must not wait for a
    // tip that cannot be shown meanwhile.
    QVERIFY(worker.wait(10000));

    QCoreApplication::processEvents();
    QVERIFY(answerer.texts.isEmpty());
    QVERIFY(!form.waiting);
}

void TestProgressForm::successAfterCancelIsNotShown()
{
    MessageBoxAnswerer answerer;
    ProgressForm form(QStringLiteral("Converting"), nullptr);
    FakeWorker worker([&form] {
        while (!form.rejected)
            QThread::msleep(1);
        form.postSucceed(QStringLiteral("Done"));
    });
    worker.start();
    pressCancelOnceShown(form);
    QCOMPARE(form.exec(), 0);
    QVERIFY(worker.wait(10000));

    QCoreApplication::processEvents();
    QVERIFY(answerer.texts.isEmpty());
    QVERIFY(form.rejected);
    QCOMPARE(form.result(), 0);
}

QTEST_MAIN(TestProgressForm)
#include "TestProgressForm.moc"
