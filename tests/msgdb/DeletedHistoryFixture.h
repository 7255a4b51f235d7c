#pragma once

// iPhone-like sms.db files with a history of deleted handles and messages, written by
// python's sqlite3 (device_smsdb.py and ios5_smsdb.py with --deleted), and what they deleted.

#include "msgdb/DeviceFixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

inline QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// SQLite rebuilds the pages that a run of deletions leaves nearly empty, and the bytes of
// the rows deleted on them before are gone: no reader can give those back. A measure of
// what a recovery gives back needs most of a history to survive.
inline bool enoughSurvived(qsizetype survived, qsizetype deleted)
{
    if (survived * 3 >= deleted * 2)
        return true;
    qWarning("only %lld of %lld deleted messages left in the file", qlonglong(survived), qlonglong(deleted));
    return false;
}

struct DeletedHistory
{
    bool built = false;
    // guid -> text of every deleted message, the one sent again included.
    QHash<QString, QString> messages;
    // guid -> row id the message had.
    QHash<QString, qint64> rowids;
    QStringList handles;
    // Deleted, then a live message took its guid again.
    QString liveAgain;
    // The deleted messages other than liveAgain whose text the file still holds.
    QStringList recoverable;
    // Live messages whose copies lie intact on the freed pages of a dropped table.
    QStringList droppedCopies;
    // With the later schema: a deleted group rename (item_type 2), also among the copies.
    QString groupRename;

    bool mostSurvived() const { return enoughSurvived(recoverable.size(), messages.size()); }
};

// Writes the database below folder as after a file_relay download.
inline DeletedHistory makeDeletedHistoryDb(const QString& folder, const QStringList& options = {})
{
    const QString path = smsDbPathIn(folder);
    QDir().mkpath(QFileInfo(path).absolutePath());
    const CliResult r = runCli(QStringLiteral("python3"), QStringList{QStringLiteral(FIXTURES_DIR "/msgdb/device_smsdb.py"),
                                                                      path, QStringLiteral("--deleted")} + options);
    DeletedHistory history;
    if (r.exitCode != 0) {
        qWarning("device_smsdb.py failed: %s", r.err.constData());
        return history;
    }
    const QJsonObject json = QJsonDocument::fromJson(r.out).object();
    for (const QJsonValue& m : json.value(QLatin1String("messages")).toArray()) {
        const QString guid = m[QLatin1String("guid")].toString();
        history.messages.insert(guid, m[QLatin1String("text")].toString());
        history.rowids.insert(guid, m[QLatin1String("rowid")].toInteger());
    }
    for (const QJsonValue& h : json.value(QLatin1String("handles")).toArray())
        history.handles << h.toString();
    history.liveAgain = json.value(QLatin1String("live_again")).toString();
    for (const QJsonValue& g : json.value(QLatin1String("dropped_copies")).toArray())
        history.droppedCopies << g.toString();
    history.groupRename = json.value(QLatin1String("group_rename")).toString();
    const QByteArray bytes = fileBytes(path);
    for (auto m = history.messages.cbegin(); m != history.messages.cend(); ++m) {
        if (m.key() != history.liveAgain && bytes.contains(m.value().toUtf8()))
            history.recoverable << m.key();
    }
    history.built = !history.messages.isEmpty();
    return history;
}

// One column of every row of a query, as text, run by the sqlite3 shell.
inline QStringList sqliteColumn(const QString& db, const QString& sql)
{
    const QByteArray out = sqliteCli(db, sql);
    return out.isEmpty() ? QStringList() : QString::fromUtf8(out).split(QLatin1Char('\n'));
}

// The share of the wanted texts that are among the found ones, 0 to 1.
inline double shareFound(const QList<QString>& wanted, const QStringList& found)
{
    const QSet<QString> foundSet(found.cbegin(), found.cend());
    qsizetype hits = 0;
    for (const QString& w : wanted)
        hits += foundSet.contains(w) ? 1 : 0;
    return wanted.isEmpty() ? 0 : double(hits) / double(wanted.size());
}

// An iOS 5 sms.db with deleted SMS and iMessages (ios5_smsdb.py --deleted).
struct IOS5DeletedHistory
{
    bool built = false;
    qsizetype deleted = 0;
    // Text -> date since 2001 of the deleted messages whose text the file still holds.
    QHash<QString, qint64> recoverable;
    // Text -> the script's record of each of them: date, from_me, handle, service.
    QHash<QString, QJsonObject> recoverableRecords;

    bool mostSurvived() const { return enoughSurvived(recoverable.size(), deleted); }
};

// Writes the database below folder as after a file_relay download; options of
// ios5_smsdb.py such as "--phone-layout".
inline IOS5DeletedHistory makeIOS5DeletedHistoryDb(const QString& folder, const QStringList& options = {})
{
    const QString path = smsDbPathIn(folder);
    const CliResult r = runCli(QStringLiteral("python3"), QStringList{QStringLiteral(FIXTURES_DIR "/msgdb/ios5_smsdb.py"),
                                                                      path, QStringLiteral("--deleted")} + options);
    IOS5DeletedHistory history;
    if (r.exitCode != 0) {
        qWarning("ios5_smsdb.py failed: %s", r.err.constData());
        return history;
    }
    const QByteArray bytes = fileBytes(path);
    const QJsonArray messages = QJsonDocument::fromJson(r.out).object().value(QLatin1String("messages")).toArray();
    history.deleted = messages.size();
    for (const QJsonValue& m : messages) {
        const QString text = m[QLatin1String("text")].toString();
        if (bytes.contains(text.toUtf8())) {
            history.recoverable.insert(text, m[QLatin1String("date")].toInteger());
            history.recoverableRecords.insert(text, m.toObject());
        }
    }
    history.built = history.deleted > 0;
    return history;
}
