#pragma once

#include "frame/WinMovable.h"

#include <QDialog>

class BackupManifest;
class Ui_PasscodeDlg;

// Asks for the password of an encrypted backup. Ends accepted only once the manifest's
// keybag unlocked with the typed password; the number of tries is not limited. Each try
// runs under a progress dialog.
class PasscodeDlg : public QDialog
{
    Q_OBJECT

public:
    // The manifest is not owned and must outlive the dialog.
    PasscodeDlg(BackupManifest* manifest, QWidget* parent = nullptr);
    ~PasscodeDlg() override;

public slots:
    void btnOKPressed();

private:
    Ui_PasscodeDlg* ui;
    WinMovable movable;
    BackupManifest* manifest;
};
