#include "ui/MainWindow.h"

#include "actions/TransferToIPhone.h"
#include "ui/DataSourceSelForm.h"
#include "ui/DialogFrontEnd.h"
#include "ui/ItemModelMain.h"
#include "ui/ItemModelSms.h"

#include <QCoreApplication>

#include <algorithm>

namespace {

// A phone the user may pick, copied before the chooser runs: nothing of the tree is
// read after it, the node being only compared with the one chosen.
struct TransferTarget
{
    const void* node;
    IOSDevice device;
    QSharedPointer<AbsMessageDb> db;
};

} // namespace

void MainWindow::miA2ISel()
{
    transferToIPhone(ActionForm::Sel);
}
void MainWindow::miA2IChat()
{
    transferToIPhone(ActionForm::Chat);
}
void MainWindow::miA2IAll()
{
    transferToIPhone(ActionForm::All);
}
void MainWindow::miDb2ISel()
{
    transferToIPhone(ActionForm::Sel);
}
void MainWindow::miDb2IChat()
{
    transferToIPhone(ActionForm::Chat);
}
void MainWindow::miDb2IAll()
{
    transferToIPhone(ActionForm::All);
}
void MainWindow::miI2ISel()
{
    transferToIPhone(ActionForm::Sel);
}
void MainWindow::miI2IChat()
{
    transferToIPhone(ActionForm::Chat);
}
void MainWindow::miI2IAll()
{
    transferToIPhone(ActionForm::All);
}

void MainWindow::transferToIPhone(ActionForm form)
{
    const DeviceEventsDeferred deferred(*this);
    if (form == ActionForm::None)
        return;
    QList<_MsgMessage*> messages = messagesOfForm(form);
    // A whole node without messages has nothing to send; an empty selection still asks.
    if (form == ActionForm::All && messages.isEmpty())
        return;
    restoreToIOSDevice(messages);
}

void MainWindow::restoreToIOSDevice(const QList<_MsgMessage*>& messages)
{
    AbsTreeItemModel::_ItemNode* current = currentTreeNode();
    if (!current)
        return;
    const AbsTreeItemModel::_ItemNode* sourceNode = current->kind == ChatSessionKind ? current->parentNode : current;
    // The messages belong to the source's set: held here, they outlive any change of the
    // node while the action runs.
    MsgSetPtr sourceSet;
    QString sourceDeviceId;
    if (sourceNode
        && (sourceNode->kind == IOSDeviceKind || sourceNode->kind == AndroidDeviceKind
            || sourceNode->kind == LocalDbKind)) {
        sourceSet = static_cast<const _AbsDBItemNode*>(sourceNode)->msgSet;
        if (sourceNode->kind == IOSDeviceKind)
            sourceDeviceId = static_cast<const _IOSDeviceItemNode*>(sourceNode)->device.uniqueDeviceId;
    }

    // Saved virtual iPhones have no handle: a backup and restore cannot reach them.
    QList<TransferTarget> targets;
    QList<DataSourceItem> items;
    for (AbsTreeItemModel::_ItemNode* node : treeModel->deviceRoot->children) {
        if (node->kind != IOSDeviceKind)
            continue;
        const auto* iPhone = static_cast<const _IOSDeviceItemNode*>(node);
        if (!iPhone->device.handle || (!sourceDeviceId.isEmpty() && iPhone->device.uniqueDeviceId == sourceDeviceId))
            continue;
        targets.append({node, iPhone->device, iPhone->db});
        items.append(DataSourceItem(QStringLiteral(":res/iphone.png"), iPhone->device.deviceName, node));
    }
    DataSourceSelForm chooser(this);
    const void* chosen = chooser.select(QCoreApplication::translate("QObject", "IDS_SEL_ONE_IOS_DEVICE"), items,
                                        QCoreApplication::translate("QObject", "IDS_NO_IOS_DEVICE_CONNECTED"));
    const auto target = std::find_if(targets.cbegin(), targets.cend(),
                                     [chosen](const TransferTarget& t) { return chosen && t.node == chosen; });
    if (target == targets.cend())
        return;
    TransferToIPhone transfer(target->device, target->db, sourceSet, messages);
    DialogFrontEnd frontEnd(this);
    transfer.run(frontEnd);
}
