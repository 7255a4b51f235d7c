#include "actions/export/ExportOrder.h"

#include "model/MsgChat.h"
#include "model/MsgMessage.h"
#include "model/SafeSort.h"
#include "model/SortPredicates.h"

#include <QHash>

#include <algorithm>

namespace {

struct ChatBucket
{
    QString key;
    qint32 newest = 0; // seconds since 2001; 0 for messages without a chat
    QList<_MsgMessage*> messages;
};

bool bucketBefore(const ChatBucket& a, const ChatBucket& b)
{
    return a.newest != b.newest ? a.newest < b.newest : a.key < b.key;
}

} // namespace

QString chatFileKey(const _MsgMessage& m)
{
    return m.chat ? m.chat->chat_identifier.toLower() : QString();
}

QList<_MsgMessage*> groupedByChat(const QList<_MsgMessage*>& messages, bool ascending)
{
    QList<ChatBucket> buckets;
    QHash<QString, qsizetype> bucketOfKey;
    for (_MsgMessage* m : messages) {
        const QString key = chatFileKey(*m);
        auto found = bucketOfKey.constFind(key);
        if (found == bucketOfKey.cend()) {
            found = bucketOfKey.insert(key, buckets.size());
            buckets.append(ChatBucket{key, 0, {}});
        }
        ChatBucket& bucket = buckets[*found];
        if (m->chat)
            bucket.newest = std::max(bucket.newest, m->chat->lastDate);
        bucket.messages.append(m);
    }
    safeSort(buckets, bucketBefore);

    QList<_MsgMessage*> ordered;
    ordered.reserve(messages.size());
    for (ChatBucket& bucket : buckets) {
        safeSort(bucket.messages, messageLessThan);
        ordered += bucket.messages;
    }
    if (!ascending)
        std::reverse(ordered.begin(), ordered.end());
    return ordered;
}
