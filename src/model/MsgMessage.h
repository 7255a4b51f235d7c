#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

struct _MsgAttachment;
struct _MsgChat;
struct _MsgHandle;

// One message. The fields up to was_deduplicated follow the iOS 6 `message` table;
// dates are seconds since 2001-01-01 UTC. The pointers do not own: the records
// belong to the _MsgSet the message was loaded into.
struct _MsgMessage
{
    qint64 rowid = 0;
    QString guid;
    QString text; // each U+FFFC marks the place of an attachment
    qint32 replace = 0;
    QString service_center;
    qint64 handle_id = 0;
    QString subject;
    QString country; // two-letter country code
    QByteArray attributedBody;
    qint32 version = 10;
    qint32 type = 0;
    QString service; // "SMS", "iMessage"...
    QString account;
    QString account_guid;
    qint32 error = 0;
    qint32 date = 0;
    qint32 date_read = 0;
    qint32 date_delivered = 0;
    qint32 is_delivered = 0;
    qint32 is_finished = 0;
    qint32 is_emote = 0;
    qint32 is_from_me = 0; // 1 when the phone's owner sent it
    qint32 is_empty = 0;
    qint32 is_delayed = 0;
    qint32 is_auto_reply = 0;
    qint32 is_prepared = 0;
    qint32 is_read = 0;
    qint32 is_system_message = 0;
    qint32 is_sent = 0;
    qint32 has_dd_results = 0;
    qint32 is_service_message = 0;
    qint32 is_forward = 0;
    qint32 was_downgraded = 0;
    qint32 is_archive = 0;
    qint32 cache_has_attachments = 0;
    QString cache_roomnames;
    qint32 was_data_detected = 0;
    qint32 was_deduplicated = 0;
    bool deleted = false; // carved out of deleted data
    // The row id in the source database; the recycle store sets its own values.
    qint64 seq = 0;
    qint32 is_audio_message = 0;
    qint32 is_played = 0;
    qint32 date_played = 0;
    // 0 an ordinary message; 1 participant added; 2 conversation named; 3 participant
    // left; 4 location sharing started or stopped; anything else a system event.
    qint32 item_type = 0;
    qint32 other_handle = -1; // row id of the handle a group event speaks of; -1 none
    QString group_title;
    qint32 group_action_type = 0;
    qint32 share_status = 0; // item_type 4: non-zero means sharing stopped
    qint32 share_direction = 0;
    qint32 is_expirable = 0;
    qint32 expire_state = 0;
    qint32 message_action_type = 0;
    _MsgHandle* handle = nullptr;
    _MsgChat* chat = nullptr;
    // Keyed as the producer chooses: read only the values.
    QHash<QString, _MsgAttachment*> attachments;
    _MsgHandle* otherHandle = nullptr;

    // `text` without the U+FFFC attachment marks.
    QString plainText() const;
    // The fingerprint that finds the same message in two databases: the MD5 of the
    // sender, date, direction, text and attachment file names (of the GUID alone for
    // a group event), as 32 lower-case hexadecimal digits.
    QString logicHash() const;
    // The values of `attachments`, by row id ascending.
    QList<_MsgAttachment*> sortedAttachments() const;
    // One line for lists and exports: the plain text with a tag per attachment, or
    // the sentence describing a group event and its local date.
    QString summary() const;
    // summary() with every emoji replaced by "[EMOJI]".
    QString displayText() const;
    // The conversation's name, with the sender's in parentheses in a group chat.
    QString senderName() const;
};
