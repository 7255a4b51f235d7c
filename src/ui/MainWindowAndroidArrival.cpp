#include "ui/MainWindow.h"

#include "actions/AndroidMessageLoad.h"
#include "actions/CountryCodeCheck.h"
#include "android/AndroidConnectWithUSBThread.h"
#include "android/AndroidWIFIForm.h"
#include "frame/ErrorMarkup.h"
#include "frame/MessageBox.h"
#include "frame/ProgressForm.h"
#include "frame/RunWorker.h"
#include "msgdb/AbsMessageDb.h"
#include "ui/CountrySelForm.h"
#include "ui/DialogFrontEnd.h"
#include "ui/ItemModelMain.h"

#include <exception>

// Android phones joining the tree: found on USB by the monitor, or named by address in the
// Wi-Fi dialog; both are then read into their cache database and listed.

void MainWindow::handleAndroidDeviceConnected(const AdbDevice& device)
{
    const DeviceEventsDeferred deferred(*this);
    if (!device.isReady()) {
        // Untranslated on purpose: it names the phone's own dialog, which is in English.
        showWarning(QStringLiteral("If you are presented with the pop up to allow debugging with the computer on your "
                                   "Android device screen. Please simply check \"Always allow from this computer\" "
                                   "and then click \"OK\" to finish.<br/>(%1)")
                        .arg(device.line.toHtmlEscaped()));
    }
    ProgressForm form(QString(), this);
    AndroidConnectWithUSBThread worker(device.devid, &form, this);
    if (runWorker(worker, form).result != WorkerOutcome::Succeeded)
        return;
    handleAndroidDeviceLoad(worker.device());
}

void MainWindow::miConnectWifi()
{
    const DeviceEventsDeferred deferred(*this);
    AndroidWIFIForm form(this);
    if (form.exec() != QDialog::Accepted)
        return;
    // Before the load: a phone reached over Wi-Fi replaces its node even when reading fails.
    removeFirstAndroidNode(form.device.uid);
    handleAndroidDeviceLoad(form.device);
}

void MainWindow::handleAndroidDeviceLoad(const AndroidDevice& connected)
{
    const DeviceEventsDeferred deferred(*this);
    AndroidDevice device = connected;
    settleAndroidCountry(device);
    DialogFrontEnd frontEnd(this);
    if (!loadAndroidMessages(device, frontEnd))
        return;
    // Only now, so that a phone that could not be read again keeps its earlier node.
    removeFirstAndroidNode(device.uid);
    try {
        _AndroidDeviceItemNode* node = treeModel->addAndroidDevice(androidCacheDb(device), device);
        node->db->chats(node->msgSet);
        treeModel->loadChatSessions(node);
        selectNode(node);
    } catch (const std::exception& e) {
        showError(errorMarkup(e));
    }
}

void MainWindow::settleAndroidCountry(AndroidDevice& device)
{
    if (isCountryCodeKnown(device.mmc))
        return;
    // The English text does not name the phone: replace, unlike arg, does not warn then.
    showInfo(
        tr("IDS_ANDROID_%1_CANT_READ_MMC_NUMBER").replace(QLatin1String("%1"), device.displayName().toHtmlEscaped()));
    CountrySelForm chooser(this);
    if (chooser.exec() == QDialog::Accepted)
        device.mmc = chooser.selectedMmc;
}

void MainWindow::removeFirstAndroidNode(const QString& uid)
{
    for (AbsTreeItemModel::_ItemNode* node : treeModel->deviceRoot->children) {
        if (node->kind == AndroidDeviceKind && static_cast<_AndroidDeviceItemNode*>(node)->device.uid == uid) {
            removeDeviceNode(static_cast<_AbsDBItemNode*>(node));
            return;
        }
    }
}
