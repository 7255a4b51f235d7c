#include "itunes/AttachmentBackupPath.h"

#include <QTest>

class TestAttachmentBackupPath : public QObject
{
    Q_OBJECT

private slots:
    void path_data()
    {
        QTest::addColumn<QString>("filename");
        QTest::addColumn<QString>("expected");

        QTest::newRow("home prefix dropped") << "~/Library/SMS/Attachments/ab/01/A1/IMG_0001.JPG"
                                             << "Library/SMS/Attachments/ab/01/A1/IMG_0001.JPG";
        QTest::newRow("absolute device path dropped")
            << "/var/mobile/Library/SMS/Attachments/a.jpg" << "Library/SMS/Attachments/a.jpg";
        QTest::newRow("from the first Library/ on")
            << "/x/Library/y/Library/SMS/a.jpg" << "Library/y/Library/SMS/a.jpg";
        QTest::newRow("dots inside a name are fine") << "~/Library/SMS/a..b.jpg" << "Library/SMS/a..b.jpg";
        QTest::newRow("no Library/") << "/private/var/tmp/a.jpg" << "";
        QTest::newRow("Library/ in other letter case") << "~/library/SMS/a.jpg" << "";
        QTest::newRow("parent folder component") << "~/Library/../../etc/passwd" << "";
        QTest::newRow("current folder component") << "~/Library/SMS/./a.jpg" << "";
        QTest::newRow("empty component") << "~/Library/SMS//a.jpg" << "";
        QTest::newRow("ends in a slash") << "~/Library/SMS/" << "";
        QTest::newRow("backslash") << "~/Library/SMS/a\\..\\b.jpg" << "";
        QTest::newRow("line feed") << "~/Library/SMS/a\nb.jpg" << "";
        QTest::newRow("delete character") << "~/Library/SMS/a\x7f.jpg" << "";
        QTest::newRow("empty filename") << "" << "";
    }

    void path()
    {
        QFETCH(QString, filename);
        QFETCH(QString, expected);
        QCOMPARE(attachmentBackupPath(filename), expected);
    }
};

QTEST_GUILESS_MAIN(TestAttachmentBackupPath)
#include "TestAttachmentBackupPath.moc"
