#include "BackupFixture.h"
#include "support/BackupFixture.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

// Long enough for a loaded machine under the sanitizers; a run that is not finished by
// then hangs.
constexpr int hangLimitMs = 30000;

QJsonObject oneMessage()
{
    return {{"handles", QJsonArray{QJsonArray{1, "+15550001", "SMS"}}},
            {"chats", QJsonArray{QJsonObject{{"rowid", 1}, {"guid", "SMS;-;+15550001"}, {"identifier", "+15550001"},
                                             {"handles", QJsonArray{1}}}}},
            {"messages", QJsonArray{QJsonObject{{"rowid", 1}, {"guid", "M-1"}, {"date", 1000}, {"handle", 1},
                                                {"chats", QJsonArray{1}}}}}};
}

// Rewrites the keybag inside the backup's Manifest.plist with python's plistlib.
bool damageKeyBag(const QString& folder, const QString& how)
{
    static const QString script = QStringLiteral(R"(
import plistlib, struct, sys
path, how = sys.argv[1], sys.argv[2]
plist = plistlib.load(open(path, "rb"))
bag, items, o = plist["BackupKeyBag"], [], 0
while o + 8 <= len(bag):
    n = struct.unpack(">I", bag[o + 4:o + 8])[0]
    items.append((bag[o:o + 4], bag[o + 8:o + 8 + n]))
    o += 8 + n
def build(items):
    return b"".join(t + struct.pack(">I", len(v)) + v for t, v in items)
if how == "iterations":
    bag = build([(t, struct.pack(">I", 2**31) if t == b"ITER" else v) for t, v in items])
elif how == "no WPKY":
    bag = build([(t, v) for t, v in items if t != b"WPKY"])
elif how == "bogus lengths":
    bag = build([(t, v[:20] if t == b"WPKY" else v) for t, v in items]) + b"WPKY" + struct.pack(">I", 1 << 30)
else:
    bag = b""
plist["BackupKeyBag"] = bag
plistlib.dump(plist, open(path, "wb"))
)");
    const CliResult r = python(script, {QDir(folder).filePath("Manifest.plist"), how});
    if (r.exitCode != 0)
        qWarning() << r.err;
    return r.exitCode == 0;
}

// A binary property list of that many arrays, each holding the next.
bool writeDeepBinaryPlist(const QString& path, int depth)
{
    static const QString script = QStringLiteral(R"(
import struct, sys
path, n = sys.argv[1], int(sys.argv[2])
objects = [b"\xa1" + struct.pack(">I", i + 1) for i in range(n - 1)] + [b"\xa0"]
data, offsets = b"bplist00", []
for o in objects:
    offsets.append(len(data))
    data += o
table = len(data)
data += b"".join(struct.pack(">I", o) for o in offsets)
data += b"\0" * 6 + bytes([4, 4]) + struct.pack(">QQQ", len(objects), 0, table)
open(path, "wb").write(data)
)");
    return python(script, {path, QString::number(depth)}).exitCode == 0;
}

