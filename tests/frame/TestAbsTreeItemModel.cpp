#include "frame/AbsTreeItemModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

namespace {

using Node = AbsTreeItemModel::_ItemNode;

// Two columns: the node's name and its kind.
class NameModel : public AbsTreeItemModel
{
public:
    int columnCount(const QModelIndex& = QModelIndex()) const override { return 2; }

    QVariant data(const QModelIndex& index, int role) const override
    {
        const auto* node = static_cast<Node*>(index.internalPointer());
        if (!node || role != Qt::DisplayRole)
            return QVariant();
        return index.column() == 0 ? QVariant(node->name) : QVariant(node->kind);
    }

    Node* add(Node* parent, const QString& name)
    {
        QList<Node*>& list = parent ? parent->children : rootNodes;
        beginInsertRows(indexOfNode(parent), int(list.size()), int(list.size()));
        auto* node = new Node(1, name, parent);
        list.append(node);
        endInsertRows();
        return node;
    }

    Node* find(const QString& name) const
    {
        for (Node* node : allNodes()) {
            if (node->name == name)
                return node;
        }
        return nullptr;
    }

    QStringList names() const
    {
        QStringList list;
        for (Node* node : allNodes())
            list << node->name;
        return list;
    }
};

// Builds the model from "A(A1,A2) B C(C1)"-like lists: a name, then its children.
void fill(NameModel& model, const QList<QPair<QString, QStringList>>& tree)
{
    for (const auto& [root, children] : tree) {
        Node* node = model.add(nullptr, root);
        for (const QString& child : children)
            model.add(node, child);
    }
}

// One announced removal: the parent's name (empty for the top level) and current row
// (-1 for the top level), the first and the last row.
using Removal = std::tuple<QString, int, int, int>;

// Records removals as they are announced, while the parent node still exists.
struct RemovalLog
{
    explicit RemovalLog(QAbstractItemModel& model)
    {
        QObject::connect(&model, &QAbstractItemModel::rowsAboutToBeRemoved, &model,
                         [this](const QModelIndex& parent, int first, int last) {
                             list << Removal{parent.data().toString(), parent.row(), first, last};
                         });
    }
    QList<Removal> list;
};

} // namespace

class TestAbsTreeItemModel : public QObject
{
    Q_OBJECT

private slots:
    void indexesFollowTheTree();
    void indexOfNode();
    void removeChildren();
    void removeNodeRemovesChildrenFirst();
    void allNodesDepthFirst();
    void nodeChangedCoversTheRowAndItsChildren();
    void viewStaysConsistentWhileSiblingsGo();
};

void TestAbsTreeItemModel::indexesFollowTheTree()
{
    NameModel model;
    fill(model, {{"A", {"A1", "A2"}}, {"B", {}}});

    QCOMPARE(model.rowCount(), 2);
    const QModelIndex a = model.index(0, 0);
    QCOMPARE(a.data().toString(), "A");
    QVERIFY(!model.parent(a).isValid());
    QCOMPARE(model.rowCount(a), 2);
    QCOMPARE(model.rowCount(model.index(0, 1)), 0);
    QCOMPARE(model.parent(model.index(1, 0, a)), a);
    // The parent is column 0 even when the node was last handed out in another column.
    model.index(0, 1);
    QCOMPARE(model.parent(model.index(1, 0, a)), a);

    Node* b = model.find("B");
    const QModelIndex storedB = model.index(1, 1);
    QVERIFY(!model.index(2, 0).isValid());
    QVERIFY(!model.index(0, 2).isValid());
    QCOMPARE(b->modelIndex, storedB);
}

void TestAbsTreeItemModel::indexOfNode()
{
    NameModel model;
    fill(model, {{"A", {"A1", "A2", "A3"}}, {"B", {}}, {"C", {}}});
    const QModelIndex a = model.index(0, 0);
    Node* a3 = model.find("A3");

    // The index a view last asked for names another column; the node's index is column 0.
    QCOMPARE(model.index(2, 1, a), a3->modelIndex);
    QCOMPARE(model.indexOfNode(a3), model.index(2, 0, a));
    QCOMPARE(model.indexOfNode(model.find("C")), model.index(2, 0));
    QVERIFY(!model.indexOfNode(nullptr).isValid());

    // A sibling above goes: the stored row is stale, the node's index is not.
    model.removeNode(model.find("A1"));
    QCOMPARE(a3->modelIndex.row(), 2);
    QCOMPARE(model.indexOfNode(a3).row(), 1);
    QCOMPARE(model.indexOfNode(a3).data().toString(), "A3");
}

