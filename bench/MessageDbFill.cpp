#include "MessageDbFill.h"

#include <QProcess>

#include <cstdio>

namespace {

constexpr int chatCount = 100;

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
    "1 + (i % %2), 'SMS', 400000000 + %3 * i, (i & 1), hex(randomblob(16)) FROM n;"
    "INSERT INTO chat_message_join SELECT handle_id, ROWID FROM message;"
    "COMMIT;");

} // namespace

const QString joinedMessagesSql = QStringLiteral(
    "select j.chat_id, m.* from chat_message_join as j inner join message as m on j.message_id = m.rowid "
    "and m.item_type <> 4");

bool runShell(const QStringList& args)
{
    QProcess shell;
    shell.setStandardOutputFile(QProcess::nullDevice());
    shell.start(QStringLiteral("sqlite3"), args);
    if (!shell.waitForFinished(-1) || shell.exitCode() != 0) {
        std::fprintf(stderr, "sqlite3 failed: %s\n", shell.readAllStandardError().constData());
        return false;
    }
    return true;
}

bool fillMessageDb(const QString& path, int messages, int dateStep)
{
    return runShell({path, fillSql.arg(messages).arg(chatCount).arg(dateStep)});
}
