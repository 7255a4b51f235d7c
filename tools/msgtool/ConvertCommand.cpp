#include "Command.h"
#include "RunWorkerOrThrow.h"

#include "frame/DataFolder.h"
#include "msgdb/LocalDbUpdateThread.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

QJsonValue convert(const QStringList& args)
{
    if (!args.isEmpty())
        throw UsageError("expected no arguments");
    QJsonArray converted;
    for (const QFileInfo& file : LocalDbUpdateThread::oldDatabaseFiles(localDatabasesDir()))
        converted.append(QFileInfo(LocalDbUpdateThread::targetFolder(file)).fileName());

    // As at start-up, where the run offers no cancel.
    HeadlessReport report;
    LocalDbUpdateThread worker(&report, nullptr);
    runWorkerOrThrow(worker, report);
    return QJsonObject{{"converted", converted}};
}

} // namespace

MSGTOOL_COMMAND("convert", "", convert);
