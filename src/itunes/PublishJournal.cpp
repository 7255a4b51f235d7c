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

QString recordName(const QDir& backupFolder)
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
    return QFileInfo::exists(
        appDataDir().absoluteFilePath(journalFolderName + QLatin1Char('/') + recordName(backupFolder)));
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
    recordPath = QDir(journalFolder()).absoluteFilePath(recordName(folder));
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

bool PublishJournal::loadRecord()
{
    recordPath = appDataDir().absoluteFilePath(journalFolderName + QLatin1Char('/') + recordName(folder));
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
    bool plain = record.value("folder").toString() == folder.absolutePath() && !commitName.isEmpty();
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
    if (!loadRecord())
        return NothingToDo;
    try {
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
                failInconsistent(QStringLiteral("%1 holds neither the old nor the new file").arg(live));
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
        failInconsistent(QStringLiteral("%1 holds neither the old nor the new file").arg(live));
    }
}

void PublishJournal::failInconsistent(const QString& reason) const
{
    qCCritical(lcITunes, "backup %s left inconsistent: %s", qUtf8Printable(folder.absolutePath()),
               qUtf8Printable(reason));
    QStringList keptFiles;
    for (const PublishedFile& f : files) {
        if (!f.kept.isEmpty() && pathExists(inFolder(f.kept)))
            keptFiles << inFolder(f.kept);
    }
    const QString where = keptFiles.isEmpty() ? QStringLiteral("no kept file was found")
                                              : QStringLiteral("its previous files are kept as %1")
                                                    .arg(keptFiles.join(QStringLiteral(", ")));
    throw InconsistentBackupError(
        QStringLiteral("The backup %1 is inconsistent: an interrupted merge could neither be finished nor undone, "
                       "and %2. It is tried again the next time the backup is used.")
            .arg(folder.absolutePath(), where)
            .toStdString());
}
