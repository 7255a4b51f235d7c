#include "itunes/ITunesCacheSMSThread.h"

#include "frame/FileOps.h"
#include "frame/PrivateFolder.h"
#include "frame/ReportedRun.h"
#include "frame/WorkerReport.h"
#include "itunes/BackupManifest.h"
#include "itunes/BackupRecovery.h"
#include "itunes/CacheFolders.h"
#include "itunes/ITunesLog.h"
#include "itunes/SafeCacheEntry.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace {

const QString cacheDbName = QStringLiteral("manifest.db");
const QString libraryPath = QStringLiteral("file-relay/var/mobile/Library");
// The reader of the cache looks for these names exactly, whatever case the backup uses.
const QString smsFolderName = QStringLiteral("SMS");
const QString addressBookFolderName = QStringLiteral("AddressBook");
// SQLite keeps recent changes of a database in these files beside it, or the pages an
// unfinished change overwrote; a database copied without them, or with those of another
// version, is stale or damaged.
const QString companionSuffixes[] = {QStringLiteral("-wal"), QStringLiteral("-shm"), QStringLiteral("-journal")};

const BackupFileNode* childNamed(const BackupFileNode& node, const QString& name)
{
    for (const BackupFileNode* child : node.children) {
        if (child->name.compare(name, Qt::CaseInsensitive) == 0)
            return child;
    }
    return nullptr;
}

const BackupFileNode* siblingFile(const BackupFileNode& node, const QString& name)
{
    const BackupFileNode* sibling = node.parent ? node.parent->child(name) : nullptr;
    return sibling && !sibling->record.isDir() ? sibling : nullptr;
}

// A "-wal", "-shm" or "-journal" file whose database lies beside it: it is copied with the
// database, and an empty one (stored as a record of size 0) is left out like a missing one.
bool isCompanionFile(const BackupFileNode& node)
{
    for (const QString& suffix : companionSuffixes) {
        if (node.name.endsWith(suffix) && siblingFile(node, node.name.chopped(suffix.size())))
            return true;
    }
    return false;
}

bool isSafe(const BackupFileNode& node)
{
    return node.record.hasPlainPath() && isSafeCacheEntry(node.name, node.record.path.toString());
}

} // namespace

ITunesCacheSMSThread::ITunesCacheSMSThread(BackupManifest* manifest, WorkerReport* form, QObject* parent)
    : ITunesCacheSMSThread(manifest, QDir(itunesCacheDir().absoluteFilePath(manifest->cacheKey())), form, parent)
{
}

ITunesCacheSMSThread::ITunesCacheSMSThread(BackupManifest* manifest, const QDir& cacheFolder, WorkerReport* form,
                                           QObject* parent)
    : QThread(parent)
    , manifest(manifest)
    , form(form)
    , cacheFolder(cacheFolder)
    , cacheDb(cacheFolder.absoluteFilePath(cacheDbName))
{
}

ITunesCacheSMSThread::~ITunesCacheSMSThread() = default;

QStringList ITunesCacheSMSThread::copiedFiles() const
{
    QStringList copied;
    for (const QString& file : written.files())
        copied << cacheFolder.relativeFilePath(file);
    return copied;
}

void ITunesCacheSMSThread::run()
{
    form->postProgress(tr("IDS_LOADING_ITUNES_BACKUP"), 99, QString());
    std::shared_ptr<BackupLock> lock = backupLock;
    bool copying = false;
    runReported(
        *form,
        [&] {
            if (!lock)
                lock = lockBackupForWriting(manifest->folder);
            const BackupFileNode* library = childNamed(manifest->root, QStringLiteral("Library"));
            const BackupFileNode* sms = library ? childNamed(*library, smsFolderName) : nullptr;
            const BackupFileNode* addressBook = library ? childNamed(*library, addressBookFolderName) : nullptr;
            if (!sms)
                throw std::runtime_error(tr("IDS_NOT_CONTAIN_SMS_DB_IN_ITUNES_BACKUP").toStdString());

            written = WrittenPaths();
            takenPaths.clear();
            cacheDbExisted = QFileInfo::exists(cacheDb.path());
            copying = true;
            // Decrypted messages go in: a folder an older version left open is closed first.
            if (!closeFolderToOthers(cacheFolder.absolutePath()))
                throw std::runtime_error(
                    QStringLiteral("Other users could read the cache folder %1, and it cannot be closed to them.")
                        .arg(cacheFolder.absolutePath())
                        .toStdString());
            const QString target = cacheFolder.absoluteFilePath(libraryPath);
            written.makePath(target);
            cacheBackupDir(*sms, QDir(target), smsFolderName);
            if (addressBook)
                cacheBackupDir(*addressBook, QDir(target), addressBookFolderName);
            // Saved now, not when the object goes: a merge checks the backup against these dates.
            cacheDb.commit();
            form->postSucceed(QString());
        },
        [&] {
            if (copying)
                takeBackRun();
        },
        QStringLiteral("Copying the backup's messages failed."));
}

