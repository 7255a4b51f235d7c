#include "ui/MainWindow.h"

#include "ui/ItemModelMain.h"
#include "ui/ItemModelSms.h"

#include <QPersistentModelIndex>

#include <algorithm>

MainWindow::DeviceEventsDeferred::DeviceEventsDeferred(MainWindow& window)
    : window(window)
{
    ++window.deviceEventDeferrals;
}

MainWindow::DeviceEventsDeferred::~DeviceEventsDeferred()
{
    // From the event loop: the action's slot may still use its nodes until it returns.
    if (--window.deviceEventDeferrals == 0 && !window.deferredDeviceEvents.isEmpty())
        QMetaObject::invokeMethod(&window, &MainWindow::replayDeviceEvents, Qt::QueuedConnection);
}

void MainWindow::runDeviceEvent(std::function<void()> event)
{
    // Behind events still waiting, so that a phone never leaves before it has arrived.
    if (deviceEventDeferrals > 0 || !deferredDeviceEvents.isEmpty()) {
        deferredDeviceEvents.append(std::move(event));
        return;
    }
    event();
}

void MainWindow::replayDeviceEvents()
{
    while (deviceEventDeferrals == 0 && !deferredDeviceEvents.isEmpty())
        deferredDeviceEvents.takeFirst()();
}

void MainWindow::iosDeviceConnected(void* device)
{
    runDeviceEvent([this, device] { handleIosDeviceConnected(device); });
}

void MainWindow::iosDeviceDisconnected(void* device)
{
    runDeviceEvent([this, device] { removeIosDeviceNode(device); });
}

void MainWindow::androidDeviceConnected(const AdbDevice& device)
{
    runDeviceEvent([this, device] { handleAndroidDeviceConnected(device); });
}

void MainWindow::androidDeviceDisconnected(const QString& devId)
{
    runDeviceEvent([this, devId] { removeAndroidDeviceNode(devId); });
}

void MainWindow::androidDeviceLoad(const AndroidDevice& device)
{
    runDeviceEvent([this, device] { handleAndroidDeviceLoad(device); });
}

void MainWindow::removeIosDeviceNode(void* device)
{
    // Saved virtual iPhones have no handle; no phone leaves under a null one.
    if (!device)
        return;
    for (AbsTreeItemModel::_ItemNode* node : QList(treeModel->deviceRoot->children)) {
        if (node->kind == IOSDeviceKind && static_cast<_IOSDeviceItemNode*>(node)->device.handle == device) {
            removeDeviceNode(static_cast<_AbsDBItemNode*>(node));
            return;
        }
    }
}

void MainWindow::removeAndroidDeviceNode(const QString& devId)
{
    // Saved virtual Android phones have an empty id; no phone leaves under one.
    if (devId.isEmpty())
        return;
    for (AbsTreeItemModel::_ItemNode* node : QList(treeModel->deviceRoot->children)) {
        if (node->kind == AndroidDeviceKind && static_cast<_AndroidDeviceItemNode*>(node)->device.id() == devId) {
            removeDeviceNode(static_cast<_AbsDBItemNode*>(node));
            return;
        }
    }
}

void MainWindow::miUnmoutDevice()
{
    AbsTreeItemModel::_ItemNode* current = currentTreeNode();
    if (!current || (current->kind != IOSDeviceKind && current->kind != AndroidDeviceKind))
        return;
    // The node itself, not the first one with its handle or id: saved virtual phones
    // share a null handle or an empty id.
    const QPersistentModelIndex row(treeModel->indexOfNode(current));
    runDeviceEvent([this, row] {
        // Only while it is still in the tree: an earlier event may have removed it.
        if (row.isValid())
            removeDeviceNode(static_cast<_AbsDBItemNode*>(row.internalPointer()));
    });
}

void MainWindow::removeDeviceNode(_AbsDBItemNode* node)
{
    const _MsgSet* records = node->msgSet.data();
    const QList<_MsgMessage*>& listed = smsModel->messages();
    const bool listsItsRecords = std::any_of(listed.begin(), listed.end(), [records](const _MsgMessage* message) {
        return records->messages.value(message->rowid) == message;
    });
    if (listsItsRecords)
        clearMessageList();
    treeModel->removeNode(node);
    // The tree may move its current index to a neighbour without a selection change.
    updateActions();
}
