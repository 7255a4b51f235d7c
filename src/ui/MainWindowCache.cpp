#include "ui/MainWindow.h"

#include "ui_MainWindow.h"

#include "frame/DataFolder.h"
#include "frame/ErrorMarkup.h"
#include "frame/FileOps.h"
#include "frame/MessageBox.h"
#include "frame/ShellOpen.h"
#include "ios/BackupTempDir.h"
#include "msgdb/AbsMessageDb.h"
#include "ui/ItemModelMain.h"

#include <QFileInfo>

#include <exception>

namespace {

// Removes the data folder's sub-folder; false when it is still there.
bool removeDataSubFolder(const char* name, QStringList& left)
{
    const QString path = appDataDir().absoluteFilePath(QLatin1String(name));
    removeDirRecursively(path);
    if (!QFileInfo::exists(path))
        return true;
    left << path;
    return false;
}

} // namespace

void MainWindow::miViewCache()
{
    const auto* node = static_cast<AbsTreeItemModel::_ItemNode*>(ui->treeViewDS->currentIndex().internalPointer());
    if (!node)
        return;
    try {
        if (node->kind == IOSDeviceKind)
            openInExplorer(static_cast<const _IOSDeviceItemNode*>(node)->device.cacheDir().absolutePath());
        else if (node->kind == AndroidDeviceKind)
            openInExplorer(static_cast<const _AndroidDeviceItemNode*>(node)->device.cacheDir().absolutePath());
    } catch (const std::exception& e) {
        showError(errorMarkup(e));
    }
}

void MainWindow::miClearCache()
{
    // A listed phone's database lies in the caches: an open connection would go on
    // reading the deleted file, and write into it unseen. Closed, it opens again on its
    // next use.
    for (AbsTreeItemModel::_ItemNode* device : treeModel->deviceRoot->children) {
        if (const QSharedPointer<AbsMessageDb>& db = static_cast<_AbsDBItemNode*>(device)->db)
            db->close();
    }

    QStringList left;
    removeDataSubFolder("ios_cache", left);
    removeDataSubFolder("itunes_cache", left);
    const QString backupRoot = chooseBackupTempDir().absolutePath();
    if (!removeBackupTempDir())
        left << backupRoot;
    removeDataSubFolder("android_cache", left);
    // The phones stay listed; reading one whose database went would create it empty.
    for (AbsTreeItemModel::_ItemNode* device : treeModel->deviceRoot->children) {
        auto* node = static_cast<_AbsDBItemNode*>(device);
        if (node->db && !QFileInfo::exists(node->db->databasePath()))
            node->cacheCleared = true;
    }

    if (left.isEmpty()) {
        showInfo(tr("IDS_SUC_CLEAR_CACHE"));
        return;
    }
    QStringList lines;
    for (const QString& path : left)
        lines << path.toHtmlEscaped();
    showWarning(QStringLiteral("Some cache files could not be removed:<br/>") + lines.join(QStringLiteral("<br/>")));
}

bool MainWindow::toldCacheCleared(const _AbsDBItemNode& node)
{
    if (!node.cacheCleared)
        return false;
    showInfo(QStringLiteral("The cache files of %1 were cleared. Unplug the phone and plug it in again, or connect "
                            "it again, to read its messages.")
                 .arg(node.name.toHtmlEscaped()));
    return true;
}
