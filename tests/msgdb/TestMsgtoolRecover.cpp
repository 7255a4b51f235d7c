#include "msgdb/DeletedHistoryFixture.h"
#include "msgdb/WalHistoryFixture.h"
#include "support/Cli.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

QJsonArray messagesOf(const QByteArray& json)
{
    return QJsonDocument::fromJson(json).object().value(QLatin1String("messages")).toArray();
}

// "rowid text" of every message that is not deleted, in the order given.
QStringList liveMessages(const QJsonArray& messages)
{
    QStringList live;
    for (const QJsonValue& m : messages) {
        if (!m[QLatin1String("deleted")].toBool())
            live << QString::number(m[QLatin1String("rowid")].toInteger()) + QLatin1Char(' ') + m[QLatin1String("text")].toString();
    }
    return live;
}

} // namespace

Q_DECLARE_METATYPE(SmsSchema)

class TestMsgtoolRecover : public QObject
{
    Q_OBJECT

private slots:
    void dumpsWithTheDeletedMessages_data()
    {
        QTest::addColumn<SmsSchema>("schema");
        // Where the database lies below the temporary folder, and the path given to msgtool.
        QTest::addColumn<bool>("bareFile");
        QTest::newRow("iOS 6 database folder") << SmsSchema::IOS6 << false;
        QTest::newRow("iOS 6 file outside a database folder") << SmsSchema::IOS6 << true;
        QTest::newRow("iOS 5 database folder") << SmsSchema::IOS5 << false;
        QTest::newRow("iOS 5 file outside a database folder") << SmsSchema::IOS5 << true;
    }

    void dumpsWithTheDeletedMessages()
    {
        QFETCH(SmsSchema, schema);
        QFETCH(bool, bareFile);
        QTemporaryDir dir;
        // Text -> date of the deleted messages the file still holds.
        QHash<QString, qint64> recoverable;
        QStringList liveGuids;
        if (schema == SmsSchema::IOS6) {
            const DeletedHistory history = makeDeletedHistoryDb(dir.path());
            QVERIFY(history.built && history.mostSurvived());
            for (const QString& guid : history.recoverable)
                recoverable.insert(history.messages.value(guid), 0);
            liveGuids = sqliteColumn(smsDbPathIn(dir.path()), "select guid from message");
        } else {
            const IOS5DeletedHistory history = makeIOS5DeletedHistoryDb(dir.path());
            QVERIFY(history.built && history.mostSurvived());
            recoverable = history.recoverable;
        }
        QString path = dir.path();
        QString storeFolder = dir.path();
        if (bareFile) {
            storeFolder = dir.filePath(QStringLiteral("bare"));
            path = storeFolder + QStringLiteral("/sms.db");
            QVERIFY(QDir().mkpath(storeFolder));
            QVERIFY(QFile::rename(smsDbPathIn(dir.path()), path));
        }

        const CliResult dump = msgtool({QStringLiteral("dump"), path});
        QCOMPARE(dump.exitCode, 0);
        const CliResult first = msgtool({QStringLiteral("recover"), path});
        QVERIFY2(first.exitCode == 0, first.err.constData());
        // Kept in the program's cache, one store per input, never beside the input.
        const QString store = QJsonDocument::fromJson(first.out)[QLatin1String("recycle_store")].toString();
        QVERIFY(QFileInfo::exists(store));
        const QByteArray inputHash =
            QCryptographicHash::hash(QFileInfo(path).absoluteFilePath().toUtf8(), QCryptographicHash::Sha1).toHex();
        QCOMPARE(QFileInfo(store).dir().dirName(), QString::fromLatin1(inputHash));
        QVERIFY(!QFileInfo::exists(storeFolder + QStringLiteral("/recycle.db")));

        const QJsonArray messages = messagesOf(first.out);
        QCOMPARE(liveMessages(messages), liveMessages(messagesOf(dump.out)));
        qsizetype deleted = 0;
        for (const QJsonValue& m : messages) {
            if (!m[QLatin1String("deleted")].toBool())
                continue;
            ++deleted;
            const QString text = m[QLatin1String("text")].toString();
            QVERIFY2(recoverable.contains(text), qPrintable(text));
            QVERIFY(!liveGuids.contains(m[QLatin1String("guid")].toString()));
            QVERIFY(m[QLatin1String("rowid")].toInteger() < 0);
            QVERIFY(!m[QLatin1String("chat")].isNull());
            if (schema == SmsSchema::IOS5)
                QCOMPARE(m[QLatin1String("date")].toInteger(), recoverable.value(text));
        }
        QVERIFY2(deleted * 100 >= recoverable.size() * 95, qPrintable(QString::number(deleted)));

        const QByteArray stored = sqliteCli(store, "select count(*) from message");
        const CliResult second = msgtool({QStringLiteral("recover"), path});
        QCOMPARE(second.exitCode, 0);
        QCOMPARE(sqliteCli(store, "select count(*) from message"), stored);
        QCOMPARE(messagesOf(second.out).size(), messages.size());
    }

