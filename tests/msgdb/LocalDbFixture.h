#pragma once

// A small local database written through the exporter, and the checks that compare a
// database before and after an operation with the sqlite3 shell.

#include "msgdb/DeviceFixture.h"
#include "msgdb/ExportMessagesDb.h"
#include "msgdb/RecordBuilder.h"
#include "support/Cli.h"

// Chat 1 with +14155550101 holds messages 10, 11, 12 (dates 100, 200, 300); chat 2
// with +447700900123 holds message 13.
inline void makeLocalDb(const QString& folder)
{
    RecordBuilder b;
    _MsgHandle* alice = b.handle(1, QStringLiteral("+14155550101"));
    _MsgHandle* bob = b.handle(2, QStringLiteral("+447700900123"));
    _MsgChat* withAlice = b.chat(1, QStringLiteral("SMS;-;+14155550101"), {alice});
    _MsgChat* withBob = b.chat(2, QStringLiteral("SMS;-;+447700900123"), {bob});
    ExportMessagesDb exporter{QDir(folder), QString()};
    exporter.begin();
    exporter.write(*b.message(10, withAlice, alice, 100, QStringLiteral("one")));
    exporter.write(*b.message(11, withAlice, nullptr, 200, QStringLiteral("two")));
    exporter.write(*b.message(12, withAlice, alice, 300, QStringLiteral("three")));
    exporter.write(*b.message(13, withBob, bob, 400, QStringLiteral("four")));
    exporter.end();
}

inline QByteArray dumpDb(const QString& folder)
{
    return runCli(QStringLiteral("sqlite3"), {smsDbPathIn(folder), QStringLiteral(".dump")}).out;
}

// True when another connection can take the write lock: no transaction was left open.
inline bool writableByOthers(const QString& folder)
{
    return runCli(QStringLiteral("sqlite3"), {smsDbPathIn(folder), QStringLiteral("begin immediate; rollback;")})
               .exitCode == 0;
}
