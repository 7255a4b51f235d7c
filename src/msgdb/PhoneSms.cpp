#include "msgdb/PhoneSms.h"

#include "msgdb/ExportMessagesDb.h"

#include "model/MsgChat.h"
#include "model/MsgHandle.h"
#include "model/MsgIdentity.h"
#include "model/MsgMessage.h"

void writePhoneSms(ExportMessagesDb& exporter, const PhoneSms& sms)
{
    _MsgHandle handle;
    handle.id = sms.address;
    handle.service = QStringLiteral("SMS");
    handle._ct_name = sms.contactName;

    _MsgChat chat;
    chat.guid = QStringLiteral("SMS;-;") + sms.address;
    chat.style = 45;
    chat.state = 3;
    chat.chat_identifier = sms.address;
    chat.service_name = QStringLiteral("SMS");
    chat.account_login = QStringLiteral("E:");
    chat.handles.insert(sms.address, &handle);

    // Every flag not set here stays 0.
    _MsgMessage message;
    message.text = sms.text;
    message.replace = 0;
    message.subject = sms.subject;
    message.version = 10;
    message.type = 0;
    message.service = QStringLiteral("SMS");
    message.account = QStringLiteral("e:");
    message.error = 0;
    message.date = sms.date;
    message.date_read = sms.date;
    message.date_delivered = sms.date;
    message.is_from_me = sms.fromMe ? 1 : 0;
    message.is_finished = 1;
    message.is_prepared = 1;
    message.is_read = 1;
    message.is_sent = 1;
    message.was_data_detected = 1;
    message.handle = &handle;
    message.chat = &chat;
    // The fingerprint covers the fields above, so the GUID comes last.
    message.guid = guidFromBytes(message.logicHash().toUtf8());
    exporter.write(message);
}
