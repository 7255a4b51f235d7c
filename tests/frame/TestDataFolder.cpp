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

    // The data folder msgtool found, and what it logged.
    struct Datadir
    {
        QString path;
        QByteArray log;
    };

    Datadir datadirWith(const QString& dataHome)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", dataHome);
        const CliResult r = msgtool({"datadir"}, env);
        if (r.exitCode != 0)
            return {QStringLiteral("exit %1: %2").arg(r.exitCode).arg(QString::fromUtf8(r.err)), r.err};
        return {QJsonDocument::fromJson(r.out).object().value("datadir").toString(), r.err};
    }

    static int otherUsersBits(const QString& path) { return int(QFileInfo(path).permissions() & 0x0077); }

private slots:
    void defaultFolderIsPrivate()
    {
        QTemporaryDir t;
        const QString share = t.filePath("share");
        const Datadir found = datadirWith(share);
        QCOMPARE(found.path, share + "/Veltrominex/7D2E91C4A6B84ec3B05F1A8E39D6C2F7");
        QVERIFY(QFileInfo(found.path).isDir());
        // The user bits (0x700) are all set; no group or other bit is.
        QCOMPARE(int(QFileInfo(share + "/Veltrominex").permissions() & 0x0777), 0x0700);
        QCOMPARE(int(QFileInfo(found.path).permissions() & 0x0777), 0x0700);
        QCOMPARE(found.log, QByteArray());
    }

    // Made by someone else, or by an older version, with the usual mode: closed, and said.
    void openFolderIsClosed_data()
    {
        QTest::addColumn<bool>("redirected");
        QTest::newRow("below the default base") << false;
        QTest::newRow("below a redirected base") << true;
    }
    void openFolderIsClosed()
    {
        QFETCH(bool, redirected);
        QTemporaryDir t;
        const QString share = t.filePath("share");
        const QString base = redirected ? t.filePath("alt") : share + "/Veltrominex";
        const QString data = base + "/7D2E91C4A6B84ec3B05F1A8E39D6C2F7";
        QVERIFY(QDir().mkpath(data));
        QVERIFY(QDir().mkpath(share + "/Veltrominex"));
        for (const QString& folder : {share + "/Veltrominex", base, data})
            QVERIFY(QFile::setPermissions(folder, QFile::Permissions(0x7755)));
        if (redirected) {
            QFile redirect(share + "/Veltrominex/7D2E91C4A6B84ec3B05F1A8E39D6C2F7.redirect");
            QVERIFY(redirect.open(QIODevice::WriteOnly));
            redirect.write(base.toUtf8());
        }

        const Datadir found = datadirWith(share);
        QCOMPARE(found.path, data);
        QCOMPARE(otherUsersBits(data), 0);
        QVERIFY2(found.log.contains("closed \"" + data.toUtf8() + "\" to other users"), found.log.constData());
        // Above the data folder nothing is the program's to change.
        QCOMPARE(otherUsersBits(base), 0x0055);
        QCOMPARE(datadirWith(share).log, QByteArray());
    }

    void redirect_data()
    {
        QTest::addColumn<QByteArray>("content"); // "$ALT" stands for an existing folder
        QTest::addColumn<bool>("followed");
        QTest::newRow("an existing folder") << QByteArray("$ALT") << true;
        QTest::newRow("cut at the first NUL") << QByteArray("$ALT\0junk", 9) << true;
        QTest::newRow("ended by a line break") << QByteArray("$ALT\n") << true;
        QTest::newRow("ended by CR LF") << QByteArray("$ALT\r\n") << true;
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
        const Datadir found = datadirWith(share);
        QCOMPARE(found.path, base + "/7D2E91C4A6B84ec3B05F1A8E39D6C2F7");
        // A redirect file that is there but not followed is never passed over in silence.
        QCOMPARE(found.log.contains("redirect"), !followed);
        if (!followed)
            QVERIFY2(found.log.contains("is not followed"), found.log.constData());
    }
};

QTEST_GUILESS_MAIN(TestDataFolder)
#include "TestDataFolder.moc"
