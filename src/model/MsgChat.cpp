#include "model/MsgChat.h"

#include "model/MsgHandle.h"

#include <QStringList>

QString _MsgChat::displayName(bool withId) const
{
    if (!display_name.isEmpty())
        return display_name;
    if (handles.isEmpty())
        return QStringLiteral("Unknown");
    QStringList names;
    for (const _MsgHandle* handle : handles)
        names << handle->displayName(withId);
    return names.join(QStringLiteral(", "));
}
