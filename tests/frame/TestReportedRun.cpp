#include "frame/ReportedRun.h"

#include "support/RecordingReport.h"

#include <QTest>

#include <functional>
#include <stdexcept>

namespace {

enum class Body { Succeeds, Throws, ThrowsNonStandard, Cancels, ThrowsAfterCancel };

void play(Body body, WorkerReport& report)
{
    switch (body) {
    case Body::Succeeds:
        report.postSucceed(QStringLiteral("done"));
        break;
    case Body::Throws:
        throw std::runtime_error("Cannot write sms.db: disk full");
    case Body::ThrowsNonStandard:
        throw 42;
    case Body::Cancels:
        throw RunCancelled();
    case Body::ThrowsAfterCancel:
        report.rejected = true;
        throw std::runtime_error("Cancelled.");
    }
}

} // namespace

class TestReportedRun : public QObject
{
    Q_OBJECT

private slots:
    void endsInOneOutcome_data();
    void endsInOneOutcome();
    void failedTakeBackKeepsTheFirstError();
    void tipAfterTheRunEndedNeverBlocks();
};

void TestReportedRun::endsInOneOutcome_data()
{
    QTest::addColumn<Body>("body");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("error");
    QTest::addColumn<bool>("tookBack");
    QTest::newRow("success") << Body::Succeeds << int(WorkerOutcome::Succeeded) << QString() << false;
    QTest::newRow("exception with its text")
        << Body::Throws << int(WorkerOutcome::Failed) << "Cannot write sms.db: disk full" << true;
    QTest::newRow("exception of no standard type")
        << Body::ThrowsNonStandard << int(WorkerOutcome::Failed) << "Copying failed." << true;
    QTest::newRow("cancel shows nothing") << Body::Cancels << int(WorkerOutcome::Cancelled) << QString() << true;
    QTest::newRow("exception after the cancel shows nothing")
        << Body::ThrowsAfterCancel << int(WorkerOutcome::Cancelled) << QString() << true;
}

void TestReportedRun::endsInOneOutcome()
{
    QFETCH(Body, body);
    RecordingReport report;
    bool tookBack = false;
    runReported(
        report, [&] { play(body, report); }, [&] { tookBack = true; }, QStringLiteral("Copying failed."));

    QTEST(int(report.outcome().result), "result");
    QTEST(report.outcome().error, "error");
    QVERIFY(report.outcomeCount() <= 1);
    QTEST(tookBack, "tookBack");
}

void TestReportedRun::failedTakeBackKeepsTheFirstError()
{
    RecordingReport report;
    runReported(
        report, [] { throw std::runtime_error("Cannot read Manifest.mbdb"); },
        [] { throw std::runtime_error("Cannot remove the copy"); });
    QCOMPARE(report.errors, QStringList{"Cannot read Manifest.mbdb"});
}

// A run rejected before the worker asks for a tip may never show it: the wait must not
// block then.
void TestReportedRun::tipAfterTheRunEndedNeverBlocks()
{
    RecordingReport report;
    report.rejected = true;
    report.postTipsWait(QStringLiteral("Unlock the phone"));
    report.waitForTips();
    QVERIFY(!report.waiting);
    QVERIFY(report.tips.isEmpty());
}

QTEST_GUILESS_MAIN(TestReportedRun)
#include "TestReportedRun.moc"
