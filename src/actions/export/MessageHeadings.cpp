#include "actions/export/MessageHeadings.h"

#include "model/AppleTime.h"
#include "model/MsgChat.h"
#include "model/MsgHandle.h"
#include "model/MsgMessage.h"

#include <QLocale>
#include <QStringList>

namespace {

QString named(const QString& name, NameDirection direction)
{
    constexpr char16_t firstStrongIsolate = 0x2068;
    constexpr char16_t popDirectionalIsolate = 0x2069;
    if (direction == NameDirection::Surrounding || name.isEmpty())
        return name;
    return QChar(firstStrongIsolate) + name + QChar(popDirectionalIsolate);
}

// The names of _MsgHandle::displayName and _MsgChat::displayName, with each name set in
// the given direction.
QString handleName(const _MsgHandle& handle, bool withIds, NameDirection direction)
{
    if (handle._ct_name.isEmpty())
        return handle.id;
    const QString name = named(handle._ct_name, direction);
    return withIds ? name + QStringLiteral(" (") + handle.id + QLatin1Char(')') : name;
}

QString chatName(const _MsgChat& chat, bool withIds, NameDirection direction)
{
    if (!chat.display_name.isEmpty())
        return named(chat.display_name, direction);
    if (chat.handles.isEmpty())
        return QStringLiteral("Unknown");
    QStringList names;
    for (const _MsgHandle* handle : chat.handles)
        names << handleName(*handle, withIds, direction);
    return names.join(QStringLiteral(", "));
}

} // namespace

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

QString chatNameWithSender(const _MsgMessage& m, bool withIds, NameDirection names)
{
    if (!m.chat)
        return QString();
    const QString name = chatName(*m.chat, withIds, names);
    const _MsgHandle* sender = groupSender(m);
    // The contact's name when the address book has one, else the handle.
    return sender ? name + QStringLiteral(" (") + handleName(*sender, false, names) + QLatin1Char(')') : name;
}
