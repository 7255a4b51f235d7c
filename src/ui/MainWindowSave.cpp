#include "ui/MainWindow.h"

#include "actions/LocalDbNames.h"
#include "actions/SaveIntoLocalDb.h"
#include "frame/DataFolder.h"
#include "frame/ErrorMarkup.h"
#include "frame/MessageBox.h"
#include "msgdb/IOS6MessageDb.h"
#include "ui/DialogFrontEnd.h"
#include "ui/ItemModelMain.h"
#include "ui/ItemModelSms.h"
#include "ui/LocalDbSelForm.h"

#include <exception>

_AbsDBItemNode* MainWindow::currentSourceNode() const
{
    AbsTreeItemModel::_ItemNode* node = currentTreeNode();
    if (node && node->kind == ChatSessionKind)
        node = node->parentNode;
    if (!node || (node->kind != IOSDeviceKind && node->kind != AndroidDeviceKind && node->kind != LocalDbKind))
        return nullptr;
    return static_cast<_AbsDBItemNode*>(node);
}

void MainWindow::miBackupSel()
{
    backupMessages(selectedMessages());
}

void MainWindow::miBackupChat()
{
    backupMessages(smsModel->messages());
}

void MainWindow::miBackupAll()
{
    const QList<_MsgMessage*> messages = currentNodeMessages();
    if (!messages.isEmpty())
        backupMessages(messages);
}

void MainWindow::backupMessages(const QList<_MsgMessage*>& messages)
{
    const _AbsDBItemNode* source = currentSourceNode();
    if (!source)
        return;
    // The records stay alive even if the source node goes while the action runs.
    const MsgSetPtr sourceRecords = source->msgSet;
    backupToLocalDb(source->name + QStringLiteral("_Backup"), messages);
}

void MainWindow::backupToLocalDb(const QString& proposedName, const QList<_MsgMessage*>& messages)
{
    const DeviceEventsDeferred deferred(*this);
    QStringList names;
    for (const AbsTreeItemModel::_ItemNode* node : std::as_const(treeModel->localDbRoot->children))
        names << node->name;
    const QString name = LocalDbSelForm(names, proposedName, this).select();
    if (name.isEmpty())
        return;
    const int existing = indexOfLocalDbName(names, name);
    DialogFrontEnd frontEnd(this);
    _AbsDBItemNode* node = nullptr;
    QSharedPointer<AbsMessageDb> db;
    if (existing >= 0) {
        node = static_cast<_AbsDBItemNode*>(treeModel->localDbRoot->children.at(existing));
        db = node->db;
        const QDir folder(localDatabasesDir().absoluteFilePath(node->name));
        // The node is looked for by address alone: it may have gone while the dialogs ran.
        if (!saveIntoLocalDb(*db, folder, messages, frontEnd) || !treeModel->allNodes().contains(node))
            return;
    } else {
        // The tree shows the new database only once its folder is there.
        const QDir folder(localDatabasesDir().absoluteFilePath(name));
        if (!saveIntoNewLocalDb(folder, messages, frontEnd))
            return;
        db.reset(new IOS6MessageDb(folder, QString(), true));
        node = treeModel->addLocalDb(db, name);
    }
    try {
        treeModel->removeChildren(node);
        db->messages(node->msgSet, 0);
        treeModel->loadChatSessions(node);
        selectNode(node);
    } catch (const std::exception& e) {
        showError(errorMarkup(e));
    }
}
