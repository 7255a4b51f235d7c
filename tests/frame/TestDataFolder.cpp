#include "frame/DataFolder.h"
#include "support/Cli.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

// The data folder is computed once per process, so every case runs msgtool afresh.
class TestDataFolder : public QObject
{
    Q_OBJECT

    QString datadirWith(const QString& dataHome)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", dataHome);
        const CliResult r = msgtool({"datadir"}, env);
        if (r.exitCode != 0)
            return QStringLiteral("exit %1: %2").arg(r.exitCode).arg(QString::fromUtf8(r.err));
        return QJsonDocument::fromJson(r.out).object().value("datadir").toString();
    }

private slots:
    void defaultFolderIsPrivate()
    {
        QTemporaryDir t;
        const QString share = t.filePath("share");
        QCOMPARE(datadirWith(share), share + "/Veltrominex/7D2E91C4A6B84ec3B05F1A8E39D6C2F7");
        QVERIFY(QFileInfo(share + "/Veltrominex/7D2E91C4A6B84ec3B05F1A8E39D6C2F7").isDir());
        // The user bits (0x700) are all set; no group or other bit is.
        QCOMPARE(int(QFileInfo(share + "/Veltrominex").permissions() & 0x0777), 0x0700);
    }

    void redirect_data()
    {
        QTest::addColumn<QByteArray>("content"); // "$ALT" stands for an existing folder
        QTest::addColumn<bool>("followed");
        QTest::newRow("an existing folder") << QByteArray("$ALT") << true;
        QTest::newRow("cut at the first NUL") << QByteArray("$ALT\0junk", 9) << true;
        QTest::newRow("trailing line break") << QByteArray("$ALT\n") << false;
        QTest::newRow("names a file") << QByteArray("$ALT/file") << false;
        QTest::newRow("names nothing") << QByteArray("$ALT/missing") << false;
        QTest::newRow("relative path") << QByteArray("alt") << false;
        QTest::newRow("empty") << QByteArray() << false;
    }
    void redirect()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, followed);
        QTemporaryDir t;
        const QString share = t.filePath("share");
        const QString alt = t.filePath("alt");
        QVERIFY(QDir().mkpath(alt));
        QFile file(alt + "/file");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(QDir().mkpath(share + "/Veltrominex"));
        QFile redirect(share + "/Veltrominex/7D2E91C4A6B84ec3B05F1A8E39D6C2F7.redirect");
        QVERIFY(redirect.open(QIODevice::WriteOnly));
        redirect.write(content.replace("$ALT", alt.toUtf8()));
        redirect.close();

        const QString base = followed ? alt : share + "/Veltrominex";
        QCOMPARE(datadirWith(share), base + "/7D2E91C4A6B84ec3B05F1A8E39D6C2F7");
    }
};

QTEST_GUILESS_MAIN(TestDataFolder)
#include "TestDataFolder.moc"
