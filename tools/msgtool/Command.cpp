#include "Command.h"

#include <QList>

namespace {
QList<Command>& registry()
{
    static QList<Command> commands;
    return commands;
}
} // namespace

bool registerCommand(const char* name, const char* usage, CommandFunction run)
{
    registry().append({QString::fromUtf8(name), QString::fromUtf8(usage), run});
    return true;
}

const Command* findCommand(const QString& name)
{
    for (const Command& c : registry()) {
        if (c.name == name)
            return &c;
    }
    return nullptr;
}

QList<Command> allCommands()
{
    return registry();
}
