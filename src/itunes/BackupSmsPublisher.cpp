#include "itunes/BackupSmsPublisher.h"

#include "itunes/AddFileToManifest.h"
#include "itunes/CopyFileDurably.h"
#include "frame/FileSwap.h"
#include "itunes/MbdbFile.h"

#include <QFile>
#include <QFileInfo>
#include <QtDebug>

#include <stdexcept>

namespace {

const QString homeDomain = QStringLiteral("HomeDomain");
const QString mediaDomain = QStringLiteral("MediaDomain");
const QString smsDbRelativePath = QStringLiteral("Library/SMS/sms.db");
// A log left beside the old sms.db would be replayed into the new one on the phone.
const QStringList smsDbLogRelativePaths = {QStringLiteral("Library/SMS/sms.db-wal"),
                                           QStringLiteral("Library/SMS/sms.db-shm")};

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toStdString());
}

bool exists(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

QString kept(const QString& path, qint64 time)
{
    return path + QLatin1Char('-') + QString::number(time);
}

QString staged(const QString& path, qint64 time)
{
    return path + QStringLiteral(".new-") + QString::number(time);
}

} // namespace

BackupSmsPublisher::BackupSmsPublisher(const QDir& backupFolder)
    : folder(backupFolder), manifestPath(backupFolder.absoluteFilePath(QStringLiteral("Manifest.mbdb")))
{
}

bool BackupSmsPublisher::publish(const QString& smsDbPath, const QList<BackupMediaFile>& mediaFiles, qint64 now,
                                 const std::atomic<bool>& cancelled)
{
    created.clear();
    try {
        if (publishStaged(smsDbPath, mediaFiles, now, cancelled))
            return true;
    } catch (...) {
        removeCreated();
        throw;
    }
    removeCreated();
    return false;
}

bool BackupSmsPublisher::publishStaged(const QString& smsDbPath, const QList<BackupMediaFile>& mediaFiles,
                                       qint64 now, const std::atomic<bool>& cancelled)
{
    if (!QFileInfo::exists(manifestPath))
        fail(QStringLiteral("can not find %1.").arg(manifestPath));
    MbdbMap map = readMbdb(manifestPath);

    const QString smsDbName = backupFileHash(homeDomain, smsDbRelativePath);
    // A plain file under a record that says it is encrypted would be garbage to the phone.
    if (map.value(smsDbName).encryptionKey.hasData())
        fail(QStringLiteral("The backup %1 is encrypted; no message can be written into it.")
                 .arg(folder.absolutePath()));

    const qint64 time = freeTime(now);
    const QString smsDbFile = folder.absoluteFilePath(smsDbName);
    const QString newSmsDb = stage(smsDbPath, staged(smsDbFile, time), smsDbFile);
    addFileToManifest(map, newSmsDb, homeDomain, smsDbRelativePath);
    // An existing record keeps its size otherwise, beside the new file's digest.
    map[smsDbName].size = quint64(QFileInfo(newSmsDb).size());

    for (const BackupMediaFile& media : mediaFiles) {
        const QString destination = folder.absoluteFilePath(backupFileHash(mediaDomain, media.relativePath));
        if (!exists(destination))
            stage(media.localPath, destination, destination);
        addFileToManifest(map, destination, mediaDomain, media.relativePath);
    }

    FileSwap swap;
    for (const QString& logPath : smsDbLogRelativePaths) {
        const QString name = backupFileHash(homeDomain, logPath);
        if (map.remove(name) > 0)
            swap.add(folder.absoluteFilePath(name), QString(), kept(folder.absoluteFilePath(name), time));
    }
    swap.add(smsDbFile, newSmsDb, kept(smsDbFile, time));

    const QString newManifest = staged(manifestPath, time);
    QList<MbdbRecord> records = map.values();
    created.append(newManifest);
    writeMbdb(records, newManifest);
    if (readMbdb(newManifest).size() != map.size())
        fail(QStringLiteral("can not overwrite %1.").arg(manifestPath));
    swap.add(manifestPath, newManifest, kept(manifestPath, time));

    // The last moment at which a cancel leaves the backup as it was.
    if (cancelled)
        return false;
    swap.commit();
    return true;
}

// The time that the kept and staged names carry: the first second from now on for
// which none of them is taken, by an earlier merge in the same second for one.
qint64 BackupSmsPublisher::freeTime(qint64 now) const
{
    QStringList names{manifestPath, folder.absoluteFilePath(backupFileHash(homeDomain, smsDbRelativePath))};
    for (const QString& logPath : smsDbLogRelativePaths)
        names.append(folder.absoluteFilePath(backupFileHash(homeDomain, logPath)));
    for (qint64 time = now;; ++time) {
        bool taken = false;
        for (const QString& name : names)
            taken = taken || exists(kept(name, time)) || exists(staged(name, time));
        if (!taken)
            return time;
    }
}

// Copies from to the new file to; reportedPath is the name the user knows it by.
QString BackupSmsPublisher::stage(const QString& from, const QString& to, const QString& reportedPath)
{
    QString error;
    if (!copyFileDurably(from, to, &error)) {
        qWarning("%s", qUtf8Printable(error));
        fail(QStringLiteral("can not overwrite %1.").arg(reportedPath));
    }
    created.append(to);
    return to;
}

void BackupSmsPublisher::removeCreated()
{
    for (const QString& path : std::as_const(created)) {
        if (!QFile::remove(path) && exists(path))
            qCritical("cannot remove %s", qUtf8Printable(path));
    }
    created.clear();
}
