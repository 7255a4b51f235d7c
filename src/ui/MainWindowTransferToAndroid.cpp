#include "ui/MainWindow.h"

#include "ui_MainWindow.h"

#include "actions/SendToAndroid.h"
#include "frame/ErrorMarkup.h"
#include "frame/MessageBox.h"
#include "msgdb/AbsMessageDb.h"
#include "ui/DataSourceSelForm.h"
#include "ui/DialogFrontEnd.h"
#include "ui/ItemModelMain.h"
#include "ui/ItemModelSms.h"

#include <exception>

// Sending messages to a listed Android phone. No menu offers it; the slots run when called.

namespace {

// The Android phone the messages come from: the current node, or the phone of the current chat.
const _AndroidDeviceItemNode* sourcePhone(const AbsTreeItemModel::_ItemNode* current)
{
    if (current->kind == ChatSessionKind && current->parentNode)
        current = current->parentNode;
    return current->kind == AndroidDeviceKind ? static_cast<const _AndroidDeviceItemNode*>(current) : nullptr;
}

// The records of the node the messages come from: they must outlive every dialog of the action.
MsgSetPtr sourceRecords(const AbsTreeItemModel::_ItemNode* current)
{
    if (current->kind == ChatSessionKind && current->parentNode)
        current = current->parentNode;
    if (current->kind == IOSDeviceKind || current->kind == AndroidDeviceKind || current->kind == LocalDbKind)
        return static_cast<const _AbsDBItemNode*>(current)->msgSet;
    return MsgSetPtr();
}

QList<DataSourceItem> androidTargets(const _RootDeviceItemNode& devices, const _AndroidDeviceItemNode* source)
{
    QList<DataSourceItem> targets;
    for (AbsTreeItemModel::_ItemNode* node : devices.children) {
        if (node->kind != AndroidDeviceKind)
            continue;
        const AndroidDevice& device = static_cast<_AndroidDeviceItemNode*>(node)->device;
        if (source && device.uid == source->device.uid)
            continue;
        // A saved phone has neither serial nor address: nothing would reach it, and adb,
        // given no serial, may pick whichever phone is attached.
        if (device.id().isEmpty())
            continue;
        targets.append(DataSourceItem(QStringLiteral(":res/android.png"), device.displayName(), node));
    }
    return targets;
}

} // namespace

void MainWindow::restoreToAndroidDevice(QList<_MsgMessage*>* messages)
{
    const DeviceEventsDeferred deferred(*this);
    const AbsTreeItemModel::_ItemNode* current = currentTreeNode();
    if (!current)
        return;
    const MsgSetPtr records = sourceRecords(current);
    DataSourceSelForm chooser(this);
    AbsTreeItemModel::_ItemNode* chosen = chooser.select(QObject::tr("IDS_SEL_ONE_ANDROID_DEVICE"),
                                                         androidTargets(*treeModel->deviceRoot, sourcePhone(current)),
                                                         QObject::tr("IDS_NO_ANDROID_DEVICE_CONNECTED"));
    const auto listed = [this](AbsTreeItemModel::_ItemNode* node) {
        return node && treeModel->deviceRoot->children.contains(node);
    };
    if (!listed(chosen))
        return;
    auto* target = static_cast<_AndroidDeviceItemNode*>(chosen);
    const QSharedPointer<AbsMessageDb> targetDb = target->db;
    DialogFrontEnd frontEnd(this);
    if (!sendToAndroid(target->device, *targetDb, *messages, frontEnd) || !listed(target))
        return;
    try {
        treeModel->removeChildren(target);
        target->db->chats(target->msgSet);
        treeModel->loadChatSessions(target);
        selectNode(target);
    } catch (const std::exception& e) {
        showError(errorMarkup(e));
    }
}

void MainWindow::restoreFormToAndroid(ActionForm form)
{
    const DeviceEventsDeferred deferred(*this);
    if (form == ActionForm::None)
        return;
    QList<_MsgMessage*> messages = messagesOfForm(form);
    // A whole node without messages has nothing to send; an empty selection still asks.
    if (form == ActionForm::All && messages.isEmpty())
        return;
    restoreToAndroidDevice(&messages);
}

void MainWindow::miI2ASel()
{
    restoreFormToAndroid(ActionForm::Sel);
}

void MainWindow::miI2AChat()
{
    restoreFormToAndroid(ActionForm::Chat);
}

void MainWindow::miI2AAll()
{
    restoreFormToAndroid(ActionForm::All);
}

void MainWindow::miA2ASel()
{
    restoreFormToAndroid(ActionForm::Sel);
}

void MainWindow::miA2AChat()
{
    restoreFormToAndroid(ActionForm::Chat);
}

void MainWindow::miA2AAll()
{
    restoreFormToAndroid(ActionForm::All);
}

void MainWindow::miDb2ASel()
{
    restoreFormToAndroid(ActionForm::Sel);
}

void MainWindow::miDb2AChat()
{
    restoreFormToAndroid(ActionForm::Chat);
}

void MainWindow::miDb2AAll()
{
    restoreFormToAndroid(ActionForm::All);
}