    // Written, committed, deleted and committed again with no checkpoint: the rows are only
    // in the log's older page images, and come back once each beside the live ones.
    void returnsWhatOnlyTheLogHolds_data()
    {
        QTest::addColumn<SmsSchema>("schema");
        QTest::newRow("iOS 6") << SmsSchema::IOS6;
        QTest::newRow("iOS 5") << SmsSchema::IOS5;
    }
    void returnsWhatOnlyTheLogHolds()
    {
        QFETCH(SmsSchema, schema);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("sms.db"));
        const WalHistory history = makeWalHistoryDb(path, schema);
        QVERIFY(history.built);

        const CliResult r = msgtool({QStringLiteral("recover"), path});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QHash<QString, QJsonObject> deleted;
        QStringList live;
        for (const QJsonValue& m : messagesOf(r.out)) {
            const QString text = m[QLatin1String("text")].toString();
            if (!m[QLatin1String("deleted")].toBool()) {
                live << text;
                continue;
            }
            QVERIFY2(!deleted.contains(text), qPrintable("twice: " + text));
            deleted.insert(text, m.toObject());
        }
        QCOMPARE(deleted.size(), history.deleted.size());
        for (const QJsonValue& expected : history.deleted) {
            const QJsonObject found = deleted.value(expected[QLatin1String("text")].toString());
            QVERIFY2(!found.isEmpty(), qPrintable(expected[QLatin1String("text")].toString()));
            QCOMPARE(found.value(QLatin1String("date")).toInteger(), expected[QLatin1String("date")].toInteger());
            QCOMPARE(found.value(QLatin1String("is_from_me")).toInteger(), expected[QLatin1String("from_me")].toInteger());
            if (schema == SmsSchema::IOS6)
                QCOMPARE(found.value(QLatin1String("guid")).toString(), expected[QLatin1String("guid")].toString());
        }
        for (const QString& text : history.live)
            QVERIFY2(live.contains(text) && !deleted.contains(text), qPrintable(text));
    }

    // Page numbers no file could reach must not make the replay of the log grow without end.
    void damagedLogIsReadAsFarAsItGoes()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("sms.db"));
        QVERIFY(makeWalHistoryDb(path, SmsSchema::IOS6).built);
        QFile log(path + QStringLiteral("-wal"));
        QVERIFY(log.open(QIODevice::ReadWrite));
        const qint64 frameSize = 24 + 4096;
        for (const auto& [frame, pageNo] : {std::pair{0, "\x7f\xff\xff\xff"}, std::pair{1, "\xff\xff\xff\xff"}}) {
            QVERIFY(log.seek(32 + frame * frameSize));
            QCOMPARE(log.write(pageNo, 4), 4);
        }
        log.close();

        const CliResult r = msgtool({QStringLiteral("recover"), path});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QVERIFY(!messagesOf(r.out).isEmpty());
    }

    void failures_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("no path") << "ios6" << QStringList{} << 2 << "expected one PATH";
        QTest::newRow("no database there") << "none" << QStringList{"DIR/nothing"} << 1 << "no message database at";
        QTest::newRow("neither schema") << "other" << QStringList{"DIR/other.db"} << 1
                                        << "not a message database: ";
        QTest::newRow("the program's cache cannot be made") << "ios6 cache-below-file" << QStringList{"DIR"} << 1
                                                             << "cannot ";
    }

    void failures()
    {
        QFETCH(QString, setup);
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QTemporaryDir dir;
        if (setup.startsWith(QLatin1String("ios6")))
            QVERIFY(makeDeletedHistoryDb(dir.path()).built);
        if (setup == QLatin1String("other"))
            QCOMPARE(sqliteCli(dir.filePath(QStringLiteral("other.db")), "create table t(a)"), QByteArray());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        QTemporaryDir home;
        if (setup.endsWith(QLatin1String("cache-below-file"))) {
            QFile blocker(home.filePath(QStringLiteral("file")));
            QVERIFY(blocker.open(QIODevice::WriteOnly));
            env.insert(QStringLiteral("XDG_CACHE_HOME"), blocker.fileName() + QStringLiteral("/cache"));
        }
        args.replaceInStrings(QStringLiteral("DIR"), dir.path());

        const CliResult r = msgtool(QStringList{QStringLiteral("recover")} + args, env);
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY(r.out.isEmpty());
        // The worker's error reaches stderr twice: through the headless error box, then as the reason.
        const QByteArray reason = r.err.mid(r.err.lastIndexOf("msgtool: "));
        QVERIFY2(reason.startsWith("msgtool: ") && reason.contains(message.toUtf8()), r.err.constData());
    }
};

QTEST_GUILESS_MAIN(TestMsgtoolRecover)
#include "TestMsgtoolRecover.moc"
