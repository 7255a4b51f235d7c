#include "Command.h"

#include "msgdb/IOS6MessageDb.h"

#include <QJsonObject>

namespace {

QJsonValue create(const QStringList& args)
{
    if (args.size() != 1)
        throw UsageError("expected one DIR");
    IOS6MessageDb db(QDir(args.first()), QString(), true);
    db.initDb();
    return QJsonObject{{"created", args.first()}};
}

} // namespace

MSGTOOL_COMMAND("create", "DIR", create);
