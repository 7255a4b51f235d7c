#pragma once

#include "frame/WinMovable.h"
#include "itunes/ItemModelLoadBk.h"

#include <QDialog>
#include <QSharedPointer>

class BackupManifest;
class Ui_LoadItunesBackupDlg;

// The backup chooser: lists the backups below the default backup root, newest first,
// lets the user add a backup folder from elsewhere, and ends accepted with the chosen
// backup in selectedBackup. Frameless and draggable.
class LoadItunesBackupDlg : public QDialog
{
    Q_OBJECT

public:
    explicit LoadItunesBackupDlg(QWidget* parent = nullptr);
    ~LoadItunesBackupDlg() override;

public slots:
    // The link text is not used.
    void btnAddOtherClicked(const QString& link);
    void btnLoadClicked();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    Ui_LoadItunesBackupDlg* ui;
    WinMovable movable;
    ItemModelLoadBk model;

public:
    // Empty until the user chooses; read it after exec() returned Accepted.
    QSharedPointer<BackupManifest> selectedBackup;
};
