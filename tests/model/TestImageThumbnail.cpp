#include "model/ImageThumbnail.h"
#include "model/MsgAttachment.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class TestImageThumbnail : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;

    _MsgAttachment imageAttachment(const QString& name, QSize size, const char* format)
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::red);
        _MsgAttachment attachment;
        attachment.localPath = dir.filePath(name);
        if (!image.save(attachment.localPath, format))
            qFatal("cannot write the test image");
        return attachment;
    }

private slots:
    void longerSideBecomes120_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("wide JPEG") << QSize(600, 300) << QByteArray("JPG") << QSize(120, 60);
        QTest::newRow("tall PNG") << QSize(100, 400) << QByteArray("PNG") << QSize(30, 120);
        QTest::newRow("square, enlarged") << QSize(60, 60) << QByteArray("PNG") << QSize(120, 120);
    }
    void longerSideBecomes120()
    {
        QFETCH(QSize, size);
        QFETCH(QByteArray, format);
        QFETCH(QSize, expected);
        const QString name = QString::fromLatin1(QTest::currentDataTag()) + "." + QString::fromLatin1(format);
        const QString path = makeImageThumbnail(imageAttachment(name, size, format.constData()));
        QCOMPARE(QImage(path).size(), expected);

        const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
        QVERIFY2(path.startsWith(cache + "/"), qPrintable(path));
        const QFile::Permissions groupOrOthers = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup
                                                 | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
        QCOMPARE(QFileInfo(QFileInfo(path).path()).permissions() & groupOrOthers, QFile::Permissions());
    }

    void secondRequestReusesTheFile()
    {
        const _MsgAttachment attachment = imageAttachment("once.png", QSize(240, 10), "PNG");
        const QString first = makeImageThumbnail(attachment);
        QVERIFY(QFile::remove(attachment.localPath));
        QCOMPARE(makeImageThumbnail(attachment), first);
        QCOMPARE(QImage(first).size(), QSize(120, 5));
    }

    void unreadableImageWritesNothing()
    {
        _MsgAttachment attachment;
        attachment.localPath = dir.filePath("missing.jpg");
        const QString path = makeImageThumbnail(attachment);
        QVERIFY(path.endsWith(".thumb"));
        QVERIFY(!QFileInfo::exists(path));
    }
};

QTEST_GUILESS_MAIN(TestImageThumbnail)
#include "TestImageThumbnail.moc"
