#pragma once

// The messages every export is checked with: a sent 'Hello, "world"' to Alice
// (+15551234567), CRLF and lone-CR texts, an emoji, a group chat whose name holds markup
// and %-markers with a text from Bob (+15557654321), a group event, a message without a chat and a chat with a long
// name. Independent readers (python's csv and html.parser, pdftotext) read the files back.

#include "msgdb/AbsFormatExport.h"
#include "msgdb/RecordBuilder.h"
#include "support/Cli.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

inline const QString groupName = QStringLiteral("Bob <&> %1 %4 50%0ff");
inline const QString groupId = QStringLiteral("chat123456789012345678");
inline const QString longName = QStringLiteral("A contact name that is much longer than forty");

struct ExportFixture
{
    RecordBuilder b;
    QList<_MsgMessage*> list;

    ExportFixture()
    {
        _MsgHandle* alice = b.handle(1, QStringLiteral("+15551234567"));
        alice->_ct_name = QStringLiteral("Alice");
        _MsgHandle* bob = b.handle(2, QStringLiteral("+15557654321"));
        bob->_ct_name = QStringLiteral("Bob");
        _MsgHandle* carol = b.handle(3, QStringLiteral("carol@example.com"));
        _MsgHandle* dave = b.handle(4, QStringLiteral("+15550001111"));
        dave->_ct_name = longName;
        _MsgChat* withAlice = b.chat(1, QStringLiteral("SMS;-;+15551234567"), {alice});
        _MsgChat* group = b.chat(2, QStringLiteral("iMessage;+;") + groupId, {bob, carol});
        group->chat_identifier = groupId;
        group->display_name = groupName;
        _MsgChat* withDave = b.chat(3, QStringLiteral("SMS;-;+15550001111"), {dave});
        withAlice->lastDate = 700;
        group->lastDate = 500;
        withDave->lastDate = 800;

        list << sent(b.message(11, withAlice, nullptr, 100, QStringLiteral("Hello, \"world\"")))
             << b.message(12, withAlice, alice, 200, QStringLiteral("a\r\nb"))
             << b.message(13, withAlice, alice, 300, QStringLiteral("x\ry"))
             << b.message(14, group, bob, 400, QStringLiteral("Group text"))
             << groupEvent(b.message(15, group, nullptr, 500, QString()))
             << b.message(16, nullptr, nullptr, 600, QStringLiteral("No chat"))
             << b.message(17, withAlice, alice, 700, QStringLiteral("hi \U0001F600"))
             << b.message(18, withDave, dave, 800, QStringLiteral("after a long name"));
    }

    static _MsgMessage* sent(_MsgMessage* m)
    {
        m->is_from_me = 1;
        return m;
    }

    // The owner renamed the group.
    static _MsgMessage* groupEvent(_MsgMessage* m)
    {
        m->is_from_me = 1;
        m->item_type = 2;
        m->group_title = QStringLiteral("Renamed");
        return m;
    }
};

// begin, write each message in order, end.
inline void exportAll(AbsFormatExport<_MsgMessage>& exporter, const QList<_MsgMessage*>& list)
{
    exporter.begin();
    for (const _MsgMessage* m : list)
        exporter.write(*m);
    exporter.end();
}

// python3 script with the file as argv[1]; its stdout as JSON.
inline QJsonValue pythonJson(const QString& script, const QString& path)
{
    const CliResult r = python(script, {path});
    if (r.exitCode != 0)
        qWarning("%s", r.err.constData());
    return QJsonDocument::fromJson("[" + r.out + "]").array().at(0);
}
