#include "Command.h"

#include "sqlite/SqliteQtVersion.h"

#include <QJsonObject>

namespace {

QJsonValue version(const QStringList& args)
{
    if (!args.isEmpty())
        throw UsageError("no arguments expected");
    return QJsonObject{{"version", sqlite_qt_version()}};
}

} // namespace

MSGTOOL_COMMAND("version", "", version);
