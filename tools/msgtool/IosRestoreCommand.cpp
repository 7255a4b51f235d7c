#include "Command.h"
#include "IosArrivals.h"
#include "RunWorkerOrThrow.h"

#include "ios/IOSDevice.h"
#include "ios/IOSMobileRestoreThread.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonObject>

namespace {

QJsonValue iosRestore(const QStringList& arguments)
{
    QStringList args = arguments;
    const int waitMs = takeWaitOption(args);
    if (args.size() != 2 || args[0].startsWith(QLatin1Char('-')) || args[1].startsWith(QLatin1Char('-')))
        throw UsageError("expected a UDID and a phone folder");
    const QString udid = args[0];
    // The tool finds the backup as <root>/<UDID>: the folder must be named so.
    const QFileInfo folder(QDir::cleanPath(QFileInfo(args[1]).absoluteFilePath()));
    if (folder.fileName() != udid)
        throw UsageError("FOLDER must be the phone folder named UDID");
    IOSDevice device = waitForIPhone(udid, waitMs);

    HeadlessReport report;
    IOSMobileRestoreThread thread(&device, QDir(folder.path()), &report);
    runWorkerOrThrow(thread, report);
    return QJsonObject{{"restored", true}};
}

} // namespace

MSGTOOL_COMMAND("ios-restore", "UDID FOLDER [--wait SECONDS]", iosRestore);
