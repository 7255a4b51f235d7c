#include "PasswordOption.h"

#include "Command.h"

QString takePassword(QStringList& args)
{
    const qsizetype at = args.indexOf(QStringLiteral("--password"));
    if (at < 0)
        return QString();
    if (at + 1 >= args.size())
        throw UsageError("--password needs a value");
    const QString password = args.at(at + 1);
    args.remove(at, 2);
    return password;
}
