#pragma once

#include <QString>
#include <QThread>

class BackupManifest;
class WorkerReport;

// Unlocks an encrypted backup with a password off the GUI thread: the key derivation of
// a keybag may take many seconds. Reports the derivation's progress through the form and
// stops when the user cancels. Ends with success whether or not the password fit (read
// unlocked() afterwards), and with an error for a damaged keybag. The manifest and the
// form belong to the caller, who leaves the manifest alone while the thread runs.
class BackupUnlockThread : public QThread
{
    Q_OBJECT

public:
    BackupUnlockThread(BackupManifest* manifest, const QString& password, WorkerReport* form,
                       QObject* parent = nullptr);

    // Read after the run.
    bool unlocked() const { return unlockedWithPassword; }

protected:
    void run() override;

private:
    BackupManifest* manifest;
    QString password;
    WorkerReport* form;
    bool unlockedWithPassword = false;
};
