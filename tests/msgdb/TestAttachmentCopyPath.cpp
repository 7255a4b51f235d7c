#include "msgdb/AttachmentCopyPath.h"

#include <QTest>

class TestAttachmentCopyPath : public QObject
{
    Q_OBJECT

private slots:
    void copyPath_data()
    {
        QTest::addColumn<QString>("filename");
        QTest::addColumn<QString>("expected"); // below the file-relay folder; empty: not copied
        QTest::newRow("home prefix") << "~/Library/SMS/Attachments/0a/10/IMG_0001.JPG"
                                     << "var/mobile/Library/SMS/Attachments/0a/10/IMG_0001.JPG";
        QTest::newRow("forbidden characters dropped, slashes kept")
            << "~/Library/SMS/Attachments/a/b:c*d?e\"f<g>h|i\\j.jpg" << "var/mobile/Library/SMS/Attachments/a/bcdefghij.jpg";
        QTest::newRow("one leading slash removed") << "/var/mobile/Media/x.jpg" << "var/mobile/Media/x.jpg";
        QTest::newRow("relative name") << "Library/x.jpg" << "Library/x.jpg";
        QTest::newRow("home prefix is case-sensitive about its slash") << "~x/y.jpg" << "~x/y.jpg";
        QTest::newRow("dot-dot that stays inside") << "~/a/../b.jpg" << "var/mobile/b.jpg";
        QTest::newRow("absolute after the first slash") << "//etc/evil.conf" << "";
        QTest::newRow("dot-dot out of the home prefix") << "~/../../../../../tmp/evil.txt" << "";
        QTest::newRow("dot-dot out of a relative name") << "a/../../x" << "";
        QTest::newRow("dot-dot alone") << ".." << "";
        QTest::newRow("the folder itself") << "/" << "";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("the message database") << "~/Library/SMS/sms.db" << "";
        QTest::newRow("a log beside the message database") << "~/Library/SMS/sms.db-wal" << "";
        QTest::newRow("a journal, spelt in capitals") << "/var/mobile/Library/SMS/SMS.DB-JOURNAL" << "";
        QTest::newRow("a file merely named like it elsewhere") << "~/Library/SMS/Attachments/sms.db" << "var/mobile/Library/SMS/Attachments/sms.db";
    }
    void copyPath()
    {
        QFETCH(QString, filename);
        QFETCH(QString, expected);
        const QDir fileRelay(QStringLiteral("/data/db/file-relay"));
        QCOMPARE(attachmentCopyPath(fileRelay, filename),
                 expected.isEmpty() ? QString() : QStringLiteral("/data/db/file-relay/") + expected);
    }
};

QTEST_GUILESS_MAIN(TestAttachmentCopyPath)
#include "TestAttachmentCopyPath.moc"
