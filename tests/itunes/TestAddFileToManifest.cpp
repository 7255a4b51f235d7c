#include "itunes/AddFileToManifest.h"
#include "itunes/MbdbFile.h"
#include "support/Cli.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString mbdbScript = QStringLiteral(FIXTURES_DIR "/itunes/mbdb.py");
const QString attachmentPath = QStringLiteral("Library/SMS/Attachments/ab/01/a.jpg");

MbdbRecord record(const QString& domain, const QString& path, quint64 inode)
{
    MbdbRecord r;
    r.domain = MbdbString::fromText(domain);
    r.path = MbdbString::fromText(path);
    r.inode = inode;
    return r;
}

void insert(MbdbMap& map, const MbdbRecord& r)
{
    map.insert(r.fileHash(), r);
}

void writeFile(const QString& path, const QByteArray& data, qint64 mtime)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(data), data.size());
    QVERIFY(f.flush());
    QVERIFY(f.setFileTime(QDateTime::fromSecsSinceEpoch(mtime), QFileDevice::FileModificationTime));
}

// The written manifest as the independent reader sees it, keyed by path.
QHash<QString, QJsonObject> readBack(MbdbMap& map, const QString& manifest)
{
    QList<MbdbRecord> list = map.values();
    writeMbdb(list, manifest);
    const CliResult r = runCli("python3", {mbdbScript, "read", manifest});
    QHash<QString, QJsonObject> byPath;
    for (const QJsonValue& v : QJsonDocument::fromJson(r.out).array())
        byPath.insert(v["path"].toString(), v.toObject());
    return byPath;
}

QString sha1sum(const QString& path)
{
    return QString::fromLatin1(runCli("sha1sum", {path}).out.left(40));
}

} // namespace

class TestAddFileToManifest : public QObject
{
    Q_OBJECT

private slots:
    void addsMissingFoldersAndTheFile()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("942a3d78076e74478d74739618a8b1e520826547");
        writeFile(file, "picture", 1500000000);
        MbdbMap map;
        insert(map, record("MediaDomain", "Library/SMS", 0x100000007));   // low bits 7
        insert(map, record("HomeDomain", "Library/Other", 0xFFFFFFFF));   // low bits -1 as signed
        insert(map, record("MediaDomain", "Library", 3));

        addFileToManifest(map, file, "MediaDomain", attachmentPath);

        QCOMPARE(map.size(), 7);
        const auto records = readBack(map, dir.filePath("Manifest.mbdb"));
        const QStringList added = {"Library/SMS/Attachments/ab/01", "Library/SMS/Attachments/ab",
                                   "Library/SMS/Attachments", attachmentPath};
        for (int i = 0; i < added.size(); ++i) {
            const QJsonObject r = records.value(added[i]);
            QCOMPARE(r["domain"].toString(), QString("MediaDomain"));
            QCOMPARE(r["file_hash"].toString(), backupFileHash("MediaDomain", added[i]));
            QCOMPARE(r["inode"].toInteger(), 8 + i);
            QCOMPARE(r["uid"].toInt(), 501);
            QCOMPARE(r["gid"].toInt(), 501);
            QCOMPARE(r["pclass"].toInt(), 4);
            QCOMPARE(r["mtime"].toInteger(), 1500000000);
            QCOMPARE(r["atime"].toInteger(), 1500000000);
            QCOMPARE(r["target"], QJsonValue(QJsonValue::Null));
            QCOMPARE(r["key"], QJsonValue(QJsonValue::Null));
        }
        const QJsonObject folder = records.value("Library/SMS/Attachments");
        QCOMPARE(folder["mode"].toInt(), 0x41C0);
        QCOMPARE(folder["size"].toInt(), 0);
        QCOMPARE(folder["digest"], QJsonValue(QJsonValue::Null));
        const QJsonObject addedFile = records.value(attachmentPath);
        QCOMPARE(addedFile["mode"].toInt(), 0x81A4);
        QCOMPARE(addedFile["size"].toInt(), 7);
        QCOMPARE(addedFile["digest"].toString(), sha1sum(file));
        QCOMPARE(records.value("Library/SMS")["inode"].toInteger(), 0x100000007);
    }

    void addingAgainRefreshesOnlyDigestAndTimes()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("sms");
        writeFile(file, "old content", 1500000000);
        MbdbMap map;
        MbdbRecord existing = record("HomeDomain", "Library/SMS/sms.db", 99);
        existing.mode = 0x8180;
        existing.userId = 0;
        existing.groupId = 20;
        existing.size = 5;
        existing.protectionClass = 3;
        existing.encryptionKey.setBytes("key");
        insert(map, existing);
        insert(map, record("HomeDomain", "Library/SMS", 98));
        addFileToManifest(map, file, "HomeDomain", "Library/SMS/sms.db");
        writeFile(file, "new, longer content", 1600000000);
        addFileToManifest(map, file, "HomeDomain", "Library/SMS/sms.db");

        QCOMPARE(map.size(), 2);
        const auto records = readBack(map, dir.filePath("Manifest.mbdb"));
        const QJsonObject r = records.value("Library/SMS/sms.db");
        QCOMPARE(r["digest"].toString(), sha1sum(file));
        QCOMPARE(r["mtime"].toInteger(), 1600000000);
        QCOMPARE(r["atime"].toInteger(), 1600000000);
        QCOMPARE(r["size"].toInt(), 5);
        QCOMPARE(r["mode"].toInt(), 0x8180);
        QCOMPARE(r["inode"].toInt(), 99);
        QCOMPARE(r["uid"].toInt(), 0);
        QCOMPARE(r["gid"].toInt(), 20);
        QCOMPARE(r["pclass"].toInt(), 3);
        QCOMPARE(r["key"].toString(), QString("6b6579"));
    }

    void inodesContinueAboveTheLargestSigned32BitValue()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("x");
        writeFile(file, "x", 1500000000);
        MbdbMap map;
        insert(map, record("HomeDomain", "a", 0x7FFFFFFF));
        addFileToManifest(map, file, "HomeDomain", "Library/x");
        QCOMPARE(map.value(backupFileHash("HomeDomain", "Library")).inode, quint64(0x80000000));
        QCOMPARE(map.value(backupFileHash("HomeDomain", "Library/x")).inode, quint64(0x80000001));
    }

    void unreadableFileGetsAnEmptyDigest()
    {
        QTemporaryDir dir;
        MbdbMap map;
        addFileToManifest(map, dir.filePath("missing"), "HomeDomain", "top.db");
        QCOMPARE(map.size(), 1);
        const MbdbRecord r = map.value(backupFileHash("HomeDomain", "top.db"));
        QCOMPARE(r.digest.length, 0);
        QCOMPARE(r.inode, quint64(1));
    }
};

QTEST_GUILESS_MAIN(TestAddFileToManifest)
#include "TestAddFileToManifest.moc"
