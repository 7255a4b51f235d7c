#include "itunes/BackupRootScan.h"

#include "itunes/BackupManifest.h"
#include "itunes/ItemModelLoadBk.h"
#include "support/BackupFixture.h"
#include "support/Cli.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

namespace {

QDateTime may(int day)
{
    return QDateTime(QDate(2024, 5, day), QTime(9, 30), Qt::UTC);
}

QJsonArray backupsJson(const QStringList& args, QByteArray* err = nullptr)
{
    const CliResult r = msgtool(QStringList{"backups"} + args);
    if (err)
        *err = r.err;
    if (r.exitCode != 0)
        qWarning() << r.err;
    return QJsonDocument::fromJson(r.out).array();
}

} // namespace

class TestBackupRootScan : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    // Three backups, one of them encrypted, beside a folder that is not a backup and one
    // whose Manifest.plist cannot be read.
    void initTestCase()
    {
        const QDir root(dir.path());
        QVERIFY(makeBackup(root.filePath("aaa111"), {"aaa111", "First", may(1)}));
        QVERIFY(makeBackup(root.filePath("ccc333"), {"ccc333", "Third", may(3), "pw"}));
        QVERIFY(makeBackup(root.filePath("bbb222"), {"bbb222", "Second", may(2)}));
        QVERIFY(root.mkpath("only-mbdb"));
        QVERIFY(writeFile(root.filePath("only-mbdb/Manifest.mbdb"), {}));
        QVERIFY(root.mkpath("broken"));
        QVERIFY(writeFile(root.filePath("broken/Manifest.mbdb"), {}));
        QVERIFY(root.mkpath("broken/Manifest.plist"));
    }

    void failuresAreHandedOnAndTheScanGoesOn()
    {
        ItemModelLoadBk model;
        QStringList failed;
        scanBackupRoot(QDir(dir.path()), model,
                       [&](const QString& folder, const QString& error) { failed << folder << error; });
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(failed.size(), 2);
        QCOMPARE(failed.at(0), QDir(dir.path()).absoluteFilePath("broken"));
        QVERIFY(!failed.at(1).isEmpty());
    }

    void missingRootListsNothing()
    {
        ItemModelLoadBk model;
        int failures = 0;
        scanBackupRoot(QDir(dir.filePath("missing")), model, [&](const QString&, const QString&) { ++failures; });
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(failures, 0);
    }

    void msgtoolListsNewestFirst()
    {
        QByteArray err;
        const QJsonArray list = backupsJson({dir.path()}, &err);
        QCOMPARE(list.size(), 3);
        const QJsonObject newest = list.at(0).toObject();
        QCOMPARE(newest.value("folder").toString(), QDir(dir.path()).absoluteFilePath("ccc333"));
        QCOMPARE(newest.value("udid").toString(), QStringLiteral("ccc333"));
        QCOMPARE(newest.value("device_name").toString(), QStringLiteral("Third"));
        QCOMPARE(newest.value("product_type").toString(), QStringLiteral("iPhone5,2"));
        QCOMPARE(newest.value("product_version").toString(), QStringLiteral("7.1.2"));
        QCOMPARE(QDateTime::fromString(newest.value("date").toString(), Qt::ISODate), may(3));
        QCOMPARE(newest.value("encrypted").toBool(), true);
        QCOMPARE(list.at(1).toObject().value("udid").toString(), QStringLiteral("bbb222"));
        QCOMPARE(list.at(2).toObject().value("udid").toString(), QStringLiteral("aaa111"));
        QCOMPARE(list.at(2).toObject().value("encrypted").toBool(), false);
        QVERIFY2(err.contains("load " + QDir(dir.path()).absoluteFilePath("broken").toUtf8() + " error."),
                 err.constData());
    }

    void msgtoolDefaultsToTheDefaultBackupRoot()
    {
        QDir root = BackupManifest::defaultBackupRoot();
        QVERIFY(root.mkpath(QStringLiteral(".")));
        QVERIFY(copyBackup(QDir(dir.path()).filePath("aaa111"), root.filePath("default")));
        const QJsonArray list = backupsJson({});
        QCOMPARE(list.size(), 1);
        QCOMPARE(list.at(0).toObject().value("folder").toString(), root.absoluteFilePath("default"));
        QVERIFY(root.removeRecursively());
    }

    void msgtoolTakesOneRootAtMost()
    {
        QCOMPARE(msgtool({"backups", dir.path(), dir.path()}).exitCode, 2);
    }
};

QTEST_MAIN(TestBackupRootScan)
#include "TestBackupRootScan.moc"
