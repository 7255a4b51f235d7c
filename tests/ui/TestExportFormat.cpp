#include <QTest>
class TestExportFormat : public QObject { Q_OBJECT };
QTEST_GUILESS_MAIN(TestExportFormat)
#include "TestExportFormat.moc"
