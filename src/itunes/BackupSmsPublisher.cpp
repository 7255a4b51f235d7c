#include "itunes/BackupSmsPublisher.h"

#include "itunes/AddFileToManifest.h"
#include "itunes/CopyFileDurably.h"
#include "itunes/DurableFileOps.h"
#include "itunes/ITunesLog.h"
#include "itunes/MbdbFile.h"
#include "itunes/PublishJournal.h"

#include "frame/RegularFileReader.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QtDebug>

#include <stdexcept>

namespace {

const QString manifestName = QStringLiteral("Manifest.mbdb");
const QString homeDomain = QStringLiteral("HomeDomain");
const QString mediaDomain = QStringLiteral("MediaDomain");
const QString smsDbRelativePath = QStringLiteral("Library/SMS/sms.db");
// A log left beside the old sms.db would be replayed into the new one on the phone, a
// rollback journal as much as a write-ahead log.
const QStringList smsDbLogRelativePaths = {QStringLiteral("Library/SMS/sms.db-wal"),
                                           QStringLiteral("Library/SMS/sms.db-shm"),
                                           QStringLiteral("Library/SMS/sms.db-journal")};

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toStdString());
}

QString kept(const QString& name, qint64 time)
{
    return name + QLatin1Char('-') + QString::number(time);
}

QString staged(const QString& name, qint64 time)
{
    return name + QStringLiteral(".new-") + QString::number(time);
}

QByteArray sha1Hex(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex();
}

} // namespace

BackupSmsPublisher::BackupSmsPublisher(const QDir& backupFolder)
    : folder(backupFolder.absolutePath()),
      manifestPath(folder.absoluteFilePath(manifestName)),
      smsDbFile(folder.absoluteFilePath(backupFileHash(homeDomain, smsDbRelativePath)))
{
}

BackupSmsPublisher::FileState BackupSmsPublisher::stateOf(const QString& path)
{
    return {QFileInfo(path).size(), fileSha1Hex(path)};
}

void BackupSmsPublisher::readBackup()
{
    if (!QFileInfo::exists(manifestPath))
        fail(QStringLiteral("can not find %1.").arg(manifestPath));
    QFile file(manifestPath);
    openRegularFileForReading(file);
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        fail(QStringLiteral("Cannot read %1: %2").arg(manifestPath, file.errorString()));
    map = parseMbdb(bytes, manifestPath, MbdbCheck::Strict);
    manifestRead = {bytes.size(), sha1Hex(bytes)};
    smsDbRead = stateOf(smsDbFile);
    haveRead = true;
}

// Another program (or a run that ignored the lock) wrote into the backup meanwhile:
// publishing now would throw its work away.
void BackupSmsPublisher::checkUnchanged() const
{
    if (stateOf(manifestPath) == manifestRead && stateOf(smsDbFile) == smsDbRead)
        return;
    qCWarning(lcITunes, "backup %s changed during the merge", qUtf8Printable(folder.absolutePath()));
    fail(QStringLiteral("The backup %1 was changed by another program during the merge; nothing was written "
                        "into it. Try again.")
             .arg(folder.absolutePath()));
}

bool BackupSmsPublisher::publish(const QString& smsDbPath, const QList<BackupMediaFile>& mediaFiles, qint64 now,
                                 const std::atomic<bool>& cancelled)
{
    if (!haveRead)
        readBackup();
    const QString smsDbName = QFileInfo(smsDbFile).fileName();
    // A plain file under a record that says it is encrypted would be garbage to the phone.
    if (map.value(smsDbName).encryptionKey.hasData())
        fail(QStringLiteral("The backup %1 is encrypted; no message can be written into it.")
                 .arg(folder.absolutePath()));

    QStringList newNames{smsDbName, manifestName};
    QStringList retired;
    for (const QString& logPath : smsDbLogRelativePaths) {
        const QString name = backupFileHash(homeDomain, logPath);
        if (map.contains(name) && pathExists(folder.absoluteFilePath(name)))
            retired << name;
    }
    QStringList created;
    for (const BackupMediaFile& media : mediaFiles) {
        const QString name = backupFileHash(mediaDomain, media.relativePath);
        if (!pathExists(folder.absoluteFilePath(name)) && !created.contains(name))
            created << name;
    }
    const qint64 time = freeTime(now, newNames + retired + created);

    QList<PublishedFile> files;
    auto add = [&](PublishedFile::Kind kind, const QString& name, const QByteArray& oldDigest) {
        files.append({kind, name, kind == PublishedFile::Retire ? QString() : staged(name, time),
                      kind == PublishedFile::Create ? QString() : kept(name, time), oldDigest, QByteArray()});
    };
    add(pathExists(smsDbFile) ? PublishedFile::Replace : PublishedFile::Create, smsDbName, smsDbRead.digest);
    for (const QString& name : std::as_const(created))
        add(PublishedFile::Create, name, QByteArray());
    for (const QString& name : std::as_const(retired))
        add(PublishedFile::Retire, name, fileSha1Hex(folder.absoluteFilePath(name)));
    add(PublishedFile::Replace, manifestName, manifestRead.digest);

    PublishJournal journal(folder);
    try {
        if (stageAndApply(journal, files, smsDbPath, mediaFiles, cancelled))
            return true;
        journal.recover();
        return false;
    } catch (const InconsistentBackupError&) {
        throw;
    } catch (const std::exception& e) {
        qCWarning(lcITunes, "publish into %s failed: %s", qUtf8Printable(folder.absolutePath()), e.what());
        if (journal.recover() == PublishJournal::Completed)
            return true;
        throw;
    }
}

