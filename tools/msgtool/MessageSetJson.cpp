#include "MessageSetJson.h"

#include "CompactJson.h"

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

QJsonObject messageJson(const _MsgMessage& m)
{
    return QJsonObject{
        {"rowid", m.rowid},
        {"guid", m.guid},
        {"text", m.text},
        {"replace", m.replace},
        {"service_center", m.service_center},
        {"handle_id", m.handle_id},
        {"subject", m.subject},
        {"country", m.country},
        {"attributedBody", base64(m.attributedBody)},
        {"version", m.version},
        {"type", m.type},
        {"service", m.service},
        {"account", m.account},
        {"account_guid", m.account_guid},
        {"error", m.error},
        {"date", m.date},
        {"date_read", m.date_read},
        {"date_delivered", m.date_delivered},
        {"is_delivered", m.is_delivered},
        {"is_finished", m.is_finished},
        {"is_emote", m.is_emote},
        {"is_from_me", m.is_from_me},
        {"is_empty", m.is_empty},
        {"is_delayed", m.is_delayed},
        {"is_auto_reply", m.is_auto_reply},
        {"is_prepared", m.is_prepared},
        {"is_read", m.is_read},
        {"is_system_message", m.is_system_message},
        {"is_sent", m.is_sent},
        {"has_dd_results", m.has_dd_results},
        {"is_service_message", m.is_service_message},
        {"is_forward", m.is_forward},
        {"was_downgraded", m.was_downgraded},
        {"is_archive", m.is_archive},
        {"cache_has_attachments", m.cache_has_attachments},
        {"cache_roomnames", m.cache_roomnames},
        {"was_data_detected", m.was_data_detected},
        {"was_deduplicated", m.was_deduplicated},
        {"deleted", m.deleted},
        {"seq", m.seq},
        {"is_audio_message", m.is_audio_message},
        {"is_played", m.is_played},
        {"date_played", m.date_played},
        {"item_type", m.item_type},
        {"other_handle", m.other_handle},
        {"group_title", m.group_title},
        {"group_action_type", m.group_action_type},
        {"share_status", m.share_status},
        {"share_direction", m.share_direction},
        {"is_expirable", m.is_expirable},
        {"expire_state", m.expire_state},
        {"message_action_type", m.message_action_type},
        {"handle", m.handle ? QJsonValue(m.handle->id) : QJsonValue()},
        {"chat", m.chat ? QJsonValue(m.chat->chat_identifier) : QJsonValue()},
    };
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
    head.insert(QStringLiteral("chats"), chatArray);
    head.insert(QStringLiteral("handles"), handleArray);
    // The head's closing brace gives way to the messages, streamed one by one.
    write(out, compactJson(head).chopped(1) + ",\"messages\":[");

    QList<_MsgMessage*> messages = set.messages();
    safeSort(messages, messageLessThan);
    for (qsizetype i = 0; i < messages.size(); ++i)
        write(out, (i ? "," : "") + compactJson(messageJson(*messages[i])));
    write(out, "]}\n");
    if (std::fflush(out) != 0 || std::ferror(out))
        throw std::runtime_error("cannot write the output");
}
