#include "ui/MainWindow.h"

#include "ui_MainWindow.h"

#include "actions/LocalDbMessageDeletion.h"
#include "actions/RemoveLocalDbFolder.h"
#include "frame/DataFolder.h"
#include "frame/MessageBox.h"
#include "msgdb/IOS6MessageDb.h"
#include "ui/DialogFrontEnd.h"
#include "ui/ItemModelMain.h"
#include "ui/ItemModelSms.h"

namespace {

// The local database of the node: the node itself, or the parent of one of its chats.
_AbsDBItemNode* localDbOf(AbsTreeItemModel::_ItemNode* node)
{
    if (node && node->kind == ChatSessionKind)
        node = node->parentNode;
    return node && node->kind == LocalDbKind ? static_cast<_AbsDBItemNode*>(node) : nullptr;
}

IOS6MessageDb* localDbFile(const _AbsDBItemNode& node)
{
    return dynamic_cast<IOS6MessageDb*>(node.db.data());
}

} // namespace

void MainWindow::miDelSel()
{
    const DeviceEventsDeferred deferred(*this);
    AbsTreeItemModel::_ItemNode* current = currentTreeNode();
    _AbsDBItemNode* database = localDbOf(current);
    if (!database || !localDbFile(*database))
        return;
    // The database and its records stay alive until the action ends, whatever its node does.
    const QSharedPointer<AbsMessageDb> db = database->db;
    LocalDbMessageDeletion deletion(*localDbFile(*database), database->msgSet);
    // The list may still show another node's messages: only this database's are deleted.
    const QList<_MsgMessage*> messages = deletion.ownedMessages(selectedMessages());
    if (messages.isEmpty() || !askYesNo(tr("IDS_CONFIRM_DEL_SEL_MESSAGES")))
        return;
    DialogFrontEnd frontEnd(this);
    if (!deletion.deleteFromFile(messages, frontEnd))
        return;
    // The list shows the records about to be freed.
    clearMessageList();
    deletion.freeMessages(messages);
    // Through no node and back, so that the node lists what is left.
    ui->treeViewDS->setCurrentIndex(QModelIndex());
    if (treeModel->allNodes().contains(current))
        ui->treeViewDS->setCurrentIndex(treeModel->indexOfNode(current));
}

void MainWindow::miDelChat()
{
    const DeviceEventsDeferred deferred(*this);
    AbsTreeItemModel::_ItemNode* current = currentTreeNode();
    if (!current || current->kind != ChatSessionKind)
        return;
    _AbsDBItemNode* database = localDbOf(current);
    if (!database || !localDbFile(*database))
        return;
    const QSharedPointer<AbsMessageDb> db = database->db;
    LocalDbMessageDeletion deletion(*localDbFile(*database), database->msgSet);
    const QList<_MsgMessage*> messages = deletion.ownedMessages(smsModel->messages());
    DialogFrontEnd frontEnd(this);
    if (!askYesNo(tr("IDS_CONFIRM_DEL_THIS_CHAT")) || !deletion.deleteFromFile(messages, frontEnd))
        return;
    clearMessageList();
    ui->treeViewDS->setCurrentIndex(QModelIndex());
    if (treeModel->allNodes().contains(current)) {
        const QList<_MsgChat*> chats = static_cast<_ChatSessionItemNode*>(current)->group.chats;
        treeModel->removeNode(current);
        deletion.freeChats(chats);
    }
    deletion.freeMessages(messages);
}

void MainWindow::miDelAll()
{
    const DeviceEventsDeferred deferred(*this);
    auto* database = static_cast<_AbsDBItemNode*>(currentTreeNode());
    if (!database || database->kind != LocalDbKind)
        return;
    if (!askYesNo(tr("IDS_CONFIRM_DEL_THIS_LOCALDB")))
        return;
    const QString name = database->name;
    const QString folder = localDatabasesDir().absoluteFilePath(name);
    if (!removeLocalDbFolder(*database->db, folder)) {
        showError(QStringLiteral("can not delete %1.").arg(folder.toHtmlEscaped()));
        return;
    }
    // The list and the conversation view show records of the set that goes with the node.
    clearMessageList();
    treeModel->removeNode(database);
    showInfo(tr("IDS_DEL_LOCALDB_SUC").arg(name.toHtmlEscaped()));
}
