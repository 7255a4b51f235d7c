#include "ui/MainWindow.h"

#include "actions/BackupSteps.h"
#include "actions/ItunesBackupExport.h"
#include "actions/ItunesBackupImport.h"
#include "frame/MessageBox.h"
#include "itunes/BackupManifest.h"
#include "itunes/LoadItunesBackupDlg.h"
#include "itunes/PasscodeDlg.h"
#include "ui/DialogFrontEnd.h"
#include "ui/ItemModelMain.h"
#include "ui/ItemModelSms.h"

#include <QtDebug>

#include <exception>

namespace {

// The backup the user picks; null when the chooser was closed.
QSharedPointer<BackupManifest> chooseBackup(QWidget* parent)
{
    LoadItunesBackupDlg chooser(parent);
    if (chooser.exec() != QDialog::Accepted)
        return {};
    return chooser.selectedBackup;
}

} // namespace

void MainWindow::miExport2iTunesSel()
{
    exportToITunesBackup(selectedMessages());
}

void MainWindow::miExport2iTunesChat()
{
    exportToITunesBackup(smsModel->messages());
}

void MainWindow::miExport2iTunesAll()
{
    const QList<_MsgMessage*> messages = currentNodeMessages();
    if (!messages.isEmpty())
        exportToITunesBackup(messages);
}

void MainWindow::miImportItunes()
{
    QString name;
    importITunesBackup(name);
}

void MainWindow::miImportToLocalDb()
{
    const AbsTreeItemModel::_ItemNode* node = currentTreeNode();
    if (!node || node->kind != LocalDbKind)
        return;
    QString name = node->name;
    importITunesBackup(name);
}

void MainWindow::exportToITunesBackup(const QList<_MsgMessage*>& messages)
{
    const DeviceEventsDeferred deferred(*this);
    const _AbsDBItemNode* source = currentSourceNode();
    // The records stay alive even if the source node goes while the action runs.
    const MsgSetPtr sourceRecords = source ? source->msgSet : MsgSetPtr();
    const QSharedPointer<BackupManifest> backup = chooseBackup(this);
    if (!backup)
        return;
    DialogFrontEnd frontEnd(this);
    BackupMergeCounts counts;
    exportToItunesBackup(*backup, messages, frontEnd, counts);
}

void MainWindow::importITunesBackup(QString& targetName)
{
    const DeviceEventsDeferred deferred(*this);
    const QSharedPointer<BackupManifest> backup = chooseBackup(this);
    if (!backup)
        return;
    if (backup->isEncrypted && PasscodeDlg(backup.data(), this).exec() != QDialog::Accepted)
        return;
    DialogFrontEnd frontEnd(this);
    const std::optional<ImportedBackupMessages> imported = readItunesBackupMessages(*backup, frontEnd);
    if (!imported)
        return;
    if (targetName.isEmpty())
        targetName = backup->deviceName + QStringLiteral("_Backup");
    backupToLocalDb(targetName, imported->set.messages());
}
