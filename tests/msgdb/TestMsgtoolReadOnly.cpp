#include "msgdb/WalHistoryFixture.h"

#include <QDirIterator>
#include <QMap>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Every file below folder, hidden ones too, by relative path, with its bytes.
QMap<QString, QByteArray> snapshot(const QString& folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        files.insert(QDir(folder).relativeFilePath(path), file.open(QIODevice::ReadOnly) ? file.readAll() : "unreadable");
    }
    return files;
}

// What the program's cache still holds of the private copies it made to read.
QStringList leftoverCopies(const QString& cacheHome)
{
    return QDir(cacheHome + QStringLiteral("/msgtool/database-copies")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
}

// The database with the -journal of a transaction still open beside it, as when a phone's
// files are copied while it writes: SQLite would roll the journal back into the file.
bool makeMidTransactionCopy(const QString& path)
{
    const QString work = path + QStringLiteral(".work");
    if (!makeDeviceDb(work))
        return false;
    const CliResult r = python(QStringLiteral(R"(
import shutil, sqlite3, sys
db = sqlite3.connect(sys.argv[1], isolation_level=None)
db.execute('PRAGMA cache_size=1')
db.execute('BEGIN')
db.execute("UPDATE message SET text = 'changed in a transaction'")
shutil.copyfile(sys.argv[1], sys.argv[2])
shutil.copyfile(sys.argv[1] + '-journal', sys.argv[2] + '-journal')
db.execute('ROLLBACK')
)"),
                               {work, path});
    QFile::remove(work);
    if (r.exitCode != 0)
        qWarning("the copy during a transaction failed: %s", r.err.constData());
    return r.exitCode == 0;
}

} // namespace

class TestMsgtoolReadOnly : public QObject
{
    Q_OBJECT

private slots:
    // A phone's files are evidence: reading them, recovering from them, a recovery refused
    // and carving leave every byte of the folder as it was and add nothing beside them.
    void leavesTheInputAsItWas_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QString>("command");
        const QStringList fixtures{"iOS 6, rollback journal", "iOS 6 copied during a transaction", "iOS 6 with a log",
                                   "iOS 6 with a log, database folder", "iOS 5 with a log",
                                   "iOS 6 with 64 KiB pages and a log"};
        for (const QString& fixture : fixtures) {
            for (const char* command : {"dump", "recover", "refused recover", "carve"})
                QTest::newRow(qPrintable(fixture + ", " + command)) << fixture << QString::fromLatin1(command);
        }
    }
    void leavesTheInputAsItWas()
    {
        QFETCH(QString, fixture);
        QFETCH(QString, command);
        QTemporaryDir dir;
        const QString input = dir.filePath(QStringLiteral("input"));
        const bool inFolder = fixture.endsWith(QLatin1String("database folder"));
        const QString db = inFolder ? smsDbPathIn(input) : input + QStringLiteral("/sms.db");
        if (fixture.startsWith(QLatin1String("iOS 6, rollback")))
            QVERIFY(makeDeviceDb(db, {QStringLiteral("--deleted")}));
        else if (fixture.contains(QLatin1String("transaction")))
            QVERIFY(makeMidTransactionCopy(db));
        else if (fixture.startsWith(QLatin1String("iOS 5")))
            QVERIFY(makeWalHistoryDb(db, SmsSchema::IOS5).built);
        else if (fixture.contains(QLatin1String("64 KiB")))
            QVERIFY(makeWalHistoryDb(db, SmsSchema::IOS6, {QStringLiteral("--page-size"), QStringLiteral("65536")}).built);
        else
            QVERIFY(makeWalHistoryDb(db, SmsSchema::IOS6, {QStringLiteral("--later")}).built);
        const QMap<QString, QByteArray> before = snapshot(input);
        QCOMPARE(before.size(), fixture.contains(QLatin1String("log")) ? 3 : fixture.contains(QLatin1String("transaction")) ? 2 : 1);

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const QString cacheHome = env.value(QStringLiteral("XDG_CACHE_HOME"));
        QVERIFY(!cacheHome.isEmpty());
        QTemporaryDir blocked;
        QStringList args{command == QLatin1String("carve") ? QStringLiteral("carve") : command.section(' ', -1),
                         command == QLatin1String("carve") || !inFolder ? db : input};
        if (command == QLatin1String("refused recover")) {
            // The program's cache lies below a file: there is nowhere to keep a store.
            QFile blocker(blocked.filePath(QStringLiteral("file")));
            QVERIFY(blocker.open(QIODevice::WriteOnly));
            env.insert(QStringLiteral("XDG_CACHE_HOME"), blocker.fileName() + QStringLiteral("/cache"));
        }
        const CliResult r = msgtool(args, env);
        QVERIFY2(r.exitCode == (command == QLatin1String("refused recover") ? 1 : 0), r.err.constData());

        QCOMPARE(snapshot(input), before);
        QCOMPARE(leftoverCopies(cacheHome), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestMsgtoolReadOnly)
#include "TestMsgtoolReadOnly.moc"