bool replaceWithFifo(const QString& path)
{
    return QFile::remove(path) && ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

struct Run
{
    int exitCode = -1; // -1 after a crash or a hang
    QByteArray out;
    QByteArray err;
};

Run runMsgtool(const QStringList& args, const QString& home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", home + "/data");
    env.insert("XDG_CACHE_HOME", home + "/cache");
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(MSGTOOL_PATH, args);
    if (!p.waitForFinished(hangLimitMs)) {
        p.kill();
        p.waitForFinished();
        qWarning() << "msgtool hangs:" << args;
        return {};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

} // namespace

class TestMsgtoolHostileBackups : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString plainBackup;
    QString encryptedBackup;
    QString source;

private slots:
    void initTestCase()
    {
        plainBackup = dir.filePath("plain");
        encryptedBackup = dir.filePath("encrypted");
        source = dir.filePath("source.db");
        QVERIFY(makeSmsBackup(plainBackup, {{"sms", oneMessage()}}));
        QVERIFY(makeSmsBackup(encryptedBackup, {{"sms", oneMessage()}, {"password", "pw"}}));
        QVERIFY(makeSmsDb(source, oneMessage()));
    }

    // Each column holds what stderr must say, or "" for a run that succeeds; "listed" says
    // whether the backups command still lists the folder.
    void everyBackupCommandRefusesHostileFiles_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<bool>("encrypted");
        QTest::addColumn<QString>("info");
        QTest::addColumn<QString>("copy"); // cache and extract
        QTest::addColumn<QString>("merge");
        QTest::addColumn<bool>("listed");
        const QString plist = "Manifest.plist: the file is damaged";
        const QString wrongPassword = "Wrong password or damaged keybag.";
        const QString encrypted = "The backup is encrypted";
        QTest::newRow("Manifest.plist of 200,000 nested arrays")
            << "deep XML" << false << plist << plist << plist << false;
        QTest::newRow("binary Manifest.plist of 200,000 nested arrays")
            << "deep binary" << false << plist << plist << plist << false;
        QTest::newRow("Manifest.plist that does not parse")
            << "unparsable" << true << plist << plist << plist << false;
        const QString notRegular = "Manifest.plist: it is not a regular file";
        QTest::newRow("FIFO named Manifest.plist") << "FIFO plist" << true << notRegular << notRegular << notRegular
                                                   << false;
        const QString mbdbNotRegular = "Manifest.mbdb: it is not a regular file";
        QTest::newRow("FIFO named Manifest.mbdb") << "FIFO mbdb" << false << "" << mbdbNotRegular << mbdbNotRegular
                                                  << true;
        const QString smsNotRegular = QString(smsDbBackupName) + ": it is not a regular file";
        QTest::newRow("FIFO stored as sms.db") << "FIFO sms.db" << false << "" << smsNotRegular << smsNotRegular
                                               << true;
        QTest::newRow("keybag with 2^31 iterations")
            << "iterations" << true << "keybag is damaged" << "keybag is damaged" << encrypted << true;
        QTest::newRow("keybag without WPKY") << "no WPKY" << true << "" << wrongPassword << encrypted << true;
        QTest::newRow("keybag with bogus lengths") << "bogus lengths" << true << "" << wrongPassword << encrypted
                                                   << true;
        QTest::newRow("empty keybag") << "empty" << true << "" << wrongPassword << encrypted << true;
    }
    void everyBackupCommandRefusesHostileFiles()
    {
        QFETCH(QString, damage);
        QFETCH(bool, encrypted);
        QFETCH(QString, info);
        QFETCH(QString, copy);
        QFETCH(QString, merge);
        QFETCH(bool, listed);

        QTemporaryDir work;
        const QString root = work.filePath("root");
        const QString backup = root + "/backup";
        QVERIFY(copyBackup(encrypted ? encryptedBackup : plainBackup, backup));
        const QString manifestPlist = backup + "/Manifest.plist";
        if (damage == "deep XML")
            QVERIFY(writeFile(manifestPlist, "<plist version=\"1.0\">" + QByteArray("<array>").repeated(200000)
                                                 + QByteArray("</array>").repeated(200000) + "</plist>"));
        else if (damage == "deep binary")
            QVERIFY(writeDeepBinaryPlist(manifestPlist, 200000));
        else if (damage == "unparsable")
            QVERIFY(writeFile(manifestPlist, "<plist version=\"1.0\"><dict><key>IsEncrypted</key><true/>"));
        else if (damage == "FIFO plist")
            QVERIFY(replaceWithFifo(manifestPlist));
        else if (damage == "FIFO mbdb")
            QVERIFY(replaceWithFifo(backup + "/Manifest.mbdb"));
        else if (damage == "FIFO sms.db")
            QVERIFY(replaceWithFifo(backup + "/" + smsDbBackupName));
        else
            QVERIFY(damageKeyBag(backup, damage));
        // Reading a message database sets up the data folder; that is no write of a failed run.
        QCOMPARE(runMsgtool({"dump", source}, work.filePath("home")).exitCode, 0);
        const QString out = work.filePath("out.db");
        const auto before = folderSnapshot(work.path());

        const QString pw = "pw";
        const QList<std::pair<QStringList, QString>> runs = {
            {{"backup-info", backup, "--password", pw}, info},
            {{"cache", backup, "--password", pw}, copy},
            {{"extract", backup, "HomeDomain", "Library/SMS/sms.db", out, "--password", pw}, copy},
            {{"merge", backup, source, "--password", pw}, merge},
        };
        for (const auto& [args, error] : runs) {
            const Run r = runMsgtool(args, work.filePath("home"));
            QVERIFY2(r.exitCode == (error.isEmpty() ? 0 : 1), qPrintable(args.first() + ": " + r.err));
            QVERIFY2(r.err.contains(error.toUtf8()), qPrintable(args.first() + ": " + r.err));
            if (args.first() == "backup-info" && r.exitCode == 0)
                QCOMPARE(QJsonDocument::fromJson(r.out).object()["unlocked"].toBool(), false);
        }
        const Run list = runMsgtool({"backups", root}, work.filePath("home"));
        QCOMPARE(list.exitCode, 0);
        QCOMPARE(QJsonDocument::fromJson(list.out).array().size(), listed ? 1 : 0);
        if (!listed)
            QVERIFY2(list.err.contains(QString("load " + backup + " error.").toUtf8()), list.err.constData());

        QCOMPARE(folderSnapshot(work.path()), before);
    }
};

QTEST_GUILESS_MAIN(TestMsgtoolHostileBackups)
#include "TestMsgtoolHostileBackups.moc"
