#include "ui/MessageHeadings.h"

#include "model/AppleTime.h"
#include "model/MsgChat.h"
#include "model/MsgHandle.h"
#include "model/MsgMessage.h"

#include <QLocale>

QString localShortDate(const _MsgMessage& m)
{
    return QLocale::system().toString(dateTimeFromAppleTime(m.date), QLocale::ShortFormat);
}

QString directionLabel(const _MsgMessage& m)
{
    return m.is_from_me != 0 ? QStringLiteral("To: ") : QStringLiteral("From: ");
}

const _MsgHandle* groupSender(const _MsgMessage& m)
{
    if (m.is_from_me != 0 || !m.chat || !m.chat->isGroupChat())
        return nullptr;
    return m.handle;
}

QString chatNameWithSender(const _MsgMessage& m, bool withIds)
{
    if (!m.chat)
        return QString();
    const QString chatName = m.chat->displayName(withIds);
    const _MsgHandle* sender = groupSender(m);
    // The contact's name when the address book has one, else the handle.
    return sender ? chatName + QStringLiteral(" (") + sender->displayName(false) + QLatin1Char(')') : chatName;
}
