#include <QTest>
class TestExportSMSPdf : public QObject { Q_OBJECT };
QTEST_GUILESS_MAIN(TestExportSMSPdf)
#include "TestExportSMSPdf.moc"
