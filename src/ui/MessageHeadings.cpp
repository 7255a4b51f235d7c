#include "ui/MessageHeadings.h"

#include "model/AppleTime.h"
#include "model/MsgChat.h"
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

QString chatNameWithIds(const _MsgMessage& m)
{
    return m.chat ? m.chat->displayName(true) : QString();
}
