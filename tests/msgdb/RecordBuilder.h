#pragma once

// Message records built in a test, owned by one message set. The readers never fill
// attachments, so tests that need them build their records here.

#include "model/MsgSetPtr.h"

#include <QList>
#include <QString>

class RecordBuilder
{
public:
    MsgSetPtr set;

    _MsgHandle* handle(qint64 rowid, const QString& id, const QString& service = QStringLiteral("SMS"))
    {
        auto* h = new _MsgHandle;
        h->rowid = rowid;
        h->id = id;
        h->service = service;
        set.data()->handles.insert(rowid, h);
        return h;
    }

    // A one-to-one chat for one handle, a group chat for several.
    _MsgChat* chat(qint64 rowid, const QString& guid, const QList<_MsgHandle*>& handles,
                   const QString& service = QStringLiteral("SMS"))
    {
        auto* c = new _MsgChat;
        c->rowid = rowid;
        c->guid = guid;
        c->service_name = service;
        c->chat_identifier = handles.size() == 1 ? handles.first()->id : QStringLiteral("chat%1").arg(rowid);
        for (_MsgHandle* h : handles)
            c->handles.insert(QString::number(h->rowid), h);
        set.data()->chats.insert(rowid, c);
        return c;
    }

    _MsgMessage* message(qint64 rowid, _MsgChat* chat, _MsgHandle* handle, int date, const QString& text,
                         const QString& guid = QString())
    {
        auto* m = new _MsgMessage;
        m->rowid = rowid;
        m->seq = rowid;
        m->guid = guid.isEmpty() ? QStringLiteral("GUID-%1").arg(rowid) : guid;
        m->text = text;
        m->service = chat ? chat->service_name : QStringLiteral("SMS");
        m->date = date;
        m->handle = handle;
        m->handle_id = handle ? handle->rowid : 0;
        m->chat = chat;
        if (chat)
            chat->messages.insert(QString::number(rowid), m);
        set.data()->messages.insert(rowid, m);
        return m;
    }

    _MsgAttachment* attachment(_MsgMessage* message, qint64 rowid, const QString& guid, const QString& filename,
                               const QString& localPath = QString())
    {
        auto* a = new _MsgAttachment;
        a->rowid = rowid;
        a->guid = guid;
        a->filename = filename;
        a->localPath = localPath;
        message->attachments.insert(QString::number(rowid), a);
        set.data()->attachments.insert(rowid, a);
        return a;
    }
};
