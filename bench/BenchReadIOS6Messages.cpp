// Reading 100,000 messages of a local database through IOS6MessageDb::messages against
// the sqlite3 shell selecting the same joined rows. Prints the ratio; exits 1 above 3.
#include "msgdb/IOS6MessageDb.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <limits>

namespace {

constexpr int messageCount = 100000;
constexpr int chatCount = 100;
constexpr int rounds = 3;
constexpr double allowedRatio = 3.0;

const QString fillSql = QStringLiteral(
    "BEGIN;"
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %2) "
    "INSERT INTO handle(ROWID, id, country, service) SELECT i, '+1415555' || substr('0000' || i, -4), 'us', 'SMS' FROM n;"
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %2) "
    "INSERT INTO chat(ROWID, guid, chat_identifier, service_name, _last) "
    "SELECT i, 'SMS;-;' || i, '+1415555' || substr('0000' || i, -4), 'SMS', 0 FROM n;"
    "INSERT INTO chat_handle_join SELECT ROWID, ROWID FROM chat;"
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
    "INSERT INTO message(ROWID, guid, text, handle_id, service, date, is_from_me, logic_hash) "
    "SELECT i, 'GUID-' || substr('00000000' || i, -8), 'Message number ' || i || ' with some ordinary text in it', "
    "1 + (i % %2), 'SMS', 400000000 + i, (i & 1), hex(randomblob(16)) FROM n;"
    "INSERT INTO chat_message_join SELECT handle_id, ROWID FROM message;"
    "COMMIT;");

const QString selectSql = QStringLiteral(
    "select j.chat_id, m.* from chat_message_join as j inner join message as m on j.message_id = m.rowid "
    "and m.item_type <> 4");

bool runShell(const QStringList& args, QByteArray* out = nullptr)
{
    QProcess shell;
    shell.start(QStringLiteral("sqlite3"), args);
    if (!shell.waitForFinished(-1) || shell.exitCode() != 0) {
        std::fprintf(stderr, "sqlite3 failed: %s\n", shell.readAllStandardError().constData());
        return false;
    }
    if (out)
        *out = shell.readAllStandardOutput();
    return true;
}

template<class Run>
double bestMs(Run run)
{
    double best = std::numeric_limits<double>::max();
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        run();
        best = std::min(best, double(timer.nsecsElapsed()) / 1e6);
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    IOS6MessageDb created{QDir(dir.path()), QString(), true};
    created.initDb();
    const QString path = created.databasePath();
    created.close();
    if (!runShell({path, fillSql.arg(messageCount).arg(chatCount)}))
        return 2;

    int loaded = 0;
    const double ours = bestMs([&] {
        IOS6MessageDb db{QDir(dir.path()), QString(), false};
        MsgSetPtr set;
        db.messages(set, 0);
        loaded = int(set.data()->messages.size());
    });
    bool shellOk = true;
    const double shell = bestMs([&] {
        QByteArray rows;
        shellOk = shellOk && runShell({path, selectSql}, &rows);
    });
    if (!shellOk || loaded != messageCount) {
        std::fprintf(stderr, "loaded %d of %d messages\n", loaded, messageCount);
        return 2;
    }
    const double ratio = ours / shell;
    std::printf("{\"messages\": %d, \"ios6_messages_ms\": %.1f, \"sqlite3_shell_ms\": %.1f, \"ratio\": %.2f}\n",
                messageCount, ours, shell, ratio);
    return ratio <= allowedRatio ? 0 : 1;
}