bool BackupSmsPublisher::stageAndApply(PublishJournal& journal, QList<PublishedFile>& files,
                                       const QString& smsDbPath, const QList<BackupMediaFile>& mediaFiles,
                                       const std::atomic<bool>& cancelled)
{
    // Failures of the journal's own steps are system errors: logged where they happen,
    // shown to the user as one text that keeps the system's reason, a full disk say.
    auto journalStep = [this](const std::function<void()>& action) {
        try {
            action();
        } catch (const std::exception& e) {
            qCWarning(lcITunes, "publish into %s: %s", qUtf8Printable(folder.absolutePath()), e.what());
            fail(QStringLiteral("The merged messages could not be written into the backup %1: %2")
                     .arg(folder.absolutePath(), QString::fromUtf8(e.what())));
        }
    };
    auto stage = [&](PublishedFile& file, const QString& from) {
        journal.step(QStringLiteral("stage %1").arg(file.staged), [&] {
            QString error;
            if (!copyFileDurably(from, folder.absoluteFilePath(file.staged), &error))
                fail(QStringLiteral("can not overwrite %1. %2").arg(folder.absoluteFilePath(file.name), error));
        });
    };
    auto planned = [&](const QString& name) {
        return std::find_if(files.begin(), files.end(), [&](const PublishedFile& f) { return f.name == name; });
    };

    journalStep([&] { journal.begin(files, manifestName); });

    PublishedFile& smsDb = *planned(QFileInfo(smsDbFile).fileName());
    stage(smsDb, smsDbPath);
    const QString stagedSmsDb = folder.absoluteFilePath(smsDb.staged);
    addFileToManifest(map, stagedSmsDb, homeDomain, smsDbRelativePath);
    MbdbRecord& smsDbRecord = map[smsDb.name];
    // An existing record keeps its size otherwise, beside the new file's digest.
    smsDbRecord.size = quint64(QFileInfo(stagedSmsDb).size());
    smsDb.newDigest = smsDbRecord.digest.bytes.toHex();

    for (const BackupMediaFile& media : mediaFiles) {
        const QString name = backupFileHash(mediaDomain, media.relativePath);
        const auto file = planned(name);
        QString onDisk = folder.absoluteFilePath(name);
        if (file != files.end()) {
            if (file->newDigest.isEmpty())
                stage(*file, media.localPath);
            onDisk = folder.absoluteFilePath(file->staged);
        }
        addFileToManifest(map, onDisk, mediaDomain, media.relativePath);
        if (file != files.end())
            file->newDigest = map.value(name).digest.bytes.toHex();
    }
    for (const QString& logPath : smsDbLogRelativePaths)
        map.remove(backupFileHash(homeDomain, logPath));

    QList<MbdbRecord> records = map.values();
    const QByteArray manifestBytes = encodeMbdb(records);
    if (parseMbdb(manifestBytes, manifestPath, MbdbCheck::Strict).size() != map.size())
        fail(QStringLiteral("can not overwrite %1.").arg(manifestPath));
    PublishedFile& manifest = *planned(manifestName);
    manifest.newDigest = sha1Hex(manifestBytes);
    journal.step(QStringLiteral("stage %1").arg(manifest.staged), [&] {
        journalStep([&] { writeNewFileDurably(folder.absoluteFilePath(manifest.staged), manifestBytes); });
    });
    journal.step(QStringLiteral("flush the backup folder"),
                 [&] { journalStep([&] { syncFolder(folder.absolutePath()); }); });

    checkUnchanged();
    // The last moment at which a cancel leaves the backup as it was.
    if (cancelled)
        return false;
    journalStep([&] {
        journal.commitPlan(files);
        journal.apply();
    });
    return true;
}

// The time that the kept and staged names carry: the first second from now on for
// which none of them is taken, by an earlier merge in the same second for one.
qint64 BackupSmsPublisher::freeTime(qint64 now, const QStringList& names) const
{
    for (qint64 time = now;; ++time) {
        bool taken = false;
        for (const QString& name : names) {
            taken = taken || pathExists(folder.absoluteFilePath(kept(name, time)))
                 || pathExists(folder.absoluteFilePath(staged(name, time)));
        }
        if (!taken)
            return time;
    }
}
