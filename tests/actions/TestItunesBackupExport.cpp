#include "actions/ItunesBackupExport.h"

#include "ItunesBackupFixture.h"
#include "support/MessageBoxAnswerer.h"

#include "actions/BackupSteps.h"
#include "frame/DataFolder.h"
#include "itunes/BackupManifest.h"
#include "ui/DialogFrontEnd.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

class TestItunesBackupExport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(english.load(":/en.qm"));
        QCoreApplication::installTranslator(&english);
    }

    void mergesFiftyMessagesIntoTheBackupThenNothingMore()
    {
        QTemporaryDir dir;
        const QString backup = dir.filePath("backup");
        QVERIFY(makeSmsBackup(backup, {{"sms", smsDescription(0)}}));
        const QString sourceFolder = dir.filePath("source");
        QVERIFY(QDir().mkpath(QFileInfo(smsDbIn(sourceFolder)).path()));
        QVERIFY(makeSmsDb(smsDbIn(sourceFolder), smsDescription(50)));
        IOS6MessageDb source(QDir(sourceFolder), QString(), false);
        MsgSetPtr set;
        source.messages(set, 0);
        QList<_MsgMessage*> bulk;
        for (_MsgMessage* m : set.messages()) {
            if (m->guid.startsWith("BULK-"))
                bulk << m;
        }
        QCOMPARE(bulk.size(), 50);

        BackupManifest manifest(backup);
        manifest.loadPlist();
        MessageBoxAnswerer answerer;
        DialogFrontEnd frontEnd(nullptr);
        BackupMergeCounts counts;
        QCOMPARE(exportToItunesBackup(manifest, bulk, frontEnd, counts).result, WorkerOutcome::Succeeded);
        QCOMPARE(counts.merged, 50);
        QCOMPARE(answerer.texts.last(), QString("Successfully recovered 50 SMS to iPhone."));

        const QString db = QDir(backup).filePath(smsDbBackupName);
        QCOMPARE(sqliteCli(db, "select count(*) || ' ' || count(distinct guid) || ' ' || sum(guid like 'BULK-%') "
                               "from message"),
                 QByteArray("55 55 50"));
        QCOMPARE(sqliteCli(db, "select count(*) from chat_message_join"), QByteArray("55"));
        const QMap<QString, QJsonObject> records = readManifest(QDir(backup).filePath("Manifest.mbdb"));
        QCOMPARE(records.value(smsDbBackupName)["path"].toString(), QString("Library/SMS/sms.db"));
        QCOMPARE(records.value(smsDbBackupName)["digest"].toString().toLatin1(), sha1Hex(db));
        const QStringList kept = keptFiles(backup);
        QCOMPARE(kept.size(), 2);
        const QRegularExpression keptName(QString("^(%1|Manifest\\.mbdb)-\\d{10}$").arg(smsDbBackupName));
        for (const QString& name : kept)
            QVERIFY2(keptName.match(name).hasMatch(), qPrintable(name));
        const QString original =
            QDir(backup).filePath(kept.first().startsWith("Manifest") ? kept.last() : kept.first());
        QCOMPARE(sqliteCli(original, "select count(*) from message"), QByteArray("5"));

        // Again, with the backup chosen anew: it holds every message already, the box says so,
        // and nothing in the backup is written.
        const QByteArray dbBefore = sha1Hex(db);
        const QByteArray manifestBefore = sha1Hex(QDir(backup).filePath("Manifest.mbdb"));
        BackupManifest again(backup);
        again.loadPlist();
        QCOMPARE(exportToItunesBackup(again, bulk, frontEnd, counts).result, WorkerOutcome::Succeeded);
        QCOMPARE(counts.merged, 0);
        QCOMPARE(answerer.texts.last(), QString("No SMS was added: the iTunes backup already has all of them."));
        QCOMPARE(sqliteCli(db, "select count(*) from message"), QByteArray("55"));
        QCOMPARE(sha1Hex(db), dbBefore);
        QCOMPARE(sha1Hex(QDir(backup).filePath("Manifest.mbdb")), manifestBefore);
        QCOMPARE(keptFiles(backup), kept);
    }

    void encryptedBackupIsRefusedUntouched()
    {
        QTemporaryDir dir;
        const QString backup = dir.filePath("backup");
        QVERIFY(makeSmsBackup(backup, {{"sms", smsDescription(0)}, {"password", "secret"}}));
        const auto before = folderSnapshot(backup);
        MsgSetPtr set;

        BackupManifest manifest(backup);
        manifest.loadPlist();
        QVERIFY(manifest.isEncrypted);
        MessageBoxAnswerer answerer;
        DialogFrontEnd frontEnd(nullptr);
        BackupMergeCounts counts;
        QCOMPARE(exportToItunesBackup(manifest, set.messages(), frontEnd, counts).result, WorkerOutcome::Failed);
        QCOMPARE(answerer.texts, QStringList{"Failed to export SMS to iTunes backup because your current iTunes "
                                             "backup is encrypted."});
        QCOMPARE(folderSnapshot(backup), before);
        QVERIFY(!QFileInfo::exists(appDataDir().filePath("itunes_cache/" + manifest.cacheKey())));
    }

private:
    QTranslator english;
};

QTEST_MAIN(TestItunesBackupExport)
#include "TestItunesBackupExport.moc"
