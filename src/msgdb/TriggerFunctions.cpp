#include "msgdb/TriggerFunctions.h"

#include "msgdb/MsgDbLog.h"
#include "sqlite/Sqlite3DB.h"

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QtDebug>

#include <sqlite3.h>

namespace {

void returnZero(sqlite3_context* context, int, sqlite3_value**)
{
    sqlite3_result_int(context, 0);
}

// argCount -1 accepts any number of arguments.
void registerReturningZero(sqlite3* db, const QString& name, int argCount)
{
    const QByteArray utf8 = name.toUtf8();
    const int rc = sqlite3_create_function_v2(db, utf8.constData(), argCount, SQLITE_ANY, nullptr, returnZero,
                                              nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        qCWarning(lcMsgDb, "cannot register the SQL function %s: %s", utf8.constData(), sqlite3_errmsg(db));
}

bool isIdentifierStart(QChar c)
{
    return c.isLetter() || c == u'_';
}

bool isIdentifierPart(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'$';
}

bool isKeyword(const QString& word)
{
    const QByteArray utf8 = word.toUtf8();
    return sqlite3_keyword_check(utf8.constData(), int(utf8.size())) != 0;
}

// Index of the first character after the quoted token that opens at `start`;
// a doubled closing quote stands for itself.
qsizetype skipQuoted(const QString& sql, qsizetype start, QChar close)
{
    qsizetype i = start + 1;
    while (i < sql.size()) {
        if (sql[i] == close) {
            if (close != u']' && i + 1 < sql.size() && sql[i + 1] == close) {
                i += 2;
                continue;
            }
            return i + 1;
        }
        ++i;
    }
    return i;
}

// The names a statement calls as functions: words (bare or quoted) followed by "(",
// outside string literals and comments, leaving out keywords and the table of
// "INSERT INTO t(columns)".
QSet<QString> calledNames(const QString& sql)
{
    QSet<QString> names;
    QString previousWord;
    qsizetype i = 0;
    while (i < sql.size()) {
        const QChar c = sql[i];
        QString word;
        bool quoted = false;
        if (c == u'-' && i + 1 < sql.size() && sql[i + 1] == u'-') {
            const qsizetype end = sql.indexOf(u'\n', i);
            i = end < 0 ? sql.size() : end + 1;
            continue;
        }
        if (c == u'/' && i + 1 < sql.size() && sql[i + 1] == u'*') {
            const qsizetype end = sql.indexOf(QStringLiteral("*/"), i + 2);
            i = end < 0 ? sql.size() : end + 2;
            continue;
        }
        if (c == u'\'') {
            i = skipQuoted(sql, i, u'\'');
            continue;
        }
        if (c == u'"' || c == u'`' || c == u'[') {
            const qsizetype end = skipQuoted(sql, i, c == u'[' ? QChar(u']') : c);
            word = sql.mid(i + 1, end - i - 2);
            quoted = true;
            i = end;
        } else if (isIdentifierStart(c)) {
            const qsizetype start = i;
            while (i < sql.size() && isIdentifierPart(sql[i]))
                ++i;
            word = sql.mid(start, i - start);
        } else if (c.isDigit()) {
            while (i < sql.size() && isIdentifierPart(sql[i]))
                ++i;
            continue;
        } else {
            ++i;
            continue;
        }
        qsizetype next = i;
        while (next < sql.size() && sql[next].isSpace())
            ++next;
        const bool called = next < sql.size() && sql[next] == u'(';
        if (called && previousWord.compare(QLatin1String("INTO"), Qt::CaseInsensitive) != 0
            && (quoted || !isKeyword(word)))
            names.insert(word);
        previousWord = word;
    }
    return names;
}

QSet<QString> knownFunctions(Sqlite3DB& db)
{
    QSet<QString> known;
    Sqlite3Cursor cursor = db.queryThrow("select name from pragma_function_list");
    while (cursor.moveNext())
        known.insert(cursor.getText("name").toLower());
    return known;
}

} // namespace

void registerTriggerFunctions(Sqlite3DB& db)
{
    sqlite3* handle = db.handle();
    registerReturningZero(handle, QStringLiteral("delete_attachment_path"), 1);
    registerReturningZero(handle, QStringLiteral("before_delete_attachment_path"), 2);

    QSet<QString> called;
    Sqlite3Cursor triggers = db.queryThrow("select sql from sqlite_master where type='trigger'");
    while (triggers.moveNext())
        called.unite(calledNames(triggers.getText("sql")));
    if (called.isEmpty())
        return;
    const QSet<QString> known = knownFunctions(db);
    for (const QString& name : std::as_const(called)) {
        if (!known.contains(name.toLower()))
            registerReturningZero(handle, name, -1);
    }
}
