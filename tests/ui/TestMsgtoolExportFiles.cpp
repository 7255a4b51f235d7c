#include <QTest>
class TestMsgtoolExportFiles : public QObject { Q_OBJECT };
QTEST_GUILESS_MAIN(TestMsgtoolExportFiles)
#include "TestMsgtoolExportFiles.moc"