void TestAbsTreeItemModel::removeChildren()
{
    NameModel model;
    fill(model, {{"A", {}}, {"B", {"B1"}}, {"C", {}}});
    RemovalLog removals(model);
    QSignalSpy done(&model, &QAbstractItemModel::rowsRemoved);

    model.removeChildren(model.find("A"));
    QVERIFY(removals.list.isEmpty());

    model.removeChildren(model.find("B"));
    model.removeChildren(nullptr);
    QCOMPARE(removals.list, (QList<Removal>{{"B", 1, 0, 0}, {"", -1, 0, 2}}));
    QCOMPARE(done.count(), 2);
    QCOMPARE(model.rowCount(), 0);
}

void TestAbsTreeItemModel::removeNodeRemovesChildrenFirst()
{
    NameModel model;
    fill(model, {{"A", {}}, {"B", {"B1", "B2"}}});
    RemovalLog removals(model);

    model.removeNode(model.find("B"));
    QCOMPARE(removals.list, (QList<Removal>{{"B", 1, 0, 1}, {"", -1, 1, 1}}));
    QCOMPARE(model.names(), QStringList{"A"});

    // A node that is not in the tree is left alone.
    Node stray(1, "stray", nullptr);
    model.removeNode(&stray);
    QCOMPARE(removals.list.size(), 2);
}

void TestAbsTreeItemModel::allNodesDepthFirst()
{
    NameModel model;
    fill(model, {{"A", {"A1", "A2"}}, {"B", {}}});
    model.add(model.find("A1"), "A1a");
    QCOMPARE(model.names(), (QStringList{"A", "A1", "A1a", "A2", "B"}));

    QList<Node*> list;
    AbsTreeItemModel::collectNodes(list, nullptr);
    QVERIFY(list.isEmpty());
}

void TestAbsTreeItemModel::nodeChangedCoversTheRowAndItsChildren()
{
    NameModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    fill(model, {{"A", {}}, {"B", {"B1", "B2"}}});
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    model.nodeChanged(model.find("A"));
    model.nodeChanged(model.find("B"));

    QCOMPARE(changed.count(), 3);
    const auto range = [&](int i) {
        const auto topLeft = changed.at(i).at(0).value<QModelIndex>();
        const auto bottomRight = changed.at(i).at(1).value<QModelIndex>();
        return QStringList{topLeft.data().toString(), bottomRight.siblingAtColumn(0).data().toString(),
                           QString::number(bottomRight.column())};
    };
    QCOMPARE(range(0), (QStringList{"A", "A", "1"}));
    QCOMPARE(range(1), (QStringList{"B", "B", "1"}));
    QCOMPARE(range(2), (QStringList{"B1", "B2", "1"}));
}

void TestAbsTreeItemModel::viewStaysConsistentWhileSiblingsGo()
{
    NameModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QTreeView view;
    view.setModel(&model);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    fill(model, {{"A", {"A1", "A2"}}, {"B", {}}, {"C", {"C1"}}});
    view.expandAll();
    // The view has handed out every node, C at row 2.
    QCOMPARE(model.find("C")->modelIndex.row(), 2);
    RemovalLog removals(model);

    model.removeNode(model.find("B"));
    model.removeNode(model.find("C1"));
    QCOMPARE(removals.list, (QList<Removal>{{"", -1, 1, 1}, {"C", 1, 0, 0}}));

    model.removeNode(model.find("A1"));
    model.add(model.find("C"), "C2");
    model.removeChildren(model.find("A"));
    model.nodeChanged(model.find("C"));
    QCOMPARE(model.names(), (QStringList{"A", "C", "C2"}));
    view.expandAll();
    QCOMPARE(view.indexBelow(view.indexBelow(model.index(0, 0))).data().toString(), "C2");
}

QTEST_MAIN(TestAbsTreeItemModel)
#include "TestAbsTreeItemModel.moc"