void ITunesCacheSMSThread::cacheBackupDir(const BackupFileNode& node, const QDir& folder, const QString& name)
{
    if (!isSafe(node)) {
        qCWarning(lcITunes) << "backup cache: skipped the unsafe name" << node.record.path.toString() << "of"
                            << manifest->folder.absolutePath();
        return;
    }
    form->postProgress(QString(), -1, tr("IDS_CACHING_BACKUP_FILE_%1").arg(name));
    if (form->rejected)
        throw RunCancelled();

    // Checked before isDir: an empty side file reads as a folder, and a folder of that
    // name beside the database would keep SQLite from opening it.
    if (isCompanionFile(node))
        return;
    if (node.record.isDir()) {
        // A folder that cannot be made makes the files below it fail.
        const QString subFolder = folder.absoluteFilePath(name);
        written.makePath(subFolder);
        for (const BackupFileNode* child : node.children)
            cacheBackupDir(*child, QDir(subFolder), child->name);
    } else {
        cacheFile(node, folder);
    }
}

// Copies the file, with its companion files when it is a database that has them, unless
// the cached copies are all current. Companions are all copied again whenever one changed.
void ITunesCacheSMSThread::cacheFile(const BackupFileNode& node, const QDir& folder)
{
    const QString name = sanitizeFileName(node.name);
    if (name != node.name) {
        qCWarning(lcITunes) << "backup cache: skipped" << node.record.path.toString() << "of"
                            << manifest->folder.absolutePath() << "whose name is not fit for a file";
        return;
    }
    if (!backupHolds(node) || !takeCachePath(node, folder.absoluteFilePath(name)))
        return;

    QList<CachedCopy> files{{&node, folder.absoluteFilePath(name), {}}};
    QStringList absentSuffixes; // companions the backup lacks
    bool current = true;
    for (const QString& suffix : companionSuffixes) {
        const QString destPath = folder.absoluteFilePath(name + suffix);
        const BackupFileNode* companion = siblingFile(node, node.name + suffix);
        if (companion && isSafe(*companion) && backupHolds(*companion) && takeCachePath(*companion, destPath)) {
            files.append({companion, destPath, {}});
        } else {
            absentSuffixes << suffix;
            current = current && !QFileInfo::exists(destPath);
        }
    }
    // Read before any copy: a file that changes during its copy then reads as changed next time.
    for (CachedCopy& file : files) {
        file.inBackup = BackupFileState::of(file.node->record, storedPath(*file.node));
        current = current && isCurrent(file);
    }
    if (current)
        return;

    for (const CachedCopy& file : std::as_const(files))
        copyFile(file);
    for (const QString& suffix : std::as_const(absentSuffixes)) {
        QFile::remove(folder.absoluteFilePath(name + suffix));
        cacheDb.remove(backupFileHash(node.record.domain.toString(), node.record.path.toString() + suffix));
    }
}

bool ITunesCacheSMSThread::isCurrent(const CachedCopy& file)
{
    return cacheDb.isCurrent(file.node->record.fileHash(), file.inBackup) && QFileInfo::exists(file.destPath);
}

void ITunesCacheSMSThread::copyFile(const CachedCopy& file)
{
    const MbdbRecord& record = file.node->record;
    // The manifest would copy such a file unchanged: ciphertext is no message database.
    if (manifest->isEncrypted && record.encryptionKey.hasData()
        && manifest->keyBag.unwrapFileKey(record.protectionClass, record.encryptionKey.bytes.mid(4)).isEmpty()) {
        qCWarning(lcITunes).noquote() << "backup cache: no key for" << record.fileHash() << "of class"
                                      << record.protectionClass;
        throw std::runtime_error(
            QStringLiteral("cannot decrypt %1 of the backup: the backup is not unlocked or the file's key is damaged.")
                .arg(record.path.toString())
                .toStdString());
    }
    written.addFile(file.destPath);
    manifest->extractFile(file.node, file.destPath);
    cacheDb.record(record.fileHash(), file.inBackup);
}

QString ITunesCacheSMSThread::storedPath(const BackupFileNode& node) const
{
    return manifest->folder.absoluteFilePath(node.record.fileHash());
}

bool ITunesCacheSMSThread::backupHolds(const BackupFileNode& node) const
{
    return QFileInfo::exists(storedPath(node));
}

// False, with a log line, when another record of this run already maps to destPath.
bool ITunesCacheSMSThread::takeCachePath(const BackupFileNode& node, const QString& destPath)
{
    if (takenPaths.contains(destPath)) {
        qCWarning(lcITunes) << "backup cache: skipped" << node.record.path.toString() << "of"
                            << manifest->folder.absolutePath() << "whose cache file another record took";
        return false;
    }
    takenPaths.insert(destPath);
    return true;
}

void ITunesCacheSMSThread::takeBackRun()
{
    cacheDb.rollback();
    if (!cacheDbExisted)
        QFile::remove(cacheDb.path());
    written.removeAll();
}
