#include "itunes/LoadItunesBackupDlg.h"

#include "frame/MessageBox.h"
#include "frame/GrowToText.h"
#include "frame/StyleSheet.h"
#include "itunes/BackupManifest.h"
#include "itunes/BackupRootScan.h"
#include "itunes/ITunesLog.h"
#include "ui_LoadItunesBackupDlg.h"

#include <QDateTime>
#include <QFileDialog>
#include <QHeaderView>
#include <QLocale>
#include <QResizeEvent>

#include <exception>

namespace {

// Room beside a cell's text for the view's own padding.
constexpr int dateColumnMargin = 16;

void reportLoadFailure(const QString& folderPath, const QString& error)
{
    qCWarning(lcITunes, "%s", qUtf8Printable(error));
    // Both at once, so that a "%1" inside the path is not substituted again.
    showError(QStringLiteral("load %1 error. %2").arg(folderPath.toHtmlEscaped(), error.toHtmlEscaped()));
}

bool listsBackup(const ItemModelLoadBk& model, const QString& cacheKey)
{
    for (int row = 0; row < model.rowCount(); ++row) {
        const auto* node = static_cast<const ItemModelLoadBk::_BKItemNode*>(model.index(row, 0).internalPointer());
        if (node->manifest->cacheKey() == cacheKey)
            return true;
    }
    return false;
}

} // namespace

LoadItunesBackupDlg::LoadItunesBackupDlg(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui_LoadItunesBackupDlg)
    , movable(this)
    , model(this)
{
    ui->setupUi(this);
    connect(ui->lbAddOther, &QLabel::linkActivated, this, &LoadItunesBackupDlg::btnAddOtherClicked);
    connect(ui->btnLoad, &QPushButton::pressed, this, &LoadItunesBackupDlg::btnLoadClicked);
    connect(ui->listBackups, &QTreeView::doubleClicked, this, &LoadItunesBackupDlg::btnLoadClicked);
    connect(ui->btnCancel, &QPushButton::pressed, this, &QDialog::reject);

    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setStyleSheet(appStyleSheet());
    ui->listBackups->setModel(&model);

    scanBackupRoot(BackupManifest::defaultBackupRoot(), model, reportLoadFailure);
    ui->listBackups->setCurrentIndex(QModelIndex());
    growToText(*this);
}

LoadItunesBackupDlg::~LoadItunesBackupDlg()
{
    delete ui;
}

void LoadItunesBackupDlg::btnLoadClicked()
{
    const auto* node =
        static_cast<const ItemModelLoadBk::_BKItemNode*>(ui->listBackups->currentIndex().internalPointer());
    if (!node) {
        showWarning(tr("IDS_PLEASE_SELECT_ONE_ITUNES_BACKUP"));
        return;
    }
    selectedBackup = node->manifest;
    accept();
}

void LoadItunesBackupDlg::btnAddOtherClicked(const QString&)
{
    const QString path = QFileDialog::getExistingDirectory(nullptr, QString(), QDir::home().absolutePath(),
                                                           QFileDialog::ShowDirsOnly);
    if (path.isEmpty())
        return;
    QSharedPointer<BackupManifest> manifest(new BackupManifest(path, nullptr));
    if (listsBackup(model, manifest->cacheKey())) {
        showWarning(tr("IDS_LOAD_BK_EXISTS"));
        return;
    }
    // The scan of the backup folder would never list it, and loading it would fail.
    const QString missing = missingBackupFile(QDir(path));
    if (!missing.isEmpty()) {
        reportLoadFailure(path, QStringLiteral("Cannot find %1").arg(missing));
        return;
    }
    try {
        manifest->loadPlist();
        ItemModelLoadBk::_BKItemNode* node = model.insertBackup(manifest);
        ui->listBackups->setCurrentIndex(model.indexOfNode(node));
    } catch (const std::exception& e) {
        reportLoadFailure(path, QString::fromUtf8(e.what()));
    }
}

void LoadItunesBackupDlg::resizeEvent(QResizeEvent* event)
{
    // Not passed on to QDialog, whose handler only places a size grip this dialog lacks.
    const int width = event->size().width() - 80;
    QHeaderView* header = ui->listBackups->header();
    // The date column is at least as wide as a long date in the locale's short format
    // (the path column gives way), so that no date is cut short.
    const QDateTime longDate(QDate(2000, 12, 28), QTime(23, 59, 59));
    const int dateTextWidth = ui->listBackups->fontMetrics().horizontalAdvance(
        QLocale::system().toString(longDate, QLocale::ShortFormat));
    const int nameWidth = width * 40 / 100;
    const int dateWidth = qMax(width * 25 / 100, dateTextWidth + dateColumnMargin);
    header->resizeSection(0, nameWidth);
    header->resizeSection(1, dateWidth);
    header->resizeSection(2, qMax(0, width - nameWidth - dateWidth));
}
