// Deleting one conversation from a local database through DeleteMessagesThread, as the
// window's delete does, against plain SQL deleting the same rows set-wise on a copy of the
// same file, in paired runs. The database holds the conversation and as many messages
// again in 99 other chats, so both grow together. Bounds: the conversation four times
// larger (argument: the smaller size, 5,000 by default) takes at most 6x as long, and
// the ratio to plain SQL grows at most 1.5x. Exits 1 when a bound is missed, 2 when the
// run itself fails.
#include "BenchSupport.h"
#include "MessageDbFill.h"

#include "frame/MessageBox.h"
#include "frame/ProgressForm.h"
#include "model/MsgChat.h"
#include "msgdb/DeleteMessagesThread.h"
#include "msgdb/IOS6MessageDb.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <optional>
#include <vector>

namespace {

constexpr int chatCount = 100;
constexpr qint64 deletedChat = 1;
constexpr double allowedTimeGrowth = 6.0;

// Messages 1 to %1 in chat 1, then %1 more over chats 2 to 100, each chat with its handle.
const QString fillSql = QStringLiteral(
    "BEGIN;"
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %2) "
    "INSERT INTO handle(ROWID, id, country, service) "
    "SELECT i, '+1415555' || substr('0000' || i, -4), 'us', 'SMS' FROM n;"
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %2) "
    "INSERT INTO chat(ROWID, guid, chat_identifier, service_name, _last) "
    "SELECT i, 'SMS;-;' || i, '+1415555' || substr('0000' || i, -4), 'SMS', 0 FROM n;"
    "INSERT INTO chat_handle_join SELECT ROWID, ROWID FROM chat;"
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2 * %1) "
    "INSERT INTO message(ROWID, guid, text, handle_id, service, date, is_from_me, logic_hash) "
    "SELECT i, 'GUID-' || substr('00000000' || i, -8), 'Message number ' || i || ' with some ordinary text in it', "
    "CASE WHEN i <= %1 THEN 1 ELSE 2 + i % (%2 - 1) END, 'SMS', 400000000 + i, (i & 1), hex(randomblob(16)) FROM n;"
    "INSERT INTO chat_message_join SELECT handle_id, ROWID FROM message;"
    "COMMIT;");

// The same rows gone, set-wise, with the orphan trigger set aside and put back.
const char baselineSql[] =
    "BEGIN;"
    "DROP TRIGGER clean_orphaned_messages;"
    "DELETE FROM message WHERE ROWID IN (SELECT message_id FROM chat_message_join WHERE chat_id = 1);"
    "DELETE FROM chat_message_join WHERE chat_id = 1;"
    "DELETE FROM chat WHERE ROWID = 1;"
    "CREATE TRIGGER clean_orphaned_messages AFTER DELETE ON chat_message_join BEGIN DELETE FROM message WHERE "
    "(SELECT 1 FROM chat_message_join WHERE message_id = message.ROWID LIMIT 1) IS NULL; END;"
    "COMMIT;";

// A filled local database of a conversation of `size` messages, kept for the rounds.
std::optional<QString> makeTemplate(const QDir& root, int size)
{
    const QDir folder(root.filePath(QStringLiteral("template-%1").arg(size)));
    IOS6MessageDb created{folder, QString(), true};
    created.initDb();
    const QString path = created.databasePath();
    created.close();
    if (!runShell({path, fillSql.arg(size).arg(chatCount)}))
        return std::nullopt;
    return path;
}

// One deletion of the conversation and one of the baseline, each on its own copy.
std::optional<PairMs> deleteOnce(const QString& templatePath, int size)
{
    QTemporaryDir work;
    const QDir ours(work.filePath(QStringLiteral("ours")));
    IOS6MessageDb database{ours, QString(), false};
    const QString baselinePath = work.filePath(QStringLiteral("baseline.db"));
    if (!ours.mkpath(QFileInfo(database.databasePath()).path()) || !QFile::copy(templatePath, database.databasePath())
        || !QFile::copy(templatePath, baselinePath))
        return std::nullopt;

    MsgSetPtr set;
    database.messages(set, deletedChat);
    const _MsgChat* chat = set.data()->chats.value(deletedChat);
    const QList<_MsgMessage*> messages = chat ? chat->messages.values() : QList<_MsgMessage*>();
    if (messages.size() != size) {
        std::fprintf(stderr, "the conversation holds %lld messages, not %d\n", qint64(messages.size()), size);
        return std::nullopt;
    }
    ProgressForm form(QString(), nullptr);
    DeleteMessagesThread thread(&database, &messages, &form, nullptr);
    const double oursMs = timeMs([&] {
        thread.start();
        thread.wait();
    });
    QCoreApplication::processEvents();
    if (form.result() != 1) {
        std::fprintf(stderr, "the deletion failed: %s\n", qUtf8Printable(form.error().value_or(QString())));
        return std::nullopt;
    }

    Sqlite3DB baseline;
    baseline.openThrow(baselinePath, Sqlite3DB::ReadWrite);
    QString error;
    int rc = 0;
    const double baselineMs = timeMs([&] { rc = baseline.exec(QString::fromLatin1(baselineSql), error); });
    if (rc != 0) {
        std::fprintf(stderr, "the baseline failed: %s\n", qUtf8Printable(error));
        return std::nullopt;
    }
    return PairMs{baselineMs, oursMs};
}

PairedTimes paired(const std::vector<PairMs>& runs)
{
    size_t i = 0;
    return pairedRounds(int(runs.size()), [&] { return runs[i++]; });
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // A failure is printed, never shown in a box that waits for a click.
    setHeadlessMessageBoxes(true);
    const int small = argc > 1 && QByteArray(argv[1]).toInt() > 0 ? QByteArray(argv[1]).toInt() : 5000;
    const int large = 4 * small;

    QTemporaryDir root;
    const std::optional<QString> smallTemplate = makeTemplate(QDir(root.path()), small);
    const std::optional<QString> largeTemplate = makeTemplate(QDir(root.path()), large);
    if (!smallTemplate || !largeTemplate)
        return 2;

    // The two sizes alternate, so that a busy machine slows both alike.
    std::vector<PairMs> smallRuns, largeRuns, growthRuns;
    for (int round = 0; round < roundsFor(large); ++round) {
        const std::optional<PairMs> s = deleteOnce(*smallTemplate, small);
        const std::optional<PairMs> l = deleteOnce(*largeTemplate, large);
        if (!s || !l)
            return 2;
        smallRuns.push_back(*s);
        largeRuns.push_back(*l);
        growthRuns.push_back({s->oursMs, l->oursMs});
    }
    const PairedTimes smallTimes = paired(smallRuns);
    const PairedTimes largeTimes = paired(largeRuns);
    printSize("delete conversation", small, smallTimes);
    printSize("delete conversation", large, largeTimes);

    Bounds bounds;
    bounds.check(QStringLiteral("delete time growth from %1 to %2 messages").arg(small).arg(large),
                 paired(growthRuns).ratio, allowedTimeGrowth);
    bounds.check(QStringLiteral("delete ratio growth from %1 to %2 messages").arg(small).arg(large),
                 largeTimes.ratio / smallTimes.ratio, allowedGrowth);
    return bounds.exitCode();
}
