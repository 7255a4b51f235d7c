#include "itunes/PublishJournal.h"

#include "frame/DataFolder.h"
#include "itunes/DurableFileOps.h"
#include "itunes/ITunesLog.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QMutexLocker>
#include <QtDebug>

#include <algorithm>

#include <sys/stat.h>

namespace {

const QString journalFolderName = QStringLiteral("backup_journal");

QMutex hookMutex;
std::function<void(const PublishStep&)> stepHook;

void callHook(const PublishStep& step)
{
    std::function<void(const PublishStep&)> hook;
    {
        const QMutexLocker locker(&hookMutex);
        hook = stepHook;
    }
    if (hook)
        hook(step);
}

QString journalFolder()
{
    const QDir data = appDataDir();
    if (!data.exists(journalFolderName)) {
        if (!data.mkdir(journalFolderName))
            throw std::runtime_error(QStringLiteral("Cannot create the folder %1.")
                                         .arg(data.absoluteFilePath(journalFolderName))
                                         .toStdString());
        QFile::setPermissions(data.absoluteFilePath(journalFolderName),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        syncFolder(data.absolutePath());
    }
    return data.absoluteFilePath(journalFolderName);
}

QString journalPath(const QString& recordName)
{
    return appDataDir().absoluteFilePath(journalFolderName + QLatin1Char('/') + recordName);
}

// The record's name by the folder's device and inode, so that every path to one folder
// (a symbolic link, a second mount) finds the same record. Empty when the folder is gone.
QString identityRecordName(const QDir& backupFolder)
{
    struct stat info;
    if (::stat(QFile::encodeName(backupFolder.absolutePath()).constData(), &info) != 0)
        return QString();
    return QStringLiteral("folder-%1-%2.json").arg(quint64(info.st_dev)).arg(quint64(info.st_ino));
}

// The name earlier versions gave a record: by the text of the folder's path.
QString pathRecordName(const QDir& backupFolder)
{
    const QByteArray key = QCryptographicHash::hash(backupFolder.absolutePath().toUtf8(), QCryptographicHash::Md5);
    return QString::fromLatin1(key.toHex()) + QStringLiteral(".json");
}

const char* const kindNames[] = {"replace", "create", "retire"};

QJsonObject toJson(const PublishedFile& file)
{
    return QJsonObject{{"kind", kindNames[file.kind]},
                       {"name", file.name},
                       {"staged", file.staged},
                       {"kept", file.kept},
                       {"old", QString::fromLatin1(file.oldDigest)},
                       {"new", QString::fromLatin1(file.newDigest)}};
}

PublishedFile fromJson(const QJsonObject& json)
{
    PublishedFile file;
    const QString kind = json.value("kind").toString();
    for (int k = PublishedFile::Replace; k <= PublishedFile::Retire; ++k) {
        if (kind == QLatin1String(kindNames[k]))
            file.kind = PublishedFile::Kind(k);
    }
    file.name = json.value("name").toString();
    file.staged = json.value("staged").toString();
    file.kept = json.value("kept").toString();
    file.oldDigest = json.value("old").toString().toLatin1();
    file.newDigest = json.value("new").toString().toLatin1();
    return file;
}

// A name from the record must stay a plain file name of the backup folder.
bool isPlainName(const QString& name)
{
    return name.isEmpty()
        || (!name.contains(QLatin1Char('/')) && name != QLatin1String(".") && name != QLatin1String(".."));
}

} // namespace

PublishJournal::PublishJournal(const QDir& backupFolder)
    : folder(backupFolder.absolutePath())
{
}

bool PublishJournal::hasRecord(const QDir& backupFolder)
{
    const QString identity = identityRecordName(backupFolder);
    return (!identity.isEmpty() && QFileInfo::exists(journalPath(identity)))
           || QFileInfo::exists(journalPath(pathRecordName(backupFolder)));
}

void PublishJournal::setStepHook(std::function<void(const PublishStep&)> hook)
{
    const QMutexLocker locker(&hookMutex);
    stepHook = std::move(hook);
}

QString PublishJournal::inFolder(const QString& name) const
{
    return folder.absoluteFilePath(name);
}

void PublishJournal::step(const QString& description, const std::function<void()>& action)
{
    callHook({false, ++forwardSteps, description});
    action();
}

void PublishJournal::undoStep(const QString& description, const std::function<void()>& action)
{
    callHook({true, ++undoSteps, description});
    action();
}

void PublishJournal::begin(const QList<PublishedFile>& planned, const QString& commit)
{
    files = planned;
    commitName = commit;
    const QString identity = identityRecordName(folder);
    if (identity.isEmpty())
        throw std::runtime_error(
            QStringLiteral("Cannot open the backup folder %1.").arg(folder.absolutePath()).toStdString());
    recordPath = QDir(journalFolder()).absoluteFilePath(identity);
    step(QStringLiteral("write the intent record"), [this] { writeRecord(false); });
}

void PublishJournal::commitPlan(const QList<PublishedFile>& planned)
{
    files = planned;
    step(QStringLiteral("record the staged files"), [this] { writeRecord(true); });
}

void PublishJournal::writeRecord(bool publishingPhase)
{
    publishing = publishingPhase;
    QJsonArray list;
    for (const PublishedFile& file : std::as_const(files))
        list.append(toJson(file));
    const QJsonObject record{{"folder", folder.absolutePath()},
                             {"commit", commitName},
                             {"phase", publishing ? "publishing" : "staging"},
                             {"files", list}};
    replaceFileDurably(recordPath, QJsonDocument(record).toJson());
}

bool PublishJournal::loadRecord(const QString& path, bool keyedByPath)
{
    recordPath = path;
    QFile file(recordPath);
    if (!file.exists())
        return false;
    if (!file.open(QIODevice::ReadOnly))
        failInconsistent(QStringLiteral("cannot read %1: %2").arg(recordPath, file.errorString()));
    const QJsonObject record = QJsonDocument::fromJson(file.readAll()).object();
    files.clear();
    for (const QJsonValue& value : record.value("files").toArray())
        files.append(fromJson(value.toObject()));
    commitName = record.value("commit").toString();
    publishing = record.value("phase").toString() == QLatin1String("publishing");
    // A record keyed by identity may have been written through another path to the folder.
    bool plain = (!keyedByPath || record.value("folder").toString() == folder.absolutePath()) && !commitName.isEmpty();
    for (const PublishedFile& f : std::as_const(files))
        plain = plain && isPlainName(f.name) && isPlainName(f.staged) && isPlainName(f.kept) && !f.name.isEmpty();
    if (!plain)
        failInconsistent(QStringLiteral("the intent record %1 is damaged").arg(recordPath));
    return true;
}

void PublishJournal::removeRecord()
{
    removeIfPresent(recordPath);
    syncFolder(QFileInfo(recordPath).absolutePath());
}

void PublishJournal::apply()
{
    for (const PublishedFile& f : std::as_const(files)) {
        if (f.kind != PublishedFile::Create)
            step(QStringLiteral("keep %1 as %2").arg(f.name, f.kept),
                 [&] { keepByLinkOrCopy(inFolder(f.name), inFolder(f.kept)); });
    }
    step(QStringLiteral("flush the backup folder"), [this] { syncFolder(folder.absolutePath()); });
    const PublishedFile* commitFile = nullptr;
    for (const PublishedFile& f : std::as_const(files)) {
        if (f.name == commitName) {
            commitFile = &f;
        } else if (f.kind == PublishedFile::Replace) {
            step(QStringLiteral("replace %1").arg(f.name), [&] { renameReplacing(inFolder(f.staged), inFolder(f.name)); });
        } else if (f.kind == PublishedFile::Create) {
            step(QStringLiteral("create %1").arg(f.name), [&] { renameNoReplace(inFolder(f.staged), inFolder(f.name)); });
        }
    }
    if (commitFile)
        step(QStringLiteral("replace %1").arg(commitName),
             [&] { renameReplacing(inFolder(commitFile->staged), inFolder(commitName)); });
    step(QStringLiteral("flush the backup folder"), [this] { syncFolder(folder.absolutePath()); });
    for (const PublishedFile& f : std::as_const(files)) {
        if (f.kind == PublishedFile::Retire)
            step(QStringLiteral("remove %1").arg(f.name), [&] { removeIfPresent(inFolder(f.name)); });
    }
    step(QStringLiteral("flush the backup folder"), [this] { syncFolder(folder.absolutePath()); });
    step(QStringLiteral("remove the intent record"), [this] { removeRecord(); });
}

PublishJournal::Outcome PublishJournal::recover()
{
    undoSteps = 0;
    // A record under the path-keyed name is older than any keyed by identity, so it is
    // settled second, on the files as the newer record's run found them.
    const QString identity = identityRecordName(folder);
    const Outcome newer = identity.isEmpty() ? NothingToDo : settle(journalPath(identity), false);
    const Outcome older = settle(journalPath(pathRecordName(folder)), true);
    return newer != NothingToDo ? newer : older;
}

PublishJournal::Outcome PublishJournal::settle(const QString& path, bool keyedByPath)
{
    // A record cut off before its rename: the run went no further, by the record as it was.
    removeIfPresent(durableTemporaryPath(path));
    if (!loadRecord(path, keyedByPath))
        return NothingToDo;
    try {
        if (!std::all_of(files.cbegin(), files.cend(), [this](const PublishedFile& f) { return explains(f); })) {
            leaveToNewerFiles();
            return Superseded;
        }
        const auto commit = std::find_if(files.cbegin(), files.cend(),
                                         [this](const PublishedFile& f) { return f.name == commitName; });
        if (publishing && commit != files.cend() && fileSha1Hex(inFolder(commitName)) == commit->newDigest) {
            complete();
            qCInfo(lcITunes, "finished the interrupted publish into %s", qUtf8Printable(folder.absolutePath()));
            return Completed;
        }
        rollBack();
        qCInfo(lcITunes, "undid the interrupted publish into %s", qUtf8Printable(folder.absolutePath()));
        return RolledBack;
    } catch (const InconsistentBackupError&) {
        throw;
    } catch (const std::exception& e) {
        failInconsistent(QString::fromUtf8(e.what()));
    }
}

// True when the file and its staged file hold what the record's own run left: the old
// content, or (once every staged file was in place) the new one. Anything else was
// written by someone else after that run.
bool PublishJournal::explains(const PublishedFile& f) const
{
    const QString live = inFolder(f.name);
    const bool present = pathExists(live);
    const QByteArray digest = present ? fileSha1Hex(live) : QByteArray();
    const bool old = f.kind == PublishedFile::Create ? !present : present && digest == f.oldDigest;
    const bool fresh = publishing && (f.kind == PublishedFile::Retire ? !present : present && digest == f.newDigest);
    if (!old && !fresh)
        return false;
    return !publishing || f.staged.isEmpty() || !pathExists(inFolder(f.staged))
           || fileSha1Hex(inFolder(f.staged)) == f.newDigest;
}

// Another writer came after the interrupted run: its files stand, and of the record's
// files only the staged ones go (while staging, each is the run's own, partly written).
void PublishJournal::leaveToNewerFiles()
{
    for (const PublishedFile& f : std::as_const(files)) {
        const QString staged = inFolder(f.staged);
        if (!f.staged.isEmpty() && pathExists(staged) && (!publishing || fileSha1Hex(staged) == f.newDigest))
            undoStep(QStringLiteral("remove %1").arg(f.staged), [&] { removeIfPresent(staged); });
    }
    undoStep(QStringLiteral("flush the backup folder"), [this] { syncFolder(folder.absolutePath()); });
    qCWarning(lcITunes, "backup %s changed after an interrupted publish; left as it is, and %s",
              qUtf8Printable(folder.absolutePath()), qUtf8Printable(keptFilesText()));
    undoStep(QStringLiteral("remove the intent record"), [this] { removeRecord(); });
}

// Past the commit rename: the rest of the steps, each done only where it is missing.
void PublishJournal::complete()
{
    for (const PublishedFile& f : std::as_const(files)) {
        const QString live = inFolder(f.name);
        const QString staged = inFolder(f.staged);
        const QString kept = inFolder(f.kept);
        switch (f.kind) {
        case PublishedFile::Replace:
            if (fileSha1Hex(live) == f.newDigest)
                break;
            if (!pathExists(staged) || fileSha1Hex(staged) != f.newDigest)
                failInconsistent(
                    QStringLiteral("%1 cannot be finished: %2 does not hold its new content").arg(live, staged));
            if (fileSha1Hex(live) == f.oldDigest && fileSha1Hex(kept) != f.oldDigest) {
                undoStep(QStringLiteral("remove %1").arg(f.kept), [&] { removeIfPresent(kept); });
                undoStep(QStringLiteral("keep %1 as %2").arg(f.name, f.kept), [&] { keepByLinkOrCopy(live, kept); });
            }
            undoStep(QStringLiteral("replace %1").arg(f.name), [&] { renameReplacing(staged, live); });
            break;
        case PublishedFile::Create:
            if (!pathExists(live) && pathExists(staged))
                undoStep(QStringLiteral("create %1").arg(f.name), [&] { renameNoReplace(staged, live); });
            else if (pathExists(staged))
                undoStep(QStringLiteral("remove %1").arg(f.staged), [&] { removeIfPresent(staged); });
            break;
        case PublishedFile::Retire:
            if (!pathExists(live))
                break;
            if (fileSha1Hex(kept) != f.oldDigest) {
                undoStep(QStringLiteral("remove %1").arg(f.kept), [&] { removeIfPresent(kept); });
                undoStep(QStringLiteral("keep %1 as %2").arg(f.name, f.kept), [&] { keepByLinkOrCopy(live, kept); });
            }
            undoStep(QStringLiteral("remove %1").arg(f.name), [&] { removeIfPresent(live); });
            break;
        }
    }
    undoStep(QStringLiteral("flush the backup folder"), [this] { syncFolder(folder.absolutePath()); });
    undoStep(QStringLiteral("remove the intent record"), [this] { removeRecord(); });
}

// Before the commit rename: every file back as it was; the staged and kept files go.
void PublishJournal::rollBack()
{
    for (const PublishedFile& f : std::as_const(files)) {
        const QString live = inFolder(f.name);
        const QString staged = inFolder(f.staged);
        const QString kept = inFolder(f.kept);
        if (!f.staged.isEmpty() && pathExists(staged))
            undoStep(QStringLiteral("remove %1").arg(f.staged), [&] { removeIfPresent(staged); });
        if (!publishing)
            continue; // nothing but staged files exists yet
        switch (f.kind) {
        case PublishedFile::Replace:
            rollBackReplace(f);
            break;
        case PublishedFile::Create:
            if (pathExists(live) && fileSha1Hex(live) == f.newDigest)
                undoStep(QStringLiteral("remove %1").arg(f.name), [&] { removeIfPresent(live); });
            break;
        case PublishedFile::Retire:
            if (pathExists(live)) {
                if (pathExists(kept))
                    undoStep(QStringLiteral("remove %1").arg(f.kept), [&] { removeIfPresent(kept); });
            } else if (pathExists(kept)) {
                undoStep(QStringLiteral("restore %1").arg(f.name), [&] { renameReplacing(kept, live); });
            } else {
                failInconsistent(QStringLiteral("%1 is gone").arg(live));
            }
            break;
        }
    }
    undoStep(QStringLiteral("flush the backup folder"), [this] { syncFolder(folder.absolutePath()); });
    undoStep(QStringLiteral("remove the intent record"), [this] { removeRecord(); });
}

void PublishJournal::rollBackReplace(const PublishedFile& f)
{
    const QString live = inFolder(f.name);
    const QString kept = inFolder(f.kept);
    if (fileSha1Hex(live) == f.oldDigest) {
        if (pathExists(kept))
            undoStep(QStringLiteral("remove %1").arg(f.kept), [&] { removeIfPresent(kept); });
    } else if (pathExists(kept) && fileSha1Hex(kept) == f.oldDigest) {
        undoStep(QStringLiteral("restore %1").arg(f.name), [&] { renameReplacing(kept, live); });
    } else {
        failInconsistent(QStringLiteral("%1 cannot be restored: %2 does not hold its old content").arg(live, kept));
    }
}

QString PublishJournal::keptFilesText() const
{
    QStringList kept;
    QStringList changed;
    for (const PublishedFile& f : files) {
        const QString path = inFolder(f.kept);
        if (f.kept.isEmpty() || !pathExists(path))
            continue;
        // Where the file system has hard links, a kept file is a second name of the live
        // one: a writer that changed the live file in place changed it too.
        (fileSha1Hex(path) == f.oldDigest ? kept : changed) << path;
    }
    QStringList parts;
    if (!kept.isEmpty())
        parts << QStringLiteral("its previous files are kept as %1").arg(kept.join(QStringLiteral(", ")));
    if (!changed.isEmpty())
        parts << QStringLiteral("these no longer hold its previous files, as another writer changed them in place: %1")
                     .arg(changed.join(QStringLiteral(", ")));
    return parts.isEmpty() ? QStringLiteral("no kept file was found") : parts.join(QStringLiteral("; "));
}

void PublishJournal::failInconsistent(const QString& reason) const
{
    qCCritical(lcITunes, "backup %s left inconsistent: %s", qUtf8Printable(folder.absolutePath()),
               qUtf8Printable(reason));
    throw InconsistentBackupError(
        QStringLiteral("The backup %1 is inconsistent: an interrupted merge could neither be finished nor undone, "
                       "and %2. It is tried again the next time the backup is used.")
            .arg(folder.absolutePath(), keptFilesText())
            .toStdString());
}
