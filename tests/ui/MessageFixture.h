#pragma once

// Message records in memory for the list and conversation view tests: one chat with one
// correspondent, messages owned by the fixture.

#include "model/MsgChat.h"
#include "model/MsgHandle.h"
#include "model/MsgMessage.h"

#include <QList>

#include <memory>
#include <vector>

class MessageFixture
{
public:
    MessageFixture()
    {
        handle.id = QStringLiteral("+4915112345678");
        handle._ct_name = QStringLiteral("Anna");
        chat.chat_identifier = handle.id;
        chat.handles.insert(handle.id, &handle);
    }

    // Row ids count from 1; dates one minute apart from 2020-01-01.
    _MsgMessage* add(const QString& text, bool fromMe = false, const QString& service = QStringLiteral("SMS"))
    {
        auto m = std::make_unique<_MsgMessage>();
        m->rowid = qint64(owned.size()) + 1;
        m->text = text;
        m->service = service;
        m->is_from_me = fromMe ? 1 : 0;
        m->date = 599616000 + 60 * qint32(owned.size());
        m->chat = &chat;
        m->handle = &handle;
        owned.push_back(std::move(m));
        return owned.back().get();
    }

    QList<_MsgMessage*> addMany(int count)
    {
        QList<_MsgMessage*> list;
        for (int i = 0; i < count; ++i)
            list << add(QStringLiteral("message %1").arg(i + 1), i % 2 == 0);
        return list;
    }

    _MsgHandle handle;
    _MsgChat chat;

private:
    std::vector<std::unique_ptr<_MsgMessage>> owned;
};
