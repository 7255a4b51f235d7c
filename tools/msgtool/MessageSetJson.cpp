#include "MessageSetJson.h"

#include "CompactJson.h"
#include "JsonObjectText.h"

#include "model/SafeSort.h"
#include "model/SortPredicates.h"

#include <QJsonArray>
#include <QStringList>

#include <stdexcept>

namespace {

QJsonValue base64(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toBase64());
}

QJsonObject handleJson(const _MsgHandle& h)
{
    return QJsonObject{
        {"rowid", h.rowid},
        {"id", h.id},
        {"country", h.country},
        {"service", h.service},
        {"uncanonicalized_id", h.uncanonicalized_id},
        {"_ct_name", h._ct_name},
        {"_photo", base64(h._photo)},
    };
}

QJsonObject chatJson(const _MsgChat& c)
{
    QStringList handleIds;
    for (const _MsgHandle* h : c.handles)
        handleIds << h->id;
    handleIds.sort();
    return QJsonObject{
        {"rowid", c.rowid},
        {"guid", c.guid},
        {"style", c.style},
        {"state", c.state},
        {"account_id", c.account_id},
        {"properties", base64(c.properties)},
        {"chat_identifier", c.chat_identifier},
        {"service_name", c.service_name},
        {"room_name", c.room_name},
        {"account_login", c.account_login},
        {"is_archived", c.is_archived},
        {"last_addressed_handle", c.last_addressed_handle},
        {"display_name", c.display_name},
        {"lastDate", c.lastDate},
        {"group_id", c.group_id},
        {"handles", QJsonArray::fromStringList(handleIds)},
    };
}

// Keys are plain names: written as they stand.
void appendMessageJson(QByteArray& out, const _MsgMessage& m)
{
    JsonObjectText json(out);
    json.field("rowid", qint64(m.rowid));
    json.field("guid", m.guid);
    json.field("text", m.text);
    json.field("replace", qint64(m.replace));
    json.field("service_center", m.service_center);
    json.field("handle_id", qint64(m.handle_id));
    json.field("subject", m.subject);
    json.field("country", m.country);
    json.field("attributedBody", QString::fromLatin1(m.attributedBody.toBase64()));
    json.field("version", qint64(m.version));
    json.field("type", qint64(m.type));
    json.field("service", m.service);
    json.field("account", m.account);
    json.field("account_guid", m.account_guid);
    json.field("error", qint64(m.error));
    json.field("date", qint64(m.date));
    json.field("date_read", qint64(m.date_read));
    json.field("date_delivered", qint64(m.date_delivered));
    json.field("is_delivered", qint64(m.is_delivered));
    json.field("is_finished", qint64(m.is_finished));
    json.field("is_emote", qint64(m.is_emote));
    json.field("is_from_me", qint64(m.is_from_me));
    json.field("is_empty", qint64(m.is_empty));
    json.field("is_delayed", qint64(m.is_delayed));
    json.field("is_auto_reply", qint64(m.is_auto_reply));
    json.field("is_prepared", qint64(m.is_prepared));
    json.field("is_read", qint64(m.is_read));
    json.field("is_system_message", qint64(m.is_system_message));
    json.field("is_sent", qint64(m.is_sent));
    json.field("has_dd_results", qint64(m.has_dd_results));
    json.field("is_service_message", qint64(m.is_service_message));
    json.field("is_forward", qint64(m.is_forward));
    json.field("was_downgraded", qint64(m.was_downgraded));
    json.field("is_archive", qint64(m.is_archive));
    json.field("cache_has_attachments", qint64(m.cache_has_attachments));
    json.field("cache_roomnames", m.cache_roomnames);
    json.field("was_data_detected", qint64(m.was_data_detected));
    json.field("was_deduplicated", qint64(m.was_deduplicated));
    json.field("deleted", m.deleted);
    json.field("seq", qint64(m.seq));
    json.field("is_audio_message", qint64(m.is_audio_message));
    json.field("is_played", qint64(m.is_played));
    json.field("date_played", qint64(m.date_played));
    json.field("item_type", qint64(m.item_type));
    json.field("other_handle", qint64(m.other_handle));
    json.field("group_title", m.group_title);
    json.field("group_action_type", qint64(m.group_action_type));
    json.field("share_status", qint64(m.share_status));
    json.field("share_direction", qint64(m.share_direction));
    json.field("is_expirable", qint64(m.is_expirable));
    json.field("expire_state", qint64(m.expire_state));
    json.field("message_action_type", qint64(m.message_action_type));
    json.field("handle", m.handle ? &m.handle->id : nullptr);
    json.field("chat", m.chat ? &m.chat->chat_identifier : nullptr);
}

template<class Record>
QList<Record*> byRowId(const QHash<qint64, Record*>& records)
{
    QList<Record*> list = records.values();
    safeSort(list, lessThanId64<Record>);
    return list;
}

void write(std::FILE* out, const QByteArray& bytes)
{
    if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out) != size_t(bytes.size()))
        throw std::runtime_error("cannot write the output");
}

} // namespace

void writeMessageSetJson(std::FILE* out, const MsgSetPtr& set, int iosVersion, const QJsonObject& extra)
{
    QJsonArray chatArray;
    for (const _MsgChat* c : byRowId(set.data()->chats))
        chatArray.append(chatJson(*c));
    QJsonArray handleArray;
    for (const _MsgHandle* h : byRowId(set.data()->handles))
        handleArray.append(handleJson(*h));
    QJsonObject head = extra;
    head.insert(QStringLiteral("ios_version"), iosVersion);
    head.insert(QStringLiteral("skipped"), set.data()->undatableMessages.size());
    head.insert(QStringLiteral("chats"), chatArray);
    head.insert(QStringLiteral("handles"), handleArray);
    // The head's closing brace gives way to the messages, streamed one by one.
    write(out, compactJson(head).chopped(1) + ",\"messages\":[");

    QList<_MsgMessage*> messages = set.messages();
    safeSort(messages, messageLessThan);
    QByteArray text;
    for (qsizetype i = 0; i < messages.size(); ++i) {
        text.clear();
        if (i)
            text += ',';
        appendMessageJson(text, *messages[i]);
        write(out, text);
    }
    write(out, "]}\n");
    if (std::fflush(out) != 0 || std::ferror(out))
        throw std::runtime_error("cannot write the output");
}
