#pragma once

#include <QByteArray>
#include <QDir>
#include <QList>
#include <QString>

#include <functional>
#include <stdexcept>

// Thrown when an interrupted publish could neither be finished nor undone; the text
// names the kept files that hold the backup's previous state.
struct InconsistentBackupError : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

// One file of a publish. Names are file names inside the backup folder; digests are
// hex SHA-1 of the content.
struct PublishedFile
{
    enum Kind {
        Replace, // the staged file takes the place of the live one, which is kept
        Create,  // the staged file takes a name that did not exist
        Retire,  // the live file leaves, kept under its kept name
    };
    Kind kind = Replace;
    QString name;
    QString staged;
    QString kept;
    QByteArray oldDigest;
    QByteArray newDigest;
};

// A step of a publish or of its undo, as the step hook sees it; numbers count from 1
// separately for the forward steps and the undo steps of one journal.
struct PublishStep
{
    bool undo = false;
    int number = 0;
    QString description;
};

// The intent record of a publish into one backup folder, kept in the program's own data
// folder ("backup_journal") under the folder's device and inode, and the steps it lists.
// The record is written and flushed before the first change to the backup folder, and
// removed only once the publish is complete and durable; until then recover() brings the
// folder back to exactly the old state or forward to exactly the new one, as long as no
// one else wrote into it. The caller holds the backup's lock.
class PublishJournal
{
public:
    explicit PublishJournal(const QDir& backupFolder);

    static bool hasRecord(const QDir& backupFolder);

    // Writes the record of the files about to be staged. Until commitPlan(), recovery
    // only removes the staged files it names.
    void begin(const QList<PublishedFile>& files, const QString& commitName);
    // Every staged file is in place and flushed; the record now carries the digests.
    void commitPlan(const QList<PublishedFile>& files);
    // The publish itself: keeps, renames, the commit rename of commitName, removals,
    // folder flushes and the removal of the record. Throws at the first failure and
    // undoes nothing; recover() does.
    void apply();

    // Superseded: another writer changed a file of the record after its run, so no file
    // but the run's own staged ones was touched, and the record is dropped.
    enum Outcome { NothingToDo, RolledBack, Completed, Superseded };
    // Finishes or undoes the publish that the record describes (nothing without one), then
    // one that an earlier version recorded under the folder's path. Throws
    // InconsistentBackupError when that fails; the record then stays for the next run.
    Outcome recover();

    // Runs a forward step: the hook first, then the step.
    void step(const QString& description, const std::function<void()>& action);

    // A process-wide hook called before every step; a throwing hook makes that step fail.
    // For tests that fail or stop a publish at a chosen step. Empty: no hook.
    static void setStepHook(std::function<void(const PublishStep&)> hook);

private:
    void undoStep(const QString& description, const std::function<void()>& action);
    void writeRecord(bool publishing);
    bool loadRecord(const QString& path, bool keyedByPath);
    void removeRecord();
    Outcome settle(const QString& path, bool keyedByPath);
    bool explains(const PublishedFile& file) const;
    void leaveToNewerFiles();
    void complete();
    void rollBack();
    void rollBackReplace(const PublishedFile& file);
    QString keptFilesText() const;
    [[noreturn]] void failInconsistent(const QString& reason) const;
    QString inFolder(const QString& name) const;

    QDir folder;
    QString recordPath;
    QList<PublishedFile> files;
    QString commitName;
    bool publishing = false;
    int forwardSteps = 0;
    int undoSteps = 0;
};
