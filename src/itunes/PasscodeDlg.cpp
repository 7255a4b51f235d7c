#include "itunes/PasscodeDlg.h"

#include "frame/MessageBox.h"
#include "frame/StyleSheet.h"
#include "itunes/BackupManifest.h"
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
    if (manifest->unlock(password)) {
        accept();
        return;
    }
    showWarning(tr("IDS_INVALID_PASSWORD"));
    ui->txtPasscode->clear();
}
