#include "ui/MainWindow.h"

#include "ui_MainWindow.h"

#include "frame/ErrorMarkup.h"
#include "frame/MessageBox.h"
#include "model/MsgMessage.h"
#include "model/SafeSort.h"
#include "model/SortPredicates.h"
#include "msgdb/AbsMessageDb.h"
#include "ui/ItemModelMain.h"
#include "ui/ItemModelSms.h"

#include <QHeaderView>
#include <QPersistentModelIndex>

#include <exception>

namespace {

// The first position of start, ..., count-1, 0, ..., start-1 that matches, or -1.
template<class Matches>
int findFrom(int start, int count, const Matches& matches)
{
    for (int step = 0; step < count; ++step) {
        const int position = (start + step) % count;
        if (matches(position))
            return position;
    }
    return -1;
}

} // namespace

void MainWindow::sortAsListed(QList<_MsgMessage*>& list) const
{
    if (ui->treeViewSMS->header()->sortIndicatorOrder() == Qt::AscendingOrder)
        safeSort(list, messageLessThan);
    else
        safeSort(list, messageGreaterThan);
}

AbsTreeItemModel::_ItemNode* MainWindow::currentTreeNode() const
{
    return static_cast<AbsTreeItemModel::_ItemNode*>(ui->treeViewDS->currentIndex().internalPointer());
}

void MainWindow::queueTreeViewCall(const QModelIndex& index, void (QTreeView::*call)(const QModelIndex&))
{
    QTreeView* view = ui->treeViewDS;
    const QPersistentModelIndex row(index);
    QMetaObject::invokeMethod(
        view,
        [view, row, call] {
            if (row.isValid())
                (view->*call)(row);
        },
        Qt::QueuedConnection);
}

void MainWindow::selectNode(AbsTreeItemModel::_ItemNode* node)
{
    const QModelIndex index = treeModel->indexOfNode(node);
    if (!index.isValid())
        return;
    ui->treeViewDS->expand(index);
    queueTreeViewCall(index, &QTreeView::setCurrentIndex);
}

QList<_MsgMessage*> MainWindow::selectedMessages() const
{
    QList<_MsgMessage*> list;
    for (const QModelIndex& row : ui->treeViewSMS->selectionModel()->selectedRows(0)) {
        if (auto* message = static_cast<_MsgMessage*>(row.internalPointer()))
            list.append(message);
    }
    return list;
}

QList<_MsgMessage*> MainWindow::currentNodeMessages()
{
    AbsTreeItemModel::_ItemNode* node = currentTreeNode();
    if (!node || (node->kind != IOSDeviceKind && node->kind != AndroidDeviceKind && node->kind != LocalDbKind))
        return {};
    auto* source = static_cast<_AbsDBItemNode*>(node);
    if (toldCacheCleared(*source))
        return {};
    try {
        source->db->messages(source->msgSet, 0);
    } catch (const std::exception& e) {
        showError(errorMarkup(e));
        return {};
    }
    QList<_MsgMessage*> list = source->msgSet.messages();
    sortAsListed(list);
    return list;
}

void MainWindow::searchMessages()
{
    const QString keyword = ui->txtSMSKeyword->text().trimmed();
    if (keyword.isEmpty())
        return;
    const QList<_MsgMessage*>& listed = smsModel->messages();
    if (listed.isEmpty()) {
        showInfo(tr("IDS_CAN_NOT_FOUND_AND_MESSAGES"));
        return;
    }
    const QModelIndex current = ui->treeViewSMS->currentIndex();
    const int start = current.isValid() ? current.row() + 1 : 0;
    const int found = findFrom(start, int(listed.size()), [&](int row) {
        return listed.at(row)->displayText().contains(keyword, Qt::CaseInsensitive);
    });
    if (found < 0) {
        showInfo(tr("IDS_CAN_NOT_FOUNDSMS_KEYWORD_%0").arg(keyword.toHtmlEscaped()));
        return;
    }
    ui->treeViewSMS->setCurrentIndex(smsModel->indexOfRow(found));
}

void MainWindow::searchCotnact()
{
    AbsTreeItemModel::_ItemNode* current = currentTreeNode();
    if (!current || current->kind == RootDeviceKind || current->kind == RootLocalDbKind)
        return;
    const bool onChat = current->kind == ChatSessionKind;
    AbsTreeItemModel::_ItemNode* parent = onChat ? current->parentNode : current;
    const QString keyword = ui->txtHandleKeyword->text().trimmed();
    if (keyword.isEmpty())
        return;
    const QList<AbsTreeItemModel::_ItemNode*>& chats = parent->children;
    const int start = onChat ? int(chats.indexOf(current)) + 1 : 0;
    const int found = findFrom(start, int(chats.size()),
                               [&](int row) { return chats.at(row)->name.contains(keyword, Qt::CaseInsensitive); });
    if (found < 0) {
        showInfo(tr("IDS_CAN_NOT_FOUNDCONTACT_KEYWORD_%0").arg(keyword.toHtmlEscaped()));
        return;
    }
    ui->treeViewDS->setCurrentIndex(treeModel->indexOfNode(chats.at(found)));
}
