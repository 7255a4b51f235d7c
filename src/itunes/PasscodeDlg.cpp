#include "itunes/PasscodeDlg.h"

#include "frame/MessageBox.h"
#include "frame/ProgressForm.h"
#include "frame/RunWorker.h"
#include "frame/GrowToText.h"
#include "frame/StyleSheet.h"
#include "itunes/BackupUnlockThread.h"
#include "ui_PasscodeDlg.h"

PasscodeDlg::PasscodeDlg(BackupManifest* manifest, QWidget* parent)
    : QDialog(parent)
    , ui(new Ui_PasscodeDlg)
    , movable(this)
    , manifest(manifest)
{
    ui->setupUi(this);
    connect(ui->btnOK, &QPushButton::pressed, this, &PasscodeDlg::btnOKPressed);
    connect(ui->btnCancel, &QPushButton::pressed, this, &QDialog::reject);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setStyleSheet(appStyleSheet());
    growToText(*this);
}

PasscodeDlg::~PasscodeDlg()
{
    delete ui;
}

void PasscodeDlg::btnOKPressed()
{
    const QString password = ui->txtPasscode->text();
    if (password.isEmpty()) {
        showWarning(tr("IDS_PWD_IS_NULL"));
        return;
    }
    // The key derivation may take long: it runs in a worker the user can cancel. The form
    // has shown a damaged keybag's error; after either, the dialog stays for another try.
    ProgressForm form(tr("IDS_UNLOCKING_ITUNES_BACKUP"), this);
    BackupUnlockThread thread(manifest, password, &form);
    if (runWorker(thread, form).result != WorkerOutcome::Succeeded)
        return;
    if (thread.unlocked()) {
        accept();
        return;
    }
    showWarning(tr("IDS_INVALID_PASSWORD"));
    ui->txtPasscode->clear();
}
