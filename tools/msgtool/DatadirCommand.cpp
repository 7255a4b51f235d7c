#include "Command.h"

#include "frame/DataFolder.h"

#include <QJsonObject>

namespace {

QJsonValue datadir(const QStringList& args)
{
    if (!args.isEmpty())
        throw UsageError("no arguments expected");
    return QJsonObject{{"datadir", appDataDir().absolutePath()}};
}

} // namespace

MSGTOOL_COMMAND("datadir", "", datadir);
