#include <QTest>
class TestSMSPrinter : public QObject { Q_OBJECT };
QTEST_GUILESS_MAIN(TestSMSPrinter)
#include "TestSMSPrinter.moc"
