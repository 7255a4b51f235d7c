#include "frame/AbsTreeItemModel.h"

#include <utility>

AbsTreeItemModel::_ItemNode::_ItemNode(int kind, const QString& name, _ItemNode* parentNode)
    : kind(kind)
    , name(name)
    , parentNode(parentNode)
{
}

AbsTreeItemModel::_ItemNode::~_ItemNode()
{
    qDeleteAll(children);
}

AbsTreeItemModel::AbsTreeItemModel(QObject* parent)
    : QAbstractItemModel(parent)
{
}

AbsTreeItemModel::~AbsTreeItemModel()
{
    qDeleteAll(rootNodes);
}

QList<AbsTreeItemModel::_ItemNode*>& AbsTreeItemModel::siblingList(const _ItemNode* node)
{
    return node->parentNode ? node->parentNode->children : rootNodes;
}

const QList<AbsTreeItemModel::_ItemNode*>& AbsTreeItemModel::siblingList(const _ItemNode* node) const
{
    return node->parentNode ? node->parentNode->children : rootNodes;
}

QModelIndex AbsTreeItemModel::index(int row, int column, const QModelIndex& parent) const
{
    if (!hasIndex(row, column, parent))
        return QModelIndex();
    const auto* parentNode = static_cast<_ItemNode*>(parent.internalPointer());
    _ItemNode* node = parentNode ? parentNode->children.at(row) : rootNodes.at(row);
    node->modelIndex = createIndex(row, column, node);
    return node->modelIndex;
}

QModelIndex AbsTreeItemModel::parent(const QModelIndex& child) const
{
    const auto* node = static_cast<_ItemNode*>(child.internalPointer());
    if (!node)
        return QModelIndex();
    // Computed afresh: the parent's stored index may carry a stale row or another column.
    return indexOfNode(node->parentNode);
}

int AbsTreeItemModel::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return int(rootNodes.size());
    if (parent.column() > 0)
        return 0;
    return int(static_cast<_ItemNode*>(parent.internalPointer())->children.size());
}

QModelIndex AbsTreeItemModel::indexOfNode(_ItemNode* node) const
{
    if (!node)
        return QModelIndex();
    const qsizetype row = siblingList(node).indexOf(node);
    return row < 0 ? QModelIndex() : createIndex(int(row), 0, node);
}

void AbsTreeItemModel::nodeChanged(_ItemNode* node)
{
    const QModelIndex row = indexOfNode(node);
    if (!row.isValid())
        return;
    const int lastColumn = columnCount(row.parent()) - 1;
    if (lastColumn >= 0)
        emit dataChanged(row, createIndex(row.row(), lastColumn, node));
    const int lastChildColumn = columnCount(row) - 1;
    if (!node->children.isEmpty() && lastChildColumn >= 0)
        emit dataChanged(createIndex(0, 0, node->children.first()),
                         createIndex(int(node->children.size()) - 1, lastChildColumn, node->children.last()));
}

QList<AbsTreeItemModel::_ItemNode*> AbsTreeItemModel::allNodes() const
{
    QList<_ItemNode*> nodes;
    for (_ItemNode* root : rootNodes)
        collectNodes(nodes, root);
    return nodes;
}

void AbsTreeItemModel::collectNodes(QList<_ItemNode*>& list, _ItemNode* node)
{
    if (!node)
        return;
    list.append(node);
    for (_ItemNode* child : node->children)
        collectNodes(list, child);
}

void AbsTreeItemModel::removeChildren(_ItemNode* node)
{
    QList<_ItemNode*>& list = node ? node->children : rootNodes;
    if (list.isEmpty())
        return;
    beginRemoveRows(indexOfNode(node), 0, int(list.size()) - 1);
    const QList<_ItemNode*> removed = std::exchange(list, {});
    qDeleteAll(removed);
    endRemoveRows();
}

void AbsTreeItemModel::removeNode(_ItemNode* node)
{
    if (!node)
        return;
    removeChildren(node);
    QList<_ItemNode*>& list = siblingList(node);
    const qsizetype row = list.indexOf(node);
    if (row < 0)
        return;
    beginRemoveRows(indexOfNode(node->parentNode), int(row), int(row));
    list.removeAt(row);
    delete node;
    endRemoveRows();
}

void AbsTreeItemModel::emitLayoutChanged()
{
    emit layoutChanged();
}
