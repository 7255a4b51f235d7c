#include <QTest>
class TestExportSMSThread : public QObject { Q_OBJECT };
QTEST_GUILESS_MAIN(TestExportSMSThread)
#include "TestExportSMSThread.moc"
