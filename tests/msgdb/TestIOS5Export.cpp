#include "support/Cli.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

// An iOS 5 file read, exported into a local database and read back gives the same
// conversations: what a user sees of the phone is what the local database keeps.
namespace {

QJsonObject dump(const QString& path)
{
    const CliResult r = msgtool({"dump", path});
    if (r.exitCode != 0)
        qWarning("%s", r.err.constData());
    return QJsonDocument::fromJson(r.out).object();
}

// The fields a person sees of each message in a conversation, in a stable order (SMS rows
// of iOS 5 get a new GUID at every read, so the GUID is not compared). The exporter leaves
// out messages of no conversation.
QStringList visibleMessages(const QJsonObject& dumped)
{
    QStringList rows;
    for (const QJsonValue& v : dumped.value("messages").toArray()) {
        const QJsonObject m = v.toObject();
        if (m.value("chat").isNull())
            continue;
        rows.append(QStringList{QString::number(m.value("date").toDouble(), 'f', 0), m.value("text").toString(),
                                QString::number(m.value("is_from_me").toInt()), m.value("service").toString(),
                                m.value("handle").toString(), m.value("chat").toString()}
                        .join(QLatin1Char('|')));
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

// Conversations that hold messages (the exporter writes chats of the messages it writes),
// with their members.
QStringList chatIdentities(const QJsonObject& dumped)
{
    QSet<QString> used;
    for (const QJsonValue& v : dumped.value("messages").toArray())
        used.insert(v.toObject().value("chat").toString());
    QStringList ids;
    for (const QJsonValue& v : dumped.value("chats").toArray()) {
        const QJsonObject c = v.toObject();
        if (!used.contains(c.value("chat_identifier").toString()))
            continue;
        QStringList handles;
        for (const QJsonValue& h : c.value("handles").toArray())
            handles.append(h.toString());
        handles.sort();
        ids.append(c.value("chat_identifier").toString() + QLatin1Char('=') + handles.join(QLatin1Char(',')));
    }
    ids.sort();
    return ids;
}

} // namespace

class TestIOS5Export : public QObject
{
    Q_OBJECT

private slots:
    void exportedLocalDatabaseDumpsTheSameMessages()
    {
        QTemporaryDir dir;
        const QString source = dir.filePath("phone");
        const QString file = source + "/file-relay/var/mobile/Library/SMS/sms.db";
        QVERIFY(QDir().mkpath(QFileInfo(file).path()));
        const CliResult built = runCli("python3", {FIXTURES_DIR "/msgdb/ios5_smsdb.py", file});
        QVERIFY2(built.exitCode == 0, built.err.constData());

        const QJsonObject before = dump(source);
        QCOMPARE(before.value("ios_version").toInt(), 5);
        const QStringList messages = visibleMessages(before);
        QVERIFY(messages.size() > 10);

        const QString target = dir.filePath("local");
        const CliResult exported = msgtool({"export", source, target});
        QVERIFY2(exported.exitCode == 0, exported.err.constData());
        const QJsonObject counts = QJsonDocument::fromJson(exported.out).object();
        QCOMPARE(counts.value("written").toInt(), messages.size());
        QCOMPARE(counts.value("skipped").toInt(), before.value("messages").toArray().size() - messages.size());

        const QJsonObject after = dump(target);
        QCOMPARE(after.value("ios_version").toInt(), 6);
        QCOMPARE(visibleMessages(after), messages);
        QCOMPARE(chatIdentities(after), chatIdentities(before));
    }
};

QTEST_GUILESS_MAIN(TestIOS5Export)
#include "TestIOS5Export.moc"
