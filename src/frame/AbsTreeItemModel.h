#pragma once

#include <QAbstractItemModel>
#include <QList>
#include <QString>

// Base of the tree-shaped item models: answers index, parent and rowCount from a tree of
// nodes that the model owns. A derived model supplies columnCount and data, creates the
// nodes and announces their insertion itself; removal goes through removeChildren and
// removeNode. Children hang off column 0 only. GUI thread only.
class AbsTreeItemModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    class _ItemNode
    {
    public:
        // Does not enter the node in parentNode's children (or the roots): the model does.
        _ItemNode(int kind, const QString& name, _ItemNode* parentNode);
        // Deletes the subtree, but never detaches the node from its parent's list.
        virtual ~_ItemNode();
        Q_DISABLE_COPY_MOVE(_ItemNode)

        int kind;
        QString name;
        // The index under which index() last handed the node out; its row goes stale when
        // siblings above it come or go, so the model itself never relies on it.
        QModelIndex modelIndex;
        _ItemNode* parentNode;
        QList<_ItemNode*> children;
    };

    explicit AbsTreeItemModel(QObject* parent = nullptr);
    ~AbsTreeItemModel() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;

    // Column 0 of the node's current row, fit as the parent index of its children's
    // insertion or removal. Invalid for null or a node the model does not hold.
    QModelIndex indexOfNode(_ItemNode* node) const;
    // Announces changed data of the node's row and of its children's rows.
    void nodeChanged(_ItemNode* node);
    // Every node, depth first: each top-level node followed by all of its descendants.
    QList<_ItemNode*> allNodes() const;
    // Appends node (nothing when null), then its descendants depth first.
    static void collectNodes(QList<_ItemNode*>& list, _ItemNode* node);
    // Removes and deletes the node's children, or every top-level node when node is null.
    void removeChildren(_ItemNode* node);
    // Removes and deletes the node with its subtree: its children first, then the node.
    void removeNode(_ItemNode* node);
    void emitLayoutChanged();

protected:
    // Owned, in row order.
    QList<_ItemNode*> rootNodes;

private:
    QList<_ItemNode*>& siblingList(const _ItemNode* node);
    const QList<_ItemNode*>& siblingList(const _ItemNode* node) const;
};
