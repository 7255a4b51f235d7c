#include "actions/SaveIntoLocalDb.h"

#include "actions/ActionFrontEnd.h"
#include "actions/RemoveLocalDbFolder.h"

#include "msgdb/BackupSMSThread.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QtDebug>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <stdexcept>
#include <sys/stat.h>

namespace {

QString text(const char* key)
{
    return QCoreApplication::translate("MainWindow", key);
}

// Plain text; the caller escapes it where markup is shown.
QString cannotCreate(const QString& folder, int error)
{
    const QString reason = QString::fromLocal8Bit(std::strerror(error));
    qWarning("Local database folder %s cannot be created: %s", qUtf8Printable(folder), qUtf8Printable(reason));
    return text("IDS_CANNOT_CREATE_LOCALDB_%1_%2").arg(QDir(folder).dirName(), reason);
}

// Claims a free name with the prefix the next start clears. Empty on failure, with its errno.
QString makeStagingFolder(const QDir& parent, int& error)
{
    for (int n = 1;; ++n) {
        const QString path = parent.absoluteFilePath(stagedLocalDbPrefix() + QString::number(n));
        if (::mkdir(QFile::encodeName(path).constData(), 0777) == 0)
            return path;
        error = errno;
        if (error != EEXIST)
            return QString();
    }
}

// Never replaces what is there, an empty folder included.
void putInPlace(const QString& staged, const QString& folder)
{
    if (renameat2(AT_FDCWD, QFile::encodeName(staged).constData(), AT_FDCWD, QFile::encodeName(folder).constData(),
                  RENAME_NOREPLACE) != 0)
        throw std::runtime_error(cannotCreate(folder, errno).toUtf8().toStdString());
}

bool runSave(const QDir& folder, const QList<_MsgMessage*>& messages, ActionFrontEnd& frontEnd,
             std::function<void()> lastStep = {})
{
    const std::unique_ptr<ActionStep> step = frontEnd.newStep();
    BackupSMSThread worker(messages, folder, QString(), &step->report(), nullptr);
    worker.setLastStep(std::move(lastStep));
    return step->run(worker).result == WorkerOutcome::Succeeded;
}

} // namespace

bool saveIntoLocalDb(Sqlite3DB& db, const QDir& folder, const QList<_MsgMessage*>& messages, ActionFrontEnd& frontEnd)
{
    db.close();
    return runSave(folder, messages, frontEnd);
}

bool saveIntoNewLocalDb(const QDir& folder, const QList<_MsgMessage*>& messages, ActionFrontEnd& frontEnd)
{
    const QString target = folder.absolutePath();
    int error = 0;
    const QString staged = makeStagingFolder(QFileInfo(target).absoluteDir(), error);
    if (staged.isEmpty()) {
        frontEnd.fail(cannotCreate(target, error).toHtmlEscaped());
        return false;
    }
    const bool saved = runSave(QDir(staged), messages, frontEnd, [&] { putInPlace(staged, target); });
    if (!saved && !QDir(staged).removeRecursively())
        qWarning("Folder %s of a failed save is left for the next start", qUtf8Printable(staged));
    return saved;
}
